// The toolkit of tovi --no-window held to the toolkit contract: its message
// box closes at once, and running the events is the loop's own wait for the
// due timers.
#pragma once

#include <chrono>
#include <memory>

#include "common/toolkit_contract.h"
#include "platform/linux/toolkit_headless.h"

namespace tovi::contract {

class HeadlessDriver final : public MemoryControlsDriver {
public:
    platform::Toolkit& toolkit() override { return toolkit_; }
    bool showsWindow() const override { return false; }
    void runFor(std::chrono::milliseconds time) override {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + time;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            toolkit_.fireDue(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(end - now).count()));
        }
    }
    void closeNextBoxAfter(std::chrono::milliseconds) override {}

private:
    platform::HeadlessToolkit toolkit_;
};

inline std::unique_ptr<ToolkitDriver> makeHeadlessDriver() { return std::make_unique<HeadlessDriver>(); }

}  // namespace tovi::contract
