// The Qt toolkit against a real X server: what the window's routines rely on
// (refusals, when list clicks and ticks are raised, the message box) and the
// settings window as it is built from its layout, read back from the live
// widgets.
#include "platform/linux/toolkit_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QAbstractItemView>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <array>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "qt_session.h"
#include "window/layout.h"

namespace tovi {
namespace {

using platform::ControlKind;
using platform::WindowState;

// The settings window as the program builds it, with every control at hand.
struct Built {
    std::unique_ptr<platform::Window> window;
    std::map<std::string, platform::CheckBox*> checks;
    std::map<std::string, platform::ComboBox*> lists;
    std::map<std::string, platform::Label*> labels;
    std::map<std::string, platform::Button*> buttons;
    platform::Timer* timer1 = nullptr;
    platform::Timer* timer2 = nullptr;

    QWidget* widget() const { return reinterpret_cast<QWidget*>(window->nativeHandle()); }
    template <class T>
    T* child(const char* name) const {
        return widget()->findChild<T*>(QString::fromLatin1(name));
    }
};

Built build(platform::Toolkit& toolkit) {
    Built built;
    built.window = toolkit.createWindow(layout::kMain);
    for (const platform::ControlSpec& desc : layout::kControls) {
        switch (desc.kind) {
        case ControlKind::CheckBox:
            built.checks[desc.name] = &built.window->createCheckBox(desc);
            break;
        case ControlKind::ComboBox:
            built.lists[desc.name] = &built.window->createComboBox(desc);
            break;
        case ControlKind::Label:
            built.labels[desc.name] = &built.window->createLabel(desc);
            break;
        case ControlKind::Button:
            built.buttons[desc.name] = &built.window->createButton(desc);
            break;
        }
    }
    built.timer1 = &built.window->createTimer(layout::kTimer1Interval, true);
    built.timer2 = &built.window->createTimer(layout::kTimer2Interval, true);
    return built;
}

void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(target, &release);
}

int pixels(int twips, double dpi) { return qRound(twips * dpi / 1440.0); }

class QtToolkitTest : public ::testing::Test {
protected:
    void SetUp() override {
        toolkit = qtest::session();
        if (!toolkit) GTEST_SKIP() << "needs an X display (DISPLAY unset or not xcb)";
        built = build(*toolkit);
    }

    void showAndActivate() {
        built.window->showFirst();
        ASSERT_TRUE(qtest::waitUntil([&] { return built.widget()->isActiveWindow(); }))
            << "the window never became active";
    }

    platform::Toolkit* toolkit = nullptr;
    Built built;
};

TEST_F(QtToolkitTest, CheckBoxHoldsThreeStatesAndUsersToggleTwo) {
    platform::CheckBox& box = *built.checks["Check1"];
    auto* widget = built.child<QCheckBox>("Check1");
    ASSERT_NE(widget, nullptr);
    const std::pair<std::int16_t, Qt::CheckState> states[] = {
        {1, Qt::Checked}, {2, Qt::PartiallyChecked}, {0, Qt::Unchecked}};
    for (const auto& [value, shown] : states) {
        box.setValue(value);
        EXPECT_EQ(box.value(), value);
        EXPECT_EQ(widget->checkState(), shown);
    }
    box.setValue(2);
    EXPECT_THROW(box.setValue(3), Error);
    EXPECT_THROW(box.setValue(-1), Error);
    EXPECT_EQ(box.value(), 2);

    // A click never grays the box: 2 -> 1 -> 0 -> 1.
    for (std::int16_t expected : {1, 0, 1}) {
        widget->click();
        EXPECT_EQ(box.value(), expected);
    }
}

TEST_F(QtToolkitTest, ListStartsWithoutSelectionAndKeepsTheOrderOfAdding) {
    platform::ComboBox& list = *built.lists["Combo1"];
    int clicks = 0;
    list.setOnClick([&] { ++clicks; });
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.newIndex(), -1);

    for (const char* text : {"b", "a", "c"}) list.addItem(text);
    EXPECT_EQ(list.listCount(), 3);
    EXPECT_EQ(list.newIndex(), 2);
    EXPECT_EQ(list.listIndex(), -1) << "adding to an empty list must not select an entry";
    EXPECT_EQ(list.itemText(0), "b");
    EXPECT_EQ(list.itemText(1), "a");
    EXPECT_EQ(list.itemText(2), "c");
    EXPECT_EQ(list.itemData(1), 0);
    list.setItemData(1, -70000);
    EXPECT_EQ(list.itemData(1), -70000);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(built.child<QComboBox>("Combo1")->isEditable());
}

