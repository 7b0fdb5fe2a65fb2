#include "lockservice/lock_server.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "base/error.h"

namespace tovi::lockservice {

namespace {

constexpr std::uint16_t kKeys[kLockCount] = {KEY_CAPSLOCK, KEY_NUMLOCK, KEY_SCROLLLOCK};
constexpr std::uint16_t kLeds[kLockCount] = {LED_CAPSL, LED_NUML, LED_SCROLLL};

using Seconds = std::chrono::duration<double>;

}  // namespace

LockServer::LockServer(platform::UniqueFd listener, std::unique_ptr<platform::UinputDevice> device, unsigned lit,
                       PeerPolicy& policy, Clock clock)
    : listener_(std::move(listener)), device_(std::move(device)), lit_(lit), policy_(policy), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

std::size_t LockServer::connectionsOf(uid_t uid) const {
    return static_cast<std::size_t>(
        std::count_if(clients_.begin(), clients_.end(), [uid](const Client& c) { return c.peer.uid == uid; }));
}

void LockServer::adopt(platform::UniqueFd connection, const Peer& peer) {
    // Closing at once is the answer a client over the limit gets.
    if (clients_.size() >= kConnections || connectionsOf(peer.uid) >= kConnectionsPerUser) return;
    clients_.push_back({std::move(connection), peer});
}

void LockServer::acceptOne() {
    platform::UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection) return;  // gone before it was taken, or out of descriptors: the next one may do
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(connection.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return;
    adopt(std::move(connection), {credentials.pid, credentials.uid});
}

double LockServer::budgetOf(uid_t uid, std::chrono::steady_clock::time_point now) {
    auto [it, fresh] = budgets_.try_emplace(uid, Budget{kBurst, now});
    Budget& budget = it->second;
    if (!fresh && now > budget.at) {
        budget.requests = std::min(kBurst, budget.requests + Seconds(now - budget.at).count() * kRequestsPerSecond);
    }
    budget.at = now;
    return budget.requests;
}

void LockServer::catchUp() {
    device_->drainLeds([this](std::uint16_t led, bool on) {
        for (unsigned i = 0; i < kLockCount; ++i) {
            if (kLeds[i] != led) continue;
            lit_ = on ? lit_ | 1u << i : lit_ & ~(1u << i);
        }
    });
}

Reply LockServer::carryOut(const Request& request) {
    catchUp();
    if (request.op == Op::Toggle) {
        device_->writeKey(kKeys[request.lock], true);
        device_->writeKey(kKeys[request.lock], false);
    }
    return {Status::Done, lit_};
}

bool LockServer::answer(Client& client) {
    // One byte more than a message, so that a longer packet shows as one.
    std::uint8_t packet[kMessageSize + 1];
    const ssize_t got = ::recv(client.fd.get(), packet, sizeof packet, MSG_DONTWAIT);
    if (got < 0) return errno == EAGAIN || errno == EINTR;
    const std::optional<Request> request = parseRequest(packet, static_cast<std::size_t>(got));
    if (!request) return false;  // the end of the connection, or a packet that is not a request
    budgets_[client.peer.uid].requests -= 1;

    const Reply reply = policy_.allows(client.peer) ? carryOut(*request) : Reply{Status::Refused, 0};
    const Message message = formatReply(reply);
    // A client that does not take its replies is not waited for.
    return ::send(client.fd.get(), message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
           static_cast<ssize_t>(message.size());
}

void LockServer::serve(std::chrono::milliseconds timeout) {
    const auto now = clock_();
    std::vector<pollfd> polled;
    polled.reserve(clients_.size() + 1);
    auto wait = std::min(timeout, kLongestWait);
    for (const Client& client : clients_) {
        const double budget = budgetOf(client.peer.uid, now);
        const bool afford = budget >= 1;
        if (!afford) {
            const auto refill = std::chrono::ceil<std::chrono::milliseconds>(Seconds((1 - budget) / kRequestsPerSecond));
            wait = std::min(wait, std::max(refill, std::chrono::milliseconds(1)));
        }
        // Hang-ups and errors are reported even when nothing is asked for.
        polled.push_back({client.fd.get(), static_cast<short>(afford ? POLLIN : 0), 0});
    }
    const bool listening = listener_ && clients_.size() < kConnections;
    if (listening) polled.push_back({listener_.get(), POLLIN, 0});

    const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
    if (ready < 0 && errno != EINTR) throw Error("the service cannot wait for its clients");
    catchUp();
    if (ready <= 0) return;

    // Answered in order; the closed ones go after, so indexes stay valid.
    std::vector<bool> keep(clients_.size(), true);
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        const short events = polled[i].revents;
        if (events & POLLIN) {
            keep[i] = answer(clients_[i]);
        } else if (events & (POLLHUP | POLLERR | POLLNVAL)) {
            keep[i] = false;
        }
    }
    std::size_t index = 0;
    std::erase_if(clients_, [&](const Client&) { return !keep[index++]; });
    // A budget is forgotten only once it is full again, so that connecting
    // afresh never buys a flood a new burst.
    std::erase_if(budgets_, [&](const auto& entry) {
        return connectionsOf(entry.first) == 0 &&
               entry.second.requests + Seconds(now - entry.second.at).count() * kRequestsPerSecond >= kBurst;
    });
    if (listening && (polled.back().revents & POLLIN)) acceptOne();
}

}  // namespace tovi::lockservice
