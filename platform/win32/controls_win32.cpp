#include "platform/win32/controls_win32.h"

#include "platform/win32/toolkit_win32_internal.h"

namespace tovi::platform::win32 {

HWND Control::hwnd() const {
    owner_.handle();  // throws once the window is gone
    return hwnd_;
}

void Win32Button::notify(WORD code) {
    if (code == BN_CLICKED) owner_.call(onClick_);
}

void Win32ComboBox::setListIndex(std::int32_t index) {
    if (index < -1 || index >= listCount()) throw Error("invalid list position");
    if (index == listIndex()) return;
    // CB_SETCURSEL with -1 clears the selection and reports CB_ERR by design.
    if (SendMessageW(hwnd(), CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR && index != -1) {
        throw Error("CB_SETCURSEL failed");
    }
    // CB_SETCURSEL notifies nobody, so the click is raised here.
    lastIndex_ = index;
    owner_.call(onClick_);
}

void Win32ComboBox::notify(WORD code) {
    if (code != CBN_SELCHANGE) return;
    const std::int32_t index = listIndex();
    if (index == lastIndex_) return;
    lastIndex_ = index;
    owner_.call(onClick_);
}

void Win32Timer::apply() {
    if (running() && owner_.alive()) {
        if (!SetTimer(owner_.handle(), id_, static_cast<UINT>(interval_), nullptr)) fail("SetTimer", lastError());
        armed_ = true;
    } else {
        disarm();
    }
}

void Win32Timer::disarm() {
    if (armed_ && owner_.alive()) KillTimer(owner_.handle(), id_);
    armed_ = false;
}

}  // namespace tovi::platform::win32