TEST_F(QtToolkitTest, SelectingADifferentEntryRaisesClickOnceBeforeReturning) {
    platform::ComboBox& list = *built.lists["Combo2"];
    for (const char* text : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(text);
    std::vector<std::int32_t> seen;  // the selection as each click saw it
    list.setOnClick([&] { seen.push_back(list.listIndex()); });

    list.setListIndex(1);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1}));
    list.setListIndex(1);
    EXPECT_EQ(seen.size(), 1u) << "the same position raises nothing";
    list.setListIndex(-1);
    list.setListIndex(2);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, -1, 2}));
    EXPECT_EQ(built.child<QComboBox>("Combo2")->currentIndex(), 2);
}

TEST_F(QtToolkitTest, ListRefusesPositionsOutsideItsEntries) {
    platform::ComboBox& list = *built.lists["Combo3"];
    for (const char* text : {"Caps Lock", "Num Lock"}) list.addItem(text);
    list.setListIndex(0);
    int clicks = 0;
    list.setOnClick([&] { ++clicks; });

    EXPECT_THROW(list.setListIndex(-2), Error);
    EXPECT_THROW(list.setListIndex(2), Error);
    EXPECT_THROW(list.itemData(-1), Error);
    EXPECT_THROW(list.itemData(2), Error);
    EXPECT_THROW(list.setItemData(-1, 5), Error);
    EXPECT_THROW(list.itemText(-1), Error);
    EXPECT_EQ(list.listIndex(), 0);
    EXPECT_EQ(clicks, 0);
}

TEST_F(QtToolkitTest, UsersPickRaisesClickOnceAndMayBeCorrectedInside) {
    platform::ComboBox& list = *built.lists["Combo2"];
    for (const char* text : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(text);
    list.setListIndex(0);
    std::vector<std::int32_t> seen;
    // Like the rule that keeps the two keys apart: a pick of "Scroll Lock"
    // is moved back to "Caps Lock" from inside the click handler.
    list.setOnClick([&] {
        seen.push_back(list.listIndex());
        if (list.listIndex() == 2) list.setListIndex(0);
    });
    showAndActivate();
    QWidget* combo = built.child<QComboBox>("Combo2");
    combo->setFocus();

    pressKey(combo, Qt::Key_Down);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1}));
    pressKey(combo, Qt::Key_Down);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2, 0}));
    EXPECT_EQ(list.listIndex(), 0);
    EXPECT_EQ(built.child<QComboBox>("Combo2")->currentText(), "Caps Lock");
}

TEST_F(QtToolkitTest, PickFromTheOpenListRaisesClickOnceEvenWithABoxInside) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "needs xdotool";
    platform::ComboBox& list = *built.lists["Combo2"];
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
    auto* combo = built.child<QComboBox>("Combo2");
    const auto clickAt = [](QPoint at) {
        const std::string command = "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                                    " sleep 0.1 click 1";
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

TEST_F(QtToolkitTest, ClickHandlerFailureReachesTheProgramsCallNotTheEventLoop) {
    platform::ComboBox& list = *built.lists["Combo1"];
    for (const char* text : {"25 milliseconds", "50 milliseconds"}) list.addItem(text);
    list.setOnClick([] { throw Error("handler failed"); });
    EXPECT_THROW(list.setListIndex(1), Error);
    EXPECT_EQ(list.listIndex(), 1);

    // From a user's pick the failure ends in the toolkit; the program goes on.
    showAndActivate();
    pressKey(built.child<QComboBox>("Combo1"), Qt::Key_Up);
    EXPECT_EQ(list.listIndex(), 0);
}

TEST_F(QtToolkitTest, LabelShowsPlainMultiLineTextAndKeepsItsCaption) {
    platform::Label& label = *built.labels["Label4"];
    EXPECT_EQ(label.caption(), "Label4");
    label.setCaption("one & <b>two</b>\r\n\r\nthree");
    EXPECT_EQ(label.caption(), "one & <b>two</b>\r\n\r\nthree");

    auto* widget = built.child<QLabel>("Label4");
    EXPECT_EQ(widget->text(), "one & <b>two</b>\n\nthree");
    EXPECT_EQ(widget->textFormat(), Qt::PlainText);
    EXPECT_EQ(widget->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(widget->alignment(), Qt::AlignLeft | Qt::AlignTop);
    EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus);
}

TEST_F(QtToolkitTest, EnterAndEscapePressNoButton) {
    std::map<std::string, int> clicks;
    for (auto& [name, button] : built.buttons) button->setOnClick([&clicks, name = name] { ++clicks[name]; });
    showAndActivate();
    for (const char* name : {"Command1", "Command2", "Command3"}) {
        auto* button = built.child<QPushButton>(name);
        EXPECT_FALSE(button->isDefault()) << name;
        EXPECT_FALSE(button->autoDefault()) << name;
        button->setFocus();
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            pressKey(button, key);
            pressKey(built.widget(), key);
        }
        EXPECT_EQ(clicks[name], 0) << name;
        pressKey(button, Qt::Key_Space);  // the key path itself works
        EXPECT_EQ(clicks[name], 1) << name;
    }
}

