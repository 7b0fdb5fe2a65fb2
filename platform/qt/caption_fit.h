// The fitting of the Qt window's controls to the layout's fixed widths.
//
// The layout fixes every width in twips; heights may grow. Where a caption,
// a list entry or a line of a label would not show in full at its fixed
// width, the window's font (which every control inherits) shrinks in
// half-point steps until it does, but not below a floor. Heights then grow
// to what one line of that font needs, never shrink.
//
// Free functions over the window's record of a placed control; the window
// owns the widgets. Window thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/toolkit.h"

namespace tovi::platform::qt {

// A control as the window placed it.
struct Placed {
    QPointer<QWidget> widget;
    ControlSpec desc;
};

// Makes the control's text fit its width (shrinking the window's font if
// need be) and places it.
void fitCaption(QWidget& window, const Placed& placed);

// Sets the control's geometry from the layout at the window's font.
void place(const Placed& placed);

}  // namespace tovi::platform::qt
