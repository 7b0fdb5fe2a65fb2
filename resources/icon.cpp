#include "resources/icon.h"

#include <cstddef>

namespace tovi::icon {

const std::array<Rgb, 16> kPalette{{
    {0x00, 0x00, 0x00},
    {0x80, 0x00, 0x00},
    {0x00, 0x80, 0x00},
    {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80},
    {0x80, 0x00, 0x80},
    {0x00, 0x80, 0x80},
    {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80},
    {0xFF, 0x00, 0x00},
    {0x00, 0xFF, 0x00},
    {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF},
    {0xFF, 0x00, 0xFF},
    {0x00, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xFF},
}};

namespace {

// The triangle's first and last opaque column of each row; its apex is row 0
// and its base (rows 30 and 31) spans the full width.
constexpr std::array<int, kSize> kFirstOpaque{14, 14, 13, 13, 12, 12, 11, 11, 10, 10, 9, 9, 9, 8, 8, 7,
                                              7,  6,  6,  6,  5,  5,  4,  4,  3,  3,  2, 2, 1, 1, 0, 0};
constexpr std::array<int, kSize> kLastOpaque{14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19, 20, 21, 21, 22, 22,
                                             23, 23, 24, 25, 25, 26, 26, 27, 27, 28, 29, 29, 30, 30, 31, 31};

struct Run {
    int first, last;  // columns, inclusive; {0, -1} is no run
};

// The letter N: left stroke 7-10, right stroke 19-22, and the diagonal from
// the top of the left stroke to the bottom of the right one.
constexpr int kLetterTop = 15;
constexpr std::array<std::array<Run, 3>, kSize - kLetterTop> kRedRuns{{
    {{{7, 11}, {19, 22}, {0, -1}}},   // 15
    {{{7, 12}, {19, 22}, {0, -1}}},   // 16
    {{{7, 12}, {19, 22}, {0, -1}}},   // 17
    {{{7, 13}, {19, 22}, {0, -1}}},   // 18
    {{{7, 14}, {19, 22}, {0, -1}}},   // 19
    {{{7, 14}, {19, 22}, {0, -1}}},   // 20
    {{{7, 15}, {19, 22}, {0, -1}}},   // 21
    {{{7, 10}, {12, 16}, {19, 22}}},  // 22
    {{{7, 10}, {12, 17}, {19, 22}}},  // 23
    {{{7, 10}, {13, 22}, {0, -1}}},   // 24
    {{{7, 10}, {14, 22}, {0, -1}}},   // 25
    {{{7, 10}, {15, 22}, {0, -1}}},   // 26
    {{{7, 10}, {15, 22}, {0, -1}}},   // 27
    {{{7, 10}, {16, 22}, {0, -1}}},   // 28
    {{{7, 10}, {17, 22}, {0, -1}}},   // 29
    {{{7, 10}, {17, 22}, {0, -1}}},   // 30
    {{{7, 10}, {18, 22}, {0, -1}}},   // 31
}};

Pixels draw() {
    Pixels image{};
    for (int row = 0; row < kSize; ++row) {
        for (int col = 0; col < kSize; ++col) {
            std::uint8_t value = kTransparent;
            if (col >= kFirstOpaque[row] && col <= kLastOpaque[row]) {
                value = kBlack;
                if (row >= kLetterTop) {
                    for (const Run& run : kRedRuns[row - kLetterTop]) {
                        if (col >= run.first && col <= run.last) value = kRed;
                    }
                }
            }
            image[row][col] = value;
        }
    }
    return image;
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

constexpr std::uint32_t kInfoHeaderSize = 40;         // BITMAPINFOHEADER, bytes
constexpr std::uint32_t kColourRowBytes = kSize / 2;  // 4 bits a pixel, already 4-byte aligned
constexpr std::uint32_t kMaskRowBytes = kSize / 8;    // 1 bit a pixel, already 4-byte aligned
constexpr std::uint32_t kPixelBytes = kSize * (kColourRowBytes + kMaskRowBytes);
constexpr std::uint32_t kImageBytes = kInfoHeaderSize + 16 * 4 + kPixelBytes;
constexpr std::uint32_t kFileHeaderBytes = 6 + 16;  // ICONDIR + one ICONDIRENTRY

}  // namespace

const Pixels& pixels() {
    static const Pixels image = draw();
    return image;
}

std::vector<std::uint8_t> iconImage() {
    const Pixels& image = pixels();
    std::vector<std::uint8_t> out;
    out.reserve(kImageBytes);

    put32(out, kInfoHeaderSize);
    put32(out, kSize);      // width
    put32(out, kSize * 2);  // height: colour rows and mask rows together
    put16(out, 1);          // planes
    put16(out, 4);          // bits per pixel
    put32(out, 0);          // BI_RGB
    put32(out, kPixelBytes);
    put32(out, 0);  // horizontal resolution, unused
    put32(out, 0);  // vertical resolution, unused
    put32(out, 0);  // colours used: all 16
    put32(out, 0);  // colours important: all

    for (const Rgb& c : kPalette) {
        out.push_back(c.blue);
        out.push_back(c.green);
        out.push_back(c.red);
        out.push_back(0);
    }

    for (int row = kSize - 1; row >= 0; --row) {
        for (int col = 0; col < kSize; col += 2) {
            const auto entry = [&](int c) -> std::uint8_t {
                const std::uint8_t v = image[row][c];
                return v == kTransparent ? 0 : v;  // colour 0 under the mask leaves the screen as it is
            };
            out.push_back(static_cast<std::uint8_t>(entry(col) << 4 | entry(col + 1)));
        }
    }
    for (int row = kSize - 1; row >= 0; --row) {
        for (int byte = 0; byte < static_cast<int>(kMaskRowBytes); ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (image[row][byte * 8 + bit] == kTransparent) bits |= static_cast<std::uint8_t>(0x80 >> bit);
            }
            out.push_back(bits);
        }
    }
    return out;
}

std::vector<std::uint8_t> iconFile() {
    std::vector<std::uint8_t> out;
    out.reserve(kFileHeaderBytes + kImageBytes);
    put16(out, 0);  // reserved
    put16(out, 1);  // type: icon
    put16(out, 1);  // one image

    out.push_back(kSize);
    out.push_back(kSize);
    out.push_back(16);  // colours
    out.push_back(0);   // reserved
    put16(out, 1);      // planes
    put16(out, 4);      // bits per pixel
    put32(out, kImageBytes);
    put32(out, kFileHeaderBytes);

    const std::vector<std::uint8_t> image = iconImage();
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

}  // namespace tovi::icon
