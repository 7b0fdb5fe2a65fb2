// Which keyboard backend drives the lock keys, chosen once at start.
//
// An X11 session keeps XTest and XKB: there they change the lock state every
// X client sees. A Wayland compositor or the bare console only listens to
// keyboards the kernel knows, so everywhere else the keys go through a
// uinput keyboard: the lock-key service's when its socket is there (an
// ordinary user may not make one), else one of our own where /dev/uinput is
// writable (root, as the console's system service).
// TOVI_KEYBOARD=x11, =service or =uinput overrides the choice; any other
// non-empty value is reported and the automatic choice stands, so that a
// typo in a service file costs a line on stderr, not the lights.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/keyboard.h"

namespace tovi::platform {

// ServiceOrUinput: the service if its socket is there, else our own device.
enum class KeyboardBackend { X11, Service, Uinput, ServiceOrUinput };

struct KeyboardChoice {
    KeyboardBackend backend;
    std::string note;  // a sentence for the user when TOVI_KEYBOARD was not understood; else empty
};

// Reads the environment through getenv (nullptr for an unset variable); an
// empty value counts as unset.
// X11: TOVI_KEYBOARD=x11; or, without an override, XDG_SESSION_TYPE=x11, or
// DISPLAY set while WAYLAND_DISPLAY is not. ServiceOrUinput: everything else.
KeyboardChoice chooseKeyboard(const std::function<const char*(const char*)>& getenv);

// What the system offers outside X11, as found at start.
struct KeyboardReach {
    bool socket;       // the lock-key service's socket exists
    bool socketUnit;   // its socket unit is installed (the package is)
    bool uinput;       // /dev/uinput exists
    bool root;         // we run as root
};

// What the user can do about a keyboard that could not be made: start the
// service's socket, install the package, load the module. Empty when there
// is nothing to add to the cause.
std::string keyboardFix(KeyboardBackend backend, const KeyboardReach& reach);

// The keyboard the process environment chooses. When no keyboard can be
// made, notice becomes a plain explanation with the fix, one line, and the
// keyboard returned refuses every call (tovi::Error), so that the tick skips
// the lock keys and leaves the lights alone while everything else runs.
// Otherwise notice is empty. Whatever goes to notice or a choice's note is
// also written to stderr, once, here.
std::unique_ptr<Keyboard> openChosenKeyboard(std::string& notice);

}  // namespace tovi::platform
