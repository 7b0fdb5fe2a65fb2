// The Qt toolkit's own class, shared by the files of the Qt backend (the
// toolkit and its window, the controls); nothing outside platform/qt
// includes it. See toolkit_qt.h for the contract.
//
// The toolkit owns the QApplication, never destroyed, and keeps a list of
// its windows, each owned by whoever created it. It counts the handlers
// running so that a timer's tick never lands inside one. Everything runs on
// the thread that created the toolkit.
#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/guard.h"
#include "platform/qt/qt_convert.h"
#include "platform/qt/toolkit_qt.h"
#include "platform/toolkit.h"

namespace tovi::platform::qt {

class QtWindow;

// Called after a control's visible text changed, so the window can make it fit.
using TextChanged = std::function<void()>;

class QtToolkit final : public Toolkit {
public:
    QtToolkit(int& argc, char** argv, EndWatch ends);

    std::unique_ptr<Window> createWindow(const WindowSpec& desc) override;

    int twipsPerPixelX() const override { return twipsPerPixel(logicalDpiX()); }
    int twipsPerPixelY() const { return twipsPerPixel(logicalDpiY()); }

    void messageBox(const std::string& text, const std::string& title) override;

    int run() override;

    [[noreturn]] void end() override;

    // A handler the event loop raised: it is the outermost caller, so a
    // failure stops here instead of unwinding through Qt.
    template <class Handler>
    void dispatch(Handler&& handler) {
        const HandlerScope scope(*this);
        step(std::forward<Handler>(handler));
    }

    // A handler raised by a call of the program: its failure goes to that call.
    void call(const std::function<void()>& handler) {
        if (!handler) return;
        const HandlerScope scope(*this);
        handler();
    }

    // Ticks that fall due while anything else runs are dropped.
    void tick(const std::function<void()>& handler) {
        if (handlerDepth_ > 0 || !handler) return;
        dispatch(handler);
    }

    void windowCreated(QtWindow& window) { windows_.push_back(&window); }
    void windowDestroyed(QtWindow& window) { std::erase(windows_, &window); }
    // A window has unloaded: the event loop ends.
    void windowUnloaded();

    QtWindow* find(std::uintptr_t handle) const;

private:
    struct HandlerScope {
        explicit HandlerScope(QtToolkit& toolkit) : toolkit(toolkit) { ++toolkit.handlerDepth_; }
        ~HandlerScope() { --toolkit.handlerDepth_; }
        HandlerScope(const HandlerScope&) = delete;
        HandlerScope& operator=(const HandlerScope&) = delete;
        QtToolkit& toolkit;
    };

    int openWindows() const;

    // Asked to end from outside, the program ends as it does when its window
    // is closed: each window unloads, storing its settings and taking its
    // icon out of the tray.
    void watchEndSignals();

    void endAll();

    // Qt ends the process with exit(1) when its X connection breaks (the
    // server died, the session went), as Xlib's default handler does for the
    // lock-key backend's own connection: the loop never returns and no window
    // would unload, losing the settings. A hook that exit() runs unloads the
    // windows still open first; storing needs no display. Only an exit from
    // inside the loop: after the loop has returned, the windows' owners may
    // be gone.
    static void unloadAtExit();

    EndWatch ends_;
    std::unique_ptr<QSocketNotifier> endNotifier_;

    bool running_ = false;            // the event loop runs (run() has not returned)
    int handlerDepth_ = 0;            // handlers and message boxes now running
    std::vector<QtWindow*> windows_;  // every window not yet destroyed
};

}  // namespace tovi::platform::qt
