#include "platform/linux/lock_keyboard.h"

#include <string>

#include "base/error.h"

namespace tovi::platform {

namespace {

std::size_t byteOf(LockKeyIndex lock) { return static_cast<std::size_t>(virtualKeyOf(lock)); }

}  // namespace

void LockKeyboard::getKeyboardState(KeyboardState& state) {
    catchUp();
    state.fill(0);
    for (LockKeyIndex lock = 0; lock < kLockKeyCount; ++lock) {
        if (lit(lock)) state[byteOf(lock)] = 1;
    }
}

void LockKeyboard::setKeyboardState(const KeyboardState& state) {
    catchUp();
    for (LockKeyIndex lock = 0; lock < kLockKeyCount; ++lock) {
        const bool wanted = (state[byteOf(lock)] & 1) != 0;
        if (wanted == lit(lock)) continue;
        keyEvent(lock, true);
        keyEvent(lock, false);
    }
}

void LockKeyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags, std::uint32_t) {
    for (LockKeyIndex lock = 0; lock < kLockKeyCount; ++lock) {
        if (byteOf(lock) != virtualKey) continue;
        keyEvent(lock, (flags & kKeyEventKeyUp) == 0);
        return;
    }
    throw Error("no lock key has virtual-key code " + std::to_string(virtualKey));
}

}  // namespace tovi::platform
