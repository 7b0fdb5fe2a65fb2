#include "window/tray_picture.h"

#include <cstddef>

#include "base/error.h"
#include "resources/icon.h"

namespace tovi::tray {

namespace {

std::uint32_t argbOf(std::uint8_t entry) {
    if (entry >= icon::kPalette.size()) return 0;  // transparent
    const icon::Rgb& rgb = icon::kPalette[entry];
    return 0xFF000000u | std::uint32_t{rgb.red} << 16 | std::uint32_t{rgb.green} << 8 | rgb.blue;
}

std::uint32_t& at(platform::IconPicture& picture, int col, int row) {
    return picture.argb[static_cast<std::size_t>(row * picture.size + col)];
}

// A lamp's box is this share of the picture's edge: at 16 pixels 7, which
// just fills the space beside the triangle's top.
int lampEdge(int size) { return (size * 7 + 8) / 16; }

// The lamp's triangle within its box of `edge` pixels, pointing down: row
// `row` spans the columns from row / 2 to edge - 1 - row / 2.
bool inDownTriangle(int col, int row, int edge) {
    if (col < 0 || row < 0 || col >= edge || row >= edge) return false;
    return col >= row / 2 && col <= edge - 1 - row / 2;
}

// Draws one lamp with its top-left corner at (left, 0). A pixel of the shape
// whose neighbours within `outline` steps (across and down only) all belong
// to the shape is lit; the rest of the shape is the outline.
void drawLamp(platform::IconPicture& picture, int left, bool pointsUp, std::uint32_t colour) {
    const int edge = lampEdge(picture.size);
    const int outline = picture.size < 64 ? 1 : picture.size / 32;  // pixels
    const auto inside = [&](int col, int row) { return inDownTriangle(col, pointsUp ? edge - 1 - row : row, edge); };
    for (int row = 0; row < edge; ++row) {
        for (int col = 0; col < edge; ++col) {
            if (!inside(col, row)) continue;
            bool lit = true;
            for (int step = 1; step <= outline && lit; ++step) {
                lit = inside(col - step, row) && inside(col + step, row) && inside(col, row - step) &&
                      inside(col, row + step);
            }
            at(picture, left + col, row) = lit ? colour : kOutline;
        }
    }
}

}  // namespace

platform::IconPicture plainPicture(int size) {
    if (size < 1) throw Error("no picture of that size");
    const int shrink = size < icon::kSize ? 2 : 1;
    const int base = icon::kSize / shrink;  // pixels
    const int grow = size / base < 1 ? 1 : size / base;
    const int drawn = base * grow < size ? base * grow : size;  // pixels
    const int margin = (size - drawn) / 2;                     // pixels

    platform::IconPicture picture{size, std::vector<std::uint32_t>(static_cast<std::size_t>(size * size), 0)};
    const icon::Pixels& pixels = icon::pixels();
    for (int row = 0; row < drawn; ++row) {
        for (int col = 0; col < drawn; ++col) {
            const auto sourceRow = static_cast<std::size_t>(row / grow * shrink);
            const auto sourceCol = static_cast<std::size_t>(col / grow * shrink);
            at(picture, margin + col, margin + row) = argbOf(pixels[sourceRow][sourceCol]);
        }
    }
    return picture;
}

platform::IconPicture lampPicture(int size, Lamps lamps) {
    platform::IconPicture picture = plainPicture(size);
    if (lamps.received) drawLamp(picture, 0, false, kReceivedLamp);
    if (lamps.sent) drawLamp(picture, size - lampEdge(size), true, kSentLamp);
    return picture;
}

}  // namespace tovi::tray
