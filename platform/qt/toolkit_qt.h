// The window toolkit on Qt 6 Widgets.
//
// One process-wide toolkit owns the QApplication (created from the program's
// argc/argv on first use, or the one already there) and never destroys it, so
// no widget outlives its application at process exit. A window is a plain
// top-level QWidget with absolutely placed children; each child's objectName
// is its layout name ("Check1", ...), the window's is the window's name.
// Handles given to the notification area are plain pointers: the window's
// QWidget and the window's QIcon, both owned by the window.
//
// Text crosses this boundary as UTF-8; captions use "\r\n" between lines.
//
// The layout fixes every width in twips; heights may grow. The window takes
// the platform's default font and, where a caption, a list entry or a line of
// a label would not show in full at its fixed width, shrinks the window's
// font (which every control inherits) in half-point steps until it does.
// Heights then grow to what one line of that font needs, never shrink.
//
// Handlers raised from the event loop (a user's click, a tick, a close, a
// resize by the window manager) are the outermost callers of the window's
// routines: a failure escaping such a handler ends there, because unwinding
// through Qt's event delivery is not safe. Handlers raised synchronously by a
// call of the program (setListIndex, setWindowState, setVisible, unload)
// pass their failures to that call's caller, as the seam promises.
//
// Timer ticks are dropped, not queued, while any handler of the window runs
// and while a message box is open: a tick inside a modal box would otherwise
// run the tick's own routine again in the box's nested event loop.
//
// A request to end from outside (the platform's end signals, see EndWatch)
// ends the program as a closed window does: every window unloads first, so
// settings are stored. So does a display that goes away while the event loop
// runs: Qt then ends the process with exit(1), and every window still open
// unloads before it ends.
//
// Everything runs on the thread that created the toolkit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/toolkit.h"

class QIcon;
class QWidget;

namespace tovi::platform {

// How the platform around the toolkit tells it that the program is asked to
// end from outside. watch() starts watching and returns a descriptor that
// turns readable on a request, or -1 (then nothing is watched); drain() takes
// the pending requests, once the program ends for them. Either may be empty.
struct EndWatch {
    std::function<int()> watch;
    std::function<void()> drain;
};

// The process's Qt toolkit, created on the first call (argc/argv go to the
// QApplication when this call creates it; argc must outlive the process's use
// of Qt; ends is kept from the first call). Throws tovi::Error when a non-GUI
// Qt application already exists. Needs a display: Qt aborts the process when
// it cannot open one.
Toolkit& qtToolkit(int& argc, char** argv, EndWatch ends = {});

// The live top-level widget behind Window::nativeHandle(), or nullptr when
// the handle names no window of this toolkit (never dereferences it).
QWidget* qtWindowFromHandle(std::uintptr_t handle);

// The icon behind Window::iconHandle() of a live window, or nullptr.
const QIcon* qtIconFromHandle(std::uintptr_t handle);

// Runs handler from the event loop whenever fd is readable, as a handler the
// loop raised (its failure ends there), for as long as the returned token
// lives. Throws tovi::Error before the toolkit exists.
std::shared_ptr<void> qtWatchReadable(int fd, std::function<void()> handler);

}  // namespace tovi::platform
