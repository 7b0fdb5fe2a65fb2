#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "base/error.h"
#include "common/settings_store_contract.h"
#include "platform/win32/settings_store_win32.h"
#include "window/settings.h"

namespace tovi::platform {
namespace {

// A key of its own under HKEY_CURRENT_USER, removed with everything under it:
// the settings store contract's driver on the registry, and the place of the
// tests below.
class RegistryDriver final : public contract::SettingsStoreDriver {
public:
    RegistryDriver() : root(L"Software\\ToviTest-" + std::to_wstring(::GetCurrentProcessId())) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
    }
    ~RegistryDriver() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str()); }
    std::unique_ptr<SettingsStore> makeStore() override { return std::make_unique<RegistrySettingsStore>(root); }
    const std::wstring root;
};

std::unique_ptr<contract::SettingsStoreDriver> makeRegistryDriver() { return std::make_unique<RegistryDriver>(); }

using contract::SettingsStoreContract;
INSTANTIATE_TEST_SUITE_P(Registry, SettingsStoreContract,
                         ::testing::Values(contract::SettingsStoreBackend{"registry", &makeRegistryDriver}));

class RegistryStoreTest : public ::testing::Test {
protected:
    std::wstring sectionKey() const { return root + L"\\Tovi\\zuderari"; }

    void rawSet(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
        HKEY k = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, sectionKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                                    nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
        ::RegCloseKey(k);
    }

    // The stored value as the registry holds it: type and raw text.
    std::pair<DWORD, std::wstring> rawGet(const wchar_t* name) {
        wchar_t buffer[256] = {};
        DWORD type = 0, bytes = sizeof buffer;
        const LSTATUS rc =
            ::RegGetValueW(HKEY_CURRENT_USER, sectionKey().c_str(), name, RRF_RT_ANY, &type, buffer, &bytes);
        if (rc != ERROR_SUCCESS) return {REG_NONE, L"<absent>"};
        return {type, std::wstring(buffer)};
    }

    RegistryDriver place;
    const std::wstring root = place.root;
};

// Where other readers of the registry (reg.exe, an earlier version) look.
TEST_F(RegistryStoreTest, EachSettingIsOneStringValueOfTheKeyUnderSoftware) {
    EXPECT_EQ(RegistrySettingsStore().keyPath("Tovi", "zuderari"), L"Software\\Tovi\\zuderari");
    RegistrySettingsStore store(root);
    for (const settings::Key& k : settings::kWriteOrder) settings::writeSetting(store, k, 20);
    settings::writeSetting(store, settings::kInterval, -1);
    settings::writeSetting(store, settings::kEnabled, 2);

    EXPECT_EQ(rawGet(L"interval"), (std::pair<DWORD, std::wstring>{REG_SZ, L"-1"}));
    EXPECT_EQ(rawGet(L"enabled"), (std::pair<DWORD, std::wstring>{REG_SZ, L"2"}));
    EXPECT_EQ(rawGet(L"upload_key"), (std::pair<DWORD, std::wstring>{REG_SZ, L"20"}));
}

TEST_F(RegistryStoreTest, ValuesThatAreNotOurStringsReadAsAbsent) {
    RegistrySettingsStore store(root);
    const DWORD number = 3;
    rawSet(L"enabled", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(store.read("Tovi", "zuderari", "enabled", "1"), "1");

    const std::wstring huge(RegistrySettingsStore::kMaxValueBytes, L'7');
    rawSet(L"interval", REG_SZ, huge.c_str(), static_cast<DWORD>((huge.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(store.read("Tovi", "zuderari", "interval", "5"), "5");

    // Stored without its terminator, or with text after a NUL: the text up
    // to the NUL is what any reader of the registry sees.
    const wchar_t bare[] = {L'1', L'2'};
    rawSet(L"upload", REG_SZ, bare, sizeof bare);
    EXPECT_EQ(store.read("Tovi", "zuderari", "upload", "1"), "12");
    const wchar_t split[] = L"3\0junk";
    rawSet(L"download", REG_SZ, split, sizeof split);
    EXPECT_EQ(store.read("Tovi", "zuderari", "download", "1"), "3");
}

TEST_F(RegistryStoreTest, RefusedWritesThrowAndKeepTheOldValue) {
    RegistrySettingsStore store(root);
    store.write("Tovi", "zuderari", "upload", "1");

    EXPECT_THROW(store.write("Tovi", "zuderari", "upload", std::string("0\0", 2)), Error);
    // A name that would reach into another key.
    EXPECT_THROW(store.write("Tovi\\zuderari", "x", "upload", "0"), Error);
    EXPECT_EQ(store.read("Tovi", "zuderari", "upload", "9"), "1");

    // The registry's own refusal: a lasting key cannot live under a volatile one.
    HKEY k = nullptr;
    const std::wstring volatileRoot = root + L"\\Volatile";
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, volatileRoot.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(k);
    RegistrySettingsStore refused(volatileRoot);
    EXPECT_THROW(refused.write("Tovi", "zuderari", "upload", "0"), Error);
    EXPECT_EQ(refused.read("Tovi", "zuderari", "upload", "1"), "1");
}

}  // namespace
}  // namespace tovi::platform
