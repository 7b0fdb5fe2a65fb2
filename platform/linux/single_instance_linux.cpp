#include "platform/linux/single_instance_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "base/guard.h"
#include "platform/linux/unique_fd.h"

namespace tovi::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLockName = "tovi.lock";
constexpr const char* kSocketName = "tovi.socket";
constexpr std::string_view kShowRequest = "show\n";
constexpr std::string_view kShownAnswer = "shown\n";
constexpr const char* kWindowKind = "window";
constexpr const char* kNoWindowKind = "no-window";

// A first Tovi may still be between taking the lock and listening, or in
// its load (a message box open at start waits for the user): a later start
// waits this long for the socket, and then for the answer.
constexpr auto kConnectFor = std::chrono::seconds(5);
constexpr auto kAnswerFor = std::chrono::seconds(10);
constexpr auto kRetryEvery = std::chrono::milliseconds(20);
// A client that connected but says nothing is not waited for longer.
constexpr int kRequestWaitMs = 500;

// The claim where none could be made: nothing to hold, no one to ask.
class Unguarded final : public SingleInstance {
public:
    void setOnShowRequest(std::function<void()>) override {}
};

bool fillAddress(const std::filesystem::path& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

// Waits until fd is readable, at most ms. True when it is.
bool readable(int fd, int ms) {
    pollfd watched{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

class FirstInstance final : public SingleInstance {
public:
    FirstInstance(UniqueFd lock, std::filesystem::path socketPath, WatchReadable watch)
        : lock_(std::move(lock)), socketPath_(std::move(socketPath)), watch_(std::move(watch)) {}

    ~FirstInstance() override {
        watching_.reset();
        // Still under the lock: no later Tovi can have bound the name yet.
        if (listener_) ::unlink(socketPath_.c_str());
    }

    FirstInstance(const FirstInstance&) = delete;
    FirstInstance& operator=(const FirstInstance&) = delete;

    // Binds the socket, replacing one a dead holder left. Without it the
    // claim still holds; a later start then cannot reach this one.
    void listen() {
        sockaddr_un address{};
        if (!fillAddress(socketPath_, address)) return;
        UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!listener) return;
        ::unlink(socketPath_.c_str());
        if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
        if (::listen(listener.get(), 8) != 0) {
            ::unlink(socketPath_.c_str());
            return;
        }
        listener_ = std::move(listener);
    }

    void setOnShowRequest(std::function<void()> handler) override {
        onShow_ = std::move(handler);
        if (!onShow_) {
            watching_.reset();
            return;
        }
        // Without an event loop to watch the socket, a later start waits in
        // vain and says so.
        if (!watching_ && listener_ && watch_) step([&] { watching_ = watch_(listener_.get(), [this] { serve(); }); });
        // Requests made before now wait in the socket's queue.
        serve();
    }

private:
    void serve() {
        if (!listener_) return;
        for (;;) {
            UniqueFd peer(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!peer) return;  // none waiting
            answer(peer.get());
        }
    }

    void answer(int peer) {
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.uid != ::geteuid()) {
            return;
        }
        if (!readable(peer, kRequestWaitMs)) return;
        char request[16] = {};
        const ssize_t got = ::recv(peer, request, sizeof request, MSG_DONTWAIT);
        if (got != static_cast<ssize_t>(kShowRequest.size()) || std::string_view(request, got) != kShowRequest) return;
        if (onShow_) step([&] { onShow_(); });
        [[maybe_unused]] const ssize_t sent =
            ::send(peer, kShownAnswer.data(), kShownAnswer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    UniqueFd lock_;  // held with flock while this lives; closed last
    std::filesystem::path socketPath_;
    WatchReadable watch_;
    UniqueFd listener_;
    std::shared_ptr<void> watching_;
    std::function<void()> onShow_;
};

// The holder's kind and process as its lock file names them.
struct Holder {
    std::string kind;
    std::string pid;
};

Holder readHolder(int lock) {
    char text[64] = {};
    const ssize_t got = ::pread(lock, text, sizeof text - 1, 0);
    if (got <= 0) return {};
    const std::string line(text, static_cast<std::size_t>(got));
    const std::size_t blank = line.find(' ');
    const std::size_t end = line.find('\n');
    if (blank == std::string::npos || end == std::string::npos || end < blank) return {};
    return {line.substr(0, blank), line.substr(blank + 1, end - blank - 1)};
}

std::string runningHere(const Holder& holder) { return holder.pid.empty() ? "" : " (process " + holder.pid + ")"; }

InstanceClaim becomeFirst(UniqueFd lock, const std::filesystem::path& folder, bool withWindow, WatchReadable watch) {
    const std::string line =
        std::string(withWindow ? kWindowKind : kNoWindowKind) + " " + std::to_string(::getpid()) + "\n";
    // Only a hint for the messages of later starts: the lock is the claim.
    // Written over the old line, then cut to size, so that a reader never
    // finds the file empty.
    if (::pwrite(lock.get(), line.data(), line.size(), 0) == static_cast<ssize_t>(line.size())) {
        [[maybe_unused]] const int cut = ::ftruncate(lock.get(), static_cast<off_t>(line.size()));
    }
    auto first = std::make_unique<FirstInstance>(std::move(lock), folder / kSocketName, std::move(watch));
    if (withWindow) first->listen();
    return {std::move(first), false, {}};
}

enum class Asked { Shown, NoAnswer, NotListening };

// Asks the window behind the socket to show itself.
Asked askToShow(const std::filesystem::path& socketPath) {
    sockaddr_un address{};
    if (!fillAddress(socketPath, address)) return Asked::NoAnswer;
    UniqueFd peer(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!peer) return Asked::NoAnswer;
    if (::connect(peer.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return errno == ENOENT || errno == ECONNREFUSED ? Asked::NotListening : Asked::NoAnswer;
    }
    if (::send(peer.get(), kShowRequest.data(), kShowRequest.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(kShowRequest.size())) {
        return Asked::NoAnswer;
    }
    const int waitMs = static_cast<int>(std::chrono::milliseconds(kAnswerFor).count());
    char answer[16] = {};
    if (!readable(peer.get(), waitMs)) return Asked::NoAnswer;
    const ssize_t got = ::recv(peer.get(), answer, sizeof answer, 0);
    return got > 0 && std::string_view(answer, got) == kShownAnswer ? Asked::Shown : Asked::NoAnswer;
}

InstanceClaim second(UniqueFd lock, const std::filesystem::path& folder, bool withWindow, WatchReadable watch) {
    const auto deadline = Clock::now() + kConnectFor;
    for (;;) {
        const Holder holder = readHolder(lock.get());
        if (!withWindow) {
            return {nullptr, false,
                    "another Tovi already runs for this user" + runningHere(holder) + ", so this one ends"};
        }
        if (holder.kind == kNoWindowKind) {
            return {nullptr, false,
                    "Tovi already runs without a window for this user" + runningHere(holder) +
                        "; end it first to use the window"};
        }
        switch (askToShow(folder / kSocketName)) {
        case Asked::Shown:
            return {nullptr, true, {}};
        case Asked::NoAnswer:
            return {nullptr, false, "the Tovi that already runs" + runningHere(holder) + " did not show its window"};
        case Asked::NotListening:
            break;
        }
        // Still loading, or just gone: then the claim is free to take.
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) return becomeFirst(std::move(lock), folder, true, watch);
        if (Clock::now() >= deadline) {
            return {nullptr, false, "the Tovi that already runs" + runningHere(holder) + " cannot be reached"};
        }
        std::this_thread::sleep_for(kRetryEvery);
    }
}

}  // namespace

InstanceClaim unguardedClaim() { return {std::make_unique<Unguarded>(), false, {}}; }

std::optional<std::filesystem::path> sessionFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') return std::filesystem::path(runtime);
    // Without a session folder (su, a bare console, a service): one of our
    // own in /tmp, which anyone could otherwise have made first.
    const std::filesystem::path folder = "/tmp/tovi-" + std::to_string(::geteuid());
    ::mkdir(folder.c_str(), 0700);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0) {
        return std::nullopt;
    }
    return folder;
}

InstanceClaim claimSingleInstanceIn(const std::filesystem::path& folder, bool withWindow, WatchReadable watch) {
    const std::filesystem::path lockPath = folder / kLockName;
    UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600));
    if (!lock) return unguardedClaim();
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
        return becomeFirst(std::move(lock), folder, withWindow, std::move(watch));
    }
    if (errno != EWOULDBLOCK) return unguardedClaim();  // a file system without locks
    return second(std::move(lock), folder, withWindow, std::move(watch));
}

}  // namespace tovi::platform
