// The Win32 toolkit against the real system (wine under Xvfb on the build
// machine): the toolkit contract, and what only the live window shows (the
// settings window's layout read back, the message box, the system's own
// ways of picking, minimizing and ending).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "common/toolkit_contract.h"
#include "platform/win32/toolkit_win32.h"
#include "resources/icon.h"
#include "window/layout.h"

namespace tovi::platform::win32 {
namespace {

using namespace std::chrono_literals;

// Runs the thread's messages for a while, as the event loop would. A WM_QUIT
// left by an unloaded window is dropped.
void pump(std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (std::chrono::steady_clock::now() < until);
}

std::wstring className(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::string text(HWND hwnd) {
    char buffer[256] = {};
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

DWORD style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

struct Dpi {
    int x, y;
};

Dpi screenDpi() {
    HDC dc = GetDC(nullptr);
    Dpi dpi{GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY)};
    ReleaseDC(nullptr, dc);
    return dpi;
}

// The window Main, built from the layout table as the program builds it.
struct MainWindow : contract::ContractWindow {
    using ContractWindow::ContractWindow;
    HWND hwnd() const { return reinterpret_cast<HWND>(window->nativeHandle()); }
    HWND item(int id) const { return GetDlgItem(hwnd(), id); }
};

// Finds the message box the main thread opens (any box when the title is
// empty), records it, and presses OK.
struct BoxCloser {
    std::wstring title;
    std::thread worker;
    std::atomic<bool> found{false};
    int buttons = 0;  // visible ones
    int icons = 0;    // visible icon controls that hold an icon
    std::wstring message;

    static BOOL CALLBACK collect(HWND child, LPARAM self) {
        auto* closer = reinterpret_cast<BoxCloser*>(self);
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        if (!(style(child) & WS_VISIBLE)) return TRUE;
        if (className(child) == L"Button") ++closer->buttons;
        if (className(child) == L"Static" && (style(child) & SS_TYPEMASK) == SS_ICON &&
            SendMessageW(child, STM_GETICON, 0, 0)) {
            ++closer->icons;
        }
        if (className(child) == L"Static" && text[0]) closer->message = text;
        return TRUE;
    }

    explicit BoxCloser(std::wstring boxTitle, std::chrono::milliseconds after) : title(std::move(boxTitle)) {
        worker = std::thread([this, after] {
            const auto until = std::chrono::steady_clock::now() + 10s;
            while (std::chrono::steady_clock::now() < until) {
                HWND box = FindWindowW(L"#32770", title.empty() ? nullptr : title.c_str());
                if (box && IsWindowVisible(box)) {
                    EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(this));
                    found = true;
                    std::this_thread::sleep_for(after);
                    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
                    return;
                }
                std::this_thread::sleep_for(10ms);
            }
        });
    }
    void wait() {
        if (worker.joinable()) worker.join();
    }
    ~BoxCloser() { wait(); }
};

class Win32Toolkit : public ::testing::Test {
protected:
    void TearDown() override { pump(20ms); }
    std::unique_ptr<Toolkit> toolkit = makeToolkit();
};

class Win32Driver final : public contract::ToolkitDriver {
public:
    Toolkit& toolkit() override { return *toolkit_; }
    void runFor(std::chrono::milliseconds time) override { pump(time); }

    void click(Window& window, const ControlSpec& control) override {
        SendMessageW(item(window, control), BM_CLICK, 0, 0);
    }

