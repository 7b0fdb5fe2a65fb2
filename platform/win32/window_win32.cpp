// The Win32 toolkit's window: one top-level window of the toolkit's class
// with its child controls, its timers and its icons, all of which it owns
// (see toolkit_win32_internal.h), and its window procedure. Window thread
// only.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/scope_exit.h"
#include "base/guard.h"
#include "platform/win32/toolkit_win32.h"
#include "platform/win32/toolkit_win32_internal.h"
#include "resources/icon.h"

namespace tovi::platform::win32 {
namespace {

// Shows the window in its normal state. A window minimized from maximized
// would come back maximized (SW_RESTORE, and SW_SHOWNORMAL too), so the
// system is first told to forget that; normal means neither minimized nor
// maximized.
void showNormal(HWND hwnd) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (IsIconic(hwnd) && GetWindowPlacement(hwnd, &placement) && (placement.flags & WPF_RESTORETOMAXIMIZED)) {
        placement.flags &= ~static_cast<UINT>(WPF_RESTORETOMAXIMIZED);
        placement.showCmd = SW_SHOWNORMAL;
        SetWindowPlacement(hwnd, &placement);
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    if (IsZoomed(hwnd)) ShowWindow(hwnd, SW_RESTORE);
}

HICON loadIcon(int size) {
    auto icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON, size, size, 0));
    if (icon) return icon;
    std::vector<std::uint8_t> image = icon::iconImage();
    return CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size,
                                    LR_DEFAULTCOLOR);
}

}  // namespace

Win32Window::Win32Window(Win32Toolkit& toolkit, const WindowSpec& desc)
    : toolkit_(toolkit),
      bigIcon_(loadIcon(GetSystemMetrics(SM_CXICON))),
      smallIcon_(loadIcon(GetSystemMetrics(SM_CXSMICON))) {
    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, toolkit_.pixelsX(desc.clientWidth), toolkit_.pixelsY(desc.clientHeight)};
    if (!AdjustWindowRectEx(&frame, style, FALSE, 0)) fail("AdjustWindowRectEx", lastError());
    // WM_NCCREATE stores hwnd_ and ties the handle to this object.
    if (!CreateWindowExW(0, kWindowClass, widen(desc.caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         GetModuleHandleW(nullptr), this)) {
        fail("CreateWindowEx", lastError());
    }
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    toolkit_.setCurrent(this);
}

Win32Window::~Win32Window() {
    dying_ = true;
    onResize_ = nullptr;
    onMouseMove_ = nullptr;
    onUnload_ = nullptr;
    timers_.clear();
    destroy();
}

void Win32Window::destroy() {
    for (auto& timer : timers_) timer->disarm();
    if (hwnd_) DestroyWindow(hwnd_);  // WM_NCDESTROY clears hwnd_
}

HWND Win32Window::createChild(const ControlSpec& desc, const wchar_t* windowClass, DWORD style, int extraHeight) {
    const int height = toolkit_.pixelsY(desc.rect.height);
    HWND child = CreateWindowExW(0, windowClass, widen(desc.caption ? desc.caption : "").c_str(),
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, toolkit_.pixelsX(desc.rect.left),
                                 toolkit_.pixelsY(desc.rect.top), toolkit_.pixelsX(desc.rect.width),
                                 height + extraHeight, handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(desc.id)),
                                 GetModuleHandleW(nullptr), nullptr);
    if (!child) fail("CreateWindowEx", lastError());
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(toolkit_.font()), FALSE);
    placeInTabOrder(child, desc, (style & WS_TABSTOP) != 0);
    placeLabelBefore(child, desc);
    return child;
}