TEST_F(QtToolkitTest, TimerTicksOnlyWhenEnabledWithAnIntervalAboveZero) {
    int ticks = 0;
    platform::Timer& timer = built.window->createTimer(0, true);
    timer.setOnTick([&] { ++ticks; });
    qtest::spin(150);
    EXPECT_EQ(ticks, 0) << "interval 0 never fires";
    timer.setInterval(-5);
    qtest::spin(100);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(timer.interval(), -5);

    timer.setInterval(10);
    ASSERT_TRUE(qtest::waitUntil([&] { return ticks >= 3; }));
    for (const auto& stop : std::vector<std::function<void()>>{[&] { timer.setInterval(0); },
                                                                [&] { timer.setEnabled(false); }}) {
        stop();
        const int stoppedAt = ticks;
        qtest::spin(120);
        EXPECT_EQ(ticks, stoppedAt);
        timer.setInterval(10);
        timer.setEnabled(true);
        EXPECT_TRUE(qtest::waitUntil([&] { return ticks > stoppedAt; })) << "starts again";
    }
}

TEST_F(QtToolkitTest, NoTickWhileAnotherHandlerRuns) {
    int ticks = 0;
    int depth = 0;
    int deepest = 0;
    built.timer1->setInterval(5);
    built.timer1->setOnTick([&] {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        qtest::spin(30);  // a slow tick: the next ones fall due meanwhile
        --depth;
    });
    int ticksDuringClick = -1;
    built.buttons["Command1"]->setOnClick([&] {
        const int before = ticks;
        qtest::spin(150);  // the handler waits; the event loop keeps running
        ticksDuringClick = ticks - before;
    });

    built.child<QPushButton>("Command1")->click();
    EXPECT_EQ(ticksDuringClick, 0);
    ASSERT_TRUE(qtest::waitUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(deepest, 1) << "a tick ran inside another tick";
}

TEST_F(QtToolkitTest, MessageBoxHasOkOnlyNoIconDefaultTitleAndHoldsTicks) {
    int ticks = 0;
    built.timer1->setInterval(5);
    built.timer1->setOnTick([&] { ++ticks; });
    ASSERT_TRUE(qtest::waitUntil([&] { return ticks > 0; }));

    // What the open box showed, read just before pressing its OK.
    const auto closeSoon = [&](QString& shown) {
        QTimer::singleShot(150, [&shown, &ticks, before = ticks] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            shown = QStringLiteral("%1|%2|icon %3|buttons %4|modal %5|ticks %6")
                        .arg(box->windowTitle(), box->text())
                        .arg(box->icon())
                        .arg(box->standardButtons())
                        .arg(box->windowModality() == Qt::ApplicationModal)
                        .arg(ticks - before);
            box->button(QMessageBox::Ok)->click();
        });
    };
    QString shown;
    closeSoon(shown);
    toolkit->messageBox("IP Helper is not supported by this system.");
    EXPECT_EQ(shown, QStringLiteral("Tovi|IP Helper is not supported by this system.|icon %1|buttons %2|modal 1|ticks 0")
                         .arg(QMessageBox::NoIcon)
                         .arg(QMessageBox::Ok));
    closeSoon(shown);
    toolkit->messageBox("You assign upload and download to the same lock-key", "Tovi - Feldlamp");
    EXPECT_TRUE(shown.startsWith("Tovi - Feldlamp|You assign upload and download to the same lock-key|")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("|ticks 0")) << shown.toStdString();

    const int after = ticks;
    EXPECT_TRUE(qtest::waitUntil([&] { return ticks > after; })) << "ticks resume once the box is closed";
}

