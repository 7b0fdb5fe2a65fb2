// Runs a callable when the scope ends, however it ends: the one scope guard
// for state that must be put back (a flag, a depth count, a window to close).
#pragma once

#include <utility>

namespace tovi {

template <class F>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { f_(); }

private:
    F f_;
};

}  // namespace tovi
