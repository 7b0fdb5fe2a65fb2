// What the Linux interface table keeps between reads while no link changes:
// the rows of the last link dump, whether each physical Ethernet link is
// Wi-Fi, and the socket that hears links come, go and change.
//
// While the kernel has announced no change since the last link dump, only
// the counters can differ from its rows, so a read takes the kept rows and
// lays fresh counters into them. Any announcement, a lost one included,
// makes the rows stale until the next link dump.
//
// Owned by the table; one thread at a time. The socket stays in the network
// namespace it was opened in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/netlink_dump.h"
#include "platform/linux/unique_fd.h"

namespace tovi::platform {

class LinkChangeCache {
public:
    // Drains the announcements heard since the last call; forgets the kept
    // rows when any came, when some were lost, or when nobody can listen.
    void noteChanges();

    // The kept rows, back to back; null when stale.
    const std::uint8_t* rows() const { return rowsCurrent_ ? rows_.data() : nullptr; }
    std::size_t rowCount() const;
    void keepRows(const std::uint8_t* rows, std::size_t count);
    void forgetRows() { rowsCurrent_ = false; }
    // Whether rows may be kept at all: only while announcements are heard.
    bool canKeep() const { return static_cast<bool>(changesFd_); }

    // A link dump in progress asks for each link in turn; verdicts of links
    // it did not ask about are forgotten when it ends.
    bool wireless(const Link& link);
    void endLinkDump();

private:
    bool linksChanged();
    bool listen();

    // Whether a physical Ethernet link is Wi-Fi, asked of sysfs once per link
    // rather than on every read: the path walk cost about a seventh of a
    // tick's CPU time at the shortest interval. A device's kind never
    // changes; the name is compared too, so a new device that reuses an
    // index is asked afresh.
    struct WirelessVerdict {
        int index;
        std::string name;  // fits the short-string buffer: IFNAMSIZ is 16
        bool wireless;
    };
    std::vector<WirelessVerdict> wirelessKnown_;  // from the last link dump
    std::vector<WirelessVerdict> wirelessSeen_;   // by the dump in progress

    UniqueFd changesFd_;              // hears the links come, go and change
    bool changesRefused_ = false;     // no such socket could be had: keep nothing
    std::vector<std::uint8_t> rows_;  // the rows of the last link dump
    bool rowsCurrent_ = false;        // no link has changed since that dump
};

}  // namespace tovi::platform
