// One Tovi per user session: two copies would fight over the same lock keys
// and each store its own stale settings at exit.
//
// The first start claims the session and holds the claim while it lives; the
// system drops it however the process ends, so a crashed Tovi never blocks
// the next start. A later start of the window program finds the claim held
// and asks the running Tovi to bring its window back, as a double-click on
// its tray icon does, then ends without touching the settings or the keys. A
// start without a window (tovi --no-window) asks nothing and only ends.
// Different users are different sessions. On Windows so is each logon of
// one user (fast user switching, a remote desktop); on Linux one user's
// logins share one runtime folder and so one Tovi.
//
// Windows: a named mutex in the session's namespace and a message to a
// hidden window of the first instance. Linux: a lock file under
// $XDG_RUNTIME_DIR held with flock, and a local socket beside it.
//
// Window thread only: the claim is made before the window exists, and the
// show request is raised from the window's event loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tovi::platform {

// The session's claim, held by the first instance until it is destroyed.
class SingleInstance {
public:
    virtual ~SingleInstance() = default;

    // Raised on the window's thread, from its event loop, each time a later
    // start asks for the window. A request that came before a handler was
    // given is raised once when it is given. An empty handler stops the calls.
    virtual void setOnShowRequest(std::function<void()> handler) = 0;
};

struct InstanceClaim {
    // Held: this process is the session's Tovi and keeps it while this lives.
    std::unique_ptr<SingleInstance> held;
    // Not held: the running Tovi brought its window back on request.
    bool shown = false;
    // Not held and not shown: one sentence that says why this start ends.
    std::string refusal;
};

// Claims the session for a program with a window (withWindow) or without.
// Where the claim cannot be made at all (no private folder for the lock),
// the program runs unguarded: the claim counts as held.
InstanceClaim claimSingleInstance(bool withWindow);

}  // namespace tovi::platform
