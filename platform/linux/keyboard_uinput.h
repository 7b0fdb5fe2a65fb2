// The lock keys of the whole seat through a virtual keyboard made with the
// kernel's uinput device, behind the Windows-style keyboard seam.
//
// Reaches what X11's XTest cannot: the bare console and Wayland compositors,
// which treat the device like a real keyboard and echo the seat's lock
// state back to it as LED events.
//
// The system reports itself as the NT family (platform id 2), as the X11
// backend does. The keyboard state has bit 0 of bytes 20, 144 and 145 set
// from the lock state; every other byte is 0. That state is what the kernel
// last echoed, taken in without waiting at every query and seeded at start
// from the lights any keyboard shows in sysfs. A synthetic press or release
// of 20, 144 or 145 is written to the device as a press or release of the
// Caps Lock, Num Lock or Scroll Lock key, each followed by a report; the
// light changes when the echo comes, which a call never waits for. Writing
// the keyboard state applies the differences in those three toggle bits as
// a press and a release. An event for any other key is refused.
//
// A key the desktop does not switch (Scroll Lock on most Wayland keymaps)
// answers no keystroke with an echo. After several such keystrokes over a
// few seconds the keyboard says so once on stderr and refuses that key from
// then on, rather than pressing it on every tick for nothing.
//
// One thread only (the window's, or the headless loop's).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/linux/lock_keyboard.h"

namespace tovi::platform {

// Creates the virtual keyboard. Returns null and sets whyNot to a sentence a
// user can act on when /dev/uinput cannot be opened (no access, no module).
std::unique_ptr<Keyboard> openUinputKeyboard(std::string& whyNot);

// The device under the keyboard, apart so that its rules can be tried
// without a kernel that has uinput. Codes are the kernel's (KEY_*, LED_*).
class UinputDevice {
public:
    virtual ~UinputDevice() = default;
    // A press (down) or a release, followed by SYN_REPORT. Throws
    // tovi::Error when the kernel refuses it.
    virtual void writeKey(std::uint16_t keyCode, bool down) = 0;
    // Hands over every LED event the kernel has sent since the last call,
    // oldest first. Never waits. Throws tovi::Error when the device fails.
    virtual void drainLeds(const std::function<void(std::uint16_t led, bool on)>& take) = 0;
};

// The uinput device itself: "Tovi lock keys", with the three lock keys and
// their three lights. When it cannot be made, throws tovi::Error with one
// sentence naming the cause, which openUinputKeyboard passes on.
std::unique_ptr<UinputDevice> createUinputDevice(const std::string& path = "/dev/uinput");

// Which locks some keyboard shows lit in ledsDir (the sysfs LED class):
// bit 0 Caps Lock, bit 1 Num Lock, bit 2 Scroll Lock. A lock counts as lit
// when any keyboard's light for it is on. Unreadable entries count as dark.
unsigned litLocks(const std::string& ledsDir = "/sys/class/leds");

class UinputKeyboard : public LockKeyboard {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Say = std::function<void(const std::string&)>;

    // A key given up on after this many keystrokes in a row with no echo for
    // its light, the first of them at least kSilenceFor ago. Both, so that
    // neither a short interval nor a compositor that opens the device late
    // makes a working key look dead.
    static constexpr int kSilentKeystrokes = 3;
    static constexpr std::chrono::milliseconds kSilenceFor{2000};

    // lit: the locks on at start, bits as litLocks gives them. say: where the
    // one sentence about a key given up on goes (stderr by default).
    UinputKeyboard(std::unique_ptr<UinputDevice> device, unsigned lit, Clock clock = {}, Say say = {});

    // As a plain write, but a key given up on is left as it is, and named
    // in the error thrown once the others are done.
    void setKeyboardState(const KeyboardState& state) override;

private:
    static constexpr std::size_t kLockCount = kLockKeyCount;

    void catchUp() override;
    bool lit(LockKeyIndex lock) override;
    void keyEvent(LockKeyIndex lock, bool down) override;

    std::unique_ptr<UinputDevice> device_;
    Clock clock_;
    Say say_;
    std::array<bool, kLockCount> lit_{};
    // Keystrokes since the last echo of each lock's light, and when the
    // first of them was written.
    std::array<int, kLockCount> silent_{};
    std::array<std::chrono::steady_clock::time_point, kLockCount> silentSince_{};
    std::array<bool, kLockCount> givenUp_{};
};

}  // namespace tovi::platform
