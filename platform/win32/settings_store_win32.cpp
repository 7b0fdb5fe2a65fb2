#include "platform/win32/settings_store_win32.h"

#include <windows.h>

#include <string_view>

#include "base/error.h"
#include "platform/win32/text_win32.h"

namespace tovi::platform {

namespace {

// Owns one open registry key.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    PHKEY out() { return &key_; }

private:
    HKEY key_ = nullptr;
};

bool hasNul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

// Nothing for text that is not valid UTF-8 or holds a NUL, which the
// registry's C strings would cut short.
std::optional<std::wstring> registryText(std::string_view s) {
    if (hasNul(s)) return std::nullopt;
    return win32::widenExact(s);
}

// A key name is one path component: not empty, no backslash.
bool isKeyName(std::string_view s) { return !s.empty() && s.find('\\') == std::string_view::npos; }

std::error_code registryError(LSTATUS status) { return {static_cast<int>(status), std::system_category()}; }

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(std::wstring root) : root_(std::move(root)) {}

std::optional<std::wstring> RegistrySettingsStore::keyPath(const std::string& application,
                                                           const std::string& section) const {
    if (!isKeyName(application) || !isKeyName(section)) return std::nullopt;
    auto app = registryText(application);
    auto sec = registryText(section);
    if (!app || !sec) return std::nullopt;
    return root_ + L"\\" + *app + L"\\" + *sec;
}

std::string RegistrySettingsStore::read(const std::string& application, const std::string& section,
                                        const std::string& key, const std::string& defaultValue) {
    const auto path = keyPath(application, section);
    const auto name = registryText(key);
    // An empty name would address the key's unnamed default value.
    if (!path || !name || name->empty()) return defaultValue;

    RegistryKey k;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path->c_str(), 0, KEY_QUERY_VALUE, k.out()) != ERROR_SUCCESS) {
        return defaultValue;
    }
    // The value can change size between the two calls; try again then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        if (::RegGetValueW(k.get(), nullptr, name->c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS ||
            size > kMaxValueBytes) {
            return defaultValue;
        }
        // Room for a terminator the stored data may lack; RegGetValueW adds it.
        std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LSTATUS rc = ::RegGetValueW(k.get(), nullptr, name->c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &got);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return defaultValue;
        // The text ends at its first NUL, as the registry's readers see it.
        std::wstring_view text(buffer.data(), got / sizeof(wchar_t));
        text = text.substr(0, text.find(L'\0'));
        return win32::narrowExact(text).value_or(defaultValue);
    }
    return defaultValue;
}

void RegistrySettingsStore::write(const std::string& application, const std::string& section, const std::string& key,
                                  const std::string& value) {
    const auto path = keyPath(application, section);
    if (!path) throw Error("application or section is not a registry key name");
    const auto name = registryText(key);
    if (!name || name->empty()) throw Error("setting name cannot be stored in the registry");
    const auto data = registryText(value);
    if (!data) throw Error("setting value cannot be stored in the registry");

    RegistryKey k;
    LSTATUS rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, path->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                   nullptr, k.out(), nullptr);
    if (rc != ERROR_SUCCESS) fail("cannot create the settings key", registryError(rc));
    const DWORD bytes = static_cast<DWORD>((data->size() + 1) * sizeof(wchar_t));  // with its NUL
    rc = ::RegSetValueExW(k.get(), name->c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data->c_str()), bytes);
    if (rc != ERROR_SUCCESS) fail("cannot store the setting", registryError(rc));
}

}  // namespace tovi::platform
