#include "platform/linux/end_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tovi::platform {

EndSignals::EndSignals() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;  // then the signals keep what they had
    read_ = ends[0];
    write_ = ends[1];
    pipeBefore_ = endPipe_;
    endPipe_ = write_;
    struct sigaction action {};
    action.sa_handler = [](int number) {
        const int saved = errno;
        const auto byte = static_cast<unsigned char>(number);
        [[maybe_unused]] const ssize_t written = ::write(endPipe_, &byte, 1);
        errno = saved;
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kEndSignals) {
        Taken taken{number, {}};
        if (::sigaction(number, nullptr, &taken.before) != 0 || taken.before.sa_handler == SIG_IGN) continue;
        if (::sigaction(number, &action, nullptr) == 0) taken_.push_back(taken);
    }
}

EndSignals::~EndSignals() {
    if (read_ < 0) return;
    for (const Taken& taken : taken_) ::sigaction(taken.number, &taken.before, nullptr);
    endPipe_ = pipeBefore_;
    ::close(read_);
    ::close(write_);
}

void EndSignals::drain() {
    unsigned char drained = 0;
    while (read_ >= 0 && ::read(read_, &drained, 1) == 1) {}
}

void EndSignals::restoreDefaults() {
    for (const Taken& taken : taken_) ::signal(taken.number, SIG_DFL);
}

}  // namespace tovi::platform
