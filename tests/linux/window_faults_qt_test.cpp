// The whole window Main on the real Qt toolkit, meeting faults:
//   - timer ticks keep falling due while a modal message box is open (the
//     table's "not supported" box, and the list conflict box): no second box
//     may open and no tick may run inside the box;
//   - the settings file cannot be written when the window unloads: nothing
//     crashes, the file keeps its old bytes, and the tray icon still goes.
//
// Needs an X display; the tray part needs a tray host (trayer), as
// scripts/test provides.
#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "base/guard.h"
#include "fakes/fake_interface_table.h"
#include "fakes/fake_keyboard.h"
#include "fakes/fake_notification_area.h"
#include "fakes/fake_settings_store.h"
#include "platform/qt/notification_area_qt.h"
#include "platform/linux/settings_store_ini.h"
#include "platform/qt/toolkit_qt.h"
#include "platform/platform.h"
#include "qt_session.h"
#include "window/main.h"

namespace tovi {
namespace {

namespace fs = std::filesystem;

// Watches the screen for message boxes from a plain Qt timer, which, unlike
// the window's own timers, keeps running while a box is open. Closes each box
// after it has been open for `holdMs`, calling onClose just before.
class BoxWatch {
public:
    explicit BoxWatch(int holdMs) : holdMs_(holdMs) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }

    std::function<void()> onOpen;   // the first time a box is seen
    std::function<void()> onClose;  // just before a box is closed
    int mostAtOnce = 0;             // boxes visible at the same moment
    std::set<QMessageBox*> seen;    // every box that appeared

private:
    void look() {
        int visible = 0;
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* b = qobject_cast<QMessageBox*>(widget); b && b->isVisible()) {
                ++visible;
                box = b;
            }
        }
        mostAtOnce = std::max(mostAtOnce, visible);
        if (!box) return;
        if (seen.insert(box).second) {
            openedAt_.start();
            if (onOpen) onOpen();
        }
        if (openedAt_.elapsed() < holdMs_) return;
        if (onClose) onClose();
        box->button(QMessageBox::Ok)->click();
    }

    int holdMs_;
    QTimer timer_;
    QElapsedTimer openedAt_;
};

class QtWindowFaults : public ::testing::Test {
protected:
    void SetUp() override {
        toolkit = qtest::session();
        if (!toolkit) GTEST_SKIP() << "needs an X display (DISPLAY unset or not xcb)";
        store.set("interval", "0");  // Timer1 every 25 ms
        table.setRows({fakes::IfRow::withOctets(1000, 2000, "lo")});
    }

    void TearDown() override {
        if (main) step([&] { main->window().unload(); });
        main.reset();
        settle();
    }

