// Inputs the fuzzer (fuzz/fuzz_ini.cpp) found to break the INI text
// functions, each kept as a case here beside its file in fuzz/corpus/fuzz_ini.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/settings_store_ini.h"

namespace tovi {
namespace {

namespace ini = platform::ini;

// A file whose last line is a group header ending in a carriage return but
// no line feed (a cut-short Windows line): adding a key after it wrote a
// second '\r', the header no longer read as one, and every key of the group
// was lost to the next read.
TEST(IniFindings, HeaderOnAnUnterminatedLastLineEndingInCrStaysAHeader) {
    const std::string text = "[zuderari]\r";
    const std::string after = ini::setValue(text, "zuderari", "interval", "3");
    EXPECT_EQ(after, "[zuderari]\r\ninterval=3\r\n");
    EXPECT_EQ(ini::findValue(after, "zuderari", "interval"), "3");

    // The same with a key line last.
    const std::string keys = "[zuderari]\r\nenabled=1\r";
    const std::string withKey = ini::setValue(keys, "zuderari", "upload", "0");
    EXPECT_EQ(ini::findValue(withKey, "zuderari", "enabled"), "1");
    EXPECT_EQ(ini::findValue(withKey, "zuderari", "upload"), "0");
}

}  // namespace
}  // namespace tovi
