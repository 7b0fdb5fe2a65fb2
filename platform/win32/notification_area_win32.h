// The Windows notification area: Shell_NotifyIconA with the first, 88-byte
// version of NOTIFYICONDATAA, so that the shell reads exactly the fields the
// program fills and a 64-byte tip.
//
// The shell sends the icon's mouse events to the record's window as its
// callback message; nothing here receives them. available() reports whether
// a task bar (the "Shell_TrayWnd" window) exists to show the icon;
// iconShown() asks the shell whether it holds the icon. The icon's pictures
// are made at the small-icon size the shell draws tray icons at
// (SM_CXSMICON), as 32-bit icons with alpha, and owned here.
//
// A task bar that starts (again, after Explorer restarted, or late at logon)
// holds none of the icons added before and broadcasts the registered message
// "TaskbarCreated" to every top-level window. While a host handler is set, a
// hidden top-level window of this object's own hears that message and raises
// the handler. A task bar that goes away tells no one.
//
// Window thread only.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <vector>

#include "platform/notification_area.h"
#include "platform/win32/scoped_handles.h"

namespace tovi::platform {

#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first NOTIFYICONDATAA is 88 bytes in a 32-bit build");
static_assert(sizeof(std::uintptr_t) == sizeof(HWND) && sizeof(std::uintptr_t) == sizeof(HICON));
#endif

// The native record for a portable one: every byte past the fields the
// record's cbSize covers is zero. Throws tovi::Error for a cbSize larger
// than the native record, which would let the shell read past it.
NOTIFYICONDATAA toNotifyIconDataA(const NotifyIconData& data);

class Win32NotificationArea : public NotificationArea {
public:
    Win32NotificationArea() = default;
    ~Win32NotificationArea() override;
    Win32NotificationArea(const Win32NotificationArea&) = delete;
    Win32NotificationArea& operator=(const Win32NotificationArea&) = delete;

    bool available() override;
    bool shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) override;
    bool iconShown(const NotifyIconData& data) override;
    void setOnHostChanged(std::function<void()> handler) override;
    std::vector<int> iconSizes() override;
    std::uintptr_t createIcon(const std::vector<IconPicture>& pictures) override;

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    std::function<void()> onHostChanged_;
    UINT taskbarCreated_ = 0;  // the registered message's number
    HWND listener_ = nullptr;  // owned; hears "TaskbarCreated"
    std::vector<win32::UniqueIcon> icons_;
};

}  // namespace tovi::platform
