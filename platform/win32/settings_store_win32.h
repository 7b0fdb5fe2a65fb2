// The Windows settings store: the per-user registry. Application and section
// name a key under HKEY_CURRENT_USER\Software (Software\Tovi\zuderari) and
// each setting is one REG_SZ value of that key.
//
// A read of a missing key or value, of a value that is not a string, or of
// one that cannot be read for any other reason gives the default. A write
// creates the key as needed and replaces the value; when the registry refuses
// it throws tovi::Error and the old value, if any, stays. Names are handed to
// the registry as UTF-16 converted from UTF-8.
//
// Called on the window's thread only; the registry serialises access by
// itself.
#pragma once

#include <optional>
#include <string>

#include "platform/settings_store.h"

namespace tovi::platform {

class RegistrySettingsStore : public SettingsStore {
public:
    // Values longer than this are not ours and read as absent.
    static constexpr unsigned long kMaxValueBytes = 64 * 1024;

    // root: the key under HKEY_CURRENT_USER that holds the applications'
    // keys; tests pass a private one.
    explicit RegistrySettingsStore(std::wstring root = L"Software");

    std::string read(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& defaultValue) override;
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;

    // The key's path under HKEY_CURRENT_USER, e.g. L"Software\\Tovi\\zuderari";
    // nothing when a name is empty or would reach into another key.
    std::optional<std::wstring> keyPath(const std::string& application, const std::string& section) const;

private:
    std::wstring root_;
};

}  // namespace tovi::platform
