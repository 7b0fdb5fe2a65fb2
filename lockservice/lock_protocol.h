// What the lock-key service and its clients say to each other.
//
// The service listens on kSocketPath, a SOCK_SEQPACKET unix socket that
// systemd creates world-connectable (mode 0666) and hands to the service on
// the first connection. Every message is one packet of exactly four bytes;
// a client sends one request and waits for its reply before the next.
//
//   request  [0] kVersion  [1] op: 1 read, 2 toggle  [2] lock  [3] 0
//            lock is 0 Caps Lock, 1 Num Lock, 2 Scroll Lock for a toggle and
//            0 for a read.
//   reply    [0] kVersion  [1] status: 0 done, 1 refused  [2] lit  [3] 0
//            lit: bit 0 Caps Lock, bit 1 Num Lock, bit 2 Scroll Lock, as the
//            kernel last echoed them (before the toggle's own echo, which
//            comes a millisecond or so later); 0 when refused.
//
// A refused request leaves the connection open: the caller's session may be
// in the foreground again at the next request. Any other packet (another
// length, version, op or lock, a non-zero spare byte) ends the connection.
//
// Plain functions, no state: safe from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tovi::lockservice {

inline constexpr const char* kSocketPath = "/run/tovi-lock-keys.socket";
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kMessageSize = 4;
inline constexpr unsigned kLockCount = 3;  // Caps, Num, Scroll

using Message = std::array<std::uint8_t, kMessageSize>;

enum class Op : std::uint8_t { Read = 1, Toggle = 2 };
enum class Status : std::uint8_t { Done = 0, Refused = 1 };

struct Request {
    Op op;
    unsigned lock;  // 0 for a read
};

struct Reply {
    Status status;
    unsigned lit;  // bits as above
};

// Nothing when the packet is not a well-formed request.
std::optional<Request> parseRequest(const std::uint8_t* data, std::size_t size);
Message formatRequest(const Request& request);

std::optional<Reply> parseReply(const std::uint8_t* data, std::size_t size);
Message formatReply(const Reply& reply);

}  // namespace tovi::lockservice
