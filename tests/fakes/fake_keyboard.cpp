#include "fakes/fake_keyboard.h"

#include <algorithm>

#include "base/error.h"

namespace tovi::fakes {

std::uint32_t FakeKeyboard::platformId() {
    calls.push_back({Op::PlatformId});
    if (failPlatformId) throw Error("version query failed");
    return platform;
}

void FakeKeyboard::getKeyboardState(platform::KeyboardState& out) {
    calls.push_back({Op::GetKeyboardState});
    if (failGetKeyboardState) {
        out.fill(0xA5);
        throw Error("keyboard state read failed");
    }
    out = state;
}

void FakeKeyboard::setKeyboardState(const platform::KeyboardState& in) {
    Call call{Op::SetKeyboardState};
    call.written = in;
    calls.push_back(call);
    if (failSetKeyboardState) throw Error("keyboard state write failed");
    state = in;
}

void FakeKeyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                              std::uint32_t extraInfo) {
    calls.push_back(keyEvent(virtualKey, scanCode, flags, extraInfo));
    const bool keyUp = (flags & platform::kKeyEventKeyUp) != 0;
    if (keyUp ? failKeyUp : failKeyDown) throw Error("key event refused");
    if (keyUp) state[virtualKey] ^= 1;
}

std::vector<FakeKeyboard::Call> FakeKeyboard::callsAfter(std::size_t n) const {
    if (n >= calls.size()) return {};
    return {calls.begin() + static_cast<std::ptrdiff_t>(n), calls.end()};
}

std::size_t FakeKeyboard::count(Op op) const {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [op](const Call& c) { return c.op == op; }));
}

void FakeKeyboard::setLit(std::uint8_t virtualKey, bool on) {
    state[virtualKey] = static_cast<std::uint8_t>((state[virtualKey] & ~1u) | (on ? 1u : 0u));
}

std::string describe(const FakeKeyboard::Call& call) {
    switch (call.op) {
    case FakeKeyboard::Op::PlatformId:
        return "platformId()";
    case FakeKeyboard::Op::GetKeyboardState:
        return "getKeyboardState()";
    case FakeKeyboard::Op::SetKeyboardState: {
        std::string text = "setKeyboardState(";
        for (std::size_t i = 0; i < call.written.size(); ++i) {
            if (call.written[i] == 0) continue;
            text += "[" + std::to_string(i) + "]=" + std::to_string(call.written[i]) + " ";
        }
        return text + ")";
    }
    case FakeKeyboard::Op::KeybdEvent:
        return "keybdEvent(" + std::to_string(call.virtualKey) + ", " + std::to_string(call.scanCode) + ", " +
               std::to_string(call.flags) + ", " + std::to_string(call.extraInfo) + ")";
    }
    return "?";
}

FakeKeyboard::Call keyEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                            std::uint32_t extraInfo) {
    FakeKeyboard::Call call{FakeKeyboard::Op::KeybdEvent};
    call.virtualKey = virtualKey;
    call.scanCode = scanCode;
    call.flags = flags;
    call.extraInfo = extraInfo;
    return call;
}

FakeKeyboard::Call stateWrite(const platform::KeyboardState& written) {
    FakeKeyboard::Call call{FakeKeyboard::Op::SetKeyboardState};
    call.written = written;
    return call;
}

}  // namespace tovi::fakes
