// The Qt toolkit against a real X server: the toolkit contract, and what only
// the live widgets show (the settings window read back as its layout, the
// message box, a pick with the mouse).
#include "platform/qt/toolkit_qt.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QThread>
#include <array>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "common/toolkit_contract.h"
#include "platform/linux/toolkit_headless.h"
#include "qt_session.h"
#include "window/layout.h"

namespace tovi {
namespace {

using platform::ControlKind;
using platform::WindowState;

void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(target, &release);
}

QWidget* widgetOf(const platform::Window& window) { return platform::qtWindowFromHandle(window.nativeHandle()); }

template <class T>
T* childOf(const platform::Window& window, const char* name) {
    return widgetOf(window)->findChild<T*>(QString::fromLatin1(name));
}

class QtDriver final : public contract::ToolkitDriver {
public:
    explicit QtDriver(platform::Toolkit& toolkit) : toolkit_(toolkit) {}
    platform::Toolkit& toolkit() override { return toolkit_; }
    // An unload outside the event loop asks the loop to end, and every nested
    // loop then returns at once until the application's own loop runs again:
    // outside any loop, run that one.
    void runFor(std::chrono::milliseconds time) override {
        if (QThread::currentThread()->loopLevel() > 0) return qtest::spin(static_cast<int>(time.count()));
        QTimer stop;
        stop.setSingleShot(true);
        QObject::connect(&stop, &QTimer::timeout, [] { QCoreApplication::exit(0); });
        stop.start(time);
        QApplication::exec();
    }

    void click(platform::Window& window, const platform::ControlSpec& control) override {
        childOf<QAbstractButton>(window, control.name)->click();
    }

    // The arrow keys of the closed list, the way a user moves its selection.
    void pick(platform::Window& window, const platform::ControlSpec& list, std::int32_t index) override {
        auto* combo = childOf<QComboBox>(window, list.name);
        combo->setFocus();
        pressKey(combo, index > combo->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
    }

    void press(platform::Window& window, const platform::ControlSpec& control, contract::Key key) override {
        QWidget* target = childOf<QWidget>(window, control.name);
        target->setFocus();
        if (key == contract::Key::Space) return pressKey(target, Qt::Key_Space);
        for (int code : key == contract::Key::Enter ? std::vector<int>{Qt::Key_Return, Qt::Key_Enter}
                                                    : std::vector<int>{Qt::Key_Escape}) {
            pressKey(target, code);
            pressKey(widgetOf(window), code);
        }
    }

    void closeNextBoxAfter(std::chrono::milliseconds time) override {
        QTimer::singleShot(time, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->button(QMessageBox::Ok)->click();
            }
        });
    }

    void closeSoon(platform::Window& window) override {
        QWidget* widget = widgetOf(window);
        QTimer::singleShot(50, widget, [widget] { widget->close(); });
    }

private:
    platform::Toolkit& toolkit_;
};

std::unique_ptr<contract::ToolkitDriver> makeQtDriver() {
    platform::Toolkit* toolkit = qtest::session();
    return toolkit ? std::make_unique<QtDriver>(*toolkit) : nullptr;
}

using contract::ToolkitContract;
INSTANTIATE_TEST_SUITE_P(Qt, ToolkitContract, ::testing::Values(contract::Backend{"qt", &makeQtDriver}));

// The toolkit of tovi --no-window meets the same contract: its message box
// closes at once, and running the events is its loop's own wait for the due
// timers.
class HeadlessDriver final : public contract::MemoryControlsDriver {
public:
    platform::Toolkit& toolkit() override { return toolkit_; }
    bool showsWindow() const override { return false; }
    void runFor(std::chrono::milliseconds time) override {
        using Clock = std::chrono::steady_clock;
        const auto end = Clock::now() + time;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            toolkit_.fireDue(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(end - now).count()));
        }
    }
    void closeNextBoxAfter(std::chrono::milliseconds) override {}

private:
    platform::HeadlessToolkit toolkit_;
};

std::unique_ptr<contract::ToolkitDriver> makeHeadlessDriver() { return std::make_unique<HeadlessDriver>(); }

INSTANTIATE_TEST_SUITE_P(Headless, ToolkitContract,
                         ::testing::Values(contract::Backend{"headless", &makeHeadlessDriver}));

// The settings window as the program builds it, with every control at hand.
struct Built : contract::ContractWindow {
    using ContractWindow::ContractWindow;
    QWidget* widget() const { return widgetOf(*window); }
    template <class T>
    T* child(const char* name) const {
        return childOf<T>(*window, name);
    }
};

