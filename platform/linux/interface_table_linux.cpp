#include "platform/linux/interface_table_linux.h"

#include <fcntl.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace tovi::platform {
namespace {

// Windows result codes beyond those the seam names.
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidParameter = 87;

// Windows interface-type and status codes.
constexpr std::uint32_t kIfTypeOther = 1;
constexpr std::uint32_t kIfTypeEthernet = 6;
constexpr std::uint32_t kIfTypePpp = 23;
constexpr std::uint32_t kIfTypeLoopback = 24;
constexpr std::uint32_t kIfTypeWireless = 71;
constexpr std::uint32_t kIfTypeTunnel = 131;
constexpr std::uint32_t kAdminUp = 1;
constexpr std::uint32_t kAdminDown = 2;
constexpr std::uint32_t kOperOperational = 5;
constexpr std::uint32_t kOperDisconnected = 2;

using namespace ifrow;

// The kernel builds dump parts no larger than 32 KiB, so one part always fits.
constexpr std::size_t kReceiveBytes = 32 * 1024;

void put32(std::uint8_t* p, std::uint64_t value) {
    // Counters are cut to their low 32 bits, as the Windows row holds them.
    store32(p, static_cast<std::uint32_t>(value));
}

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

std::uint32_t attrU32(const rtattr* attr) {
    std::uint32_t value = 0;
    if (RTA_PAYLOAD(attr) >= sizeof value) std::memcpy(&value, RTA_DATA(attr), sizeof value);
    return value;
}

std::string_view attrString(const rtattr* attr) {
    const char* text = static_cast<const char*>(RTA_DATA(attr));
    return {text, strnlen(text, RTA_PAYLOAD(attr))};
}

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
            // Older kernels send a shorter structure; what is missing stays 0.
            link.stats = {};
            std::memcpy(&link.stats, RTA_DATA(attr), std::min<std::size_t>(RTA_PAYLOAD(attr), sizeof link.stats));
            haveStats64 = true;
            break;
        case IFLA_STATS:
            if (!haveStats64) {
                rtnl_link_stats s{};
                std::memcpy(&s, RTA_DATA(attr), std::min<std::size_t>(RTA_PAYLOAD(attr), sizeof s));
                link.stats.rx_packets = s.rx_packets;
                link.stats.tx_packets = s.tx_packets;
                link.stats.rx_bytes = s.rx_bytes;
                link.stats.tx_bytes = s.tx_bytes;
                link.stats.rx_errors = s.rx_errors;
                link.stats.tx_errors = s.tx_errors;
                link.stats.rx_dropped = s.rx_dropped;
                link.stats.tx_dropped = s.tx_dropped;
                link.stats.multicast = s.multicast;
            }
            break;
        case IFLA_LINKINFO: {
            int nested = static_cast<int>(RTA_PAYLOAD(attr));
            for (const rtattr* inner = static_cast<const rtattr*>(RTA_DATA(attr)); RTA_OK(inner, nested);
                 inner = RTA_NEXT(inner, nested)) {
                if (inner->rta_type == IFLA_INFO_KIND) link.kind = attrString(inner);
            }
            break;
        }
        default:
            break;
        }
    }
    return link;
}

// Managed-mode Wi-Fi devices are Ethernet-framed; only the 802.11 stack's
// mark in sysfs tells them apart. Only physical Ethernet rows (no link kind)
// need the question asked.
bool mayBeWireless(const Link& link) {
    return link.info->ifi_type == ARPHRD_ETHER && link.kind.empty() && !link.name.empty() &&
           link.name.size() < IFNAMSIZ;
}

// One stat, no file read.
bool askSysfsWireless(const Link& link) {
    char path[64];
    std::snprintf(path, sizeof path, "/sys/class/net/%.*s/phy80211", static_cast<int>(link.name.size()),
                  link.name.data());
    return ::faccessat(AT_FDCWD, path, F_OK, 0) == 0;
}

