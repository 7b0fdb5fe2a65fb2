// tovi-lock-keys: the lock-key service. systemd starts it on the first
// connection to its socket (lock_protocol.h) and passes that socket in;
// it makes the virtual keyboard, serves until no client has been connected
// for kIdleExit, and ends. Everything it says goes to stderr, the journal.
#include <signal.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/error.h"
#include "lockservice/lock_server.h"
#include "lockservice/peer_policy.h"
#include "platform/linux/keyboard_uinput.h"

namespace {

constexpr auto kIdleExit = std::chrono::seconds(60);

int usage(std::FILE* to, int status) {
    std::fputs("usage: tovi-lock-keys [--help | --version]\n"
               "Started by systemd through tovi-lock-keys.socket; switches the lock keys for the\n"
               "user at the seat. See tovi-lock-keys(8).\n",
               to);
    return status;
}

int serve() {
    using namespace tovi;
    if (sd_listen_fds(1) != 1 || sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_SEQPACKET, 1, nullptr, 0) <= 0) {
        std::fputs("tovi-lock-keys: not started by its socket unit (tovi-lock-keys.socket)\n", stderr);
        return 2;
    }
    platform::UniqueFd listener(SD_LISTEN_FDS_START);
    lockservice::SessionPolicy policy(lockservice::systemLogind());
    // The lights before the device exists: a new keyboard's own start dark.
    const unsigned lit = platform::litLocks();
    lockservice::LockServer server(std::move(listener), platform::createUinputDevice(), lit, policy);

    auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
        server.serve(std::chrono::seconds(1));
        const auto now = std::chrono::steady_clock::now();
        if (server.connections() > 0) {
            idleSince = now;
        } else if (now - idleSince >= kIdleExit) {
            return 0;  // the socket stays with systemd, which starts us again
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The journal's end of stderr may be gone; a write there must not end us.
    ::signal(SIGPIPE, SIG_IGN);
    if (argc > 1) {
        const std::string_view option = argv[1];
        if (argc == 2 && option == "--version") {
            std::printf("tovi-lock-keys %s\n", TOVI_VERSION);
            return 0;
        }
        return option == "--help" && argc == 2 ? usage(stdout, 0) : usage(stderr, 2);
    }
    try {
        return serve();
    } catch (const tovi::Error& error) {
        std::fprintf(stderr, "tovi-lock-keys: %s\n", error.what());
        return 1;
    }
}
