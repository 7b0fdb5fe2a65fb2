// The lock-key service's connections: one poll loop that answers every
// client from the one virtual keyboard, without ever waiting on a client.
//
// Requests and replies are those of lock_protocol.h. Every request is put to
// the policy with the peer's credentials from the time it connected; a
// refusal is answered and the connection stays. A malformed packet, or a
// reply the client's socket cannot take at once, ends that connection only.
// Each user has a request budget (kRequestsPerSecond, kBurst) shared by
// their connections: over it, their connections are simply not read until
// the budget grows back, so a flood slows only its sender. The lights are
// what the kernel echoed to the device, seeded from `lit` at start.
//
// The server owns the listening socket, the device and every connection;
// the policy must outlive it. Single-threaded.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "lockservice/lock_protocol.h"
#include "lockservice/peer_policy.h"
#include "platform/linux/keyboard_uinput.h"
#include "platform/linux/unique_fd.h"

namespace tovi::lockservice {

class LockServer {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // The busiest tick (25 ms, both lights switching) asks for 160 requests a
    // second; a script typing through a keyboard does thousands.
    static constexpr double kRequestsPerSecond = 400;
    static constexpr double kBurst = 40;
    static constexpr std::size_t kConnectionsPerUser = 8;
    static constexpr std::size_t kConnections = 256;
    // The device's echoes are read at least this often, so the kernel's small
    // event buffer never wraps while nobody asks.
    static constexpr std::chrono::milliseconds kLongestWait{250};

    // listener: a listening SOCK_SEQPACKET socket, or none (-1) for a server
    // fed only through adopt().
    LockServer(platform::UniqueFd listener, std::unique_ptr<platform::UinputDevice> device, unsigned lit,
               PeerPolicy& policy, Clock clock = {});

    // Takes over a connected socket whose peer is `peer`. Refused (closed)
    // beyond the connection limits.
    void adopt(platform::UniqueFd connection, const Peer& peer);

    // Waits at most `timeout` for a connection or a request, then serves
    // what is ready: at most one request per connection, so that no client
    // goes ahead of the others. Throws tovi::Error when the device fails.
    void serve(std::chrono::milliseconds timeout);

    std::size_t connections() const { return clients_.size(); }
    unsigned lit() const { return lit_; }

private:
    struct Client {
        platform::UniqueFd fd;
        Peer peer;
    };
    struct Budget {
        double requests;
        std::chrono::steady_clock::time_point at;  // when `requests` was last topped up
    };

    void acceptOne();
    // False when the connection is to be closed.
    bool answer(Client& client);
    Reply carryOut(const Request& request);
    void catchUp();
    double budgetOf(uid_t uid, std::chrono::steady_clock::time_point now);
    std::size_t connectionsOf(uid_t uid) const;

    platform::UniqueFd listener_;
    std::unique_ptr<platform::UinputDevice> device_;
    unsigned lit_;
    PeerPolicy& policy_;
    Clock clock_;
    std::vector<Client> clients_;
    std::map<uid_t, Budget> budgets_;
};

}  // namespace tovi::lockservice
