// What every window toolkit promises through the seam, run against the fake
// the unit tests use and the real backends (see contract_suite.h); a test
// program includes this header once. The driver runs the events as the event
// loop would, and acts as the user (a click, a pick, a key, closing a box or
// the window).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/error.h"
#include "common/contract_suite.h"
#include "platform/memory_controls.h"
#include "platform/toolkit.h"
#include "window/layout.h"

namespace tovi::contract {

using namespace std::chrono_literals;

enum class Key { Enter, Escape, Space };

struct ContractWindow;

class ToolkitDriver {
public:
    virtual ~ToolkitDriver() = default;
    virtual platform::Toolkit& toolkit() = 0;
    // False for a toolkit without a screen: its window is never visible and
    // its state changes raise no resize.
    virtual bool showsWindow() const { return true; }
    // The window under test, once built; a driver that cannot find controls
    // through the window keeps it.
    virtual void attach(ContractWindow&) {}
    // Runs the thread's events for about this long, as the event loop would.
    virtual void runFor(std::chrono::milliseconds time) = 0;
    // A user's click on a check box or a button.
    virtual void click(platform::Window& window, const platform::ControlSpec& control) = 0;
    // A user's pick of the entry at index, next to the one selected.
    virtual void pick(platform::Window& window, const platform::ControlSpec& list, std::int32_t index) = 0;
    // A key pressed and released with the focus on the control.
    virtual void press(platform::Window& window, const platform::ControlSpec& control, Key key) = 0;
    // Closes the next message box with its OK button once it has been open
    // for about this long, the events running meanwhile.
    virtual void closeNextBoxAfter(std::chrono::milliseconds time) = 0;
    // Closes the shown window as a user would, once the event loop runs.
    virtual void closeSoon(platform::Window& window) = 0;
};

using Backend = BackendOf<ToolkitDriver>;

// The window Main, built from the layout table as the program builds it.
struct ContractWindow {
    std::unique_ptr<platform::Window> window;
    std::map<std::string, platform::CheckBox*> checks;
    std::map<std::string, platform::ComboBox*> lists;
    std::map<std::string, platform::Label*> labels;
    std::map<std::string, platform::Button*> buttons;
    platform::Timer* timer1 = nullptr;
    platform::Timer* timer2 = nullptr;

    explicit ContractWindow(platform::Toolkit& toolkit) : window(toolkit.createWindow(layout::kMain)) {
        using platform::ControlKind;
        for (const platform::ControlSpec& desc : layout::kControls) {
            switch (desc.kind) {
            case ControlKind::CheckBox:
                checks[desc.name] = &window->createCheckBox(desc);
                break;
            case ControlKind::ComboBox:
                lists[desc.name] = &window->createComboBox(desc);
                break;
            case ControlKind::Label:
                labels[desc.name] = &window->createLabel(desc);
                break;
            case ControlKind::Button:
                buttons[desc.name] = &window->createButton(desc);
                break;
            }
        }
        // Quiet until a test starts one.
        timer1 = &window->createTimer(layout::kTimer1Interval, false);
        timer2 = &window->createTimer(layout::kTimer2Interval, false);
    }
};

// For the toolkits made of the in-memory controls (the fake, the toolkit
// without a screen): no user, so a click, a pick and the space bar act on the
// controls themselves, and closing the window is unloading it.
class MemoryControlsDriver : public ToolkitDriver {
public:
    void attach(ContractWindow& window) override { window_ = &window; }
    void click(platform::Window&, const platform::ControlSpec& control) override {
        if (control.kind == platform::ControlKind::CheckBox) {
            platform::CheckBox& box = *window_->checks.at(control.name);
            box.setValue(box.value() == 1 ? 0 : 1);
        }
        if (control.kind == platform::ControlKind::Button) {
            dynamic_cast<platform::MemoryButton&>(*window_->buttons.at(control.name)).press();
        }
    }
    void pick(platform::Window&, const platform::ControlSpec& list, std::int32_t index) override {
        window_->lists.at(list.name)->setListIndex(index);
    }
    void press(platform::Window& window, const platform::ControlSpec& control, Key key) override {
        if (key == Key::Space) click(window, control);
    }
    void closeSoon(platform::Window& window) override { window.unload(); }

private:
    ContractWindow* window_ = nullptr;
};

inline const platform::ControlSpec& control(const char* name) {
    for (const platform::ControlSpec& desc : layout::kControls) {
        if (std::string(desc.name) == name) return desc;
    }
    throw Error("no control of that name");
}

class ToolkitContract : public ContractSuite<ToolkitDriver> {
protected:
    void SetUp() override {
        ContractSuite::SetUp();
        if (!driver) return;
        main = std::make_unique<ContractWindow>(driver->toolkit());
        driver->attach(*main);
    }
    void TearDown() override {
        if (main && main->window) {
            main->window->setOnUnload(nullptr);
            main->window->unload();
        }
        main.reset();
        if (driver) driver->runFor(20ms);
    }

