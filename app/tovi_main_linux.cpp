// Tovi's entry point on Linux. Without options the settings window Main is
// the start object, as on Windows; --no-window runs the same window's load
// and tick with nothing on screen (platform/linux/toolkit_headless.h).
#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <string_view>
#include <vector>

#include "base/guard.h"
#include "platform/linux/command_line.h"
#include "platform/linux/native_linux.h"
#include "platform/platform.h"
#include "platform/toolkit.h"
#include "window/main.h"

int main(int argc, char** argv) {
    using namespace tovi::platform;
    // Whoever reads our stderr (a terminal, the journal) may be gone; a write
    // there must not end the program.
    ::signal(SIGPIPE, SIG_IGN);
    const CommandLine line = parseCommandLine(std::vector<std::string_view>(argv + (argc > 0), argv + argc));
    switch (line.mode) {
    case StartMode::Help:
        std::cout << usageText();
        return 0;
    case StartMode::Version:
        std::cout << versionText() << '\n';
        return 0;
    case StartMode::Error:
        std::cerr << "tovi: " << line.error << '\n' << kUsageLine << '\n';
        return 2;
    case StartMode::NoWindow: {
        Platform& platform = nativeWithoutWindow();
        // Without a window the lights are all there is to do: no keyboard is
        // a failure for the service manager to see (the notice is on stderr).
        if (!keyboardNotice().empty()) return 1;
        tovi::Main window(platform);
        window.start();
        return platform.toolkit.run();
    }
    case StartMode::Window:
        break;
    }
    // Qt would abort with a message about its plugins; say what to do instead.
    const auto set = [](const char* name) { return std::getenv(name) && *std::getenv(name); };
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
        std::cerr << "tovi: no display for the window (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "tovi --no-window runs without one\n";
        return 1;
    }
    Platform& platform = native(argc, argv);
    tovi::Main window(platform);
    window.start();
    // Over the window, so that it is clear whose message it is; already on stderr.
    if (!keyboardNotice().empty()) tovi::step([&] { platform.toolkit.messageBox(keyboardNotice()); });
    return platform.toolkit.run();
}
