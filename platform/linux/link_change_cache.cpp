#include "platform/linux/link_change_cache.h"

#include <fcntl.h>
#include <linux/if_arp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/interface_table.h"

namespace tovi::platform {
namespace {

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

}  // namespace

void LinkChangeCache::noteChanges() {
    if (linksChanged()) rowsCurrent_ = false;
}

std::size_t LinkChangeCache::rowCount() const { return rowsCurrent_ ? rows_.size() / kIfRowSize : 0; }

void LinkChangeCache::keepRows(const std::uint8_t* rows, std::size_t count) {
    rows_.assign(rows, rows + count * kIfRowSize);
    rowsCurrent_ = true;
}

bool LinkChangeCache::wireless(const Link& link) {
    if (!mayBeWireless(link)) return false;
    const auto known = std::find_if(wirelessKnown_.begin(), wirelessKnown_.end(), [&](const WirelessVerdict& v) {
        return v.index == link.info->ifi_index && v.name == link.name;
    });
    const bool verdict = known != wirelessKnown_.end() ? known->wireless : askSysfsWireless(link);
    wirelessSeen_.push_back({link.info->ifi_index, std::string(link.name), verdict});
    return verdict;
}

void LinkChangeCache::endLinkDump() {
    wirelessKnown_.swap(wirelessSeen_);
    wirelessSeen_.clear();
}

// The kernel announces every link that comes, goes or changes (name, flags,
// carrier, MTU, address, queue length) on the RTNLGRP_LINK group; the socket
// listens from the first call on. True when anything came, when
// announcements were lost, or when nobody can listen.
bool LinkChangeCache::linksChanged() {
    if (!changesFd_ && !changesRefused_) return listen();
    if (!changesFd_) return true;
    // Only that something came matters, not what: each message is cut to
    // nothing and dropped.
    std::uint8_t scratch[64];
    bool changed = false;
    for (;;) {
        const ssize_t received = ::recv(changesFd_.get(), scratch, sizeof scratch, MSG_DONTWAIT | MSG_TRUNC);
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

bool LinkChangeCache::listen() {
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

}  // namespace tovi::platform
