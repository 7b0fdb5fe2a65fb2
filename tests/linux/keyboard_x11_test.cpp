// The X11 keyboard backend against a real X server (Xvfb started with
// -noreset, so that lock states outlive their clients). The LED mask that
// `xset q` prints is the independent witness: 1 Caps Lock, 2 Num Lock,
// 4 Scroll Lock.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "base/error.h"
#include "common/keyboard_contract.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"
#include "platform/linux/keyboard_x11.h"

namespace tovi {
namespace {

using platform::KeyboardState;
using platform::X11Keyboard;
using contract::KeyboardContract;

struct Key {
    std::int16_t virtualKey;
    unsigned ledBit;
    const char* name;
};
constexpr Key kKeys[] = {{kVkCapital, 1, "Caps Lock"}, {kVkNumLock, 2, "Num Lock"}, {kVkScroll, 4, "Scroll Lock"}};

// The LED mask as another client sees it, or nothing when xset fails.
std::optional<unsigned> ledMask() {
    FILE* pipe = popen("xset q 2>/dev/null", "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    if (pclose(pipe) != 0) return std::nullopt;
    const auto at = output.find("LED mask:");
    if (at == std::string::npos) return std::nullopt;
    return static_cast<unsigned>(std::strtoul(output.c_str() + at + 9, nullptr, 16));
}

// Another client's change reaches this one as an event; allow it a moment.
template <class Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// The keyboard contract on X11, with `xset q` as the witness.
class X11Driver final : public contract::KeyboardDriver {
public:
    X11Driver() { keyboard_.getKeyboardState(initial_); }
    ~X11Driver() override { keyboard_.setKeyboardState(initial_); }
    platform::Keyboard& keyboard() override { return keyboard_; }
    std::optional<bool> lit(std::int16_t virtualKey) override {
        const auto mask = ledMask();
        if (!mask) return std::nullopt;
        for (const Key& key : kKeys) {
            if (key.virtualKey == virtualKey) return (*mask & key.ledBit) != 0;
        }
        return std::nullopt;
    }

private:
    X11Keyboard keyboard_;
    KeyboardState initial_{};
};

std::unique_ptr<contract::KeyboardDriver> makeX11Driver() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0' || !ledMask()) return nullptr;
    return std::make_unique<X11Driver>();
}

INSTANTIATE_TEST_SUITE_P(X11, KeyboardContract, ::testing::Values(contract::KeyboardBackend{"x11", &makeX11Driver}));

// What only X11 does, on the same driver; it gives the keys back as found.
class X11KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!driver) GTEST_SKIP() << "no X display, or xset q does not answer";
    }
    unsigned led(const Key& key) { return ledMask().value_or(~0u) & key.ledBit; }
    const std::unique_ptr<contract::KeyboardDriver> driver = makeX11Driver();
};

// Another client's changes reach this one: the locks it switches, and its
// modifier map. That map is read once and kept; when another client binds
// Scroll Lock to a modifier or frees it again, the next key event must take
// the way that fits the new map: a key press no modifier follows lights
// nothing, and an indicator set behind a bound key's back would part light
// and modifier.
TEST_F(X11KeyboardTest, WhatOtherClientsChangeIsFollowed) {
    for (const Key& key : kKeys) SetLockKey(driver->keyboard(), key.virtualKey, false);
    X11Keyboard other;
    for (const Key& key : kKeys) {
        SCOPED_TRACE(key.name);
        SetLockKey(other, key.virtualKey, true);
        EXPECT_TRUE(eventually([&] {
            KeyboardState state{};
            driver->keyboard().getKeyboardState(state);
            return state[key.virtualKey] == 1;
        }));
        SetLockKey(driver->keyboard(), key.virtualKey, false);
        EXPECT_EQ(led(key), 0u);
    }

    const Key& scroll = kKeys[2];
    if (std::system("xmodmap -e 'add mod3 = Scroll_Lock' 2>/dev/null") != 0) {
        GTEST_SKIP() << "xmodmap cannot bind";
    }
    struct Unbind {
        ~Unbind() { [[maybe_unused]] const int status = std::system("xmodmap -e 'clear mod3' 2>/dev/null"); }
    } unbind;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "bound to mod3" : "freed again");
        EXPECT_TRUE(eventually([&] {
            SetLockKey(driver->keyboard(), scroll.virtualKey, true);
            return led(scroll) == scroll.ledBit;
        }));
        SetLockKey(driver->keyboard(), scroll.virtualKey, false);
        EXPECT_EQ(led(scroll), 0u);
        SetLockKey(driver->keyboard(), scroll.virtualKey, true);
        EXPECT_EQ(led(scroll), scroll.ledBit);
        SetLockKey(driver->keyboard(), scroll.virtualKey, false);
        EXPECT_EQ(led(scroll), 0u);
        if (round == 0) {
            ASSERT_EQ(std::system("xmodmap -e 'clear mod3' 2>/dev/null"), 0);
        }
    }
}

