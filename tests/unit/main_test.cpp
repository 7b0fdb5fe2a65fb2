// The settings window's behaviour against fake platform services: the load
// sequence, the stored settings, the lock-key conflict rule, the buttons and
// the tray lifecycle.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_interface_table.h"
#include "fakes/fake_keyboard.h"
#include "fakes/fake_notification_area.h"
#include "fakes/fake_settings_store.h"
#include "fakes/fake_toolkit.h"
#include "lockkeys/lock_key_index.h"
#include "platform/platform.h"
#include "window/main.h"

namespace tovi {
namespace {

using fakes::FakeComboBox;
using platform::WindowState;

constexpr float kDoubleClickX = 515.0F * 15;  // event code 515 as a position in twips

class MainTest : public ::testing::Test {
protected:
    // Creates the window and runs its load; the store is seeded beforehand.
    void start() {
        main.emplace(platform);
        main->start();
        window = toolkit.window;
    }

    FakeComboBox& combo(const char* name) { return window->comboBox(name); }
    std::int16_t check(const char* name) { return window->checkBox(name).value(); }
    fakes::FakeTimer& timer1() { return window->timer(0); }
    fakes::FakeTimer& timer2() { return window->timer(1); }

    fakes::FakeInterfaceTable table;
    fakes::FakeKeyboard keyboard;
    fakes::FakeNotificationArea tray;
    fakes::FakeSettingsStore store;
    fakes::FakeToolkit toolkit;
    platform::Platform platform{table, keyboard, tray, store, toolkit};
    std::optional<Main> main;
    fakes::FakeWindow* window = nullptr;
};

TEST_F(MainTest, FirstStartWithAnEmptyStoreComesUpWithTheDefaults) {
    start();
    EXPECT_TRUE(window->shownFirst);
    EXPECT_TRUE(window->visible());
    EXPECT_EQ(window->windowState(), WindowState::Normal);
    EXPECT_EQ(check("Check1"), 1);
    EXPECT_EQ(check("Check2"), 1);
    EXPECT_EQ(check("Check3"), 1);
    EXPECT_EQ(check("Check4"), 0);
    EXPECT_EQ(combo("Combo1").selectedText(), "150 milliseconds (default)");
    EXPECT_EQ(combo("Combo2").selectedText(), "Num Lock");
    EXPECT_EQ(combo("Combo3").selectedText(), "Scroll Lock");
    EXPECT_TRUE(toolkit.boxes.empty());
    EXPECT_TRUE(timer1().running());
    EXPECT_EQ(timer1().interval(), 150);
    EXPECT_TRUE(timer2().running());
    EXPECT_TRUE(keyboard.calls.empty()) << "applying the settings touches no key";
}

TEST_F(MainTest, PickingTheOtherListsKeyMovesThePickedListAwayFromIt) {
    start();
    // Combo3 shows Scroll Lock; picking it for download falls back to Caps Lock.
    combo("Combo2").pick(2);
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, "You assign upload and download to the same lock-key");
    EXPECT_EQ(toolkit.boxes[0].title, "Tovi - Feldlamp");
    EXPECT_EQ(combo("Combo2").selectedText(), "Caps Lock");
    EXPECT_EQ(combo("Combo3").selectedText(), "Scroll Lock");

    // Combo2 now shows Caps Lock; picking it for upload falls back to Num Lock.
    combo("Combo3").pick(0);
    EXPECT_EQ(toolkit.boxes.size(), 2u);
    EXPECT_EQ(combo("Combo3").selectedText(), "Num Lock");
    EXPECT_EQ(combo("Combo2").selectedText(), "Caps Lock");

