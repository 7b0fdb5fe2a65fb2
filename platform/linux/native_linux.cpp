// The Linux platform: netlink for the interface table, X11 for the lock keys,
// Qt 6 for the window, the tray and its event loop, an INI file for settings.
// The objects live until the process ends; the toolkit comes first because
// the tray needs its application object.
#include "platform/platform.h"

#include "platform/linux/interface_table_linux.h"
#include "platform/linux/keyboard_x11.h"
#include "platform/linux/notification_area_qt.h"
#include "platform/linux/settings_store_ini.h"
#include "platform/linux/toolkit_qt.h"

namespace tovi::platform {

Platform& native(int& argc, char** argv) {
    static Toolkit& toolkit = qtToolkit(argc, argv);
    static const std::unique_ptr<InterfaceTable> table = makeInterfaceTable();
    static X11Keyboard keyboard;
    static IniSettingsStore store;
    static Platform platform{*table, keyboard, qtNotificationArea(), store, toolkit};
    return platform;
}

}  // namespace tovi::platform
