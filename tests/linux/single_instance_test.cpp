// One Tovi per user session on Linux, the lock and the socket in a folder of
// the test's own; the test stands in for the first instance's event loop.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "platform/linux/single_instance_linux.h"

namespace tovi {
namespace {

using platform::claimSingleInstanceIn;
using platform::InstanceClaim;

// A folder of the test's own; its path stays empty when none could be made.
struct Folder {
    std::filesystem::path path;
    Folder() {
        std::string name = (std::filesystem::temp_directory_path() / "tovi-instance.XXXXXX").string();
        if (::mkdtemp(name.data()) != nullptr) path = name;
    }
    ~Folder() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
};

// A connection to the socket at path, or -1.
int connectTo(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// What the first instance's event loop watches, and a turn of that loop.
struct Loop {
    int fd = -1;
    std::function<void()> handler;

    platform::WatchReadable watch() {
        return [this](int watched, std::function<void()> onReadable) {
            fd = watched;
            handler = std::move(onReadable);
            return std::make_shared<int>(0);
        };
    }
    // Runs the handler once the descriptor is readable, within ms.
    bool turn(int ms) {
        pollfd readable{fd, POLLIN, 0};
        if (fd < 0 || ::poll(&readable, 1, ms) <= 0) return false;
        handler();
        return true;
    }
};

TEST(SingleInstance, ASecondWindowStartIsShownTheFirstWindowEvenWhileTheFirstIsStillLoading) {
    Folder folder;
    ASSERT_FALSE(folder.path.empty());
    Loop loop;
    InstanceClaim first = claimSingleInstanceIn(folder.path, true, loop.watch());
    ASSERT_TRUE(first.held);
    int shown = 0;

    // Asked before the window is there to show (a later start's request, by
    // hand): answered as soon as it is.
    const int early = connectTo(folder.path / "tovi.socket");
    ASSERT_GE(early, 0);
    ASSERT_EQ(::send(early, "show\n", 5, MSG_NOSIGNAL), 5);
    first.held->setOnShowRequest([&] { ++shown; });
    EXPECT_EQ(shown, 1);
    char answer[16] = {};
    EXPECT_EQ(std::string(answer, std::max<ssize_t>(::recv(early, answer, sizeof answer, MSG_DONTWAIT), 0)), "shown\n");
    ::close(early);

    // Asked while the event loop runs.
    auto later = std::async(std::launch::async, [&] { return claimSingleInstanceIn(folder.path, true, {}); });
    ASSERT_TRUE(loop.turn(5000));
    const InstanceClaim second = later.get();
    EXPECT_FALSE(second.held);
    EXPECT_TRUE(second.shown);
    EXPECT_EQ(shown, 2);
}

TEST(SingleInstance, AgainstAToviWithoutAWindowEveryLaterStartEndsWithASentence) {
    Folder folder;
    InstanceClaim first = claimSingleInstanceIn(folder.path, false, {});
    ASSERT_TRUE(first.held);
    const std::string process = "process " + std::to_string(::getpid());

    const InstanceClaim withoutWindow = claimSingleInstanceIn(folder.path, false, {});
    EXPECT_FALSE(withoutWindow.held);
    EXPECT_FALSE(withoutWindow.shown);
    EXPECT_NE(withoutWindow.refusal.find(process), std::string::npos) << withoutWindow.refusal;

    // Nothing to show: the window start is told at once, not after a wait.
    const InstanceClaim window = claimSingleInstanceIn(folder.path, true, {});
    EXPECT_FALSE(window.held);
    EXPECT_FALSE(window.shown);
    EXPECT_NE(window.refusal.find("without a window"), std::string::npos) << window.refusal;
}

}  // namespace
}  // namespace tovi
