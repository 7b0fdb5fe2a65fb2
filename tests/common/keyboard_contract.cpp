#include "common/keyboard_contract.h"

#include "base/error.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"

namespace tovi::contract {

TEST_P(KeyboardContract, SetLockKeyTurnsEachKeyOnAndOffAsAWitnessSees) {
    platform::Keyboard& keyboard = driver->keyboard();
    EXPECT_EQ(keyboard.platformId(), platform::kVerPlatformWin32Nt);
    for (LockKeyIndex lock = 0; lock < kLockKeyCount; ++lock) {
        const std::int16_t key = virtualKeyOf(lock);
        SCOPED_TRACE(key);
        SetLockKey(keyboard, key, true);
        EXPECT_EQ(driver->lit(key), true);
        EXPECT_EQ(driver->state()[key] & 1, 1);

        // Already on: further calls send nothing, so the key stays on.
        SetLockKey(keyboard, key, true);
        SetLockKey(keyboard, key, true);
        EXPECT_EQ(driver->lit(key), true);

        SetLockKey(keyboard, key, false);
        EXPECT_EQ(driver->lit(key), false);
        EXPECT_EQ(driver->state()[key] & 1, 0);
    }
}

TEST_P(KeyboardContract, WritingTheStateSetsTheLockKeysToggleBits) {
    platform::Keyboard& keyboard = driver->keyboard();
    for (LockKeyIndex lock = 0; lock < kLockKeyCount; ++lock) SetLockKey(keyboard, virtualKeyOf(lock), false);
    platform::KeyboardState wanted = driver->state();
    wanted[kVkCapital] = 0x81;  // on, and a held bit
    wanted[kVkNumLock] = 0;
    wanted[kVkScroll] = 1;
    // A backend that knows only the lock keys ignores every other key.
    if (driver->refusesOtherKeys()) wanted[65] = 0x80;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "written" : "the same state written again");
        keyboard.setKeyboardState(wanted);
        const platform::KeyboardState state = driver->state();
        EXPECT_EQ(state[kVkCapital] & 1, 1);
        EXPECT_EQ(state[kVkNumLock] & 1, 0);
        EXPECT_EQ(state[kVkScroll] & 1, 1);
        if (driver->stateWriteLights()) {
            EXPECT_EQ(driver->lit(kVkCapital), true);
            EXPECT_EQ(driver->lit(kVkNumLock), false);
            EXPECT_EQ(driver->lit(kVkScroll), true);
        }
    }
    wanted[kVkCapital] = wanted[kVkScroll] = 0;
    keyboard.setKeyboardState(wanted);
    for (LockKeyIndex lock = 0; lock < kLockKeyCount; ++lock) EXPECT_EQ(driver->state()[virtualKeyOf(lock)] & 1, 0);
}

// X locks Caps Lock on the press; a backend that sends the press unconfirmed
// must still have it arrive by the next call, and leave it on the release.
TEST_P(KeyboardContract, APressTogglesTheLockAndItsReleaseLeavesIt) {
    platform::Keyboard& keyboard = driver->keyboard();
    SetLockKey(keyboard, kVkCapital, false);
    keyboard.keybdEvent(kVkCapital, kLockKeyScanCode, platform::kKeyEventExtendedKey, 0);
    EXPECT_EQ(driver->state()[kVkCapital] & 1, 1);
    EXPECT_EQ(driver->lit(kVkCapital), true);
    keyboard.keybdEvent(kVkCapital, kLockKeyScanCode, platform::kKeyEventExtendedKey | platform::kKeyEventKeyUp, 0);
    EXPECT_EQ(driver->lit(kVkCapital), true) << "the release leaves the lock as the press set it";
    EXPECT_EQ(driver->state()[kVkCapital] & 1, 1);
}

TEST_P(KeyboardContract, EventsForOtherKeysAreRefused) {
    if (!driver->refusesOtherKeys()) GTEST_SKIP() << "this system takes any key";
    platform::Keyboard& keyboard = driver->keyboard();
    const platform::KeyboardState before = driver->state();
    EXPECT_THROW(keyboard.keybdEvent(65, kLockKeyScanCode, platform::kKeyEventExtendedKey, 0), Error);
    EXPECT_THROW(keyboard.keybdEvent(0, kLockKeyScanCode, 3, 0), Error);
    const platform::KeyboardState after = driver->state();
    for (LockKeyIndex lock = 0; lock < kLockKeyCount; ++lock) {
        EXPECT_EQ(after[virtualKeyOf(lock)] & 1, before[virtualKeyOf(lock)] & 1);
    }
}

}  // namespace tovi::contract
