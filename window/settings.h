// The seven stored settings: their names, their defaults, and the one text
// format every value is kept in.
//
// A stored value is the decimal text of a signed 16-bit integer: plain ASCII
// digits with an optional leading '-', nothing else. parseSettingValue is
// deliberately strict: a blank, a '+', a fraction, an exponent, an empty text
// or a number outside -32768..32767 throws tovi::Error, so that the window's
// guarded read step is skipped and the control keeps its designed state.
// Anything the program writes itself parses back to the same number.
//
// Stateless; the store passed in is the caller's. Window thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tovi {
namespace platform {
class SettingsStore;
}

namespace settings {

inline constexpr const char* kApplication = "Tovi";
inline constexpr const char* kSection = "zuderari";

// The keys, each with the text it reads as when the store lacks it.
inline constexpr const char* kEnabled = "enabled";  // Check1 state
inline constexpr const char* kEnabledDefault = "1";
inline constexpr const char* kStartMinimized = "startminimized";  // Check4 state
inline constexpr const char* kStartMinimizedDefault = "0";
inline constexpr const char* kDownload = "download";  // Check2 state
inline constexpr const char* kDownloadDefault = "1";
inline constexpr const char* kUpload = "upload";  // Check3 state
inline constexpr const char* kUploadDefault = "1";
inline constexpr const char* kInterval = "interval";         // Combo1 position
inline constexpr const char* kIntervalDefault = "5";         // the 150 ms entry
inline constexpr const char* kDownloadKey = "download_key";  // Combo2 position
inline constexpr const char* kDownloadKeyDefault = "1";      // Num Lock
inline constexpr const char* kUploadKey = "upload_key";      // Combo3 position
inline constexpr const char* kUploadKeyDefault = "2";        // Scroll Lock

struct Key {
    const char* name;
    const char* defaultText;
};

// The load reads "startminimized" first because the start-minimized decision
// has to follow it at once; the lists come last because their entries must
// exist before a position can be selected.
inline constexpr std::array<Key, 7> kReadOrder{{
    {kStartMinimized, kStartMinimizedDefault},
    {kEnabled, kEnabledDefault},
    {kDownload, kDownloadDefault},
    {kUpload, kUploadDefault},
    {kInterval, kIntervalDefault},
    {kDownloadKey, kDownloadKeyDefault},
    {kUploadKey, kUploadKeyDefault},
}};

// The order of the unload handler's writes.
inline constexpr std::array<Key, 7> kWriteOrder{{
    {kEnabled, kEnabledDefault},
    {kStartMinimized, kStartMinimizedDefault},
    {kDownload, kDownloadDefault},
    {kUpload, kUploadDefault},
    {kInterval, kIntervalDefault},
    {kDownloadKey, kDownloadKeyDefault},
    {kUploadKey, kUploadKeyDefault},
}};

// Strict decimal parse; throws tovi::Error for anything but [-]digits within
// the signed 16-bit range. Leading zeros are accepted ("007" is 7).
std::int16_t parseSettingValue(std::string_view text);

// Plain digits, '-' for negatives, no padding: the inverse of the parse.
std::string formatSettingValue(std::int16_t value);

// Reads one key of application "Tovi", section "zuderari"; an absent key
// gives defaultText. Throws tovi::Error when the text does not parse.
std::int16_t readSetting(platform::SettingsStore& store, std::string_view key, std::string_view defaultText);
std::int16_t readSetting(platform::SettingsStore& store, const Key& key);

// Writes one key; the store's failure (tovi::Error) goes to the caller.
void writeSetting(platform::SettingsStore& store, std::string_view key, std::int16_t value);
void writeSetting(platform::SettingsStore& store, const Key& key, std::int16_t value);

}  // namespace settings
}  // namespace tovi
