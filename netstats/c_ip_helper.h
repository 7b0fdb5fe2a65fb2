// CIpHelper: the system's one source of network statistics.
//
// Reading Interfaces() performs a complete refresh of the interface table:
// a new CInterfaces of new records, and both byte totals recomputed from
// scratch. BytesReceived() and BytesSent() only return the totals of the last
// refresh. Failures inside a refresh never reach the caller: it finds an
// empty collection and totals of 0, and tableRead() says false, so that the
// tick can tell such totals from a quiet table. A table the system does not support is
// told once in a message box, and told again only after a refresh in between
// has read the table: a box on every tick would keep the user from the window.
//
// The totals are sums modulo 2^32 held as signed 32-bit numbers, so that
// growth of any counter always grows the total (two busy interfaces together
// passing 2^31 must not drop one of them out of the sum).
//
// Owned through std::shared_ptr by the window; window thread only.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>
#include <vector>

#include "netstats/c_interfaces.h"

namespace tovi {
namespace platform {
class InterfaceTable;
class Toolkit;
}  // namespace platform

inline constexpr const char* kIpHelperNotSupported = "IP Helper is not supported by this system.";

class CIpHelper {
public:
    // The table to read, and the toolkit that shows the not-supported message.
    CIpHelper(platform::InterfaceTable& table, platform::Toolkit& toolkit);

    std::shared_ptr<CInterfaces> Interfaces();               // get: refreshes
    void setInterfaces(std::shared_ptr<CInterfaces> vData);  // set: shares, totals untouched
    std::int32_t BytesReceived() const { return received_; }
    std::int32_t BytesSent() const { return sent_; }
    // Whether the last refresh read the table (its totals are real). False on
    // a new object and after a refresh that ended early.
    bool tableRead() const { return tableRead_; }

private:
    void RefreshTable();
    // The steps of RefreshTable, in order.
    std::uint32_t querySize(std::uint32_t& size);
    bool toldNotSupported(std::uint32_t result);
    bool readTable(std::vector<std::uint8_t>& buffer);
    std::size_t rowsToDecode(const std::vector<std::uint8_t>& buffer);
    void addRow(const std::uint8_t* row, DateTime bootTime, bool haveBootTime, CInterfaces* target);

    platform::InterfaceTable& table_;
    platform::Toolkit& toolkit_;
    std::shared_ptr<CInterfaces> interfaces_;
    std::int32_t received_ = 0;         // bytes, modulo 2^32
    std::int32_t sent_ = 0;             // bytes, modulo 2^32
    bool tableRead_ = false;            // the last refresh decoded a row count
    bool notSupportedShowing_ = false;  // one message box at a time
    // The user has closed the not-supported box and no refresh has read the
    // table since: the same answer is not told again.
    bool notSupportedTold_ = false;
};

}  // namespace tovi
