#include "platform/linux/toolkit_qt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cmath>
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
#include "window/icon.h"

namespace tovi::platform {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

// The layout fixes every width; where the platform's default font is too wide
// for a caption, the window's font (which every control inherits) shrinks in
// these steps, but not below the floor.
constexpr double kPointSizeStep = 0.5;
constexpr double kSmallestPointSize = 6.0;

QString toQString(const std::string& text) {
    QString result = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

// Buttons and check boxes would take '&' as an access key; no caption defines one.
QString withoutAccessKeys(QString text) {
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

double logicalDpiX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->logicalDotsPerInchX() > 0 ? screen->logicalDotsPerInchX() : kFallbackDpi;
}

double logicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->logicalDotsPerInchY() > 0 ? screen->logicalDotsPerInchY() : kFallbackDpi;
}

int twipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch)); }

int twipsPerPixel(double dpi) { return std::max(1, static_cast<int>(std::lround(kTwipsPerInch / dpi))); }

QIcon buildIcon() {
    QImage image(icon::kSize, icon::kSize, QImage::Format_ARGB32);
    const icon::Pixels& pixels = icon::pixels();
    for (int row = 0; row < icon::kSize; ++row) {
        for (int col = 0; col < icon::kSize; ++col) {
            const std::uint8_t entry = pixels[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
            if (entry >= icon::kPalette.size()) {
                image.setPixel(col, row, qRgba(0, 0, 0, 0));
            } else {
                const icon::Rgb& rgb = icon::kPalette[entry];
                image.setPixel(col, row, qRgb(rgb.red, rgb.green, rgb.blue));
            }
        }
    }
    return QIcon(QPixmap::fromImage(image));
}

class QtWindow;
class QtToolkit;

QtToolkit* g_toolkit = nullptr;

// Called after a control's visible text changed, so the window can make it fit.
using TextChanged = std::function<void()>;

class QtToolkit final : public Toolkit {
public:
    QtToolkit(int& argc, char** argv) {
        QCoreApplication* existing = QCoreApplication::instance();
        if (existing && !qobject_cast<QApplication*>(existing)) throw Error("a Qt application without widgets exists");
        // Deliberately never deleted: the application must outlive every
        // widget and tray icon, including those alive at process exit.
        if (!existing) new QApplication(argc, argv);
        // The window hides in the notification area; closing a message box
        // while it is hidden must not end the program.
        QApplication::setQuitOnLastWindowClosed(false);
        watchEndSignals();
    }

    std::unique_ptr<Window> createWindow(const WindowSpec& desc) override;

    int twipsPerPixelX() const override { return twipsPerPixel(logicalDpiX()); }
    int twipsPerPixelY() const { return twipsPerPixel(logicalDpiY()); }

    void messageBox(const std::string& text, const std::string& title) override {
        const HandlerScope scope(*this);
        QMessageBox box(QMessageBox::NoIcon, title.empty() ? QString::fromUtf8(kApplicationTitle) : toQString(title),
                        toQString(text), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    int run() override {
        if (openWindows() == 0) return 0;
        unloadAtExit();
        running_ = true;
        const ScopeExit stopped([this] { running_ = false; });
        return QApplication::exec();
    }

    [[noreturn]] void end() override {
        std::fflush(nullptr);
        ::_exit(0);
    }

    // A handler the event loop raised: it is the outermost caller, so a
    // failure stops here instead of unwinding through Qt.
    template <class Handler>
    void dispatch(Handler&& handler) {
        const HandlerScope scope(*this);
        step(std::forward<Handler>(handler));
    }

    // A handler raised by a call of the program: its failure goes to that call.
    void call(const std::function<void()>& handler) {
        if (!handler) return;
        const HandlerScope scope(*this);
        handler();
    }

    // Ticks that fall due while anything else runs are dropped.
    void tick(const std::function<void()>& handler) {
        if (handlerDepth_ > 0 || !handler) return;
        dispatch(handler);
    }

    void windowCreated(QtWindow& window) { windows_.push_back(&window); }
    void windowDestroyed(QtWindow& window) { std::erase(windows_, &window); }
    // A window has unloaded: the event loop ends.
    void windowUnloaded() {
        if (QApplication::instance()) QApplication::exit(0);
    }

    QtWindow* find(std::uintptr_t handle) const;

private:
    struct HandlerScope {
        explicit HandlerScope(QtToolkit& toolkit) : toolkit(toolkit) { ++toolkit.handlerDepth_; }
        ~HandlerScope() { --toolkit.handlerDepth_; }
        HandlerScope(const HandlerScope&) = delete;
        HandlerScope& operator=(const HandlerScope&) = delete;
        QtToolkit& toolkit;
    };

    int openWindows() const;

    // Asked to end from outside (SIGTERM at logout or shutdown, SIGHUP when
    // its terminal goes, SIGINT for Ctrl+C), the program ends as it does when
    // its window is closed: each window unloads, storing its settings and
    // taking its icon out of the tray. The handler only writes the signal to
    // a pipe that the event loop watches; a second signal while the windows
    // unload ends the process at once. A signal ignored at start (nohup, a
    // background job) stays ignored.
    void watchEndSignals() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;  // then the signals keep their default
        endPipe_ = ends[1];
        endNotifier_ = std::make_unique<QSocketNotifier>(ends[0], QSocketNotifier::Read);
        QObject::connect(endNotifier_.get(), &QSocketNotifier::activated, [this, read = ends[0]] {
            unsigned char drained = 0;
            while (::read(read, &drained, 1) == 1) {}
            for (const int number : watched_) ::signal(number, SIG_DFL);
            endAll();
        });
        struct sigaction action {};
        action.sa_handler = [](int number) {
            const int saved = errno;
            const auto byte = static_cast<unsigned char>(number);
            [[maybe_unused]] const ssize_t written = ::write(endPipe_, &byte, 1);
            errno = saved;
        };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int number : kEndSignals) {
            struct sigaction before {};
            if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
            ::sigaction(number, &action, nullptr);
            watched_.push_back(number);
        }
    }

    void endAll();

    // Qt ends the process with exit(1) when its X connection breaks (the
    // server died, the session went), as Xlib's default handler does for the
    // lock-key backend's own connection: the loop never returns and no window
    // would unload, losing the settings. A hook that exit() runs unloads the
    // windows still open first; storing needs no display. Only an exit from
    // inside the loop: after the loop has returned, the windows' owners may
    // be gone.
    static void unloadAtExit() {
        static const bool registered = std::atexit([] {
                                           if (g_toolkit && g_toolkit->running_ && g_toolkit->openWindows() > 0)
                                               g_toolkit->endAll();
                                       }) == 0;
        (void)registered;
    }

    static constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
    static inline int endPipe_ = -1;  // written by the signal handler, hence static
    std::vector<int> watched_;        // the end signals this toolkit handles
    std::unique_ptr<QSocketNotifier> endNotifier_;

    bool running_ = false;            // the event loop runs (run() has not returned)
    int handlerDepth_ = 0;            // handlers and message boxes now running
    std::vector<QtWindow*> windows_;  // every window not yet destroyed
};

// A child that the window destroys when it unloads; afterwards every use of
// the control is refused.
template <class Widget>
class Child {
protected:
    explicit Child(Widget* widget) : widget_(widget) {}
    Widget& widget() const {
        if (!widget_) throw Error("the window has been unloaded");
        return *widget_;
    }

private:
    QPointer<Widget> widget_;
};

// A user's click moves between unchecked and checked only; grayed is for the
// program to set, and a click on a grayed box checks it.
class TwoWayTristateCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }
};

