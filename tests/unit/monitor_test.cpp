#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/error.h"
#include "fakes/fake_interface_table.h"
#include "fakes/fake_keyboard.h"
#include "fakes/fake_toolkit.h"
#include "lockkeys/lock_key_index.h"
#include "monitor/activity_monitor.h"
#include "tests/common/settings_controls.h"

namespace tovi {
namespace {

using fakes::FakeKeyboard;
using Op = FakeKeyboard::Op;

// The monitor, its settings reached through getvalues from the fake
// toolkit's controls, against a scripted interface table and keyboard.
class Monitor : public ::testing::Test {
protected:
    Monitor()
        : settings(toolkit, {25, 50, 150, 5000}),
          timer1(static_cast<fakes::FakeTimer&>(settings.timer1)),
          reader(std::make_shared<CIpHelper>(table, toolkit)),
          monitor(keyboard) {}

    fakes::FakeToolkit toolkit;
    fixtures::SettingsControls settings;
    fakes::FakeTimer& timer1;
    fakes::FakeInterfaceTable table;
    std::shared_ptr<CIpHelper> reader;
    FakeKeyboard keyboard;
    ActivityMonitor monitor;
};

// The tick, both keys shown on Num Lock and Scroll Lock unless a test says
// otherwise.
class Tick : public Monitor {
protected:
    Tick() {
        monitor.setIpHelper(reader);
        show(1, kNumLock, 1, kScrollLock);
    }

    void show(std::int16_t download, LockKeyIndex downloadKey, std::int16_t upload, LockKeyIndex uploadKey) {
        settings.showKeys(monitor, download, downloadKey, upload, uploadKey);
    }

    // Totals as the next refresh will find them, in bytes.
    void traffic(std::uint32_t received, std::uint32_t sent) {
        table.setRows({fakes::IfRow::withOctets(received, sent, "lo")});
    }

    // Virtual-key codes of the key events of the last tick, in order.
    std::vector<int> keysDriven() const {
        std::vector<int> keys;
        for (const auto& call : keyboard.calls)
            if (call.op == Op::KeybdEvent && (call.flags & platform::kKeyEventKeyUp) == 0)
                keys.push_back(call.virtualKey);
        return keys;
    }

