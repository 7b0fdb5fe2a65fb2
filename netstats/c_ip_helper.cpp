#include "netstats/c_ip_helper.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "base/checked.h"
#include "base/error.h"
#include "base/guard.h"
#include "base/scope_exit.h"
#include "netstats/row_text.h"
#include "platform/interface_table.h"
#include "platform/toolkit.h"

namespace tovi {
namespace {

using platform::kIfRowSize;
using platform::kIfTableHeaderSize;

namespace row = platform::ifrow;

constexpr double kSecondsPerDay = 86400.0;

// Every 4-byte field is read as signed: 2^31 and above come out negative.
std::int32_t signedField(const std::uint8_t* p) { return static_cast<std::int32_t>(row::load32(p)); }

}  // namespace

CIpHelper::CIpHelper(platform::InterfaceTable& table, platform::Toolkit& toolkit) : table_(table), toolkit_(toolkit) {}

std::shared_ptr<CInterfaces> CIpHelper::Interfaces() {
    interfaces_.reset();
    interfaces_ = std::make_shared<CInterfaces>();
    RefreshTable();
    // A refresh that ran while this one waited on the not-supported box has
    // since replaced the collection; its result is the newer one.
    return interfaces_;
}

void CIpHelper::setInterfaces(std::shared_ptr<CInterfaces> vData) { interfaces_ = std::move(vData); }

void CIpHelper::RefreshTable() {
    const std::shared_ptr<CInterfaces> target = interfaces_;
    std::uint32_t size = 0;  // bytes
    std::vector<std::uint8_t> buffer;

    // 1.
    step([&] {
        received_ = 0;
        sent_ = 0;
        tableRead_ = false;
        size = 0;
    });

    // 2. and 3.
    const std::uint32_t result = querySize(size);
    if (toldNotSupported(result)) return;

    // 4.
    step([&] { buffer.assign(size, 0); });

    // 5.
    if (!readTable(buffer)) return;
    notSupportedTold_ = false;

    // 6. and 7.
    const std::size_t rows = rowsToDecode(buffer);
    DateTime bootTime = 0.0;
    bool haveBootTime = false;
    if (rows > 0) haveBootTime = step([&] { bootTime = table_.bootTime(); });
    for (std::size_t i = 0; i < rows; ++i) addRow(row::rowAt(buffer.data(), i), bootTime, haveBootTime, target.get());
    // 8. The buffer goes with this scope.
}

// A size query that cannot be made leaves the size at 0 and the result at
// "no error", so the read that follows has nothing to read into.
std::uint32_t CIpHelper::querySize(std::uint32_t& size) {
    std::uint32_t result = platform::kNoError;
    step([&] { result = table_.getIfTable(nullptr, &size, false); });
    return result;
}

// Timer ticks keep arriving while the box is open; a refresh that meets the
// same answer then must not stack a second box on the first, nor open a new
// one as soon as it is closed. A box that could not be shown has told
// nothing. True when the refresh ends here.
bool CIpHelper::toldNotSupported(std::uint32_t result) {
    if (result != platform::kErrorNotSupported) return false;
    step([&] {
        if (notSupportedShowing_ || notSupportedTold_) return;
        notSupportedShowing_ = true;
        const ScopeExit closed([this] { notSupportedShowing_ = false; });
        toolkit_.messageBox(kIpHelperNotSupported, "");
        notSupportedTold_ = true;
    });
    return true;
}

// The data read. The size handed over is always the buffer's real one, so a
// failed allocation before it cannot make the platform write past it. A read
// that fails, or cannot be made, leaves nothing trustworthy to decode.
bool CIpHelper::readTable(std::vector<std::uint8_t>& buffer) {
    bool filled = false;
    step([&] {
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        filled = table_.getIfTable(buffer.empty() ? nullptr : buffer.data(), &size, false) == platform::kNoError;
    });
    return filled;
}

// Only rows that lie wholly inside the buffer are decoded, whatever the count
// claims. A buffer too short for a count has no rows and was no reading.
std::size_t CIpHelper::rowsToDecode(const std::vector<std::uint8_t>& buffer) {
    std::int32_t rowCount = 0;
    step([&] {
        if (buffer.size() < kIfTableHeaderSize) throw Error("no row count in the table");
        rowCount = signedField(buffer.data());
        tableRead_ = true;
    });
    const std::size_t wholeRows =
        buffer.size() < kIfTableHeaderSize ? 0 : (buffer.size() - kIfTableHeaderSize) / kIfRowSize;
    return rowCount <= 0 ? 0 : std::min(static_cast<std::size_t>(rowCount), wholeRows);
}

void CIpHelper::addRow(const std::uint8_t* r, DateTime bootTime, bool haveBootTime, CInterfaces* target) {
    std::shared_ptr<CInterface> objInterface;
    step([&] { objInterface = std::make_shared<CInterface>(); });

    const auto assign = [&](auto&& body) {
        step([&] {
            if (!objInterface) throw Error("no record");
            body(*objInterface);
        });
    };
    const auto number = [&](void (CInterface::*setter)(std::int32_t), std::size_t offset) {
        assign([&](CInterface& rec) { (rec.*setter)(signedField(r + offset)); });
    };

    assign([&](CInterface& rec) {
        rec.setInterfaceDescription(
            rowtext::description(r + row::kDescr, row::kDescrBytes, signedField(r + row::kDescrLen)));
    });
    number(&CInterface::setOutputQueueLength, row::kOutQLen);
    number(&CInterface::setOutgoingErrors, row::kOutErrors);
    number(&CInterface::setDiscardedOutgoingPackets, row::kOutDiscards);
    number(&CInterface::setNonunicastPacketsSent, row::kOutNUcastPkts);
    number(&CInterface::setUnicastPacketsSent, row::kOutUcastPkts);
    number(&CInterface::setOctetsSent, row::kOutOctets);
    number(&CInterface::setUnknownProtocolPackets, row::kInUnknownProtos);
    number(&CInterface::setIncomingErrors, row::kInErrors);
    number(&CInterface::setDiscardedIncomingPackets, row::kInDiscards);
    number(&CInterface::setNonunicastPacketsReceived, row::kInNUcastPkts);
    number(&CInterface::setMaximumTransmissionUnit, row::kMtu);
    number(&CInterface::setUnicastPacketsReceived, row::kInUcastPkts);
    number(&CInterface::setOctetsReceived, row::kInOctets);
    assign([&](CInterface& rec) {
        if (!haveBootTime) throw Error("boot time unknown");
        // dwLastChange is an unsigned tick count; it wraps after 497 days.
        const double seconds = row::load32(r + row::kLastChange) / 100.0;
        rec.setLastChange(bootTime + seconds / kSecondsPerDay);
    });
    number(&CInterface::setOperationalStatus, row::kOperStatus);
    number(&CInterface::setAdminStatus, row::kAdminStatus);
    assign([&](CInterface& rec) {
        rec.setAdapterAddress(
            rowtext::adapterAddress(r + row::kPhysAddr, row::kPhysAddrBytes, signedField(r + row::kPhysAddrLen)));
    });
    number(&CInterface::setSpeed, row::kSpeed);
    number(&CInterface::setInterfaceType, row::kType);
    number(&CInterface::setInterfaceIndex, row::kIndex);
    assign([&](CInterface& rec) { rec.setInterfaceName(rowtext::utf16le(r + row::kName, row::kNameUnits)); });

    // Modulo 2^32: growth of any one counter must always show as growth of
    // the total, however large the other rows' counters are.
    step([&] { received_ = checked::wrappingAdd(received_, signedField(r + row::kInOctets)); });
    step([&] { sent_ = checked::wrappingAdd(sent_, signedField(r + row::kOutOctets)); });

    step([&] {
        if (!objInterface) throw Error("no record");
        if (!target) throw Error("no collection");
        target->Add(objInterface);
    });
}

}  // namespace tovi
