// In-process window toolkit for tests: scripts and records everything.
//
// Controls keep their values in memory and refuse what the real ones refuse,
// including any use once their window has unloaded. Timers never fire by
// themselves; a test fires them with tick(), which drops the tick, as the real
// toolkits do, while a handler of the window runs or a message box is open.
// Message boxes close at once and are recorded, in order, with what was
// showing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory_controls.h"
#include "platform/toolkit.h"

namespace tovi::fakes {

class FakeWindow;

// The in-memory controls the toolkit without a screen uses, plus a user's
// clicks and the layout entry each was made from.
class FakeCheckBox : public platform::MemoryCheckBox {
public:
    FakeCheckBox(FakeWindow& owner, const platform::ControlSpec& desc);
    // A user's click: checked unless it was checked.
    void click() { setValue(value() == 1 ? 0 : 1); }
    platform::ControlSpec desc;
};

class FakeComboBox : public platform::MemoryComboBox {
public:
    FakeComboBox(FakeWindow& owner, const platform::ControlSpec& desc);
    // A user's pick from the open list.
    void pick(std::int32_t index) { setListIndex(index); }
    std::string selectedText() const { return listIndex() < 0 ? std::string() : itemText(listIndex()); }
    platform::ControlSpec desc;
};

class FakeLabel : public platform::MemoryLabel {
public:
    FakeLabel(FakeWindow& owner, const platform::ControlSpec& desc);
    platform::ControlSpec desc;
};

class FakeButton : public platform::MemoryButton {
public:
    FakeButton(FakeWindow& owner, const platform::ControlSpec& desc);
    // A user's click.
    void click() { press(); }
    platform::ControlSpec desc;
};

class FakeTimer : public platform::Timer {
public:
    FakeTimer(FakeWindow& owner, std::int32_t interval, bool enabled)
        : owner_(owner), interval_(interval), enabled_(enabled) {}
    std::int32_t interval() const override { return interval_; }
    void setInterval(std::int32_t milliseconds) override { interval_ = milliseconds; }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    void setOnTick(std::function<void()> handler) override { onTick_ = std::move(handler); }

    // True when the timer would fire: enabled with an interval above 0.
    bool running() const { return enabled_ && interval_ > 0; }
    // Fires one tick if the timer is running and its window is loaded and
    // idle; returns whether it did.
    bool tick();

private:
    FakeWindow& owner_;
    std::int32_t interval_;
    bool enabled_;
    std::function<void()> onTick_;
};

class FakeToolkit;

class FakeWindow : public platform::Window, public platform::MemoryControlHost {
public:
    FakeWindow(FakeToolkit& toolkit, const platform::WindowSpec& desc) : desc(desc), toolkit_(toolkit) {}
    ~FakeWindow() override;

    platform::CheckBox& createCheckBox(const platform::ControlSpec& desc) override;
    platform::ComboBox& createComboBox(const platform::ControlSpec& desc) override;
    platform::Label& createLabel(const platform::ControlSpec& desc) override;
    platform::Button& createButton(const platform::ControlSpec& desc) override;
    platform::Timer& createTimer(std::int32_t intervalMs, bool enabled) override;

    void showFirst() override;
    platform::WindowState windowState() const override { return state_; }
    void setWindowState(platform::WindowState state) override;
    bool visible() const override { return visible_; }
    void setVisible(bool visible) override;
    std::uintptr_t nativeHandle() const override { return handle; }
    std::uintptr_t iconHandle() const override { return icon; }
    void setOnResize(std::function<void()> handler) override { onResize_ = std::move(handler); }
    void setOnMouseMove(std::function<void(std::int16_t, std::int16_t, float, float)> handler) override {
        onMouseMove_ = std::move(handler);
    }
    void setOnUnload(std::function<void()> handler) override { onUnload_ = std::move(handler); }
    void unload() override;

    // Test controls.
    void mouseMove(std::int16_t button, std::int16_t shift, float x, float y) {
        if (onMouseMove_) raise([&] { onMouseMove_(button, shift, x, y); });
    }
    void resize() { raise(onResize_); }
    FakeCheckBox& checkBox(const std::string& name) const;
    FakeComboBox& comboBox(const std::string& name) const;
    FakeLabel& label(const std::string& name) const;
    FakeButton& button(const std::string& name) const;
    FakeTimer& timer(std::size_t index) const { return *timers_.at(index); }
    std::size_t timerCount() const { return timers_.size(); }

    // For the controls: refuses use once unloaded, and raises a handler as
    // the one running (no tick meanwhile).
    void checkLoaded() const override;
    void raise(const std::function<void()>& handler) override;
    bool idle() const;

    platform::WindowSpec desc;
    std::uintptr_t handle = 0x1000;
    std::uintptr_t icon = 0x2000;
    bool shownFirst = false;
    bool unloaded = false;

private:
    FakeToolkit& toolkit_;
    platform::WindowState state_ = platform::WindowState::Normal;
    bool visible_ = false;
    bool closed_ = false;  // unloaded and its handler done
    std::map<std::string, std::unique_ptr<FakeCheckBox>> checkBoxes_;
    std::map<std::string, std::unique_ptr<FakeComboBox>> comboBoxes_;
    std::map<std::string, std::unique_ptr<FakeLabel>> labels_;
    std::map<std::string, std::unique_ptr<FakeButton>> buttons_;
    std::vector<std::unique_ptr<FakeTimer>> timers_;
    std::function<void()> onResize_;
    std::function<void(std::int16_t, std::int16_t, float, float)> onMouseMove_;
    std::function<void()> onUnload_;
};

class FakeToolkit : public platform::Toolkit {
public:
    std::unique_ptr<platform::Window> createWindow(const platform::WindowSpec& desc) override;
    int twipsPerPixelX() const override { return twipsPerPixel; }
    void messageBox(const std::string& text, const std::string& title) override;
    int run() override { return 0; }
    [[noreturn]] void end() override;

    struct Box {
        std::string text;
        std::string title;
    };
    std::vector<Box> boxes;                     // every box shown, in order
    std::function<void(const Box&)> whileOpen;  // runs while a box is "open"
    int twipsPerPixel = 15;
    FakeWindow* window = nullptr;  // the window created last, while it lives
    int busy = 0;                  // handlers running and boxes open

    // end() throws this so that a test can observe the end of the program.
    struct Ended {};
};

}  // namespace tovi::fakes
