// The interface table on Linux, read from the kernel over rtnetlink.
//
// A read is laid out as the Windows table is (4-byte row count, then 860-byte
// rows; if_row_writer.h), so the reader decodes it unchanged. A size query
// takes a whole reading of the table and answers with its size; the read
// after it hands over that same reading, so the two always agree, however
// links come and go between them (a read without a query takes its own).
// While the kernel has announced no change of links since the last
// RTM_GETLINK dump, a reading is one RTM_GETSTATS dump of the counters laid
// into that dump's rows (link_change_cache.h); otherwise it is a whole
// RTM_GETLINK dump (netlink_dump.h). The loopback row counts no octets, as
// on Windows, whose stack never lets loopback traffic reach an interface.
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
