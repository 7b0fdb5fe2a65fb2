// tovi's command line on Linux. The Windows program has none.
//
//   tovi              the settings window and the tray icon
//   tovi --no-window  no window, no tray, no display: the stored settings
//                     drive the lights until SIGTERM or SIGINT
//   tovi --help       usage, to stdout
//   tovi --version    "tovi 1.10", to stdout
//
// Anything else is an error: the caller prints the message and the usage
// line to stderr and ends with status 2. Qt's own options are not taken
// here; its environment variables (QT_QPA_PLATFORM, ...) do the same.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovi::platform {

enum class StartMode { Window, NoWindow, Help, Version, Error };

struct CommandLine {
    StartMode mode = StartMode::Window;
    std::string error;  // for StartMode::Error: what was wrong
};

// args without the program's name.
CommandLine parseCommandLine(const std::vector<std::string_view>& args);

inline constexpr const char* kUsageLine = "Usage: tovi [--no-window | --help | --version]";
// The usage line and what each option does.
std::string usageText();
// "tovi " and the program's version.
std::string versionText();

}  // namespace tovi::platform
