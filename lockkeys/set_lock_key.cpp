#include "lockkeys/set_lock_key.h"

#include "base/guard.h"
#include "platform/keyboard.h"

namespace tovi {

void SetLockKey(platform::Keyboard& keyboard, std::int16_t intVirtualKey, bool blnWanted) {
    // Both queries are made on every call, before the key is even checked:
    // the family can change under a compatibility shim and the state under
    // the user's fingers, so nothing is remembered between ticks.
    std::uint32_t dwPlatformId = 0;  // stays 0 when the version query fails
    step([&] { dwPlatformId = keyboard.platformId(); });

    platform::KeyboardState state{};  // all keys read as off when the read fails
    step([&] {
        // Read into a scratch array so that a read that fails half-way
        // cannot leave a partly filled state behind.
        platform::KeyboardState fresh{};
        keyboard.getKeyboardState(fresh);
        state = fresh;
    });

    if (intVirtualKey < 0 || intVirtualKey > 255) return;
    const auto key = static_cast<std::uint8_t>(intVirtualKey);

    // Only the toggle bit says whether the light is on. Bit 7 is set while the
    // user holds the key down; judging the whole byte would toggle a held key
    // on every tick and fight the user's own press.
    const bool on = (state[key] & 1) != 0;
    if (on == blnWanted) return;

    switch (dwPlatformId) {
    case platform::kVerPlatformWin32Windows:
        // Flip the toggle bit alone: inverting the whole byte would also mark
        // the key as held down for every other program.
        state[key] ^= 1;
        step([&] { keyboard.setKeyboardState(state); });
        break;
    case platform::kVerPlatformWin32Nt:
        // The release is sent even when the press failed, so that a key is
        // never left looking held down.
        step([&] { keyboard.keybdEvent(key, kLockKeyScanCode, platform::kKeyEventExtendedKey, 0); });
        step([&] {
            keyboard.keybdEvent(key, kLockKeyScanCode, platform::kKeyEventExtendedKey | platform::kKeyEventKeyUp, 0);
        });
        break;
    default:
        // An unknown family, or a failed query: leave the key alone.
        break;
    }
}

}  // namespace tovi
