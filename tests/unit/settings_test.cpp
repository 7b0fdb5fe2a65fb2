#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/error.h"
#include "window/settings.h"

namespace tovi::settings {
namespace {

TEST(SettingValue, RefusesAnythingButPlainDecimalsOfSixteenBits) {
    const std::string tooLong(20, '9');
    const char* const bad[] = {"",      "-",  "--1", "+1",    " 1",     "1 ",    "1\n",     "\t1", "1.0",
                               "1.",    ".5", "1e2", "1E2",   "0x10",   "abc",   "1a",      "a1",  "1,000",
                               "1_000", "1-", "- 1", "32768", "-32769", "65536", "\xd9\xa1" /* Arabic-Indic one */};
    for (const std::string text : bad) {
        EXPECT_THROW(parseSettingValue(text), Error) << '"' << text << '"';
    }
    EXPECT_THROW(parseSettingValue(tooLong), Error);
    EXPECT_THROW(parseSettingValue("-" + tooLong), Error);
    EXPECT_THROW(parseSettingValue(std::string("1\0", 2)), Error);
}

// Whatever the program stores reads back as the same number, and leading
// zeros (a hand-edited store) are read as plain decimal.
TEST(SettingValue, EveryValueRoundTripsAsPlainDigits) {
    EXPECT_EQ(formatSettingValue(-1), "-1");
    EXPECT_EQ(formatSettingValue(150), "150");
    for (int v = -32768; v <= 32767; ++v) {
        const auto value = static_cast<std::int16_t>(v);
        ASSERT_EQ(parseSettingValue(formatSettingValue(value)), value);
    }
    EXPECT_EQ(parseSettingValue("007"), 7);
    EXPECT_EQ(parseSettingValue("-0"), 0);
}

}  // namespace
}  // namespace tovi::settings
