// What every settings store promises (see contract_suite.h). The driver
// gives stores over a place of its own, removed when the driver goes.
#pragma once

#include <memory>

#include "common/contract_suite.h"
#include "platform/settings_store.h"

namespace tovi::contract {

class SettingsStoreDriver {
public:
    virtual ~SettingsStoreDriver() = default;
    // A store over the driver's place; every store made reads what the
    // others wrote.
    virtual std::unique_ptr<platform::SettingsStore> makeStore() = 0;
};

using SettingsStoreBackend = BackendOf<SettingsStoreDriver>;

class SettingsStoreContract : public ContractSuite<SettingsStoreDriver> {
protected:
    void SetUp() override {
        ContractSuite::SetUp();
        if (driver) store = driver->makeStore();
    }
    std::unique_ptr<platform::SettingsStore> store;
};

}  // namespace tovi::contract