    void tick() {
        keyboard.calls.clear();
        monitor.UpdateLeds();
    }
};

TEST_F(Tick, FirstTickComparesAgainstZeroAndAQuietTickTurnsBothOff) {
    traffic(5000, 3000);
    tick();
    EXPECT_TRUE(keyboard.lit(kVkNumLock));
    EXPECT_TRUE(keyboard.lit(kVkScroll));

    tick();
    EXPECT_FALSE(keyboard.lit(kVkNumLock));
    EXPECT_FALSE(keyboard.lit(kVkScroll));

    tick();
    EXPECT_EQ(keyboard.count(Op::KeybdEvent), 0u) << "a quiet key that is already off is left alone";
    EXPECT_EQ(keyboard.count(Op::PlatformId), 2u) << "but both shown keys are still checked on every tick";
}

TEST_F(Tick, GrowthOfOneByteLightsOnlyThatDirection) {
    traffic(1000, 1000);
    tick();
    traffic(1001, 1000);
    tick();
    EXPECT_TRUE(keyboard.lit(kVkNumLock));
    EXPECT_FALSE(keyboard.lit(kVkScroll));
    traffic(1001, 1001);
    tick();
    EXPECT_FALSE(keyboard.lit(kVkNumLock));
    EXPECT_TRUE(keyboard.lit(kVkScroll));
}

// A total lower than the last one, whether the counter was reset or grew
// into negative values, turns the key off for one tick and becomes the new
// reference, so that growth from it lights the key again.
TEST_F(Tick, LowerTotalTurnsTheKeyOffForOneTickAndBecomesTheReference) {
    for (const auto& [before, lower, grown] : {std::tuple{100000u, 400u, 401u},  // reset
                                               std::tuple{0x7FFFFFF0u, 0x80000010u, 0x80000020u}}) {
        SCOPED_TRACE(before);
        traffic(before, 100000);
        tick();
        traffic(lower, 100001);
        tick();
        EXPECT_FALSE(keyboard.lit(kVkNumLock));
        EXPECT_TRUE(keyboard.lit(kVkScroll));
        EXPECT_EQ(monitor.lngLastReceived(), static_cast<std::int32_t>(lower));
        traffic(grown, 100001);
        tick();
        EXPECT_TRUE(keyboard.lit(kVkNumLock)) << "growth from the lower total lights the key again";
    }
}

// A cleared box leaves its key alone while the reference follows the
// traffic; a grayed one shows the key like a ticked one.
TEST_F(Tick, OnlyAClearedBoxLeavesItsKeyAloneAndItsReferenceStillFollows) {
    show(0, kNumLock, 1, kScrollLock);
    for (std::uint32_t total : {10u, 20u, 20u, 35u}) {
        traffic(total, total);
        tick();
        EXPECT_EQ(keyboard.count(Op::PlatformId), 1u) << "one SetLockKey, for the upload key";
        EXPECT_EQ(monitor.lngLastReceived(), static_cast<std::int32_t>(total));
    }
    EXPECT_FALSE(keyboard.lit(kVkNumLock));

    // Showing it later does not light it for traffic seen while hidden.
    show(2, kNumLock, 0, kScrollLock);
    tick();
    EXPECT_FALSE(keyboard.lit(kVkNumLock));
    traffic(40, 40);
    tick();
    EXPECT_TRUE(keyboard.lit(kVkNumLock)) << "a grayed box shows its key";
    EXPECT_EQ(keysDriven(), std::vector<int>{kVkNumLock}) << "the cleared upload box leaves Scroll Lock alone";
}

TEST_F(Tick, SameKeyForBothFollowsTheUploadDecision) {
    show(1, kCapsLock, 1, kCapsLock);
    traffic(50, 0);
    tick();
    EXPECT_EQ(keysDriven(), (std::vector<int>{kVkCapital, kVkCapital}))
        << "on for the download, then off again for the upload, each from a fresh read";
    EXPECT_FALSE(keyboard.lit(kVkCapital));
    traffic(60, 5);
    tick();
    EXPECT_TRUE(keyboard.lit(kVkCapital));
    EXPECT_EQ(keysDriven().size(), 1u) << "the upload call reads the key as already on";
}

TEST_F(Tick, TheTickGoesOnWithoutAReaderOrWithAFailingKeyboard) {
    traffic(900, 900);
    tick();
    ASSERT_TRUE(keyboard.lit(kVkNumLock));
    monitor.setIpHelper(nullptr);
    EXPECT_NO_THROW(tick());
    EXPECT_FALSE(keyboard.lit(kVkNumLock)) << "without a reader the shown keys go off";
    EXPECT_FALSE(keyboard.lit(kVkScroll));
    EXPECT_EQ(monitor.lngLastReceived(), 900);

    monitor.setIpHelper(reader);
    keyboard.failPlatformId = true;
    keyboard.failGetKeyboardState = true;
    traffic(1000, 1000);
    EXPECT_NO_THROW(tick());
    EXPECT_EQ(monitor.lngLastReceived(), 1000) << "the reference totals still move on";
}

// A refresh that could not read the table (the call missing, a failed read,
// a table that grew between the size query and the read) says nothing about
// traffic: the keys stay as they were, and the next good refresh is compared
// with the last good one, so the old traffic does not light them again.
TEST_F(Tick, FailedRefreshChangesNoKeyAndTheNextGoodOneIsComparedWithTheLastGood) {
    std::uint32_t total = 5000;
    const std::vector<std::function<void()>> failures = {
        [&] { table.missing = true; },
        [&] { table.readResult = 31; },
        [&] {
            table.afterSizeQuery = [&] {
                table.setRows({fakes::IfRow::withOctets(total, total, "lo"), fakes::IfRow::withOctets(0, 0, "veth0")});
            };
        },
    };
    for (const auto& fail : failures) {
        ++total;
        traffic(total, total);
        tick();
        ASSERT_TRUE(keyboard.lit(kVkNumLock));

        fail();
        tick();
        EXPECT_TRUE(keyboard.calls.empty()) << "a failed refresh drove a key";
        EXPECT_TRUE(keyboard.lit(kVkNumLock));

        table.missing = false;
        table.readResult = platform::kNoError;
        table.afterSizeQuery = nullptr;
        tick();
        EXPECT_FALSE(keyboard.lit(kVkNumLock)) << "nothing grew since the last good refresh";
        EXPECT_FALSE(keyboard.lit(kVkScroll));
    }

    // Growth across a failed tick still shows at the next good one.
    table.missing = true;
    tick();
    table.missing = false;
    traffic(total + 1, total);
    tick();
    EXPECT_TRUE(keyboard.lit(kVkNumLock));
    EXPECT_FALSE(keyboard.lit(kVkScroll));
}

// The one-second refresh between ticks drives no key and moves no reference:
// traffic only it has seen still lights the keys at the next tick.
TEST_F(Tick, RefreshBetweenTicksLeavesKeysAndReferencesAlone) {
    traffic(10, 20);
    monitor.RefreshCounters();
    EXPECT_EQ(monitor.objIpHelper()->BytesReceived(), 10) << "it refreshed";
    EXPECT_TRUE(keyboard.calls.empty());
    tick();
    EXPECT_TRUE(keyboard.lit(kVkNumLock));
    EXPECT_TRUE(keyboard.lit(kVkScroll));
}

// A direction on the tray icon lights a lamp, never a key; the lamps handler
// hears only changes.
TEST_F(Tick, TrayDirectionsLightLampsAndSwitchNoKey) {
    std::vector<ActivityMonitor::Lamps> heard;
    monitor.setOnLamps([&](ActivityMonitor::Lamps lamps) { heard.push_back(lamps); });
    show(1, kTrayIcon, 1, kTrayIcon);
    traffic(100, 50);
    tick();
    tick();            // quiet
    traffic(200, 50);  // received only
    tick();
    traffic(300, 50);  // again: no change to tell
    tick();
    EXPECT_TRUE(keyboard.calls.empty()) << "no key is read or switched for the tray";
    EXPECT_EQ(heard, (std::vector<ActivityMonitor::Lamps>{{true, true}, {false, false}, {true, false}}));

    // One direction on the tray, the other on a key: each goes its own way.
    show(1, kTrayIcon, 1, kCapsLock);
    traffic(300, 60);
    tick();
    EXPECT_TRUE(keyboard.lit(kVkCapital));
    EXPECT_EQ(monitor.lamps(), (ActivityMonitor::Lamps{false, false}));
    EXPECT_EQ(keysDriven(), std::vector<int>{kVkCapital});
}

TEST_F(Tick, ALampIsPutOutWhenItsDirectionLeavesTheTrayOrTheTickStops) {
    show(1, kTrayIcon, 1, kTrayIcon);
    traffic(10, 10);
    tick();
    ASSERT_EQ(monitor.lamps(), (ActivityMonitor::Lamps{true, true}));
    show(1, kNumLock, 1, kTrayIcon);
    EXPECT_EQ(monitor.lamps(), (ActivityMonitor::Lamps{false, true})) << "download moved to a key";
    show(1, kNumLock, 0, kTrayIcon);
    EXPECT_EQ(monitor.lamps(), (ActivityMonitor::Lamps{false, false})) << "upload no longer shown";

    show(1, kTrayIcon, 1, kTrayIcon);
    traffic(20, 20);
    tick();
    settings.check1.setValue(0);  // the application disabled: the timer stops
    monitor.getvalues(settings.controls);
    EXPECT_FALSE(timer1.enabled());
    EXPECT_EQ(monitor.lamps(), (ActivityMonitor::Lamps{false, false}));
}

TEST_F(Tick, AFailingLampsHandlerIsToldAgainAtTheNextTick) {
    int calls = 0;
    monitor.setOnLamps([&](ActivityMonitor::Lamps) {
        if (++calls == 1) throw Error("the shell refused");
    });
    show(1, kTrayIcon, 0, kScrollLock);
    traffic(10, 0);
    tick();
    EXPECT_EQ(monitor.lamps(), (ActivityMonitor::Lamps{}));
    traffic(20, 0);
    tick();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(monitor.lamps(), (ActivityMonitor::Lamps{true, false}));
}

// getvalues reads the window's controls; these are the fake toolkit's.
class Getvalues : public Monitor {
protected:
    void set(std::int16_t enabled, std::int16_t download, std::int16_t upload) {
        check1.setValue(enabled);
        check2.setValue(download);
        check3.setValue(upload);
    }

