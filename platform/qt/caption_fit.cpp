#include "platform/qt/caption_fit.h"

#include <QCheckBox>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_convert.h"

namespace tovi::platform::qt {
namespace {

// The layout fixes every width; where the platform's default font is too wide
// for a caption, the window's font (which every control inherits) shrinks in
// these steps, but not below the floor.
constexpr double kPointSizeStep = 0.5;
constexpr double kSmallestPointSize = 6.0;

// Whether the control's text (its caption, or every entry of a list)
// shows in full at the layout's width.
bool textFits(const Placed& placed) {
    QWidget& control = *placed.widget;
    const int width = twipsToPixels(placed.desc.rect.width, logicalDpiX());
    const QFontMetrics metrics = control.fontMetrics();
    QStyle* style = control.style();
    switch (placed.desc.kind) {
    case ControlKind::CheckBox: {
        const auto& box = static_cast<QCheckBox&>(control);
        QStyleOptionButton option;
        option.initFrom(&box);
        option.text = box.text();
        const QSize text = metrics.size(Qt::TextShowMnemonic, box.text());
        return style->sizeFromContents(QStyle::CT_CheckBox, &option, text, &box).width() <= width;
    }
    case ControlKind::Label: {
        const QStringList lines = static_cast<QLabel&>(control).text().split(QLatin1Char('\n'));
        return std::all_of(lines.begin(), lines.end(),
                           [&](const QString& line) { return metrics.horizontalAdvance(line) <= width; });
    }
    case ControlKind::Button: {
        const auto& button = static_cast<QPushButton&>(control);
        const int chrome = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) +
                                style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button));
        return metrics.size(Qt::TextShowMnemonic, button.text()).width() + chrome <= width;
    }
    case ControlKind::ComboBox: {
        const auto& list = static_cast<ListBox&>(control);
        const int room = list.textWidth();
        for (int i = 0; i < list.count(); ++i) {
            if (metrics.horizontalAdvance(list.itemText(i)) > room) return false;
        }
        return true;
    }
    }
    return true;
}

// The least height at which one line of the control's text shows uncut.
int oneLineHeight(const Placed& placed) {
    QWidget& control = *placed.widget;
    const int text = control.fontMetrics().height();
    switch (placed.desc.kind) {
    case ControlKind::CheckBox:
        return std::max(text, control.style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, &control));
    case ControlKind::Label:
        return text;
    case ControlKind::ComboBox:
    case ControlKind::Button:
        return control.sizeHint().height();
    }
    return text;
}

}  // namespace

void fitCaption(QWidget& window, const Placed& placed) {
    if (!placed.widget) return;
    QFont font = window.font();
    while (!textFits(placed) && font.pointSizeF() - kPointSizeStep >= kSmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - kPointSizeStep);
        window.setFont(font);
    }
    place(placed);
}

void place(const Placed& placed) {
    if (!placed.widget) return;
    const Rect& rect = placed.desc.rect;
    const int height = std::max(twipsToPixels(rect.height, logicalDpiY()), oneLineHeight(placed));
    placed.widget->setGeometry(twipsToPixels(rect.left, logicalDpiX()), twipsToPixels(rect.top, logicalDpiY()),
                               twipsToPixels(rect.width, logicalDpiX()), height);
}

}  // namespace tovi::platform::qt
