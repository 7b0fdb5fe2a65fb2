#include "lockservice/peer_policy.h"

#include <systemd/sd-login.h>

#include <cerrno>
#include <cstdlib>

#include "base/error.h"

namespace tovi::lockservice {

bool SessionPolicy::allows(const Peer& peer) {
    if (peer.uid == 0) return true;
    if (!peer.seating) {
        Seating seating;
        try {
            if (std::optional<std::string> session = logind_->sessionOf(peer.pid)) {
                seating.seat = logind_->seatOf(*session).value_or("");
                seating.session = std::move(*session);
            }
        } catch (const Error&) {
            return false;  // unknown: refused this time, and asked again at the next request
        }
        peer.seating = std::move(seating);
    }
    const Seating& seating = *peer.seating;
    if (seating.session.empty()) return logind_->activeUserOfASeat(peer.uid);
    return !seating.seat.empty() && logind_->activeOnSeat(seating.session, seating.seat);
}

namespace {

// sd-login hands out malloc'd strings and arrays.
struct Freed {
    char* text = nullptr;
    ~Freed() { std::free(text); }
};

class SdLogind final : public Logind {
public:
    std::optional<std::string> sessionOf(pid_t pid) override {
        if (pid <= 0) return std::nullopt;
        Freed session;
        const int result = sd_pid_get_session(pid, &session.text);
        if (result >= 0 && session.text) return std::string(session.text);
        // Outside every session, or gone; anything else is no answer at all.
        if (result == -ENODATA || result == -ESRCH || result == -ENOENT || result == -ENXIO) return std::nullopt;
        throw Error("cannot tell the login session of process " + std::to_string(pid));
    }

    std::optional<std::string> seatOf(const std::string& session) override {
        Freed seat;
        const int result = sd_session_get_seat(session.c_str(), &seat.text);
        if (result >= 0 && seat.text && *seat.text) return std::string(seat.text);
        if (result >= 0 || result == -ENODATA || result == -ENXIO || result == -ENOENT) return std::nullopt;
        throw Error("cannot tell the seat of login session " + session);
    }

    // The seat's own record of its active session: one small file.
    bool activeOnSeat(const std::string& session, const std::string& seat) override {
        Freed active;
        return sd_seat_get_active(seat.c_str(), &active.text, nullptr) >= 0 && active.text && session == active.text;
    }

    bool activeUserOfASeat(uid_t uid) override {
        char** seats = nullptr;
        const int count = sd_get_seats(&seats);
        bool found = false;
        for (int i = 0; i < count; ++i) {
            found = found || sd_uid_is_on_seat(uid, 1, seats[i]) > 0;
            std::free(seats[i]);
        }
        std::free(seats);
        return found;
    }
};

}  // namespace

std::unique_ptr<Logind> systemLogind() { return std::make_unique<SdLogind>(); }

}  // namespace tovi::lockservice
