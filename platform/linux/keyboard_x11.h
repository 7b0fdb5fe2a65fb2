// The lock keys of the X server, behind the Windows-style keyboard seam.
//
// The system reports itself as the NT family (platform id 2). The keyboard
// state has bit 0 of bytes 20, 144 and 145 set from the XKB indicators "Caps
// Lock", "Num Lock" and "Scroll Lock"; every other byte is 0. A synthetic
// press or release of 20, 144 or 145 becomes an XTest press or release of the
// Caps_Lock, Num_Lock or Scroll_Lock keycode, so the lock changes for every
// X client. Where no modifier is bound to that key (Scroll Lock on most
// keymaps, where a press changes nothing) the release toggles the named
// indicator through XKB instead, so the light still follows. Writing the
// keyboard state applies the differences in those three toggle bits by the
// same means; its other bits and bytes have no X counterpart and are
// ignored. An event for any other key is refused.
//
// The display ($DISPLAY, or the name given) is opened on first use and kept
// until the object dies. Without a display every operation throws
// tovi::Error; so does every operation once the server has closed the
// connection (checked on the socket before each, so that no Xlib call meets
// a dead connection, whose handler would end the process): the display is
// then never opened again. A failed open (no display, or one without XKB or XTest) is
// remembered: until retryAfter has passed, every operation throws the same
// tovi::Error without trying again; the next call after that tries again.
// Indicator changes, and the indicator names and modifier map the choices
// above depend on, are followed through events, so reading the state costs
// no round trip to the server. A key press is sent unconfirmed and the
// release after it waits for both; a release and an indicator change are
// synced before the call returns, so other clients see the new light at
// once. A press that no release follows is confirmed, and its refusal
// thrown, by the next call.
//
// One thread only (the window's); the object owns its own X connection.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/keyboard.h"

namespace tovi::platform {

class X11Keyboard : public Keyboard {
public:
    // displayName empty: $DISPLAY.
    explicit X11Keyboard(std::string displayName = {}, std::chrono::milliseconds retryAfter = std::chrono::seconds(5));
    ~X11Keyboard() override;
    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    std::uint32_t platformId() override;
    void getKeyboardState(KeyboardState& state) override;
    void setKeyboardState(const KeyboardState& state) override;
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;

private:
    class Connection;
    Connection& connection();

    std::string displayName_;
    std::chrono::milliseconds retryAfter_;  // from a failed open to the next try
    std::unique_ptr<Connection> connection_;
    std::optional<std::chrono::steady_clock::time_point> failedAt_;  // the last failed open
    std::string failure_;                                            // what it said
    bool gone_ = false;                                              // the server closed the connection
};

}  // namespace tovi::platform
