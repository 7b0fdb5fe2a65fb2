#include "platform/linux/end_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tovi::platform {

int EndSignals::watch() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;  // then the signals keep their default
    endPipe_ = ends[1];
    read_ = ends[0];
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
        struct sigaction before {};
        if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(number, &action, nullptr);
        watched_.push_back(number);
    }
    return read_;
}

void EndSignals::drain() {
    unsigned char drained = 0;
    while (::read(read_, &drained, 1) == 1) {}
    for (const int number : watched_) ::signal(number, SIG_DFL);
}

}  // namespace tovi::platform
