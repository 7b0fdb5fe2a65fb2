#include "platform/linux/notification_area_qt.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>
#include <algorithm>
#include <cstring>

#include "platform/linux/toolkit_qt.h"

namespace tovi::platform {

namespace {

bool haveApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

// The shell keeps at most 63 characters of the tip: up to its NUL, or the
// whole field but its last byte when no NUL ends it.
QString tipText(const std::array<char, 64>& tip) {
    const char* end = static_cast<const char*>(std::memchr(tip.data(), '\0', tip.size()));
    const auto length = end ? end - tip.data() : static_cast<std::ptrdiff_t>(tip.size() - 1);
    return QString::fromLocal8Bit(tip.data(), static_cast<qsizetype>(length));
}

// The shell shows an empty slot for an icon it cannot draw; Qt would show
// nothing at all, so an unknown handle gets a blank picture instead.
QIcon pictureFor(std::uintptr_t hIcon) {
    if (const QIcon* icon = qtIconFromHandle(hIcon)) return *icon;
    QPixmap blank(32, 32);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

}  // namespace

struct QtNotificationArea::Added {
    std::uintptr_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::unique_ptr<QSystemTrayIcon> icon;
};

QtNotificationArea::QtNotificationArea() = default;

QtNotificationArea::~QtNotificationArea() = default;

bool QtNotificationArea::available() { return haveApplication() && QSystemTrayIcon::isSystemTrayAvailable(); }

bool QtNotificationArea::shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) {
    const auto same = [&](const std::unique_ptr<Added>& added) {
        return added->hWnd == data.hWnd && added->uID == data.uID;
    };
    const auto found = std::find_if(added_.begin(), added_.end(), same);

    if (message == kNimDelete) {
        if (found == added_.end()) return false;
        QSystemTrayIcon* icon = (*found)->icon.get();
        icon->hide();
        QObject::disconnect(icon, &QSystemTrayIcon::activated, nullptr, nullptr);
        // Deleting the icon inside one of its own signals is not safe.
        (*found)->icon.release()->deleteLater();
        added_.erase(found);
        return true;
    }
    if (message != kNimAdd || found != added_.end() || !available()) return false;

    auto added = std::make_unique<Added>();
    added->hWnd = data.hWnd;
    added->uID = data.uID;
    added->uFlags = data.uFlags;
    added->uCallbackMessage = data.uCallbackMessage;
    added->icon = std::make_unique<QSystemTrayIcon>();
    added->icon->setIcon(data.uFlags & kNifIcon ? pictureFor(data.hIcon) : pictureFor(0));
    if (data.uFlags & kNifTip) added->icon->setToolTip(tipText(data.szTip));
    const Added& record = *added;
    QObject::connect(added->icon.get(), &QSystemTrayIcon::activated, added->icon.get(),
                     [this, &record](QSystemTrayIcon::ActivationReason reason) { activated(record, reason); });
    added->icon->show();
    added_.push_back(std::move(added));
    return true;
}

QSystemTrayIcon* QtNotificationArea::icon(std::uintptr_t hWnd, std::uint32_t uID) const {
    for (const auto& added : added_) {
        if (added->hWnd == hWnd && added->uID == uID) return added->icon.get();
    }
    return nullptr;
}

void QtNotificationArea::activated(const Added& added, int reason) {
    if (!(added.uFlags & kNifMessage) || added.uCallbackMessage != kWmMouseMove) return;
    // An embedded (XEmbed) icon has a place on the screen and reports
    // double-clicks; a StatusNotifierItem icon has no geometry and reports
    // only single activations.
    const bool doubleClick =
        reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && added.icon && added.icon->geometry().isEmpty());
    if (!doubleClick) return;
    QWidget* window = qtWindowFromHandle(added.hWnd);
    if (!window) return;
    // The event code travels where the pointer's horizontal position would.
    const QPointF position(kWmLButtonDblClk, 0);
    QMouseEvent move(QEvent::MouseMove, position, window->mapToGlobal(position), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
}

QtNotificationArea& qtNotificationArea() {
    // Never destroyed: its tray icons must not be torn down during process
    // exit, after Qt's own global state.
    static QtNotificationArea* area = new QtNotificationArea;
    return *area;
}

}  // namespace tovi::platform