    // An unload ends the event loop: Qt then marks the thread's loops to quit,
    // and every later one would return at once. Running the application's
    // own loop briefly clears that mark (and deletes the closed window).
    static void settle() {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

    void start(platform::NotificationArea& tray, platform::SettingsStore& settings) {
        platform.emplace(platform::Platform{table, keyboard, tray, settings, *toolkit});
        main.emplace(*platform);
        main->start();
    }

    template <class Widget>
    Widget* child(const char* name) {
        QWidget* window = platform::qtWindowFromHandle(main->window().nativeHandle());
        return window ? window->findChild<Widget*>(QString::fromLatin1(name)) : nullptr;
    }

    platform::Toolkit* toolkit = nullptr;
    fakes::FakeInterfaceTable table;
    fakes::FakeKeyboard keyboard;
    fakes::FakeNotificationArea fakeTray;
    fakes::FakeSettingsStore store;
    std::optional<platform::Platform> platform;
    std::optional<Main> main;
};

TEST_F(QtWindowFaults, TicksWhileTheNotSupportedBoxIsOpenAreDroppedNotStacked) {
    table.sizeQueryResult = platform::kErrorNotSupported;
    BoxWatch watch(600);
    std::size_t callsAtOpen = 0, callsAtClose = 0;
    watch.onOpen = [&] { callsAtOpen = table.calls.size(); };
    watch.onClose = [&] {
        callsAtClose = table.calls.size();
        // The table works again once the user has read the message.
        table.sizeQueryResult = platform::kErrorInsufficientBuffer;
    };
    start(fakeTray, store);

    ASSERT_TRUE(qtest::waitUntil([&] { return !watch.seen.empty() && callsAtClose > 0; }, 5000))
        << "the not-supported box never showed, or never closed";
    // 600 ms at 25 ms: some two dozen Timer1 ticks fell due while it was open.
    EXPECT_EQ(callsAtClose, callsAtOpen) << "a refresh ran while the box was open";
    EXPECT_EQ(watch.mostAtOnce, 1);

    // Ticks resume, and with a working table they drive the keys again.
    const std::size_t after = table.calls.size();
    keyboard.calls.clear();
    ASSERT_TRUE(qtest::waitUntil([&] { return table.calls.size() >= after + 6 && !keyboard.calls.empty(); }));
    EXPECT_EQ(watch.seen.size(), 1u);
}

TEST_F(QtWindowFaults, TicksWhileTheConflictBoxIsOpenAreDropped) {
    start(fakeTray, store);
    ASSERT_TRUE(qtest::waitUntil([&] { return table.calls.size() >= 4; })) << "no ticks";
    auto* upload = child<QComboBox>("Combo3");
    ASSERT_NE(upload, nullptr);

    BoxWatch watch(400);
    std::size_t callsAtOpen = 0, callsAtClose = 0;
    watch.onOpen = [&] { callsAtOpen = table.calls.size(); };
    watch.onClose = [&] { callsAtClose = table.calls.size(); };
    QTimer::singleShot(0, [&] { upload->setCurrentIndex(1); });  // Num Lock: the download key's
    ASSERT_TRUE(qtest::waitUntil([&] { return callsAtClose > 0; }, 5000)) << "the conflict box never closed";

    EXPECT_EQ(callsAtClose, callsAtOpen) << "a tick ran while the box was open";
    EXPECT_EQ(watch.mostAtOnce, 1);
    EXPECT_EQ(watch.seen.size(), 1u);
    EXPECT_NE(upload->currentIndex(), 1) << "the rule moved the upload list off the download key";
    const std::size_t after = table.calls.size();
    EXPECT_TRUE(qtest::waitUntil([&] { return table.calls.size() >= after + 4; })) << "ticks did not resume";
}

// Writes fail as on a full disk: the file-size limit is 0 while the window
// unloads (the signal that limit raises is ignored, so the write just fails).
class FileSizeLimitOfZero {
public:
    FileSizeLimitOfZero() {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldSignal_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit zero = old_;
        zero.rlim_cur = 0;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &zero) == 0;
    }
    ~FileSizeLimitOfZero() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldSignal_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    sighandler_t oldSignal_ = SIG_DFL;
    bool ok_ = false;
};

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(QtWindowFaults, UnwritableSettingsFileAtUnloadKeepsItsOldBytesAndTheIconStillGoes) {
    platform::QtNotificationArea& tray = platform::qtNotificationArea();
    if (!tray.available()) GTEST_SKIP() << "needs a tray host (trayer)";
    const fs::path home = fs::temp_directory_path() / ("tovi-unwritable-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "Tovi");
    const fs::path file = home / "Tovi" / "settings.ini";
    const std::string old =
        "[zuderari]\nenabled=1\nstartminimized=0\ndownload=1\nupload=1\ninterval=3\ndownload_key=0\nupload_key=2\n";
    std::ofstream(file, std::ios::binary) << old;
    platform::IniSettingsStore settings(home);

    start(tray, settings);
    const std::uintptr_t handle = main->window().nativeHandle();
    ASSERT_NE(tray.icon(handle, Module1::kIconId), nullptr) << "the icon was not added";
    auto* download = child<QCheckBox>("Check2");
    ASSERT_NE(download, nullptr);
    download->setCheckState(Qt::Unchecked);  // what unload would store: download=0

    {
        const FileSizeLimitOfZero full;
        ASSERT_TRUE(full.ok());
        main->window().unload();
    }
    EXPECT_EQ(contents(file), old);
    EXPECT_EQ(tray.icon(handle, Module1::kIconId), nullptr) << "the icon outlived the unload";
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(home / "Tovi")) ++entries;
    EXPECT_EQ(entries, 1u) << "a temporary file was left beside the settings";

    // The same unload with room to write does store the change, so it was
    // the full disk, not the setup, that kept the file as it was.
    main.reset();
    settle();
    start(tray, settings);
    child<QCheckBox>("Check2")->setCheckState(Qt::Unchecked);
    main->window().unload();
    EXPECT_NE(contents(file).find("download=0"), std::string::npos);
    fs::remove_all(home);
}

}  // namespace
}  // namespace tovi
