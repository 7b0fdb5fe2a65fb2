#include "window/main.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <variant>

#include "base/checked.h"
#include "base/guard.h"
#include "lockkeys/lock_key_index.h"
#include "netstats/c_ip_helper.h"
#include "platform/notification_area.h"
#include "platform/settings_store.h"
#include "window/layout.h"
#include "window/settings.h"

namespace tovi {

const char* const kCredits =
    "Visit our web site for more\r\n"
    "free tools like this one.\r\n"
    "\r\n"
    "Lampfeld Works\r\n"
    "https://www.example.org\r\n"
    "\r\n"
    "Written by the Tovi team\r\n"
    "support@example.org\r\n"
    "\r\n"
    "Support and comments:\r\n"
    "https://forum.example.org\r\n"
    "\r\n"
    "Copyright (C) 2025-2026\r\n"
    "Lampfeld Works";

namespace {

struct Entry {
    const char* text;
    std::int32_t itemData;
};

// The positions are the stored format: position 5 is the default, 150 ms.
constexpr std::array<Entry, 21> kIntervals{{
    {"25 milliseconds", 25},     {"50 milliseconds", 50},     {"75 milliseconds", 75},
    {"100 milliseconds", 100},   {"125 milliseconds", 125},   {"150 milliseconds (default)", 150},
    {"175 milliseconds", 175},   {"200 milliseconds", 200},   {"250 milliseconds", 250},
    {"300 milliseconds", 300},   {"350 milliseconds", 350},   {"400 milliseconds", 400},
    {"450 milliseconds", 450},   {"500 milliseconds", 500},   {"750 milliseconds", 750},
    {"1000 milliseconds", 1000}, {"1500 milliseconds", 1500}, {"2000 milliseconds", 2000},
    {"3000 milliseconds", 3000}, {"4000 milliseconds", 4000}, {"5000 milliseconds", 5000},
}};

// Position and LockKeyIndex coincide.
constexpr std::array<Entry, 4> kLockKeys{{
    {"Caps Lock", kCapsLock},
    {"Num Lock", kNumLock},
    {"Scroll Lock", kScrollLock},
    {"Tray icon", kTrayIcon},
}};

template <std::size_t N>
void fill(platform::ComboBox& list, const std::array<Entry, N>& entries) {
    for (const Entry& entry : entries) {
        step([&] {
            list.addItem(entry.text);
            list.setItemData(list.newIndex(), entry.itemData);
        });
    }
}

}  // namespace

// Where build() puts each control of layout::kControls, by name.
struct Main::Slot {
    const char* name;
    std::variant<platform::CheckBox * Main::*, platform::ComboBox * Main::*, platform::Label * Main::*,
                 platform::Button * Main::*>
        member;
};

const std::array<Main::Slot, 14> Main::kSlots{{
    {"Check1", &Main::Check1},
    {"Check2", &Main::Check2},
    {"Check3", &Main::Check3},
    {"Check4", &Main::Check4},
    {"Combo1", &Main::Combo1},
    {"Combo2", &Main::Combo2},
    {"Combo3", &Main::Combo3},
    {"Command1", &Main::Command1},
    {"Command2", &Main::Command2},
    {"Command3", &Main::Command3},
    {"Label1", &Main::Label1},
    {"Label2", &Main::Label2},
    {"Label3", &Main::Label3},
    {"Label4", &Main::Label4},
}};

namespace {

template <class Control>
constexpr platform::ControlKind kindOf() {
    if constexpr (std::is_same_v<Control, platform::CheckBox>) return platform::ControlKind::CheckBox;
    if constexpr (std::is_same_v<Control, platform::ComboBox>) return platform::ControlKind::ComboBox;
    if constexpr (std::is_same_v<Control, platform::Label>) return platform::ControlKind::Label;
    if constexpr (std::is_same_v<Control, platform::Button>) return platform::ControlKind::Button;
}

template <class Control>
Control& create(platform::Window& window, const platform::ControlSpec& desc) {
    if constexpr (std::is_same_v<Control, platform::CheckBox>) return window.createCheckBox(desc);
    if constexpr (std::is_same_v<Control, platform::ComboBox>) return window.createComboBox(desc);
    if constexpr (std::is_same_v<Control, platform::Label>) return window.createLabel(desc);
    if constexpr (std::is_same_v<Control, platform::Button>) return window.createButton(desc);
}

}  // namespace

Main::Main(platform::Platform& platform) : platform_(platform), monitor_(platform.keyboard) { build(); }

Main::~Main() = default;

void Main::build() {
    window_ = platform_.toolkit.createWindow(layout::kMain);
    // Every control of the layout lands in the member of its name, and every
    // member gets its control: a name missing on either side stops the start.
    for (const platform::ControlSpec& desc : layout::kControls) {
        const auto slot = std::find_if(kSlots.begin(), kSlots.end(),
                                       [&](const Slot& s) { return std::string_view(s.name) == desc.name; });
        if (slot == kSlots.end()) throw std::logic_error(std::string("Main has no control named ") + desc.name);
        std::visit(
            [&](auto member) {
                using Control = std::remove_pointer_t<std::remove_reference_t<decltype(this->*member)>>;
                if (desc.kind != kindOf<Control>())
                    throw std::logic_error(std::string(desc.name) + " is of another kind");
                this->*member = &create<Control>(*window_, desc);
            },
            slot->member);
    }
    for (const Slot& slot : kSlots) {
        const bool missing = std::visit([&](auto member) { return this->*member == nullptr; }, slot.member);
        if (missing) throw std::logic_error(std::string("the layout has no control named ") + slot.name);
    }
    Timer1 = &window_->createTimer(layout::kTimer1Interval, true);
    Timer2 = &window_->createTimer(layout::kTimer2Interval, true);

    window_->setOnResize([this] { Form_Resize(); });
    window_->setOnMouseMove([this](std::int16_t b, std::int16_t s, float x, float y) { Form_MouseMove(b, s, x, y); });
    window_->setOnUnload([this] { Form_Unload(); });
    Combo2->setOnClick([this] { Combo2_Click(); });
    Combo3->setOnClick([this] { Combo3_Click(); });
    Command1->setOnClick([this] { Command1_Click(); });
    Command2->setOnClick([this] { Command2_Click(); });
    Command3->setOnClick([this] { Command3_Click(); });
    Timer1->setOnTick([this] { Timer1_Timer(); });
    Timer2->setOnTick([this] { Timer2_Timer(); });
    monitor_.setOnLamps([this](ActivityMonitor::Lamps lamps) {
        module1_.ShowLamps(platform_.notificationArea, {lamps.received, lamps.sent});
    });
}

void Main::start() {
    Form_Load();
    if (!startedHidden_) step([&] { window_->showFirst(); });
}

void Main::Form_Load() {
    // The icon comes first, so that it is there even when a later step fails.
    step([&] { module1_.AddTrayIcon(platform_.notificationArea, *window_, kTrayTip); });
    step([&] { platform_.notificationArea.setOnHostChanged([this] { Tray_HostChanged(); }); });
    step([&] { Label4->setCaption(kCredits); });
    step([&] { monitor_.setIpHelper(std::make_shared<CIpHelper>(platform_.interfaceTable, platform_.toolkit)); });

    readSettingInto(*Check4, settings::kStartMinimized, settings::kStartMinimizedDefault);
    step([&] {
        if (Check4->value() != 1) return;
        window_->setWindowState(platform::WindowState::Minimized);
        // Without its icon in a notification area nothing could bring a
        // hidden window back: it then starts minimized on the task bar.
        if (trayIconShown()) {
            window_->setVisible(false);
            startedHidden_ = true;
        }
    });

    readSettingInto(*Check1, settings::kEnabled, settings::kEnabledDefault);
    readSettingInto(*Check2, settings::kDownload, settings::kDownloadDefault);
    readSettingInto(*Check3, settings::kUpload, settings::kUploadDefault);

    fill(*Combo1, kIntervals);
    readSettingInto(*Combo1, settings::kInterval, settings::kIntervalDefault);
    fill(*Combo2, kLockKeys);
    readSettingInto(*Combo2, settings::kDownloadKey, settings::kDownloadKeyDefault);
    fill(*Combo3, kLockKeys);
    readSettingInto(*Combo3, settings::kUploadKey, settings::kUploadKeyDefault);

    getvalues();
}

void Main::readSettingInto(platform::CheckBox& box, const char* key, const char* defaultText) {
    readSettingText(key, defaultText, [&](std::int16_t value) { box.setValue(value); });
}

void Main::readSettingInto(platform::ComboBox& list, const char* key, const char* defaultText) {
    readSettingText(key, defaultText, [&](std::int16_t value) { list.setListIndex(value); });
}

void Main::readSettingText(const char* key, const char* defaultText, const std::function<void(std::int16_t)>& take) {
    std::string text;
    const auto read = [&] {
        text = platform_.settingsStore.read(settings::kApplication, settings::kSection, key, defaultText);
    };
    if (!step(read)) return;
    // A text that is no number, or a number the control refuses: the control
    // keeps its state, and the value is remembered for whoever reports it.
    if (!step([&] { take(settings::parseSettingValue(text)); })) refused_.push_back({key, text});
}

void Main::getvalues() { monitor_.getvalues({*Check1, *Check2, *Check3, *Combo1, *Combo2, *Combo3, *Timer1}); }

bool Main::trayIconShown() { return platform_.notificationArea.iconShown(module1_.record()); }

void Main::minimizeToTray() {
    window_->setWindowState(platform::WindowState::Minimized);
    if (trayIconShown()) window_->setVisible(false);
}

void Main::Form_Resize() {
    if (window_->windowState() == platform::WindowState::Minimized && trayIconShown()) {
        window_->setVisible(false);
    }
}

void Main::Tray_HostChanged() {
    // A host that started after the load, or anew, holds no icon of ours; one
    // that still holds it refuses the add, which changes nothing.
    step([&] { module1_.RestoreTrayIcon(platform_.notificationArea); });
    // A minimized window lives in the tray while its icon is there and on the
    // task bar otherwise, so that it can always be brought back.
    step([&] {
        if (window_->windowState() != platform::WindowState::Minimized) return;
        window_->setVisible(!trayIconShown());
    });
}

void Main::Form_MouseMove(std::int16_t, std::int16_t, float x, float) {
    // The tray icon's events arrive here, the event code in place of the
    // pointer's horizontal position in pixels.
    long code = 0;
    if (!step([&] { code = std::lround(x / static_cast<float>(platform_.toolkit.twipsPerPixelX())); })) return;
    if (code != platform::kWmLButtonDblClk) return;
    restoreFromTray();
}

void Main::restoreFromTray() {
    step([&] { window_->setWindowState(platform::WindowState::Normal); });
    step([&] { window_->setVisible(true); });
}

void Main::giveKeysBack() {
    step([&] { monitor_.giveKeysBack(); });
}

void Main::Form_Unload() {
    const auto store = [&](const char* key, auto read) {
        step([&] { settings::writeSetting(platform_.settingsStore, key, read()); });
    };
    store(settings::kEnabled, [&] { return Check1->value(); });
    store(settings::kStartMinimized, [&] { return Check4->value(); });
    store(settings::kDownload, [&] { return Check2->value(); });
    store(settings::kUpload, [&] { return Check3->value(); });
    store(settings::kInterval, [&] { return checked::narrow<std::int16_t>(Combo1->listIndex()); });
    store(settings::kDownloadKey, [&] { return checked::narrow<std::int16_t>(Combo2->listIndex()); });
    store(settings::kUploadKey, [&] { return checked::narrow<std::int16_t>(Combo3->listIndex()); });
    // No host that starts from now on may bring back the icon of a closed window.
    step([&] { platform_.notificationArea.setOnHostChanged(nullptr); });
    step([&] { module1_.RemoveTrayIcon(platform_.notificationArea); });
    // A lock left switched on (Caps Lock above all) would go on acting for
    // whoever types next.
    giveKeysBack();
}

void Main::conflictRule(platform::ComboBox& changed, platform::ComboBox& other) {
    bool same = false;
    // Two lamps share the tray icon without trouble: only a lock key conflicts.
    step([&] { same = changed.listIndex() == other.listIndex() && changed.listIndex() != kTrayIcon; });
    if (!same) return;
    step([&] { platform_.toolkit.messageBox(kConflictMessage, kConflictTitle); });
    // Re-selecting raises this rule once more; the new position always
    // differs from the other list's, so it stops there.
    step([&] { changed.setListIndex(changed.listIndex() > 0 ? 0 : 1); });
}

void Main::Combo2_Click() { conflictRule(*Combo2, *Combo3); }
void Main::Combo3_Click() { conflictRule(*Combo3, *Combo2); }

void Main::Command1_Click() {
    getvalues();
    minimizeToTray();
}

void Main::Command2_Click() { minimizeToTray(); }

void Main::Command3_Click() {
    step([&] { window_->unload(); });
    platform_.toolkit.end();
}

void Main::Timer1_Timer() { monitor_.UpdateLeds(); }
void Main::Timer2_Timer() { monitor_.RefreshCounters(); }

}  // namespace tovi
