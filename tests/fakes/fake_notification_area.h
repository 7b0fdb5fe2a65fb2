// In-process notification area for tests: records every shellNotifyIcon
// call with a copy of the record as it was at the call, and keeps the set of
// icons currently shown, keyed by (hWnd, uID) as the shell keys them.
//
// available() is scripted. An add of an icon already present, or a delete of
// one that is absent, fails as the shell's does; failCalls makes every call
// report failure (the icon set then stays unchanged). An icon is shown while
// it is in the set and a host is available; hostChanged() raises the host
// handler as a tray host coming or going would.
//
// createIcon keeps the pictures it was given and hands out handles counting
// up from kFirstIcon; makesIcons = false makes it refuse, as a system out of
// GDI objects would. A modify of a shown icon succeeds and changes nothing
// else here (the call is recorded).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "platform/notification_area.h"

namespace tovi::fakes {

class FakeNotificationArea : public platform::NotificationArea {
public:
    bool available() override { return isAvailable; }
    bool shellNotifyIcon(std::uint32_t message, const platform::NotifyIconData& data) override;
    bool iconShown(const platform::NotifyIconData& data) override { return isAvailable && shows(data.hWnd, data.uID); }
    void setOnHostChanged(std::function<void()> handler) override { onHostChanged_ = std::move(handler); }
    std::vector<int> iconSizes() override { return sizes; }
    std::uintptr_t createIcon(const std::vector<platform::IconPicture>& pictures) override;
    void hostChanged() {
        if (onHostChanged_) onHostChanged_();
    }

    struct Call {
        std::uint32_t message;
        platform::NotifyIconData data;
    };
    std::vector<Call> calls;

    bool isAvailable = true;
    bool failCalls = false;
    std::vector<int> sizes{16};
    bool makesIcons = true;

    static constexpr std::uintptr_t kFirstIcon = 0x7100;
    // The pictures of each icon made, in the order made.
    std::vector<std::vector<platform::IconPicture>> icons;

    // True while an icon of this window and ID is shown.
    bool shows(std::uintptr_t hWnd, std::uint32_t uID) const { return icons_.count({hWnd, uID}) != 0; }
    std::size_t iconCount() const { return icons_.size(); }

private:
    std::function<void()> onHostChanged_;
    std::set<std::pair<std::uintptr_t, std::uint32_t>> icons_;
};

}  // namespace tovi::fakes
