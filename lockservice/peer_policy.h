// Who may switch the seat's lock keys through the service.
//
// Root may. Anyone else only while sitting at a seat: a process in a login
// session must be in one that is active on a seat (a session switched to
// the background, or one without a seat such as a remote login, is
// refused). A process outside every session (desktops that start programs
// as units of the user's service manager) counts when its user is the
// active user of a seat. Whether the session is the active one of its seat
// is asked afresh for every request, so a user switch takes effect at the
// next request; which session and seat the process has is asked once per
// connection, as neither ever changes while the process lives (and the
// process is then the one that connected, not whoever has its pid later).
//
// The logind queries sit behind Logind so that the rule can be tried
// without a running login manager. Single-threaded.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

namespace tovi::lockservice {

// Where a peer's process sits among the login manager's seats.
struct Seating {
    std::string session;  // empty outside every session
    std::string seat;     // the session's seat; empty when it has none
};

struct Peer {
    pid_t pid;
    uid_t uid;
    // The policy's note of the peer's seating, made at its first request and
    // kept with the connection (a memo: not part of who the peer is).
    mutable std::optional<Seating> seating = std::nullopt;
};

class PeerPolicy {
public:
    virtual ~PeerPolicy() = default;
    virtual bool allows(const Peer& peer) = 0;
};

// What the rule needs to know of the login manager's state.
class Logind {
public:
    virtual ~Logind() = default;
    // The session the process belongs to; nothing when it belongs to none
    // or is gone. Throws tovi::Error when that cannot be told.
    virtual std::optional<std::string> sessionOf(pid_t pid) = 0;
    // The session's seat; nothing when it has none or is gone. Throws
    // tovi::Error when that cannot be told.
    virtual std::optional<std::string> seatOf(const std::string& session) = 0;
    // Whether the session is the active session of the seat now.
    virtual bool activeOnSeat(const std::string& session, const std::string& seat) = 0;
    // Whether the user owns the active session of some seat now.
    virtual bool activeUserOfASeat(uid_t uid) = 0;
};

class SessionPolicy final : public PeerPolicy {
public:
    explicit SessionPolicy(std::unique_ptr<Logind> logind) : logind_(std::move(logind)) {}
    bool allows(const Peer& peer) override;

private:
    std::unique_ptr<Logind> logind_;
};

// The running login manager's state, read through sd-login.
std::unique_ptr<Logind> systemLogind();

}  // namespace tovi::lockservice
