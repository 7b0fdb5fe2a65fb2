// Measures a toggle's round trip through the lock-key service, from inside
// the booted VM of tests/package/booted_vm.sh (--figures), as the user of
// the active session: request written to reply read, for Caps Lock, once
// every 25 ms (a tick's pace, well inside the service's request budget).
//
//   tovi_lock_round_trip ROUNDS
//
// An even ROUNDS leaves the lock as it found it. Prints one line,
// "median N us, worst N us over ROUNDS toggles", or "FAIL ..." with status 1.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lockservice/lock_protocol.h"
#include "platform/linux/unique_fd.h"

namespace {

using namespace tovi;
using Clock = std::chrono::steady_clock;

int fail(const std::string& why) {
    std::printf("FAIL %s\n", why.c_str());
    return 1;
}

platform::UniqueFd connectService() {
    platform::UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, lockservice::kSocketPath, sizeof address.sun_path - 1);
    if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return {};
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc == 2 ? std::atoi(argv[1]) : 0;
    if (rounds <= 0) return fail("usage: tovi_lock_round_trip ROUNDS");
    const platform::UniqueFd fd = connectService();
    if (fd.get() < 0) return fail(std::string("no service at ") + lockservice::kSocketPath);

    std::vector<long> micros;
    for (int i = 0; i < rounds; ++i) {
        const lockservice::Message request = lockservice::formatRequest({lockservice::Op::Toggle, 0});
        std::uint8_t reply[lockservice::kMessageSize + 1];
        const auto begin = Clock::now();
        if (::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
            return fail("the request could not be sent");
        const ssize_t got = ::recv(fd.get(), reply, sizeof reply, 0);
        const auto end = Clock::now();
        const auto parsed = lockservice::parseReply(reply, got > 0 ? static_cast<std::size_t>(got) : 0);
        if (!parsed) return fail("no reply, or not a reply");
        if (parsed->status != lockservice::Status::Done) return fail("the service refused the toggle");
        micros.push_back(std::chrono::duration_cast<std::chrono::microseconds>(end - begin).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::sort(micros.begin(), micros.end());
    std::printf("median %ld us, worst %ld us over %d toggles\n", micros[micros.size() / 2], micros.back(), rounds);
    return 0;
}
