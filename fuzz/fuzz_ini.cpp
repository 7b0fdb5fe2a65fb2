// The INI text functions of the Linux settings store, on any file text and
// any section, key and value.
//
// Properties: finding never fails; setting either refuses (tovi::Error) or
// gives a text in which the key now reads as the value, from which setting
// the same value again changes nothing, and in which every other key of
// that section, and the same key of another section, reads as before.
//
// Input: the section, the key, the value and a second key as short strings,
// then the file text (FuzzedDataProvider's layout).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/error.h"
#include "fuzz/fuzz_support.h"
#include "platform/linux/settings_store_ini.h"

namespace ini = tovi::platform::ini;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(24);
    const std::string key = in.ConsumeRandomLengthString(24);
    const std::string value = in.ConsumeRandomLengthString(24);
    const std::string otherKey = in.ConsumeRandomLengthString(24);
    const std::string otherSection = in.ConsumeRandomLengthString(24);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::optional<std::string> before = ini::findValue(text, section, key);
    const std::optional<std::string> otherBefore = ini::findValue(text, section, otherKey);
    const std::optional<std::string> elsewhereBefore = ini::findValue(text, otherSection, key);

    std::string after;
    try {
        after = ini::setValue(text, section, key, value);
    } catch (const tovi::Error&) {
        return 0;  // a section, key or value the format cannot carry
    }
    TOVI_FUZZ_CHECK(ini::findValue(after, section, key) == value);
    TOVI_FUZZ_CHECK(ini::setValue(after, section, key, value) == after);
    if (otherKey != key) TOVI_FUZZ_CHECK(ini::findValue(after, section, otherKey) == otherBefore);
    if (otherSection != section) TOVI_FUZZ_CHECK(ini::findValue(after, otherSection, key) == elsewhereBefore);
    // Setting the value it already had leaves the text alone, unless the
    // line has to be written in the store's own spelling.
    if (before == value) {
        const std::string again = ini::setValue(after, section, key, value);
        TOVI_FUZZ_CHECK(again == after);
    }
    return 0;
}
