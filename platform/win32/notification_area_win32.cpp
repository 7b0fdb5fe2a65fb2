#include "platform/win32/notification_area_win32.h"

#include <cstring>

#include "base/error.h"

namespace tovi::platform {

static_assert(sizeof(NOTIFYICONDATAA::szTip) >= sizeof(NotifyIconData::szTip));

NOTIFYICONDATAA toNotifyIconDataA(const NotifyIconData& data) {
    NOTIFYICONDATAA nid;
    std::memset(&nid, 0, sizeof nid);
    if (data.cbSize > sizeof nid) throw Error("notification record larger than the shell's");
    nid.cbSize = data.cbSize;
    nid.hWnd = reinterpret_cast<HWND>(data.hWnd);
    nid.uID = data.uID;
    nid.uFlags = data.uFlags;
    nid.uCallbackMessage = data.uCallbackMessage;
    nid.hIcon = reinterpret_cast<HICON>(data.hIcon);
    std::memcpy(nid.szTip, data.szTip.data(), data.szTip.size());
    return nid;
}

bool Win32NotificationArea::available() { return ::FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }

bool Win32NotificationArea::shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) {
    NOTIFYICONDATAA nid = toNotifyIconDataA(data);
    return ::Shell_NotifyIconA(message, &nid) != FALSE;
}

}  // namespace tovi::platform