// Interface names are bytes, normally ASCII; UTF-8 sequences are decoded and
// any byte that is not part of one stands for itself.
std::size_t putName(std::uint8_t* row, std::string_view name) {
    std::size_t units = 0;
    const auto putUnit = [&](char32_t unit) {
        if (units >= kNameUnits) return;
        row[kName + 2 * units] = static_cast<std::uint8_t>(unit);
        row[kName + 2 * units + 1] = static_cast<std::uint8_t>(unit >> 8);
        ++units;
    };
    for (std::size_t i = 0; i < name.size();) {
        const auto b = static_cast<unsigned char>(name[i]);
        std::size_t length = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
        char32_t c = length == 1 ? b : b & (0x3F >> (length - 1));
        if (i + length > name.size()) length = 1, c = b;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            if ((next & 0xC0) != 0x80) {
                length = 1;
                c = b;
                break;
            }
            c = c << 6 | (next & 0x3F);
        }
        if (c >= 0x10000) {
            putUnit(0xD800 + ((c - 0x10000) >> 10));
            putUnit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            putUnit(c);
        }
        i += length;
    }
    return units;
}

// The row's traffic counters: all that changes between two reads of a link
// that has not itself changed.
void putCounters(std::uint8_t* row, const rtnl_link_stats64& s) {
    put32(row + kInOctets, s.rx_bytes);
    put32(row + kInUcastPkts, s.rx_packets > s.multicast ? s.rx_packets - s.multicast : 0);
    put32(row + kInNUcastPkts, s.multicast);
    put32(row + kInDiscards, s.rx_dropped);
    put32(row + kInErrors, s.rx_errors);
    put32(row + kOutOctets, s.tx_bytes);
    put32(row + kOutUcastPkts, s.tx_packets);
    put32(row + kOutDiscards, s.tx_dropped);
    put32(row + kOutErrors, s.tx_errors);
}

void fillRow(std::uint8_t* row, const Link& link, bool wireless) {
    std::memset(row, 0, kIfRowSize);
    putName(row, link.name);
    put32(row + kIndex, static_cast<std::uint32_t>(link.info->ifi_index));
    put32(row + kType, windowsInterfaceType(link.info->ifi_type, wireless));
    put32(row + kMtu, link.mtu);
    const std::size_t addressLength = std::min(link.addressLength, kPhysAddrBytes);
    put32(row + kPhysAddrLen, addressLength);
    if (addressLength > 0) std::memcpy(row + kPhysAddr, link.address, addressLength);
    put32(row + kAdminStatus, (link.info->ifi_flags & IFF_UP) ? kAdminUp : kAdminDown);
    put32(row + kOperStatus, (link.info->ifi_flags & IFF_RUNNING) ? kOperOperational : kOperDisconnected);
    putCounters(row, link.stats);
    put32(row + kOutQLen, link.txQueueLength);

    const std::size_t descrLength = std::min(link.name.size(), kDescrBytes);
    put32(row + kDescrLen, descrLength);
    std::memcpy(row + kDescr, link.name.data(), descrLength);
}

// The order flag asks for rows by index. The kernel dumps by hash bucket of
// the index, which is index order only for small tables.
void sortRowsByIndex(std::uint8_t* rows, std::size_t count) {
    std::array<std::uint8_t, kIfRowSize> held;
    for (std::size_t i = 1; i < count; ++i) {
        std::memcpy(held.data(), rows + i * kIfRowSize, kIfRowSize);
        const std::uint32_t index = load32(held.data() + kIndex);
        std::size_t j = i;
        for (; j > 0 && load32(rows + (j - 1) * kIfRowSize + kIndex) > index; --j) {
            std::memcpy(rows + j * kIfRowSize, rows + (j - 1) * kIfRowSize, kIfRowSize);
        }
        std::memcpy(rows + j * kIfRowSize, held.data(), kIfRowSize);
    }
}

class NetlinkInterfaceTable final : public InterfaceTable {
public:
    NetlinkInterfaceTable() : receive_(kReceiveBytes) {}
    NetlinkInterfaceTable(const NetlinkInterfaceTable&) = delete;
    NetlinkInterfaceTable& operator=(const NetlinkInterfaceTable&) = delete;

