// The toolkit of tovi --no-window: no screen, no display, no Qt application.
//
// The window and its controls live in memory only and are never shown; they
// hold and refuse values as the seam says, so the window's own load sequence
// reads the stored settings into them and applies them exactly as on screen.
// Timers are driven by a plain poll loop on the monotonic clock, one wake-up
// per due timer and nothing in between. A message box has no one to answer
// it: its text goes to stderr, each distinct text once, since a routine that
// meets the same trouble on every tick would otherwise repeat it forever.
//
// run() returns 0 when SIGTERM, SIGINT or SIGHUP arrives (unless ignored at
// start: nohup, a background job), or when the window unloads; a signal that
// came before run() counts too. A signal does
// not unload the window, so its unload handler, which stores the settings,
// never runs here.
//
// The notification area that goes with it has no tray: available() is false
// and every message fails.
//
// One thread only.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/notification_area.h"
#include "platform/toolkit.h"

namespace tovi::platform {

class EndSignals;

class HeadlessToolkit final : public Toolkit {
public:
    // Takes over the end signals at once, so that one arriving while the
    // window loads ends the loop too; gives them back when destroyed.
    HeadlessToolkit();
    ~HeadlessToolkit() override;
    HeadlessToolkit(const HeadlessToolkit&) = delete;
    HeadlessToolkit& operator=(const HeadlessToolkit&) = delete;

    std::unique_ptr<Window> createWindow(const WindowSpec& desc) override;
    int twipsPerPixelX() const override { return 15; }
    void messageBox(const std::string& text, const std::string& title = {}) override;
    int run() override;
    [[noreturn]] void end() override;

    // Waits until the next timer is due, at most timeoutMs, and fires every
    // timer due by then. Returns false when none was due in time. The loop
    // of run() is made of this; tests call it directly.
    bool fireDue(int timeoutMs);

    class HeadlessTimer;

private:
    friend class HeadlessTimer;
    friend class HeadlessWindow;
    using Clock = std::chrono::steady_clock;

    // Waits for the earliest due timer or for fd (-1: none) to become
    // readable, at most timeoutMs (-1: no limit). True when fd is readable.
    bool wait(int fd, int timeoutMs);
    void fire();
    // Runs a handler of the window; no timer fires meanwhile.
    void handle(const std::function<void()>& handler);

    std::unique_ptr<EndSignals> signals_;
    std::vector<HeadlessTimer*> timers_;  // every live timer, owned by its window
    std::set<std::string> told_;          // message texts written so far
    bool unloaded_ = false;               // the window unloaded: run() returns
    int busy_ = 0;                        // handlers now running
};

// The notification area without a tray; lives until the process ends.
NotificationArea& absentNotificationArea();

}  // namespace tovi::platform
