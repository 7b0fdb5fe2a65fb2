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

#include <cstdint>

namespace tovi::platform {

inline constexpr std::uint32_t kNoError = 0;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;

// Sizes of the table layout, in bytes.
inline constexpr std::uint32_t kIfTableHeaderSize = 4;
inline constexpr std::uint32_t kIfRowSize = 860;

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
