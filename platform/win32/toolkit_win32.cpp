#include "platform/win32/toolkit_win32.h"

#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/scope_exit.h"
#include "base/guard.h"
#include "window/icon.h"

namespace tovi::platform::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"Tovi.Main";
constexpr int kTwipsPerInch = 1440;
constexpr int kDialogFontPoints = 8;  // the size the layout's heights were drawn for

[[noreturn]] void fail(const char* call) {
    throw Error(std::string(call) + " failed, error " + std::to_string(GetLastError()));
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) fail("MultiByteToWideChar");
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) fail("WideCharToMultiByte");
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr, nullptr);
    return text;
}

std::string windowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, wide.data(), length + 1);
    wide.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return narrow(wide);
}

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

// --- Owning wrappers ---------------------------------------------------------

class UniqueIcon {
public:
    UniqueIcon() = default;
    explicit UniqueIcon(HICON icon) : icon_(icon) {}
    UniqueIcon(UniqueIcon&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}
    UniqueIcon& operator=(UniqueIcon&& other) noexcept {
        std::swap(icon_, other.icon_);
        return *this;
    }
    ~UniqueIcon() {
        if (icon_) DestroyIcon(icon_);
    }
    HICON get() const { return icon_; }

private:
    HICON icon_ = nullptr;
};

class UniqueFont {
public:
    explicit UniqueFont(HFONT font) : font_(font) {}
    UniqueFont(const UniqueFont&) = delete;
    UniqueFont& operator=(const UniqueFont&) = delete;
    ~UniqueFont() {
        if (font_) DeleteObject(font_);
    }
    HFONT get() const { return font_; }

private:
    HFONT font_;
};

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {
        if (!dc_) fail("GetDC");
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    ~ScreenDc() { ReleaseDC(nullptr, dc_); }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

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

// Counts the handlers running (and message boxes open) on the thread, so
// that a tick never lands inside one of them.
class HandlerScope {
public:
    explicit HandlerScope(int& depth) : depth_(depth) { ++depth_; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
    ~HandlerScope() { --depth_; }

private:
    int& depth_;
};

class Win32Window;

class Win32Toolkit final : public Toolkit {
public:
    Win32Toolkit();

    std::unique_ptr<Window> createWindow(const WindowSpec& desc) override;
    int twipsPerPixelX() const override { return kTwipsPerInch / dpiX_; }
    void messageBox(const std::string& text, const std::string& title) override;
    int run() override;
    [[noreturn]] void end() override;

    int twipsPerPixelY() const { return kTwipsPerInch / dpiY_; }
    int pixelsX(int twips) const { return MulDiv(twips, dpiX_, kTwipsPerInch); }
    int pixelsY(int twips) const { return MulDiv(twips, dpiY_, kTwipsPerInch); }
    HFONT font() const { return font_ ? font_->get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }
    int textHeight() const { return textHeight_; }  // pixels, one line of the font

    // While a handler or a message box runs, no timer ticks and no other
    // handler starts.
    [[nodiscard]] HandlerScope enterHandler() { return HandlerScope(handlerDepth_); }
    bool inHandler() const { return handlerDepth_ > 0; }

    // The live window, for the loop and message boxes.
    Win32Window* current() const { return current_; }
    void setCurrent(Win32Window* window) { current_ = window; }

private:
    int handlerDepth_ = 0;
    Win32Window* current_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    std::unique_ptr<UniqueFont> font_;
    int textHeight_ = 13;
};

// --- Controls ------------------------------------------------------------------

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
        if (!SetWindowTextW(hwnd(), widen(text).c_str())) fail("SetWindowText");
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

// --- The window ------------------------------------------------------------------

class Win32Window final : public Window {
public:
    Win32Window(Win32Toolkit& toolkit, const WindowSpec& desc);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    CheckBox& createCheckBox(const ControlSpec& desc) override;
    ComboBox& createComboBox(const ControlSpec& desc) override;
    Label& createLabel(const ControlSpec& desc) override;
    Button& createButton(const ControlSpec& desc) override;
    Timer& createTimer(std::int32_t intervalMs, bool enabled) override;

    void showFirst() override;
    WindowState windowState() const override;
    void setWindowState(WindowState state) override;
    bool visible() const override { return alive() && IsWindowVisible(hwnd_); }
    void setVisible(bool visible) override;
    std::uintptr_t nativeHandle() const override { return reinterpret_cast<std::uintptr_t>(hwnd_); }
    std::uintptr_t iconHandle() const override { return reinterpret_cast<std::uintptr_t>(bigIcon_.get()); }
    void setOnResize(std::function<void()> handler) override { onResize_ = std::move(handler); }
    void setOnMouseMove(std::function<void(std::int16_t, std::int16_t, float, float)> handler) override {
        onMouseMove_ = std::move(handler);
    }
    void setOnUnload(std::function<void()> handler) override { onUnload_ = std::move(handler); }
    void unload() override;

    bool alive() const { return hwnd_ != nullptr; }
    HWND handle() const {
        if (!hwnd_) throw Error("the window has been unloaded");
        return hwnd_;
    }

    // Raises a handler for a C++ caller: its error goes to that caller.
    template <class... Args>
    void call(const std::function<void(Args...)>& handler, Args... args) {
        if (!handler) return;
        const HandlerScope scope = toolkit_.enterHandler();
        handler(args...);
    }

    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Raises a handler for a window message: see the header on errors.
    template <class... Args>
    void dispatch(const std::function<void(Args...)>& handler, Args... args) {
        step([&] { call(handler, args...); });
    }

    HWND createChild(const ControlSpec& desc, const wchar_t* windowClass, DWORD style, int extraHeight);
    // Wraps the child window in its control object, which the window keeps.
    template <class Wrapper>
    Wrapper& adopt(HWND child) {
        auto control = std::make_unique<Wrapper>(*this, child);
        Wrapper& result = *control;
        controls_[child] = std::move(control);
        return result;
    }
    void placeInTabOrder(HWND child, const ControlSpec& desc, bool takesFocus);
    void centre();
    HWND firstTabStop() const;
    void restoreFocus();
    void destroy();

    Win32Toolkit& toolkit_;
    HWND hwnd_ = nullptr;  // owned; null once destroyed
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    bool shown_ = false;                             // has been visible at least once
    bool unloaded_ = false;                          // the unload handler has been raised
    bool dying_ = false;                             // the destructor runs: raise nothing more
    WindowState hiddenState_ = WindowState::Normal;  // the state while invisible
    HWND focus_ = nullptr;                           // the control to give the focus back to on activation

    std::map<HWND, std::unique_ptr<Control>> controls_;
    std::vector<std::unique_ptr<Win32Timer>> timers_;
    // Children in z-order, which is the tab order: focusable ones by tab
    // index, then the labels (they never take the focus and, drawn below,
    // never cover an edge of the control they overlap).
    std::vector<std::pair<std::tuple<bool, int, int>, HWND>> zOrder_;

    std::function<void()> onResize_;
    std::function<void(std::int16_t, std::int16_t, float, float)> onMouseMove_;
    std::function<void()> onUnload_;
};

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
        if (!SetTimer(owner_.handle(), id_, static_cast<UINT>(interval_), nullptr)) fail("SetTimer");
        armed_ = true;
    } else {
        disarm();
    }
}

