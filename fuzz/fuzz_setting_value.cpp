// The parse of a stored setting's text, against an independent reading of
// its one format: an optional '-', then ASCII digits, nothing else, within
// the signed 16-bit range. Whatever parses must format back to text that
// parses to the same number, and any number must round-trip.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.h"
#include "fuzz/fuzz_support.h"
#include "window/settings.h"

namespace {

// The number the text stands for when it follows the format (however many
// digits), or nothing; values far outside 16 bits are held as "too large".
struct Reading {
    bool wellFormed = false;
    bool inRange = false;
    std::int32_t value = 0;
};

Reading read(std::string_view text) {
    Reading r;
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty()) return r;
    std::int64_t magnitude = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return r;
        magnitude = std::min<std::int64_t>(magnitude * 10 + (c - '0'), 1'000'000);
    }
    r.wellFormed = true;
    const std::int64_t value = negative ? -magnitude : magnitude;
    r.inRange = value >= -32768 && value <= 32767;
    r.value = static_cast<std::int32_t>(value);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Reading expected = read(text);

    bool parsed = false;
    std::int16_t value = 0;
    try {
        value = tovi::settings::parseSettingValue(text);
        parsed = true;
    } catch (const tovi::Error&) {
        // Refused: fine, when the text is not a 16-bit number in the format.
    }
    TOVI_FUZZ_CHECK(parsed == (expected.wellFormed && expected.inRange));
    if (parsed) {
        TOVI_FUZZ_CHECK(value == expected.value);
        const std::string again = tovi::settings::formatSettingValue(value);
        TOVI_FUZZ_CHECK(tovi::settings::parseSettingValue(again) == value);
    }

    // Any 16-bit number, taken from the first two bytes, round-trips.
    if (size >= 2) {
        const auto number = static_cast<std::int16_t>(static_cast<std::uint16_t>(data[0] | data[1] << 8));
        const std::string formatted = tovi::settings::formatSettingValue(number);
        TOVI_FUZZ_CHECK(read(formatted).wellFormed);
        TOVI_FUZZ_CHECK(tovi::settings::parseSettingValue(formatted) == number);
    }
    return 0;
}
