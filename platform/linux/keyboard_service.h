// The lock keys through the lock-key service (lockservice/lock_protocol.h),
// for programs that may not make a keyboard of their own.
//
// The service owns the virtual keyboard; ServiceDevice stands in for it
// under the uinput keyboard's rules (keyboard_uinput.h), so the lights, the
// keys given up on and the Windows-style seam behave as with a device of
// our own. A press asks the service to toggle the lock (the release then
// has nothing left to do); the lights are read from the service at every
// query and handed on as the echoes they stand for.
//
// A request the service refuses (the session is in the background), or one
// that finds no service, fails with tovi::Error and says nothing: the tick
// skips the keys and asks again next time, reconnecting if need be. A
// refused press also fails its release, so that it never counts as a
// keystroke the desktop ignored.
//
// One thread only (the window's, or the headless loop's).
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "lockservice/lock_protocol.h"
#include "platform/keyboard.h"
#include "platform/linux/keyboard_uinput.h"
#include "platform/linux/unique_fd.h"

namespace tovi::platform {

class ServiceDevice final : public UinputDevice {
public:
    // known: the lights as last seen (bits as litLocks gives them); changes
    // from it are what drainLeds hands on. timeout: the longest wait for
    // one reply.
    ServiceDevice(std::string socketPath, unsigned known, std::chrono::milliseconds timeout);

    void writeKey(std::uint16_t keyCode, bool down) override;
    void drainLeds(const std::function<void(std::uint16_t led, bool on)>& take) override;

    // One request and its reply. Throws tovi::Error when the service cannot
    // be reached or answers out of turn; the connection is then dropped, and
    // after a failed connect the next try waits kRetryAfter.
    lockservice::Reply ask(const lockservice::Request& request);

    // After the first reply: the lights it gave and the wait from then on.
    void settle(unsigned known, std::chrono::milliseconds timeout);

    static constexpr std::chrono::seconds kRetryAfter{1};

private:
    void connect();

    std::string path_;
    unsigned known_;
    std::chrono::milliseconds timeout_;
    UniqueFd fd_;
    std::chrono::steady_clock::time_point retryAt_{};
    std::array<bool, lockservice::kLockCount> pressFailed_{};
};

// The keyboard through the service at socketPath. Null, with whyNot a
// sentence for the user, when no service answers there.
std::unique_ptr<Keyboard> openServiceKeyboard(std::string& whyNot,
                                              const std::string& socketPath = lockservice::kSocketPath);

}  // namespace tovi::platform
