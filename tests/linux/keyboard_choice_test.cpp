// The choice of the lock-key backend from the session's environment.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/linux/keyboard_choice.h"

namespace tovi::platform {
namespace {

KeyboardChoice choose(const std::map<std::string, std::string>& env) {
    return chooseKeyboard([&](const char* name) -> const char* {
        const auto found = env.find(name);
        return found == env.end() ? nullptr : found->second.c_str();
    });
}

TEST(KeyboardChoice, X11SessionsKeepXTestEverythingElseUsesUinputAndTheOverrideWins) {
    using B = KeyboardBackend;
    const struct {
        std::map<std::string, std::string> env;
        B backend;
    } cases[] = {
        {{{"DISPLAY", ":0"}}, B::X11},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, B::Uinput},  // Xwayland is not the seat
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}}, B::X11},              // empty counts as unset
        {{{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", "wayland-0"}}, B::X11},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}}, B::Uinput},
        {{}, B::Uinput},  // the console, a service
        {{{"XDG_SESSION_TYPE", "tty"}}, B::Uinput},
        {{{"TOVI_KEYBOARD", "x11"}}, B::X11},
        {{{"TOVI_KEYBOARD", "uinput"}, {"DISPLAY", ":0"}}, B::Uinput},
        {{{"TOVI_KEYBOARD", "x11"}, {"WAYLAND_DISPLAY", "wayland-0"}}, B::X11},
        {{{"TOVI_KEYBOARD", ""}, {"DISPLAY", ":0"}}, B::X11},
    };
    for (const auto& c : cases) {
        const KeyboardChoice choice = choose(c.env);
        std::string env;
        for (const auto& [name, value] : c.env) env += name + "=" + value + " ";
        EXPECT_EQ(choice.backend, c.backend) << env;
        EXPECT_EQ(choice.note, "") << env;
    }

    // Not understood: said so, and the automatic choice stands.
    const KeyboardChoice typo = choose({{"TOVI_KEYBOARD", "X11"}, {"DISPLAY", ":0"}});
    EXPECT_EQ(typo.backend, B::X11);
    EXPECT_NE(typo.note.find("TOVI_KEYBOARD=X11"), std::string::npos) << typo.note;
    EXPECT_EQ(choose({{"TOVI_KEYBOARD", "evdev"}}).backend, B::Uinput);
}

}  // namespace
}  // namespace tovi::platform
