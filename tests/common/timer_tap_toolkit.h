// A toolkit that stands between the program's window and the real toolkit of
// the platform, passing every call through unchanged, and keeps a copy of
// each timer's tick handler as the window installs it. The soak and probe
// programs build the real window Main on it and then raise Timer1's tick
// directly, many thousand times faster than the timer would.
//
// Owns the wrappers; the real window, controls and timers stay the real
// toolkit's. Same thread rules as the toolkit it wraps: the window's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "platform/toolkit.h"

namespace tovi::soak {

class TimerTapToolkit;

class TappedTimer final : public platform::Timer {
public:
    TappedTimer(platform::Timer& real, std::function<void()>& tap) : real_(real), tap_(tap) {}
    std::int32_t interval() const override { return real_.interval(); }
    void setInterval(std::int32_t milliseconds) override { real_.setInterval(milliseconds); }
    bool enabled() const override { return real_.enabled(); }
    void setEnabled(bool enabled) override { real_.setEnabled(enabled); }
    void setOnTick(std::function<void()> handler) override {
        tap_ = handler;
        real_.setOnTick(std::move(handler));
    }

private:
    platform::Timer& real_;
    std::function<void()>& tap_;
};

class TappedWindow final : public platform::Window {
public:
    TappedWindow(std::unique_ptr<platform::Window> real, std::vector<std::function<void()>>& taps)
        : real_(std::move(real)), taps_(taps) {}

    platform::CheckBox& createCheckBox(const platform::ControlSpec& desc) override {
        return real_->createCheckBox(desc);
    }
    platform::ComboBox& createComboBox(const platform::ControlSpec& desc) override {
        return real_->createComboBox(desc);
    }
    platform::Label& createLabel(const platform::ControlSpec& desc) override { return real_->createLabel(desc); }
    platform::Button& createButton(const platform::ControlSpec& desc) override { return real_->createButton(desc); }
    platform::Timer& createTimer(std::int32_t intervalMs, bool enabled) override {
        platform::Timer& real = real_->createTimer(intervalMs, enabled);
        // Stable slots: the vector is sized once, before the window is built.
        if (timers_.size() >= taps_.size()) throw Error("more timers than the tap has room for");
        timers_.push_back(std::make_unique<TappedTimer>(real, taps_[timers_.size()]));
        return *timers_.back();
    }
    void showFirst() override { real_->showFirst(); }
    platform::WindowState windowState() const override { return real_->windowState(); }
    void setWindowState(platform::WindowState state) override { real_->setWindowState(state); }
    bool visible() const override { return real_->visible(); }
    void setVisible(bool visible) override { real_->setVisible(visible); }
    std::uintptr_t nativeHandle() const override { return real_->nativeHandle(); }
    std::uintptr_t iconHandle() const override { return real_->iconHandle(); }
    void setOnResize(std::function<void()> handler) override { real_->setOnResize(std::move(handler)); }
    void setOnMouseMove(std::function<void(std::int16_t, std::int16_t, float, float)> handler) override {
        real_->setOnMouseMove(std::move(handler));
    }
    void setOnUnload(std::function<void()> handler) override { real_->setOnUnload(std::move(handler)); }
    void unload() override { real_->unload(); }

private:
    std::unique_ptr<platform::Window> real_;
    std::vector<std::function<void()>>& taps_;
    std::vector<std::unique_ptr<TappedTimer>> timers_;
};

class TimerTapToolkit final : public platform::Toolkit {
public:
    static constexpr std::size_t kMostTimers = 8;

    explicit TimerTapToolkit(platform::Toolkit& real) : real_(real), taps_(kMostTimers) {}

    std::unique_ptr<platform::Window> createWindow(const platform::WindowSpec& desc) override {
        return std::make_unique<TappedWindow>(real_.createWindow(desc), taps_);
    }
    int twipsPerPixelX() const override { return real_.twipsPerPixelX(); }
    void messageBox(const std::string& text, const std::string& title) override { real_.messageBox(text, title); }
    int run() override { return real_.run(); }
    [[noreturn]] void end() override {
        real_.end();
        std::abort();  // not reached: the real end() does not return
    }

    // Raises the tick of the window's timer number `timer` (0 is the first
    // created: Main's Timer1), as the timer itself would.
    void tick(std::size_t timer) {
        if (timer >= taps_.size() || !taps_[timer]) throw Error("no tick handler on that timer");
        taps_[timer]();
    }

private:
    platform::Toolkit& real_;
    std::vector<std::function<void()>> taps_;  // one slot per timer, in creation order
};

}  // namespace tovi::soak
