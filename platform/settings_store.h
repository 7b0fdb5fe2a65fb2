// The per-user store of the program's settings: named text values addressed
// by application, section and key.
//
// Windows keeps them in the registry under HKEY_CURRENT_USER\Software; Linux
// in an INI file under the user's configuration folder. read() gives the
// default when the key is absent (an unreadable store counts as absent);
// write() creates or replaces one value and throws tovi::Error when it cannot.
//
// Called on the window's thread only, from its load and unload handlers.
#pragma once

#include <string>

namespace tovi::platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    virtual std::string read(const std::string& application, const std::string& section, const std::string& key,
                             const std::string& defaultValue) = 0;
    virtual void write(const std::string& application, const std::string& section, const std::string& key,
                       const std::string& value) = 0;
};

}  // namespace tovi::platform
