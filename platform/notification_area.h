// The notification area of the task bar, in the terms of Shell_NotifyIconA.
//
// The record mirrors the first (88-byte) version of NOTIFYICONDATAA. Window
// and icon handles are the toolkit's opaque handles (Window::nativeHandle,
// Window::iconHandle). A mouse event on the icon reaches the window as
// message uCallbackMessage with the event code where the pointer's horizontal
// position would be; with 512 (WM_MOUSEMOVE) it arrives at the window's
// ordinary mouse-move handler.
//
// Pictures for the icon are drawn by the caller, in plain pixels, for the
// sizes the area asks for; the area turns them into icon handles that it owns
// until it is destroyed, so that a handle stays valid while the shell shows it.
//
// Called on the window's thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace tovi::platform {

inline constexpr std::uint32_t kNimAdd = 0;
inline constexpr std::uint32_t kNimModify = 1;
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

// One square picture: 0xAARRGGBB per pixel (straight alpha), row-major with
// the top row first, size * size entries.
struct IconPicture {
    int size = 0;  // pixels, both ways
    std::vector<std::uint32_t> argb;
};

class NotificationArea {
public:
    virtual ~NotificationArea() = default;

    // False where no notification area exists (a desktop without a tray host).
    virtual bool available() = 0;

    // message: kNimAdd, kNimModify (the fields uFlags names: a new picture
    // with kNifIcon) or kNimDelete. Returns the shell's result.
    virtual bool shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) = 0;

    // True while the icon the record names sits in a notification area, so
    // that a double-click on it can reach its window.
    virtual bool iconShown(const NotifyIconData& data) = 0;

    // The edge lengths, in pixels, of the pictures the area shows its icons
    // at; never empty.
    virtual std::vector<int> iconSizes() = 0;

    // An icon handle for NotifyIconData::hIcon made of one picture for each
    // size of iconSizes(), owned by the area until it is destroyed. Throws
    // tovi::Error when the pictures do not match those sizes or the system
    // cannot make the icon.
    virtual std::uintptr_t createIcon(const std::vector<IconPicture>& pictures) = 0;

    // Raised when a notification area appears (a tray host starts, the task
    // bar is created again) or goes away. A host that starts anew holds none
    // of the icons added before: the handler adds its own again. An empty
    // handler stops the calls.
    virtual void setOnHostChanged(std::function<void()> handler) = 0;
};

}  // namespace tovi::platform
