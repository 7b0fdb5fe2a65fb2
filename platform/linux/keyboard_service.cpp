#include "platform/linux/keyboard_service.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"

namespace tovi::platform {

namespace {

using lockservice::Op;
using lockservice::Reply;
using lockservice::Request;
using lockservice::Status;

constexpr std::uint16_t kKeys[lockservice::kLockCount] = {KEY_CAPSLOCK, KEY_NUMLOCK, KEY_SCROLLLOCK};
constexpr std::uint16_t kLeds[lockservice::kLockCount] = {LED_CAPSL, LED_NUML, LED_SCROLLL};

// The service's first answer may wait for systemd to start it: about 2 s on
// a slow or busy machine (seen under emulation), so the start waits longer.
constexpr std::chrono::milliseconds kFirstReply{10000};
constexpr std::chrono::milliseconds kReply{250};

[[noreturn]] void refused() { throw Error("the lock-key service refused the request"); }

}  // namespace

ServiceDevice::ServiceDevice(std::string socketPath, unsigned known, std::chrono::milliseconds timeout)
    : path_(std::move(socketPath)), known_(known), timeout_(timeout) {}

void ServiceDevice::settle(unsigned known, std::chrono::milliseconds timeout) {
    known_ = known;
    timeout_ = timeout;
}

void ServiceDevice::connect() {
    // A service that is not there is not knocked on at every tick.
    const auto now = std::chrono::steady_clock::now();
    if (now < retryAt_) throw Error("the lock-key service was not reachable a moment ago");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) throw Error("the lock-key service's socket path is too long");
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        retryAt_ = now + kRetryAfter;
        throw Error(std::string("cannot reach the lock-key service (") + std::strerror(errno) + ")");
    }
    fd_ = std::move(fd);
}

Reply ServiceDevice::ask(const Request& request) {
    if (!fd_) connect();
    const lockservice::Message message = lockservice::formatRequest(request);
    std::uint8_t packet[lockservice::kMessageSize + 1];
    ssize_t got = -1;
    if (::send(fd_.get(), message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size())) {
        pollfd readable{fd_.get(), POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(timeout_.count())) == 1) {
            got = ::recv(fd_.get(), packet, sizeof packet, MSG_DONTWAIT);
        }
    }
    const std::optional<Reply> reply = got > 0 ? lockservice::parseReply(packet, static_cast<std::size_t>(got))
                                               : std::nullopt;
    if (!reply) {
        // A late reply must not be taken for the next request's.
        fd_.reset();
        throw Error("the lock-key service did not answer");
    }
    return *reply;
}

void ServiceDevice::writeKey(std::uint16_t keyCode, bool down) {
    unsigned lock = 0;
    while (lock < lockservice::kLockCount && kKeys[lock] != keyCode) ++lock;
    if (lock == lockservice::kLockCount) throw Error("the lock-key service has no key " + std::to_string(keyCode));
    if (!down) {
        if (pressFailed_[lock]) {
            pressFailed_[lock] = false;
            refused();
        }
        return;
    }
    pressFailed_[lock] = true;
    if (ask({Op::Toggle, lock}).status != Status::Done) refused();
    pressFailed_[lock] = false;
}

void ServiceDevice::drainLeds(const std::function<void(std::uint16_t, bool)>& take) {
    const Reply reply = ask({Op::Read, 0});
    if (reply.status != Status::Done) refused();
    for (unsigned i = 0; i < lockservice::kLockCount; ++i) {
        const bool on = ((reply.lit >> i) & 1u) != 0;
        if (on != (((known_ >> i) & 1u) != 0)) take(kLeds[i], on);
    }
    known_ = reply.lit;
}

std::unique_ptr<Keyboard> openServiceKeyboard(std::string& whyNot, const std::string& socketPath) {
    auto device = std::make_unique<ServiceDevice>(socketPath, 0, kFirstReply);
    unsigned lit = 0;
    try {
        const Reply first = device->ask({Op::Read, 0});
        // Refused now (a session in the background) is no reason to give up:
        // the lights then come from sysfs, which anyone may read.
        lit = first.status == Status::Done ? first.lit : litLocks();
    } catch (const Error&) {
        whyNot = std::string("The lock-key service at ") + socketPath + " does not answer.";
        return nullptr;
    }
    device->settle(lit, kReply);
    return std::make_unique<UinputKeyboard>(std::move(device), lit);
}

}  // namespace tovi::platform
