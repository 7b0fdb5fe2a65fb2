// The Linux settings store: one INI file per application,
// ${XDG_CONFIG_HOME:-$HOME/.config}/<application>/settings.ini, where each
// section is an INI group ([zuderari]) of key=value lines.
//
// Reading never fails: a missing, unreadable, oversized or garbled file, or a
// garbled line, reads as absent keys. Writing replaces the file as a whole by
// writing a temporary file in the same folder, syncing it and renaming it over
// the old one, so a crash or a full disk leaves either the old file or the new
// one, never half of one. Every other group, key, comment and unparsed line of
// the file is carried over unchanged. A write that cannot be completed throws
// tovi::Error and leaves the old file as it was. A settings.ini that is a
// symbolic link is written through: its final target is replaced, in the
// target's folder, and the link stays.
//
// The INI text functions in namespace ini are pure and exposed for tests.
//
// Used from the window's thread only; nothing is locked, and two processes
// writing at once each leave a whole file (the later rename wins).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace tovi::platform {

namespace ini {

// The value of key in the first group named section that holds it; blanks
// around keys and values are not part of them. Lines before the first group
// header, comments (';' or '#') and lines that are neither a header nor a
// key=value pair are ignored.
std::optional<std::string> findValue(std::string_view text, std::string_view section, std::string_view key);

// text with key set to value in section: the first existing line of that key
// is replaced; otherwise the line is added at the end of the section's first
// group, or a new group is appended. All other lines are kept byte for byte.
// Throws tovi::Error for a section, key or value that the format cannot
// carry (line breaks, brackets in a section, '=' in a key, edge blanks...).
std::string setValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value);

}  // namespace ini

class IniSettingsStore : public SettingsStore {
public:
    // Files bigger than this are not settings files we wrote; they read as
    // empty and are not overwritten.
    static constexpr std::size_t kMaxFileSize = 1 << 20;  // bytes

    // Finds the configuration folder from the environment now:
    // $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config, else
    // the account's home folder from the password database.
    IniSettingsStore();
    // Uses configHome in place of that folder.
    explicit IniSettingsStore(std::filesystem::path configHome);

    std::string read(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& defaultValue) override;
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;

    // Why the application's settings file exists but cannot be used (it
    // cannot be read, is not a regular file, or is too big), in a few words
    // for a message; empty when it can be used or is simply absent.
    std::string unusable(const std::string& application) const;

    // Where the application's settings live; throws tovi::Error for an
    // application name that is not a single folder name, or when no
    // configuration folder could be found.
    std::filesystem::path fileFor(const std::string& application) const;

private:
    std::optional<std::filesystem::path> pathFor(const std::string& application) const;

    std::optional<std::filesystem::path> configHome_;
};

}  // namespace tovi::platform
