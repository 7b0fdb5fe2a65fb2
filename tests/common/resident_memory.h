// Resident memory of the calling process, for the soak tests' "flat after
// warm-up" checks, and whether the build runs under AddressSanitizer (whose
// quarantine holds freed memory on purpose, so resident memory says nothing
// there; its leak check speaks instead).
//
// Linux only (/proc/self/statm). Any thread.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <fstream>

namespace tovi::soak {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderAddressSanitizer = true;
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

// Bytes of the process now resident in memory; 0 when it cannot be read.
inline std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t sizePages = 0, residentPages = 0;
    if (!(statm >> sizePages >> residentPages)) return 0;
    return residentPages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace tovi::soak
