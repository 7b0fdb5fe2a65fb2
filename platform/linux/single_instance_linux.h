// One Tovi per user session on Linux (platform/single_instance.h): the lock
// file tovi.lock held with flock, and the local socket tovi.socket that a
// later start asks the running window through, both in one private folder.
//
// The lock file names the holder's kind and process ("window 1234" or
// "no-window 1234"): only a window can be asked to show itself. flock goes
// with the last descriptor of the holder, so a killed Tovi leaves a file
// that blocks nobody. The socket answers only its own user.
//
// The request: a later start connects, writes "show\n" and waits for
// "shown\n", which the first writes once its window is back. A first Tovi
// that is still loading answers when its event loop runs; a start that finds
// the claim held but no socket yet tries again for a few seconds, and takes
// the claim itself should the holder end meanwhile.
//
// Plain POSIX; the event loop is the caller's (watch). One thread.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/single_instance.h"

namespace tovi::platform {

// Makes handler run from the program's event loop whenever fd is readable,
// for as long as the returned token lives.
using WatchReadable = std::function<std::shared_ptr<void>(int fd, std::function<void()> handler)>;

// The private folder of the user's session: $XDG_RUNTIME_DIR when it is an
// absolute path; else /tmp/tovi-<uid>, made with mode 0700 when missing and
// used only when it is a real folder of this user that no one else may
// enter. Nothing when there is neither.
std::optional<std::filesystem::path> sessionFolder();

// The claim that guards nothing, for where no folder could be found.
InstanceClaim unguardedClaim();

// The claim in folder. watch is used once the first instance is given a
// show handler.
InstanceClaim claimSingleInstanceIn(const std::filesystem::path& folder, bool withWindow, WatchReadable watch);

}  // namespace tovi::platform
