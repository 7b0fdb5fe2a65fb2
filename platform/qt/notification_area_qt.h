// The notification area on Qt: one QSystemTrayIcon per added icon.
//
// An icon is known by its window handle and ID, as the shell knows it. Adding
// shows the window's icon (the handle is the Qt toolkit's icon handle) with
// the tip; deleting removes it at once. A left-button double-click on the
// icon reaches the window named by the record as a mouse move whose
// horizontal position is the event code 515 in pixels, when the record asks
// for mouse-move callbacks (message 512). Tray hosts that speak the
// StatusNotifierItem protocol report a single activation and never a
// double-click; there that activation stands for the double-click, so the
// hidden window can always be brought back. Nothing else on the icon does
// anything.
//
// An icon added while no tray host runs is kept and docks as soon as one
// starts; until then it is not shown, and the add reports failure as the
// shell's does. The presence of a host is checked every two seconds while a
// host handler is set; the platform may hand in its own check, since Qt may
// keep a stale answer about a host that came or went.
//
// The icons it makes hold one pixmap for each of the sizes trays commonly
// draw at (an XEmbed tray paints the one nearest its slot; a
// StatusNotifierItem host is sent them all and picks); each is the picture
// drawn for that size, never a scaled one.
//
// Needs the Qt toolkit's application (platform/qt/toolkit_qt.h); without
// one no icon is added. Window thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/notification_area.h"

class QIcon;
class QSystemTrayIcon;
class QTimer;

namespace tovi::platform {

class QtNotificationArea final : public NotificationArea {
public:
    QtNotificationArea();
    ~QtNotificationArea() override;
    QtNotificationArea(const QtNotificationArea&) = delete;
    QtNotificationArea& operator=(const QtNotificationArea&) = delete;

    bool available() override;
    // kNimAdd: false when the icon exists already, and false without a tray
    // host (the icon is kept for a later host). kNimModify and kNimDelete:
    // false when there is no such icon. Other messages: false.
    bool shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) override;
    bool iconShown(const NotifyIconData& data) override;
    void setOnHostChanged(std::function<void()> handler) override;
    std::vector<int> iconSizes() override;
    std::uintptr_t createIcon(const std::vector<IconPicture>& pictures) override;

    // Whether a tray host runs, asked of the windowing system; nullopt where
    // it cannot tell (then Qt is asked).
    using HostProbe = std::function<std::optional<bool>()>;
    void setHostProbe(HostProbe probe);

    // The icon added for this window and ID, or nullptr.
    QSystemTrayIcon* icon(std::uintptr_t hWnd, std::uint32_t uID) const;

private:
    struct Added;
    void activated(const Added& added, int reason);
    void noteHost(bool now);
    QIcon pictureFor(std::uintptr_t hIcon) const;
    std::vector<std::unique_ptr<Added>> added_;
    std::vector<std::unique_ptr<QIcon>> icons_;  // made by createIcon; the handle is the address
    std::function<void()> onHostChanged_;
    HostProbe hostProbe_;
    std::unique_ptr<QTimer> hostCheck_;  // polls for a host while a handler is set
    bool hostSeen_ = false;              // a host was there at the last check
};

// The process's notification area; lives until the process ends.
QtNotificationArea& qtNotificationArea();

}  // namespace tovi::platform
