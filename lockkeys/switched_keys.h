// SwitchedKeys: remembers, for each lock key Tovi switches, the state it had
// before Tovi first switched it, so that the keys can be given back when the
// program ends.
//
// It stands between the tick and the platform keyboard: every call passes
// through unchanged and in order, so the tick sees the keyboard as before.
// The state a call reads is kept; the first synthetic press of a lock key
// (or the first state write that flips its toggle) records that key's toggle
// as it was read just before. Only Caps Lock, Num Lock and Scroll Lock are
// recorded; a key whose state was never read is not.
//
// giveBack() drives each recorded key to its recorded state through the
// platform keyboard itself and forgets the record; where the keyboard can no
// longer be read (the display has gone) it attempts nothing. Keys Tovi never
// switched are left as they are, whatever happened to them meanwhile.
//
// Owns nothing but the record; the keyboard is the caller's and must outlive
// it. Window thread only, like the keyboard.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "platform/keyboard.h"

namespace tovi {

class SwitchedKeys final : public platform::Keyboard {
public:
    explicit SwitchedKeys(platform::Keyboard& keyboard) : keyboard_(keyboard) {}

    std::uint32_t platformId() override { return keyboard_.platformId(); }
    void getKeyboardState(platform::KeyboardState& state) override;
    void setKeyboardState(const platform::KeyboardState& state) override;
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;

    // Each recorded key back to its recorded state, then the record is empty.
    void giveBack();

    // Recorded keys: virtual-key code to toggle state before the first switch.
    const std::map<std::uint8_t, bool>& recorded() const { return before_; }

private:
    void record(std::uint8_t virtualKey);

    platform::Keyboard& keyboard_;
    std::optional<platform::KeyboardState> lastRead_;  // what the latest read gave; empty after a failed one
    std::map<std::uint8_t, bool> before_;
};

}  // namespace tovi
