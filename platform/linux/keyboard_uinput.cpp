#include "platform/linux/keyboard_uinput.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <utility>

#include "base/error.h"
#include "platform/linux/unique_fd.h"

namespace tovi::platform {
namespace {

// In the order of the selectors.
struct Lock {
    std::uint16_t keyCode;
    std::uint16_t led;
    const char* sysfsSuffix;  // of the LED class device's name
    const char* name;
};

constexpr std::array<Lock, 3> kLocks{{
    {KEY_CAPSLOCK, LED_CAPSL, "::capslock", "Caps Lock"},
    {KEY_NUMLOCK, LED_NUML, "::numlock", "Num Lock"},
    {KEY_SCROLLLOCK, LED_SCROLLL, "::scrolllock", "Scroll Lock"},
}};

std::string sentence(const std::string& text, int error) { return text + " (" + std::strerror(error) + ")."; }

// Closing the fd destroys the kernel's device.
class KernelUinputDevice : public UinputDevice {
public:
    explicit KernelUinputDevice(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_.get() < 0) {
            const int error = errno;
            // The cause alone: the caller adds the fix.
            if (error == EACCES || error == EPERM) throw Error("Tovi may not write to " + path + ".");
            if (error == ENOENT || error == ENODEV || error == ENXIO) {
                throw Error("This system has no " + path + " (the uinput module is not loaded).");
            }
            throw Error(sentence("Tovi cannot open " + path, error));
        }
        uinput_setup setup{};
        setup.id.bustype = BUS_VIRTUAL;
        std::snprintf(setup.name, sizeof setup.name, "%s", "Tovi lock keys");
        bool made = ioctl(fd_.get(), UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd_.get(), UI_SET_EVBIT, EV_LED) == 0 &&
                    ioctl(fd_.get(), UI_SET_EVBIT, EV_SYN) == 0;
        for (const Lock& lock : kLocks) {
            made = made && ioctl(fd_.get(), UI_SET_KEYBIT, lock.keyCode) == 0 &&
                   ioctl(fd_.get(), UI_SET_LEDBIT, lock.led) == 0;
        }
        made = made && ioctl(fd_.get(), UI_DEV_SETUP, &setup) == 0 && ioctl(fd_.get(), UI_DEV_CREATE) == 0;
        if (!made) throw Error(sentence("The kernel refused Tovi's virtual keyboard", errno));
    }

    void writeKey(std::uint16_t keyCode, bool down) override {
        const input_event events[2] = {
            {.time = {}, .type = EV_KEY, .code = keyCode, .value = down ? 1 : 0},
            {.time = {}, .type = EV_SYN, .code = SYN_REPORT, .value = 0},
        };
        ssize_t written;
        do {
            written = ::write(fd_.get(), events, sizeof events);
        } while (written < 0 && errno == EINTR);
        if (written != static_cast<ssize_t>(sizeof events)) {
            throw Error(sentence("the uinput keyboard refused a key event", written < 0 ? errno : EIO));
        }
    }

    void drainLeds(const std::function<void(std::uint16_t, bool)>& take) override {
        input_event events[16];
        for (;;) {
            const ssize_t got = ::read(fd_.get(), events, sizeof events);
            if (got < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) return;
                throw Error(sentence("cannot read the uinput keyboard's lights", errno));
            }
            const auto count = static_cast<std::size_t>(got) / sizeof(input_event);
            for (std::size_t i = 0; i < count; ++i) {
                if (events[i].type == EV_LED) take(events[i].code, events[i].value != 0);
            }
            if (count < std::size(events)) return;
        }
    }

private:
    UniqueFd fd_;
};

bool brightnessOn(const std::filesystem::path& led) {
    std::ifstream in(led / "brightness");
    int value = 0;
    return (in >> value) && value > 0;
}

}  // namespace

std::unique_ptr<UinputDevice> createUinputDevice(const std::string& path) {
    return std::make_unique<KernelUinputDevice>(path);
}

unsigned litLocks(const std::string& ledsDir) {
    unsigned lit = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ledsDir, error)) {
        const std::string name = entry.path().filename().string();
        for (std::size_t i = 0; i < kLocks.size(); ++i) {
            if (name.ends_with(kLocks[i].sysfsSuffix) && brightnessOn(entry.path())) lit |= 1u << i;
        }
    }
    return lit;
}

std::unique_ptr<Keyboard> openUinputKeyboard(std::string& whyNot) {
    try {
        // The lights before the device exists: a new keyboard's own start dark.
        const unsigned lit = litLocks();
        return std::make_unique<UinputKeyboard>(createUinputDevice(), lit);
    } catch (const Error& error) {
        whyNot = error.what();
        return nullptr;
    }
}

UinputKeyboard::UinputKeyboard(std::unique_ptr<UinputDevice> device, unsigned lit, Clock clock, Say say)
    : device_(std::move(device)), clock_(std::move(clock)), say_(std::move(say)) {
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
    if (!say_) say_ = [](const std::string& text) { std::fprintf(stderr, "tovi: %s\n", text.c_str()); };
    for (std::size_t i = 0; i < kLockCount; ++i) lit_[i] = ((lit >> i) & 1u) != 0;
}

void UinputKeyboard::catchUp() {
    device_->drainLeds([this](std::uint16_t led, bool on) {
        for (std::size_t i = 0; i < kLockCount; ++i) {
            if (kLocks[i].led != led) continue;
            lit_[i] = on;
            silent_[i] = 0;
        }
    });
    const auto now = clock_();
    for (std::size_t i = 0; i < kLockCount; ++i) {
        if (givenUp_[i] || silent_[i] < kSilentKeystrokes || now - silentSince_[i] < kSilenceFor) continue;
        givenUp_[i] = true;
        say_(std::string(kLocks[i].name) + " did not switch for any of the last " + std::to_string(silent_[i]) +
             " presses, so Tovi stops pressing it until it is started again. "
             "This desktop probably gives " +
             kLocks[i].name + " no function; choose another key in Tovi's settings.");
    }
}

bool UinputKeyboard::lit(LockKeyIndex lock) { return lit_[static_cast<std::size_t>(lock)]; }

void UinputKeyboard::keyEvent(LockKeyIndex index, bool down) {
    const auto lock = static_cast<std::size_t>(index);
    if (givenUp_[lock]) {
        throw Error(std::string(kLocks[lock].name) + " is no longer pressed: the desktop does not switch it");
    }
    device_->writeKey(kLocks[lock].keyCode, down);
    if (down) return;
    // A keystroke is complete: its echo, if any, is looked for at the next query.
    if (silent_[lock]++ == 0) silentSince_[lock] = clock_();
}

void UinputKeyboard::setKeyboardState(const KeyboardState& state) {
    catchUp();
    std::string refused;
    for (std::size_t i = 0; i < kLockCount; ++i) {
        const bool wanted = (state[static_cast<std::size_t>(virtualKeyOf(static_cast<LockKeyIndex>(i)))] & 1) != 0;
        if (wanted == lit_[i]) continue;
        // The other keys still follow when one is given up on.
        if (givenUp_[i]) {
            refused = kLocks[i].name;
            continue;
        }
        keyEvent(static_cast<LockKeyIndex>(i), true);
        keyEvent(static_cast<LockKeyIndex>(i), false);
    }
    if (!refused.empty()) throw Error(refused + " is no longer pressed: the desktop does not switch it");
}

}  // namespace tovi::platform
