#include "platform/linux/keyboard_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

#include <array>
#include <bitset>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/error.h"

namespace tovi::platform {
namespace {

struct Lock {
    std::uint8_t virtualKey;
    KeySym keysym;
    const char* indicator;  // XKB indicator name
};

constexpr std::array<Lock, 3> kLocks{{
    {20, XK_Caps_Lock, "Caps Lock"},
    {144, XK_Num_Lock, "Num Lock"},
    {145, XK_Scroll_Lock, "Scroll Lock"},
}};

// Xlib's default error handler ends the process. While a trap is alive,
// protocol errors are recorded instead, and sync() turns them into
// tovi::Error. The handler is process-wide, so a trap lives only around one
// request and its sync, on the one thread that uses X here.
class ErrorTrap {
public:
    ErrorTrap() : previous_(XSetErrorHandler(&ErrorTrap::record)) { code_ = 0; }
    ~ErrorTrap() { XSetErrorHandler(previous_); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits until the server has handled every request sent so far, so that
    // the change is visible to other clients when this returns.
    void sync(Display* display, const char* what) {
        XSync(display, False);
        if (code_ != 0) throw Error(std::string(what) + " refused by the X server (error " + std::to_string(code_) + ")");
    }

private:
    static int record(Display*, XErrorEvent* event) {
        code_ = event->error_code;
        return 0;
    }
    static inline int code_ = 0;
    XErrorHandler previous_;
};

}  // namespace

class X11Keyboard::Connection {
public:
    explicit Connection(const std::string& displayName) {
        const char* name = displayName.empty() ? nullptr : displayName.c_str();
        if (name == nullptr) {
            const char* env = std::getenv("DISPLAY");
            if (env == nullptr || *env == '\0') throw Error("no X display");
        }
        int errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
        owned_.reset(XkbOpenDisplay(name, &xkbEventBase_, &errorBase, &major, &minor, &reason));
        display_ = owned_.get();
        if (display_ == nullptr) throw Error("cannot open the X display with XKB");
        int xtestEvent = 0, xtestError = 0, xtestMajor = 0, xtestMinor = 0;
        if (!XTestQueryExtension(display_, &xtestEvent, &xtestError, &xtestMajor, &xtestMinor)) {
            throw Error("the X server has no XTest extension");
        }
        for (std::size_t i = 0; i < kLocks.size(); ++i) atoms_[i] = XInternAtom(display_, kLocks[i].indicator, False);

        // Select first, then read: a change in between arrives as an event.
        const unsigned long events = XkbIndicatorStateNotifyMask | XkbIndicatorMapNotifyMask |
                                     XkbNamesNotifyMask | XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display_, XkbUseCoreKbd, events, events);
        readIndicators();
    }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Takes in the indicator changes the server has sent so far. Costs one
    // poll of the socket when nothing came, never a round trip: this runs
    // twice a tick.
    void catchUp() {
        // A round trip of ours may have read events off the socket into
        // Xlib's own queue, where a poll of the socket cannot see them.
        if (!roundTripSinceCatchUp_ && XEventsQueued(display_, QueuedAlready) == 0 && !socketReadable()) return;
        roundTripSinceCatchUp_ = false;
        while (XEventsQueued(display_, QueuedAfterReading) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
                boundKnown_ = false;
                continue;
            }
            if (event.type != xkbEventBase_) continue;
            const auto& xkb = *reinterpret_cast<const XkbEvent*>(&event);
            switch (xkb.any.xkb_type) {
            case XkbIndicatorStateNotify:
                indicatorState_ = xkb.indicators.state;
                break;
            case XkbMapNotify:
                boundKnown_ = false;
                break;
            case XkbIndicatorMapNotify:
            case XkbNamesNotify:
            case XkbNewKeyboardNotify:
                keymapChanged_ = true;
                boundKnown_ = false;
                break;
            default:
                break;
            }
        }
        // A new keymap may number its indicators differently.
        if (keymapChanged_) readIndicators();
    }

    bool lit(std::size_t lock) const {
        return indexes_[lock] >= 0 && ((indicatorState_ >> indexes_[lock]) & 1u) != 0;
    }

