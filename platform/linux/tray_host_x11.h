// The X11 answer to "does a tray host run?", handed to the Qt tray
// (QtNotificationArea::setHostProbe). Asked of the X server each time rather
// than of Qt, which may keep a stale answer about a host that came or went.
// A round trip to the server per call; window thread only.
#pragma once

#include <optional>

namespace tovi::platform {

// Whether the screen's system tray selection has an owner; nullopt when the
// Qt application does not run on X11 (no answer here).
std::optional<bool> x11TrayHostRuns();

}  // namespace tovi::platform
