// Conversions between the toolkit seam's terms and Qt's: text (UTF-8 with
// "\r\n" line breaks) to QString, and the layout's twips to the screen's
// pixels at the primary screen's logical resolution.
//
// Free functions without state; they need the Qt application (the screen's
// resolution falls back to 96 dots per inch without a screen). Window thread
// only, as everything in the Qt toolkit.
#pragma once

#include <QString>
#include <string>

namespace tovi::platform::qt {

QString toQString(const std::string& text);

// Buttons and check boxes would take '&' as an access key; no caption defines one.
QString withoutAccessKeys(QString text);

double logicalDpiX();
double logicalDpiY();

int twipsToPixels(int twips, double dpi);
int twipsPerPixel(double dpi);

}  // namespace tovi::platform::qt
