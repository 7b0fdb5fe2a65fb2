#include "fakes/fake_notification_area.h"

#include "base/error.h"

namespace tovi::fakes {

bool FakeNotificationArea::shellNotifyIcon(std::uint32_t message, const platform::NotifyIconData& data) {
    calls.push_back({message, data});
    if (failCalls) return false;
    const auto id = std::make_pair(data.hWnd, data.uID);
    switch (message) {
    case platform::kNimAdd:
        return icons_.insert(id).second;
    case platform::kNimModify:
        return icons_.count(id) != 0;
    case platform::kNimDelete:
        return icons_.erase(id) != 0;
    default:
        return false;
    }
}

std::uintptr_t FakeNotificationArea::createIcon(const std::vector<platform::IconPicture>& pictures) {
    if (!makesIcons) throw Error("no icon made");
    icons.push_back(pictures);
    return kFirstIcon + icons.size() - 1;
}

}  // namespace tovi::fakes
