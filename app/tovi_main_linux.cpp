// Tovi's entry point on Linux. Without options the settings window Main is
// the start object, as on Windows; --no-window runs the same window's load
// and tick with nothing on screen (platform/linux/toolkit_headless.h). Either
// runs once per user session: a second window start brings the first one's
// window back, a second start without a window ends with status 1.
#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/guard.h"
#include "platform/linux/command_line.h"
#include "platform/linux/native_linux.h"
#include "platform/platform.h"
#include "platform/single_instance.h"
#include "platform/toolkit.h"
#include "window/main.h"

namespace {

using namespace tovi::platform;

int runWithoutWindow() {
    // Claimed before anything opens the keyboard, which a second copy must
    // not touch.
    const InstanceClaim claim = claimSingleInstance(false);
    if (!claim.held) {
        std::cerr << "tovi: " << claim.refusal << ".\n";
        return 1;
    }
    Platform& platform = nativeWithoutWindow();
    // Without a window the lights are all there is to do: no keyboard is a
    // failure for the service manager to see (the notice is on stderr).
    if (!keyboardNotice().empty()) return 1;
    tovi::Main window(platform);
    window.start();
    for (const std::string& note : window.refusalNotes()) std::cerr << "tovi: " << note << '\n';
    const int status = platform.toolkit.run();
    // The end signals end the loop without unloading the window.
    window.giveKeysBack();
    return status;
}

int runWindow(int argc, char** argv) {
    // Qt would abort with a message about its plugins; say what to do instead.
    const auto set = [](const char* name) { return std::getenv(name) && *std::getenv(name); };
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
        std::cerr << "tovi: no display for the window (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "tovi --no-window runs without one\n";
        return 1;
    }
    // Before Qt starts, so that a second start is quick and shows nothing.
    const InstanceClaim claim = claimSingleInstance(true);
    if (!claim.held) {
        if (claim.shown) return 0;
        std::cerr << "tovi: " << claim.refusal << ".\n";
        return 1;
    }
    Platform& platform = native(argc, argv);
    tovi::Main window(platform);
    window.start();
    claim.held->setOnShowRequest([&window] { window.restoreFromTray(); });
    // Over the window, so that it is clear whose message it is; already on stderr.
    if (!keyboardNotice().empty()) tovi::step([&] { platform.toolkit.messageBox(keyboardNotice()); });
    const int status = platform.toolkit.run();
    claim.held->setOnShowRequest(nullptr);
    window.giveKeysBack();  // already done where the window unloaded
    return status;
}

}  // namespace

int main(int argc, char** argv) {
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
    case StartMode::NoWindow:
        return runWithoutWindow();
    case StartMode::Window:
        break;
    }
    return runWindow(argc, argv);
}
