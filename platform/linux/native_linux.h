// The Linux start beyond the seam's native(): the platform of tovi
// --no-window, and what the start found out about the keyboard.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tovi::platform {

// No window, no tray, no display: the headless toolkit, the absent
// notification area, and the settings file read but never written. Created
// on first call; lives until the process ends. Never combined with native().
Platform& nativeWithoutWindow();

// Why the lock keys cannot be switched, or empty; valid once native() or
// nativeWithoutWindow() has run. Already written to stderr; the window build
// shows it once more in a message box.
const std::string& keyboardNotice();

}  // namespace tovi::platform
