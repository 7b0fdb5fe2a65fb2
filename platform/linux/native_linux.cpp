// The Linux platform: netlink for the interface table, X11 or uinput for the
// lock keys (platform/linux/keyboard_choice.h), Qt 6 for the window, the tray
// and its event loop, an INI file for settings. Without a window the toolkit
// and the tray are the headless ones and Qt is never started.
// The objects live until the process ends; the toolkit comes first because
// the tray needs its application object.
#include "platform/platform.h"

#include "base/error.h"
#include "platform/linux/interface_table_linux.h"
#include "platform/linux/end_signals.h"
#include "platform/linux/keyboard_choice.h"
#include "platform/linux/native_linux.h"
#include "platform/qt/notification_area_qt.h"
#include "platform/linux/settings_store_ini.h"
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
class ReadOnlySettingsStore final : public SettingsStore {
public:
    std::string read(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& defaultValue) override {
        return file_.read(application, section, key, defaultValue);
    }
    void write(const std::string&, const std::string&, const std::string&, const std::string&) override {
        throw Error("settings are not written without a window");
    }

private:
    IniSettingsStore file_;
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

}  // namespace tovi::platform
