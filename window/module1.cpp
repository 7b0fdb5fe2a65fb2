#include "window/module1.h"

#include <algorithm>

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
    step([&] { nid_.uID = kIconId; });
    step([&] { nid_.uFlags = platform::kNifMessage | platform::kNifIcon | platform::kNifTip; });
    step([&] { nid_.uCallbackMessage = platform::kWmMouseMove; });
    step([&] { area.shellNotifyIcon(platform::kNimAdd, nid_); });
}

void Module1::RestoreTrayIcon(platform::NotificationArea& area) { area.shellNotifyIcon(platform::kNimAdd, nid_); }

void Module1::RemoveTrayIcon(platform::NotificationArea& area) { area.shellNotifyIcon(platform::kNimDelete, nid_); }

}  // namespace tovi
