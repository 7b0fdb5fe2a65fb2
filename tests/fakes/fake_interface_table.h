// In-process interface table for tests: builds table buffers from rows and
// scripts every answer the reader can meet.
//
// By default it behaves as the real call does: a query without a table (or
// with too small a size) reports the table's size and 122, a read into a
// large enough buffer copies the table and returns 0. Tests then change the
// answers, corrupt the buffer (lying row counts, truncated rows), make the
// call impossible, or grow the table between the size query and the read.
// Every call is recorded. Single-threaded, like the reader.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/interface_table.h"

namespace tovi::fakes {

// One row of the table, field by field, as the platform would fill it.
struct IfRow {
    std::u16string name;  // up to 256 units; NUL-padded in the row
    std::uint32_t index = 0;
    std::uint32_t type = 6;
    std::uint32_t mtu = 1500;
    std::uint32_t speed = 0;  // bits per second
    std::uint32_t physAddrLen = 0;
    std::array<std::uint8_t, 8> physAddr{};
    std::uint32_t adminStatus = 1;
    std::uint32_t operStatus = 5;
    std::uint32_t lastChange = 0;  // hundredths of a second since boot
    std::uint32_t inOctets = 0;
    std::uint32_t inUcastPkts = 0;
    std::uint32_t inNUcastPkts = 0;
    std::uint32_t inDiscards = 0;
    std::uint32_t inErrors = 0;
    std::uint32_t inUnknownProtos = 0;
    std::uint32_t outOctets = 0;
    std::uint32_t outUcastPkts = 0;
    std::uint32_t outNUcastPkts = 0;
    std::uint32_t outDiscards = 0;
    std::uint32_t outErrors = 0;
    std::uint32_t outQLen = 0;
    std::uint32_t descrLen = 0;
    std::string descr;  // raw bytes, up to 256; NUL-padded in the row

    // A row with the given byte counters; description = name, length set.
    static IfRow withOctets(std::uint32_t in, std::uint32_t out, const std::string& asciiName = "eth0");
    IfRow& setDescription(const std::string& bytes);               // also sets descrLen
    IfRow& setAddress(std::initializer_list<std::uint8_t> bytes);  // also sets physAddrLen
};

// The 860 bytes of one row.
std::array<std::uint8_t, platform::kIfRowSize> encodeRow(const IfRow& row);

// A whole table buffer. `claimedCount` overrides the row count written in the
// first 4 bytes (a lying count); without it the count is rows.size().
std::vector<std::uint8_t> encodeTable(const std::vector<IfRow>& rows,
                                      std::optional<std::int32_t> claimedCount = std::nullopt);

class FakeInterfaceTable : public platform::InterfaceTable {
public:
    struct Call {
        bool withTable;         // false for a size query
        std::uint32_t sizeIn;   // bytes
        std::uint32_t sizeOut;  // bytes
        bool order;
        std::uint32_t result;
    };

    FakeInterfaceTable() : table(encodeTable({})) {}

    // Replaces the table with these rows.
    void setRows(const std::vector<IfRow>& rows) { table = encodeTable(rows); }

    std::uint32_t getIfTable(std::uint8_t* buffer, std::uint32_t* size, bool order) override;
    double bootTime() override;

    // The bytes a read copies out; their length is the size reported.
    std::vector<std::uint8_t> table;

    // Answers.
    std::uint32_t sizeQueryResult = platform::kErrorInsufficientBuffer;
    std::optional<std::uint32_t> reportedSize;      // overrides table.size() in answers
    bool sizeQueryLeavesSizeAlone = false;          // a failure that does not set the size
    std::uint32_t readResult = platform::kNoError;  // for a read into a large enough buffer
    bool missing = false;                           // the call cannot be made: throws
    std::function<void()> afterSizeQuery;           // e.g. grow the table before the read

    double boot = 44000.5;  // days since 30 December 1899
    bool bootTimeFails = false;

    std::vector<Call> calls;
    int bootTimeCalls = 0;
};

}  // namespace tovi::fakes
