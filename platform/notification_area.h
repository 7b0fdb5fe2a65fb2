// The notification area of the task bar, in the terms of Shell_NotifyIconA.
//
// The record mirrors the first (88-byte) version of NOTIFYICONDATAA. Window
// and icon handles are the toolkit's opaque handles (Window::nativeHandle,
// Window::iconHandle). A mouse event on the icon reaches the window as
// message uCallbackMessage with the event code where the pointer's horizontal
// position would be; with 512 (WM_MOUSEMOVE) it arrives at the window's
// ordinary mouse-move handler.
//
// Called on the window's thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace tovi::platform {

inline constexpr std::uint32_t kNimAdd = 0;
inline constexpr std::uint32_t kNimDelete = 2;

inline constexpr std::uint32_t kNifMessage = 1;
inline constexpr std::uint32_t kNifIcon = 2;
inline constexpr std::uint32_t kNifTip = 4;

inline constexpr std::uint32_t kWmMouseMove = 512;
inline constexpr std::uint32_t kWmLButtonDblClk = 515;

struct NotifyIconData {
    std::uint32_t cbSize = 0;
    std::uintptr_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uintptr_t hIcon = 0;
    std::array<char, 64> szTip{};  // ANSI text, NUL, then blanks
};

class NotificationArea {
public:
    virtual ~NotificationArea() = default;

    // False where no notification area exists (a desktop without a tray host).
    virtual bool available() = 0;

    // message: kNimAdd or kNimDelete. Returns the shell's result.
    virtual bool shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) = 0;

    // True while the icon the record names sits in a notification area, so
    // that a double-click on it can reach its window.
    virtual bool iconShown(const NotifyIconData& data) = 0;

    // Raised when a notification area appears (a tray host starts, the task
    // bar is created again) or goes away. A host that starts anew holds none
    // of the icons added before: the handler adds its own again. An empty
    // handler stops the calls.
    virtual void setOnHostChanged(std::function<void()> handler) = 0;
};

}  // namespace tovi::platform
