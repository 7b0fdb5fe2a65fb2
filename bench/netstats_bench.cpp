// Cost of one interface-table refresh, the work of every LED tick.
//
// Targets on this machine class: a refresh of a 60-row table at most 30 us,
// and a refresh of the live table at most 1.5 times the two table calls alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fakes/fake_interface_table.h"
#include "fakes/fake_toolkit.h"
#include "netstats/c_ip_helper.h"
#include "platform/linux/interface_table_linux.h"

namespace {

using tovi::fakes::IfRow;

std::vector<IfRow> sixtyRows() {
    std::vector<IfRow> rows;
    for (std::uint32_t i = 0; i < 60; ++i) {
        IfRow row = IfRow::withOctets(1'000'000u * i, 500'000u * i, "Ethernet adapter " + std::to_string(i));
        row.name = u"\\DEVICE\\TCPIP_{4D36E972-E325-11CE-BFC1-08002BE10318}";
        row.index = i + 1;
        row.setAddress({0x00, 0x0C, 0x29, 0x0A, 0x1B, static_cast<std::uint8_t>(i)});
        rows.push_back(row);
    }
    return rows;
}

void RefreshOfSixtyRowFakeTable(benchmark::State& state) {
    tovi::fakes::FakeInterfaceTable table;
    table.setRows(sixtyRows());
    tovi::fakes::FakeToolkit toolkit;
    tovi::CIpHelper helper(table, toolkit);
    for (auto _ : state) {
        auto interfaces = helper.Interfaces();
        benchmark::DoNotOptimize(interfaces);
        table.calls.clear();
    }
}
BENCHMARK(RefreshOfSixtyRowFakeTable);

void RefreshOfLiveTable(benchmark::State& state) {
    auto table = tovi::platform::makeInterfaceTable();
    tovi::fakes::FakeToolkit toolkit;
    tovi::CIpHelper helper(*table, toolkit);
    for (auto _ : state) {
        auto interfaces = helper.Interfaces();
        benchmark::DoNotOptimize(interfaces);
    }
    state.counters["rows"] = helper.Interfaces()->Count();
}
BENCHMARK(RefreshOfLiveTable);

// The two calls of a refresh, with nothing decoded and no allocation.
void LiveTableCallsAlone(benchmark::State& state) {
    auto table = tovi::platform::makeInterfaceTable();
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (auto _ : state) {
        std::uint32_t size = 0;
        benchmark::DoNotOptimize(table->getIfTable(nullptr, &size, false));
        benchmark::DoNotOptimize(table->getIfTable(buffer.data(), &size, false));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(LiveTableCallsAlone);

}  // namespace

BENCHMARK_MAIN();