int pixels(int twips, double dpi) { return qRound(twips * dpi / 1440.0); }

class QtToolkitTest : public ::testing::Test {
protected:
    void SetUp() override {
        toolkit = qtest::session();
        if (!toolkit) GTEST_SKIP() << "needs an X display (DISPLAY unset or not xcb)";
        built = std::make_unique<Built>(*toolkit);
    }

    void showAndActivate() {
        built->window->showFirst();
        ASSERT_TRUE(qtest::waitUntil([&] { return built->widget()->isActiveWindow(); }))
            << "the window never became active";
    }

    platform::Toolkit* toolkit = nullptr;
    std::unique_ptr<Built> built;
};

TEST_F(QtToolkitTest, ControlsShowWhatTheyHold) {
    platform::CheckBox& box = *built->checks["Check1"];
    auto* check = built->child<QCheckBox>("Check1");
    const std::pair<std::int16_t, Qt::CheckState> states[] = {
        {1, Qt::Checked}, {2, Qt::PartiallyChecked}, {0, Qt::Unchecked}};
    for (const auto& [value, shown] : states) {
        box.setValue(value);
        EXPECT_EQ(check->checkState(), shown);
    }

    platform::ComboBox& list = *built->lists["Combo2"];
    for (const char* text : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(text);
    list.setListIndex(2);
    auto* combo = built->child<QComboBox>("Combo2");
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_FALSE(combo->isEditable());

    platform::Label& label = *built->labels["Label4"];
    label.setCaption("one & <b>two</b>\r\n\r\nthree");
    auto* text = built->child<QLabel>("Label4");
    EXPECT_EQ(text->text(), "one & <b>two</b>\n\nthree");
    EXPECT_EQ(text->textFormat(), Qt::PlainText);
    EXPECT_EQ(text->alignment(), Qt::AlignLeft | Qt::AlignTop);
}

TEST_F(QtToolkitTest, PickFromTheOpenListRaisesClickOnceEvenWithABoxInside) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "needs xdotool";
    platform::ComboBox& list = *built->lists["Combo2"];
    for (const char* text : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(text);
    list.setListIndex(1);
    std::vector<std::int32_t> seen;
    list.setOnClick([&] {
        seen.push_back(list.listIndex());
        QTimer::singleShot(100, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        });
        toolkit->messageBox("You assign upload and download to the same lock-key", "Tovi - Feldlamp");
        if (list.listIndex() == 2) list.setListIndex(0);
    });
    showAndActivate();
    auto* combo = built->child<QComboBox>("Combo2");
    const auto clickAt = [](QPoint at) {
        const std::string command =
            "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " sleep 0.1 click 1";
        return std::system(command.c_str());
    };

    ASSERT_EQ(clickAt(combo->mapToGlobal(combo->rect().center())), 0);
    ASSERT_TRUE(qtest::waitUntil([&] { return combo->view()->isVisible(); })) << "the list never opened";
    qtest::spin(300);  // the popup ignores a release that comes too soon
    QAbstractItemView* view = combo->view();
    const QRect item = view->visualRect(combo->model()->index(2, 0));
    ASSERT_EQ(clickAt(view->viewport()->mapToGlobal(item.center())), 0);

    ASSERT_TRUE(qtest::waitUntil([&] { return seen.size() >= 2; }));
    qtest::spin(300);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{2, 0}));
    EXPECT_EQ(combo->currentText(), "Caps Lock");
    EXPECT_FALSE(combo->view()->isVisible());
}

TEST_F(QtToolkitTest, ClickHandlerFailureFromAUsersPickEndsInTheToolkit) {
    platform::ComboBox& list = *built->lists["Combo1"];
    for (const char* text : {"25 milliseconds", "50 milliseconds"}) list.addItem(text);
    list.setListIndex(1);
    list.setOnClick([] { throw Error("handler failed"); });
    showAndActivate();
    pressKey(built->child<QComboBox>("Combo1"), Qt::Key_Up);
    EXPECT_EQ(list.listIndex(), 0);
}

