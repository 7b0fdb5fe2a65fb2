// The Win32 toolkit's own classes, shared by the files of the Win32 backend
// (the toolkit, its window, the controls); nothing outside platform/win32
// includes it. See toolkit_win32.h for the contract.
//
// The toolkit owns the window class, the dialog font and the count of
// handlers running; each window owns its HWND, its icons, its controls and
// its timers, and must be destroyed before the toolkit. Everything runs on
// the thread that created the toolkit.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/guard.h"
#include "platform/toolkit.h"
#include "platform/win32/controls_win32.h"
#include "platform/win32/scoped_handles.h"

namespace tovi::platform::win32 {

inline constexpr wchar_t kWindowClass[] = L"Tovi.Main";
inline constexpr int kTwipsPerInch = 1440;

// Counts the handlers running (and message boxes open) on the thread, so
// that a tick never lands inside one of them.
class HandlerScope {
public:
    explicit HandlerScope(int& depth) : depth_(depth) { ++depth_; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
    ~HandlerScope() { --depth_; }

private:
    int& depth_;
};

class Win32Toolkit final : public Toolkit {
public:
    Win32Toolkit();

    std::unique_ptr<Window> createWindow(const WindowSpec& desc) override;
    int twipsPerPixelX() const override { return kTwipsPerInch / dpiX_; }
    void messageBox(const std::string& text, const std::string& title) override;
    int run() override;
    [[noreturn]] void end() override;

    int twipsPerPixelY() const { return kTwipsPerInch / dpiY_; }
    int pixelsX(int twips) const { return MulDiv(twips, dpiX_, kTwipsPerInch); }
    int pixelsY(int twips) const { return MulDiv(twips, dpiY_, kTwipsPerInch); }
    HFONT font() const { return font_ ? font_->get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }
    int textHeight() const { return textHeight_; }  // pixels, one line of the font

    // While a handler or a message box runs, no timer ticks and no other
    // handler starts.
    [[nodiscard]] HandlerScope enterHandler() { return HandlerScope(handlerDepth_); }
    bool inHandler() const { return handlerDepth_ > 0; }

    // The live window, for the loop and message boxes.
    Win32Window* current() const { return current_; }
    void setCurrent(Win32Window* window) { current_ = window; }

private:
    int handlerDepth_ = 0;
    Win32Window* current_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    std::unique_ptr<UniqueFont> font_;
    int textHeight_ = 13;
};

class Win32Window final : public Window {
public:
    Win32Window(Win32Toolkit& toolkit, const WindowSpec& desc);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    CheckBox& createCheckBox(const ControlSpec& desc) override;
    ComboBox& createComboBox(const ControlSpec& desc) override;
    Label& createLabel(const ControlSpec& desc) override;
    Button& createButton(const ControlSpec& desc) override;
    Timer& createTimer(std::int32_t intervalMs, bool enabled) override;

    void showFirst() override;
    WindowState windowState() const override;
    void setWindowState(WindowState state) override;
    bool visible() const override { return alive() && IsWindowVisible(hwnd_); }
    void setVisible(bool visible) override;
    std::uintptr_t nativeHandle() const override { return reinterpret_cast<std::uintptr_t>(hwnd_); }
    std::uintptr_t iconHandle() const override { return reinterpret_cast<std::uintptr_t>(bigIcon_.get()); }
    void setOnResize(std::function<void()> handler) override { onResize_ = std::move(handler); }
    void setOnMouseMove(std::function<void(std::int16_t, std::int16_t, float, float)> handler) override {
        onMouseMove_ = std::move(handler);
    }
    void setOnUnload(std::function<void()> handler) override { onUnload_ = std::move(handler); }
    void unload() override;

    bool alive() const { return hwnd_ != nullptr; }
    HWND handle() const {
        if (!hwnd_) throw Error("the window has been unloaded");
        return hwnd_;
    }

    // Raises a handler for a C++ caller: its error goes to that caller.
    template <class... Args>
    void call(const std::function<void(Args...)>& handler, Args... args) {
        if (!handler) return;
        const HandlerScope scope = toolkit_.enterHandler();
        handler(args...);
    }

    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The steps of handle(), one per message that needs more than a line.
    void commandArrived(WPARAM wParam, LPARAM lParam);
    void timerFired(WPARAM id);
    void mouseMoved(WPARAM wParam, LPARAM lParam);
    void activated(WPARAM wParam);
    void destroyed();
    LRESULT released(UINT message, WPARAM wParam, LPARAM lParam);
    // Raises a handler for a window message: see the header on errors.
    template <class... Args>
    void dispatch(const std::function<void(Args...)>& handler, Args... args) {
        step([&] { call(handler, args...); });
    }

    HWND createChild(const ControlSpec& desc, const wchar_t* windowClass, DWORD style, int extraHeight);
    // Wraps the child window in its control object, which the window keeps.
    template <class Wrapper>
    Wrapper& adopt(HWND child) {
        auto control = std::make_unique<Wrapper>(*this, child);
        Wrapper& result = *control;
        controls_[child] = std::move(control);
        return result;
    }
    void placeInTabOrder(HWND child, const ControlSpec& desc, bool takesFocus);
    void placeLabelBefore(HWND child, const ControlSpec& desc);
    void centre();
    HWND firstTabStop() const;
    void restoreFocus();
    void destroy();

    Win32Toolkit& toolkit_;
    HWND hwnd_ = nullptr;  // owned; null once destroyed
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    bool shown_ = false;                             // has been visible at least once
    bool unloaded_ = false;                          // the unload handler has been raised
    bool dying_ = false;                             // the destructor runs: raise nothing more
    WindowState hiddenState_ = WindowState::Normal;  // the state while invisible
    HWND focus_ = nullptr;                           // the control to give the focus back to on activation

    std::map<HWND, std::unique_ptr<Control>> controls_;
    std::vector<std::unique_ptr<Win32Timer>> timers_;
    // Children in z-order, which is the tab order: focusable ones by tab
    // index, each just after the label that names it (screen readers take a
    // control's name from the static text right before it), then the other
    // labels. Labels never take the focus, so the tab order is that of the
    // focusable ones alone.
    std::vector<std::pair<std::tuple<bool, int, int>, HWND>> zOrder_;
    std::map<std::string, HWND> labels_;  // by the layout's name

    std::function<void()> onResize_;
    std::function<void(std::int16_t, std::int16_t, float, float)> onMouseMove_;
    std::function<void()> onUnload_;
};

}  // namespace tovi::platform::win32