    std::uint32_t getIfTable(std::uint8_t* table, std::uint32_t* size, bool order) override {
        if (size == nullptr) return kErrorInvalidParameter;
        std::size_t count = 0;
        noteChanges();
        if (table == nullptr) {
            // Only the number of links is wanted; while no link has come, gone
            // or changed since the last count, that count still holds.
            if (knownCount_ >= 0) return reportNeeded(static_cast<std::size_t>(knownCount_), size);
            // The statistics dump carries one small message per link, a
            // fraction of the link dump's cost.
            const std::uint32_t result = countLinks(count);
            if (result != kNoError) return result;
            if (changesFd_) knownCount_ = static_cast<long>(count);
            return reportNeeded(count, size);
        }

        const std::size_t capacity = *size < kIfTableHeaderSize ? 0 : (*size - kIfTableHeaderSize) / kIfRowSize;
        std::uint32_t result = readCounters(table, capacity, count);
        if (result != kNoError) {
            count = 0;
            result = readLinks(table, capacity, count);
            if (result != kNoError) return result;
        }
        if (count > capacity) return reportNeeded(count, size);
        put32(table, count);
        if (order) sortRowsByIndex(table + kIfTableHeaderSize, count);
        return kNoError;
    }

    double bootTime() override {
        timespec now{}, sinceBoot{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
        const double bootSeconds = static_cast<double>(now.tv_sec - sinceBoot.tv_sec) +
                                   static_cast<double>(now.tv_nsec - sinceBoot.tv_nsec) / 1e9;
        const time_t bootWhole = static_cast<time_t>(bootSeconds);
        tm local{};
        ::localtime_r(&bootWhole, &local);
        constexpr double kUnixEpochDay = 25569.0;  // 1 January 1970 counted from 30 December 1899
        return kUnixEpochDay + (bootSeconds + static_cast<double>(local.tm_gmtoff)) / 86400.0;
    }

private:
    struct Request {
        nlmsghdr header;
        union {
            ifinfomsg link;
            if_stats_msg stats;
        };
    };

    static std::uint32_t reportNeeded(std::size_t count, std::uint32_t* size) {
        const std::uint64_t needed = kIfTableHeaderSize + static_cast<std::uint64_t>(count) * kIfRowSize;
        if (needed > UINT32_MAX) return kErrorGenFailure;
        *size = static_cast<std::uint32_t>(needed);
        return kErrorInsufficientBuffer;
    }

    // A dump request whose body (after the header) is `body` bytes, all zero.
    static Request dumpRequest(std::uint16_t type, std::size_t body) {
        Request request{};
        request.header.nlmsg_len = NLMSG_LENGTH(body);
        request.header.nlmsg_type = type;
        request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        return request;
    }

    static Request linkRequest() {
        Request request = dumpRequest(RTM_GETLINK, sizeof(ifinfomsg));
        request.link.ifi_family = AF_UNSPEC;
        return request;
    }

    // A whole link dump: every field of every row. Its rows are kept for the
    // reads that follow while no link changes.
    std::uint32_t readLinks(std::uint8_t* table, std::size_t capacity, std::size_t& count) {
        rowsCurrent_ = false;
        wirelessSeen_.clear();
        const std::uint32_t result = dump(linkRequest(), [&](const nlmsghdr* message) {
            if (message->nlmsg_type != RTM_NEWLINK || message->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
            if (count < capacity) {
                const Link link = parseLink(message);
                fillRow(rowAt(table, count), link, wireless(link));
            }
            ++count;
        });
        // Verdicts of links that are gone are forgotten.
        wirelessKnown_.swap(wirelessSeen_);
        if (result != kNoError || count > capacity || !changesFd_ || statsDumpRefused_) return result;
        rows_.assign(table + kIfTableHeaderSize, rowAt(table, count));
        rowsCurrent_ = true;
        knownCount_ = static_cast<long>(count);
        return result;
    }

    // While no link has come, gone or changed since the last link dump, only
    // the counters can differ from its rows, and the statistics dump brings
    // them for a third of the link dump's cost. Any link it names that the
    // kept rows lack, or a number of links that differs, sends the read to
    // the link dump instead (kErrorGenFailure here).
    std::uint32_t readCounters(std::uint8_t* table, std::size_t capacity, std::size_t& count) {
        if (!rowsCurrent_) return kErrorGenFailure;
        const std::size_t kept = rows_.size() / kIfRowSize;
        bool known = true;
        const std::uint32_t result = dump(statsRequest(), [&](const nlmsghdr* message) {
            if (message->nlmsg_type != RTM_NEWSTATS || message->nlmsg_len < NLMSG_LENGTH(sizeof(if_stats_msg))) return;
            const auto* header = static_cast<const if_stats_msg*>(NLMSG_DATA(message));
            // Both dumps visit the links in the same order, so the row is
            // nearly always the one at the same place.
            const std::uint8_t* row = nullptr;
            for (std::size_t k = 0; k < kept && row == nullptr; ++k) {
                const std::uint8_t* candidate = rows_.data() + ((count + k) % kept) * kIfRowSize;
                if (load32(candidate + kIndex) == static_cast<std::uint32_t>(header->ifindex)) row = candidate;
            }
            if (row == nullptr) known = false;
            if (row != nullptr && count < capacity) {
                rtnl_link_stats64 stats{};
                int remaining = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(if_stats_msg)));
                for (const rtattr* attr = reinterpret_cast<const rtattr*>(
                         reinterpret_cast<const std::uint8_t*>(header) + NLMSG_ALIGN(sizeof(if_stats_msg)));
                     RTA_OK(attr, remaining); attr = RTA_NEXT(attr, remaining)) {
                    if (attr->rta_type != IFLA_STATS_LINK_64) continue;
                    std::memcpy(&stats, RTA_DATA(attr), std::min<std::size_t>(RTA_PAYLOAD(attr), sizeof stats));
                }
                std::uint8_t* out = rowAt(table, count);
                std::memcpy(out, row, kIfRowSize);
                putCounters(out, stats);
            }
            ++count;
        });
        if (result != kNoError) return result;
        if (!known || count != kept) {
            rowsCurrent_ = false;
            return kErrorGenFailure;
        }
        return kNoError;
    }