// A display that no client can open, as one without XKB or XTest: the X
// socket of a number no server holds (binding it decides, so none can take
// it meanwhile), where every connection is closed once its setup request
// has come. It counts the connections.
class RefusingDisplay {
public:
    RefusingDisplay() {
        for (int n = 4000; n < 5000 && name_.empty(); ++n) {
            fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);  // abstract: no file
            std::copy(path.begin(), path.end(), address.sun_path + 1);
            const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
            if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(fd_, 16) == 0) {
                name_ = ":" + std::to_string(n);
            } else {
                ::close(fd_);
            }
        }
        if (name_.empty()) return;
        refuser_ = std::thread([this] {
            while (!stop_) {
                pollfd incoming{fd_, POLLIN, 0};
                if (::poll(&incoming, 1, 20) <= 0) continue;
                const int client = ::accept(fd_, nullptr, nullptr);
                if (client < 0) continue;
                // The client's setup request is read first: closing before it
                // is written would end the test with SIGPIPE.
                pollfd setup{client, POLLIN, 0};
                char request[256];
                if (::poll(&setup, 1, 2000) > 0) {
                    [[maybe_unused]] const ssize_t got = ::read(client, request, sizeof request);
                }
                ++connections_;  // before the client can see its connection end
                ::close(client);
            }
        });
    }
    ~RefusingDisplay() {
        if (name_.empty()) return;
        stop_ = true;
        refuser_.join();
        ::close(fd_);
    }
    RefusingDisplay(const RefusingDisplay&) = delete;
    RefusingDisplay& operator=(const RefusingDisplay&) = delete;

    const std::string& name() const { return name_; }
    int connections() const { return connections_; }

private:
    int fd_ = -1;
    std::string name_;
    std::thread refuser_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
};

// Without a display every call throws, and SetLockKey, which a tick calls,
// lets it pass. A tick asks for the keyboard several times: a display that
// cannot be opened is tried once, and again only after the while given.
TEST(X11KeyboardWithoutDisplay, EveryCallThrowsAndAFailedOpenIsTriedAgainOnlyAfterAWhile) {
    KeyboardState state{};
    {
        const char* old = std::getenv("DISPLAY");
        const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
        ::unsetenv("DISPLAY");
        X11Keyboard keyboard;
        EXPECT_THROW(keyboard.getKeyboardState(state), Error);
        EXPECT_NO_THROW(SetLockKey(keyboard, kVkCapital, true));
        if (saved) ::setenv("DISPLAY", saved->c_str(), 1);
    }

    RefusingDisplay display;
    ASSERT_FALSE(display.name().empty()) << "no free display number to refuse on";
    X11Keyboard keyboard(display.name(), std::chrono::hours(1));
    EXPECT_THROW(keyboard.platformId(), Error);
    EXPECT_THROW(keyboard.getKeyboardState(state), Error);
    EXPECT_THROW(keyboard.setKeyboardState(state), Error);
    EXPECT_THROW(keyboard.keybdEvent(kVkCapital, 0x45, 1, 0), Error);
    EXPECT_NO_THROW(SetLockKey(keyboard, kVkCapital, true));
    EXPECT_EQ(display.connections(), 1);

    X11Keyboard quick(display.name(), std::chrono::milliseconds(50));
    EXPECT_THROW(quick.getKeyboardState(state), Error);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_THROW(quick.getKeyboardState(state), Error);
    EXPECT_EQ(display.connections(), 3) << "tried again once the while had passed";
}

// An X server of the test's own, which the test can kill: Xvfb on the
// display number it picks itself, its socket abstract only.
class PrivateServer {
public:
    PrivateServer() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 3);  // dup2 clears close-on-exec
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>("Xvfb"),      const_cast<char*>("-displayfd"), const_cast<char*>("3"),
                        const_cast<char*>("-noreset"),  const_cast<char*>("-nolisten"),  const_cast<char*>("tcp"),
                        const_cast<char*>("-nolisten"), const_cast<char*>("unix"),       nullptr};
        if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        std::string number;
        pollfd reply{ends[0], POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && ::poll(&reply, 1, 10000) > 0 && ::read(ends[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(ends[0]);
        if (!number.empty() && c == '\n') name_ = ":" + number;
    }
    ~PrivateServer() { kill(); }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    const std::string& name() const { return name_; }
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// The server dies under a keyboard that has switched a key (the display
// going at the end of a session): every call is refused from then on, and
// none of them may end the process, as Xlib does when asked to use a dead
// connection. The end of the program asks the keyboard for its state.
TEST(X11KeyboardServerGone, EveryCallIsRefusedAndTheProcessLivesOn) {
    PrivateServer server;
    if (server.name().empty()) GTEST_SKIP() << "no Xvfb of our own";
    X11Keyboard keyboard(server.name());
    KeyboardState state{};
    ASSERT_NO_THROW(keyboard.getKeyboardState(state));
    SetLockKey(keyboard, kVkScroll, true);
    server.kill();
    EXPECT_THROW(keyboard.getKeyboardState(state), Error);
    EXPECT_THROW(keyboard.setKeyboardState(state), Error);
    EXPECT_THROW(keyboard.keybdEvent(kVkScroll, 0x45, 1, 0), Error);
    EXPECT_THROW(keyboard.platformId(), Error);
}

}  // namespace
}  // namespace tovi
