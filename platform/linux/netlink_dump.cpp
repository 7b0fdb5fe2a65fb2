#include "platform/linux/netlink_dump.h"

#include <sys/time.h>

#include <algorithm>
#include <cstring>

namespace tovi::platform {
namespace {

// The kernel builds dump parts no larger than 32 KiB, so one part always fits.
constexpr std::size_t kReceiveBytes = 32 * 1024;

std::uint32_t attrU32(const rtattr* attr) {
    std::uint32_t value = 0;
    if (RTA_PAYLOAD(attr) >= sizeof value) std::memcpy(&value, RTA_DATA(attr), sizeof value);
    return value;
}

std::string_view attrString(const rtattr* attr) {
    const char* text = static_cast<const char*>(RTA_DATA(attr));
    return {text, strnlen(text, RTA_PAYLOAD(attr))};
}

// Older kernels send a shorter structure; what is missing stays 0.
void copyStats64(rtnl_link_stats64& stats, const rtattr* attr) {
    stats = {};
    std::memcpy(&stats, RTA_DATA(attr), std::min<std::size_t>(RTA_PAYLOAD(attr), sizeof stats));
}

void copyStats32(rtnl_link_stats64& stats, const rtattr* attr) {
    rtnl_link_stats s{};
    std::memcpy(&s, RTA_DATA(attr), std::min<std::size_t>(RTA_PAYLOAD(attr), sizeof s));
    stats.rx_packets = s.rx_packets;
    stats.tx_packets = s.tx_packets;
    stats.rx_bytes = s.rx_bytes;
    stats.tx_bytes = s.tx_bytes;
    stats.rx_errors = s.rx_errors;
    stats.tx_errors = s.tx_errors;
    stats.rx_dropped = s.rx_dropped;
    stats.tx_dropped = s.tx_dropped;
    stats.multicast = s.multicast;
}

std::string_view linkKind(const rtattr* linkInfo) {
    std::string_view kind;
    int nested = static_cast<int>(RTA_PAYLOAD(linkInfo));
    for (const rtattr* inner = static_cast<const rtattr*>(RTA_DATA(linkInfo)); RTA_OK(inner, nested);
         inner = RTA_NEXT(inner, nested)) {
        if (inner->rta_type == IFLA_INFO_KIND) kind = attrString(inner);
    }
    return kind;
}

NetlinkDumper::Request dumpRequest(std::uint16_t type, std::size_t body) {
    NetlinkDumper::Request request{};
    request.header.nlmsg_len = NLMSG_LENGTH(body);
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    return request;
}

}  // namespace

Link parseLink(const nlmsghdr* message) {
    Link link;
    link.info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
    bool haveStats64 = false;
    int remaining = static_cast<int>(IFLA_PAYLOAD(message));
    for (const rtattr* attr = IFLA_RTA(link.info); RTA_OK(attr, remaining); attr = RTA_NEXT(attr, remaining)) {
        switch (attr->rta_type) {
        case IFLA_IFNAME:
            link.name = attrString(attr);
            break;
        case IFLA_MTU:
            link.mtu = attrU32(attr);
            break;
        case IFLA_TXQLEN:
            link.txQueueLength = attrU32(attr);
            break;
        case IFLA_ADDRESS:
            link.address = static_cast<const std::uint8_t*>(RTA_DATA(attr));
            link.addressLength = RTA_PAYLOAD(attr);
            break;
        case IFLA_STATS64:
            copyStats64(link.stats, attr);
            haveStats64 = true;
            break;
        case IFLA_STATS:
            if (!haveStats64) copyStats32(link.stats, attr);
            break;
        case IFLA_LINKINFO:
            link.kind = linkKind(attr);
            break;
        default:
            break;
        }
    }
    return link;
}

rtnl_link_stats64 parseStats(const nlmsghdr* message) {
    rtnl_link_stats64 stats{};
    const auto* header = static_cast<const if_stats_msg*>(NLMSG_DATA(message));
    int remaining = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(if_stats_msg)));
    for (const rtattr* attr = reinterpret_cast<const rtattr*>(reinterpret_cast<const std::uint8_t*>(header) +
                                                               NLMSG_ALIGN(sizeof(if_stats_msg)));
         RTA_OK(attr, remaining); attr = RTA_NEXT(attr, remaining)) {
        if (attr->rta_type == IFLA_STATS_LINK_64) copyStats64(stats, attr);
    }
    return stats;
}

NetlinkDumper::Request NetlinkDumper::linkRequest() {
    Request request = dumpRequest(RTM_GETLINK, sizeof(ifinfomsg));
    request.link.ifi_family = AF_UNSPEC;
    return request;
}

NetlinkDumper::Request NetlinkDumper::statsRequest() {
    Request request = dumpRequest(RTM_GETSTATS, sizeof(if_stats_msg));
    request.stats.family = AF_UNSPEC;
    request.stats.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    return request;
}

NetlinkDumper::NetlinkDumper() : receive_(kReceiveBytes) {}

// The socket is kept between calls: it holds no data of its own, and opening
// one per call doubled the cost of a dump. Answers are matched to their
// request by sequence number.
int NetlinkDumper::socketFd() {
    if (fd_) return fd_.get();
    fd_.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd_) return -1;
    // The kernel answers a dump at once; the limit only keeps a broken answer
    // from hanging the window's thread.
    const timeval limit{1, 0};
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd_.get();
}

bool NetlinkDumper::send(int fd, Request& request) {
    request.header.nlmsg_seq = ++sequence_;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                    sizeof kernel) >= 0;
}

}  // namespace tovi::platform
