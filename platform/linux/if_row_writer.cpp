#include "platform/linux/if_row_writer.h"

#include <linux/if_arp.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "platform/interface_table.h"
#include "platform/linux/interface_table_linux.h"

namespace tovi::platform {
namespace {

using namespace ifrow;

// Windows interface-type and status codes.
constexpr std::uint32_t kIfTypeOther = 1;
constexpr std::uint32_t kIfTypeEthernet = 6;
constexpr std::uint32_t kIfTypePpp = 23;
constexpr std::uint32_t kIfTypeLoopback = 24;
constexpr std::uint32_t kIfTypeWireless = 71;
constexpr std::uint32_t kIfTypeTunnel = 131;
constexpr std::uint32_t kAdminUp = 1;
constexpr std::uint32_t kAdminDown = 2;
constexpr std::uint32_t kOperOperational = 5;
constexpr std::uint32_t kOperDisconnected = 2;

void put32(std::uint8_t* p, std::uint64_t value) {
    // Counters are cut to their low 32 bits, as the Windows row holds them.
    store32(p, static_cast<std::uint32_t>(value));
}

// The length of the UTF-8 sequence that starts at name[i] and the code point
// it holds; a byte that starts no whole sequence stands for itself.
std::size_t decodeUtf8(std::string_view name, std::size_t i, char32_t& c) {
    const auto b = static_cast<unsigned char>(name[i]);
    std::size_t length = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
    c = length == 1 ? b : b & (0x3F >> (length - 1));
    if (i + length > name.size()) length = 1, c = b;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(name[i + k]);
        if ((next & 0xC0) != 0x80) {
            c = b;
            return 1;
        }
        c = c << 6 | (next & 0x3F);
    }
    return length;
}

// Interface names are bytes, normally ASCII; UTF-8 sequences are decoded and
// any byte that is not part of one stands for itself.
std::size_t putName(std::uint8_t* row, std::string_view name) {
    std::size_t units = 0;
    const auto putUnit = [&](char32_t unit) {
        if (units >= kNameUnits) return;
        row[kName + 2 * units] = static_cast<std::uint8_t>(unit);
        row[kName + 2 * units + 1] = static_cast<std::uint8_t>(unit >> 8);
        ++units;
    };
    for (std::size_t i = 0; i < name.size();) {
        char32_t c = 0;
        i += decodeUtf8(name, i, c);
        if (c >= 0x10000) {
            putUnit(0xD800 + ((c - 0x10000) >> 10));
            putUnit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            putUnit(c);
        }
    }
    return units;
}

}  // namespace

void putCounters(std::uint8_t* row, const rtnl_link_stats64& s) {
    // Windows short-circuits loopback traffic inside its stack, so its
    // loopback row never counts an octet; local traffic (a local resolver, a
    // development server) must not light the keys here either.
    const bool loopback = load32(row + kType) == kIfTypeLoopback;
    put32(row + kInOctets, loopback ? 0 : s.rx_bytes);
    put32(row + kInUcastPkts, s.rx_packets > s.multicast ? s.rx_packets - s.multicast : 0);
    put32(row + kInNUcastPkts, s.multicast);
    put32(row + kInDiscards, s.rx_dropped);
    put32(row + kInErrors, s.rx_errors);
    put32(row + kOutOctets, loopback ? 0 : s.tx_bytes);
    put32(row + kOutUcastPkts, s.tx_packets);
    put32(row + kOutDiscards, s.tx_dropped);
    put32(row + kOutErrors, s.tx_errors);
}

void fillRow(std::uint8_t* row, const Link& link, bool wireless) {
    std::memset(row, 0, kIfRowSize);
    putName(row, link.name);
    put32(row + kIndex, static_cast<std::uint32_t>(link.info->ifi_index));
    put32(row + kType, windowsInterfaceType(link.info->ifi_type, wireless));
    put32(row + kMtu, link.mtu);
    const std::size_t addressLength = std::min(link.addressLength, kPhysAddrBytes);
    put32(row + kPhysAddrLen, addressLength);
    if (addressLength > 0) std::memcpy(row + kPhysAddr, link.address, addressLength);
    put32(row + kAdminStatus, (link.info->ifi_flags & IFF_UP) ? kAdminUp : kAdminDown);
    put32(row + kOperStatus, (link.info->ifi_flags & IFF_RUNNING) ? kOperOperational : kOperDisconnected);
    putCounters(row, link.stats);
    put32(row + kOutQLen, link.txQueueLength);

    const std::size_t descrLength = std::min(link.name.size(), kDescrBytes);
    put32(row + kDescrLen, descrLength);
    std::memcpy(row + kDescr, link.name.data(), descrLength);
}

// The order flag asks for rows by index. The kernel dumps by hash bucket of
// the index, which is index order only for small tables.
void sortRowsByIndex(std::uint8_t* rows, std::size_t count) {
    std::array<std::uint8_t, kIfRowSize> held;
    for (std::size_t i = 1; i < count; ++i) {
        std::memcpy(held.data(), rows + i * kIfRowSize, kIfRowSize);
        const std::uint32_t index = load32(held.data() + kIndex);
        std::size_t j = i;
        for (; j > 0 && load32(rows + (j - 1) * kIfRowSize + kIndex) > index; --j) {
            std::memcpy(rows + j * kIfRowSize, rows + (j - 1) * kIfRowSize, kIfRowSize);
        }
        std::memcpy(rows + j * kIfRowSize, held.data(), kIfRowSize);
    }
}

std::uint32_t windowsInterfaceType(unsigned short linkType, bool wireless) {
    switch (linkType) {
    case ARPHRD_ETHER:
        return wireless ? kIfTypeWireless : kIfTypeEthernet;
    case ARPHRD_LOOPBACK:
        return kIfTypeLoopback;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
        return kIfTypeWireless;
    case ARPHRD_PPP:
        return kIfTypePpp;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_IP6GRE:
    case ARPHRD_NONE:  // tun and wireguard: layer-3 devices without a link header
        return kIfTypeTunnel;
    default:
        return kIfTypeOther;
    }
}

}  // namespace tovi::platform