    platform::Window& window() { return *main->window; }
    std::unique_ptr<ContractWindow> main;
};

TEST_P(ToolkitContract, CheckBoxHoldsThreeStatesRefusesOthersAndAClickToggles) {
    window().showFirst();  // a click needs a window that can take one
    platform::CheckBox& box = *main->checks["Check1"];
    EXPECT_EQ(box.value(), 0);
    for (std::int16_t state : {2, 1, 0}) {
        box.setValue(state);
        EXPECT_EQ(box.value(), state);
    }
    box.setValue(2);
    EXPECT_THROW(box.setValue(3), Error);
    EXPECT_THROW(box.setValue(-1), Error);
    EXPECT_EQ(box.value(), 2);

    // A click never grays the box: 2 -> 1 -> 0 -> 1.
    for (std::int16_t expected : {1, 0, 1}) {
        driver->click(window(), control("Check1"));
        EXPECT_EQ(box.value(), expected);
    }
}

TEST_P(ToolkitContract, ListStartsEmptyAndKeepsEntriesInOrderWithTheirItemValues) {
    platform::ComboBox& list = *main->lists["Combo2"];
    int clicks = 0;
    list.setOnClick([&] { ++clicks; });
    EXPECT_EQ(list.listCount(), 0);
    EXPECT_EQ(list.newIndex(), -1);
    EXPECT_EQ(list.listIndex(), -1);

    for (const char* entry : {"Scroll Lock", "Caps Lock", "Num Lock"}) {
        list.addItem(entry);
        EXPECT_EQ(list.itemData(list.newIndex()), 0);
    }
    EXPECT_EQ(list.newIndex(), 2);
    EXPECT_EQ(list.listCount(), 3);
    EXPECT_EQ(list.listIndex(), -1) << "adding to an empty list must not select an entry";
    EXPECT_EQ(list.itemText(0), "Scroll Lock");
    EXPECT_EQ(list.itemText(1), "Caps Lock");
    EXPECT_EQ(list.itemText(2), "Num Lock");
    list.setItemData(0, std::numeric_limits<std::int32_t>::min());
    list.setItemData(1, -1);
    list.setItemData(2, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(list.itemData(0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(list.itemData(1), -1);
    EXPECT_EQ(list.itemData(2), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(clicks, 0);
}

TEST_P(ToolkitContract, ListRefusesPositionsOutsideItsEntries) {
    platform::ComboBox& list = *main->lists["Combo1"];
    int clicks = 0;
    list.setOnClick([&] { ++clicks; });
    EXPECT_THROW(list.setListIndex(0), Error) << "empty list";
    list.addItem("a");
    list.addItem("b");
    list.setListIndex(1);
    clicks = 0;
    EXPECT_THROW(list.setListIndex(2), Error);
    EXPECT_THROW(list.setListIndex(-2), Error);
    EXPECT_THROW(list.itemData(-1), Error);
    EXPECT_THROW(list.itemData(2), Error);
    EXPECT_THROW(list.setItemData(-1, 5), Error);
    EXPECT_THROW(list.setItemData(2, 5), Error);
    EXPECT_THROW(list.itemText(-1), Error);
    EXPECT_THROW(list.itemText(2), Error);
    EXPECT_EQ(list.listIndex(), 1);
    EXPECT_EQ(clicks, 0);
}

TEST_P(ToolkitContract, SelectingADifferentEntryRaisesTheClickOnceBeforeReturning) {
    platform::ComboBox& list = *main->lists["Combo2"];
    for (const char* entry : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(entry);
    std::vector<std::int32_t> seen;  // the selection as the handler saw it
    list.setOnClick([&] { seen.push_back(list.listIndex()); });

    list.setListIndex(1);
    EXPECT_EQ(seen, std::vector<std::int32_t>{1});
    list.setListIndex(1);
    EXPECT_EQ(seen.size(), 1u) << "the same position raised the click";
    list.setListIndex(-1);
    list.setListIndex(-1);
    list.setListIndex(2);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, -1, 2}));
    driver->runFor(20ms);
    EXPECT_EQ(seen.size(), 3u) << "a notification arrived later as well";
}

TEST_P(ToolkitContract, ClickHandlerMaySelectAgainAndItsErrorReachesTheSetter) {
    platform::ComboBox& list = *main->lists["Combo3"];
    for (const char* entry : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(entry);
    std::vector<std::int32_t> seen;
    // Like the rule that keeps the two keys apart: a click that moves the
    // selection once more.
    list.setOnClick([&] {
        seen.push_back(list.listIndex());
        if (list.listIndex() == 2) list.setListIndex(0);
    });
    list.setListIndex(2);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{2, 0}));
    EXPECT_EQ(list.listIndex(), 0);

    list.setOnClick([] { throw Error("handler failed"); });
    EXPECT_THROW(list.setListIndex(1), Error);
    EXPECT_EQ(list.listIndex(), 1);
}

TEST_P(ToolkitContract, UsersPickRaisesTheClickOnceAndMayBeCorrectedInside) {
    platform::ComboBox& list = *main->lists["Combo2"];
    for (const char* entry : {"Caps Lock", "Num Lock", "Scroll Lock"}) list.addItem(entry);
    list.setListIndex(0);
    std::vector<std::int32_t> seen;
    list.setOnClick([&] {
        seen.push_back(list.listIndex());
        if (list.listIndex() == 2) list.setListIndex(0);
    });
    window().showFirst();
    driver->runFor(20ms);

    driver->pick(window(), control("Combo2"), 1);
    EXPECT_EQ(seen, std::vector<std::int32_t>{1});
    driver->pick(window(), control("Combo2"), 2);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2, 0}));
    EXPECT_EQ(list.listIndex(), 0);
    EXPECT_EQ(list.itemText(list.listIndex()), "Caps Lock");
}

