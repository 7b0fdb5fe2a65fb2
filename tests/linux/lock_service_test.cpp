// The lock-key service against fakes: who may switch the keys (a fake
// login manager), what a connection may send (a fake policy and device over
// socket pairs), and the client keyboard talking to a served socket. The
// real device and logind are tried in the VM.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "base/error.h"
#include "lockkeys/set_lock_key.h"
#include "lockservice/lock_server.h"
#include "lockservice/peer_policy.h"
#include "platform/linux/keyboard_service.h"

namespace tovi::lockservice {
namespace {

using platform::UniqueFd;
using namespace std::chrono_literals;

// --- Who may ask ------------------------------------------------------------

struct FakeLogind : Logind {
    std::map<pid_t, std::string> sessions;
    std::map<std::string, std::string> seats;   // session -> its seat
    std::map<std::string, std::string> active;  // seat -> its active session
    std::set<uid_t> seatUsers;                  // owners of a seat's active session
    std::set<pid_t> unknown;                    // processes whose session cannot be told
    int asked = 0;

    std::optional<std::string> sessionOf(pid_t pid) override {
        ++asked;
        if (unknown.count(pid) != 0) throw Error("no answer");
        const auto found = sessions.find(pid);
        return found == sessions.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::string> seatOf(const std::string& session) override {
        const auto found = seats.find(session);
        return found == seats.end() ? std::nullopt : std::optional(found->second);
    }
    bool activeOnSeat(const std::string& session, const std::string& seat) override {
        const auto found = active.find(seat);
        return found != active.end() && found->second == session;
    }
    bool activeUserOfASeat(uid_t uid) override { return seatUsers.count(uid) != 0; }
};

TEST(LockServicePolicy, RootAndTheActiveSeatSessionMayAskNobodyElse) {
    auto owned = std::make_unique<FakeLogind>();
    FakeLogind& logind = *owned;
    logind.sessions = {{100, "2"}, {200, "3"}, {300, "4"}};
    logind.seats = {{"2", "seat0"}, {"3", "seat0"}};  // 4 is a remote login without a seat
    logind.active = {{"seat0", "2"}};                 // 3 is in the background
    logind.seatUsers = {1000};
    SessionPolicy policy(std::move(owned));

    EXPECT_TRUE(policy.allows({100, 1000})) << "the active session at the seat";
    EXPECT_FALSE(policy.allows({200, 1001})) << "a session in the background";
    EXPECT_FALSE(policy.allows({300, 1000})) << "a session without a seat, even of the seat's user";
    EXPECT_TRUE(policy.allows({400, 1000})) << "outside every session, the seat's user";
    EXPECT_FALSE(policy.allows({500, 1002})) << "outside every session, another user";
    EXPECT_TRUE(policy.allows({600, 0})) << "root";

    // Asked afresh each time: a user switch takes effect at the next request.
    logind.active = {{"seat0", "3"}};
    logind.seatUsers = {1001};
    EXPECT_FALSE(policy.allows({100, 1000}));
    EXPECT_TRUE(policy.allows({200, 1001}));
}

TEST(LockServicePolicy, AConnectionsSessionIsLookedUpOnceItsStandingAtEveryRequest) {
    auto owned = std::make_unique<FakeLogind>();
    FakeLogind& logind = *owned;
    logind.sessions = {{100, "2"}};
    logind.seats = {{"2", "seat0"}};
    logind.active = {{"seat0", "2"}};
    logind.unknown = {700};
    SessionPolicy policy(std::move(owned));

    const Peer peer{100, 1000};  // as a connection keeps it
    EXPECT_TRUE(policy.allows(peer));
    logind.active = {{"seat0", "3"}};
    EXPECT_FALSE(policy.allows(peer)) << "the session went to the background: refused from this request on";
    // The pid now names another process, in the seat's active session: the
    // connection is still the one that process 100 made.
    logind.sessions = {{100, "3"}};
    EXPECT_FALSE(policy.allows(peer));
    logind.active = {{"seat0", "2"}};
    EXPECT_TRUE(policy.allows(peer)) << "back in the foreground";
    EXPECT_EQ(logind.asked, 1);

    // A session that cannot be told is no answer to remember: refused, and
    // asked again at the next request.
    const Peer doubtful{700, 1000};
    logind.seatUsers = {1000};
    EXPECT_FALSE(policy.allows(doubtful));
    logind.unknown.clear();
    EXPECT_TRUE(policy.allows(doubtful)) << "outside every session, the seat's user";
}

// --- What a connection may send ---------------------------------------------

using Keys = std::vector<std::pair<std::uint16_t, bool>>;  // (key, down) as written

struct FakeDevice : platform::UinputDevice {
    Keys* written;
    Keys pending;  // LED echoes not yet read
    unsigned lights = 0;

