#include "window/module1.h"

#include <algorithm>
#include <vector>

#include "base/error.h"
#include "base/guard.h"
#include "platform/toolkit.h"

namespace tovi {

namespace {

// The tip, its NUL, then blanks to the field's end: the shell reads up to the
// NUL, and the blanks keep the field's bytes fully defined.
std::array<char, 64> paddedTip(const std::string& tip) {
    if (tip.size() > Module1::kMaxTipLength) throw Error("tray tip too long");
    std::array<char, 64> field;
    field.fill(' ');
    std::copy(tip.begin(), tip.end(), field.begin());
    field[tip.size()] = '\0';
    return field;
}

}  // namespace

void Module1::AddTrayIcon(platform::NotificationArea& area, platform::Window& window, const std::string& tip) {
    step([&] { nid_.cbSize = kNotifyIconDataSize; });
    step([&] { nid_.hWnd = window.nativeHandle(); });
    step([&] { nid_.szTip = paddedTip(tip); });
    step([&] { nid_.hIcon = window.iconHandle(); });
    step([&] { makePictures(area); });
    if (pictures_[0] != 0) nid_.hIcon = pictures_[lamps_.index()];
    step([&] { nid_.uID = kIconId; });
    step([&] { nid_.uFlags = platform::kNifMessage | platform::kNifIcon | platform::kNifTip; });
    step([&] { nid_.uCallbackMessage = platform::kWmMouseMove; });
    step([&] { area.shellNotifyIcon(platform::kNimAdd, nid_); });
}

void Module1::makePictures(platform::NotificationArea& area) {
    const std::vector<int> sizes = area.iconSizes();
    std::array<std::uintptr_t, tray::kLampStates> made{};
    for (int state = 0; state < tray::kLampStates; ++state) {
        std::vector<platform::IconPicture> pictures;
        for (const int size : sizes) pictures.push_back(tray::lampPicture(size, {(state & 1) != 0, (state & 2) != 0}));
        made[static_cast<std::size_t>(state)] = area.createIcon(pictures);
        if (made[static_cast<std::size_t>(state)] == 0) throw Error("no tray picture");
    }
    // All four or none, so that every state has its picture.
    pictures_ = made;
}

void Module1::ShowLamps(platform::NotificationArea& area, tray::Lamps lamps) {
    if (lamps == lamps_ || pictures_[0] == 0) return;
    lamps_ = lamps;
    nid_.hIcon = pictures_[static_cast<std::size_t>(lamps.index())];
    area.shellNotifyIcon(platform::kNimModify, nid_);
}

void Module1::RestoreTrayIcon(platform::NotificationArea& area) { area.shellNotifyIcon(platform::kNimAdd, nid_); }

void Module1::RemoveTrayIcon(platform::NotificationArea& area) { area.shellNotifyIcon(platform::kNimDelete, nid_); }

}  // namespace tovi
