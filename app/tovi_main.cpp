// Tovi's entry point. The settings window Main is the start object: creating
// it and running its load handler brings the whole program up, and the
// program ends when the window unloads. It runs once per user session: a
// second start brings the first one's window back and ends.
#include "platform/platform.h"
#include "platform/single_instance.h"
#include "platform/toolkit.h"
#include "window/main.h"

int main(int argc, char** argv) {
    using namespace tovi::platform;
    // Before anything else, so that a second start touches nothing.
    const InstanceClaim claim = claimSingleInstance(true);
    if (!claim.held) return claim.shown ? 0 : 1;
    Platform& platform = native(argc, argv);
    tovi::Main window(platform);
    window.start();
    claim.held->setOnShowRequest([&window] { window.restoreFromTray(); });
    const int status = platform.toolkit.run();
    claim.held->setOnShowRequest(nullptr);
    window.giveKeysBack();  // already done where the window unloaded
    return status;
}
