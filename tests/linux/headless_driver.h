// The toolkit of tovi --no-window held to the toolkit contract: no screen and
// no user, so a click, a pick and the space bar are what the fakes make of
// them, the message box closes at once, and running the events is the loop's
// own wait for the due timers.
#pragma once

#include <chrono>
#include <memory>

#include "common/toolkit_contract.h"
#include "platform/linux/toolkit_headless.h"
#include "platform/memory_controls.h"

namespace tovi::contract {

class HeadlessDriver final : public ToolkitDriver {
public:
    platform::Toolkit& toolkit() override { return toolkit_; }
    bool showsWindow() const override { return false; }
    void attach(ContractWindow& window) override { window_ = &window; }

    void runFor(std::chrono::milliseconds time) override {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + time;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            toolkit_.fireDue(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(end - now).count()));
        }
    }

    void click(platform::Window&, const platform::ControlSpec& control) override {
        if (control.kind == platform::ControlKind::CheckBox) {
            platform::CheckBox& box = *window_->checks.at(control.name);
            box.setValue(box.value() == 1 ? 0 : 1);
        }
        if (control.kind == platform::ControlKind::Button) {
            dynamic_cast<platform::MemoryButton&>(*window_->buttons.at(control.name)).press();
        }
    }

    void pick(platform::Window&, const platform::ControlSpec& list, std::int32_t index) override {
        window_->lists.at(list.name)->setListIndex(index);
    }

    void press(platform::Window& window, const platform::ControlSpec& control, Key key) override {
        if (key == Key::Space) click(window, control);
    }

    void closeNextBoxAfter(std::chrono::milliseconds) override {}
    void closeSoon(platform::Window& window) override { window.unload(); }

private:
    platform::HeadlessToolkit toolkit_;
    ContractWindow* window_ = nullptr;
};

inline std::unique_ptr<ToolkitDriver> makeHeadlessDriver() { return std::make_unique<HeadlessDriver>(); }

}  // namespace tovi::contract
