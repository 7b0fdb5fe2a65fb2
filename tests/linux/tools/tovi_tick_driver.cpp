// Runs the LED tick without the window: UpdateLeds every interval against
// the live interface table and the live X keyboard, as Timer1 would.
//
//   tovi_tick_driver [--interval MS] [--download KEY] [--upload KEY]
//                    [--duration S] [--trace FILE] [--no-keyboard]
//
// KEY is 0 Caps Lock, 1 Num Lock, 2 Scroll Lock, or -1 for a hidden key
// (defaults: 25 ms, Num Lock, Scroll Lock, until SIGINT or SIGTERM). --trace
// writes one line per tick: CLOCK_MONOTONIC nanoseconds at its start and end,
// the two reference totals after it, and 1 when its refresh read the table
// (0 when it failed). --no-keyboard swaps the X keyboard for one
// that refuses everything, to measure the table side alone. Prints "ready"
// once the first tick has run. Single-threaded, like the window.
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/error.h"
#include "fakes/fake_toolkit.h"
#include "monitor/activity_monitor.h"
#include "netstats/c_ip_helper.h"
#include "platform/keyboard.h"
#include "platform/linux/interface_table_linux.h"
#include "platform/linux/keyboard_x11.h"
#include "platform/toolkit.h"
#include "tests/common/settings_controls.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

// The reader wants a toolkit only for its not-supported message.
class ConsoleToolkit : public tovi::platform::Toolkit {
public:
    std::unique_ptr<tovi::platform::Window> createWindow(const tovi::platform::WindowSpec&) override {
        throw tovi::Error("the tick driver has no windows");
    }
    int twipsPerPixelX() const override { return 15; }
    void messageBox(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    int run() override { return 0; }
    [[noreturn]] void end() override { std::exit(0); }
};

class NoKeyboard : public tovi::platform::Keyboard {
public:
    std::uint32_t platformId() override { throw tovi::Error("no keyboard"); }
    void getKeyboardState(tovi::platform::KeyboardState&) override { throw tovi::Error("no keyboard"); }
    void setKeyboardState(const tovi::platform::KeyboardState&) override { throw tovi::Error("no keyboard"); }
    void keybdEvent(std::uint8_t, std::uint8_t, std::uint32_t, std::uint32_t) override {
        throw tovi::Error("no keyboard");
    }
};

std::int64_t nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

timespec toTimespec(std::int64_t ns) {
    return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: tovi_tick_driver [--interval MS] [--download KEY] [--upload KEY] [--duration S]\n"
                 "                        [--trace FILE] [--no-keyboard]\n");
    std::exit(2);
}

long number(const char* text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) usage();
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    long intervalMs = 25;
    long download = tovi::kNumLock;
    long upload = tovi::kScrollLock;
    long durationS = 0;
    const char* tracePath = nullptr;
    bool keyboardWanted = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--interval" && hasValue)
            intervalMs = number(argv[++i], 1, 60'000);
        else if (arg == "--download" && hasValue)
            download = number(argv[++i], -1, 2);
        else if (arg == "--upload" && hasValue)
            upload = number(argv[++i], -1, 2);
        else if (arg == "--duration" && hasValue)
            durationS = number(argv[++i], 0, 86'400);
        else if (arg == "--trace" && hasValue)
            tracePath = argv[++i];
        else if (arg == "--no-keyboard")
            keyboardWanted = false;
        else
            usage();
    }

    struct sigaction action {};
    action.sa_handler = requestStop;  // no SA_RESTART: the sleep returns early
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    FILE* trace = nullptr;
    if (tracePath != nullptr && (trace = std::fopen(tracePath, "w")) == nullptr) {
        std::perror(tracePath);
        return 1;
    }

    std::unique_ptr<tovi::platform::Keyboard> keyboard;
    if (keyboardWanted)
        keyboard = std::make_unique<tovi::platform::X11Keyboard>();
    else
        keyboard = std::make_unique<NoKeyboard>();
    auto table = tovi::platform::makeInterfaceTable();
    ConsoleToolkit toolkit;

    // The settings applied through getvalues, from controls that live only
    // in memory, as the window applies them from its own.
    tovi::ActivityMonitor monitor(*keyboard);
    monitor.setIpHelper(std::make_shared<tovi::CIpHelper>(*table, toolkit));
    {
        tovi::fakes::FakeToolkit memory;
        tovi::fixtures::SettingsControls settings(memory, {static_cast<std::int32_t>(intervalMs)});
        settings.combo1.setListIndex(0);
        settings.showKeys(monitor, download >= 0 ? 1 : 0, static_cast<tovi::LockKeyIndex>(download >= 0 ? download : 0),
                          upload >= 0 ? 1 : 0, static_cast<tovi::LockKeyIndex>(upload >= 0 ? upload : 0));
    }

    const std::int64_t interval = intervalMs * 1'000'000;
    const std::int64_t start = nowNs();
    const std::int64_t end = durationS > 0 ? start + durationS * 1'000'000'000 : INT64_MAX;
    std::int64_t next = start;
    bool first = true;
    while (!stopRequested) {
        const std::int64_t began = nowNs();
        monitor.UpdateLeds();
        if (trace != nullptr) {
            std::fprintf(trace, "%lld %lld %d %d %d\n", static_cast<long long>(began),
                         static_cast<long long>(nowNs()), monitor.lngLastReceived(), monitor.lngLastSent(),
                         monitor.objIpHelper()->tableRead() ? 1 : 0);
            std::fflush(trace);
        }
        if (first) {
            std::puts("ready");
            std::fflush(stdout);
            first = false;
        }
        // Like a window timer: a late tick is not made up for, the next one
        // comes a whole interval later.
        next += interval;
        const std::int64_t now = nowNs();
        if (next <= now) next = now + interval;
        if (next >= end) break;
        const timespec wake = toTimespec(next);
        while (!stopRequested && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {}
    }
    if (trace != nullptr) std::fclose(trace);
    return 0;
}
