// The toolkit's application side: the QApplication, the event loop, the end
// signals and the message box. The window is in toolkit_qt.cpp.
#include "platform/qt/toolkit_qt.h"

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/error.h"
#include "base/scope_exit.h"
#include "platform/qt/qt_convert.h"
#include "platform/qt/toolkit_qt_internal.h"

namespace tovi::platform::qt {

QtToolkit::QtToolkit(int& argc, char** argv, EndWatch ends) : ends_(std::move(ends)) {
    QCoreApplication* existing = QCoreApplication::instance();
    if (existing && !qobject_cast<QApplication*>(existing)) throw Error("a Qt application without widgets exists");
    // Deliberately never deleted: the application must outlive every
    // widget and tray icon, including those alive at process exit.
    if (!existing) new QApplication(argc, argv);
    // The window hides in the notification area; closing a message box
    // while it is hidden must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    watchEndSignals();
}

void QtToolkit::messageBox(const std::string& text, const std::string& title) {
    const HandlerScope scope(*this);
    QMessageBox box(QMessageBox::NoIcon, title.empty() ? QString::fromUtf8(kApplicationTitle) : toQString(title),
                    toQString(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

int QtToolkit::run() {
    if (openWindows() == 0) return 0;
    unloadAtExit();
    running_ = true;
    const ScopeExit stopped([this] { running_ = false; });
    return QApplication::exec();
}

void QtToolkit::end() {
    std::fflush(nullptr);
    ::_exit(0);
}

void QtToolkit::windowUnloaded() {
    if (QApplication::instance()) QApplication::exit(0);
}

// The platform's watch only makes a descriptor readable; the event loop
// watches it.
void QtToolkit::watchEndSignals() {
    const int read = ends_.watch ? ends_.watch() : -1;
    if (read < 0) return;  // then the signals keep their default
    endNotifier_ = std::make_unique<QSocketNotifier>(read, QSocketNotifier::Read);
    QObject::connect(endNotifier_.get(), &QSocketNotifier::activated, [this] {
        if (ends_.drain) ends_.drain();
        endAll();
    });
}

void QtToolkit::unloadAtExit() {
    static const bool registered = std::atexit([] {
                                       if (g_toolkit && g_toolkit->running_ && g_toolkit->openWindows() > 0)
                                           g_toolkit->endAll();
                                   }) == 0;
    (void)registered;
}

}  // namespace tovi::platform::qt

namespace tovi::platform {

using qt::g_toolkit;
using qt::QtToolkit;

Toolkit& qtToolkit(int& argc, char** argv, EndWatch ends) {
    if (!g_toolkit) g_toolkit = new QtToolkit(argc, argv, std::move(ends));
    return *g_toolkit;
}

std::shared_ptr<void> qtWatchReadable(int fd, std::function<void()> handler) {
    if (!g_toolkit) throw Error("no Qt toolkit to watch a descriptor");
    auto notifier = std::make_shared<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated,
                     [handler = std::move(handler)] { g_toolkit->dispatch(handler); });
    return notifier;
}

}  // namespace tovi::platform
