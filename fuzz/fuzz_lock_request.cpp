// The lock-key service's side of a connection, fed arbitrary packets: the
// parse against an independent reading of the four-byte request, the
// formats round-tripping, and the server itself over a socket pair, which
// must answer exactly the well-formed packets, end the connection at the
// first other one, and let nothing but a lock key's press and release
// reach the keyboard.
//
// Input: packets, each a length byte followed by that many bytes.
#include <linux/input-event-codes.h>
#include <sys/socket.h>

#include <vector>

#include "fuzz/fuzz_support.h"
#include "lockservice/lock_server.h"

namespace {

using namespace tovi::lockservice;

bool wellFormed(const std::uint8_t* p, std::size_t size) {
    if (size != 4 || p[0] != 1 || p[3] != 0) return false;
    return (p[1] == 1 && p[2] == 0) || (p[1] == 2 && p[2] < 3);
}

struct Device : tovi::platform::UinputDevice {
    std::vector<std::pair<std::uint16_t, bool>> written;
    void writeKey(std::uint16_t key, bool down) override { written.emplace_back(key, down); }
    void drainLeds(const std::function<void(std::uint16_t, bool)>&) override {}
};

struct SomePeers : PeerPolicy {
    bool allows(const Peer& peer) override { return peer.uid != 0 || peer.pid % 2 == 0; }
};

void checkFormats(const std::uint8_t* p, std::size_t size) {
    const std::optional<Request> request = parseRequest(p, size);
    TOVI_FUZZ_CHECK(request.has_value() == wellFormed(p, size));
    if (request) {
        const Message again = formatRequest(*request);
        TOVI_FUZZ_CHECK(std::equal(again.begin(), again.end(), p));
    }
    if (const std::optional<Reply> reply = parseReply(p, size)) {
        const Message again = formatReply(*reply);
        TOVI_FUZZ_CHECK(std::equal(again.begin(), again.end(), p));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return 0;
    tovi::platform::UniqueFd client(ends[0]);
    SomePeers policy;
    auto owned = std::make_unique<Device>();
    Device& device = *owned;
    auto now = std::chrono::steady_clock::time_point{};
    LockServer server(tovi::platform::UniqueFd(), std::move(owned), 0, policy, [&] { return now; });
    server.adopt(tovi::platform::UniqueFd(ends[1]), {static_cast<pid_t>(size), size % 3 == 0 ? 0u : 1000u});

    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        const std::uint8_t* packet = data + at + 1;
        at += 1 + length;
        checkFormats(packet, length);
        if (::send(client.get(), packet, length, MSG_DONTWAIT | MSG_NOSIGNAL) != static_cast<ssize_t>(length)) break;
        server.serve(std::chrono::milliseconds(0));
        now += std::chrono::seconds(1);  // never over the budget

        std::uint8_t reply[8];
        const ssize_t got = ::recv(client.get(), reply, sizeof reply, MSG_DONTWAIT);
        if (!wellFormed(packet, length)) {
            TOVI_FUZZ_CHECK(got == 0 && server.connections() == 0);
            break;
        }
        TOVI_FUZZ_CHECK(got == 4 && parseReply(reply, 4).has_value());
    }
    for (std::size_t i = 0; i < device.written.size(); ++i) {
        const auto [key, down] = device.written[i];
        TOVI_FUZZ_CHECK(key == KEY_CAPSLOCK || key == KEY_NUMLOCK || key == KEY_SCROLLLOCK);
        TOVI_FUZZ_CHECK(down == (i % 2 == 0));
        if (!down) TOVI_FUZZ_CHECK(device.written[i - 1].first == key);
    }
    return 0;
}