    void keyEvent(std::size_t lock, bool press) {
        const KeyCode keycode = XKeysymToKeycode(display_, kLocks[lock].keysym);
        if (keycode != 0 && modifierBound(keycode)) {
            ErrorTrap trap;
            XTestFakeKeyEvent(display_, keycode, press ? True : False, CurrentTime);
            roundTripSinceCatchUp_ = true;
            trap.sync(display_, "XTest key event");
            return;
        }
        // An unbound key changes nothing when pressed; its release stands
        // for the whole keystroke and flips the light itself.
        if (press) return;
        catchUp();
        if (indexes_[lock] < 0) throw Error(std::string("the keymap has no \"") + kLocks[lock].indicator + "\" indicator");
        ErrorTrap trap;
        roundTripSinceCatchUp_ = true;
        if (!XkbSetNamedIndicator(display_, atoms_[lock], True, lit(lock) ? False : True, False, nullptr)) {
            throw Error("XKB refused to set an indicator");
        }
        trap.sync(display_, "XKB indicator change");
    }

private:
    void readIndicators() {
        keymapChanged_ = false;
        roundTripSinceCatchUp_ = true;
        for (std::size_t i = 0; i < kLocks.size(); ++i) {
            int index = -1;
            Bool on = False;
            indexes_[i] = XkbGetNamedIndicator(display_, atoms_[i], &index, &on, nullptr, nullptr) ? index : -1;
        }
        unsigned int state = 0;
        if (XkbGetIndicatorState(display_, XkbUseCoreKbd, &state) != Success) throw Error("cannot read the X indicators");
        indicatorState_ = state;
    }

    bool socketReadable() const {
        pollfd socket{ConnectionNumber(display_), POLLIN, 0};
        return ::poll(&socket, 1, 0) != 0;  // errors too: Xlib reports them
    }

    // Whether any modifier is bound to the key. The modifier map is read once
    // and kept until the server announces a new one: reading it is a round
    // trip, and every lit or darkened light needs this twice.
    bool modifierBound(KeyCode keycode) {
        catchUp();
        if (!boundKnown_) {
            bound_.reset();
            roundTripSinceCatchUp_ = true;
            XModifierKeymap* map = XGetModifierMapping(display_);
            if (map == nullptr) return false;
            for (int i = 0; i < 8 * map->max_keypermod; ++i) bound_.set(map->modifiermap[i]);
            bound_.reset(0);  // an empty place in the map, not a key
            XFreeModifiermap(map);
            boundKnown_ = true;
        }
        return bound_.test(keycode);
    }

    struct CloseDisplay {
        void operator()(Display* display) const { XCloseDisplay(display); }
    };
    std::unique_ptr<Display, CloseDisplay> owned_;
    Display* display_ = nullptr;  // owned_, for the many Xlib calls that take it
    int xkbEventBase_ = 0;
    std::array<Atom, kLocks.size()> atoms_{};
    std::array<int, kLocks.size()> indexes_{};  // indicator number of each lock; -1 when the keymap has none
    unsigned int indicatorState_ = 0;           // one bit per indicator number
    bool keymapChanged_ = false;
    bool roundTripSinceCatchUp_ = true;
    std::bitset<256> bound_;   // key codes some modifier is bound to
    bool boundKnown_ = false;  // bound_ is the server's current modifier map
};

X11Keyboard::X11Keyboard(std::string displayName) : displayName_(std::move(displayName)) {}

X11Keyboard::~X11Keyboard() = default;

X11Keyboard::Connection& X11Keyboard::connection() {
    if (!connection_) connection_ = std::make_unique<Connection>(displayName_);
    return *connection_;
}

std::uint32_t X11Keyboard::platformId() {
    connection();
    return kVerPlatformWin32Nt;
}

void X11Keyboard::getKeyboardState(KeyboardState& state) {
    Connection& x = connection();
    x.catchUp();
    state.fill(0);
    for (std::size_t i = 0; i < kLocks.size(); ++i) {
        if (x.lit(i)) state[kLocks[i].virtualKey] = 1;
    }
}

void X11Keyboard::setKeyboardState(const KeyboardState& state) {
    Connection& x = connection();
    x.catchUp();
    for (std::size_t i = 0; i < kLocks.size(); ++i) {
        const bool wanted = (state[kLocks[i].virtualKey] & 1) != 0;
        if (wanted == x.lit(i)) continue;
        x.keyEvent(i, true);
        x.keyEvent(i, false);
    }
}

void X11Keyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags, std::uint32_t) {
    Connection& x = connection();
    for (std::size_t i = 0; i < kLocks.size(); ++i) {
        if (kLocks[i].virtualKey != virtualKey) continue;
        x.keyEvent(i, (flags & kKeyEventKeyUp) == 0);
        return;
    }
    throw Error("no lock key has virtual-key code " + std::to_string(virtualKey));
}

}  // namespace tovi::platform
