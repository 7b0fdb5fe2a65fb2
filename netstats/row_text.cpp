#include "netstats/row_text.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/error.h"

namespace tovi::rowtext {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes that
// code page leaves undefined map to the C1 control of the same value, as the
// system's own conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

char hexDigit(unsigned value) { return "0123456789ABCDEF"[value & 0xF]; }

}  // namespace

std::string adapterAddress(const std::uint8_t* bytes, std::size_t available, std::int32_t length) {
    if (length <= 0) return {};
    const std::size_t count = std::min(static_cast<std::size_t>(length), available);
    std::string text(count * 3, '\0');
    char* out = text.data();
    for (std::size_t j = 0; j < count; ++j) {
        const unsigned b = bytes[j];
        if (b == 0) {
            *out++ = '0';
            *out++ = '0';
        } else {
            if (b >= 16) *out++ = hexDigit(b >> 4);
            *out++ = hexDigit(b);
        }
        *out++ = '-';
    }
    // Without the final "-".
    text.resize(count == 0 ? 0 : static_cast<std::size_t>(out - text.data()) - 1);
    return text;
}

std::string description(const std::uint8_t* bytes, std::size_t available, std::int32_t length) {
    if (length < 0) throw Error("negative description length");
    const std::size_t count = std::min(static_cast<std::size_t>(length), available);
    // Descriptions are nearly always ASCII: copy those bytes straight across
    // and only build character by character from the first one that is not.
    std::size_t i = 0;
    while (i < count && bytes[i] < 0x80) ++i;
    std::string text(reinterpret_cast<const char*>(bytes), i);
    for (; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            text.push_back(static_cast<char>(b));
        } else if (b < 0xA0) {
            appendUtf8(text, kCp1252High[b - 0x80]);
        } else {
            appendUtf8(text, b);
        }
    }
    return text;
}

std::string utf16le(const std::uint8_t* bytes, std::size_t units) {
    // Interface names are nearly always ASCII followed by NUL units, and then
    // the text has one byte per unit: narrow four units at a time up to the
    // first one that is not ASCII, and build the rest character by character.
    std::string text(units, '\0');
    char* const out = text.data();
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 4 <= units; i += 4) {
            std::uint64_t four;
            std::memcpy(&four, bytes + 2 * i, sizeof four);
            if (four & 0xFF80FF80FF80FF80u) break;
            const auto narrowed = static_cast<std::uint32_t>((four & 0xFF) | (four >> 8 & 0xFF00) |
                                                             (four >> 16 & 0xFF0000) | (four >> 24 & 0xFF000000));
            std::memcpy(out + i, &narrowed, sizeof narrowed);
        }
    }
    while (i < units && bytes[2 * i + 1] == 0 && bytes[2 * i] < 0x80) {
        out[i] = static_cast<char>(bytes[2 * i]);
        ++i;
    }
    if (i == units) return text;
    text.resize(i);
    for (; i < units; ++i) {
        const char32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit < 0x80) {
            text.push_back(static_cast<char>(unit));
        } else if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
            const char32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
            } else {
                appendUtf8(text, 0xFFFD);
            }
        } else if (unit >= 0xD800 && unit < 0xE000) {
            appendUtf8(text, 0xFFFD);
        } else {
            appendUtf8(text, unit);
        }
    }
    return text;
}

}  // namespace tovi::rowtext
