#include "fakes/fake_notification_area.h"

namespace tovi::fakes {

bool FakeNotificationArea::shellNotifyIcon(std::uint32_t message, const platform::NotifyIconData& data) {
    calls.push_back({message, data});
    if (failCalls) return false;
    const auto id = std::make_pair(data.hWnd, data.uID);
    switch (message) {
    case platform::kNimAdd:
        return icons_.insert(id).second;
    case platform::kNimDelete:
        return icons_.erase(id) != 0;
    default:
        return false;
    }
}

}  // namespace tovi::fakes
