#include "lockservice/peer_policy.h"

#include <systemd/sd-login.h>

#include <cstdlib>

namespace tovi::lockservice {

bool SessionPolicy::allows(const Peer& peer) {
    if (peer.uid == 0) return true;
    if (const std::optional<std::string> session = logind_->sessionOf(peer.pid)) {
        return logind_->activeOnSeat(*session);
    }
    return logind_->activeUserOfASeat(peer.uid);
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
        Freed session;
        if (pid <= 0 || sd_pid_get_session(pid, &session.text) < 0 || !session.text) return std::nullopt;
        return std::string(session.text);
    }

    bool activeOnSeat(const std::string& session) override {
        Freed seat;
        if (sd_session_get_seat(session.c_str(), &seat.text) < 0 || !seat.text || !*seat.text) return false;
        return sd_session_is_active(session.c_str()) > 0;
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
