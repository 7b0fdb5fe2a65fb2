// The Windows keyboard behind the keyboard seam: the version query and the
// three user32 keyboard calls, each made directly.
//
// The platform id comes from GetVersionExA with the 148-byte ANSI version
// record. Reading the state first calls GetKeyState(0): a thread's view of
// the keys follows only the keyboard messages it takes from its own queue,
// and a program that lives in the notification area is almost never in the
// foreground, so without that its view of the locks goes stale and the
// lights flicker. A call the system refuses throws tovi::Error; keybd_event
// reports nothing, so it never throws.
//
// Holds no state and no handles. The keyboard state is per thread: use it on
// the window's thread.
#pragma once

#include "platform/keyboard.h"

namespace tovi::platform {

class Win32Keyboard : public Keyboard {
public:
    std::uint32_t platformId() override;
    void getKeyboardState(KeyboardState& state) override;
    void setKeyboardState(const KeyboardState& state) override;
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;
};

}  // namespace tovi::platform
