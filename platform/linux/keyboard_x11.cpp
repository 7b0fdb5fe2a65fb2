#include "platform/linux/keyboard_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>
#include <xcb/xtest.h>

#include <array>
#include <bitset>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"

namespace tovi::platform {
namespace {

// In the order of the selectors.
struct Lock {
    KeySym keysym;
    const char* indicator;  // XKB indicator name
};

constexpr std::array<Lock, 3> kLocks{{
    {XK_Caps_Lock, "Caps Lock"},
    {XK_Num_Lock, "Num Lock"},
    {XK_Scroll_Lock, "Scroll Lock"},
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
        if (code_ != 0)
            throw Error(std::string(what) + " refused by the X server (error " + std::to_string(code_) + ")");
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
        // Indicator maps are not followed: what drives a light does not
        // change its number or its name, and its state comes as an event.
        const unsigned long events =
            XkbIndicatorStateNotifyMask | XkbNamesNotifyMask | XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display_, XkbUseCoreKbd, events, events);
        readIndicators();
    }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Takes in the indicator changes the server has sent so far. Costs one
    // poll of the socket when nothing came, never a round trip: this runs
    // twice a tick. `readable`: what a poll made just before found, when
    // the caller has one (it saves a second).
    void catchUp(std::optional<bool> readable = std::nullopt) {
        settle();
        takeInEvents(readable);
    }