void Win32Window::placeInTabOrder(HWND child, const ControlSpec& desc, bool takesFocus) {
    const std::tuple<bool, int, int> key{!takesFocus, desc.tabIndex, static_cast<int>(zOrder_.size())};
    const auto at = std::upper_bound(zOrder_.begin(), zOrder_.end(), key,
                                     [](const auto& k, const auto& entry) { return k < entry.first; });
    HWND after = at == zOrder_.begin() ? HWND_TOP : std::prev(at)->second;
    SetWindowPos(child, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    zOrder_.insert(at, {key, child});
}

void Win32Window::placeLabelBefore(HWND child, const ControlSpec& desc) {
    if (!desc.labelledBy) return;
    // A window made of some controls only (a test's) may lack the label.
    const auto label = labels_.find(desc.labelledBy);
    if (label == labels_.end()) return;
    const auto isLabel = [&](const auto& entry) { return entry.second == label->second; };
    zOrder_.erase(std::remove_if(zOrder_.begin(), zOrder_.end(), isLabel), zOrder_.end());
    const auto at = std::find_if(zOrder_.begin(), zOrder_.end(), [&](const auto& e) { return e.second == child; });
    // The control's own key with the lowest sequence number keeps the
    // label right before it as later children are sorted in.
    const auto& [noFocus, tabIndex, sequence] = at->first;
    (void)sequence;
    HWND after = at == zOrder_.begin() ? HWND_TOP : std::prev(at)->second;
    SetWindowPos(label->second, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    zOrder_.insert(at, {{noFocus, tabIndex, -1}, label->second});

    // Now above the control, the label would cover the edge of it that it
    // overlaps: that strip is cut out of the label's window.
    RECT labelRect{}, controlRect{}, overlap{};
    GetWindowRect(label->second, &labelRect);
    GetWindowRect(child, &controlRect);
    if (!IntersectRect(&overlap, &labelRect, &controlRect)) return;
    OffsetRect(&overlap, -labelRect.left, -labelRect.top);
    HRGN region = CreateRectRgn(0, 0, labelRect.right - labelRect.left, labelRect.bottom - labelRect.top);
    HRGN cut = CreateRectRgn(overlap.left, overlap.top, overlap.right, overlap.bottom);
    if (region && cut) CombineRgn(region, region, cut, RGN_DIFF);
    if (cut) DeleteObject(cut);
    // The system owns the region once it is set.
    if (region && !SetWindowRgn(label->second, region, FALSE)) DeleteObject(region);
}

CheckBox& Win32Window::createCheckBox(const ControlSpec& desc) {
    HWND child = createChild(desc, L"BUTTON", WS_TABSTOP | WS_GROUP | BS_3STATE, 0);
    return adopt<Win32CheckBox>(child);
}

ComboBox& Win32Window::createComboBox(const ControlSpec& desc) {
    // The height given to a drop-down list is that of the open list; the
    // closed box takes its height from the font, and is then brought to the
    // layout's height where one line of text still fits.
    const int closed = toolkit_.pixelsY(desc.rect.height);
    HWND child = createChild(desc, L"COMBOBOX", WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST, closed * 10);
    // The field's height is corrected by what the box then measures, since
    // not every system reads back the height it was given (wine adds two).
    auto field = static_cast<int>(SendMessageW(child, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    for (int attempt = 0; attempt < 3 && field != CB_ERR; ++attempt) {
        RECT rect{};
        GetWindowRect(child, &rect);
        const int difference = closed - (rect.bottom - rect.top);
        if (difference == 0 || field + difference < toolkit_.textHeight()) break;
        field += difference;
        SendMessageW(child, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
    return adopt<Win32ComboBox>(child);
}

Label& Win32Window::createLabel(const ControlSpec& desc) {
    HWND child = createChild(desc, L"STATIC", SS_LEFT | SS_NOPREFIX, 0);
    labels_[desc.name] = child;
    return adopt<Win32Label>(child);
}

Button& Win32Window::createButton(const ControlSpec& desc) {
    HWND child = createChild(desc, L"BUTTON", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0);
    return adopt<Win32Button>(child);
}

Timer& Win32Window::createTimer(std::int32_t intervalMs, bool enabled) {
    timers_.push_back(std::make_unique<Win32Timer>(*this, timers_.size() + 1, intervalMs, enabled));
    timers_.back()->apply();
    return *timers_.back();
}

void Win32Window::centre() {
    RECT rect{};
    GetWindowRect(handle(), &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::showFirst() {
    HWND hwnd = handle();
    if (!shown_) centre();
    shown_ = true;
    const bool minimized = hiddenState_ == WindowState::Minimized;
    ShowWindow(hwnd, minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    if (!minimized) {
        SetForegroundWindow(hwnd);
        restoreFocus();
    }
}

WindowState Win32Window::windowState() const {
    HWND hwnd = handle();
    if (!IsWindowVisible(hwnd)) return hiddenState_;
    return IsIconic(hwnd) ? WindowState::Minimized : WindowState::Normal;
}

void Win32Window::setWindowState(WindowState state) {
    HWND hwnd = handle();
    if (state == windowState()) return;
    if (IsWindowVisible(hwnd)) {
        // WM_SIZE raises the resize handler.
        if (state == WindowState::Minimized) {
            ShowWindow(hwnd, SW_MINIMIZE);
        } else {
            showNormal(hwnd);
        }
        return;
    }
    // Minimizing a hidden window through the system would show it; the state
    // is kept here and takes effect when the window is shown.
    hiddenState_ = state;
    call(onResize_);
}

void Win32Window::setVisible(bool visible) {
    HWND hwnd = handle();
    if (visible == static_cast<bool>(IsWindowVisible(hwnd))) return;
    if (!visible) {
        hiddenState_ = IsIconic(hwnd) ? WindowState::Minimized : WindowState::Normal;
        ShowWindow(hwnd, SW_HIDE);
        return;
    }
    if (!shown_) centre();
    shown_ = true;
    if (hiddenState_ == WindowState::Minimized) {
        ShowWindow(hwnd, SW_SHOWMINIMIZED);
    } else {
        showNormal(hwnd);
        SetForegroundWindow(hwnd);
    }
}

void Win32Window::unload() {
    if (unloaded_ || !alive()) return;
    unloaded_ = true;
    // The window goes even when the handler fails.
    const ScopeExit destroyed([this] { destroy(); });
    call(onUnload_);
}

HWND Win32Window::firstTabStop() const {
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) return child;
    }
    return nullptr;
}

void Win32Window::restoreFocus() {
    HWND target = focus_ && IsWindow(focus_) && IsChild(hwnd_, focus_) ? focus_ : firstTabStop();
    if (target) SetFocus(target);
}

LRESULT CALLBACK Win32Window::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

// A control's notification. IDOK and IDCANCEL from Enter and Escape carry no
// control of ours. The notification has no C++ caller: see the header on
// errors.
void Win32Window::commandArrived(WPARAM wParam, LPARAM lParam) {
    const auto found = controls_.find(reinterpret_cast<HWND>(lParam));
    if (lParam && found != controls_.end()) step([&] { found->second->notify(HIWORD(wParam)); });
}

void Win32Window::timerFired(WPARAM id) {
    if (toolkit_.inHandler() || dying_) return;
    for (auto& timer : timers_) {
        // A WM_TIMER posted before KillTimer may still arrive.
        if (timer->id() == id && timer->running()) dispatch(timer->onTick());
    }
}

// The notification area's callback arrives here with the event code in place
// of the horizontal position.
void Win32Window::mouseMoved(WPARAM wParam, LPARAM lParam) {
    if (toolkit_.inHandler() || dying_) return;
    std::int16_t button = 0, shift = 0;
    if (wParam & MK_LBUTTON) button |= 1;
    if (wParam & MK_RBUTTON) button |= 2;
    if (wParam & MK_MBUTTON) button |= 4;
    if (wParam & MK_SHIFT) shift |= 1;
    if (wParam & MK_CONTROL) shift |= 2;
    if (GetKeyState(VK_MENU) < 0) shift |= 4;
    const auto x = static_cast<float>(GET_X_LPARAM(lParam) * toolkit_.twipsPerPixelX());
    const auto y = static_cast<float>(GET_Y_LPARAM(lParam) * toolkit_.twipsPerPixelY());
    dispatch(onMouseMove_, button, shift, x, y);
}

// As a dialog does: remember the focused control when deactivated and give it
// back on activation, so that the focus survives an activation that the
// window did not ask for.
void Win32Window::activated(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focused = GetFocus();
        if (focused && IsChild(hwnd_, focused)) focus_ = focused;
    } else if (!HIWORD(wParam)) {
        restoreFocus();
    }
}

void Win32Window::destroyed() {
    if (dying_) return;
    if (!unloaded_) {
        unloaded_ = true;
        dispatch(onUnload_);
    }
    PostQuitMessage(0);
}

// The last message: the window lets go of its handle.
LRESULT Win32Window::released(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND going = std::exchange(hwnd_, nullptr);
    for (auto& timer : timers_) timer->forget();
    SetWindowLongPtrW(going, GWLP_USERDATA, 0);
    if (toolkit_.current() == this) toolkit_.setCurrent(nullptr);
    return DefWindowProcW(going, message, wParam, lParam);
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        commandArrived(wParam, lParam);
        return 0;
    case WM_TIMER:
        timerFired(wParam);
        return 0;
    case WM_SIZE:
        if (!dying_) dispatch(onResize_);
        return 0;
    case WM_MOUSEMOVE:
        mouseMoved(wParam, lParam);
        return 0;
    case WM_ACTIVATE:
        activated(wParam);
        return 0;
    case WM_SETFOCUS:
        restoreFocus();
        return 0;
    case WM_CLOSE:
        step([&] { unload(); });
        return 0;
    case WM_ENDSESSION:
        // The session ends without a WM_CLOSE: the settings are stored all the same.
        if (wParam) step([&] { unload(); });
        return 0;
    case WM_DESTROY:
        destroyed();
        return 0;
    case WM_NCDESTROY:
        return released(message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

}  // namespace tovi::platform::win32
