// SetLockKey: brings one lock key to a wanted state, on or off.
//
// Every call asks the platform afresh for its family and the keyboard state,
// and toggles the key only when its toggle bit differs from the wanted state:
// by a synthetic press and release on the NT family, by writing the keyboard
// state on the Windows 95 family, not at all on any other. Nothing is
// reported; a failing platform call is skipped.
//
// Window thread only.
#pragma once

#include <cstdint>

namespace tovi {
namespace platform {
class Keyboard;
}

// The scan code sent with every synthetic lock-key event.
inline constexpr std::uint8_t kLockKeyScanCode = 0x45;

void SetLockKey(platform::Keyboard& keyboard, std::int16_t intVirtualKey, bool blnWanted);

}  // namespace tovi
