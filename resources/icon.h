// The program's icon: a black upward triangle with a red capital N, 32 x 32
// pixels in the standard 16-colour palette with a 1-bit transparency mask.
//
// The picture is kept here as palette indexes so that every build derives the
// same image from it: resources/tovi.ico is generated from iconFile() and
// checked in (the Windows program file carries it as its icon resource), and
// a window that finds no such resource builds its icon from iconImage().
// Pure data and functions; no state, callable from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tovi::icon {

inline constexpr int kSize = 32;  // pixels, both ways

// Palette entries the picture uses.
inline constexpr std::uint8_t kBlack = 0;
inline constexpr std::uint8_t kRed = 9;
// Not a palette entry: the pixel is transparent (mask bit set).
inline constexpr std::uint8_t kTransparent = 0xFF;

struct Rgb {
    std::uint8_t red, green, blue;
};

// The standard 16-colour palette, entry 0 black to entry 15 white.
extern const std::array<Rgb, 16> kPalette;

// Row-major, row 0 at the top: a palette entry or kTransparent per pixel.
using Pixels = std::array<std::array<std::uint8_t, kSize>, kSize>;
const Pixels& pixels();

// The image as an icon resource holds it: BITMAPINFOHEADER (height doubled),
// the 16-entry palette, the 4-bit colour rows and the 1-bit mask rows, both
// bottom-up. Transparent pixels have colour entry 0 under a set mask bit.
std::vector<std::uint8_t> iconImage();

// A complete .ico file holding iconImage() as its only image.
std::vector<std::uint8_t> iconFile();

}  // namespace tovi::icon
