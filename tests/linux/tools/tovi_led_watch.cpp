// Watches the X server's lock-key lights for the end-to-end tests: an
// independent reader that shares no code with the keyboard backend.
//
//   tovi_led_watch
//
// Prints one line at start and one at every change: the CLOCK_MONOTONIC
// nanoseconds at which it learned of the change, the X server's own time of
// the change in milliseconds (0 on the first line), and the lights as the
// mask `xset q` shows (1 Caps Lock, 2 Num Lock, 4 Scroll Lock). The server
// keeps its time on the monotonic clock too, so the second column does not
// depend on how soon this program got to run. Runs until it is killed;
// every line is flushed at once.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <time.h>

#include <cstdio>

namespace {

long long nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

int main() {
    int eventBase = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
    Display* display = XkbOpenDisplay(nullptr, &eventBase, &errorBase, &major, &minor, &reason);
    if (display == nullptr) {
        std::fprintf(stderr, "tovi_led_watch: cannot open the X display with XKB\n");
        return 1;
    }
    const char* names[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    int indexes[3];
    for (int i = 0; i < 3; ++i) {
        Bool on = False;
        if (!XkbGetNamedIndicator(display, XInternAtom(display, names[i], False), &indexes[i], &on, nullptr, nullptr))
            indexes[i] = -1;
    }
    const auto mask = [&](unsigned state) {
        unsigned result = 0;
        for (int i = 0; i < 3; ++i)
            if (indexes[i] >= 0 && ((state >> indexes[i]) & 1u) != 0) result |= 1u << i;
        return result;
    };

    XkbSelectEvents(display, XkbUseCoreKbd, XkbIndicatorStateNotifyMask, XkbIndicatorStateNotifyMask);
    unsigned state = 0;
    XkbGetIndicatorState(display, XkbUseCoreKbd, &state);
    unsigned shown = mask(state);
    std::printf("%lld 0 %u\n", nowNs(), shown);
    std::fflush(stdout);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != eventBase) continue;
        const auto& xkb = *reinterpret_cast<const XkbEvent*>(&event);
        if (xkb.any.xkb_type != XkbIndicatorStateNotify) continue;
        const unsigned now = mask(xkb.indicators.state);
        if (now == shown) continue;
        shown = now;
        std::printf("%lld %lu %u\n", nowNs(), static_cast<unsigned long>(xkb.indicators.time), shown);
        std::fflush(stdout);
    }
}
