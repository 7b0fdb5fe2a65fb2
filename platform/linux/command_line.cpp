#include "platform/linux/command_line.h"

namespace tovi::platform {

CommandLine parseCommandLine(const std::vector<std::string_view>& args) {
    CommandLine line;
    for (const std::string_view arg : args) {
        StartMode mode = StartMode::Error;
        if (arg == "--no-window") mode = StartMode::NoWindow;
        if (arg == "--help" || arg == "-h") mode = StartMode::Help;
        if (arg == "--version") mode = StartMode::Version;
        if (mode == StartMode::Error) return {StartMode::Error, "unknown option '" + std::string(arg) + "'"};
        // --help and --version win over the rest, as users expect.
        if (line.mode == StartMode::Help || line.mode == StartMode::Version) continue;
        line.mode = mode;
    }
    return line;
}

std::string usageText() {
    return std::string(kUsageLine) +
           "\n"
           "Shows network traffic on the keyboard's lock-key lights.\n"
           "\n"
           "  (no option)   the settings window and the tray icon\n"
           "  --no-window   no window, no tray, no display: the stored settings drive the\n"
           "                lights until SIGTERM or SIGINT; nothing is written back\n"
           "  --help        this text\n"
           "  --version     the version\n"
           "\n"
           "Settings: ${XDG_CONFIG_HOME:-~/.config}/Tovi/settings.ini\n"
           "TOVI_KEYBOARD=x11|service|uinput chooses how the lock keys are switched\n"
           "(by default XTest in an X11 session, elsewhere the lock-key service, or\n"
           "for root a uinput keyboard of its own).\n";
}

std::string versionText() { return std::string("tovi ") + TOVI_VERSION; }

}  // namespace tovi::platform