TEST_F(QtToolkitTest, SettingsWindowReadsBackAsItsLayout) {
    showAndActivate();
    QWidget* window = built.widget();
    const double dpiX = window->screen()->logicalDotsPerInchX();
    const double dpiY = window->screen()->logicalDotsPerInchY();
    EXPECT_EQ(window->objectName(), "Main");
    EXPECT_EQ(window->windowTitle(), "Tovi - Lampfeld v1.10");
    EXPECT_EQ(window->size(), QSize(pixels(5295, dpiX), pixels(3690, dpiY)));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window->windowType(), Qt::Window);
    EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 2)
        << "centred when first shown";

    for (const platform::ControlSpec& desc : layout::kControls) {
        SCOPED_TRACE(desc.name);
        QWidget* control = built.child<QWidget>(desc.name);
        ASSERT_NE(control, nullptr);
        QString caption;
        switch (desc.kind) {
        case ControlKind::CheckBox:
            ASSERT_NE(qobject_cast<QCheckBox*>(control), nullptr);
            caption = qobject_cast<QCheckBox*>(control)->text();
            // The caption shows uncut: box, spacing and text fit the width.
            EXPECT_LE(control->sizeHint().width(), control->width());
            break;
        case ControlKind::ComboBox:
            ASSERT_NE(qobject_cast<QComboBox*>(control), nullptr);
            EXPECT_EQ(qobject_cast<QComboBox*>(control)->count(), 0);
            break;
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
    platform::ComboBox& intervals = *built.lists["Combo1"];
    for (const char* text : {"25 milliseconds", "150 milliseconds (default)", "5000 milliseconds"}) {
        intervals.addItem(text);
    }
    intervals.setListIndex(1);
    built.labels["Label4"]->setCaption(
        "Visit our web site for more\r\nfree tools like this one.\r\n\r\nLampfeld Works\r\n"
        "https://www.example.org\r\n\r\nWritten by the Tovi team\r\nsupport@example.org\r\n\r\n"
        "Support and comments:\r\nhttps://forum.example.org\r\n\r\nCopyright (C) 2025-2026\r\nLampfeld Works");
    built.window->showFirst();

    auto* combo = built.child<QComboBox>("Combo1");
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.frame = true;
    const int room =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
    for (int i = 0; i < combo->count(); ++i) {
        EXPECT_LE(combo->fontMetrics().horizontalAdvance(combo->itemText(i)), room) << combo->itemText(i).toStdString();
    }

    auto* credits = built.child<QLabel>("Label4");
    const QStringList lines = credits->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 14);
    for (const QString& line : lines) {
        EXPECT_LE(credits->fontMetrics().horizontalAdvance(line), credits->width()) << line.toStdString();
    }
    EXPECT_LE(14 * credits->fontMetrics().lineSpacing(), credits->height()) << "every line in the block";

    // Every other caption still fits at the font the window settled on.
    auto* check = built.child<QCheckBox>("Check2");
    EXPECT_LE(check->sizeHint().width(), check->width());
}

TEST_F(QtToolkitTest, WindowIconIsTheProgramsPicture) {
    const QIcon& icon = *reinterpret_cast<const QIcon*>(built.window->iconHandle());
    EXPECT_EQ(icon.cacheKey(), built.widget()->windowIcon().cacheKey());
    const QImage image = icon.pixmap(32, 32).toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixel(0, 0), qRgba(0, 0, 0, 0)) << "transparent outside the triangle";
    EXPECT_EQ(image.pixel(14, 0), qRgb(0, 0, 0)) << "black apex";
    EXPECT_EQ(image.pixel(8, 20), qRgb(255, 0, 0)) << "red N";
}

TEST_F(QtToolkitTest, StartedHiddenWindowIsCentredAndFocusedWhenFirstRestored) {
    built.window->setWindowState(WindowState::Minimized);
    built.window->setVisible(false);
    qtest::spin(50);
    built.window->setWindowState(WindowState::Normal);
    built.window->setVisible(true);
    QWidget* window = built.widget();
    EXPECT_TRUE(qtest::waitUntil([&] { return window->isActiveWindow(); }));
    EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 2);
    EXPECT_TRUE(qtest::waitUntil([&] { return QApplication::focusWidget() == built.child<QWidget>("Combo1"); }));
}

