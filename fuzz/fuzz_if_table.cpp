// The interface-table reader against a platform that answers anything: any
// size-query and read result, any reported size, a call that cannot be made,
// and table bytes that are arbitrary (a lying row count, cut rows, garbage
// in every field).
//
// Input: the table bytes, then (at the end, where FuzzedDataProvider takes
// integers from) one byte choosing the answers and a size adjustment.
//
// Beyond "no crash, no sanitizer report", the refresh is checked against an
// independent decoding of the same bytes: the number of records, every
// counter field, and both totals (sums modulo 2^32).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "fuzz/fuzz_support.h"
#include "netstats/c_ip_helper.h"
#include "platform/interface_table.h"

namespace {

using tovi::platform::kIfRowSize;
using tovi::platform::kIfTableHeaderSize;

// No table a real system gives comes near this; it bounds one run's memory.
constexpr std::uint32_t kLargestReportedSize = 1 << 20;  // bytes

namespace ifrow = tovi::platform::ifrow;
using ifrow::load32;

class ScriptedTable : public tovi::platform::InterfaceTable {
public:
    std::uint32_t getIfTable(std::uint8_t* table, std::uint32_t* size, bool) override {
        ++calls;
        if (table == nullptr) {
            if (!sizeQueryLeavesSize) *size = reportedSize;
            return sizeQueryResult;
        }
        if (readThrows) throw tovi::Error("GetIfTable has gone");
        if (!bytes.empty()) std::memcpy(table, bytes.data(), std::min<std::size_t>(bytes.size(), *size));
        return readResult;
    }
    double bootTime() override {
        if (bootTimeThrows) throw tovi::Error("no boot time");
        return 44000.25;
    }

    std::vector<std::uint8_t> bytes;
    std::uint32_t reportedSize = 0;  // bytes
    std::uint32_t sizeQueryResult = 122;
    bool sizeQueryLeavesSize = false;
    std::uint32_t readResult = 0;
    bool readThrows = false;
    bool bootTimeThrows = false;
    int calls = 0;
};

// What a refresh must produce from the table, decoded independently.
struct Expected {
    std::size_t rows = 0;
    std::uint32_t received = 0;  // modulo 2^32
    std::uint32_t sent = 0;
    std::vector<std::uint8_t> buffer;  // as the reader got it
};

Expected expect(const ScriptedTable& t) {
    Expected e;
    if (t.sizeQueryResult == tovi::platform::kErrorNotSupported) return e;
    const std::uint32_t size = t.sizeQueryLeavesSize ? 0 : t.reportedSize;
    if (t.readThrows && size > 0) return e;
    // With no buffer the read is made without a table, and answers as the size query did.
    const std::uint32_t readResult = size == 0 ? t.sizeQueryResult : t.readResult;
    if (readResult != 0 || size < kIfTableHeaderSize) return e;
    e.buffer.assign(size, 0);
    if (!t.bytes.empty()) std::memcpy(e.buffer.data(), t.bytes.data(), std::min<std::size_t>(t.bytes.size(), size));
    const auto count = static_cast<std::int32_t>(load32(e.buffer.data()));
    const std::size_t whole = (size - kIfTableHeaderSize) / kIfRowSize;
    e.rows = count <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(count), whole);
    for (std::size_t i = 0; i < e.rows; ++i) {
        const std::uint8_t* row = ifrow::rowAt(e.buffer.data(), i);
        e.received += load32(row + ifrow::kInOctets);
        e.sent += load32(row + ifrow::kOutOctets);
    }
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto scenario = in.ConsumeIntegral<std::uint8_t>();
    const auto adjust = in.ConsumeIntegralInRange<std::int32_t>(-64, 4 * kIfRowSize);
    ScriptedTable table;
    table.bytes = in.ConsumeRemainingBytes<std::uint8_t>();

