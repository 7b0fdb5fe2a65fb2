// The signals that ask the program to end from outside (SIGTERM at logout or
// shutdown, SIGHUP when its terminal goes, SIGINT for Ctrl+C), turned into
// bytes on a pipe that the event loop watches, so that the program can end
// as it does when its window is closed. A signal ignored at start (nohup, a
// background job) stays ignored.
//
// Plain POSIX, no toolkit: the owner watches the pipe's read end with its
// own event loop. One per process; the pipe stays open for the process's
// life. The signal handler only writes to the pipe; everything else runs on
// the thread of the event loop.
#pragma once

#include <signal.h>

#include <vector>

namespace tovi::platform {

class EndSignals {
public:
    // Opens the pipe and sends the end signals to it. Returns the pipe's read
    // end, or -1 when no pipe could be opened (then the signals keep their
    // default).
    int watch();

    // Empties the pipe and gives the signals their default back, so that a
    // second signal while the windows unload ends the process at once.
    void drain();

private:
    static constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
    static inline int endPipe_ = -1;  // written by the signal handler, hence static
    int read_ = -1;                   // the pipe's read end
    std::vector<int> watched_;        // the end signals handled here
};

}  // namespace tovi::platform
