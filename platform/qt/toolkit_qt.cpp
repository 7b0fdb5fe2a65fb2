#include "platform/qt/toolkit_qt.h"

#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/scope_exit.h"
#include "base/guard.h"
#include "platform/qt/caption_fit.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_convert.h"
#include "platform/qt/toolkit_qt_internal.h"

namespace tovi::platform::qt {

class MainWidget final : public QWidget {
public:
    explicit MainWidget(QtWindow& owner) : owner_(owner) { setMouseTracking(true); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QtWindow& owner_;
};

class QtWindow final : public Window {
public:
    QtWindow(QtToolkit& toolkit, const WindowSpec& desc)
        : toolkit_(toolkit), widget_(new MainWidget(*this)), icon_(programIcon()) {
        handle_ = reinterpret_cast<std::uintptr_t>(widget_.data());
        widget_->setObjectName(QString::fromUtf8(desc.name));
        widget_->setWindowTitle(QString::fromUtf8(desc.caption));
        widget_->setWindowIcon(icon_);
        widget_->resize(twipsToPixels(desc.clientWidth, logicalDpiX()),
                        twipsToPixels(desc.clientHeight, logicalDpiY()));
        toolkit_.windowCreated(*this);
    }

    ~QtWindow() override {
        toolkit_.windowDestroyed(*this);
        delete widget_.data();  // children and their signal connections go with it
    }

    QtWindow(const QtWindow&) = delete;
    QtWindow& operator=(const QtWindow&) = delete;

    CheckBox& createCheckBox(const ControlSpec& desc) override {
        auto* box = new TwoWayTristateCheckBox(withoutAccessKeys(QString::fromUtf8(desc.caption)), &widget());
        box->setTristate(true);
        adopt(box, desc);
        return keep(std::make_unique<QtCheckBox>(box));
    }

    ComboBox& createComboBox(const ControlSpec& desc) override {
        auto* list = new ListBox(&widget());
        list->setEditable(false);
        list->setInsertPolicy(QComboBox::NoInsert);
        const std::size_t at = adopt(list, desc);
        nameByLabel(*list, desc);
        return keep(std::make_unique<QtComboBox>(toolkit_, list, [this, at] { fit(at); }));
    }

    Label& createLabel(const ControlSpec& desc) override {
        auto* label = new QLabel(&widget());
        label->setTextFormat(Qt::PlainText);
        label->setText(toQString(desc.caption));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        label->setFrameShape(QFrame::NoFrame);
        label->setFocusPolicy(Qt::NoFocus);
        const std::size_t at = adopt(label, desc);
        return keep(std::make_unique<QtLabel>(label, desc.caption, [this, at] { fit(at); }));
    }

    Button& createButton(const ControlSpec& desc) override {
        auto* button = new QPushButton(withoutAccessKeys(QString::fromUtf8(desc.caption)), &widget());
        // Neither Enter nor Escape may press a button.
        button->setAutoDefault(false);
        button->setDefault(false);
        adopt(button, desc);
        return keep(std::make_unique<QtButton>(toolkit_, button));
    }

    Timer& createTimer(std::int32_t intervalMs, bool enabled) override {
        timers_.push_back(std::make_unique<QtTimer>(toolkit_, intervalMs, enabled));
        if (unloaded_) timers_.back()->retire();
        return *timers_.back();
    }

    void showFirst() override { setVisible(true); }

    WindowState windowState() const override {
        return widget().windowState().testFlag(Qt::WindowMinimized) ? WindowState::Minimized : WindowState::Normal;
    }

    void setWindowState(WindowState state) override {
        if (state != WindowState::Normal && state != WindowState::Minimized) throw Error("unknown window state");
        QWidget& window = widget();
        const Qt::WindowStates wanted = state == WindowState::Minimized ? Qt::WindowMinimized : Qt::WindowNoState;
        raisingResize([&] { window.setWindowState(wanted); });
    }

    bool visible() const override { return widget().isVisible(); }

    void setVisible(bool visible) override {
        QWidget& window = widget();
        raisingResize([&] {
            if (visible && !shownBefore_) prepareFirstShow();
            window.setVisible(visible);
        });
        // Restored from the notification area: bring it to the front.
        if (visible && window.isVisible() && !window.isMinimized()) {
            window.raise();
            window.activateWindow();
        }
    }

