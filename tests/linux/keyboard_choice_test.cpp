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

TEST(KeyboardChoice, X11SessionsKeepXTestEverythingElseGoesThroughUinputAndTheOverrideWins) {
    using B = KeyboardBackend;
    const struct {
        std::map<std::string, std::string> env;
        B backend;
    } cases[] = {
        {{{"DISPLAY", ":0"}}, B::X11},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, B::ServiceOrUinput},  // Xwayland is not the seat
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}}, B::X11},              // empty counts as unset
        {{{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", "wayland-0"}}, B::X11},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}}, B::ServiceOrUinput},
        {{}, B::ServiceOrUinput},  // the console, a service
        {{{"XDG_SESSION_TYPE", "tty"}}, B::ServiceOrUinput},
        {{{"TOVI_KEYBOARD", "service"}, {"DISPLAY", ":0"}}, B::Service},
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
    EXPECT_EQ(choose({{"TOVI_KEYBOARD", "evdev"}}).backend, B::ServiceOrUinput);
}

TEST(KeyboardChoice, TheNoticeGivesTheFixThatApplies) {
    using B = KeyboardBackend;
    const auto has = [](const std::string& text, const char* part) { return text.find(part) != std::string::npos; };
    const std::string noPackage = keyboardFix(B::ServiceOrUinput, {false, false, true, false});
    EXPECT_TRUE(has(noPackage, "Install Tovi's package")) << noPackage;
    EXPECT_FALSE(has(noPackage, "modprobe")) << noPackage;
    const std::string stopped = keyboardFix(B::ServiceOrUinput, {false, true, true, false});
    EXPECT_TRUE(has(stopped, "systemctl enable --now tovi-lock-keys.socket")) << stopped;
    const std::string silent = keyboardFix(B::Service, {true, true, true, false});
    EXPECT_TRUE(has(silent, "journalctl -u tovi-lock-keys.service")) << silent;
    const std::string notRoot = keyboardFix(B::Uinput, {false, true, true, false});
    EXPECT_TRUE(has(notRoot, "Only root")) << notRoot;
    const std::string noModule = keyboardFix(B::Uinput, {false, true, false, true});
    EXPECT_TRUE(has(noModule, "modprobe uinput")) << noModule;
    EXPECT_FALSE(has(noModule, "Only root")) << "root is not told to be root: " << noModule;
    EXPECT_EQ(keyboardFix(B::Uinput, {false, true, true, true}), "") << "the cause says it all";
    for (const std::string& text : {noPackage, stopped, silent, notRoot, noModule}) {
        EXPECT_EQ(text.find('\n'), std::string::npos) << "one line for the journal: " << text;
    }
}

}  // namespace
}  // namespace tovi::platform
