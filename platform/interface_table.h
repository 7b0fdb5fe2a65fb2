// The operating system's table of network interfaces.
//
// getIfTable() has the contract of the Windows IP Helper call of that name:
//   - with a null table it stores the needed size in bytes through *size and
//     returns something other than kErrorNotSupported (normally
//     kErrorInsufficientBuffer);
//   - given a buffer of at least *size bytes it fills it in the MIB_IFTABLE
//     layout (4-byte little-endian row count, then 860-byte MIB_IFROW rows)
//     and returns kNoError;
//   - where the system cannot provide the table it returns kErrorNotSupported.
// When the call cannot be made at all (the library or the function is missing)
// it throws tovi::Error instead of returning.
//
// Called on the window's thread only; implementations hold no locks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tovi::platform {

inline constexpr std::uint32_t kNoError = 0;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;

// Sizes of the table layout, in bytes.
inline constexpr std::uint32_t kIfTableHeaderSize = 4;
inline constexpr std::uint32_t kIfRowSize = 860;

// Byte offsets of the fields inside one row (MIB_IFROW). Every multi-byte
// field is a little-endian 32-bit integer unless noted.
namespace ifrow {
inline constexpr std::size_t kName = 0;  // wszName: kNameUnits UTF-16 code units
inline constexpr std::size_t kNameUnits = 256;
inline constexpr std::size_t kIndex = 512;
inline constexpr std::size_t kType = 516;
inline constexpr std::size_t kMtu = 520;
inline constexpr std::size_t kSpeed = 524;  // bits per second
inline constexpr std::size_t kPhysAddrLen = 528;
inline constexpr std::size_t kPhysAddr = 532;  // kPhysAddrBytes bytes
inline constexpr std::size_t kPhysAddrBytes = 8;
inline constexpr std::size_t kAdminStatus = 540;
inline constexpr std::size_t kOperStatus = 544;
inline constexpr std::size_t kLastChange = 548;  // hundredths of a second since boot
inline constexpr std::size_t kInOctets = 552;
inline constexpr std::size_t kInUcastPkts = 556;
inline constexpr std::size_t kInNUcastPkts = 560;
inline constexpr std::size_t kInDiscards = 564;
inline constexpr std::size_t kInErrors = 568;
inline constexpr std::size_t kInUnknownProtos = 572;
inline constexpr std::size_t kOutOctets = 576;
inline constexpr std::size_t kOutUcastPkts = 580;
inline constexpr std::size_t kOutNUcastPkts = 584;
inline constexpr std::size_t kOutDiscards = 588;
inline constexpr std::size_t kOutErrors = 592;
inline constexpr std::size_t kOutQLen = 596;
inline constexpr std::size_t kDescrLen = 600;
inline constexpr std::size_t kDescr = 604;  // bDescr: kDescrBytes ANSI bytes
inline constexpr std::size_t kDescrBytes = 256;
static_assert(kDescr + kDescrBytes == kIfRowSize);

// The table's byte order, whatever the host's.
inline std::uint32_t load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void store32(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

// Row i (0-based) of a table buffer.
inline const std::uint8_t* rowAt(const std::uint8_t* table, std::size_t i) {
    return table + kIfTableHeaderSize + i * kIfRowSize;
}
inline std::uint8_t* rowAt(std::uint8_t* table, std::size_t i) { return table + kIfTableHeaderSize + i * kIfRowSize; }
}  // namespace ifrow

class InterfaceTable {
public:
    virtual ~InterfaceTable() = default;

    // order: true asks for rows sorted by index; the reader always passes false.
    virtual std::uint32_t getIfTable(std::uint8_t* table, std::uint32_t* size, bool order) = 0;

    // The moment the system started, as a date-time: days since 30 December
    // 1899, local time, with the time of day as the fraction. A row's
    // dwLastChange counts hundredths of a second from then.
    virtual double bootTime() = 0;
};

}  // namespace tovi::platform
