#include "platform/linux/keyboard_choice.h"

#include <cstdlib>
#include <iostream>
#include <string_view>

#include "base/error.h"
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
    KeyboardChoice choice{KeyboardBackend::Uinput, {}};
    const std::string_view forced = value(getenv, "TOVI_KEYBOARD");
    if (forced == "x11") return {KeyboardBackend::X11, {}};
    if (forced == "uinput") return choice;
    if (!forced.empty()) {
        choice.note = "TOVI_KEYBOARD=" + std::string(forced) +
                      " is not understood (x11 or uinput); the keyboard is chosen as without it.";
    }
    const bool x11Session = value(getenv, "XDG_SESSION_TYPE") == "x11" ||
                            (!value(getenv, "DISPLAY").empty() && value(getenv, "WAYLAND_DISPLAY").empty());
    if (x11Session) choice.backend = KeyboardBackend::X11;
    return choice;
}

std::unique_ptr<Keyboard> openChosenKeyboard(std::string& notice) {
    notice.clear();
    const KeyboardChoice choice = chooseKeyboard([](const char* name) { return std::getenv(name); });
    if (!choice.note.empty()) std::cerr << "tovi: " << choice.note << '\n';
    if (choice.backend == KeyboardBackend::X11) return std::make_unique<X11Keyboard>();

    std::string whyNot;
    if (std::unique_ptr<Keyboard> keyboard = openUinputKeyboard(whyNot)) return keyboard;
    notice = "The lock keys cannot be switched, so the lights will not show network traffic. " + whyNot +
             "\n\nOutside an X11 session Tovi needs write access to /dev/uinput, which only root has by "
             "default. Install Tovi's package, or add this udev rule as "
             "/etc/udev/rules.d/70-tovi-uinput.rules:\n"
             "    KERNEL==\"uinput\", SUBSYSTEM==\"misc\", TAG+=\"uaccess\"\n"
             "then run \"udevadm trigger\" (or restart) and log in again. As a system service, run "
             "tovi --no-window as root.";
    std::cerr << "tovi: " << notice << '\n';
    return std::make_unique<RefusingKeyboard>();
}

}  // namespace tovi::platform
