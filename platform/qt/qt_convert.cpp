#include "platform/qt/qt_convert.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

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

}  // namespace tovi::platform::qt
