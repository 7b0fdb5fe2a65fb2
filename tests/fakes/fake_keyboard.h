// In-process keyboard for tests: a scripted platform id and keyboard state,
// a log of every call in order, and any call made to fail on demand.
//
// By default it behaves like a keyboard would: a synthetic key-up toggles bit
// 0 of the key's byte, and a state write replaces the whole state, so a test
// can look at `state` to see the lights. Single-threaded, like the window.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/keyboard.h"

namespace tovi::fakes {

class FakeKeyboard : public platform::Keyboard {
public:
    enum class Op { PlatformId, GetKeyboardState, SetKeyboardState, KeybdEvent };

    struct Call {
        Op op;
        // KeybdEvent only.
        std::uint8_t virtualKey = 0;
        std::uint8_t scanCode = 0;
        std::uint32_t flags = 0;
        std::uint32_t extraInfo = 0;
        // SetKeyboardState only: the array handed over.
        platform::KeyboardState written{};

        bool operator==(const Call&) const = default;
    };

    std::uint32_t platformId() override;
    void getKeyboardState(platform::KeyboardState& out) override;
    void setKeyboardState(const platform::KeyboardState& in) override;
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;

    // Scripted system.
    std::uint32_t platform = platform::kVerPlatformWin32Nt;
    platform::KeyboardState state{};

    // Failures: each flag makes every call of that kind throw tovi::Error.
    bool failPlatformId = false;
    bool failGetKeyboardState = false;
    bool failSetKeyboardState = false;
    bool failKeyDown = false;  // keybdEvent without the key-up flag
    bool failKeyUp = false;    // keybdEvent with the key-up flag
    // A failing state read first scribbles over the caller's array, as a
    // platform call that dies half-way might; a key-up flips bit 0.

    std::vector<Call> calls;

    // The calls after the first n, for tests that care about what follows the queries.
    std::vector<Call> callsAfter(std::size_t n) const;
    std::size_t count(Op op) const;
    bool lit(std::uint8_t virtualKey) const { return (state[virtualKey] & 1) != 0; }
    void setLit(std::uint8_t virtualKey, bool on);
};

// Readable form of a call for failure messages.
std::string describe(const FakeKeyboard::Call& call);
inline void PrintTo(const FakeKeyboard::Call& call, std::ostream* out) { *out << describe(call); }

// Shorthands for expected call lists.
FakeKeyboard::Call keyEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                            std::uint32_t extraInfo = 0);
FakeKeyboard::Call stateWrite(const platform::KeyboardState& written);

}  // namespace tovi::fakes
