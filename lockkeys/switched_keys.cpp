#include "lockkeys/switched_keys.h"

#include <utility>

#include "base/guard.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"

namespace tovi {

namespace {

bool isLockKey(std::uint8_t virtualKey) {
    return virtualKey == kVkCapital || virtualKey == kVkNumLock || virtualKey == kVkScroll;
}

}  // namespace

void SwitchedKeys::getKeyboardState(platform::KeyboardState& state) {
    lastRead_.reset();
    keyboard_.getKeyboardState(state);
    lastRead_ = state;
}

void SwitchedKeys::record(std::uint8_t virtualKey) {
    if (!isLockKey(virtualKey) || before_.count(virtualKey) != 0 || !lastRead_) return;
    before_.emplace(virtualKey, ((*lastRead_)[virtualKey] & 1) != 0);
}

void SwitchedKeys::setKeyboardState(const platform::KeyboardState& state) {
    // Recorded before the write: a write that fails half-way may still have
    // switched the key.
    if (lastRead_) {
        for (const std::int16_t key : {kVkCapital, kVkNumLock, kVkScroll}) {
            const auto vk = static_cast<std::uint8_t>(key);
            if (((state[vk] ^ (*lastRead_)[vk]) & 1) != 0) record(vk);
        }
    }
    keyboard_.setKeyboardState(state);
}

void SwitchedKeys::keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                              std::uint32_t extraInfo) {
    // The press starts the switch; its release belongs to the same one.
    if ((flags & platform::kKeyEventKeyUp) == 0) record(virtualKey);
    keyboard_.keybdEvent(virtualKey, scanCode, flags, extraInfo);
}

void SwitchedKeys::giveBack() {
    const std::map<std::uint8_t, bool> wanted = std::exchange(before_, {});
    if (wanted.empty()) return;
    // A keyboard that cannot even be read (its display is gone) is left
    // alone: a switch sent blind could only make things worse.
    platform::KeyboardState now{};
    if (!step([&] { keyboard_.getKeyboardState(now); })) return;
    for (const auto& key : wanted) {
        step([&] { SetLockKey(keyboard_, key.first, key.second); });
    }
}

}  // namespace tovi
