#include "platform/win32/toolkit_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/error.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/toolkit_win32_internal.h"

namespace tovi::platform::win32 {
namespace {

constexpr int kDialogFontPoints = 8;  // the size the layout's heights were drawn for

// The window class, registered once for the process and unregistered when
// it ends.
class WindowClass {
public:
    explicit WindowClass(WNDPROC procedure) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        registered_ = RegisterClassExW(&wc) != 0;
    }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;
    ~WindowClass() {
        if (registered_) UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr));
    }
    bool registered() const { return registered_; }

private:
    bool registered_ = false;
};

// Enter and Escape on a focused push button: the dialog manager would press
// it (Enter as the default button, Escape when its ID were IDCANCEL), while
// only the space bar may. Past the dialog manager the button ignores both.
bool pressesFocusedButton(const MSG& message) {
    if (message.message != WM_KEYDOWN && message.message != WM_KEYUP && message.message != WM_CHAR) return false;
    const bool enterOrEscape = message.message == WM_CHAR ? message.wParam == L'\r' || message.wParam == 27
                                                          : message.wParam == VK_RETURN || message.wParam == VK_ESCAPE;
    if (!enterOrEscape || !message.hwnd) return false;
    return (SendMessageW(message.hwnd, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

}  // namespace

Win32Toolkit::Win32Toolkit() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    static const WindowClass windowClass(&Win32Window::procedure);
    if (!windowClass.registered()) throw Error("RegisterClassEx failed");

    ScreenDc screen;
    dpiX_ = std::max(GetDeviceCaps(screen.get(), LOGPIXELSX), 1);
    dpiY_ = std::max(GetDeviceCaps(screen.get(), LOGPIXELSY), 1);

    // The platform's dialog font at the size the layout was drawn for,
    // scaled to the screen's real resolution.
    LOGFONTW face{};
    if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face) == sizeof face) {
        face.lfHeight = -MulDiv(kDialogFontPoints, dpiY_, 72);
        face.lfWidth = 0;
        if (HFONT created = CreateFontIndirectW(&face)) font_ = std::make_unique<UniqueFont>(created);
    }
    HGDIOBJ previous = SelectObject(screen.get(), font());
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(screen.get(), &metrics)) textHeight_ = metrics.tmHeight;
    SelectObject(screen.get(), previous);
}

std::unique_ptr<Window> Win32Toolkit::createWindow(const WindowSpec& desc) {
    return std::make_unique<Win32Window>(*this, desc);
}

void Win32Toolkit::messageBox(const std::string& text, const std::string& title) {
    const HandlerScope scope = enterHandler();
    // A visible window is the box's owner, so that it takes no input while
    // the box is open; a hidden one would hide the box from the task bar.
    HWND owner = current_ && current_->visible() ? current_->handle() : nullptr;
    const std::wstring caption = widen(title.empty() ? std::string(kApplicationTitle) : title);
    if (!MessageBoxW(owner, widen(text).c_str(), caption.c_str(), MB_OK)) fail("MessageBox", lastError());
}

int Win32Toolkit::run() {
    if (!current_) return 0;
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) fail("GetMessage", lastError());
        if (current_ && current_->alive() && !pressesFocusedButton(message) &&
            IsDialogMessageW(current_->handle(), &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Toolkit::end() { ExitProcess(0); }

std::unique_ptr<Toolkit> makeToolkit() { return std::make_unique<Win32Toolkit>(); }

}  // namespace tovi::platform::win32