TEST_P(ToolkitContract, LabelTakesSeveralLinesAndKeepsItsCaption) {
    platform::Label& label = *main->labels["Label4"];
    EXPECT_EQ(label.caption(), "Label4");
    label.setCaption("one & <b>two</b>\r\n\r\nthree");
    EXPECT_EQ(label.caption(), "one & <b>two</b>\r\n\r\nthree");
}

TEST_P(ToolkitContract, EnterAndEscapePressNoButton) {
    if (!driver->showsWindow()) GTEST_SKIP() << "no window on screen";
    int clicks = 0;
    for (auto& [name, button] : main->buttons) button->setOnClick([&] { ++clicks; });
    window().showFirst();
    driver->runFor(20ms);

    for (const platform::ControlSpec& desc : layout::kControls) {
        if (desc.kind == platform::ControlKind::Label) continue;
        SCOPED_TRACE(desc.name);
        driver->press(window(), desc, Key::Escape);
        driver->press(window(), desc, Key::Enter);
        driver->runFor(10ms);
    }
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(window().visible());
    for (auto& [name, box] : main->checks) EXPECT_EQ(box->value(), 0) << name;

    // The keys do arrive: the space bar presses the focused button.
    driver->press(window(), control("Command1"), Key::Space);
    EXPECT_EQ(clicks, 1);
}

TEST_P(ToolkitContract, TimerTicksOnlyWhenEnabledWithAnIntervalAboveZero) {
    int ticks = 0;
    platform::Timer& timer = window().createTimer(0, true);
    timer.setOnTick([&] { ++ticks; });
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_TRUE(timer.enabled());
    driver->runFor(150ms);
    EXPECT_EQ(ticks, 0) << "interval 0 ticked";

    timer.setInterval(20);
    driver->runFor(200ms);
    EXPECT_GT(ticks, 0);

    for (std::int32_t stop : {0, -5}) {
        timer.setInterval(stop);
        EXPECT_EQ(timer.interval(), stop);
        driver->runFor(20ms);  // whatever was already posted
        ticks = 0;
        driver->runFor(150ms);
        EXPECT_EQ(ticks, 0) << "interval " << stop << " ticked";
        timer.setInterval(20);
        driver->runFor(200ms);
        EXPECT_GT(ticks, 0) << "starts again";
    }

    timer.setEnabled(false);
    EXPECT_FALSE(timer.enabled());
    driver->runFor(20ms);
    ticks = 0;
    driver->runFor(150ms);
    EXPECT_EQ(ticks, 0) << "disabled timer ticked";
    EXPECT_EQ(timer.interval(), 20);
    timer.setEnabled(true);
    driver->runFor(200ms);
    EXPECT_GT(ticks, 0) << "starts again";
}

TEST_P(ToolkitContract, NoTickWhileAnotherHandlerRunsOrInsideATick) {
    int ticks = 0;
    int depth = 0;
    int deepest = 0;
    main->timer1->setInterval(10);
    main->timer1->setOnTick([&] {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        // A slow tick: the next ones fall due meanwhile (once only, should
        // they run inside it).
        if (depth == 1) driver->runFor(30ms);
        --depth;
    });
    int ticksInside = -1;
    // A handler that lets the thread's events run, as a modal loop would.
    main->buttons["Command1"]->setOnClick([&] {
        const int before = ticks;
        driver->runFor(150ms);
        ticksInside = ticks - before;
    });
    window().showFirst();
    main->timer1->setEnabled(true);

    driver->click(window(), control("Command1"));
    EXPECT_EQ(ticksInside, 0);
    driver->runFor(150ms);
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(deepest, 1) << "a tick ran inside another tick";
}

