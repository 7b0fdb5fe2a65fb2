// The Windows platform: IP Helper, the keyboard functions of user32, the
// notification area of shell32, the per-user registry and raw Win32 windows.
// The objects live until the process ends.
#include "platform/platform.h"

#include "platform/win32/interface_table_win32.h"
#include "platform/win32/keyboard_win32.h"
#include "platform/win32/notification_area_win32.h"
#include "platform/win32/settings_store_win32.h"
#include "platform/win32/toolkit_win32.h"

namespace tovi::platform {

Platform& native(int&, char**) {
    static const std::unique_ptr<Toolkit> toolkit = win32::makeToolkit();
    static const std::unique_ptr<InterfaceTable> table = makeInterfaceTable();
    static Win32Keyboard keyboard;
    static Win32NotificationArea notificationArea;
    static RegistrySettingsStore store;
    static Platform platform{*table, keyboard, notificationArea, store, *toolkit};
    return platform;
}

}  // namespace tovi::platform
