// The interface table on Linux, read from the kernel over rtnetlink.
//
// A read is laid out as the Windows table is (4-byte row count, then 860-byte
// rows), so the reader decodes it unchanged. The kernel announces every link
// that comes, goes or changes, and a second socket hears it; while nothing
// was announced since the last RTM_GETLINK dump, a read is one RTM_GETSTATS
// dump of the counters laid into that dump's rows, and a size query answers
// from that dump's count. After a change a read is a whole RTM_GETLINK dump
// again, and a size query one RTM_GETSTATS dump that counts the links. Only
// those rows and whether each physical Ethernet link is Wi-Fi (a device's
// kind never changes) are kept between calls; the netlink sockets and the
// receive buffer are reused. The sockets stay in the network namespace they
// were opened in.
//
// Row fields that Linux has no counterpart for are 0: dwSpeed (the kernel
// only knows it through a per-device driver query, too slow for a call made
// up to 41 times a second), dwLastChange, dwInUnknownProtos and
// dwOutNUcastPkts (the kernel counts received multicast only).
//
// One object per process, used on the window's thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/interface_table.h"

namespace tovi::platform {

std::unique_ptr<InterfaceTable> makeInterfaceTable();

// The Windows interface-type code for a Linux link-layer type (ARPHRD_*):
// 6 Ethernet, 24 loopback, 71 wireless, 23 PPP, 131 tunnel, 1 anything else.
// An Ethernet-framed device is wireless when the 802.11 stack drives it.
std::uint32_t windowsInterfaceType(unsigned short linkType, bool wireless);

}  // namespace tovi::platform
