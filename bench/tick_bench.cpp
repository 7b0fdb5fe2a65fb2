// Cost of one LED tick (UpdateLeds): a refresh of the live interface table
// and two SetLockKey calls. The keyboard is the in-process fake, so only the
// table side and the tick's own logic are measured; the X keyboard's share
// is measured on its own when a display is there.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "fakes/fake_interface_table.h"
#include "fakes/fake_keyboard.h"
#include "fakes/fake_toolkit.h"
#include "lockkeys/lock_key_index.h"
#include "lockkeys/set_lock_key.h"
#include "monitor/activity_monitor.h"
#include "netstats/c_ip_helper.h"
#include "platform/linux/interface_table_linux.h"
#include "platform/linux/keyboard_x11.h"
#include "tests/common/settings_controls.h"

namespace {

// Both keys shown, on Num Lock and Scroll Lock, applied as the window does.
void showBothKeys(tovi::platform::Toolkit& toolkit, tovi::ActivityMonitor& monitor) {
    tovi::fixtures::SettingsControls(toolkit, {25}).showKeys(monitor, 1, tovi::kNumLock, 1, tovi::kScrollLock);
}

void TickLiveTableFakeKeyboard(benchmark::State& state) {
    auto table = tovi::platform::makeInterfaceTable();
    tovi::fakes::FakeToolkit toolkit;
    tovi::fakes::FakeKeyboard keyboard;
    tovi::ActivityMonitor monitor(keyboard);
    auto reader = std::make_shared<tovi::CIpHelper>(*table, toolkit);
    monitor.setIpHelper(reader);
    showBothKeys(toolkit, monitor);
    for (auto _ : state) {
        monitor.UpdateLeds();
        keyboard.calls.clear();
    }
    state.counters["rows"] = reader->Interfaces()->Count();
}
BENCHMARK(TickLiveTableFakeKeyboard)->Unit(benchmark::kMicrosecond);

// The tick's own logic with nothing live: a one-row fake table.
void TickFakeTableFakeKeyboard(benchmark::State& state) {
    tovi::fakes::FakeInterfaceTable table;
    table.setRows({tovi::fakes::IfRow::withOctets(1000, 1000, "lo")});
    tovi::fakes::FakeToolkit toolkit;
    tovi::fakes::FakeKeyboard keyboard;
    tovi::ActivityMonitor monitor(keyboard);
    monitor.setIpHelper(std::make_shared<tovi::CIpHelper>(table, toolkit));
    showBothKeys(toolkit, monitor);
    for (auto _ : state) {
        monitor.UpdateLeds();
        keyboard.calls.clear();
        table.calls.clear();
    }
}
BENCHMARK(TickFakeTableFakeKeyboard)->Unit(benchmark::kMicrosecond);

// One SetLockKey on the X keyboard when the key already shows the wanted
// state: what every quiet tick pays twice.
void SetLockKeyX11Steady(benchmark::State& state) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        state.SkipWithError("no X display");
        return;
    }
    tovi::platform::X11Keyboard keyboard;
    tovi::SetLockKey(keyboard, tovi::kVkScroll, false);
    for (auto _ : state) tovi::SetLockKey(keyboard, tovi::kVkScroll, false);
}
BENCHMARK(SetLockKeyX11Steady)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
