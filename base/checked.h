// Integer arithmetic at a declared width that fails instead of wrapping.
//
// The system's variables are signed 16-bit, signed 32-bit or unsigned 8-bit.
// An operation whose result leaves that range throws OverflowError, so that a
// guarded step is skipped as a whole and its target keeps its old value.
// Wrapping, where it is wanted, is spelled out at the call site instead.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>  // std::in_range

#include "base/error.h"

namespace tovi::checked {

// Converts any integer to T, throwing when the value does not fit.
template <class T, class From>
constexpr T narrow(From value) {
    static_assert(std::is_integral_v<T> && std::is_integral_v<From>);
    if (!std::in_range<T>(value)) throw OverflowError();
    return static_cast<T>(value);
}

template <class T>
constexpr T add(T a, T b) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
    return narrow<T>(static_cast<std::int64_t>(a) + static_cast<std::int64_t>(b));
}

template <class T>
constexpr T sub(T a, T b) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
    return narrow<T>(static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b));
}

template <class T>
constexpr T mul(T a, T b) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= 4);
    return narrow<T>(static_cast<std::int64_t>(a) * static_cast<std::int64_t>(b));
}

// Two's-complement sum modulo 2^32, for counters that are meant to wrap.
constexpr std::int32_t wrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace tovi::checked
