#include "lockservice/lock_protocol.h"

namespace tovi::lockservice {

namespace {
constexpr unsigned kAllLocks = (1u << kLockCount) - 1;
}

std::optional<Request> parseRequest(const std::uint8_t* data, std::size_t size) {
    if (size != kMessageSize || data[0] != kVersion || data[3] != 0) return std::nullopt;
    switch (data[1]) {
    case static_cast<std::uint8_t>(Op::Read):
        if (data[2] != 0) return std::nullopt;
        return Request{Op::Read, 0};
    case static_cast<std::uint8_t>(Op::Toggle):
        if (data[2] >= kLockCount) return std::nullopt;
        return Request{Op::Toggle, data[2]};
    default:
        return std::nullopt;
    }
}

Message formatRequest(const Request& request) {
    return {kVersion, static_cast<std::uint8_t>(request.op), static_cast<std::uint8_t>(request.lock), 0};
}

std::optional<Reply> parseReply(const std::uint8_t* data, std::size_t size) {
    if (size != kMessageSize || data[0] != kVersion || data[3] != 0 || (data[2] & ~kAllLocks) != 0) {
        return std::nullopt;
    }
    if (data[1] == static_cast<std::uint8_t>(Status::Done)) return Reply{Status::Done, data[2]};
    if (data[1] == static_cast<std::uint8_t>(Status::Refused) && data[2] == 0) return Reply{Status::Refused, 0};
    return std::nullopt;
}

Message formatReply(const Reply& reply) {
    const unsigned lit = reply.status == Status::Done ? reply.lit & kAllLocks : 0;
    return {kVersion, static_cast<std::uint8_t>(reply.status), static_cast<std::uint8_t>(lit), 0};
}

}  // namespace tovi::lockservice