class QtCheckBox final : public CheckBox, Child<QCheckBox> {
public:
    explicit QtCheckBox(QCheckBox* box) : Child(box) {}

    std::int16_t value() const override {
        switch (widget().checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        }
        return 0;
    }

    void setValue(std::int16_t state) override {
        static constexpr Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
        if (state < 0 || state > 2) throw Error("check-box state out of range");
        widget().setCheckState(kStates[state]);
    }
};

// The closed box shows the selected entry in its edit field; how wide that
// field is only the style knows.
class ListBox final : public QComboBox {
public:
    using QComboBox::QComboBox;

    int textWidth() const {
        QStyleOptionComboBox option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).width();
    }
};

class QtComboBox final : public ComboBox, Child<QComboBox> {
public:
    QtComboBox(QtToolkit& toolkit, QComboBox* list, TextChanged textChanged)
        : Child(list), toolkit_(toolkit), textChanged_(std::move(textChanged)) {
        // A user's pick. Programmatic changes block this signal and raise the
        // handler themselves, so each change raises it exactly once.
        QObject::connect(list, &QComboBox::currentIndexChanged, list, [this](int) {
            if (onClick_) toolkit_.dispatch(onClick_);
        });
    }

    void addItem(const std::string& text) override {
        QComboBox& list = widget();
        const QSignalBlocker blocker(&list);
        const int selected = list.currentIndex();
        list.addItem(toQString(text), QVariant(static_cast<qint32>(0)));
        // Qt selects the first entry added to an empty list; this list keeps
        // "no selection" until the program chooses one.
        if (list.currentIndex() != selected) list.setCurrentIndex(selected);
        newIndex_ = list.count() - 1;
        textChanged_();
    }