    // A pick that differs shows nothing.
    combo("Combo2").pick(2);
    EXPECT_EQ(toolkit.boxes.size(), 2u);
    EXPECT_EQ(combo("Combo2").selectedText(), "Scroll Lock");
    // The rule neither applies nor stores anything.
    EXPECT_EQ(main->monitor().intDownloadKey(), kNumLock);
    EXPECT_TRUE(store.writtenKeys().empty());
}

TEST_F(MainTest, EqualStoredKeysAreSeparatedWhileLoading) {
    for (const auto& [shared, moved] : {std::pair{"1", 0}, std::pair{"2", 0}, std::pair{"0", 1}}) {
        SCOPED_TRACE(shared);
        fakes::FakeToolkit freshToolkit;
        fakes::FakeSettingsStore freshStore;
        freshStore.set("download_key", shared);
        freshStore.set("upload_key", shared);
        platform::Platform p{table, keyboard, tray, freshStore, freshToolkit};
        // While the box is open, getvalues has not run yet.
        bool timerUntouched = false;
        freshToolkit.whileOpen = [&](const fakes::FakeToolkit::Box&) {
            timerUntouched = freshToolkit.window->timer(0).interval() == 100;
        };
        Main m(p);
        m.start();
        EXPECT_EQ(freshToolkit.boxes.size(), 1u);
        EXPECT_TRUE(timerUntouched);
        EXPECT_EQ(freshToolkit.window->comboBox("Combo3").listIndex(), moved);
        EXPECT_EQ(m.monitor().intUploadKey(), moved);
        freshToolkit.window->unload();
        EXPECT_EQ(freshStore.get("upload_key"), std::to_string(moved));
    }
}

TEST_F(MainTest, CancelKeepsTheMonitorAndExitStoresTheUnappliedChange) {
    start();
    combo("Combo1").pick(0);  // 25 ms
    window->checkBox("Check2").setValue(0);
    window->button("Command2").click();
    EXPECT_EQ(window->windowState(), WindowState::Minimized);
    EXPECT_FALSE(window->visible());
    EXPECT_EQ(timer1().interval(), 150);
    EXPECT_EQ(main->monitor().intShowDownload(), 1);
    EXPECT_TRUE(store.writtenKeys().empty());

    // Restored from the tray, the edited controls are still there.
    window->mouseMove(0, 0, kDoubleClickX, 0);
    EXPECT_TRUE(window->visible());
    EXPECT_EQ(window->windowState(), WindowState::Normal);
    EXPECT_EQ(combo("Combo1").listIndex(), 0);

    EXPECT_THROW(window->button("Command3").click(), fakes::FakeToolkit::Ended);
    EXPECT_TRUE(window->unloaded);
    EXPECT_EQ(store.writtenKeys(), (std::vector<std::string>{"enabled", "startminimized", "download", "upload",
                                                             "interval", "download_key", "upload_key"}));
    EXPECT_EQ(store.get("interval"), "0");
    EXPECT_EQ(store.get("download"), "0");
    EXPECT_EQ(store.get("enabled"), "1");
    EXPECT_EQ(store.get("download_key"), "1");
    EXPECT_EQ(store.get("upload_key"), "2");
    ASSERT_EQ(tray.calls.size(), 2u);
    EXPECT_EQ(tray.calls[1].message, platform::kNimDelete);
    EXPECT_EQ(tray.iconCount(), 0u);
}

TEST_F(MainTest, SaveAppliesAndHidesButStoresNothing) {
    start();
    combo("Combo1").pick(15);  // 1000 ms
    combo("Combo3").pick(3);   // the tray icon
    combo("Combo2").pick(0);   // Caps Lock
    window->checkBox("Check1").setValue(0);
    window->button("Command1").click();
    EXPECT_EQ(timer1().interval(), 1000);
    EXPECT_FALSE(timer1().enabled());
    EXPECT_EQ(main->monitor().intDownloadKey(), kCapsLock);
    EXPECT_EQ(main->monitor().intUploadKey(), kTrayIcon);
    EXPECT_EQ(window->windowState(), WindowState::Minimized);
    EXPECT_FALSE(window->visible());
    EXPECT_TRUE(store.writtenKeys().empty());
}

TEST_F(MainTest, ABadStoredValueLeavesOnlyItsOwnControlAtItsDesignedState) {
    const std::vector<std::string> keys{"enabled",  "startminimized", "download",  "upload",
                                        "interval", "download_key",   "upload_key"};
    for (const std::string& bad : keys) {
        for (const char* value : {"abc", "1.5", "1e1", " 1", "+1", "", "40000", "21"}) {
            SCOPED_TRACE(bad + "=" + value);
            fakes::FakeToolkit freshToolkit;
            fakes::FakeSettingsStore freshStore;
            freshStore.set(bad, value);
            platform::Platform p{table, keyboard, tray, freshStore, freshToolkit};
            Main m(p);
            m.start();
            fakes::FakeWindow& w = *freshToolkit.window;
            auto expectCheck = [&](const char* name, const std::string& key, int normal) {
                EXPECT_EQ(w.checkBox(name).value(), key == bad ? 0 : normal) << name;
            };
            expectCheck("Check1", "enabled", 1);
            expectCheck("Check4", "startminimized", 0);
            expectCheck("Check2", "download", 1);
            expectCheck("Check3", "upload", 1);
            EXPECT_EQ(w.comboBox("Combo1").listIndex(), bad == "interval" ? -1 : 5);
            EXPECT_EQ(w.comboBox("Combo2").listIndex(), bad == "download_key" ? -1 : 1);
            EXPECT_EQ(w.comboBox("Combo3").listIndex(), bad == "upload_key" ? -1 : 2);
        }
    }
}

TEST_F(MainTest, GrayedBoxesAndNoSelectionComeBackAsStored) {
    store.set("startminimized", "2");
    store.set("enabled", "2");
    store.set("download", "2");
    store.set("interval", "-1");
    store.set("download_key", "-1");
    start();
    EXPECT_TRUE(window->shownFirst) << "only a ticked box starts minimized";
    EXPECT_EQ(window->windowState(), WindowState::Normal);
    EXPECT_EQ(check("Check1"), 2);
    EXPECT_EQ(combo("Combo1").listIndex(), -1);
    // A grayed "Enable Application" keeps the tick off; no interval means 0.
    EXPECT_FALSE(timer1().running());
    EXPECT_EQ(main->monitor().lngInterval(), 0);
    EXPECT_EQ(main->monitor().intDownloadKey(), kCapsLock);
    window->unload();
    EXPECT_EQ(store.get("startminimized"), "2");
    EXPECT_EQ(store.get("enabled"), "2");
    EXPECT_EQ(store.get("download"), "2");
    EXPECT_EQ(store.get("interval"), "-1");
    EXPECT_EQ(store.get("download_key"), "-1");
}

TEST_F(MainTest, StartMinimizedStartsHiddenInTheTrayWithTheMonitorRunning) {
    store.set("startminimized", "1");
    start();
    EXPECT_FALSE(window->shownFirst);
    EXPECT_FALSE(window->visible());
    EXPECT_EQ(window->windowState(), WindowState::Minimized);
    EXPECT_TRUE(tray.shows(window->handle, 1));
    EXPECT_TRUE(timer1().running());
    window->mouseMove(0, 0, kDoubleClickX, 0);
    EXPECT_TRUE(window->visible());
    EXPECT_EQ(window->windowState(), WindowState::Normal);
}

TEST_F(MainTest, WithoutANotificationAreaTheWindowIsNeverHidden) {
    tray.isAvailable = false;
    store.set("startminimized", "1");
    start();
    EXPECT_TRUE(window->shownFirst);
    EXPECT_EQ(window->windowState(), WindowState::Minimized);
    EXPECT_TRUE(window->visible());
    window->setWindowState(WindowState::Normal);
    window->button("Command2").click();
    EXPECT_EQ(window->windowState(), WindowState::Minimized);
    EXPECT_TRUE(window->visible());
}

TEST_F(MainTest, OnlyADoubleClickOnTheIconBringsTheWindowBack) {
    start();
    window->setWindowState(WindowState::Minimized);  // by the title bar, say
    EXPECT_FALSE(window->visible());
    for (float code : {512.0F, 513.0F, 514.0F, 516.0F, 517.0F, 0.0F}) {
        window->mouseMove(0, 0, code * 15, 0);
        EXPECT_FALSE(window->visible()) << code;
    }
    toolkit.twipsPerPixel = 12;  // a screen at 120 dots per inch
    window->mouseMove(0, 0, 515.0F * 12, 0);
    EXPECT_TRUE(window->visible());
    EXPECT_EQ(window->windowState(), WindowState::Normal);
}

TEST_F(MainTest, UnloadRemovesTheIconEvenWhenTheStoreRefusesEveryWrite) {
    start();
    store.failAllWrites = true;
    window->unload();
    EXPECT_EQ(store.writtenKeys().size(), 7u);  // each write was attempted
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(tray.iconCount(), 0u);
}

// The one-second sampler only refreshes: were it a second tick, the keys
// would light for traffic the real tick has not seen yet.
TEST_F(MainTest, TheOneSecondSamplerTouchesNoKey) {
    table.setRows({fakes::IfRow::withOctets(5000, 3000)});
    start();
    ASSERT_TRUE(timer2().tick());
    EXPECT_TRUE(keyboard.calls.empty());
}

TEST_F(MainTest, SaveWithTheDisplayOffLeavesTheKeysAndExitGivesThemBack) {
    keyboard.setLit(145, true);  // the user's Scroll Lock was on
    table.setRows({fakes::IfRow::withOctets(5000, 0)});
    start();
    ASSERT_TRUE(timer1().tick());
    ASSERT_TRUE(keyboard.lit(144));   // Num Lock lit by the traffic
    ASSERT_FALSE(keyboard.lit(145));  // Scroll Lock darkened: nothing left
    window->checkBox("Check1").setValue(0);
    window->button("Command1").click();
    EXPECT_TRUE(keyboard.lit(144)) << "Save leaves the keys as the last tick set them";
    EXPECT_FALSE(keyboard.lit(145));

    EXPECT_THROW(window->button("Command3").click(), fakes::FakeToolkit::Ended);
    EXPECT_FALSE(keyboard.lit(144));
    EXPECT_TRUE(keyboard.lit(145));
}

TEST_F(MainTest, BothDirectionsOnTheTrayIconLightItsLampsAndNoKey) {
    store.set("download_key", "3");
    store.set("upload_key", "3");
    table.setRows({fakes::IfRow::withOctets(5000, 3000)});
    start();
    EXPECT_TRUE(toolkit.boxes.empty()) << "two lamps on one icon are no conflict";
    EXPECT_EQ(combo("Combo2").selectedText(), "Tray icon");
    EXPECT_EQ(combo("Combo3").selectedText(), "Tray icon");
    // Picking the tray for one list while the other shows it: still no box.
    combo("Combo3").pick(0);
    combo("Combo3").pick(3);
    EXPECT_TRUE(toolkit.boxes.empty());

    const std::uintptr_t plain = tray.calls.at(0).data.hIcon;
    keyboard.calls.clear();
    tray.calls.clear();
    ASSERT_TRUE(timer1().tick());  // traffic: both lamps
    ASSERT_TRUE(timer1().tick());  // quiet: the plain picture again
    ASSERT_TRUE(timer1().tick());  // still quiet: nothing to tell the shell
    EXPECT_TRUE(keyboard.calls.empty());
    ASSERT_EQ(tray.calls.size(), 2u);
    EXPECT_EQ(tray.calls[0].message, platform::kNimModify);
    EXPECT_NE(tray.calls[0].data.hIcon, plain);
    EXPECT_EQ(tray.calls[1].data.hIcon, plain);

    // The fourth position is stored like the other three.
    window->unload();
    EXPECT_EQ(store.get("download_key"), "3");
    EXPECT_EQ(store.get("upload_key"), "3");
}

}  // namespace
}  // namespace tovi
