#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/guard.h"
#include "fakes/fake_settings_store.h"
#include "window/settings.h"

namespace tovi::settings {
namespace {

using fakes::FakeSettingsStore;

TEST(SettingValue, ParsesPlainDecimalIntegersOfSixteenBits) {
    EXPECT_EQ(parseSettingValue("0"), 0);
    EXPECT_EQ(parseSettingValue("5"), 5);
    EXPECT_EQ(parseSettingValue("-1"), -1);
    EXPECT_EQ(parseSettingValue("32767"), 32767);
    EXPECT_EQ(parseSettingValue("-32768"), -32768);
    EXPECT_EQ(parseSettingValue("007"), 7);
    EXPECT_EQ(parseSettingValue("-0"), 0);
}

TEST(SettingValue, RefusesEverythingElse) {
    const std::vector<std::string> bad{
        "",
        "-",
        "--1",
        "+1",
        " 1",
        "1 ",
        "1\n",
        "\t1",
        "1.0",
        "1.",
        ".5",
        "1e2",
        "1E2",
        "0x10",
        "abc",
        "1a",
        "a1",
        "1,000",
        "1_000",
        "32768",
        "-32769",
        "65536",
        "99999999999999999999",
        "-99999999999999999999",
        "1-",
        "- 1",
        "\xd9\xa1" /* Arabic-Indic one */,
        std::string("1\0", 2),
    };
    for (const std::string& text : bad) {
        EXPECT_THROW(parseSettingValue(text), Error) << '"' << text << '"';
    }
}

TEST(SettingValue, FormatsAsPlainDigitsAndRoundTrips) {
    EXPECT_EQ(formatSettingValue(0), "0");
    EXPECT_EQ(formatSettingValue(-1), "-1");
    EXPECT_EQ(formatSettingValue(150), "150");
    EXPECT_EQ(formatSettingValue(-32768), "-32768");
    for (int v = -32768; v <= 32767; ++v) {
        const auto value = static_cast<std::int16_t>(v);
        ASSERT_EQ(parseSettingValue(formatSettingValue(value)), value);
    }
}

TEST(SettingNames, ReadAndWrittenInTheStoredOrderWithTheirDefaults) {
    std::vector<std::string> read, written;
    for (const Key& k : kReadOrder) read.push_back(k.name);
    for (const Key& k : kWriteOrder) written.push_back(k.name);
    EXPECT_EQ(read, (std::vector<std::string>{"startminimized", "enabled", "download", "upload", "interval",
                                              "download_key", "upload_key"}));
    EXPECT_EQ(written, (std::vector<std::string>{"enabled", "startminimized", "download", "upload", "interval",
                                                 "download_key", "upload_key"}));

    // An empty store starts enabled, not minimized, both displays on, the
    // 150 ms entry, Num Lock down and Scroll Lock up.
    FakeSettingsStore empty;
    std::vector<std::int16_t> values;
    for (const Key& k : kWriteOrder) values.push_back(readSetting(empty, k));
    EXPECT_EQ(values, (std::vector<std::int16_t>{1, 0, 1, 1, 5, 1, 2}));
}

TEST(SettingStore, ReadsAndWritesUnderTheApplicationsSection) {
    FakeSettingsStore store;
    writeSetting(store, kInterval, 12);
    EXPECT_EQ(store.log.back(),
              (FakeSettingsStore::Op{FakeSettingsStore::Op::Write, "Tovi", "zuderari", "interval", "12"}));

    EXPECT_EQ(readSetting(store, kInterval, kIntervalDefault), 12);
    EXPECT_EQ(store.log.back(),
              (FakeSettingsStore::Op{FakeSettingsStore::Op::Read, "Tovi", "zuderari", "interval", "5"}));
}

TEST(SettingStore, ABadValueFailsOnlyItsOwnStep) {
    FakeSettingsStore store;
    store.set("interval", "150 ms");
    store.set("download_key", "");
    store.set("upload", "1.5");

    std::vector<std::int16_t> got(kReadOrder.size(), -99);
    for (std::size_t i = 0; i < kReadOrder.size(); ++i) {
        step([&] { got[i] = readSetting(store, kReadOrder[i]); });
    }
    // startminimized, enabled, download, upload, interval, download_key, upload_key
    EXPECT_EQ(got, (std::vector<std::int16_t>{0, 1, 1, -99, -99, -99, 2}));
    EXPECT_EQ(store.readKeys().size(), 7u);  // every key was still read
}

TEST(SettingStore, AFailedWriteKeepsTheOldValueAndReportsIt) {
    FakeSettingsStore store;
    store.set("upload", "0");
    store.failingKeys = {"upload"};
    EXPECT_THROW(writeSetting(store, kUpload, 1), Error);
    EXPECT_EQ(store.get("upload"), "0");
    EXPECT_NO_THROW(writeSetting(store, kDownload, 0));
    EXPECT_EQ(store.writtenKeys(), (std::vector<std::string>{"upload", "download"}));
}

}  // namespace
}  // namespace tovi::settings