TEST_F(QtToolkitTest, MessageBoxHasOkOnlyNoIconAndTheDefaultTitle) {
    // What the open box showed, read just before pressing its OK.
    const auto closeSoon = [&](QString& shown) {
        QTimer::singleShot(150, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            shown = QStringLiteral("%1|%2|icon %3|buttons %4|modal %5")
                        .arg(box->windowTitle(), box->text())
                        .arg(box->icon())
                        .arg(box->standardButtons())
                        .arg(box->windowModality() == Qt::ApplicationModal);
            box->button(QMessageBox::Ok)->click();
        });
    };
    QString shown;
    closeSoon(shown);
    toolkit->messageBox("IP Helper is not supported by this system.");
    EXPECT_EQ(shown, QStringLiteral("Tovi|IP Helper is not supported by this system.|icon %1|buttons %2|modal 1")
                         .arg(QMessageBox::NoIcon)
                         .arg(QMessageBox::Ok));
    closeSoon(shown);
    toolkit->messageBox("You assign upload and download to the same lock-key", "Tovi - Feldlamp");
    EXPECT_TRUE(shown.startsWith("Tovi - Feldlamp|You assign upload and download to the same lock-key|"))
        << shown.toStdString();
}

// The window as the user meets it: its picture, every control where the
// layout puts it with its caption uncut, and focus moving in tab order.
// Screen readers reach a list's name through its label: the label is the
// list's buddy, which accessibility reports as the list's labelling relation.
TEST_F(QtToolkitTest, SettingsWindowReadsBackAsItsLayout) {
    showAndActivate();
    QWidget* window = built->widget();
    const double dpiX = window->screen()->logicalDotsPerInchX();
    const double dpiY = window->screen()->logicalDotsPerInchY();
    EXPECT_EQ(window->size(), QSize(pixels(layout::kMain.clientWidth, dpiX), pixels(layout::kMain.clientHeight, dpiY)));
    EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 2)
        << "centred when first shown";
    const QIcon& icon = *reinterpret_cast<const QIcon*>(built->window->iconHandle());
    EXPECT_EQ(icon.cacheKey(), window->windowIcon().cacheKey());
    const QImage image = icon.pixmap(32, 32).toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixel(0, 0), qRgba(0, 0, 0, 0)) << "transparent outside the triangle";
    EXPECT_EQ(image.pixel(14, 0), qRgb(0, 0, 0)) << "black apex";
    EXPECT_EQ(image.pixel(8, 20), qRgb(255, 0, 0)) << "red N";

    for (const platform::ControlSpec& desc : layout::kControls) {
        SCOPED_TRACE(desc.name);
        QWidget* control = built->child<QWidget>(desc.name);
        ASSERT_NE(control, nullptr);
        QString caption;
        switch (desc.kind) {
        case ControlKind::CheckBox:
            ASSERT_NE(qobject_cast<QCheckBox*>(control), nullptr);
            caption = qobject_cast<QCheckBox*>(control)->text();
            // The caption shows uncut: box, spacing and text fit the width.
            EXPECT_LE(control->sizeHint().width(), control->width());
            break;
        case ControlKind::ComboBox: {
            ASSERT_NE(qobject_cast<QComboBox*>(control), nullptr);
            EXPECT_EQ(qobject_cast<QComboBox*>(control)->count(), 0);
            ASSERT_NE(desc.labelledBy, nullptr);
            QStringList names;
            for (const auto& relation : QAccessible::queryAccessibleInterface(control)->relations(QAccessible::Label)) {
                names << relation.first->text(QAccessible::Name);
            }
            EXPECT_EQ(names, QStringList{built->child<QLabel>(desc.labelledBy)->text()});
            break;
        }
        case ControlKind::Label:
            ASSERT_NE(qobject_cast<QLabel*>(control), nullptr);
            caption = qobject_cast<QLabel*>(control)->text();
            EXPECT_LE(control->fontMetrics().horizontalAdvance(caption), control->width());
            EXPECT_EQ(control->focusPolicy(), Qt::NoFocus);
            break;
        case ControlKind::Button:
            ASSERT_NE(qobject_cast<QPushButton*>(control), nullptr);
            caption = qobject_cast<QPushButton*>(control)->text();
            EXPECT_LT(control->fontMetrics().horizontalAdvance(caption), control->width() - 8);
            break;
        }
        EXPECT_EQ(caption, QString::fromLatin1(desc.caption));
        EXPECT_EQ(control->x(), pixels(desc.rect.left, dpiX));
        EXPECT_EQ(control->y(), pixels(desc.rect.top, dpiY));
        EXPECT_EQ(control->width(), pixels(desc.rect.width, dpiX));
        // Heights grow only as far as one line of the platform's font needs.
        EXPECT_GE(control->height(), pixels(desc.rect.height, dpiY));
        EXPECT_LE(control->height(), pixels(desc.rect.height, dpiY) + 3);
        EXPECT_GE(control->height(), control->fontMetrics().height());
        EXPECT_TRUE(control->isVisible());
        EXPECT_TRUE(control->isEnabled());
    }

    // Focus starts in the interval list and Tab follows the tab indexes.
    ASSERT_TRUE(qtest::waitUntil([] { return QApplication::focusWidget() != nullptr; }));
    std::vector<QString> order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 10; ++i) {
        pressKey(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(order, (std::vector<QString>{"Combo1", "Command1", "Check3", "Check2", "Combo2", "Combo3", "Check1",
                                           "Command2", "Command3", "Check4", "Combo1"}));
}

TEST_F(QtToolkitTest, ListEntriesAndCreditsShowUncut) {
    platform::ComboBox& intervals = *built->lists["Combo1"];
    for (const char* text : {"25 milliseconds", "150 milliseconds (default)", "5000 milliseconds"}) {
        intervals.addItem(text);
    }
    intervals.setListIndex(1);
    built->labels["Label4"]->setCaption(
        "Visit our web site for more\r\nfree tools like this one.\r\n\r\nLampfeld Works\r\n"
        "https://www.example.org\r\n\r\nWritten by the Tovi team\r\nsupport@example.org\r\n\r\n"
        "Support and comments:\r\nhttps://forum.example.org\r\n\r\nCopyright (C) 2025-2026\r\nLampfeld Works");
    built->window->showFirst();

    auto* combo = built->child<QComboBox>("Combo1");
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.frame = true;
    const int room =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
    for (int i = 0; i < combo->count(); ++i) {
        EXPECT_LE(combo->fontMetrics().horizontalAdvance(combo->itemText(i)), room) << combo->itemText(i).toStdString();
    }

    auto* credits = built->child<QLabel>("Label4");
    const QStringList lines = credits->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 14);
    for (const QString& line : lines) {
        EXPECT_LE(credits->fontMetrics().horizontalAdvance(line), credits->width()) << line.toStdString();
    }
    EXPECT_LE(14 * credits->fontMetrics().lineSpacing(), credits->height()) << "every line in the block";

    // Every other caption still fits at the font the window settled on.
    auto* check = built->child<QCheckBox>("Check2");
    EXPECT_LE(check->sizeHint().width(), check->width());
}