    // What the system does on a pick: select, then notify the window.
    void pick(Window& window, const ControlSpec& list, std::int32_t index) override {
        HWND combo = item(window, list);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(list.id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }

    // Through the dialog manager, as the event loop delivers keys.
    // Through the program's own loop and its dialog manager, as typed.
    // Windows makes a push button that takes the focus the default one, which
    // the dialog manager presses on Enter; wine does not, so the driver does.
    void press(Window& window, const ControlSpec& control, contract::Key key) override {
        const WPARAM code = key == contract::Key::Enter    ? VK_RETURN
                            : key == contract::Key::Escape ? VK_ESCAPE
                                                           : VK_SPACE;
        HWND target = item(window, control);
        SetFocus(target);
        if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON) {
            SendMessageW(target, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        }
        PostMessageW(target, WM_KEYDOWN, code, 1);
        PostMessageW(target, WM_KEYUP, code, static_cast<LPARAM>(0xC0000001u));
        PostQuitMessage(0);
        toolkit_->run();
    }

    void closeNextBoxAfter(std::chrono::milliseconds time) override {
        closer_ = std::make_unique<BoxCloser>(std::wstring(), time);
    }

    void closeSoon(Window& window) override {
        PostMessageW(reinterpret_cast<HWND>(window.nativeHandle()), WM_CLOSE, 0, 0);
    }

private:
    static HWND item(const Window& window, const ControlSpec& control) {
        return GetDlgItem(reinterpret_cast<HWND>(window.nativeHandle()), control.id);
    }

    std::unique_ptr<Toolkit> toolkit_ = makeToolkit();
    std::unique_ptr<BoxCloser> closer_;
};

std::unique_ptr<contract::ToolkitDriver> makeWin32Driver() { return std::make_unique<Win32Driver>(); }

using contract::ToolkitContract;
INSTANTIATE_TEST_SUITE_P(Win32, ToolkitContract, ::testing::Values(contract::Backend{"win32", &makeWin32Driver}));

// --- The layout, read back from the live window ---------------------------------

TEST_F(Win32Toolkit, WindowHasItsCaptionFrameClientSizeAndScreenScale) {
    MainWindow main(*toolkit);
    const Dpi dpi = screenDpi();
    EXPECT_EQ(toolkit->twipsPerPixelX(), 1440 / dpi.x);
    EXPECT_EQ(text(main.hwnd()), "Tovi - Lampfeld v1.10");

    const DWORD frame = style(main.hwnd());
    for (DWORD bit : {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX}) {
        EXPECT_EQ(frame & bit, bit) << std::hex << bit;
    }
    EXPECT_FALSE(IsWindowVisible(main.hwnd())) << "shown before showFirst";

    RECT client{};
    GetClientRect(main.hwnd(), &client);
    EXPECT_EQ(client.right, MulDiv(5295, dpi.x, 1440));
    EXPECT_EQ(client.bottom, MulDiv(3690, dpi.y, 1440));
}

TEST_F(Win32Toolkit, EveryControlHasItsKindStyleCaptionAndRectangle) {
    MainWindow main(*toolkit);
    const Dpi dpi = screenDpi();
    for (const ControlSpec& desc : layout::kControls) {
        SCOPED_TRACE(desc.name);
        HWND c = main.item(desc.id);
        ASSERT_NE(c, nullptr);
        const DWORD s = style(c);
        EXPECT_TRUE(s & WS_VISIBLE);
        EXPECT_FALSE(s & WS_DISABLED);
        EXPECT_FALSE(s & WS_BORDER);
        switch (desc.kind) {
        case ControlKind::CheckBox:
            EXPECT_EQ(className(c), L"Button");
            EXPECT_EQ(s & BS_TYPEMASK, static_cast<DWORD>(BS_3STATE));
            EXPECT_TRUE(s & WS_TABSTOP);
            EXPECT_EQ(SendMessageW(c, BM_GETCHECK, 0, 0), BST_UNCHECKED);
            break;
        case ControlKind::Button:
            EXPECT_EQ(className(c), L"Button");
            // Not BS_DEFPUSHBUTTON: no button is the window's default.
            EXPECT_EQ(s & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON));
            EXPECT_TRUE(s & WS_TABSTOP);
            break;
        case ControlKind::ComboBox:
            EXPECT_EQ(className(c), L"ComboBox");
            EXPECT_EQ(s & 3, static_cast<DWORD>(CBS_DROPDOWNLIST));
            EXPECT_FALSE(s & CBS_SORT);
            EXPECT_TRUE(s & WS_TABSTOP);
            EXPECT_EQ(SendMessageW(c, CB_GETCOUNT, 0, 0), 0);
            EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), CB_ERR);
            break;
        case ControlKind::Label:
            EXPECT_EQ(className(c), L"Static");
            EXPECT_EQ(s & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
            EXPECT_TRUE(s & SS_NOPREFIX);
            EXPECT_FALSE(s & WS_TABSTOP);
            EXPECT_FALSE(s & SS_SUNKEN);
            break;
        }
        EXPECT_EQ(text(c), desc.caption);

        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, main.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, MulDiv(desc.rect.left, dpi.x, 1440));
        EXPECT_EQ(r.top, MulDiv(desc.rect.top, dpi.y, 1440));
        EXPECT_EQ(r.right - r.left, MulDiv(desc.rect.width, dpi.x, 1440));
        EXPECT_EQ(r.bottom - r.top, MulDiv(desc.rect.height, dpi.y, 1440));
    }
}

TEST_F(Win32Toolkit, FirstShowIsCentredWithTheFocusInTheIntervalList) {
    MainWindow main(*toolkit);
    main.window->showFirst();
    pump(50ms);
    EXPECT_TRUE(IsWindowVisible(main.hwnd()));
    EXPECT_EQ(GetFocus(), main.item(layout::kCombo1));

    RECT r{};
    GetWindowRect(main.hwnd(), &r);
    EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    main.window->unload();
}

