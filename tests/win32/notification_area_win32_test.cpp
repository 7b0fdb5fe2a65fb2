#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "fakes/fake_interface_table.h"
#include "fakes/fake_keyboard.h"
#include "fakes/fake_settings_store.h"
#include "platform/platform.h"
#include "platform/win32/notification_area_win32.h"
#include "platform/win32/toolkit_win32.h"
#include "window/main.h"
#include "window/module1.h"
#include "window/tray_picture.h"

namespace tovi::platform {
namespace {

TEST(NotifyIconRecord, IsTheFirst88ByteVersionByteForByte) {
    NotifyIconData data;
    data.cbSize = 88;
    data.hWnd = 0x11223344;
    data.uID = 1;
    data.uFlags = 7;
    data.uCallbackMessage = 512;
    data.hIcon = 0x55667788;
    const std::string tip = std::string("Tovi - Lampfeld") + '\0' + std::string(48, ' ');
    std::memcpy(data.szTip.data(), tip.data(), 64);

    const NOTIFYICONDATAA nid = toNotifyIconDataA(data);
    unsigned char bytes[sizeof nid];
    std::memcpy(bytes, &nid, sizeof nid);

    const unsigned char head[24] = {88, 0, 0, 0, 0x44, 0x33, 0x22, 0x11, 1,    0,    0,    0,
                                    7,  0, 0, 0, 0,    2,    0,    0,    0x88, 0x77, 0x66, 0x55};
    EXPECT_EQ(std::memcmp(bytes, head, sizeof head), 0);
    EXPECT_EQ(std::memcmp(bytes + 24, tip.data(), 64), 0);
    for (std::size_t i = 88; i < sizeof nid; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;

    data.cbSize = sizeof nid + 1;
    EXPECT_THROW(toNotifyIconDataA(data), Error);
}

// The lamp pictures become 32-bit icons at the small-icon size whose pixels
// are the picture's.
TEST(Win32NotificationArea, LampPicturesBecomeIconsOfTheirOwnPixels) {
    Win32NotificationArea area;
    const std::vector<int> sizes = area.iconSizes();
    ASSERT_EQ(sizes, std::vector<int>{GetSystemMetrics(SM_CXSMICON)});
    const int size = sizes[0];
    const IconPicture both = tray::lampPicture(size, {true, true});
    const auto icon = reinterpret_cast<HICON>(area.createIcon({both}));
    ASSERT_NE(icon, nullptr);

    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = size;
    header.bmiHeader.biHeight = -size;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> read(static_cast<std::size_t>(size * size));
    HDC dc = GetDC(nullptr);
    const int rows = GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(size), read.data(), &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    ASSERT_EQ(rows, size);
    for (std::size_t i = 0; i < read.size(); ++i) {
        // Where the picture is see-through only the alpha matters.
        if (both.argb[i] >> 24 == 0) continue;
        ASSERT_EQ(read[i] & 0xFFFFFF, both.argb[i] & 0xFFFFFF) << "pixel " << i;
    }
    EXPECT_THROW(area.createIcon({tray::plainPicture(size + 1)}), Error);
}

// The program's icon as the shell holds it: added at start, given new
// pictures, added again when a restarted task bar (Explorer ended, or not yet
// ready at logon) broadcasts "TaskbarCreated" holding none of the icons added
// before, so that a hidden window can still be brought back; and deleted when
// the window unloads.
TEST(Win32NotificationArea, ProgramsIconLivesFromStartToUnloadAndOutlivesATaskBarRestart) {
    std::unique_ptr<Toolkit> toolkit = win32::makeToolkit();
    fakes::FakeInterfaceTable table;
    fakes::FakeKeyboard keyboard;
    fakes::FakeSettingsStore store;
    Win32NotificationArea area;
    Platform platform{table, keyboard, area, store, *toolkit};
    Main main(platform);
    main.start();
    if (!area.available()) GTEST_SKIP() << "no task bar to hold the icon";

    // A change succeeds only for an icon the shell holds.
    NOTIFYICONDATAA nid{};
    nid.cbSize = Module1::kNotifyIconDataSize;
    nid.hWnd = reinterpret_cast<HWND>(main.window().nativeHandle());
    nid.uID = Module1::kIconId;
    const auto held = [&] { return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE; };
    ASSERT_TRUE(held());

    NotifyIconData lamps;
    lamps.cbSize = Module1::kNotifyIconDataSize;
    lamps.hWnd = main.window().nativeHandle();
    lamps.uID = Module1::kIconId;
    lamps.uFlags = kNifIcon;
    lamps.hIcon = area.createIcon({tray::lampPicture(area.iconSizes().at(0), {true, true})});
    EXPECT_TRUE(area.shellNotifyIcon(kNimModify, lamps)) << "the shell refused a lamp picture";

    ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &nid));  // as a restarted task bar has lost it
    ASSERT_FALSE(held());
    ::SendMessageTimeoutW(HWND_BROADCAST, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_NORMAL, 2000,
                          nullptr);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    EXPECT_TRUE(held());

    main.window().unload();
    EXPECT_FALSE(held());
}

}  // namespace
}  // namespace tovi::platform
