#include "common/settings_store_contract.h"

#include "base/error.h"
#include "window/settings.h"

namespace tovi::contract {

TEST_P(SettingsStoreContract, AbsentValuesReadAsTheirDefaultsAndAWriteReadsBack) {
    EXPECT_EQ(store->read("Tovi", "zuderari", "interval", "5"), "5");
    store->write("Tovi", "zuderari", "interval", "-1");
    store->write("Tovi", "zuderari", "enabled", "2");
    EXPECT_EQ(store->read("Tovi", "zuderari", "interval", "5"), "-1");
    EXPECT_EQ(store->read("Tovi", "zuderari", "enabled", "1"), "2");
    EXPECT_EQ(store->read("Tovi", "zuderari", "upload", "1"), "1");
    EXPECT_EQ(store->read("Tovi", "elsewhere", "enabled", "1"), "1");
    EXPECT_EQ(store->read("Other", "zuderari", "enabled", "1"), "1");

    store->write("Tovi", "zuderari", "interval", "7");  // replaces
    EXPECT_EQ(driver->makeStore()->read("Tovi", "zuderari", "interval", "5"), "7") << "another store reads it";
}

TEST_P(SettingsStoreContract, EverySettingRoundTripsThroughTheSettingsFunctions) {
    for (const settings::Key& key : settings::kWriteOrder) settings::writeSetting(*store, key, 20);
    settings::writeSetting(*store, settings::kInterval, -1);
    settings::writeSetting(*store, settings::kEnabled, 2);
    EXPECT_EQ(settings::readSetting(*store, settings::kInterval, "5"), -1);
    EXPECT_EQ(settings::readSetting(*store, settings::kEnabled, "1"), 2);
    EXPECT_EQ(settings::readSetting(*store, settings::kStartMinimized, "0"), 20);
}

TEST_P(SettingsStoreContract, RefusedNamesThrowOnWriteReadAsDefaultsAndKeepTheOldValue) {
    store->write("Tovi", "zuderari", "upload", "1");
    EXPECT_THROW(store->write("", "zuderari", "upload", "0"), Error);
    EXPECT_EQ(store->read("", "zuderari", "upload", "9"), "9");
    EXPECT_THROW(store->write("Tovi", "zuderari", "", "0"), Error);
    EXPECT_EQ(store->read("Tovi", "zuderari", "upload", "9"), "1");
}

}  // namespace tovi::contract
