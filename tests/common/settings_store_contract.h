// What every settings store promises through the seam
// (platform/settings_store.h), checked once (settings_store_contract.cpp) and
// run against each store. A test program instantiates the suite with a
// factory for its driver, which gives a store in a place of its own and
// removes that place when destroyed.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include "platform/settings_store.h"

namespace tovi::contract {

class SettingsStoreDriver {
public:
    virtual ~SettingsStoreDriver() = default;
    // A store over the driver's place; every store made reads what the
    // others wrote.
    virtual std::unique_ptr<platform::SettingsStore> makeStore() = 0;
};

struct SettingsStoreBackend {
    const char* name;
    std::unique_ptr<SettingsStoreDriver> (*makeDriver)();
};

inline void PrintTo(const SettingsStoreBackend& backend, std::ostream* out) { *out << backend.name; }

class SettingsStoreContract : public ::testing::TestWithParam<SettingsStoreBackend> {
protected:
    void SetUp() override {
        driver = GetParam().makeDriver();
        ASSERT_TRUE(driver);
        store = driver->makeStore();
    }
    std::unique_ptr<SettingsStoreDriver> driver;
    std::unique_ptr<platform::SettingsStore> store;
};

}  // namespace tovi::contract
