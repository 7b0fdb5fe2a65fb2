// What the Linux keyboards share behind the Windows-style seam. The system
// reports itself as the NT family (platform id 2). The keyboard state has bit
// 0 of the lock keys' bytes (20, 144, 145) set while the key's light is on;
// every other byte is 0. A synthetic press or release of one of those codes
// becomes a press or release of that key; an event for any other key is
// refused. Writing the state toggles each lock key whose bit differs from its
// light; the state's other bits and bytes are ignored.
//
// A backend gives the three steps below, by the keys' selectors
// (lockkeys/lock_key_index.h). Threading is the backend's.
#pragma once

#include "lockkeys/lock_key_index.h"
#include "platform/keyboard.h"

namespace tovi::platform {

class LockKeyboard : public Keyboard {
public:
    std::uint32_t platformId() override { return kVerPlatformWin32Nt; }
    void getKeyboardState(KeyboardState& state) override;
    void setKeyboardState(const KeyboardState& state) override;
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;

protected:
    // Takes in the changes of the lights since the last call.
    virtual void catchUp() = 0;
    // As the last catchUp left it; only ever called right after one.
    virtual bool lit(LockKeyIndex lock) = 0;
    virtual void keyEvent(LockKeyIndex lock, bool down) = 0;
};

}  // namespace tovi::platform
