// Asks a top-level window to close, as a window manager's close button does:
// a WM_DELETE_WINDOW client message, so the program runs its own close path.
//
//   tovi_close_window "Window title"
//
// Exits 0 when the message was sent, 1 when no such window exists.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

namespace {

Window findByName(Display* display, Window root, const char* title) {
    Window parent = 0, rootReturn = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (std::strcmp(name, title) == 0) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tovi_close_window TITLE\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "tovi_close_window: no X display\n");
        return 2;
    }
    const Window window = findByName(display, DefaultRootWindow(display), argv[1]);
    if (!window) {
        XCloseDisplay(display);
        return 1;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