    static Request statsRequest() {
        Request request = dumpRequest(RTM_GETSTATS, sizeof(if_stats_msg));
        request.stats.family = AF_UNSPEC;
        request.stats.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
        return request;
    }

    std::uint32_t countLinks(std::size_t& count) {
        if (!statsDumpRefused_) {
            const std::uint32_t result = dump(statsRequest(), [&](const nlmsghdr* message) {
                if (message->nlmsg_type == RTM_NEWSTATS) ++count;
            });
            if (result == kNoError) return kNoError;
            // Kernels before 4.7 have no statistics dump; count links instead.
            statsDumpRefused_ = true;
            count = 0;
        }
        return dump(linkRequest(), [&](const nlmsghdr* message) {
            if (message->nlmsg_type == RTM_NEWLINK) ++count;
        });
    }

    // The socket is kept between calls: it holds no data of its own, and
    // opening one per call doubled the cost of a dump. Answers are matched to
    // their request by sequence number, and after any failure the socket is
    // closed, so nothing left of an earlier dump can be read as current.
    int socketFd() {
        if (fd_) return fd_.get();
        fd_.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
        if (!fd_) return -1;
        // The kernel answers a dump at once; the limit only keeps a broken
        // answer from hanging the window's thread.
        const timeval limit{1, 0};
        ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        return fd_.get();
    }

    // Forgets the kept count and rows when a link has come, gone or changed.
    void noteChanges() {
        if (!linksChanged()) return;
        knownCount_ = -1;
        rowsCurrent_ = false;
    }

