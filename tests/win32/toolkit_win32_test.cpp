// The Win32 toolkit against the real system (wine under Xvfb on the build
// machine): the toolkit contract, and what only the live window shows (the
// settings window's layout and focus read back, its icon, the system's own
// ways of picking, minimizing and reporting the tray icon's events).
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "common/toolkit_contract.h"
#include "platform/win32/toolkit_win32.h"
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

// Presses OK in the next message box the main thread opens, once it has
// been open for a while.
class BoxCloser {
public:
    explicit BoxCloser(std::chrono::milliseconds after)
        : worker_([after] {
              const auto until = std::chrono::steady_clock::now() + 10s;
              while (std::chrono::steady_clock::now() < until) {
                  HWND box = FindWindowW(L"#32770", nullptr);
                  if (box && IsWindowVisible(box)) {
                      std::this_thread::sleep_for(after);
                      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
                      return;
                  }
                  std::this_thread::sleep_for(10ms);
              }
          }) {}
    ~BoxCloser() { worker_.join(); }

private:
    std::thread worker_;
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
        closer_ = std::make_unique<BoxCloser>(time);
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

// The layout's twips become pixels at the screen's scale; a drop-down list is
// brought back to its closed height, which the system measures its own way.
TEST_F(Win32Toolkit, WindowAndControlsTakeTheLayoutAtTheScreensScale) {
    MainWindow main(*toolkit);
    const Dpi dpi = screenDpi();
    RECT client{};
    GetClientRect(main.hwnd(), &client);
    EXPECT_EQ(client.right, MulDiv(layout::kMain.clientWidth, dpi.x, 1440));
    EXPECT_EQ(client.bottom, MulDiv(layout::kMain.clientHeight, dpi.y, 1440));

    for (const ControlSpec& desc : layout::kControls) {
        SCOPED_TRACE(desc.name);
        HWND c = main.item(desc.id);
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(style(c) & WS_VISIBLE);
        // A list the user picks from and cannot type into.
        if (desc.kind == ControlKind::ComboBox) {
            EXPECT_EQ(style(c) & 3, static_cast<DWORD>(CBS_DROPDOWNLIST));
        }

        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, main.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, MulDiv(desc.rect.left, dpi.x, 1440));
        EXPECT_EQ(r.top, MulDiv(desc.rect.top, dpi.y, 1440));
        EXPECT_EQ(r.right - r.left, MulDiv(desc.rect.width, dpi.x, 1440));
        EXPECT_EQ(r.bottom - r.top, MulDiv(desc.rect.height, dpi.y, 1440));
    }
}

// Centred, with the focus in the interval list; Tab walks the controls by tab
// index past the labels; and an activation the window did not ask for gives
// the focus back to the control that had it.
TEST_F(Win32Toolkit, FirstShowIsCentredAndTheFocusFollowsTheTabOrderAndSurvivesActivation) {
    MainWindow main(*toolkit);
    main.window->showFirst();
    pump(50ms);
    EXPECT_TRUE(IsWindowVisible(main.hwnd()));
    EXPECT_EQ(GetFocus(), main.item(layout::kCombo1));
    RECT r{};
    GetWindowRect(main.hwnd(), &r);
    EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

    const std::vector<int> order{layout::kCombo1,   layout::kCommand1, layout::kCheck3, layout::kCheck2,
                                 layout::kCombo2,   layout::kCombo3,   layout::kCheck1, layout::kCommand2,
                                 layout::kCommand3, layout::kCheck4};
    HWND at = main.item(order.front());
    for (std::size_t i = 1; i <= order.size(); ++i) {
        HWND next = GetNextDlgTabItem(main.hwnd(), at, FALSE);
        EXPECT_EQ(GetDlgCtrlID(next), order[i % order.size()]) << "after " << GetDlgCtrlID(at);
        at = next;
    }
    EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(main.hwnd(), main.item(layout::kCombo1), TRUE)), layout::kCheck4);

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

// The title bar and the task switcher show the program's icon; its pixels
// are the checked-in icon's (see the icon tests).
TEST_F(Win32Toolkit, WindowCarriesTheProgramIcon) {
    MainWindow main(*toolkit);
    auto icon = reinterpret_cast<HICON>(main.window->iconHandle());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(main.hwnd(), WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_NE(SendMessageW(main.hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
}

// --- Controls ---------------------------------------------------------------------

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

// --- Window events ----------------------------------------------------------------

TEST_F(Win32Toolkit, NotificationCallbackArrivesAsAMouseMoveInTwips) {
    MainWindow main(*toolkit);
    std::vector<float> xs;
    main.window->setOnMouseMove([&](std::int16_t, std::int16_t, float x, float) { xs.push_back(x); });
    // The shell's callback: the icon id in wParam, the event code in lParam.
    SendMessageW(main.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(515, 0));
    SendMessageW(main.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(513, 0));
    ASSERT_EQ(xs.size(), 2u);
    const int twipsPerPixel = 1440 / screenDpi().x;
    EXPECT_EQ(toolkit->twipsPerPixelX(), twipsPerPixel);
    EXPECT_EQ(xs[0], 515.0f * static_cast<float>(twipsPerPixel));
    EXPECT_EQ(xs[1], 513.0f * static_cast<float>(twipsPerPixel));
}

TEST_F(Win32Toolkit, MinimizedWhileShownTheWindowIsIconicUntilRestored) {
    MainWindow main(*toolkit);
    int resizes = 0;
    // As the settings window does: minimized means hidden.
    main.window->setOnResize([&] {
        ++resizes;
        if (main.window->windowState() == WindowState::Minimized) main.window->setVisible(false);
    });
    // As a double-click on the tray icon does: shown, and neither minimized
    // nor maximized.
    const auto restore = [&] {
        main.window->setWindowState(WindowState::Normal);
        main.window->setVisible(true);
        pump(20ms);
        EXPECT_TRUE(IsWindowVisible(main.hwnd()));
        EXPECT_FALSE(IsIconic(main.hwnd()));
        EXPECT_FALSE(IsZoomed(main.hwnd()));
    };
    main.window->showFirst();
    pump(20ms);

    // Minimized by the program, by the title bar's button, and from maximized.
    main.window->setWindowState(WindowState::Minimized);
    EXPECT_GE(resizes, 1);
    EXPECT_FALSE(IsWindowVisible(main.hwnd()));
    EXPECT_EQ(main.window->windowState(), WindowState::Minimized);
    restore();

    SendMessageW(main.hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    pump(20ms);
    EXPECT_FALSE(IsWindowVisible(main.hwnd()));
    restore();

    ShowWindow(main.hwnd(), SW_SHOWMAXIMIZED);
    pump(200ms);
    ASSERT_TRUE(IsZoomed(main.hwnd()));
    main.window->setWindowState(WindowState::Minimized);
    pump(20ms);
    ASSERT_FALSE(IsWindowVisible(main.hwnd()));
    restore();
    main.window->unload();
}

// The contract's loop would hang without the quit rather than fail.
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
