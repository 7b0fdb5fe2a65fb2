// The keyboard's lock keys, in the terms of the Windows keyboard API.
//
// The state is the 256-byte array of GetKeyboardState: one byte per virtual
// key, bit 0 the toggle (lock on, light on), bit 7 the key held down.
// keybdEvent injects one synthetic key event, like keybd_event.
// Every operation throws tovi::Error when it cannot be carried out.
//
// Called on the window's thread only.
#pragma once

#include <array>
#include <cstdint>

namespace tovi::platform {

using KeyboardState = std::array<std::uint8_t, 256>;

inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

inline constexpr std::uint32_t kKeyEventExtendedKey = 1;
inline constexpr std::uint32_t kKeyEventKeyUp = 2;

class Keyboard {
public:
    virtual ~Keyboard() = default;

    // dwPlatformId of the running system's version record.
    virtual std::uint32_t platformId() = 0;
    virtual void getKeyboardState(KeyboardState& state) = 0;
    virtual void setKeyboardState(const KeyboardState& state) = 0;
    virtual void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                            std::uint32_t extraInfo) = 0;
};

}  // namespace tovi::platform
