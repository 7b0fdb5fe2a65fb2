// The signals that ask the program to end from outside (SIGTERM at logout or
// shutdown, SIGHUP when its terminal goes, SIGINT for Ctrl+C), turned into
// bytes on a pipe that an event loop watches, so that the program can end as
// it does when its window is closed. A signal ignored at start (nohup, a
// background job) stays ignored. Both loops use it: the Qt toolkit's (given
// it as a hook) and the loop of the toolkit without a screen.
//
// Plain POSIX, no toolkit: the owner watches the pipe's read end with its
// own event loop. One alive at a time; it takes the signals when created and
// gives back the handlers there were when destroyed. The signal handler only
// writes to the pipe; everything else runs on the thread of the event loop.
#pragma once

#include <signal.h>

#include <vector>

namespace tovi::platform {

class EndSignals {
public:
    // Opens the pipe and sends the end signals to it; without a pipe the
    // signals keep what they had and fd() is -1.
    EndSignals();
    ~EndSignals();
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // The pipe's read end: readable once an end signal came (also one that
    // came before the loop ran), or -1.
    int fd() const { return read_; }

    // Empties the pipe. Further signals still only reach the pipe.
    void drain();

    // Gives the signals their default, so that a second one while the
    // windows unload ends the process at once.
    void restoreDefaults();

private:
    struct Taken {
        int number;
        struct sigaction before;
    };
    static constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
    static inline int endPipe_ = -1;  // written by the signal handler, hence static
    int read_ = -1;                   // the pipe's read end
    int write_ = -1;                  // its write end
    int pipeBefore_ = -1;             // endPipe_ before this one took the signals
    std::vector<Taken> taken_;        // the end signals handled here
};

}  // namespace tovi::platform
