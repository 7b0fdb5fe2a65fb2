// tovi --no-window: the window's own load over the headless toolkit, against
// fake services. It must apply the stored settings exactly as the window on
// screen does, tick at the applied interval, and store nothing.
#include <gtest/gtest.h>

#include <optional>

#include "fakes/fake_interface_table.h"
#include "fakes/fake_keyboard.h"
#include "fakes/fake_notification_area.h"
#include "fakes/fake_settings_store.h"
#include "fakes/fake_toolkit.h"
#include "lockkeys/lock_key_index.h"
#include "platform/linux/toolkit_headless.h"
#include "platform/platform.h"
#include "window/main.h"

namespace tovi {
namespace {

struct Seed {
    const char* key;
    const char* value;
};

void seed(fakes::FakeSettingsStore& store, std::initializer_list<Seed> values) {
    for (const Seed& s : values) store.set(s.key, s.value);
}

void expectSameState(const ActivityMonitor& headless, const ActivityMonitor& shown) {
    EXPECT_EQ(headless.lngEnabled(), shown.lngEnabled());
    EXPECT_EQ(headless.intShowDownload(), shown.intShowDownload());
    EXPECT_EQ(headless.intShowUpload(), shown.intShowUpload());
    EXPECT_EQ(headless.intDownloadKey(), shown.intDownloadKey());
    EXPECT_EQ(headless.intUploadKey(), shown.intUploadKey());
    EXPECT_EQ(headless.lngInterval(), shown.lngInterval());
}

TEST(NoWindow, AppliesTheStoredSettingsAsTheWindowDoesTicksAtTheirIntervalAndStoresNothing) {
    // Stored values of every kind the load meets: a bad text, the fastest
    // interval, both keys on one lock (the conflict rule moves one).
    const std::initializer_list<Seed> stored{{"enabled", "1"},   {"startminimized", "1"}, {"download", "1"},
                                             {"upload", "x"},    {"interval", "0"},       {"download_key", "2"},
                                             {"upload_key", "2"}};
    fakes::FakeInterfaceTable table;
    table.setRows({fakes::IfRow::withOctets(1000, 1000)});

    fakes::FakeKeyboard shownKeyboard;
    fakes::FakeNotificationArea tray;
    fakes::FakeSettingsStore shownStore;
    seed(shownStore, stored);
    fakes::FakeToolkit shownToolkit;
    platform::Platform shownPlatform{table, shownKeyboard, tray, shownStore, shownToolkit};
    Main shown(shownPlatform);
    shown.start();

    fakes::FakeKeyboard keyboard;
    fakes::FakeSettingsStore store;
    seed(store, stored);
    std::optional<platform::HeadlessToolkit> toolkit(std::in_place);
    platform::Platform platform{table, keyboard, platform::absentNotificationArea(), store, *toolkit};
    std::optional<Main> headless(std::in_place, platform);
    headless->start();

    expectSameState(headless->monitor(), shown.monitor());
    EXPECT_EQ(headless->monitor().lngInterval(), 25);
    EXPECT_EQ(headless->monitor().intDownloadKey(), kScrollLock);
    EXPECT_EQ(headless->monitor().intUploadKey(), kCapsLock);  // moved by the conflict rule

    // Armed at 25 ms: the tick comes long before the one-second refresh, and
    // traffic since the last tick lights the download key (Scroll Lock, 145).
    ASSERT_TRUE(toolkit->fireDue(500));  // the first tick takes the reference totals
    table.setRows({fakes::IfRow::withOctets(5000, 1000)});
    ASSERT_TRUE(toolkit->fireDue(500));
    EXPECT_TRUE(keyboard.lit(145));

    headless.reset();
    toolkit.reset();
    EXPECT_TRUE(store.writtenKeys().empty());
}

TEST(NoWindow, ADisabledApplicationDoesNotTick) {
    fakes::FakeInterfaceTable table;
    fakes::FakeKeyboard keyboard;
    fakes::FakeSettingsStore store;
    seed(store, {{"enabled", "0"}, {"interval", "0"}});
    platform::HeadlessToolkit toolkit;
    platform::Platform platform{table, keyboard, platform::absentNotificationArea(), store, toolkit};
    Main headless(platform);
    headless.start();
    // Only the one-second refresh runs, so nothing is due within 100 ms.
    EXPECT_FALSE(toolkit.fireDue(100));
    EXPECT_TRUE(keyboard.calls.empty());
}

}  // namespace
}  // namespace tovi
