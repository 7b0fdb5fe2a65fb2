#include <gtest/gtest.h>

#include <string>

#include "base/error.h"
#include "fakes/fake_notification_area.h"
#include "fakes/fake_toolkit.h"
#include "window/layout.h"
#include "window/module1.h"
#include "window/tray_picture.h"

namespace tovi {
namespace {

using fakes::FakeNotificationArea;
using fakes::FakeToolkit;
using fakes::FakeWindow;
using platform::NotifyIconData;

std::string tipBytes(const NotifyIconData& nid) { return std::string(nid.szTip.data(), nid.szTip.size()); }

bool sameRecord(const NotifyIconData& a, const NotifyIconData& b) {
    return a.cbSize == b.cbSize && a.hWnd == b.hWnd && a.uID == b.uID && a.uFlags == b.uFlags &&
           a.uCallbackMessage == b.uCallbackMessage && a.hIcon == b.hIcon && a.szTip == b.szTip;
}

// A window whose platform calls fail, as a destroyed or half-made one would.
class BrokenWindow : public FakeWindow {
public:
    using FakeWindow::FakeWindow;
    bool handleFails = false;
    bool iconFails = false;
    std::uintptr_t nativeHandle() const override {
        if (handleFails) throw Error("no window");
        return FakeWindow::nativeHandle();
    }
    std::uintptr_t iconHandle() const override {
        if (iconFails) throw Error("no icon");
        return FakeWindow::iconHandle();
    }
};

class Module1Test : public ::testing::Test {
protected:
    FakeToolkit toolkit;
    BrokenWindow window{toolkit, layout::kMain};
    FakeNotificationArea area;
    Module1 module;
};

TEST_F(Module1Test, AddTrayIconFillsTheRecordAndAddsTheIcon) {
    window.handle = 0x00123456;
    window.icon = 0x00abcdef;
    module.AddTrayIcon(area, window, "Tovi - Lampfeld");

    ASSERT_EQ(area.calls.size(), 1u);
    EXPECT_EQ(area.calls[0].message, platform::kNimAdd);
    const NotifyIconData& nid = area.calls[0].data;
    EXPECT_EQ(nid.cbSize, 88u);
    EXPECT_EQ(nid.hWnd, 0x00123456u);
    EXPECT_EQ(nid.uID, 1u);
    EXPECT_EQ(nid.uCallbackMessage, 512u);
    // The picture drawn for the tray's size, without lamps; not the window's.
    EXPECT_EQ(nid.hIcon, FakeNotificationArea::kFirstIcon);
    EXPECT_EQ(tipBytes(nid), std::string("Tovi - Lampfeld") + '\0' + std::string(48, ' '));
    EXPECT_TRUE(area.shows(0x00123456, 1));
}

TEST_F(Module1Test, TheTrayGetsPicturesDrawnForItsSizesOrElseTheWindowsIcon) {
    area.sizes = {16, 24};
    window.icon = 0x00abcdef;
    module.AddTrayIcon(area, window, "Tovi - Lampfeld");
    ASSERT_EQ(area.icons.size(), 4u) << "none, received, sent, both";
    for (const auto& pictures : area.icons) {
        ASSERT_EQ(pictures.size(), 2u);
        EXPECT_EQ(pictures[0].size, 16);
        EXPECT_EQ(pictures[1].size, 24);
    }
    EXPECT_EQ(area.icons[0][0].argb, tray::plainPicture(16).argb);

    FakeNotificationArea refusing;
    refusing.makesIcons = false;
    Module1 other;
    other.AddTrayIcon(refusing, window, "Tovi - Lampfeld");
    ASSERT_EQ(refusing.calls.size(), 1u);
    EXPECT_EQ(refusing.calls[0].data.hIcon, 0x00abcdefu);
    other.ShowLamps(refusing, {true, true});
    EXPECT_EQ(refusing.calls.size(), 1u) << "without pictures no lamp is shown";
}

TEST_F(Module1Test, ShowLampsChangesThePictureOnlyWhenALampChanges) {
    window.handle = 0x00123456;
    module.AddTrayIcon(area, window, "Tovi - Lampfeld");
    NotifyIconData expected = area.calls.at(0).data;

    module.ShowLamps(area, {false, false});
    EXPECT_EQ(area.calls.size(), 1u) << "nothing changed";
    for (const tray::Lamps lamps :
         {tray::Lamps{true, false}, {true, false}, {true, true}, {false, true}, {false, false}})
        module.ShowLamps(area, lamps);
    ASSERT_EQ(area.calls.size(), 5u);
    std::size_t call = 1;
    for (const int state : {1, 3, 2, 0}) {
        // The record as added, the tip too, with the picture of that state.
        expected.hIcon = FakeNotificationArea::kFirstIcon + static_cast<std::uintptr_t>(state);
        EXPECT_EQ(area.calls[call].message, platform::kNimModify);
        EXPECT_TRUE(sameRecord(area.calls[call++].data, expected)) << "lamp state " << state;
    }

    // An icon added again (a new tray host) shows the lamps of the moment.
    module.ShowLamps(area, {true, false});
    module.RestoreTrayIcon(area);
    EXPECT_EQ(area.calls.back().message, platform::kNimAdd);
    EXPECT_EQ(area.calls.back().data.hIcon, FakeNotificationArea::kFirstIcon + 1);
}

TEST_F(Module1Test, TipUsesTheWholeFieldAtItsLimitAndIsRefusedBeyondIt) {
    const std::string longest(63, 'x');
    module.AddTrayIcon(area, window, longest);
    EXPECT_EQ(tipBytes(module.record()), longest + '\0');

    // One character more would leave no room for the NUL: the tip step is
    // skipped, the field keeps its NULs, and the icon is still added.
    Module1 tooLong;
    FakeNotificationArea area2;
    tooLong.AddTrayIcon(area2, window, std::string(64, 'x'));
    EXPECT_EQ(tipBytes(tooLong.record()), std::string(64, '\0'));
    ASSERT_EQ(area2.calls.size(), 1u);
}

// Neither a half-made window nor a shell that refuses stops the load: the
// failing step is skipped, the icon still added, and a refusal not retried.
TEST_F(Module1Test, AFailingStepIsSkippedAndTheIconIsStillAdded) {
    window.handleFails = true;
    window.iconFails = true;
    module.AddTrayIcon(area, window, "Tovi - Lampfeld");

    ASSERT_EQ(area.calls.size(), 1u);
    const NotifyIconData& nid = area.calls[0].data;
    EXPECT_EQ(nid.hWnd, 0u);
    EXPECT_EQ(nid.hIcon, FakeNotificationArea::kFirstIcon) << "the tray's own picture needs no window icon";
    EXPECT_EQ(tipBytes(nid).substr(0, 16), std::string("Tovi - Lampfeld") + '\0');

    FakeNotificationArea refusing;
    refusing.failCalls = true;
    Module1 other;
    EXPECT_NO_THROW(other.AddTrayIcon(refusing, window, "Tovi - Lampfeld"));
    EXPECT_EQ(refusing.calls.size(), 1u);
}

}  // namespace
}  // namespace tovi