    explicit FakeDevice(Keys* log) : written(log) {}
    void writeKey(std::uint16_t key, bool down) override {
        written->emplace_back(key, down);
        if (!down) return;
        const std::uint16_t led = key == KEY_CAPSLOCK ? LED_CAPSL : key == KEY_NUMLOCK ? LED_NUML : LED_SCROLLL;
        lights ^= 1u << led;
        pending.emplace_back(led, ((lights >> led) & 1u) != 0);
    }
    void drainLeds(const std::function<void(std::uint16_t, bool)>& take) override {
        for (const auto& [led, on] : std::exchange(pending, {})) take(led, on);
    }
};

struct FakePolicy : PeerPolicy {
    std::atomic<bool> everyone{true};
    std::set<uid_t> refused;
    bool allows(const Peer& peer) override { return everyone && refused.count(peer.uid) == 0; }
};

void sendBytes(const UniqueFd& fd, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::send(fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

void sendRequest(const UniqueFd& fd, Request request) {
    const Message message = formatRequest(request);
    sendBytes(fd, {message.begin(), message.end()});
}

// The reply waiting on the client's end; nothing when none is there.
std::optional<Reply> replyOn(const UniqueFd& fd) {
    std::uint8_t packet[8];
    const ssize_t got = ::recv(fd.get(), packet, sizeof packet, MSG_DONTWAIT);
    return got > 0 ? parseReply(packet, static_cast<std::size_t>(got)) : std::nullopt;
}

struct Rig {
    Keys written;
    FakePolicy policy;
    std::chrono::steady_clock::time_point now{};
    LockServer server{UniqueFd(), std::make_unique<FakeDevice>(&written), 0b010, policy, [this] { return now; }};

    // The client's end of a new connection from `uid`.
    UniqueFd connect(uid_t uid) {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        server.adopt(UniqueFd(ends[1]), {static_cast<pid_t>(1000 + uid), uid});
        return UniqueFd(ends[0]);
    }
    // One request, one round of the server, and its answer.
    std::optional<Reply> ask(const UniqueFd& client, Request request) {
        sendRequest(client, request);
        server.serve(0ms);
        return replyOn(client);
    }
};

bool closedByServer(const UniqueFd& fd) {
    std::uint8_t packet[8];
    return ::recv(fd.get(), packet, sizeof packet, MSG_DONTWAIT) == 0;
}

TEST(LockServiceProtocol, TogglesAndReadsForAnAllowedPeerAnswersARefusalAndKeepsTheConnection) {
    Rig rig;
    const UniqueFd client = rig.connect(1000);

    EXPECT_EQ(rig.ask(client, {Op::Read, 0})->lit, 0b010u) << "the lights seeded at start";
    ASSERT_EQ(rig.ask(client, {Op::Toggle, 0})->status, Status::Done);
    EXPECT_EQ(rig.written, (Keys{{KEY_CAPSLOCK, true}, {KEY_CAPSLOCK, false}}));
    EXPECT_EQ(rig.ask(client, {Op::Read, 0})->lit, 0b011u) << "the kernel's echo of the toggle";

    // The session went to the background: an answer, no key, and the
    // connection stays for when it comes back.
    rig.policy.everyone = false;
    rig.written.clear();
    for (const Op op : {Op::Toggle, Op::Read}) {
        const std::optional<Reply> reply = rig.ask(client, {op, 0});
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, Status::Refused);
        EXPECT_EQ(reply->lit, 0u) << "a refused peer learns nothing";
    }
    EXPECT_TRUE(rig.written.empty());
    rig.policy.everyone = true;
    EXPECT_EQ(rig.ask(client, {Op::Toggle, 2})->status, Status::Done);
    EXPECT_EQ(rig.written.front().first, KEY_SCROLLLOCK);
}

TEST(LockServiceProtocol, AMalformedOrOversizedPacketEndsThatConnectionOnly) {
    const std::vector<std::vector<std::uint8_t>> bad = {
        {1, 2, 3, 0},           // no such lock
        {1, 3, 0, 0},           // no such request
        {1, 1, 1, 0},           // a read names no lock
        {2, 1, 0, 0},           // another version
        {1, 2, 0, 9},           // the spare byte set
        {1, 2, 0},              // short
        {1, 2, 0, 0, 0},        // a byte too long
        std::vector<std::uint8_t>(4096, 1),
    };
    for (const auto& packet : bad) {
        Rig rig;
        const UniqueFd attacker = rig.connect(1001);
        const UniqueFd user = rig.connect(1000);
        sendBytes(attacker, packet);
        EXPECT_EQ(rig.ask(user, {Op::Toggle, 1})->status, Status::Done);
        EXPECT_TRUE(closedByServer(attacker)) << "packet of " << packet.size() << " bytes";
        EXPECT_EQ(rig.server.connections(), 1u);
        EXPECT_EQ(rig.written.size(), 2u) << "only the user's toggle reached the keyboard";
    }
}

TEST(LockServiceProtocol, AFloodIsHeldToItsSendersBudgetAndNeverDelaysOthers) {
    Rig rig;
    const UniqueFd flood = rig.connect(1001);
    const UniqueFd again = rig.connect(1001);  // more connections buy no more budget
    const UniqueFd user = rig.connect(1000);
    const Message toggle = formatRequest({Op::Toggle, 0});
    const int rounds = 1200;  // 3 s of 2.5-ms rounds
    for (int round = 0; round < rounds; ++round) {
        for (const UniqueFd* fd : {&flood, &again}) {
            while (replyOn(*fd)) {
            }
            for (int i = 0; i < 4; ++i) ::send(fd->get(), toggle.data(), toggle.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        }
        // The user's tick in the middle of it.
        sendRequest(user, {Op::Read, 0});
        // Answered within the same round, whatever the flood holds back.
        rig.server.serve(100ms);
        ASSERT_TRUE(replyOn(user)) << "the user was not answered at once, round " << round;
        rig.now += 2500us;
    }
    const std::size_t toggles = rig.written.size() / 2;
    EXPECT_LE(toggles, LockServer::kBurst + 3 * LockServer::kRequestsPerSecond + 2);
    EXPECT_GT(toggles, 2 * LockServer::kRequestsPerSecond) << "the budget grows back";
    EXPECT_EQ(rig.server.connections(), 3u);
}

TEST(LockServiceProtocol, AClientThatTakesNoRepliesIsDroppedNotWaitedFor) {
    Rig rig;
    const UniqueFd hog = rig.connect(1001);
    const UniqueFd user = rig.connect(1000);
    const Message read = formatRequest({Op::Read, 0});
    for (int round = 0; round < 3000 && rig.server.connections() == 2; ++round) {
        ::send(hog.get(), read.data(), read.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        sendRequest(user, {Op::Read, 0});
        rig.server.serve(100ms);
        ASSERT_TRUE(replyOn(user));
        rig.now += 10ms;
    }
    EXPECT_EQ(rig.server.connections(), 1u);
}

// --- The client keyboard against a served socket ----------------------------

struct Served {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tovi-lock-" + std::to_string(::getpid()));
    std::string path = (dir / "socket").string();
    Keys written;  // read only once the thread is gone
    FakePolicy policy;
    std::atomic<bool> stop{false};
    std::unique_ptr<LockServer> server;
    std::thread thread;

    Served() {
        std::filesystem::create_directories(dir);
        UniqueFd listener(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        std::filesystem::remove(path);
        EXPECT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener.get(), 8), 0);
        server = std::make_unique<LockServer>(std::move(listener), std::make_unique<FakeDevice>(&written), 0, policy);
        thread = std::thread([this] {
            while (!stop) server->serve(5ms);
        });
    }
    ~Served() { halt(); std::filesystem::remove_all(dir); }
    void halt() {
        stop = true;
        if (thread.joinable()) thread.join();
        server.reset();  // closes every connection
    }
};

TEST(LockServiceClient, TheTickSwitchesThroughTheServiceAndARefusalIsSilentAndNeverGivesUpAKey) {
    Served served;
    std::chrono::steady_clock::time_point now{};
    std::vector<std::string> said;
    auto device = std::make_unique<platform::ServiceDevice>(served.path, 0, 1000ms);
    platform::UinputKeyboard keyboard(std::move(device), 0, [&] { return now; },
                                      [&](const std::string& text) { said.push_back(text); });
    const auto caps = [&] {
        platform::KeyboardState state{};
        keyboard.getKeyboardState(state);
        return (state[20] & 1) != 0;
    };

    SetLockKey(keyboard, 20, true);
    EXPECT_TRUE(caps());

    // In the background for 10 s of 25-ms ticks: nothing thrown past the
    // tick, nothing said, and the key is not taken for one the desktop ignores.
    served.policy.everyone = false;
    for (int tick = 0; tick < 400; ++tick) {
        SetLockKey(keyboard, 20, tick % 2 == 0);
        now += 25ms;
    }
    EXPECT_TRUE(said.empty()) << said.front();
    EXPECT_THROW(caps(), Error);

    served.policy.everyone = true;
    SetLockKey(keyboard, 20, false);
    EXPECT_FALSE(caps()) << "the lights follow again once the session is back";
}

TEST(LockServiceClient, AServiceThatGoesAwayIsReachedAgainWhenItComesBack) {
    auto served = std::make_unique<Served>();
    std::string whyNot;
    std::unique_ptr<platform::Keyboard> keyboard = platform::openServiceKeyboard(whyNot, served->path);
    ASSERT_TRUE(keyboard) << whyNot;
    SetLockKey(*keyboard, 144, true);

    served.reset();  // the service ended (idle, or upgraded)
    platform::KeyboardState state{};
    EXPECT_THROW(keyboard->getKeyboardState(state), Error);

    served = std::make_unique<Served>();
    keyboard->getKeyboardState(state);  // reconnects
    SetLockKey(*keyboard, 144, true);
    served->halt();
    EXPECT_EQ(served->written, (Keys{{KEY_NUMLOCK, true}, {KEY_NUMLOCK, false}}));

    EXPECT_FALSE(platform::openServiceKeyboard(whyNot, served->path + ".none"));
    EXPECT_NE(whyNot.find("does not answer"), std::string::npos) << whyNot;
}

}  // namespace
}  // namespace tovi::lockservice
