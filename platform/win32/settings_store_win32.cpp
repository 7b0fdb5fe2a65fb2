#include "platform/win32/settings_store_win32.h"

#include <windows.h>

#include <string_view>

#include "base/error.h"

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

// UTF-8 to UTF-16; nothing for text that is not valid UTF-8 or holds a NUL,
// which the registry's C strings would cut short.
std::optional<std::wstring> widen(std::string_view s) {
    if (hasNul(s)) return std::nullopt;
    if (s.empty()) return std::wstring();
    const int n =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::optional<std::string> narrow(std::wstring_view w) {
    if (w.empty()) return std::string();
    const int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                        nullptr, nullptr);
    if (n <= 0) return std::nullopt;
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                          nullptr);
    return s;
}

// A key name is one path component: not empty, no backslash.
bool isKeyName(std::string_view s) { return !s.empty() && s.find('\\') == std::string_view::npos; }

[[noreturn]] void fail(const char* what, LSTATUS status) {
    throw Error(std::string(what) + " (registry error " + std::to_string(status) + ")");
}

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(std::wstring root) : root_(std::move(root)) {}

std::optional<std::wstring> RegistrySettingsStore::keyPath(const std::string& application,
                                                           const std::string& section) const {
    if (!isKeyName(application) || !isKeyName(section)) return std::nullopt;
    auto app = widen(application);
    auto sec = widen(section);
    if (!app || !sec) return std::nullopt;
    return root_ + L"\\" + *app + L"\\" + *sec;
}

std::string RegistrySettingsStore::read(const std::string& application, const std::string& section,
                                        const std::string& key, const std::string& defaultValue) {
    const auto path = keyPath(application, section);
    const auto name = widen(key);
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
        return narrow(text).value_or(defaultValue);
    }
    return defaultValue;
}

void RegistrySettingsStore::write(const std::string& application, const std::string& section, const std::string& key,
                                  const std::string& value) {
    const auto path = keyPath(application, section);
    if (!path) throw Error("application or section is not a registry key name");
    const auto name = widen(key);
    if (!name || name->empty()) throw Error("setting name cannot be stored in the registry");
    const auto data = widen(value);
    if (!data) throw Error("setting value cannot be stored in the registry");

    RegistryKey k;
    LSTATUS rc = ::RegCreateKeyExW(HKEY_CURRENT_USER, path->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                   nullptr, k.out(), nullptr);
    if (rc != ERROR_SUCCESS) fail("cannot create the settings key", rc);
    const DWORD bytes = static_cast<DWORD>((data->size() + 1) * sizeof(wchar_t));  // with its NUL
    rc = ::RegSetValueExW(k.get(), name->c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data->c_str()), bytes);
    if (rc != ERROR_SUCCESS) fail("cannot store the setting", rc);
}

}  // namespace tovi::platform
