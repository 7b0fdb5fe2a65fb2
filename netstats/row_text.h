// The text fields of an interface-table row, turned into the record's texts.
//
// Pure functions over bytes the caller has already bounded; no allocation
// beyond the returned string. Used by CIpHelper's refresh on the window's
// thread, and by the tests directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tovi::rowtext {

// Physical-address bytes joined by "-": a zero byte is "00", any other byte
// upper-case hex without a leading zero ("C", "1B"). Only the first
// `available` bytes exist; a longer length formats those. A length of 0 or
// less gives an empty text.
std::string adapterAddress(const std::uint8_t* bytes, std::size_t available, std::int32_t length);

// The description field, one character per byte in the Windows-1252 code
// page, cut to its first `length` characters (NULs within them are kept).
// A length above `available` keeps the whole field. A negative length throws
// tovi::Error, so the guarded assignment leaves the property empty.
std::string description(const std::uint8_t* bytes, std::size_t available, std::int32_t length);

// `units` little-endian UTF-16 code units as UTF-8, NUL units included; an
// unpaired surrogate becomes U+FFFD.
std::string utf16le(const std::uint8_t* bytes, std::size_t units);

}  // namespace tovi::rowtext
