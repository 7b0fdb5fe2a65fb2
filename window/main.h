// Main: the settings window, the program's start object and only window.
//
// Creating Main builds the window from window/layout.h with both timers
// running; start() runs the load handler, which brings the whole program up
// (tray icon, credits, the interface reader, stored settings, the lists, the
// monitor), and shows the window unless the user chose to start hidden.
// From then on the toolkit's event loop drives the handlers below, one at a
// time, on the window's thread. Unloading the window stores the settings,
// removes the tray icon and gives back each lock key the tick switched, in
// the state it had before its first switch.
//
// Main owns its window, the controls (through the window), the activity
// monitor with its interface reader, and the tray record (Module1).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/activity_monitor.h"
#include "platform/platform.h"
#include "platform/toolkit.h"
#include "window/module1.h"

namespace tovi {

inline constexpr const char* kTrayTip = "Tovi - Lampfeld";
inline constexpr const char* kConflictMessage = "You assign upload and download to the same lock-key";
inline constexpr const char* kConflictTitle = "Tovi - Feldlamp";

// The credits block: 14 lines, lines 3, 6, 9 and 12 empty.
extern const char* const kCredits;

class Main {
public:
    explicit Main(platform::Platform& platform);
    ~Main();
    Main(const Main&) = delete;
    Main& operator=(const Main&) = delete;

    // Runs the load handler, then shows the window unless it started hidden.
    void start();

    // Hands the controls' settings to the monitor and arms or disarms Timer1.
    void getvalues();

    // Brings the window back as a double-click on its tray icon does: for a
    // later start of the program that finds this one running.
    void restoreFromTray();

    // The lock keys the tick switched back to their state before the first
    // switch. The unload does it; this is for an end that does not unload the
    // window (the window-less program's end signals). Once is enough.
    void giveKeysBack();

    // One sentence per refused value: what was stored, what it must be, and
    // what is in force instead. Valid after start().
    std::vector<std::string> refusalNotes() const;

    // For tests and the program's own probes.
    platform::Window& window() { return *window_; }
    const ActivityMonitor& monitor() const { return monitor_; }

private:
    void build();

    struct Slot;
    static const std::array<Slot, 14> kSlots;

    // Event handlers.
    void Form_Load();
    void Form_Resize();
    void Form_MouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    void Form_Unload();
    void Tray_HostChanged();
    void Combo2_Click();
    void Combo3_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    // Keeps the download and the upload key apart: corrects `changed`.
    void conflictRule(platform::ComboBox& changed, platform::ComboBox& other);
    void readSettingInto(platform::CheckBox& box, const char* key, const char* defaultText);
    void readSettingInto(platform::ComboBox& list, const char* key, const char* defaultText);
    // Reads the key's text and hands its number to take; a refusal lands in refused_.
    void readSettingText(const char* key, const char* defaultText, const std::function<void(std::int16_t)>& take);
    // Minimizes, and hides the window while its icon can bring it back.
    void minimizeToTray();
    // The window's own icon sits in a notification area now.
    bool trayIconShown();

    platform::Platform& platform_;
    std::unique_ptr<platform::Window> window_;
    ActivityMonitor monitor_;
    Module1 module1_;
    bool startedHidden_ = false;
    // A stored value the load could not take, as it was stored.
    struct RefusedSetting {
        const char* key;
        std::string text;
    };
    std::vector<RefusedSetting> refused_;  // in the order the load read them

    platform::CheckBox* Check1 = nullptr;
    platform::CheckBox* Check2 = nullptr;
    platform::CheckBox* Check3 = nullptr;
    platform::CheckBox* Check4 = nullptr;
    platform::ComboBox* Combo1 = nullptr;
    platform::ComboBox* Combo2 = nullptr;
    platform::ComboBox* Combo3 = nullptr;
    platform::Button* Command1 = nullptr;
    platform::Button* Command2 = nullptr;
    platform::Button* Command3 = nullptr;
    platform::Label* Label1 = nullptr;
    platform::Label* Label2 = nullptr;
    platform::Label* Label3 = nullptr;
    platform::Label* Label4 = nullptr;
    platform::Timer* Timer1 = nullptr;
    platform::Timer* Timer2 = nullptr;
};

}  // namespace tovi
