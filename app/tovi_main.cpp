// Tovi's entry point. The settings window Main is the start object: creating
// it and running its load handler brings the whole program up, and the
// program ends when the window unloads.
#include "platform/platform.h"
#include "platform/toolkit.h"
#include "window/main.h"

int main(int argc, char** argv) {
    tovi::platform::Platform& platform = tovi::platform::native(argc, argv);
    tovi::Main window(platform);
    window.start();
    return platform.toolkit.run();
}
