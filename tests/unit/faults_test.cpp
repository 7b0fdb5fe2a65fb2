// Faults of the interface table that the reader's own tests leave out: the
// function vanishing between its two calls, the read (not the size query)
// answering "not supported", and a whole window running on with a table
// that can never be called.
#include <gtest/gtest.h>

#include <optional>

#include "base/error.h"
#include "fakes/fake_interface_table.h"
#include "fakes/fake_keyboard.h"
#include "fakes/fake_notification_area.h"
#include "fakes/fake_settings_store.h"
#include "fakes/fake_toolkit.h"
#include "netstats/c_ip_helper.h"
#include "platform/platform.h"
#include "window/main.h"

namespace tovi {
namespace {

using fakes::FakeInterfaceTable;
using fakes::FakeToolkit;
using fakes::IfRow;

class TableFaults : public ::testing::Test {
protected:
    FakeInterfaceTable table;
    FakeToolkit toolkit;
    CIpHelper helper{table, toolkit};
};

TEST_F(TableFaults, FunctionVanishingBetweenTheTwoCallsGivesNothingAndTheNextRefreshRecovers) {
    table.setRows({IfRow::withOctets(700, 800)});
    helper.Interfaces();
    ASSERT_EQ(helper.BytesReceived(), 700);

    table.afterSizeQuery = [&] { table.missing = true; };
    const auto interfaces = helper.Interfaces();
    EXPECT_EQ(interfaces->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);
    EXPECT_EQ(helper.BytesSent(), 0);
    EXPECT_TRUE(toolkit.boxes.empty());
    ASSERT_EQ(table.calls.size(), 4u);
    EXPECT_TRUE(table.calls[3].withTable);  // the read was attempted, and only once

    table.afterSizeQuery = nullptr;
    table.missing = false;
    EXPECT_EQ(helper.Interfaces()->Count(), 1);
    EXPECT_EQ(helper.BytesSent(), 800);
}

// Only the size query's "not supported" is told to the user; the same answer
// to the read is just a failed read.
TEST_F(TableFaults, ReadAnsweringNotSupportedShowsNoMessage) {
    table.setRows({IfRow::withOctets(10, 20), IfRow::withOctets(30, 40)});
    table.readResult = platform::kErrorNotSupported;
    for (int refresh = 0; refresh < 3; ++refresh) {
        EXPECT_EQ(helper.Interfaces()->Count(), 0);
        EXPECT_EQ(helper.BytesReceived(), 0);
    }
    EXPECT_TRUE(toolkit.boxes.empty());
    EXPECT_EQ(table.calls.size(), 6u);
}

TEST(WindowOnABrokenTable, TicksGoOnWithTheKeysOffAndNoMessageWhenTheTableCannotBeCalled) {
    FakeInterfaceTable table;
    table.missing = true;
    fakes::FakeKeyboard keyboard;
    keyboard.state[144] = 1;  // Num Lock was on before the program started
    fakes::FakeNotificationArea tray;
    fakes::FakeSettingsStore store;
    FakeToolkit toolkit;
    platform::Platform platform{table, keyboard, tray, store, toolkit};
    std::optional<Main> main;
    main.emplace(platform);
    main->start();
    fakes::FakeWindow& window = *toolkit.window;

    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(window.timer(0).tick());
        ASSERT_TRUE(window.timer(1).tick());
    }
    EXPECT_TRUE(toolkit.boxes.empty());
    EXPECT_TRUE(keyboard.lit(144)) << "a tick that read nothing drove a key";
    EXPECT_FALSE(keyboard.lit(145));
    EXPECT_EQ(main->monitor().lngLastReceived(), 0);
    EXPECT_TRUE(window.timer(0).running());

    // The table comes back: the next tick lights the keys for one interval.
    table.missing = false;
    table.setRows({IfRow::withOctets(5, 6)});
    ASSERT_TRUE(window.timer(0).tick());
    EXPECT_TRUE(keyboard.lit(144));
    EXPECT_TRUE(keyboard.lit(145));
}

}  // namespace
}  // namespace tovi