    static constexpr std::uint32_t kSizeAnswers[] = {122, 122, 0, 50, 87, 122, 31, 122};
    table.sizeQueryResult = kSizeAnswers[scenario & 7];
    table.sizeQueryLeavesSize = (scenario & 0x08) != 0 && (scenario & 0x10) != 0;
    table.readResult = (scenario & 0x20) != 0 && (scenario & 0x40) != 0 ? 31 : 0;
    table.readThrows = (scenario & 0xE0) == 0xE0;
    table.bootTimeThrows = (scenario & 0x90) == 0x90;
    const std::int64_t reported = static_cast<std::int64_t>(table.bytes.size()) + adjust;
    table.reportedSize = static_cast<std::uint32_t>(std::clamp<std::int64_t>(reported, 0, kLargestReportedSize));

    tovi::fuzz::CountingToolkit toolkit;
    tovi::CIpHelper helper(table, toolkit);
    const Expected e = expect(table);

    for (int pass = 0; pass < 2; ++pass) {
        const auto interfaces = helper.Interfaces();
        TOVI_FUZZ_CHECK(interfaces != nullptr);
        TOVI_FUZZ_CHECK(static_cast<std::size_t>(interfaces->Count()) == e.rows);
        TOVI_FUZZ_CHECK(static_cast<std::uint32_t>(helper.BytesReceived()) == e.received);
        TOVI_FUZZ_CHECK(static_cast<std::uint32_t>(helper.BytesSent()) == e.sent);
        // Told once: the second refresh meets the same answer with no read of
        // the table in between.
        TOVI_FUZZ_CHECK(toolkit.boxes == (table.sizeQueryResult == 50 ? 1 : 0));

        std::size_t i = 0;
        for (const auto& record : *interfaces) {
            const std::uint8_t* row = ifrow::rowAt(e.buffer.data(), i);
            const auto field = [row](std::size_t offset) { return static_cast<std::int32_t>(load32(row + offset)); };
            TOVI_FUZZ_CHECK(record != nullptr);
            TOVI_FUZZ_CHECK(record->InterfaceIndex() == field(ifrow::kIndex));
            TOVI_FUZZ_CHECK(record->InterfaceType() == field(ifrow::kType));
            TOVI_FUZZ_CHECK(record->MaximumTransmissionUnit() == field(ifrow::kMtu));
            TOVI_FUZZ_CHECK(record->Speed() == field(ifrow::kSpeed));
            TOVI_FUZZ_CHECK(record->AdminStatus() == field(ifrow::kAdminStatus));
            TOVI_FUZZ_CHECK(record->OperationalStatus() == field(ifrow::kOperStatus));
            TOVI_FUZZ_CHECK(record->OctetsReceived() == field(ifrow::kInOctets));
            TOVI_FUZZ_CHECK(record->UnknownProtocolPackets() == field(ifrow::kInUnknownProtos));
            TOVI_FUZZ_CHECK(record->OctetsSent() == field(ifrow::kOutOctets));
            TOVI_FUZZ_CHECK(record->OutputQueueLength() == field(ifrow::kOutQLen));
            // A negative length leaves the description empty; otherwise it
            // holds at most the 256 bytes of the field (each up to 3 in UTF-8).
            const std::int32_t descrLen = field(ifrow::kDescrLen);
            TOVI_FUZZ_CHECK(descrLen >= 0 || record->InterfaceDescription().empty());
            TOVI_FUZZ_CHECK(record->InterfaceDescription().size() <= 3 * ifrow::kDescrBytes);
            // At most 8 address bytes, each "XX-" without the last '-'.
            TOVI_FUZZ_CHECK(record->AdapterAddress().size() <= 8 * 3 - 1);
            TOVI_FUZZ_CHECK((field(ifrow::kPhysAddrLen) <= 0) == record->AdapterAddress().empty());
            // 256 UTF-16 units never become more than 3 bytes each.
            TOVI_FUZZ_CHECK(record->InterfaceName().size() <= 3 * ifrow::kNameUnits);
            ++i;
        }
        TOVI_FUZZ_CHECK(i == e.rows);
    }
    // Reading the totals again does not touch the table.
    const int calls = table.calls;
    TOVI_FUZZ_CHECK(static_cast<std::uint32_t>(helper.BytesReceived()) == e.received);
    TOVI_FUZZ_CHECK(table.calls == calls);
    return 0;
}
