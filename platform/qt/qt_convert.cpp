#include "platform/qt/qt_convert.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "resources/icon.h"

namespace tovi::platform::qt {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

}  // namespace

QString toQString(const std::string& text) {
    QString result = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

QString withoutAccessKeys(QString text) {
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

double logicalDpiX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->logicalDotsPerInchX() > 0 ? screen->logicalDotsPerInchX() : kFallbackDpi;
}

double logicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->logicalDotsPerInchY() > 0 ? screen->logicalDotsPerInchY() : kFallbackDpi;
}

int twipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch)); }

int twipsPerPixel(double dpi) { return std::max(1, static_cast<int>(std::lround(kTwipsPerInch / dpi))); }

QIcon programIcon() {
    QImage image(icon::kSize, icon::kSize, QImage::Format_ARGB32);
    const icon::Pixels& pixels = icon::pixels();
    for (int row = 0; row < icon::kSize; ++row) {
        for (int col = 0; col < icon::kSize; ++col) {
            const std::uint8_t entry = pixels[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
            if (entry >= icon::kPalette.size()) {
                image.setPixel(col, row, qRgba(0, 0, 0, 0));
            } else {
                const icon::Rgb& rgb = icon::kPalette[entry];
                image.setPixel(col, row, qRgb(rgb.red, rgb.green, rgb.blue));
            }
        }
    }
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace tovi::platform::qt
