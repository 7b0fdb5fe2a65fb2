// The Qt notification area against a real X server with a tray host
// (trayer): the icon docks with the window's picture and tip, goes at once
// on delete, and only a double-click reaches the window, as code 515.
#include "platform/qt/notification_area_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/qt/toolkit_qt.h"
#include "qt_session.h"
#include "base/error.h"
#include "window/layout.h"
#include "window/tray_picture.h"

namespace tovi {
namespace {

using platform::NotifyIconData;

class QtNotificationAreaTest : public ::testing::Test {
protected:
    void SetUp() override {
        toolkit = qtest::session();
        if (!toolkit) GTEST_SKIP() << "needs an X display (DISPLAY unset or not xcb)";
        if (!area.available()) GTEST_SKIP() << "needs a tray host (trayer)";
        window = toolkit->createWindow(layout::kMain);
        hWnd = window->nativeHandle();
        hIcon = window->iconHandle();
        window->setOnMouseMove([this](std::int16_t, std::int16_t, float x, float) { moves.push_back(x); });
    }

    void TearDown() override {
        if (toolkit && hWnd) area.shellNotifyIcon(platform::kNimDelete, record());
    }

    // Filled as the program fills it for its one icon.
    NotifyIconData record(std::uint32_t flags = 7, std::uint32_t callback = platform::kWmMouseMove) const {
        NotifyIconData data;
        data.cbSize = 88;
        data.hWnd = hWnd;
        data.uID = 1;
        data.uFlags = flags;
        data.uCallbackMessage = callback;
        data.hIcon = hIcon;
        data.szTip.fill(' ');
        const char tip[] = "Tovi - Lampfeld";
        std::memcpy(data.szTip.data(), tip, sizeof tip);
        return data;
    }

    QSystemTrayIcon* added() const { return area.icon(hWnd, 1); }

    // Horizontal positions the window's mouse-move handler saw, in pixels.
    std::vector<float> codes() const {
        std::vector<float> result;
        for (float x : moves) result.push_back(x / static_cast<float>(toolkit->twipsPerPixelX()));
        return result;
    }

    platform::Toolkit* toolkit = nullptr;
    platform::QtNotificationArea& area = platform::qtNotificationArea();
    std::unique_ptr<platform::Window> window;
    std::uintptr_t hWnd = 0;
    std::uintptr_t hIcon = 0;
    std::vector<float> moves;  // twips
};

TEST_F(QtNotificationAreaTest, AddedIconDocksWithTheWindowsPictureAndTip) {
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, record()));
    QSystemTrayIcon* icon = added();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->isVisible());
    EXPECT_EQ(icon->toolTip(), "Tovi - Lampfeld");
    const QIcon* picture = platform::qtIconFromHandle(window->iconHandle());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(icon->icon().pixmap(32, 32).toImage(), picture->pixmap(32, 32).toImage());
    EXPECT_TRUE(qtest::waitUntil([&] { return !icon->geometry().isEmpty(); })) << "never docked in the tray";

    EXPECT_FALSE(area.shellNotifyIcon(platform::kNimAdd, record())) << "the same icon twice";
}

TEST_F(QtNotificationAreaTest, DeleteRemovesTheIconAtOnce) {
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, record()));
    EXPECT_TRUE(area.shellNotifyIcon(platform::kNimDelete, record()));
    EXPECT_EQ(added(), nullptr);
    EXPECT_FALSE(area.shellNotifyIcon(platform::kNimDelete, record()));
    EXPECT_FALSE(area.shellNotifyIcon(platform::kNimModify, record())) << "no such icon to change";
    EXPECT_FALSE(area.shellNotifyIcon(3, record())) << "no other operation is known";
}

