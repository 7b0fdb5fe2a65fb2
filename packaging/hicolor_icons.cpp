// Writes the program's icon into an icon theme tree as PNG files:
//     hicolor_icons OUTDIR NAME
// makes OUTDIR/<S>x<S>/apps/NAME.png for every size S of kSizes.
//
// Every file is the picture of window/tray_picture.h drawn for its size, the
// same drawing the tray icon shows: whole-pixel scaling only, so no size is
// blurred by resampling, the largest such picture that fits, centred on a
// transparent canvas:
//   - 32, 64, 128, 256: the picture enlarged 1, 2, 4, 8 times (no margin);
//   - 48: the picture as it is, with an 8-pixel margin (1.5 times is no whole
//     number, and the 16-pixel picture tripled would lose the letter's detail);
//   - 16, 22, 24: the 16-pixel picture, with a 0, 3 or 4-pixel margin.
#include <QImage>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "window/tray_picture.h"

namespace {

constexpr std::array<int, 8> kSizes{16, 22, 24, 32, 48, 64, 128, 256};  // pixels

QImage render(int size) {
    const tovi::platform::IconPicture picture = tovi::tray::plainPicture(size);
    QImage image(size, size, QImage::Format_ARGB32);
    for (int row = 0; row < size; ++row) {
        for (int col = 0; col < size; ++col) {
            image.setPixel(col, row, picture.argb[static_cast<std::size_t>(row * size + col)]);
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