    std::uintptr_t nativeHandle() const override { return handle_; }
    std::uintptr_t iconHandle() const override { return reinterpret_cast<std::uintptr_t>(&icon_); }

    void setOnResize(std::function<void()> handler) override { onResize_ = std::move(handler); }
    void setOnMouseMove(std::function<void(std::int16_t, std::int16_t, float, float)> handler) override {
        onMouseMove_ = std::move(handler);
    }
    void setOnUnload(std::function<void()> handler) override { onUnload_ = std::move(handler); }

    void unload() override {
        if (unloaded_) return;
        unloaded_ = true;
        retireTimers();
        // The window closes even when the unload handler fails.
        const ScopeExit closed([this] { close(); });
        toolkit_.call(onUnload_);
    }

    // From MainWidget.
    void closeRequested(QCloseEvent& event) {
        event.accept();
        closeFromOutside();
    }

    // Unloads as a close does, and ends the event loop.
    void closeFromOutside() {
        if (unloaded_) return;
        unloaded_ = true;
        retireTimers();
        if (onUnload_) toolkit_.dispatch(onUnload_);
        if (widget_) widget_->deleteLater();
        toolkit_.windowUnloaded();
    }

    void sizeOrStateChanged() {
        if (collectingResize_) {
            resizePending_ = true;
            return;
        }
        if (unloaded_ || !onResize_) return;
        toolkit_.dispatch(onResize_);
    }

    void mouseMoved(const QMouseEvent& event) {
        if (unloaded_ || !onMouseMove_) return;
        std::int16_t button = 0;
        if (event.buttons().testFlag(Qt::LeftButton)) button |= 1;
        if (event.buttons().testFlag(Qt::RightButton)) button |= 2;
        if (event.buttons().testFlag(Qt::MiddleButton)) button |= 4;
        std::int16_t shift = 0;
        if (event.modifiers().testFlag(Qt::ShiftModifier)) shift |= 1;
        if (event.modifiers().testFlag(Qt::ControlModifier)) shift |= 2;
        if (event.modifiers().testFlag(Qt::AltModifier)) shift |= 4;
        const auto x = static_cast<float>(event.position().x() * toolkit_.twipsPerPixelX());
        const auto y = static_cast<float>(event.position().y() * toolkit_.twipsPerPixelY());
        toolkit_.dispatch([&] { onMouseMove_(button, shift, x, y); });
    }

    // The live widget behind the handle, or nullptr once it is gone.
    QWidget* liveWidget() const { return widget_.data(); }
    const QIcon& icon() const { return icon_; }
    bool unloaded() const { return unloaded_; }

private:
    QWidget& widget() const {
        if (!widget_) throw Error("the window has been unloaded");
        return *widget_;
    }

    template <class Control>
    Control& keep(std::unique_ptr<Control> control) {
        Control& kept = *control;
        controls_.push_back(std::move(control));
        return kept;
    }

    // Returns the control's place in placed_.
    std::size_t adopt(QWidget* control, const ControlSpec& desc) {
        control->setObjectName(QString::fromUtf8(desc.name));
        placed_.push_back({control, desc});
        fit(placed_.size() - 1);
        if (widget().isVisible()) control->show();
        return placed_.size() - 1;
    }

    // The label becomes the control's buddy, which is where screen readers
    // take the control's name from.
    void nameByLabel(QWidget& control, const ControlSpec& desc) {
        if (!desc.labelledBy) return;
        for (const Placed& placed : placed_) {
            if (placed.desc.kind != ControlKind::Label || std::string(placed.desc.name) != desc.labelledBy) continue;
            if (auto* label = qobject_cast<QLabel*>(placed.widget.data())) label->setBuddy(&control);
            return;
        }
        // A window made of some controls only (a test's) may lack the label.
    }

    // Makes the control's text fit its width (shrinking the window's font if
    // need be) and places it.
    void fit(std::size_t at) {
        if (!widget_) return;
        fitCaption(*widget_, placed_[at]);
    }

