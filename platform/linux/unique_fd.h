// One owned file descriptor, closed on every path out.
//
// Movable, not copyable. -1 means none. close() is for callers that must know
// whether the close succeeded (a failed close of a written file can mean lost
// data); the destructor closes silently.
#pragma once

#include <unistd.h>

#include <utility>

namespace tovi::platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

    // Closes now and returns what close() said (0 when nothing was open).
    int close() {
        if (fd_ < 0) return 0;
        return ::close(std::exchange(fd_, -1));
    }

private:
    int fd_ = -1;
};

}  // namespace tovi::platform
