#include "platform/win32/notification_area_win32.h"

#include <cstring>

#include "base/error.h"
#include "base/guard.h"

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

namespace {

constexpr wchar_t kListenerClass[] = L"Tovi.TaskbarListener";

}  // namespace

Win32NotificationArea::~Win32NotificationArea() {
    if (listener_) ::DestroyWindow(listener_);
}

bool Win32NotificationArea::available() { return ::FindWindowA("Shell_TrayWnd", nullptr) != nullptr; }

bool Win32NotificationArea::shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) {
    NOTIFYICONDATAA nid = toNotifyIconDataA(data);
    return ::Shell_NotifyIconA(message, &nid) != FALSE;
}

bool Win32NotificationArea::iconShown(const NotifyIconData& data) {
    // A modification that changes nothing succeeds only for an icon the
    // shell holds.
    NotifyIconData unchanged = data;
    unchanged.uFlags = 0;
    NOTIFYICONDATAA nid = toNotifyIconDataA(unchanged);
    return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

void Win32NotificationArea::setOnHostChanged(std::function<void()> handler) {
    onHostChanged_ = std::move(handler);
    if (!onHostChanged_ || listener_) return;
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Win32NotificationArea::procedure;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kListenerClass;
        return ::RegisterClassExW(&wc) != 0;
    }();
    if (!registered) throw Error("RegisterClassEx failed");
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    if (taskbarCreated_ == 0) throw Error("RegisterWindowMessage failed");
    // Top-level, never shown: a message-only window hears no broadcast.
    listener_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kListenerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), this);
    if (!listener_) throw Error("CreateWindowEx failed");
}

LRESULT CALLBACK Win32NotificationArea::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32NotificationArea*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32NotificationArea*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message != 0 && message == self->taskbarCreated_) {
        // A copy: the handler may replace itself. Its failure ends here, as
        // nothing can unwind through the system's frames.
        const std::function<void()> handler = self->onHostChanged_;
        if (handler) step(handler);
        return 0;
    }
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace tovi::platform