    void prepareFirstShow() {
        shownBefore_ = true;
        // The font may have shrunk after the first controls were placed.
        for (const Placed& placed : placed_) place(placed);

        std::vector<const Placed*> order;
        for (const Placed& placed : placed_) {
            if (placed.widget && placed.desc.kind != ControlKind::Label) order.push_back(&placed);
        }
        std::stable_sort(order.begin(), order.end(),
                         [](const Placed* a, const Placed* b) { return a->desc.tabIndex < b->desc.tabIndex; });
        for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1]->widget, order[i]->widget);

        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QPoint centre = screen->availableGeometry().center();
            widget().move(centre.x() - widget().width() / 2, centre.y() - widget().height() / 2);
        }
        // Takes effect when the window becomes active.
        if (!order.empty()) order.front()->widget->setFocus(Qt::OtherFocusReason);
    }

    // Runs a change of size, state or visibility; a resize it causes is
    // raised once, after it, to the caller of the change.
    template <class Change>
    void raisingResize(Change&& change) {
        if (collectingResize_) {
            change();
            return;
        }
        collectingResize_ = true;
        resizePending_ = false;
        {
            const ScopeExit collected([this] { collectingResize_ = false; });
            change();
        }
        if (resizePending_ && !unloaded_) {
            resizePending_ = false;
            toolkit_.call(onResize_);
        }
    }

    void retireTimers() {
        for (auto& timer : timers_) timer->retire();
    }

    void close() {
        if (widget_) {
            widget_->hide();
            // Later: unload may run inside a handler of one of its children.
            widget_->deleteLater();
        }
        toolkit_.windowUnloaded();
    }

    QtToolkit& toolkit_;
    QPointer<MainWidget> widget_;
    std::uintptr_t handle_ = 0;
    QIcon icon_;
    std::vector<Placed> placed_;
    std::vector<std::unique_ptr<QtTimer>> timers_;
    std::vector<std::shared_ptr<void>> controls_;  // the control objects handed out, of every kind
    bool shownBefore_ = false;
    bool unloaded_ = false;
    bool collectingResize_ = false;
    bool resizePending_ = false;
    std::function<void()> onResize_;
    std::function<void(std::int16_t, std::int16_t, float, float)> onMouseMove_;
    std::function<void()> onUnload_;
};

void MainWidget::closeEvent(QCloseEvent* event) { owner_.closeRequested(*event); }

void MainWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    owner_.sizeOrStateChanged();
}

void MainWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) owner_.sizeOrStateChanged();
}

void MainWidget::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    owner_.mouseMoved(*event);
}

std::unique_ptr<Window> QtToolkit::createWindow(const WindowSpec& desc) {
    return std::make_unique<QtWindow>(*this, desc);
}

void QtToolkit::endAll() {
    // A window may go while another unloads; work from a copy.
    const std::vector<QtWindow*> open = windows_;
    for (QtWindow* window : open) {
        if (std::find(windows_.begin(), windows_.end(), window) != windows_.end()) window->closeFromOutside();
    }
    if (QApplication::instance()) QApplication::exit(0);
}

int QtToolkit::openWindows() const {
    return static_cast<int>(
        std::count_if(windows_.begin(), windows_.end(), [](const QtWindow* window) { return !window->unloaded(); }));
}

QtWindow* QtToolkit::find(std::uintptr_t handle) const {
    for (QtWindow* window : windows_) {
        if (window->nativeHandle() == handle || window->iconHandle() == handle) return window;
    }
    return nullptr;
}

}  // namespace tovi::platform::qt

namespace tovi::platform {

using qt::g_toolkit;
using qt::QtToolkit;
using qt::QtWindow;

QWidget* qtWindowFromHandle(std::uintptr_t handle) {
    if (!g_toolkit || handle == 0) return nullptr;
    QtWindow* window = g_toolkit->find(handle);
    return window && window->nativeHandle() == handle ? window->liveWidget() : nullptr;
}

const QIcon* qtIconFromHandle(std::uintptr_t handle) {
    if (!g_toolkit || handle == 0) return nullptr;
    QtWindow* window = g_toolkit->find(handle);
    return window && window->iconHandle() == handle ? &window->icon() : nullptr;
}

}  // namespace tovi::platform
