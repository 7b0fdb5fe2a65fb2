// The controls of the Win32 toolkit's window: a check box, a drop-down list,
// a label and a push button over the system's standard controls (BUTTON,
// COMBOBOX, STATIC), and a SetTimer timer. Shared by the files of the
// Win32 toolkit only.
//
// The window owns its control objects and timers; each control refuses
// every use once the window is gone, and the child window is destroyed with
// its parent. A notification from the system raises the control's handler
// through the window. Window thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "base/error.h"
#include "platform/toolkit.h"
#include "platform/win32/text_win32.h"

namespace tovi::platform::win32 {

class Win32Window;

class Control {
public:
    Control(Win32Window& owner, HWND hwnd) : owner_(owner), hwnd_(hwnd) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // A WM_COMMAND notification from this control.
    virtual void notify(WORD code) = 0;

protected:
    HWND hwnd() const;  // throws once the window is gone
    Win32Window& owner_;

private:
    HWND hwnd_;
};

class Win32CheckBox final : public Control, public CheckBox {
public:
    using Control::Control;
    std::int16_t value() const override { return static_cast<std::int16_t>(SendMessageW(hwnd(), BM_GETCHECK, 0, 0)); }
    void setValue(std::int16_t state) override {
        if (state < 0 || state > 2) throw Error("invalid check-box state");
        SendMessageW(hwnd(), BM_SETCHECK, static_cast<WPARAM>(state), 0);
    }
    // BS_3STATE leaves the toggling to the parent: a click moves between
    // unchecked and checked only, and checks a grayed box. Grayed is for the
    // program to set.
    void notify(WORD code) override {
        if (code == BN_CLICKED) setValue(value() == 1 ? 0 : 1);
    }
};

class Win32Button final : public Control, public Button {
public:
    using Control::Control;
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }
    void notify(WORD code) override;

private:
    std::function<void()> onClick_;
};

class Win32ComboBox final : public Control, public ComboBox {
public:
    using Control::Control;
    void addItem(const std::string& text) override {
        const LRESULT index = SendMessageW(hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(text).c_str()));
        if (index == CB_ERR || index == CB_ERRSPACE) throw Error("CB_ADDSTRING failed");
        newIndex_ = static_cast<std::int32_t>(index);
    }
    std::int32_t newIndex() const override { return newIndex_; }
    std::int32_t listCount() const override {
        return static_cast<std::int32_t>(SendMessageW(hwnd(), CB_GETCOUNT, 0, 0));
    }
    std::string itemText(std::int32_t index) const override {
        checkEntry(index);
        const LRESULT length = SendMessageW(hwnd(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length == CB_ERR) throw Error("CB_GETLBTEXTLEN failed");
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        SendMessageW(hwnd(), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        return narrow(text);
    }
    std::int32_t itemData(std::int32_t index) const override {
        checkEntry(index);
        // The position is known to exist, so CB_ERR here is the value -1.
        return static_cast<std::int32_t>(SendMessageW(hwnd(), CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    }
    void setItemData(std::int32_t index, std::int32_t value) override {
        checkEntry(index);
        if (SendMessageW(hwnd(), CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(value)) == CB_ERR) {
            throw Error("CB_SETITEMDATA failed");
        }
    }
    std::int32_t listIndex() const override {
        const LRESULT index = SendMessageW(hwnd(), CB_GETCURSEL, 0, 0);
        return index == CB_ERR ? -1 : static_cast<std::int32_t>(index);
    }
    void setListIndex(std::int32_t index) override;
    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }
    void notify(WORD code) override;

private:
    void checkEntry(std::int32_t index) const {
        if (index < 0 || index >= listCount()) throw Error("invalid list position");
    }

    std::int32_t newIndex_ = -1;
    // The position the click handler last saw, so that a notification
    // without a real change raises nothing.
    std::int32_t lastIndex_ = -1;
    std::function<void()> onClick_;
};

class Win32Label final : public Control, public Label {
public:
    using Control::Control;
    std::string caption() const override { return windowText(hwnd()); }
    void setCaption(const std::string& text) override {
        if (!SetWindowTextW(hwnd(), widen(text).c_str())) fail("SetWindowText", lastError());
    }
    void notify(WORD) override {}
};

class Win32Timer final : public Timer {
public:
    Win32Timer(Win32Window& owner, UINT_PTR id, std::int32_t interval, bool enabled)
        : owner_(owner), id_(id), interval_(interval), enabled_(enabled) {}
    ~Win32Timer() override { disarm(); }
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;

    std::int32_t interval() const override { return interval_; }
    void setInterval(std::int32_t milliseconds) override {
        if (milliseconds == interval_) return;
        interval_ = milliseconds;
        apply();
    }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        apply();
    }
    void setOnTick(std::function<void()> handler) override { onTick_ = std::move(handler); }

    // SetTimer with 0 would fire at its minimum period, so a timer that
    // should not run is killed instead.
    bool running() const { return enabled_ && interval_ > 0; }
    void apply();
    void disarm();
    // The window is going: its timers die with it.
    void forget() { armed_ = false; }
    UINT_PTR id() const { return id_; }
    const std::function<void()>& onTick() const { return onTick_; }

private:
    Win32Window& owner_;
    UINT_PTR id_;
    std::int32_t interval_;
    bool enabled_;
    bool armed_ = false;
    std::function<void()> onTick_;
};

}  // namespace tovi::platform::win32