    void defaults() {
        set(1, 1, 1);
        combo1.setListIndex(2);  // 150
        combo2.setListIndex(1);  // Num Lock
        combo3.setListIndex(2);  // Scroll Lock
    }

    platform::CheckBox& check1 = settings.check1;
    platform::CheckBox& check2 = settings.check2;
    platform::CheckBox& check3 = settings.check3;
    platform::ComboBox& combo1 = settings.combo1;
    platform::ComboBox& combo2 = settings.combo2;
    platform::ComboBox& combo3 = settings.combo3;
    const ActivityMonitor::Controls& controls = settings.controls;
};

TEST_F(Getvalues, ArmingRuleWantsExactly1) {
    struct Case {
        std::int16_t enabled, download, upload;
        bool armed;
    };
    for (const Case& c :
         {Case{0, 1, 1, false}, Case{2, 1, 1, false}, Case{1, 0, 0, false}, Case{1, 1, 0, true}, Case{1, 0, 1, true},
          Case{1, 2, 0, false}, Case{1, 0, 2, false}, Case{1, 2, 2, false}, Case{1, 2, 1, true}}) {
        defaults();
        set(c.enabled, c.download, c.upload);
        timer1.setInterval(100);
        monitor.getvalues(controls);
        EXPECT_EQ(timer1.enabled(), c.armed) << c.enabled << "/" << c.download << "/" << c.upload;
        EXPECT_EQ(timer1.interval(), 150) << "the interval is set whether or not the timer is armed";
        EXPECT_EQ(monitor.intShowDownload(), c.download);
        EXPECT_EQ(monitor.intShowUpload(), c.upload);
    }
}

// A list without a selection: no interval means no ticks until one is
// applied; a key list keeps the key it had (at first the initial 0, Caps Lock).
TEST_F(Getvalues, AListWithoutSelectionKeepsThePreviousValue) {
    defaults();
    combo1.setListIndex(-1);
    combo2.setListIndex(-1);
    monitor.getvalues(controls);
    EXPECT_EQ(timer1.interval(), 0);
    EXPECT_TRUE(timer1.enabled());
    int ticks = 0;
    timer1.setOnTick([&] { ++ticks; });
    EXPECT_FALSE(timer1.tick());
    EXPECT_EQ(monitor.intDownloadKey(), kCapsLock);
    EXPECT_EQ(monitor.intUploadKey(), kScrollLock) << "the other list is still read";

    combo1.setListIndex(0);
    combo2.setListIndex(2);
    monitor.getvalues(controls);
    EXPECT_EQ(timer1.interval(), 25);
    EXPECT_TRUE(timer1.tick());
    EXPECT_EQ(ticks, 1);

    combo1.setListIndex(-1);
    combo2.setListIndex(-1);
    combo3.setListIndex(-1);
    monitor.getvalues(controls);
    EXPECT_EQ(monitor.intDownloadKey(), kScrollLock);
    EXPECT_EQ(monitor.intUploadKey(), kScrollLock);
    EXPECT_EQ(timer1.interval(), 25);
}

// Timer1 wired to the tick, as the window does it: settings applied while
// the timer runs take effect at the next tick, and disarming keeps the
// reference totals for the first tick after re-arming.
TEST_F(Getvalues, AppliedSettingsReachTheNextTick) {
    monitor.setIpHelper(reader);
    timer1.setOnTick([&] { monitor.UpdateLeds(); });
    table.setRows({fakes::IfRow::withOctets(100, 100)});
    defaults();
    monitor.getvalues(controls);
    ASSERT_TRUE(timer1.tick());
    EXPECT_TRUE(keyboard.lit(kVkNumLock));

    combo2.setListIndex(0);  // download now on Caps Lock
    monitor.getvalues(controls);
    table.setRows({fakes::IfRow::withOctets(200, 100)});
    ASSERT_TRUE(timer1.tick());
    EXPECT_TRUE(keyboard.lit(kVkCapital));
    EXPECT_TRUE(keyboard.lit(kVkNumLock)) << "the old key keeps the state it last had";
    EXPECT_FALSE(keyboard.lit(kVkScroll)) << "applying settings kept the reference totals";
    ASSERT_TRUE(timer1.tick());
    ASSERT_FALSE(keyboard.lit(kVkCapital));

    set(0, 1, 1);
    monitor.getvalues(controls);
    table.setRows({fakes::IfRow::withOctets(900, 100)});
    EXPECT_FALSE(timer1.tick());
    set(1, 1, 1);
    monitor.getvalues(controls);
    ASSERT_TRUE(timer1.tick());
    EXPECT_TRUE(keyboard.lit(kVkCapital)) << "traffic while disarmed shows at the first tick after";
    EXPECT_EQ(monitor.lngLastReceived(), 900);
    ASSERT_TRUE(timer1.tick());
    EXPECT_FALSE(keyboard.lit(kVkCapital));
}

}  // namespace
}  // namespace tovi