    std::int32_t newIndex() const override { return newIndex_; }
    std::int32_t listCount() const override { return widget().count(); }

    std::string itemText(std::int32_t index) const override {
        checkEntry(index);
        return widget().itemText(index).toStdString();
    }

    std::int32_t itemData(std::int32_t index) const override {
        checkEntry(index);
        return widget().itemData(index, Qt::UserRole).toInt();
    }

    void setItemData(std::int32_t index, std::int32_t value) override {
        checkEntry(index);
        widget().setItemData(index, QVariant(static_cast<qint32>(value)), Qt::UserRole);
    }

    std::int32_t listIndex() const override { return widget().currentIndex(); }

    void setListIndex(std::int32_t index) override {
        QComboBox& list = widget();
        if (index < -1 || index >= list.count()) throw Error("list position out of range");
        if (index == list.currentIndex()) return;
        {
            const QSignalBlocker blocker(&list);
            list.setCurrentIndex(index);
        }
        toolkit_.call(onClick_);
    }

    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

private:
    void checkEntry(std::int32_t index) const {
        if (index < 0 || index >= widget().count()) throw Error("list position out of range");
    }

    QtToolkit& toolkit_;
    TextChanged textChanged_;
    std::int32_t newIndex_ = -1;
    std::function<void()> onClick_;
};

class QtLabel final : public Label, Child<QLabel> {
public:
    QtLabel(QLabel* label, std::string caption, TextChanged textChanged)
        : Child(label), caption_(std::move(caption)), textChanged_(std::move(textChanged)) {}

    std::string caption() const override {
        widget();  // refused once the window is gone, like every other control
        return caption_;
    }

    void setCaption(const std::string& text) override {
        widget().setText(toQString(text));
        caption_ = text;
        textChanged_();
    }

private:
    std::string caption_;  // as given, with its "\r\n" line breaks
    TextChanged textChanged_;
};

class QtButton final : public Button, Child<QPushButton> {
public:
    QtButton(QtToolkit& toolkit, QPushButton* button) : Child(button), toolkit_(toolkit) {
        QObject::connect(button, &QAbstractButton::clicked, button, [this] {
            if (onClick_) toolkit_.dispatch(onClick_);
        });
    }

    void setOnClick(std::function<void()> handler) override { onClick_ = std::move(handler); }

private:
    QtToolkit& toolkit_;
    std::function<void()> onClick_;
};

class QtTimer final : public Timer {
public:
    QtTimer(QtToolkit& toolkit, std::int32_t interval, bool enabled) : interval_(interval), enabled_(enabled) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this, &toolkit] { toolkit.tick(onTick_); });
        apply();
    }

    std::int32_t interval() const override { return interval_; }

    void setInterval(std::int32_t milliseconds) override {
        interval_ = milliseconds;
        apply();
    }

    bool enabled() const override { return enabled_; }

    void setEnabled(bool enabled) override {
        enabled_ = enabled;
        apply();
    }

    void setOnTick(std::function<void()> handler) override { onTick_ = std::move(handler); }

    // The window has unloaded: no tick ever again, whatever is set later.
    void retire() {
        retired_ = true;
        timer_.stop();
    }

