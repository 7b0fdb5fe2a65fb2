#include "platform/linux/tray_host_x11.h"

#include <QGuiApplication>
#include <xcb/xcb.h>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>

namespace tovi::platform {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

}  // namespace

// An X11 tray host owns the screen's system tray selection.
std::optional<bool> x11TrayHostRuns() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    if (!connection || xcb_connection_has_error(connection)) return false;
    const int screen = x11->display() ? XDefaultScreen(x11->display()) : 0;
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, FreeReply> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace tovi::platform