TEST_F(Win32Toolkit, TabVisitsTheControlsByTabIndexAndSkipsTheLabels) {
    MainWindow main(*toolkit);
    const std::vector<int> order{layout::kCombo1,   layout::kCommand1, layout::kCheck3, layout::kCheck2,
                                 layout::kCombo2,   layout::kCombo3,   layout::kCheck1, layout::kCommand2,
                                 layout::kCommand3, layout::kCheck4};
    main.window->showFirst();
    HWND at = main.item(order.front());
    for (std::size_t i = 1; i <= order.size(); ++i) {
        HWND next = GetNextDlgTabItem(main.hwnd(), at, FALSE);
        EXPECT_EQ(GetDlgCtrlID(next), order[i % order.size()]) << "after " << GetDlgCtrlID(at);
        at = next;
    }
    EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(main.hwnd(), main.item(layout::kCombo1), TRUE)), layout::kCheck4);
    main.window->unload();
}

// Screen readers name a list by the static text right before it in the
// z-order; the tab order among the focusable controls stays as it was.
TEST_F(Win32Toolkit, EachListFollowsItsLabelInTheZOrder) {
    MainWindow main(*toolkit);
    for (const auto& [list, label] : {std::pair{layout::kCombo1, layout::kLabel1}, std::pair{layout::kCombo2, layout::kLabel2},
                                      std::pair{layout::kCombo3, layout::kLabel3}}) {
        EXPECT_EQ(GetWindow(main.item(list), GW_HWNDPREV), main.item(label)) << "list " << list;
    }
    // The label, now above its list, leaves the list's top edge uncovered:
    // the strip they share is cut out of the label's window.
    RECT label{}, list{};
    GetWindowRect(main.item(layout::kLabel2), &label);
    GetWindowRect(main.item(layout::kCombo2), &list);
    ASSERT_LT(list.top, label.bottom) << "the layout overlaps them by a pixel";
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(main.item(layout::kLabel2), region), ERROR);
    EXPECT_TRUE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 0, list.top - label.top));
    DeleteObject(region);
    main.window->unload();
}

TEST_F(Win32Toolkit, ActivationGivesTheFocusBackToTheControlThatHadIt) {
    MainWindow main(*toolkit);
    main.window->showFirst();
    pump(20ms);
    SetFocus(main.item(layout::kCommand2));

    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SetActiveWindow(other);
    pump(20ms);
    SetActiveWindow(main.hwnd());
    pump(20ms);
    EXPECT_EQ(GetFocus(), main.item(layout::kCommand2));
    DestroyWindow(other);
    main.window->unload();
}

