#include "fake_interface_table.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"

namespace tovi::fakes {
namespace {

void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

IfRow IfRow::withOctets(std::uint32_t in, std::uint32_t out, const std::string& asciiName) {
    IfRow row;
    row.name.assign(asciiName.begin(), asciiName.end());
    row.inOctets = in;
    row.outOctets = out;
    row.setDescription(asciiName);
    return row;
}

IfRow& IfRow::setDescription(const std::string& bytes) {
    descr = bytes;
    descrLen = static_cast<std::uint32_t>(bytes.size());
    return *this;
}

IfRow& IfRow::setAddress(std::initializer_list<std::uint8_t> bytes) {
    physAddr = {};
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), physAddr.size()), physAddr.begin());
    physAddrLen = static_cast<std::uint32_t>(bytes.size());
    return *this;
}

std::array<std::uint8_t, platform::kIfRowSize> encodeRow(const IfRow& row) {
    std::array<std::uint8_t, platform::kIfRowSize> out{};
    std::uint8_t* p = out.data();
    for (std::size_t i = 0; i < std::min<std::size_t>(row.name.size(), 256); ++i) {
        p[2 * i] = static_cast<std::uint8_t>(row.name[i]);
        p[2 * i + 1] = static_cast<std::uint8_t>(row.name[i] >> 8);
    }
    put32(p + 512, row.index);
    put32(p + 516, row.type);
    put32(p + 520, row.mtu);
    put32(p + 524, row.speed);
    put32(p + 528, row.physAddrLen);
    std::copy(row.physAddr.begin(), row.physAddr.end(), p + 532);
    put32(p + 540, row.adminStatus);
    put32(p + 544, row.operStatus);
    put32(p + 548, row.lastChange);
    put32(p + 552, row.inOctets);
    put32(p + 556, row.inUcastPkts);
    put32(p + 560, row.inNUcastPkts);
    put32(p + 564, row.inDiscards);
    put32(p + 568, row.inErrors);
    put32(p + 572, row.inUnknownProtos);
    put32(p + 576, row.outOctets);
    put32(p + 580, row.outUcastPkts);
    put32(p + 584, row.outNUcastPkts);
    put32(p + 588, row.outDiscards);
    put32(p + 592, row.outErrors);
    put32(p + 596, row.outQLen);
    put32(p + 600, row.descrLen);
    std::memcpy(p + 604, row.descr.data(), std::min<std::size_t>(row.descr.size(), 256));
    return out;
}

std::vector<std::uint8_t> encodeTable(const std::vector<IfRow>& rows, std::optional<std::int32_t> claimedCount) {
    std::vector<std::uint8_t> out(platform::kIfTableHeaderSize + rows.size() * platform::kIfRowSize);
    put32(out.data(), static_cast<std::uint32_t>(claimedCount.value_or(static_cast<std::int32_t>(rows.size()))));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto row = encodeRow(rows[i]);
        std::copy(row.begin(), row.end(), out.begin() + platform::kIfTableHeaderSize + i * platform::kIfRowSize);
    }
    return out;
}

std::uint32_t FakeInterfaceTable::getIfTable(std::uint8_t* buffer, std::uint32_t* size, bool order) {
    Call call{buffer != nullptr, *size, *size, order, 0};
    if (missing) {
        calls.push_back(call);
        throw Error("GetIfTable cannot be called");
    }
    const std::uint32_t needed = reportedSize.value_or(static_cast<std::uint32_t>(table.size()));
    if (buffer == nullptr || *size < needed) {
        if (!sizeQueryLeavesSizeAlone) *size = needed;
        call.result = sizeQueryResult;
    } else {
        std::memcpy(buffer, table.data(), std::min<std::size_t>(table.size(), *size));
        call.result = readResult;
    }
    call.sizeOut = *size;
    calls.push_back(call);
    if (buffer == nullptr && afterSizeQuery) afterSizeQuery();
    return call.result;
}

double FakeInterfaceTable::bootTime() {
    ++bootTimeCalls;
    if (bootTimeFails) throw Error("boot time unknown");
    return boot;
}

}  // namespace tovi::fakes