// The lamp pictures: one pixmap drawn for each size the area asks for, and a
// change of picture reaches the docked icon.
TEST_F(QtNotificationAreaTest, LampPicturesAreDrawnPerSizeAndReplaceTheIcon) {
    const auto make = [&](tray::Lamps lamps) {
        std::vector<platform::IconPicture> pictures;
        for (const int size : area.iconSizes()) pictures.push_back(tray::lampPicture(size, lamps));
        return area.createIcon(pictures);
    };
    const std::uintptr_t plain = make({});
    const std::uintptr_t both = make({true, true});
    NotifyIconData data = record();
    data.hIcon = plain;
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, data));
    QSystemTrayIcon* icon = added();
    ASSERT_NE(icon, nullptr);
    for (const int size : area.iconSizes()) {
        const platform::IconPicture drawn = tray::plainPicture(size);
        const QImage expected(reinterpret_cast<const uchar*>(drawn.argb.data()), size, size, QImage::Format_ARGB32);
        EXPECT_EQ(icon->icon().pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32), expected)
            << "size " << size << ": not the picture drawn for it";
    }

    data.hIcon = both;
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimModify, data));
    EXPECT_EQ(icon->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32).pixel(3, 2),
              tray::kReceivedLamp);
    EXPECT_EQ(icon->toolTip(), "Tovi - Lampfeld");
    EXPECT_THROW(area.createIcon({tray::plainPicture(16)}), Error) << "a size missing";
}

TEST_F(QtNotificationAreaTest, TipIsCutAtItsNulOrAt63Characters) {
    NotifyIconData data = record();
    data.szTip.fill('x');
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, data));
    EXPECT_EQ(added()->toolTip(), QString(63, QLatin1Char('x')));
}

TEST_F(QtNotificationAreaTest, OnlyADoubleClickReachesTheWindowAs515) {
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, record()));
    QSystemTrayIcon* icon = added();
    ASSERT_TRUE(qtest::waitUntil([&] { return !icon->geometry().isEmpty(); }));

    for (auto reason :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        emit icon->activated(reason);
    }
    EXPECT_TRUE(moves.empty()) << "a docked icon reports double-clicks; a single one does nothing";

    emit icon->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(codes(), std::vector<float>{515.0f});
}

TEST_F(QtNotificationAreaTest, NothingArrivesWithoutTheMouseMoveCallback) {
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, record(platform::kNifIcon | platform::kNifTip)));
    emit added()->activated(QSystemTrayIcon::DoubleClick);
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimDelete, record()));

    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, record(7, 1024)));
    emit added()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(moves.empty());
}

TEST_F(QtNotificationAreaTest, IconOfAWindowThatIsGoneDeliversNothing) {
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, record()));
    QSystemTrayIcon* icon = added();
    window.reset();
    emit icon->activated(QSystemTrayIcon::DoubleClick);  // must not touch the old window
    EXPECT_TRUE(moves.empty());
    EXPECT_TRUE(area.shellNotifyIcon(platform::kNimDelete, record()));
}

TEST_F(QtNotificationAreaTest, RealDoubleClickOnTheDockedIcon) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "needs xdotool";
    ASSERT_TRUE(area.shellNotifyIcon(platform::kNimAdd, record()));
    QSystemTrayIcon* icon = added();
    ASSERT_TRUE(qtest::waitUntil([&] { return !icon->geometry().isEmpty(); }));
    qtest::spin(200);  // let the tray host finish placing it
    const QPoint centre = icon->geometry().center();
    const std::string at = std::to_string(centre.x()) + " " + std::to_string(centre.y());

    ASSERT_EQ(std::system(("xdotool mousemove " + at + " sleep 0.1 click 1").c_str()), 0);
    qtest::spin(QApplication::doubleClickInterval() + 300);
    EXPECT_TRUE(moves.empty()) << "a single click changes nothing";

    ASSERT_EQ(std::system("xdotool click --repeat 2 --delay 60 1"), 0);
    EXPECT_TRUE(qtest::waitUntil([&] { return !moves.empty(); }));
    qtest::spin(300);
    EXPECT_EQ(codes(), std::vector<float>{515.0f});
}

}  // namespace
}  // namespace tovi
