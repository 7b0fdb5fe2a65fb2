// Drives the real window Main through many LED ticks, far faster than its
// timer would, on whatever platform it is given: the soak programs of each
// backend build on this and only differ in what they measure.
//
// Main is built on the platform with a timer tap (timer_tap_toolkit.h) and
// started as the program starts it. The ticks are raised from inside the
// toolkit's own event loop, in batches from a 1 ms timer of the window, so
// that between batches the loop delivers whatever the ticks caused (X events,
// window messages, the tray). Timer1's handler is raised directly; Timer2's
// once every 40 ticks, as at the 25 ms interval. After warm-up and at the end
// the caller's sample() runs; then the window unloads as on "Exit" (settings
// stored, icon removed) and the loop ends.
//
// Window thread only, like the window.
#pragma once

#include <cstdint>
#include <functional>

#include "base/guard.h"
#include "platform/platform.h"
#include "platform/toolkit.h"
#include "tests/common/timer_tap_toolkit.h"
#include "window/main.h"

namespace tovi::soak {

struct WindowSoak {
    long ticks = 100'000;
    long warmUp = 10'000;   // ticks before the first sample
    long batch = 100;       // ticks per pass of the event loop
    long litTicks = 0;      // ticks after which the received total had grown
    bool finished = false;  // every tick ran and the window unloaded
    int exitCode = -1;      // the toolkit's run()
};

// sample(tick) runs after `warmUp` ticks and after the last one.
inline void soakWindow(platform::Platform& native, WindowSoak& soak, const std::function<void(long)>& sample) {
    constexpr std::size_t kTimer1 = 0;
    constexpr std::size_t kTimer2 = 1;
    constexpr long kTimer2Every = 40;

    TimerTapToolkit tap(native.toolkit);
    platform::Platform platform{native.interfaceTable, native.keyboard, native.notificationArea, native.settingsStore,
                                tap};
    Main window(platform);
    window.start();

    long done = 0;
    platform::Timer& driver = window.window().createTimer(1, true);
    driver.setOnTick([&] {
        const long until = done + soak.batch < soak.ticks ? done + soak.batch : soak.ticks;
        for (; done < until; ++done) {
            const std::int32_t before = window.monitor().lngLastReceived();
            tap.tick(kTimer1);
            if (window.monitor().lngLastReceived() != before) ++soak.litTicks;
            if (done % kTimer2Every == kTimer2Every - 1) tap.tick(kTimer2);
            if (done + 1 == soak.warmUp) sample(done + 1);
        }
        if (done < soak.ticks) return;
        driver.setEnabled(false);
        sample(done);
        soak.finished = true;
        step([&] { window.window().unload(); });
    });
    soak.exitCode = platform.toolkit.run();
}

}  // namespace tovi::soak