TEST_F(QtToolkitTest, StateChangesRaiseResizeOnceToTheCaller) {
    int resizes = 0;
    std::vector<WindowState> statesSeen;
    built.window->setOnResize([&] {
        ++resizes;
        statesSeen.push_back(built.window->windowState());
    });
    showAndActivate();
    resizes = 0;
    statesSeen.clear();

    built.window->setWindowState(WindowState::Minimized);
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(statesSeen, std::vector<WindowState>{WindowState::Minimized});
    EXPECT_EQ(built.window->windowState(), WindowState::Minimized);
    built.window->setWindowState(WindowState::Minimized);
    EXPECT_EQ(resizes, 1) << "no change, no resize";

    built.window->setVisible(false);
    EXPECT_FALSE(built.window->visible());
    built.window->setWindowState(WindowState::Normal);
    built.window->setVisible(true);
    EXPECT_TRUE(built.window->visible());
    EXPECT_EQ(built.window->windowState(), WindowState::Normal);
    EXPECT_GE(resizes, 2);

    const int before = resizes;
    built.widget()->resize(500, 400);  // as a user's drag would
    EXPECT_EQ(resizes, before + 1);

    built.window->setOnResize([] { throw Error("resize handler failed"); });
    EXPECT_THROW(built.window->setWindowState(WindowState::Minimized), Error);
    EXPECT_EQ(built.window->windowState(), WindowState::Minimized);
}

TEST_F(QtToolkitTest, MouseMoveArrivesInTwips) {
    const int twips = toolkit->twipsPerPixelX();
    EXPECT_EQ(twips, qRound(1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX()));
    std::vector<std::array<float, 4>> moves;  // button, shift, x, y
    built.window->setOnMouseMove([&](std::int16_t b, std::int16_t s, float x, float y) {
        moves.push_back({float(b), float(s), x, y});
    });
    const QPointF at(300, 10);  // bare client area, right of the left column
    QMouseEvent move(QEvent::MouseMove, at, built.widget()->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::ShiftModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(built.widget(), &move);
    EXPECT_EQ(moves, (std::vector<std::array<float, 4>>{{1, 1 | 4, 300.0f * twips, 10.0f * twips}}));
}

TEST_F(QtToolkitTest, UnloadRunsItsHandlerOnceThenEndsTheLoop) {
    std::vector<std::int16_t> seenAtUnload;
    int ticks = 0;
    built.checks["Check4"]->setValue(2);
    built.window->setOnUnload([&] { seenAtUnload.push_back(built.checks["Check4"]->value()); });
    built.timer2->setOnTick([&] { ++ticks; });
    built.timer2->setInterval(5);
    built.window->showFirst();

    QTimer::singleShot(50, [&] { built.window->unload(); });
    EXPECT_EQ(toolkit->run(), 0);
    EXPECT_EQ(seenAtUnload, std::vector<std::int16_t>{2}) << "the controls are alive in the handler";
    built.window->unload();
    EXPECT_EQ(seenAtUnload.size(), 1u);

    // The window and its timers are gone; so is the handle.
    const int ticksAtUnload = ticks;
    built.timer2->setEnabled(true);
    qtest::spin(60);
    EXPECT_EQ(ticks, ticksAtUnload);
    EXPECT_EQ(platform::qtWindowFromHandle(built.window->nativeHandle()), nullptr);
    EXPECT_THROW(built.checks["Check4"]->value(), Error);
    EXPECT_THROW(built.lists["Combo1"]->setListIndex(-1), Error);
    EXPECT_EQ(toolkit->run(), 0) << "no window left to wait for";
}

TEST_F(QtToolkitTest, ClosingTheWindowUnloadsItOnce) {
    int unloads = 0;
    built.window->setOnUnload([&] { ++unloads; });
    built.window->showFirst();
    QWidget* window = built.widget();
    QTimer::singleShot(50, window, [window] { window->close(); });
    EXPECT_EQ(toolkit->run(), 0);
    EXPECT_EQ(unloads, 1);
    built.window->unload();
    EXPECT_EQ(unloads, 1);
}

TEST_F(QtToolkitTest, FailingUnloadHandlerStillClosesTheWindow) {
    built.window->setOnUnload([] { throw Error("unload handler failed"); });
    built.window->showFirst();
    EXPECT_THROW(built.window->unload(), Error);
    EXPECT_FALSE(built.widget()->isVisible());
    EXPECT_EQ(toolkit->run(), 0);
}

}  // namespace
}  // namespace tovi
