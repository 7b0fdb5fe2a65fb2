// The netlink side of the Linux interface table: one rtnetlink socket that
// runs RTM_GETLINK and RTM_GETSTATS dumps, and the parsing of what they
// answer (a link's attributes, a link's 64-bit counters).
//
// NetlinkDumper owns its socket and its receive buffer and reuses both; it
// stays in the network namespace it was first used in. Parsed views point
// into the receive buffer and are valid only during the dump's callback.
// One thread at a time.
#pragma once

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/interface_table.h"
#include "platform/linux/unique_fd.h"

namespace tovi::platform {

// Windows result code beyond those the seam names.
inline constexpr std::uint32_t kErrorGenFailure = 31;

// What one RTM_NEWLINK message says about a link.
struct Link {
    const ifinfomsg* info = nullptr;
    std::string_view name;
    std::string_view kind;
    const std::uint8_t* address = nullptr;
    std::size_t addressLength = 0;  // bytes
    std::uint32_t mtu = 0;
    std::uint32_t txQueueLength = 0;  // packets
    rtnl_link_stats64 stats{};
};

// The link of an RTM_NEWLINK message at least as long as its ifinfomsg.
Link parseLink(const nlmsghdr* message);

// The counters of an RTM_NEWSTATS message at least as long as its
// if_stats_msg; what the kernel does not send stays 0.
rtnl_link_stats64 parseStats(const nlmsghdr* message);

class NetlinkDumper {
public:
    struct Request {
        nlmsghdr header;
        union {
            ifinfomsg link;
            if_stats_msg stats;
        };
    };
    static Request linkRequest();
    static Request statsRequest();  // the 64-bit counters of every link

    NetlinkDumper();

    // One dump: onMessage sees every message of the answer but the last.
    // kNoError, kErrorNotSupported without netlink, or kErrorGenFailure.
    template <class OnMessage>
    std::uint32_t dump(Request request, OnMessage&& onMessage) {
        const int fd = socketFd();
        if (fd < 0) return errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT ? kErrorNotSupported : kErrorGenFailure;
        const std::uint32_t result = exchange(fd, request, onMessage);
        // After any failure the socket goes, so that nothing left of this
        // answer can be read as part of the next.
        if (result != kNoError) fd_.reset();
        return result;
    }

private:
    int socketFd();
    bool send(int fd, Request& request);

    template <class OnMessage>
    std::uint32_t exchange(int fd, Request& request, OnMessage& onMessage) {
        if (!send(fd, request)) return kErrorGenFailure;
        const std::uint32_t sequence = request.header.nlmsg_seq;
        for (;;) {
            const ssize_t received = ::recv(fd, receive_.data(), receive_.size(), MSG_TRUNC);
            if (received < 0 && errno == EINTR) continue;
            if (received <= 0 || static_cast<std::size_t>(received) > receive_.size()) return kErrorGenFailure;
            int remaining = static_cast<int>(received);
            for (const nlmsghdr* message = reinterpret_cast<const nlmsghdr*>(receive_.data());
                 NLMSG_OK(message, remaining); message = NLMSG_NEXT(message, remaining)) {
                if (message->nlmsg_seq != sequence) continue;
                if (message->nlmsg_type == NLMSG_DONE) return kNoError;
                if (message->nlmsg_type == NLMSG_ERROR) return kErrorGenFailure;
                onMessage(message);
            }
        }
    }

    // Scratch space for one part of an answer; nothing in it outlives a dump.
    std::vector<std::uint8_t> receive_;
    UniqueFd fd_;
    std::uint32_t sequence_ = 0;
};

}  // namespace tovi::platform
