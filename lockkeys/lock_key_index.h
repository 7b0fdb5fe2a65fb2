// LockKeyIndex: the 0/1/2 selector of a lock key that the lists, the settings
// and the window state hold, and its table of virtual-key codes; and 3, which
// names no lock key but the lamp in the tray icon.
#pragma once

#include <cstdint>

namespace tovi {

using LockKeyIndex = std::int16_t;

inline constexpr LockKeyIndex kCapsLock = 0;
inline constexpr LockKeyIndex kNumLock = 1;
inline constexpr LockKeyIndex kScrollLock = 2;
// How many lock keys there are: the selectors below kLockKeyCount.
inline constexpr LockKeyIndex kLockKeyCount = 3;
// Not a lock key: the direction shows as a lamp in the tray icon and switches
// no key. Two directions on it do not conflict.
inline constexpr LockKeyIndex kTrayIcon = 3;

inline constexpr std::int16_t kVkCapital = 20;
inline constexpr std::int16_t kVkNumLock = 144;
inline constexpr std::int16_t kVkScroll = 145;

// The virtual-key code of a lock-key selector (0 to 2); throws tovi::Error
// for any other value, kTrayIcon included.
std::int16_t virtualKeyOf(LockKeyIndex index);

}  // namespace tovi
