// The window toolkit on raw Win32: one top-level window class with standard
// controls (BUTTON, COMBOBOX, STATIC), SetTimer timers, MessageBoxW and a
// message loop that runs IsDialogMessage for keyboard navigation.
//
// The toolkit owns the window class, the dialog font and the count of
// handlers running; each Window it creates owns its HWND, its icons, its
// controls and its timers, and must be destroyed before the toolkit.
// Single-threaded: everything, including the event loop, runs on the thread
// that created the toolkit.
//
// Handler errors: a handler that is raised from a C++ call (a list's click
// from setListIndex, unload from Window::unload) lets its tovi::Error reach
// that caller. A handler raised by a window message has no C++ caller to
// return to (an exception cannot unwind through the system's frames), so its
// failure ends there, like a skipped step.
//
// Timer ticks and pointer events are dropped, not queued, while any handler
// runs or a message box is open; the timer's next period brings the next tick.
#pragma once

#include <memory>

#include "platform/toolkit.h"

namespace tovi::platform::win32 {

// The icon resource the program file carries (resources/tovi.rc). A program
// without it, such as a test, gets the same picture built in memory.
inline constexpr int kIconResourceId = 1;

std::unique_ptr<Toolkit> makeToolkit();

}  // namespace tovi::platform::win32
