// Runs inside the throwaway VM of uinput_vm.sh (a kernel with uinput, a
// busybox userland, the console's VT 1 in the foreground) and checks the
// uinput keyboard against the kernel's own views of the locks: the LED class
// in sysfs and the console's KDGKBLED. One command per run:
//
//   tovi_uinput_probe keys            each lock on and off through SetLockKey
//   tovi_uinput_probe other           a lock changed by a second keyboard is seen
//   tovi_uinput_probe wait-leds WANT MASK SECONDS
//                                     waits until the console's locks & MASK == WANT
//                                     (bit 0 Caps, 1 Num, 2 Scroll)
//   tovi_uinput_probe wait-device SECONDS
//                                     waits until a device named "Tovi lock keys" exists
//   tovi_uinput_probe traffic SECONDS UDP datagrams to 10.200.0.2, one every 5 ms
//                                     (the far end of the guest's veth pair)
//   tovi_uinput_probe latency ROUNDS  key press written to echo read, in µs
//
// Prints one line starting "ok" or "FAIL" and ends with status 0 or 1.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <linux/kd.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "lockkeys/set_lock_key.h"
#include "platform/linux/keyboard_uinput.h"

namespace {

using namespace tovi;
using Clock = std::chrono::steady_clock;

struct Key {
    std::int16_t virtualKey;
    std::uint16_t keyCode;
    const char* name;
};
constexpr Key kKeys[] = {
    {20, KEY_CAPSLOCK, "Caps Lock"}, {144, KEY_NUMLOCK, "Num Lock"}, {145, KEY_SCROLLLOCK, "Scroll Lock"}};

int fail(const std::string& why) {
    std::printf("FAIL %s\n", why.c_str());
    return 1;
}

// The console's locks in the probe's bit order, from KDGKBLED on VT 1.
std::optional<unsigned> consoleLocks() {
    const int tty = ::open("/dev/tty1", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return std::nullopt;
    char flags = 0;
    const bool read = ::ioctl(tty, KDGKBLED, &flags) == 0;
    ::close(tty);
    if (!read) return std::nullopt;
    return ((flags & LED_CAP) ? 1u : 0u) | ((flags & LED_NUM) ? 2u : 0u) | ((flags & LED_SCR) ? 4u : 0u);
}

unsigned keyboardLocks(platform::Keyboard& keyboard) {
    platform::KeyboardState state{};
    keyboard.getKeyboardState(state);
    unsigned bits = 0;
    for (unsigned i = 0; i < 3; ++i) bits |= (state[kKeys[i].virtualKey] & 1u) << i;
    return bits;
}

template <class Condition>
bool within(std::chrono::milliseconds limit, Condition condition) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string masks(platform::Keyboard& keyboard) {
    const auto console = consoleLocks();
    return "(keyboard " + std::to_string(keyboardLocks(keyboard)) + ", sysfs " + std::to_string(platform::litLocks()) +
           ", console " + (console ? std::to_string(*console) : std::string("unreadable")) + ")";
}

std::unique_ptr<platform::Keyboard> open() {
    std::string whyNot;
    auto keyboard = platform::openUinputKeyboard(whyNot);
    if (!keyboard) std::printf("FAIL %s\n", whyNot.c_str());
    return keyboard;
}

bool named() {
    for (int i = 0; i < 64; ++i) {
        std::ifstream in("/sys/class/input/input" + std::to_string(i) + "/name");
        std::string name;
        if (std::getline(in, name) && name == "Tovi lock keys") return true;
    }
    return false;
}

int keys() {
    auto keyboard = open();
    if (!keyboard) return 1;
    if (!named()) return fail("no input device is named \"Tovi lock keys\"");
    const auto settled = [&](unsigned want) {
        return within(std::chrono::seconds(2), [&] {
            return keyboardLocks(*keyboard) == want && platform::litLocks() == want && consoleLocks() == want;
        });
    };
    if (!settled(0)) return fail("the locks are not all off at start " + masks(*keyboard));
    for (unsigned i = 0; i < 3; ++i) {
        SetLockKey(*keyboard, kKeys[i].virtualKey, true);
        if (!settled(1u << i)) return fail(std::string(kKeys[i].name) + " did not go on " + masks(*keyboard));
        SetLockKey(*keyboard, kKeys[i].virtualKey, false);
        if (!settled(0)) return fail(std::string(kKeys[i].name) + " did not go off " + masks(*keyboard));
    }
    std::printf("ok keys: each lock on and off, seen by the keyboard, sysfs and KDGKBLED\n");
    return 0;
}

int other() {
    auto keyboard = open();
    if (!keyboard) return 1;
    auto second = platform::createUinputDevice();
    for (const bool on : {true, false}) {
        second->writeKey(KEY_NUMLOCK, true);
        second->writeKey(KEY_NUMLOCK, false);
        if (!within(std::chrono::seconds(2), [&] { return keyboardLocks(*keyboard) == (on ? 2u : 0u); })) {
            return fail(std::string("Num Lock switched ") + (on ? "on" : "off") + " by another keyboard was not seen " +
                        masks(*keyboard));
        }
    }
    std::printf("ok other: Num Lock switched on and off by a second keyboard was seen\n");
    return 0;
}

int waitLeds(unsigned want, unsigned mask, double seconds) {
    std::optional<unsigned> seen;
    const auto limit = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    if (within(limit, [&] { return (seen = consoleLocks()) && (*seen & mask) == want; })) {
        std::printf("ok locks %u\n", *seen);
        return 0;
    }
    return fail("locks " + (seen ? std::to_string(*seen) : std::string("unreadable")) + ", wanted " +
                std::to_string(want) + " of " + std::to_string(mask));
}

int waitDevice(double seconds) {
    if (within(std::chrono::milliseconds(static_cast<long>(seconds * 1000)), named)) {
        std::printf("ok device\n");
        return 0;
    }
    return fail("no input device is named \"Tovi lock keys\"");
}

int traffic(double seconds) {
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return fail("no socket");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);  // discard
    // Loopback traffic counts no octets in the table; this goes out through
    // the guest's veth pair and in at its far end.
    to.sin_addr.s_addr = htonl(0x0AC80002);  // 10.200.0.2
    const char payload[512] = {};
    const auto end = Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (Clock::now() < end) {
        ::sendto(sock, payload, sizeof payload, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(sock);
    std::printf("ok traffic\n");
    return 0;
}

// Num Lock is pressed and the time taken until its echo is read back from
// the same device, then released; each round flips the lock.
int latency(int rounds) {
    auto device = platform::createUinputDevice();
    std::vector<double> micros;
    for (int i = 0; i < rounds; ++i) {
        bool echoed = false;
        const auto start = Clock::now();
        device->writeKey(KEY_NUMLOCK, true);
        const auto end = start + std::chrono::seconds(1);
        while (!echoed && Clock::now() < end) {
            device->drainLeds([&](std::uint16_t led, bool) { echoed = echoed || led == LED_NUML; });
        }
        const auto took = Clock::now() - start;
        device->writeKey(KEY_NUMLOCK, false);
        if (!echoed) return fail("no echo within 1 s");
        micros.push_back(std::chrono::duration<double, std::micro>(took).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::sort(micros.begin(), micros.end());
    std::printf("ok latency median %.0f max %.0f rounds %d\n", micros[micros.size() / 2], micros.back(), rounds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 1 && args[0] == "keys") return keys();
        if (args.size() == 1 && args[0] == "other") return other();
        if (args.size() == 4 && args[0] == "wait-leds") {
            return waitLeds(std::stoul(args[1]), std::stoul(args[2]), std::stod(args[3]));
        }
        if (args.size() == 2 && args[0] == "wait-device") return waitDevice(std::stod(args[1]));
        if (args.size() == 2 && args[0] == "traffic") return traffic(std::stod(args[1]));
        if (args.size() == 2 && args[0] == "latency") return latency(std::stoi(args[1]));
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    std::fprintf(stderr,
                 "usage: tovi_uinput_probe keys | other | wait-leds WANT MASK SECONDS | wait-device SECONDS | traffic "
                 "SECONDS | latency ROUNDS\n");
    return 2;
}