TEST_F(Win32Toolkit, WindowCarriesTheProgramIcon) {
    MainWindow main(*toolkit);
    auto icon = reinterpret_cast<HICON>(main.window->iconHandle());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(main.hwnd(), WM_GETICON, ICON_BIG, 0)), icon);

    // Drawn at its own size over white, every pixel shows the picture.
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), icon::kSize, -icon::kSize, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, icon::kSize, icon::kSize};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ASSERT_TRUE(DrawIconEx(dc, 0, 0, icon, icon::kSize, icon::kSize, 0, nullptr, DI_NORMAL));
    GdiFlush();
    const auto* pixel = static_cast<const std::uint32_t*>(bits);
    int wrong = 0;
    for (int row = 0; row < icon::kSize; ++row) {
        for (int col = 0; col < icon::kSize; ++col) {
            const std::uint8_t want = icon::pixels()[row][col];
            const std::uint32_t expected = want == icon::kTransparent ? 0xFFFFFF
                                           : want == icon::kRed       ? 0xFF0000
                                                                      : 0x000000;
            if ((pixel[row * icon::kSize + col] & 0xFFFFFF) != expected && ++wrong <= 5) {
                ADD_FAILURE() << "row " << row << " col " << col << std::hex << " have "
                              << (pixel[row * icon::kSize + col] & 0xFFFFFF);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// --- Controls ---------------------------------------------------------------------

TEST_F(Win32Toolkit, ControlsShowWhatTheyHold) {
    MainWindow main(*toolkit);
    for (std::int16_t state : {2, 1, 0}) {
        main.checks["Check1"]->setValue(state);
        EXPECT_EQ(SendMessageW(main.item(layout::kCheck1), BM_GETCHECK, 0, 0), state);
    }
    ComboBox& list = *main.lists["Combo2"];
    for (const char* entry : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(entry);
    list.setListIndex(2);
    EXPECT_EQ(SendMessageW(main.item(layout::kCombo2), CB_GETCURSEL, 0, 0), 2);
    main.labels["Label4"]->setCaption("one\r\ntwo\r\n\r\nfour");
    EXPECT_EQ(text(main.item(layout::kLabel4)), "one\r\ntwo\r\n\r\nfour");
}

TEST_F(Win32Toolkit, ArrowKeyPicksAndARepeatedNotificationRaisesNothing) {
    MainWindow main(*toolkit);
    ComboBox& list = *main.lists["Combo2"];
    for (const char* entry : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(entry);
    list.setListIndex(0);
    int clicks = 0;
    list.setOnClick([&] { ++clicks; });
    HWND c = main.item(layout::kCombo2);

    // The arrow key in the closed list moves the selection the system's way.
    SendMessageW(c, WM_KEYDOWN, VK_DOWN, 0);
    pump(20ms);
    EXPECT_EQ(list.listIndex(), 1);
    EXPECT_EQ(clicks, 1);

    const WPARAM selchange = MAKEWPARAM(layout::kCombo2, CBN_SELCHANGE);
    SendMessageW(main.hwnd(), WM_COMMAND, selchange, reinterpret_cast<LPARAM>(c));
    EXPECT_EQ(clicks, 1);
}

TEST_F(Win32Toolkit, MessageBoxHasTheApplicationTitleAnOkButtonAndNoIcon) {
    MainWindow main(*toolkit);
    main.window->showFirst();
    {
        BoxCloser closer(L"Tovi", 0ms);
        toolkit->messageBox("Nothing to see");
        closer.wait();
        ASSERT_TRUE(closer.found);
        EXPECT_EQ(closer.message, L"Nothing to see");
        EXPECT_EQ(closer.buttons, 1);
        EXPECT_EQ(closer.icons, 0);
    }
    BoxCloser closer(L"Tovi - Feldlamp", 0ms);
    toolkit->messageBox("You assign upload and download to the same lock-key", "Tovi - Feldlamp");
    closer.wait();
    EXPECT_TRUE(closer.found);
    main.window->unload();
}

// --- Window events ----------------------------------------------------------------

TEST_F(Win32Toolkit, NotificationCallbackArrivesAsAMouseMoveInTwips) {
    MainWindow main(*toolkit);
    std::vector<float> xs;
    main.window->setOnMouseMove([&](std::int16_t, std::int16_t, float x, float) { xs.push_back(x); });
    // The shell's callback: the icon id in wParam, the event code in lParam.
    SendMessageW(main.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(515, 0));
    SendMessageW(main.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(513, 0));
    ASSERT_EQ(xs.size(), 2u);
    EXPECT_EQ(xs[0], 515.0f * static_cast<float>(toolkit->twipsPerPixelX()));
    EXPECT_EQ(xs[1], 513.0f * static_cast<float>(toolkit->twipsPerPixelX()));
}

TEST_F(Win32Toolkit, MinimizedWhileShownTheWindowIsIconicUntilRestored) {
    MainWindow main(*toolkit);
    int resizes = 0;
    // As the settings window does: minimized means hidden.
    main.window->setOnResize([&] {
        ++resizes;
        if (main.window->windowState() == WindowState::Minimized) main.window->setVisible(false);
    });
    main.window->showFirst();
    pump(20ms);

    // Minimized by the program or by the title bar's button.
    main.window->setWindowState(WindowState::Minimized);
    EXPECT_GE(resizes, 1);
    EXPECT_FALSE(IsWindowVisible(main.hwnd()));
    EXPECT_EQ(main.window->windowState(), WindowState::Minimized);

    main.window->setWindowState(WindowState::Normal);
    main.window->setVisible(true);
    pump(20ms);
    EXPECT_FALSE(IsIconic(main.hwnd()));
    SendMessageW(main.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    pump(20ms);
    EXPECT_FALSE(IsWindowVisible(main.hwnd()));

    main.window->setWindowState(WindowState::Normal);
    main.window->setVisible(true);
    pump(20ms);
    EXPECT_TRUE(IsWindowVisible(main.hwnd()));
    EXPECT_FALSE(IsIconic(main.hwnd()));

    // Restored from the tray, a window minimized from maximized comes back
    // normal.
    ShowWindow(main.hwnd(), SW_SHOWMAXIMIZED);
    pump(200ms);
    ASSERT_TRUE(IsZoomed(main.hwnd()));
    main.window->setWindowState(WindowState::Minimized);
    pump(20ms);
    ASSERT_FALSE(IsWindowVisible(main.hwnd()));
    main.window->setWindowState(WindowState::Normal);
    main.window->setVisible(true);
    pump(20ms);
    EXPECT_TRUE(IsWindowVisible(main.hwnd()));
    EXPECT_FALSE(IsIconic(main.hwnd()));
    EXPECT_FALSE(IsZoomed(main.hwnd()));
    main.window->unload();
}

TEST_F(Win32Toolkit, UnloadDestroysTheWindowAndLeavesTheQuitForTheLoop) {
    MainWindow main(*toolkit);
    HWND hwnd = main.hwnd();
    main.window->unload();
    EXPECT_FALSE(IsWindow(hwnd));
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the event loop would not end";
}

}  // namespace
}  // namespace tovi::platform::win32
