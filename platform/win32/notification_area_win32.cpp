#include "platform/win32/notification_area_win32.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

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

struct DeleteBitmap {
    void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, DeleteBitmap>;

// A 32-bit icon with alpha from one picture: a top-down DIB whose bytes are
// the picture's words as they lie in memory (blue, green, red, alpha), and
// a mask set where the picture is fully transparent.
HICON iconFrom(const IconPicture& picture) {
    const int size = picture.size;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const UniqueBitmap colour(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!colour || !bits) throw Error("CreateDIBSection failed");
    std::memcpy(bits, picture.argb.data(), picture.argb.size() * sizeof(std::uint32_t));

    const int maskRowBytes = (size + 15) / 16 * 2;  // monochrome rows are word-aligned
    std::vector<std::uint8_t> maskBits(static_cast<std::size_t>(maskRowBytes * size), 0);
    for (int row = 0; row < size; ++row) {
        for (int col = 0; col < size; ++col) {
            if (picture.argb[static_cast<std::size_t>(row * size + col)] >> 24 != 0) continue;
            maskBits[static_cast<std::size_t>(row * maskRowBytes + col / 8)] |=
                static_cast<std::uint8_t>(0x80 >> (col % 8));
        }
    }
    const UniqueBitmap mask(CreateBitmap(size, size, 1, 1, maskBits.data()));
    if (!mask) throw Error("CreateBitmap failed");

    ICONINFO iconInfo{};
    iconInfo.fIcon = TRUE;
    iconInfo.hbmMask = mask.get();
    iconInfo.hbmColor = colour.get();
    HICON icon = CreateIconIndirect(&iconInfo);  // copies both bitmaps
    if (!icon) throw Error("CreateIconIndirect failed");
    return icon;
}

}  // namespace

std::vector<int> Win32NotificationArea::iconSizes() {
    const int size = GetSystemMetrics(SM_CXSMICON);
    return {size > 0 ? size : 16};
}

std::uintptr_t Win32NotificationArea::createIcon(const std::vector<IconPicture>& pictures) {
    const std::vector<int> sizes = iconSizes();
    if (pictures.size() != 1 || pictures[0].size != sizes[0] ||
        pictures[0].argb.size() != static_cast<std::size_t>(sizes[0] * sizes[0])) {
        throw Error("tray pictures of the wrong sizes");
    }
    icons_.emplace_back(iconFrom(pictures[0]));
    return reinterpret_cast<std::uintptr_t>(icons_.back().get());
}

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
