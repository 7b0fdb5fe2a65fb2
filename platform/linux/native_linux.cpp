// The Linux platform: netlink for the interface table, X11 or uinput for the
// lock keys (platform/linux/keyboard_choice.h), Qt 6 for the window, the tray
// and its event loop, an INI file for settings. Without a window the toolkit
// and the tray are the headless ones and Qt is never started. The claim on
// the session (platform/single_instance.h) is made before either.
// The objects live until the process ends; the toolkit comes first because
// the tray needs its application object.
#include "platform/platform.h"

#include <functional>
#include <iostream>
#include <set>
#include <string>

#include "base/error.h"
#include "platform/linux/interface_table_linux.h"
#include "platform/linux/end_signals.h"
#include "platform/linux/keyboard_choice.h"
#include "platform/linux/native_linux.h"
#include "platform/qt/notification_area_qt.h"
#include "platform/linux/settings_store_ini.h"
#include "platform/linux/single_instance_linux.h"
#include "platform/linux/toolkit_headless.h"
#include "platform/linux/tray_host_x11.h"
#include "platform/qt/toolkit_qt.h"

namespace tovi::platform {

namespace {

std::string notice;

Keyboard& chosenKeyboard() {
    static const std::unique_ptr<Keyboard> keyboard = openChosenKeyboard(notice);
    return *keyboard;
}

// The settings file as the window-less program sees it: read as the window
// reads it, never written, so a service cannot overwrite what a user keeps.
// A file it cannot use is named once on stderr, with the reason: without a
// window nothing else would show that every setting took its default.
class ReadOnlySettingsStore final : public SettingsStore {
public:
    std::string read(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& defaultValue) override {
        if (told_.insert(application).second) {
            const std::string why = file_.unusable(application);
            if (!why.empty()) {
                std::cerr << "tovi: the settings file " << file_.fileFor(application).string() << " is not used ("
                          << why << "); every setting takes its default.\n";
            }
        }
        return file_.read(application, section, key, defaultValue);
    }
    void write(const std::string&, const std::string&, const std::string&, const std::string&) override {
        throw Error("settings are not written without a window");
    }

private:
    IniSettingsStore file_;
    std::set<std::string> told_;  // applications whose file was looked at
};

// The Qt tray, told how X11 shows whether a tray host runs.
NotificationArea& tray() {
    QtNotificationArea& area = qtNotificationArea();
    area.setHostProbe(x11TrayHostRuns);
    return area;
}

}  // namespace

Platform& native(int& argc, char** argv) {
    static EndSignals endSignals;
    static Toolkit& toolkit =
        qtToolkit(argc, argv, {[] { return endSignals.watch(); }, [] { endSignals.drain(); }});
    static const std::unique_ptr<InterfaceTable> table = makeInterfaceTable();
    static IniSettingsStore store;
    static Platform platform{*table, chosenKeyboard(), tray(), store, toolkit};
    return platform;
}

Platform& nativeWithoutWindow() {
    static HeadlessToolkit toolkit;
    static const std::unique_ptr<InterfaceTable> table = makeInterfaceTable();
    static ReadOnlySettingsStore store;
    static Platform platform{*table, chosenKeyboard(), absentNotificationArea(), store, toolkit};
    return platform;
}

const std::string& keyboardNotice() { return notice; }

InstanceClaim claimSingleInstance(bool withWindow) {
    const auto folder = sessionFolder();
    if (!folder) return unguardedClaim();
    // Qt is started only later, by the first instance's window.
    return claimSingleInstanceIn(*folder, withWindow, [](int fd, std::function<void()> handler) {
        return qtWatchReadable(fd, std::move(handler));
    });
}

}  // namespace tovi::platform
