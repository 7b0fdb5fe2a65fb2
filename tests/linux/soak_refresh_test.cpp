// A million refreshes of the interface table: the reader's memory must not
// grow and its totals must stay right while the table changes shape on every
// refresh (0 to 60 rows) and every counter keeps wrapping past 2^32.
//
// Not a timing test: it fails on growth or on a wrong total, never on speed.
// Under AddressSanitizer the count is cut to a twentieth (its leak check at exit
// is what speaks there) and resident memory is not judged: its quarantine
// keeps freed blocks resident on purpose.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fakes/fake_interface_table.h"
#include "fakes/fake_toolkit.h"
#include "netstats/c_ip_helper.h"
#include "platform/interface_table.h"
#include "tests/common/resident_memory.h"

namespace tovi {
namespace {

using platform::kIfRowSize;
using platform::kIfTableHeaderSize;

constexpr std::uint32_t kMostRows = 60;

namespace ifrow = platform::ifrow;
using ifrow::store32;

// Serves one prepared 60-row table; each refresh shows a different number of
// its rows, and every counter moves on by a large step between refreshes, so
// that all of them wrap every few dozen refreshes.
class ShiftingTable : public platform::InterfaceTable {
public:
    ShiftingTable() {
        std::vector<fakes::IfRow> rows;
        for (std::uint32_t i = 0; i < kMostRows; ++i) {
            fakes::IfRow row = fakes::IfRow::withOctets(0, 0, "Adapter number " + std::to_string(i));
            row.name = u"{4D36E972-E325-11CE-BFC1-08002BE10318} \u00e9\u20ac";
            row.index = i + 1;
            row.setAddress({0x00, 0x0C, 0x29, 0x0A, 0x1B, static_cast<std::uint8_t>(i)});
            rows.push_back(row);
        }
        table_ = fakes::encodeTable(rows);
        in_.assign(kMostRows, 0);
        out_.assign(kMostRows, 0);
    }

    // Chooses the shape and counters of the next refresh.
    void advance(std::uint64_t refresh) {
        rows_ = static_cast<std::uint32_t>((refresh * 7919) % (kMostRows + 1));
        store32(table_.data(), rows_);
        for (std::uint32_t i = 0; i < kMostRows; ++i) {
            in_[i] += 0x0F00'0000u + i * 977u;   // wraps every 17 refreshes or so
            out_[i] += 0x2300'0000u + i * 131u;  // and every 7
            store32(ifrow::rowAt(table_.data(), i) + ifrow::kInOctets, in_[i]);
            store32(ifrow::rowAt(table_.data(), i) + ifrow::kOutOctets, out_[i]);
        }
    }

    std::uint32_t expectedReceived() const { return sum(in_); }
    std::uint32_t expectedSent() const { return sum(out_); }
    std::uint32_t rows() const { return rows_; }

    std::uint32_t getIfTable(std::uint8_t* table, std::uint32_t* size, bool) override {
        const std::uint32_t needed = kIfTableHeaderSize + rows_ * kIfRowSize;
        if (table == nullptr || *size < needed) {
            *size = needed;
            return platform::kErrorInsufficientBuffer;
        }
        std::memcpy(table, table_.data(), needed);
        return platform::kNoError;
    }
    double bootTime() override { return 45000.0; }

private:
    std::uint32_t sum(const std::vector<std::uint32_t>& counters) const {
        std::uint32_t total = 0;
        for (std::uint32_t i = 0; i < rows_; ++i) total += counters[i];
        return total;
    }

    std::vector<std::uint8_t> table_;
    std::vector<std::uint32_t> in_;
    std::vector<std::uint32_t> out_;
    std::uint32_t rows_ = 0;
};

TEST(Soak, AMillionRefreshesOfAShiftingWrappingTableKeepMemoryFlatAndTotalsRight) {
    const std::uint64_t refreshes = soak::kUnderAddressSanitizer ? 50'000 : 1'000'000;
    const std::uint64_t warmUp = refreshes / 20;
    ShiftingTable table;
    fakes::FakeToolkit toolkit;
    CIpHelper helper(table, toolkit);

    std::size_t residentAfterWarmUp = 0;
    std::uint64_t wrongTotals = 0;
    std::uint64_t wrongCounts = 0;
    for (std::uint64_t i = 0; i < refreshes; ++i) {
        table.advance(i);
        const std::shared_ptr<CInterfaces> interfaces = helper.Interfaces();
        if (static_cast<std::uint32_t>(interfaces->Count()) != table.rows()) ++wrongCounts;
        if (static_cast<std::uint32_t>(helper.BytesReceived()) != table.expectedReceived() ||
            static_cast<std::uint32_t>(helper.BytesSent()) != table.expectedSent()) {
            ++wrongTotals;
        }
        if (i + 1 == warmUp) residentAfterWarmUp = soak::residentBytes();
    }
    const std::size_t residentAtEnd = soak::residentBytes();

    EXPECT_EQ(wrongCounts, 0u);
    EXPECT_EQ(wrongTotals, 0u);
    EXPECT_TRUE(toolkit.boxes.empty());
    if (soak::kUnderAddressSanitizer) return;
    ASSERT_GT(residentAfterWarmUp, 0u) << "cannot read /proc/self/statm";
    // One leaked byte per refresh would be almost a megabyte by now.
    EXPECT_LE(residentAtEnd, residentAfterWarmUp + 256 * 1024)
        << "resident memory grew from " << residentAfterWarmUp / 1024 << " KiB after warm-up to "
        << residentAtEnd / 1024 << " KiB";
    RecordProperty("resident_kib_after_warm_up", std::to_string(residentAfterWarmUp / 1024));
    RecordProperty("resident_kib_at_end", std::to_string(residentAtEnd / 1024));
}

}  // namespace
}  // namespace tovi