    // The kernel announces every link that comes, goes or changes (name,
    // flags, carrier, MTU, address, queue length) on the RTNLGRP_LINK group;
    // a second socket listens from the first call on. Drains what it heard:
    // true when anything came, when announcements were lost, or when nobody
    // can listen (then nothing is ever kept).
    bool linksChanged() {
        if (!changesFd_ && !changesRefused_) {
            changesFd_.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
            sockaddr_nl group{};
            group.nl_family = AF_NETLINK;
            group.nl_groups = RTMGRP_LINK;
            if (changesFd_ && ::bind(changesFd_.get(), reinterpret_cast<const sockaddr*>(&group), sizeof group) != 0) {
                changesFd_.reset();
            }
            if (!changesFd_) changesRefused_ = true;
            return true;
        }
        if (!changesFd_) return true;
        bool changed = false;
        for (;;) {
            const ssize_t received =
                ::recv(changesFd_.get(), receive_.data(), receive_.size(), MSG_DONTWAIT | MSG_TRUNC);
            if (received >= 0) {
                changed = true;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return changed;
            } else if (errno == ENOBUFS) {
                changed = true;  // announcements were dropped; the socket goes on
            } else if (errno != EINTR) {
                changesFd_.reset();
                changesRefused_ = true;
                return true;
            }
        }
    }

    // One dump; onMessage sees every message of the answer but the last.
    template <class OnMessage>
    std::uint32_t dump(Request request, OnMessage&& onMessage) {
        const int fd = socketFd();
        if (fd < 0) return errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT ? kErrorNotSupported : kErrorGenFailure;
        const std::uint32_t result = exchange(fd, request, onMessage);
        if (result != kNoError) fd_.reset();
        return result;
    }

    template <class OnMessage>
    std::uint32_t exchange(int fd, Request& request, OnMessage& onMessage) {
        const std::uint32_t sequence = ++sequence_;
        request.header.nlmsg_seq = sequence;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                     sizeof kernel) < 0) {
            return kErrorGenFailure;
        }
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

    // Whether a physical Ethernet link is Wi-Fi, asked of sysfs once per link
    // rather than on every read: the path walk cost about a seventh of a
    // tick's CPU time at the shortest interval. A device's kind never changes;
    // the name is compared too, so a new device that reuses an index is asked
    // afresh.
    struct WirelessVerdict {
        int index;
        std::string name;  // fits the short-string buffer: IFNAMSIZ is 16
        bool wireless;
    };
    bool wireless(const Link& link) {
        if (!mayBeWireless(link)) return false;
        const auto known = std::find_if(wirelessKnown_.begin(), wirelessKnown_.end(), [&](const WirelessVerdict& v) {
            return v.index == link.info->ifi_index && v.name == link.name;
        });
        const bool verdict = known != wirelessKnown_.end() ? known->wireless : askSysfsWireless(link);
        wirelessSeen_.push_back({link.info->ifi_index, std::string(link.name), verdict});
        return verdict;
    }

    // Scratch space for one part of an answer; nothing in it outlives a call.
    std::vector<std::uint8_t> receive_;
    std::vector<WirelessVerdict> wirelessKnown_;  // from the last read
    std::vector<WirelessVerdict> wirelessSeen_;   // by the read in progress
    UniqueFd fd_;
    std::uint32_t sequence_ = 0;
    bool statsDumpRefused_ = false;   // a property of the kernel, not of its data
    UniqueFd changesFd_;              // hears the links come, go and change
    bool changesRefused_ = false;     // no such socket could be had: keep nothing
    long knownCount_ = -1;            // links at the last count, -1 for none
    std::vector<std::uint8_t> rows_;  // the rows of the last link dump
    bool rowsCurrent_ = false;        // no link has changed since that dump
};

}  // namespace

std::uint32_t windowsInterfaceType(unsigned short linkType, bool wireless) {
    switch (linkType) {
    case ARPHRD_ETHER:
        return wireless ? kIfTypeWireless : kIfTypeEthernet;
    case ARPHRD_LOOPBACK:
        return kIfTypeLoopback;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
        return kIfTypeWireless;
    case ARPHRD_PPP:
        return kIfTypePpp;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_IP6GRE:
    case ARPHRD_NONE:  // tun and wireguard: layer-3 devices without a link header
        return kIfTypeTunnel;
    default:
        return kIfTypeOther;
    }
}

std::unique_ptr<InterfaceTable> makeInterfaceTable() { return std::make_unique<NetlinkInterfaceTable>(); }

}  // namespace tovi::platform
