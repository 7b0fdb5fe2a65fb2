// Module1: the program's one notification icon and the two routines that add
// and remove it.
//
// The program creates one Module1 and keeps it until it ends (it must outlive
// the window's unload handler, which calls RemoveTrayIcon). The object owns
// the icon record that AddTrayIcon fills; RemoveTrayIcon deletes the icon
// that record describes, so the shell sees the same hWnd and uID both times.
// A class rather than module-level data, so that every test starts from a
// fresh record.
//
// The icon shows the program's picture drawn for the area's own sizes, and,
// while a direction is shown on it, that direction's lamp: AddTrayIcon has
// the area make the four pictures (no lamp, received, sent, both) once, and
// ShowLamps only switches between them.
//
// Window thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/notification_area.h"
#include "window/tray_picture.h"

namespace tovi {
namespace platform {
class Window;
}

class Module1 {
public:
    // The record's size: the first version of NOTIFYICONDATAA, in bytes.
    static constexpr std::uint32_t kNotifyIconDataSize = 88;
    static constexpr std::uint32_t kIconId = 1;
    // The tip holds at most this many characters before its NUL.
    static constexpr std::size_t kMaxTipLength = 63;

    // Fills the record from the window and the tip, then adds the icon. Each
    // step is guarded: a failing one leaves its field as it was and the rest
    // still run. A tip longer than kMaxTipLength is refused (the tip field
    // keeps its previous, NUL-filled content) rather than cut short. The
    // icon is the lamp-less picture the area made for its sizes, or the
    // window's own icon when it could make none.
    void AddTrayIcon(platform::NotificationArea& area, platform::Window& window, const std::string& tip);

    // Adds the icon again with the record as AddTrayIcon left it, for a
    // notification area that started after the first add or lost the icon
    // when it restarted. Unguarded; the shell refuses an icon it holds.
    void RestoreTrayIcon(platform::NotificationArea& area);

    // Shows these lamps on the icon when they differ from those shown, by
    // changing the record's picture and telling the shell. Without the
    // pictures (the area could not make them) nothing changes. Unguarded:
    // a shell that refuses leaves the lamps to be shown at the next change
    // or the next add.
    void ShowLamps(platform::NotificationArea& area, tray::Lamps lamps);

    // Deletes the icon the record describes. Unguarded; the shell's result
    // is ignored.
    void RemoveTrayIcon(platform::NotificationArea& area);

    const platform::NotifyIconData& record() const { return nid_; }

    // The lamps the record's picture shows.
    tray::Lamps lamps() const { return lamps_; }

private:
    void makePictures(platform::NotificationArea& area);

    platform::NotifyIconData nid_{};
    std::array<std::uintptr_t, tray::kLampStates> pictures_{};  // by Lamps::index(); 0: not made
    tray::Lamps lamps_{};
};

}  // namespace tovi
