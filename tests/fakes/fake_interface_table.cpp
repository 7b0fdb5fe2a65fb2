#include "fake_interface_table.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"

namespace tovi::fakes {
namespace {
namespace ifrow = platform::ifrow;
using ifrow::store32;
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
    for (std::size_t i = 0; i < std::min<std::size_t>(row.name.size(), ifrow::kNameUnits); ++i) {
        p[2 * i] = static_cast<std::uint8_t>(row.name[i]);
        p[2 * i + 1] = static_cast<std::uint8_t>(row.name[i] >> 8);
    }
    store32(p + ifrow::kIndex, row.index);
    store32(p + ifrow::kType, row.type);
    store32(p + ifrow::kMtu, row.mtu);
    store32(p + ifrow::kSpeed, row.speed);
    store32(p + ifrow::kPhysAddrLen, row.physAddrLen);
    std::copy(row.physAddr.begin(), row.physAddr.end(), p + ifrow::kPhysAddr);
    store32(p + ifrow::kAdminStatus, row.adminStatus);
    store32(p + ifrow::kOperStatus, row.operStatus);
    store32(p + ifrow::kLastChange, row.lastChange);
    store32(p + ifrow::kInOctets, row.inOctets);
    store32(p + ifrow::kInUcastPkts, row.inUcastPkts);
    store32(p + ifrow::kInNUcastPkts, row.inNUcastPkts);
    store32(p + ifrow::kInDiscards, row.inDiscards);
    store32(p + ifrow::kInErrors, row.inErrors);
    store32(p + ifrow::kInUnknownProtos, row.inUnknownProtos);
    store32(p + ifrow::kOutOctets, row.outOctets);
    store32(p + ifrow::kOutUcastPkts, row.outUcastPkts);
    store32(p + ifrow::kOutNUcastPkts, row.outNUcastPkts);
    store32(p + ifrow::kOutDiscards, row.outDiscards);
    store32(p + ifrow::kOutErrors, row.outErrors);
    store32(p + ifrow::kOutQLen, row.outQLen);
    store32(p + ifrow::kDescrLen, row.descrLen);
    std::memcpy(p + ifrow::kDescr, row.descr.data(), std::min<std::size_t>(row.descr.size(), ifrow::kDescrBytes));
    return out;
}

std::vector<std::uint8_t> encodeTable(const std::vector<IfRow>& rows, std::optional<std::int32_t> claimedCount) {
    std::vector<std::uint8_t> out(platform::kIfTableHeaderSize + rows.size() * platform::kIfRowSize);
    store32(out.data(), static_cast<std::uint32_t>(claimedCount.value_or(static_cast<std::int32_t>(rows.size()))));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto row = encodeRow(rows[i]);
        std::copy(row.begin(), row.end(), ifrow::rowAt(out.data(), i));
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
