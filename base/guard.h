// Skip-on-error: the convention of every routine that does the system's work.
//
// Such a routine runs its statements as independent steps. A step that fails
// is abandoned without a report, whatever it would have set keeps its value,
// and the routine goes on with its next step:
//
//     step([&] { total = checked::add(total, counter); });
//     step([&] { window.setVisible(false); });
//
// Nothing else in the program swallows errors.
#pragma once

#include <utility>

namespace tovi {

// Runs one step. Returns true when it completed, false when it was skipped.
template <class Step>
bool step(Step&& body) noexcept {
    try {
        std::forward<Step>(body)();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace tovi
