#include "window/settings.h"

#include <charconv>
#include <string>

#include "base/error.h"
#include "platform/settings_store.h"

namespace tovi::settings {

std::int16_t parseSettingValue(std::string_view text) {
    // from_chars alone would already refuse blanks and '+', but the format is
    // spelled out here so that it cannot drift with a library's leniency.
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
    if (digits.empty()) throw Error("setting value is not a number");
    for (char c : digits) {
        if (c < '0' || c > '9') throw Error("setting value is not a plain decimal integer");
    }

    std::int16_t value = 0;
    const char* const end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec == std::errc::result_out_of_range) throw Error("setting value out of range");
    if (ec != std::errc() || ptr != end) throw Error("setting value is not a number");
    return value;
}

std::string formatSettingValue(std::int16_t value) { return std::to_string(value); }

std::int16_t readSetting(platform::SettingsStore& store, std::string_view key, std::string_view defaultText) {
    return parseSettingValue(store.read(kApplication, kSection, std::string(key), std::string(defaultText)));
}

std::int16_t readSetting(platform::SettingsStore& store, const Key& key) {
    return readSetting(store, key.name, key.defaultText);
}

void writeSetting(platform::SettingsStore& store, std::string_view key, std::int16_t value) {
    store.write(kApplication, kSection, std::string(key), formatSettingValue(value));
}

void writeSetting(platform::SettingsStore& store, const Key& key, std::int16_t value) {
    writeSetting(store, key.name, value);
}

}  // namespace tovi::settings
