// LockKeyIndex: the 0/1/2 selector of a lock key that the lists, the settings
// and the window state hold, and its table of virtual-key codes.
#pragma once

#include <cstdint>

namespace tovi {

using LockKeyIndex = std::int16_t;

inline constexpr LockKeyIndex kCapsLock = 0;
inline constexpr LockKeyIndex kNumLock = 1;
inline constexpr LockKeyIndex kScrollLock = 2;
inline constexpr LockKeyIndex kLockKeyCount = 3;

inline constexpr std::int16_t kVkCapital = 20;
inline constexpr std::int16_t kVkNumLock = 144;
inline constexpr std::int16_t kVkScroll = 145;

// The virtual-key code of a selector; throws tovi::Error for any other value.
std::int16_t virtualKeyOf(LockKeyIndex index);

}  // namespace tovi
