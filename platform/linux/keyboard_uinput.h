// The lock keys of the whole seat through a virtual keyboard made with the
// kernel's uinput device, behind the Windows-style keyboard seam.
//
// Reaches what X11's XTest cannot: the bare console and Wayland compositors,
// which treat the device like a real keyboard and echo the seat's lock
// state back to it as LED events.
//
// One thread only (the window's, or the headless loop's).
#pragma once

#include <memory>
#include <string>

#include "platform/keyboard.h"

namespace tovi::platform {

// Creates the virtual keyboard. Returns null and sets whyNot to a sentence a
// user can act on when /dev/uinput cannot be opened (no access, no module).
std::unique_ptr<Keyboard> openUinputKeyboard(std::string& whyNot);

}  // namespace tovi::platform