void Win32Timer::disarm() {
    if (armed_ && owner_.alive()) KillTimer(owner_.handle(), id_);
    armed_ = false;
}

HICON loadIcon(int size) {
    auto icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResourceId), IMAGE_ICON, size, size, 0));
    if (icon) return icon;
    std::vector<std::uint8_t> image = icon::iconImage();
    return CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size,
                                    LR_DEFAULTCOLOR);
}

Win32Window::Win32Window(Win32Toolkit& toolkit, const WindowSpec& desc)
    : toolkit_(toolkit),
      bigIcon_(loadIcon(GetSystemMetrics(SM_CXICON))),
      smallIcon_(loadIcon(GetSystemMetrics(SM_CXSMICON))) {
    constexpr DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, toolkit_.pixelsX(desc.clientWidth), toolkit_.pixelsY(desc.clientHeight)};
    if (!AdjustWindowRectEx(&frame, style, FALSE, 0)) fail("AdjustWindowRectEx");
    // WM_NCCREATE stores hwnd_ and ties the handle to this object.
    if (!CreateWindowExW(0, kWindowClass, widen(desc.caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         GetModuleHandleW(nullptr), this)) {
        fail("CreateWindowEx");
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
    if (!child) fail("CreateWindowEx");
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(toolkit_.font()), FALSE);
    placeInTabOrder(child, desc, (style & WS_TABSTOP) != 0);
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

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        // IDOK and IDCANCEL from Enter and Escape carry no control of ours.
        // The notification has no C++ caller: see the header on errors.
        const auto found = controls_.find(reinterpret_cast<HWND>(lParam));
        if (lParam && found != controls_.end()) step([&] { found->second->notify(HIWORD(wParam)); });
        return 0;
    }
    case WM_TIMER: {
        if (toolkit_.inHandler() || dying_) return 0;
        for (auto& timer : timers_) {
            // A WM_TIMER posted before KillTimer may still arrive.
            if (timer->id() == wParam && timer->running()) dispatch(timer->onTick());
        }
        return 0;
    }
    case WM_SIZE:
        if (!dying_) dispatch(onResize_);
        return 0;
    case WM_MOUSEMOVE: {
        // The notification area's callback arrives here with the event code
        // in place of the horizontal position.
        if (toolkit_.inHandler() || dying_) return 0;
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
        return 0;
    }
    case WM_ACTIVATE:
        // As a dialog does: remember the focused control when deactivated
        // and give it back on activation, so that the focus survives an
        // activation that the window did not ask for.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focused = GetFocus();
            if (focused && IsChild(hwnd_, focused)) focus_ = focused;
        } else if (!HIWORD(wParam)) {
            restoreFocus();
        }
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
        if (!dying_) {
            if (!unloaded_) {
                unloaded_ = true;
                dispatch(onUnload_);
            }
            PostQuitMessage(0);
        }
        return 0;
    case WM_NCDESTROY: {
        HWND going = std::exchange(hwnd_, nullptr);
        for (auto& timer : timers_) timer->forget();
        SetWindowLongPtrW(going, GWLP_USERDATA, 0);
        if (toolkit_.current() == this) toolkit_.setCurrent(nullptr);
        return DefWindowProcW(going, message, wParam, lParam);
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

// --- The toolkit ----------------------------------------------------------------

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
    if (!MessageBoxW(owner, widen(text).c_str(), caption.c_str(), MB_OK)) fail("MessageBox");
}

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

int Win32Toolkit::run() {
    if (!current_) return 0;
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) fail("GetMessage");
        if (current_ && current_->alive() && !pressesFocusedButton(message) &&
            IsDialogMessageW(current_->handle(), &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Toolkit::end() { ExitProcess(0); }

}  // namespace

std::unique_ptr<Toolkit> makeToolkit() { return std::make_unique<Win32Toolkit>(); }

}  // namespace tovi::platform::win32