TEST_F(QtToolkitTest, StartedHiddenWindowRestoresCentredAndFocusedThenRaisesResizeOncePerChange) {
    built->window->setWindowState(WindowState::Minimized);
    built->window->setVisible(false);
    qtest::spin(50);
    built->window->setWindowState(WindowState::Normal);
    built->window->setVisible(true);
    QWidget* window = built->widget();
    ASSERT_TRUE(qtest::waitUntil([&] { return window->isActiveWindow(); }));
    EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 2);
    EXPECT_TRUE(qtest::waitUntil([&] { return QApplication::focusWidget() == built->child<QWidget>("Combo1"); }));

    // Shown, each change raises one resize however many events Qt sends for
    // it, and so does a user's drag.
    int resizes = 0;
    std::vector<WindowState> seen;
    built->window->setOnResize([&] {
        ++resizes;
        seen.push_back(built->window->windowState());
    });
    built->window->setWindowState(WindowState::Minimized);
    EXPECT_EQ(seen, std::vector<WindowState>{WindowState::Minimized});
    built->window->setWindowState(WindowState::Normal);
    EXPECT_EQ(resizes, 2);
    window->resize(500, 400);  // as a user's drag would
    EXPECT_EQ(resizes, 3);
}

TEST_F(QtToolkitTest, MouseMoveArrivesInTwips) {
    const int twips = toolkit->twipsPerPixelX();
    EXPECT_EQ(twips, qRound(1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX()));
    std::vector<std::array<float, 4>> moves;  // button, shift, x, y
    built->window->setOnMouseMove([&](std::int16_t b, std::int16_t s, float x, float y) {
        moves.push_back({float(b), float(s), x, y});
    });
    const QPointF at(300, 10);  // bare client area, right of the left column
    QMouseEvent move(QEvent::MouseMove, at, built->widget()->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::ShiftModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(built->widget(), &move);
    EXPECT_EQ(moves, (std::vector<std::array<float, 4>>{{1, 1 | 4, 300.0f * twips, 10.0f * twips}}));
}

TEST_F(QtToolkitTest, UnloadFromAnEventEndsTheLoopAndForgetsTheHandle) {
    int unloads = 0;
    built->window->setOnUnload([&] { ++unloads; });
    built->window->showFirst();
    QTimer::singleShot(50, [&] { built->window->unload(); });
    EXPECT_EQ(toolkit->run(), 0);
    EXPECT_EQ(unloads, 1);
    qtest::spin(20);
    EXPECT_EQ(platform::qtWindowFromHandle(built->window->nativeHandle()), nullptr);
}

}  // namespace
}  // namespace tovi
