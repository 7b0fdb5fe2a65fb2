#include "platform/linux/keyboard_choice.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string_view>

#include "base/error.h"
#include "lockservice/lock_protocol.h"
#include "platform/linux/keyboard_service.h"
#include "platform/linux/keyboard_uinput.h"
#include "platform/linux/keyboard_x11.h"

namespace tovi::platform {

namespace {

std::string_view value(const std::function<const char*(const char*)>& getenv, const char* name) {
    const char* text = getenv(name);
    return text ? std::string_view(text) : std::string_view();
}

// Stands in for a keyboard that could not be made: every call is refused, as
// a keyboard that lost its device would refuse it.
class RefusingKeyboard final : public Keyboard {
public:
    std::uint32_t platformId() override { refuse(); }
    void getKeyboardState(KeyboardState&) override { refuse(); }
    void setKeyboardState(const KeyboardState&) override { refuse(); }
    void keybdEvent(std::uint8_t, std::uint8_t, std::uint32_t, std::uint32_t) override { refuse(); }

private:
    [[noreturn]] static void refuse() { throw Error("no keyboard for the lock keys"); }
};

}  // namespace

KeyboardChoice chooseKeyboard(const std::function<const char*(const char*)>& getenv) {
    KeyboardChoice choice{KeyboardBackend::ServiceOrUinput, {}};
    const std::string_view forced = value(getenv, "TOVI_KEYBOARD");
    if (forced == "x11") return {KeyboardBackend::X11, {}};
    if (forced == "service") return {KeyboardBackend::Service, {}};
    if (forced == "uinput") return {KeyboardBackend::Uinput, {}};
    if (!forced.empty()) {
        choice.note = "TOVI_KEYBOARD=" + std::string(forced) +
                      " is not understood (x11, service or uinput); the keyboard is chosen as without it.";
    }
    const bool x11Session = value(getenv, "XDG_SESSION_TYPE") == "x11" ||
                            (!value(getenv, "DISPLAY").empty() && value(getenv, "WAYLAND_DISPLAY").empty());
    if (x11Session) choice.backend = KeyboardBackend::X11;
    return choice;
}

std::string keyboardFix(KeyboardBackend backend, const KeyboardReach& reach) {
    std::string fix;
    if (backend == KeyboardBackend::Uinput) {
        // Root's own device failed for the cause already given, or for want of the module.
        if (!reach.root) fix = "Only root may make Tovi's own keyboard: run tovi --no-window as root (tovi.service), or leave "
              "TOVI_KEYBOARD unset so that the lock-key service is used.";
    } else if (reach.socket) {
        fix = "The lock-key service did not answer; \"journalctl -u tovi-lock-keys.service\" says why.";
    } else if (reach.socketUnit) {
        fix = "Start the lock-key service's socket as root: \"systemctl enable --now tovi-lock-keys.socket\".";
    } else {
        fix = "Install Tovi's package: it brings the lock-key service, and nothing else is needed.";
    }
    if (!reach.uinput) {
        fix += std::string(fix.empty() ? "" : " ") +
               "This system has no /dev/uinput: load the module as root with \"modprobe uinput\".";
    }
    return fix;
}

namespace {

bool exists(const char* path) { return ::access(path, F_OK) == 0; }

KeyboardReach reachNow() {
    const bool unit = exists("/usr/lib/systemd/system/tovi-lock-keys.socket") ||
                      exists("/lib/systemd/system/tovi-lock-keys.socket") ||
                      exists("/usr/local/lib/systemd/system/tovi-lock-keys.socket") ||
                      exists("/etc/systemd/system/tovi-lock-keys.socket");
    return {exists(lockservice::kSocketPath), unit, exists("/dev/uinput"), ::geteuid() == 0};
}

// The service, then our own device, as the backend allows; null when
// neither can be had, with whyNot saying what was tried.
std::unique_ptr<Keyboard> openOutsideX11(KeyboardBackend backend, const KeyboardReach& reach, std::string& whyNot) {
    const bool service = backend == KeyboardBackend::Service ||
                         (backend == KeyboardBackend::ServiceOrUinput && reach.socket);
    if (service) {
        if (std::unique_ptr<Keyboard> keyboard = openServiceKeyboard(whyNot)) return keyboard;
    }
    // Our own device only where we may write it: a user's failure to open it
    // is no news, the service is the way.
    const bool own = backend == KeyboardBackend::Uinput ||
                     (backend == KeyboardBackend::ServiceOrUinput && ::access("/dev/uinput", W_OK) == 0);
    if (own) {
        std::string ownWhyNot;
        if (std::unique_ptr<Keyboard> keyboard = openUinputKeyboard(ownWhyNot)) return keyboard;
        whyNot += (whyNot.empty() ? "" : " ") + ownWhyNot;
    }
    if (whyNot.empty()) whyNot = "Outside X11 Tovi switches them through its lock-key service, which is not running.";
    return nullptr;
}

}  // namespace

std::unique_ptr<Keyboard> openChosenKeyboard(std::string& notice) {
    notice.clear();
    const KeyboardChoice choice = chooseKeyboard([](const char* name) { return std::getenv(name); });
    if (!choice.note.empty()) std::cerr << "tovi: " << choice.note << '\n';
    if (choice.backend == KeyboardBackend::X11) return std::make_unique<X11Keyboard>();

    const KeyboardReach reach = reachNow();
    std::string whyNot;
    if (std::unique_ptr<Keyboard> keyboard = openOutsideX11(choice.backend, reach, whyNot)) return keyboard;
    const std::string fix = keyboardFix(choice.backend, reach);
    notice = "The lock keys cannot be switched, so the lights will not show network traffic. " + whyNot +
             (fix.empty() ? "" : " ") + fix;
    std::cerr << "tovi: " << notice << '\n';
    return std::make_unique<RefusingKeyboard>();
}

}  // namespace tovi::platform