private:
    void apply() {
        // QTimer takes an interval of 0 as "on every pass of the event loop";
        // here it means the timer never fires, so it is stopped instead.
        if (retired_ || !enabled_ || interval_ <= 0) {
            timer_.stop();
        } else if (!timer_.isActive() || timer_.interval() != interval_) {
            // Re-setting the running interval does not restart the count, so
            // frequent re-arming cannot starve the tick.
            timer_.start(interval_);
        }
    }

    QTimer timer_;
    std::int32_t interval_;  // milliseconds
    bool enabled_;
    bool retired_ = false;
    std::function<void()> onTick_;
};

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
        : toolkit_(toolkit), widget_(new MainWidget(*this)), icon_(buildIcon()) {
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
    struct Placed {
        QPointer<QWidget> widget;
        ControlSpec desc;
    };

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

    // Makes the control's text fit its width (shrinking the window's font if
    // need be) and places it.
    void fit(std::size_t at) {
        const Placed& placed = placed_[at];
        if (!placed.widget || !widget_) return;
        QFont font = widget_->font();
        while (!textFits(placed) && font.pointSizeF() - kPointSizeStep >= kSmallestPointSize) {
            font.setPointSizeF(font.pointSizeF() - kPointSizeStep);
            widget_->setFont(font);
        }
        place(placed);
    }

    // Whether the control's text (its caption, or every entry of a list)
    // shows in full at the layout's width.
    bool textFits(const Placed& placed) const {
        QWidget& control = *placed.widget;
        const int width = twipsToPixels(placed.desc.rect.width, logicalDpiX());
        const QFontMetrics metrics = control.fontMetrics();
        QStyle* style = control.style();
        switch (placed.desc.kind) {
        case ControlKind::CheckBox: {
            const auto& box = static_cast<QCheckBox&>(control);
            QStyleOptionButton option;
            option.initFrom(&box);
            option.text = box.text();
            const QSize text = metrics.size(Qt::TextShowMnemonic, box.text());
            return style->sizeFromContents(QStyle::CT_CheckBox, &option, text, &box).width() <= width;
        }
        case ControlKind::Label: {
            const QStringList lines = static_cast<QLabel&>(control).text().split(QLatin1Char('\n'));
            return std::all_of(lines.begin(), lines.end(),
                               [&](const QString& line) { return metrics.horizontalAdvance(line) <= width; });
        }
        case ControlKind::Button: {
            const auto& button = static_cast<QPushButton&>(control);
            const int chrome = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) +
                                    style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button));
            return metrics.size(Qt::TextShowMnemonic, button.text()).width() + chrome <= width;
        }
        case ControlKind::ComboBox: {
            const auto& list = static_cast<ListBox&>(control);
            const int room = list.textWidth();
            for (int i = 0; i < list.count(); ++i) {
                if (metrics.horizontalAdvance(list.itemText(i)) > room) return false;
            }
            return true;
        }
        }
        return true;
    }

    // The least height at which one line of the control's text shows uncut.
    int oneLineHeight(const Placed& placed) const {
        QWidget& control = *placed.widget;
        const int text = control.fontMetrics().height();
        switch (placed.desc.kind) {
        case ControlKind::CheckBox:
            return std::max(text, control.style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, &control));
        case ControlKind::Label:
            return text;
        case ControlKind::ComboBox:
        case ControlKind::Button:
            return control.sizeHint().height();
        }
        return text;
    }

    void place(const Placed& placed) {
        if (!placed.widget) return;
        const Rect& rect = placed.desc.rect;
        const int height = std::max(twipsToPixels(rect.height, logicalDpiY()), oneLineHeight(placed));
        placed.widget->setGeometry(twipsToPixels(rect.left, logicalDpiX()), twipsToPixels(rect.top, logicalDpiY()),
                                   twipsToPixels(rect.width, logicalDpiX()), height);
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

}  // namespace

Toolkit& qtToolkit(int& argc, char** argv) {
    if (!g_toolkit) g_toolkit = new QtToolkit(argc, argv);
    return *g_toolkit;
}

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
