// Which keyboard backend drives the lock keys, chosen once at start.
//
// An X11 session keeps XTest and XKB: there they change the lock state every
// X client sees. A Wayland compositor or the bare console only listens to
// keyboards the kernel knows, so everywhere else a uinput keyboard is made.
// TOVI_KEYBOARD=x11 or TOVI_KEYBOARD=uinput overrides the choice; any other
// non-empty value is reported and the automatic choice stands, so that a
// typo in a service file costs a line on stderr, not the lights.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/keyboard.h"

namespace tovi::platform {

enum class KeyboardBackend { X11, Uinput };

struct KeyboardChoice {
    KeyboardBackend backend;
    std::string note;  // a sentence for the user when TOVI_KEYBOARD was not understood; else empty
};

// Reads the environment through getenv (nullptr for an unset variable); an
// empty value counts as unset.
// X11: TOVI_KEYBOARD=x11; or, without an override, XDG_SESSION_TYPE=x11, or
// DISPLAY set while WAYLAND_DISPLAY is not. Uinput: everything else.
KeyboardChoice chooseKeyboard(const std::function<const char*(const char*)>& getenv);

// The keyboard the process environment chooses. When the uinput keyboard
// cannot be made, notice becomes a plain explanation with the fix, and the
// keyboard returned refuses every call (tovi::Error), so that the tick skips
// the lock keys and leaves the lights alone while everything else runs.
// Otherwise notice is empty. Whatever goes to notice or a choice's note is
// also written to stderr, once, here.
std::unique_ptr<Keyboard> openChosenKeyboard(std::string& notice);

}  // namespace tovi::platform
