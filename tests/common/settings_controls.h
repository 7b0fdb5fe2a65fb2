// The controls getvalues reads, on a window of any toolkit, for programs that
// want the activity monitor in a given state without the whole window Main:
// its state is set only through getvalues, as the window sets it.
//
// The lists carry item values as the window's load gives them: Combo1 an
// interval in milliseconds, Combo2 and Combo3 a LockKeyIndex, which here is
// also the entry's position (Caps Lock, Num Lock, Scroll Lock, Tray icon).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>

#include "lockkeys/lock_key_index.h"
#include "monitor/activity_monitor.h"
#include "platform/toolkit.h"
#include "window/layout.h"

namespace tovi::fixtures {

class SettingsControls {
public:
    // intervalsMs: the item values of Combo1, in list order.
    explicit SettingsControls(platform::Toolkit& toolkit, std::initializer_list<std::int32_t> intervalsMs)
        : window(toolkit.createWindow(layout::kMain)),
          check1(window->createCheckBox(desc("Check1"))),
          check2(window->createCheckBox(desc("Check2"))),
          check3(window->createCheckBox(desc("Check3"))),
          combo1(window->createComboBox(desc("Combo1"))),
          combo2(window->createComboBox(desc("Combo2"))),
          combo3(window->createComboBox(desc("Combo3"))),
          timer1(window->createTimer(layout::kTimer1Interval, true)),
          controls{check1, check2, check3, combo1, combo2, combo3, timer1} {
        for (std::int32_t ms : intervalsMs) add(combo1, std::to_string(ms) + " milliseconds", ms);
        for (auto* list : {&combo2, &combo3}) {
            add(*list, "Caps Lock", kCapsLock);
            add(*list, "Num Lock", kNumLock);
            add(*list, "Scroll Lock", kScrollLock);
            add(*list, "Tray icon", kTrayIcon);
        }
    }

    // Enables the application, sets both show boxes (0 off, 1 on, 2 grayed)
    // and picks both keys, then applies them as "Save" does. The interval
    // list keeps its selection.
    void showKeys(ActivityMonitor& monitor, std::int16_t download, LockKeyIndex downloadKey, std::int16_t upload,
                  LockKeyIndex uploadKey) {
        check1.setValue(1);
        check2.setValue(download);
        check3.setValue(upload);
        combo2.setListIndex(downloadKey);
        combo3.setListIndex(uploadKey);
        monitor.getvalues(controls);
    }

    static platform::ControlSpec desc(const std::string& name) {
        for (const auto& control : layout::kControls)
            if (name == control.name) return control;
        throw std::logic_error("no control " + name);
    }

    static void add(platform::ComboBox& list, const std::string& text, std::int32_t value) {
        list.addItem(text);
        list.setItemData(list.newIndex(), value);
    }

    std::unique_ptr<platform::Window> window;
    platform::CheckBox& check1;
    platform::CheckBox& check2;
    platform::CheckBox& check3;
    platform::ComboBox& combo1;
    platform::ComboBox& combo2;
    platform::ComboBox& combo3;
    platform::Timer& timer1;
    ActivityMonitor::Controls controls;
};

}  // namespace tovi::fixtures
