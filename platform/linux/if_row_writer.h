// Writes the Windows 860-byte interface rows from what netlink says about a
// link, so that the reader decodes a Linux table unchanged.
//
// Row fields that Linux has no counterpart for are 0: dwSpeed (the kernel
// only knows it through a per-device driver query, too slow for a call made
// up to 41 times a second), dwLastChange, dwInUnknownProtos and
// dwOutNUcastPkts (the kernel counts received multicast only).
//
// Plain functions over caller-owned bytes; no state.
#pragma once

#include <linux/if_link.h>

#include <cstddef>
#include <cstdint>

#include "platform/linux/netlink_dump.h"

namespace tovi::platform {

// A whole row for the link; `wireless` says the 802.11 stack drives it.
void fillRow(std::uint8_t* row, const Link& link, bool wireless);

// The row's traffic counters: all that changes between two reads of a link
// that has not itself changed. The row's type must be written already.
void putCounters(std::uint8_t* row, const rtnl_link_stats64& stats);

// Rows back to back, by ascending dwIndex.
void sortRowsByIndex(std::uint8_t* rows, std::size_t count);

}  // namespace tovi::platform
