// Shared by the Qt backend's tests: the process's one toolkit (and with it
// its one QApplication), and waiting on the real event loop.
//
// The tests need a real X server ($DISPLAY, the xcb platform), never Qt's
// offscreen platform: focus, geometry and the tray only mean something there.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "platform/linux/tray_host_x11.h"
#include "platform/qt/notification_area_qt.h"
#include "platform/qt/toolkit_qt.h"

namespace tovi::qtest {

// The toolkit, or nullptr when there is no X display to test on.
inline platform::Toolkit* session() {
    if (!std::getenv("DISPLAY")) return nullptr;
    static int argc = 1;
    static char name[] = "tovi_platform_tests";
    static char* argv[] = {name, nullptr};
    platform::Toolkit& toolkit = platform::qtToolkit(argc, argv);
    // The tray as the program has it.
    platform::qtNotificationArea().setHostProbe(platform::x11TrayHostRuns);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    return &toolkit;
}

// Runs the event loop for the given time.
inline void spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds or the time is up.
inline bool waitUntil(const std::function<bool()>& done, int milliseconds = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) return false;
        spin(10);
    }
    return true;
}

}  // namespace tovi::qtest