TEST_P(ToolkitContract, NoTickWhileAMessageBoxIsOpen) {
    int ticks = 0;
    main->timer1->setInterval(10);
    main->timer1->setOnTick([&] { ++ticks; });
    main->timer1->setEnabled(true);
    window().showFirst();
    driver->runFor(50ms);
    ASSERT_GT(ticks, 0);

    const int before = ticks;
    driver->closeNextBoxAfter(200ms);
    driver->toolkit().messageBox("wait");
    EXPECT_EQ(ticks, before);
    driver->runFor(100ms);
    EXPECT_GT(ticks, before) << "ticks resume once the box is closed";
}

TEST_P(ToolkitContract, StateChangesRaiseResizeForTheCaller) {
    if (!driver->showsWindow()) GTEST_SKIP() << "no window on screen";
    int resizes = 0;
    std::vector<platform::WindowState> seen;
    window().setOnResize([&] {
        ++resizes;
        seen.push_back(window().windowState());
    });

    // Before the first show, as when the program starts hidden: the state
    // changes without showing the window.
    window().setWindowState(platform::WindowState::Minimized);
    EXPECT_FALSE(window().visible());
    EXPECT_EQ(resizes, 1);
    EXPECT_EQ(seen, std::vector<platform::WindowState>{platform::WindowState::Minimized});
    EXPECT_EQ(window().windowState(), platform::WindowState::Minimized);
    window().setWindowState(platform::WindowState::Minimized);
    EXPECT_EQ(resizes, 1) << "no change, no resize";
    window().setVisible(false);
    EXPECT_FALSE(window().visible());

    // Brought back as a double-click on the tray icon does it.
    window().setWindowState(platform::WindowState::Normal);
    window().setVisible(true);
    driver->runFor(20ms);
    EXPECT_TRUE(window().visible());
    EXPECT_EQ(window().windowState(), platform::WindowState::Normal);

    window().setVisible(false);
    window().setOnResize([] { throw Error("resize handler failed"); });
    EXPECT_THROW(window().setWindowState(platform::WindowState::Minimized), Error);
    EXPECT_EQ(window().windowState(), platform::WindowState::Minimized);
}

TEST_P(ToolkitContract, UnloadRunsItsHandlerOnceThenTheWindowAndItsTimersAreGone) {
    std::vector<std::int16_t> seenAtUnload;
    int ticks = 0;
    main->checks["Check4"]->setValue(2);
    // The handler still reads the controls, as storing the settings does.
    window().setOnUnload([&] { seenAtUnload.push_back(main->checks["Check4"]->value()); });
    main->timer2->setOnTick([&] { ++ticks; });
    main->timer2->setInterval(5);
    main->timer2->setEnabled(true);
    window().showFirst();

    window().unload();
    EXPECT_EQ(seenAtUnload, std::vector<std::int16_t>{2});
    window().unload();
    EXPECT_EQ(seenAtUnload.size(), 1u);

    const int ticksAtUnload = ticks;
    main->timer2->setEnabled(true);
    driver->runFor(60ms);
    EXPECT_EQ(ticks, ticksAtUnload);
    EXPECT_THROW(main->checks["Check4"]->value(), Error);
    EXPECT_THROW(main->lists["Combo1"]->setListIndex(-1), Error);
    EXPECT_THROW(window().setVisible(true), Error);
    EXPECT_EQ(driver->toolkit().run(), 0) << "the event loop would not end";
}

TEST_P(ToolkitContract, ClosingTheWindowUnloadsItOnceAndEndsTheLoop) {
    int unloads = 0;
    window().setOnUnload([&] { ++unloads; });
    window().showFirst();
    driver->closeSoon(window());
    EXPECT_EQ(driver->toolkit().run(), 0);
    EXPECT_EQ(unloads, 1);
    window().unload();
    EXPECT_EQ(unloads, 1);
}

TEST_P(ToolkitContract, FailingUnloadHandlerReachesTheCallerAndTheWindowStillCloses) {
    window().setOnUnload([] { throw Error("store failed"); });
    window().showFirst();
    EXPECT_THROW(window().unload(), Error);
    driver->runFor(20ms);
    EXPECT_THROW(window().setVisible(true), Error);
    EXPECT_EQ(driver->toolkit().run(), 0);
}

}  // namespace tovi::contract
