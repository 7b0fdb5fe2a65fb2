#include "platform/qt/notification_area_qt.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/guard.h"
#include "platform/qt/toolkit_qt.h"

namespace tovi::platform {

namespace {

// How often the presence of a tray host is checked, in milliseconds. Qt
// tells no one when a host comes or goes; a user waits this long at most.
// Every check is a round trip to the X server, so it stays well below the
// LED tick's rate.
constexpr int kHostCheckInterval = 2000;

bool haveApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

// The shell keeps at most 63 characters of the tip: up to its NUL, or the
// whole field but its last byte when no NUL ends it.
QString tipText(const std::array<char, 64>& tip) {
    const char* end = static_cast<const char*>(std::memchr(tip.data(), '\0', tip.size()));
    const auto length = end ? end - tip.data() : static_cast<std::ptrdiff_t>(tip.size() - 1);
    return QString::fromLocal8Bit(tip.data(), static_cast<qsizetype>(length));
}

// The sizes trays draw their icons at, in pixels: 16 and 22 to 24 in panels,
// 32 and 48 where a host scales for a dense screen.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48};

}  // namespace

// The shell shows an empty slot for an icon it cannot draw; Qt would show
// nothing at all, so an unknown handle gets a blank picture instead.
QIcon QtNotificationArea::pictureFor(std::uintptr_t hIcon) const {
    for (const auto& icon : icons_) {
        if (reinterpret_cast<std::uintptr_t>(icon.get()) == hIcon) return *icon;
    }
    if (const QIcon* icon = qtIconFromHandle(hIcon)) return *icon;
    QPixmap blank(32, 32);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

std::vector<int> QtNotificationArea::iconSizes() { return {std::begin(kIconSizes), std::end(kIconSizes)}; }

std::uintptr_t QtNotificationArea::createIcon(const std::vector<IconPicture>& pictures) {
    if (pictures.size() != std::size(kIconSizes)) throw Error("tray pictures of the wrong sizes");
    auto icon = std::make_unique<QIcon>();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const IconPicture& picture = pictures[i];
        const int size = kIconSizes[i];
        if (picture.size != size || picture.argb.size() != static_cast<std::size_t>(size * size)) {
            throw Error("tray pictures of the wrong sizes");
        }
        // QImage's ARGB32 is the picture's own layout; copy() detaches it
        // from the borrowed words.
        const QImage image(reinterpret_cast<const uchar*>(picture.argb.data()), size, size, size * 4,
                           QImage::Format_ARGB32);
        icon->addPixmap(QPixmap::fromImage(image.copy()));
    }
    icons_.push_back(std::move(icon));
    return reinterpret_cast<std::uintptr_t>(icons_.back().get());
}

struct QtNotificationArea::Added {
    std::uintptr_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uintptr_t hIcon = 0;  // the picture shown
    std::unique_ptr<QSystemTrayIcon> icon;
};

QtNotificationArea::QtNotificationArea() = default;

QtNotificationArea::~QtNotificationArea() = default;

bool QtNotificationArea::available() {
    if (!haveApplication()) return false;
    // The windowing system's own answer where the platform has one;
    // elsewhere (a StatusNotifierItem host) Qt's.
    if (hostProbe_) {
        if (const std::optional<bool> runs = hostProbe_()) return *runs;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

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
    if (message == kNimModify) {
        if (found == added_.end()) return false;
        Added& added = **found;
        // Only what changed reaches the tray: each new picture is a repaint
        // there, or a message to a StatusNotifierItem host.
        if (data.uFlags & kNifIcon && data.hIcon != added.hIcon) {
            added.hIcon = data.hIcon;
            added.icon->setIcon(pictureFor(data.hIcon));
        }
        if (data.uFlags & kNifTip && added.icon->toolTip() != tipText(data.szTip)) {
            added.icon->setToolTip(tipText(data.szTip));
        }
        // Not asked of the windowing system: the lamps change the picture up
        // to 40 times a second, and each question is a round trip.
        return true;
    }
    if (message != kNimAdd || found != added_.end() || !haveApplication()) return false;

    auto added = std::make_unique<Added>();
    added->hWnd = data.hWnd;
    added->uID = data.uID;
    added->uFlags = data.uFlags;
    added->uCallbackMessage = data.uCallbackMessage;
    added->hIcon = data.uFlags & kNifIcon ? data.hIcon : 0;
    added->icon = std::make_unique<QSystemTrayIcon>();
    added->icon->setIcon(data.uFlags & kNifIcon ? pictureFor(data.hIcon) : pictureFor(0));
    if (data.uFlags & kNifTip) added->icon->setToolTip(tipText(data.szTip));
    const Added& record = *added;
    QObject::connect(added->icon.get(), &QSystemTrayIcon::activated, added->icon.get(),
                     [this, &record](QSystemTrayIcon::ActivationReason reason) { activated(record, reason); });
    // Shown whatever the host: Qt docks a visible icon into a host that
    // starts later, and again into one that restarts.
    added->icon->show();
    added_.push_back(std::move(added));
    return available();
}

bool QtNotificationArea::iconShown(const NotifyIconData& data) {
    const QSystemTrayIcon* shown = icon(data.hWnd, data.uID);
    if (!shown || !shown->isVisible()) return false;
    const bool host = available();
    noteHost(host);
    return host;
}

void QtNotificationArea::noteHost(bool now) {
    if (now == hostSeen_) return;
    hostSeen_ = now;
    if (!hostCheck_) return;
    // Later, from the event loop: the caller may be in the middle of
    // deciding where its window goes.
    QTimer::singleShot(0, hostCheck_.get(), [this] {
        // A copy: the handler may replace itself.
        const std::function<void()> handler = onHostChanged_;
        if (handler) step(handler);
    });
}

void QtNotificationArea::setHostProbe(HostProbe probe) { hostProbe_ = std::move(probe); }

void QtNotificationArea::setOnHostChanged(std::function<void()> handler) {
    onHostChanged_ = std::move(handler);
    if (!onHostChanged_) {
        hostCheck_.reset();
        return;
    }
    if (hostCheck_ || !haveApplication()) return;
    hostSeen_ = available();
    hostCheck_ = std::make_unique<QTimer>();
    // Every change seen, here or by iconShown, raises the handler once: a
    // host that came and went between two checks is still told.
    QObject::connect(hostCheck_.get(), &QTimer::timeout, hostCheck_.get(), [this] { noteHost(available()); });
    hostCheck_->start(kHostCheckInterval);
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
    const bool doubleClick = reason == QSystemTrayIcon::DoubleClick ||
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
