// The platform a running Tovi stands on: one object per interface group.
//
// The program takes the native one; tests build one from in-process fakes.
// Each backend folder (platform/win32, platform/linux) implements native();
// the build picks the folder.
#pragma once

namespace tovi::platform {

class InterfaceTable;
class Keyboard;
class NotificationArea;
class SettingsStore;
class Toolkit;

struct Platform {
    InterfaceTable& interfaceTable;
    Keyboard& keyboard;
    NotificationArea& notificationArea;
    SettingsStore& settingsStore;
    Toolkit& toolkit;
};

// The backend's platform. argc/argv go to toolkits that want them (Qt).
// Created on first call; lives until the process ends.
Platform& native(int& argc, char** argv);

}  // namespace tovi::platform
