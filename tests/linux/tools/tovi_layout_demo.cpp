// Shows the settings window on the Qt toolkit as it looks in use, for
// screenshots: built from window/layout.h, the lists filled with the
// program's entries and the default selections, the credits block written,
// and the tray icon added. Prints "ready" once the window has been up for a
// moment, then waits until it is closed (or killed).
//
// usage: tovi_layout_demo
#include <cstdio>
#include <memory>
#include <string>

#include "platform/linux/notification_area_qt.h"
#include "platform/linux/toolkit_qt.h"
#include "platform/toolkit.h"
#include "window/layout.h"
#include "window/module1.h"

namespace {

using tovi::platform::ControlKind;
using tovi::platform::ControlSpec;

constexpr const char* kIntervals[] = {
    "25 milliseconds",   "50 milliseconds",   "75 milliseconds",   "100 milliseconds",
    "125 milliseconds",  "150 milliseconds (default)",             "175 milliseconds",
    "200 milliseconds",  "250 milliseconds",  "300 milliseconds",  "350 milliseconds",
    "400 milliseconds",  "450 milliseconds",  "500 milliseconds",  "750 milliseconds",
    "1000 milliseconds", "1500 milliseconds", "2000 milliseconds", "3000 milliseconds",
    "4000 milliseconds", "5000 milliseconds",
};
constexpr int kIntervalValues[] = {25,  50,  75,  100, 125,  150,  175,  200,  250,  300, 350,
                                   400, 450, 500, 750, 1000, 1500, 2000, 3000, 4000, 5000};
constexpr const char* kLockKeys[] = {"Caps Lock", "Num Lock", "Scroll Lock"};

// Fourteen lines, the third, sixth, ninth and twelfth empty.
constexpr const char* kCredits =
    "Visit our web site for more\r\nfree tools like this one.\r\n\r\n"
    "Lampfeld Works\r\nhttps://www.example.org\r\n\r\n"
    "Written by the Tovi team\r\nsupport@example.org\r\n\r\n"
    "Support and comments:\r\nhttps://forum.example.org\r\n\r\n"
    "Copyright (C) 2025-2026\r\nLampfeld Works";

void fill(tovi::platform::ComboBox& list, const char* const* texts, const int* values, int count) {
    for (int i = 0; i < count; ++i) {
        list.addItem(texts[i]);
        list.setItemData(list.newIndex(), values ? values[i] : i);
    }
}

}  // namespace

int main(int argc, char** argv) {
    tovi::platform::Toolkit& toolkit = tovi::platform::qtToolkit(argc, argv);
    std::unique_ptr<tovi::platform::Window> window = toolkit.createWindow(tovi::layout::kMain);

    tovi::platform::ComboBox* lists[3] = {};
    for (const ControlSpec& spec : tovi::layout::kControls) {
        const std::string name = spec.name;
        switch (spec.kind) {
        case ControlKind::CheckBox:
            // Enabled, both displays on, not started minimized.
            window->createCheckBox(spec).setValue(name == "Check4" ? 0 : 1);
            break;
        case ControlKind::ComboBox:
            lists[name.back() - '1'] = &window->createComboBox(spec);
            break;
        case ControlKind::Label: {
            tovi::platform::Label& label = window->createLabel(spec);
            if (name == "Label4") label.setCaption(kCredits);
            break;
        }
        case ControlKind::Button:
            window->createButton(spec);
            break;
        }
    }
    fill(*lists[0], kIntervals, kIntervalValues, 21);
    lists[0]->setListIndex(5);
    fill(*lists[1], kLockKeys, nullptr, 3);
    lists[1]->setListIndex(1);
    fill(*lists[2], kLockKeys, nullptr, 3);
    lists[2]->setListIndex(2);

    tovi::Module1 tray;
    tray.AddTrayIcon(tovi::platform::qtNotificationArea(), *window, "Tovi - Lampfeld");
    window->setOnUnload([&] { tray.RemoveTrayIcon(tovi::platform::qtNotificationArea()); });

    tovi::platform::Timer& ready = window->createTimer(500, true);
    ready.setOnTick([&] {
        ready.setEnabled(false);
        std::puts("ready");
        std::fflush(stdout);
    });

    window->showFirst();
    return toolkit.run();
}
