// Writes the program's icon into an icon theme tree as PNG files:
//     hicolor_icons OUTDIR NAME
// makes OUTDIR/<S>x<S>/apps/NAME.png for every size S of kSizes.
//
// Every file comes from the 32 x 32 picture in resources/icon.h by whole-pixel
// scaling only, so no size is blurred by resampling. Each size holds the
// largest such picture that fits, centred on a transparent canvas:
//   - 32, 64, 128, 256: the picture enlarged 1, 2, 4, 8 times (no margin);
//   - 48: the picture as it is, with an 8-pixel margin (1.5 times is no whole
//     number, and the 16-pixel picture tripled would lose the letter's detail);
//   - 16, 22, 24: the 16-pixel picture, with a 0, 3 or 4-pixel margin.
// The 16-pixel picture is the nearest-neighbour halving of the original: each
// pixel is the top-left one of its 2 x 2 block. That phase keeps both strokes
// of the letter 2 pixels wide and the triangle's apex and base intact.
#include <QImage>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "resources/icon.h"

namespace {

constexpr std::array<int, 8> kSizes{16, 22, 24, 32, 48, 64, 128, 256};  // pixels

QRgb colour(std::uint8_t entry) {
    if (entry >= tovi::icon::kPalette.size()) return qRgba(0, 0, 0, 0);
    const tovi::icon::Rgb& rgb = tovi::icon::kPalette[entry];
    return qRgb(rgb.red, rgb.green, rgb.blue);
}

// `size` pixels square: the original picture shrunk by `shrink` (1 or 2,
// sampling the top-left pixel of each block), then enlarged `grow` times
// and centred.
QImage render(int size) {
    const int shrink = size < tovi::icon::kSize ? 2 : 1;
    const int base = tovi::icon::kSize / shrink;  // pixels
    const int grow = size / base;
    const int margin = (size - base * grow) / 2;  // pixels
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, 0));
    const tovi::icon::Pixels& pixels = tovi::icon::pixels();
    for (int row = 0; row < base * grow; ++row) {
        for (int col = 0; col < base * grow; ++col) {
            const auto sourceRow = static_cast<std::size_t>(row / grow * shrink);
            const auto sourceCol = static_cast<std::size_t>(col / grow * shrink);
            image.setPixel(margin + col, margin + row, colour(pixels[sourceRow][sourceCol]));
        }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR NAME\n", argv[0]);
        return 2;
    }
    for (const int size : kSizes) {
        const std::string edge = std::to_string(size);
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / (edge + "x" + edge) / "apps";
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        const std::filesystem::path file = dir / (std::string(argv[2]) + ".png");
        if (error || !render(size).save(QString::fromStdString(file.string()), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], file.c_str());
            return 1;
        }
    }
    return 0;
}