    // The events alone: leaves an unconfirmed key press as it is.
    void takeInEvents(std::optional<bool> readable = std::nullopt) {
        // A round trip of ours may have read events off the socket into
        // Xlib's own queue, where a poll of the socket cannot see them.
        if (!roundTripSinceCatchUp_ && XEventsQueued(display_, QueuedAlready) == 0 &&
            !(readable ? *readable : socketReadable()))
            return;
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
            case XkbNamesNotify:
                // The server sends this for every named indicator set, ours
                // included, even when no name changed.
                if ((xkb.names.changed & XkbIndicatorNamesMask) != 0) namesChanged_ = true;
                break;
            case XkbNewKeyboardNotify:
                keyboardChanged_ = true;
                boundKnown_ = false;
                break;
            default:
                break;
            }
        }
        if (keyboardChanged_) {
            readIndicators();
        } else if (namesChanged_) {
            readNames();
        }
    }

    // The server has closed the connection (it ended or was killed). Told
    // by the socket alone: any Xlib call on a dead connection runs Xlib's
    // fatal-error handler, which ends the process, and the program's end
    // may already be under way.
    // The same poll tells whether the server has sent anything
    // (readableAtCheck).
    bool hungUp() {
        pollfd socket{ConnectionNumber(display_), POLLIN | POLLRDHUP, 0};
        const int ready = ::poll(&socket, 1, 0);
        readableAtCheck_ = ready != 0;  // errors too: Xlib reports them
        return ready > 0 && (socket.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0;
    }
    bool readableAtCheck() const { return readableAtCheck_; }

    bool lit(std::size_t lock) const { return indexes_[lock] >= 0 && ((indicatorState_ >> indexes_[lock]) & 1u) != 0; }

    void keyEvent(std::size_t lock, bool press) {
        const KeyCode keycode = XKeysymToKeycode(display_, kLocks[lock].keysym);
        if (keycode != 0 && modifierBound(keycode)) {
            fakeKey(keycode, press);
            return;
        }
        // An unbound key changes nothing when pressed; its release stands
        // for the whole keystroke and flips the light itself.
        if (press) return;
        catchUp();
        if (indexes_[lock] < 0)
            throw Error(std::string("the keymap has no \"") + kLocks[lock].indicator + "\" indicator");
        ErrorTrap trap;
        roundTripSinceCatchUp_ = true;
        if (!XkbSetNamedIndicator(display_, atoms_[lock], True, lit(lock) ? False : True, False, nullptr)) {
            throw Error("XKB refused to set an indicator");
        }
        trap.sync(display_, "XKB indicator change");
    }

private:
    // Synthetic key events go out on the connection's XCB side as checked
    // requests, whose errors wait there for us instead of reaching Xlib's
    // process-wide handler. So a press can be sent and left unconfirmed: the
    // release that follows it waits once for both, and a changed light costs
    // one round trip rather than two. A press that no release follows is
    // confirmed by the next call.
    void fakeKey(KeyCode keycode, bool press) {
        xcb_connection_t* xcb = XGetXCBConnection(display_);
        if (press) settle();
        const xcb_void_cookie_t sent = xcb_test_fake_input_checked(xcb, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                                                                   keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        if (press) {
            unconfirmed_ = sent;
            xcb_flush(xcb);
            return;
        }
        // Once the release is handled, so is the press before it: its
        // verdict is then read without waiting.
        int code = refusal(sent);
        if (unconfirmed_) {
            const int pressCode = refusal(*std::exchange(unconfirmed_, std::nullopt));
            if (code == 0) code = pressCode;
        }
        if (code != 0) throw Error("XTest key event refused by the X server (error " + std::to_string(code) + ")");
    }

    void settle() {
        if (!unconfirmed_) return;
        const int code = refusal(*std::exchange(unconfirmed_, std::nullopt));
        if (code != 0) throw Error("XTest key press refused by the X server (error " + std::to_string(code) + ")");
    }

    // Waits until the server has handled the request; its error code, 0 for none.
    int refusal(xcb_void_cookie_t request) {
        // Replies read meanwhile may have brought events into the queues.
        roundTripSinceCatchUp_ = true;
        xcb_generic_error_t* error = xcb_request_check(XGetXCBConnection(display_), request);
        if (error == nullptr) return 0;
        const int code = error->error_code;
        std::free(error);
        return code;
    }

    void readIndicators() {
        keyboardChanged_ = false;
        readNames();
        unsigned int state = 0;
        if (XkbGetIndicatorState(display_, XkbUseCoreKbd, &state) != Success)
            throw Error("cannot read the X indicators");
        indicatorState_ = state;
    }

    // The number of each lock's indicator, from all the indicator names in
    // one request.
    void readNames() {
        namesChanged_ = false;
        roundTripSinceCatchUp_ = true;
        struct FreeKeyboard {
            void operator()(XkbDescPtr keyboard) const { XkbFreeKeyboard(keyboard, 0, True); }
        };
        const std::unique_ptr<XkbDescRec, FreeKeyboard> keyboard(XkbAllocKeyboard());
        if (!keyboard) throw Error("out of memory for the X keyboard names");
        keyboard->device_spec = XkbUseCoreKbd;
        if (XkbGetNames(display_, XkbIndicatorNamesMask, keyboard.get()) != Success || keyboard->names == nullptr) {
            throw Error("cannot read the X indicator names");
        }
        for (std::size_t i = 0; i < kLocks.size(); ++i) {
            indexes_[i] = -1;
            for (int n = 0; n < XkbNumIndicators; ++n) {
                if (keyboard->names->indicators[n] == atoms_[i]) indexes_[i] = n;
            }
        }
    }

    bool socketReadable() const {
        pollfd socket{ConnectionNumber(display_), POLLIN, 0};
        return ::poll(&socket, 1, 0) != 0;  // errors too: Xlib reports them
    }

    // Whether any modifier is bound to the key. The modifier map is read once
    // and kept until the server announces a new one: reading it is a round
    // trip, and every lit or darkened light needs this twice.
    bool modifierBound(KeyCode keycode) {
        takeInEvents();
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
    bool keyboardChanged_ = false;              // a new keyboard: numbers, names and state to read again
    bool namesChanged_ = false;                 // indicator names to read again
    bool roundTripSinceCatchUp_ = true;
    bool readableAtCheck_ = true;  // the socket at the last hang-up check
    std::optional<xcb_void_cookie_t> unconfirmed_;  // a key press sent, its verdict not yet read
    std::bitset<256> bound_;                        // key codes some modifier is bound to
    bool boundKnown_ = false;                       // bound_ is the server's current modifier map
};

X11Keyboard::X11Keyboard(std::string displayName, std::chrono::milliseconds retryAfter)
    : displayName_(std::move(displayName)), retryAfter_(retryAfter) {}

X11Keyboard::~X11Keyboard() = default;

X11Keyboard::Connection& X11Keyboard::connection() {
    if (connection_ && connection_->hungUp()) {
        // Never opened again: a display that went is the session's end. Nor
        // closed: XCloseDisplay would talk to the dead server. It stays
        // reachable, so that it counts as kept rather than lost.
        gone_ = true;
        static auto* const abandoned = new std::vector<std::unique_ptr<Connection>>;
        abandoned->push_back(std::move(connection_));
    }
    if (gone_) throw Error("the X display has gone");
    if (connection_) return *connection_;
    // Every operation needs the connection, several times a tick: a display
    // without XKB or XTest would otherwise be opened and closed on each.
    const auto now = std::chrono::steady_clock::now();
    if (failedAt_ && now - *failedAt_ < retryAfter_) throw Error(failure_);
    try {
        connection_ = std::make_unique<Connection>(displayName_);
    } catch (const Error& e) {
        failedAt_ = now;
        failure_ = e.what();
        throw;
    }
    failedAt_.reset();
    return *connection_;
}

// Asked before every state read, which checks the connection itself: once
// connected, no poll of the socket here.
std::uint32_t X11Keyboard::platformId() {
    if (!connection_ || gone_) connection();
    return LockKeyboard::platformId();
}

// The connection's hang-up check has just polled the socket: that poll
// tells catchUp whether events wait.
void X11Keyboard::catchUp() {
    Connection& open = connection();
    open.catchUp(open.readableAtCheck());
}

// Only ever asked right after catchUp, which has just checked the connection:
// one check per state read rather than four.
bool X11Keyboard::lit(LockKeyIndex lock) {
    if (!connection_) throw Error("no X display");
    return connection_->lit(static_cast<std::size_t>(lock));
}

void X11Keyboard::keyEvent(LockKeyIndex lock, bool down) { connection().keyEvent(static_cast<std::size_t>(lock), down); }

}  // namespace tovi::platform
