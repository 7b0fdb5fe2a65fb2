#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <vector>

#include "fakes/fake_toolkit.h"
#include "netstats/c_ip_helper.h"
#include "platform/win32/interface_table_win32.h"

namespace tovi {
namespace {

using platform::kIfRowSize;
using platform::kIfTableHeaderSize;

constexpr std::int32_t kIfTypeLoopback = 24;

TEST(Win32InterfaceTable, SizeQueryThenReadGiveTheTableLayout) {
    auto table = platform::makeInterfaceTable();
    std::uint32_t size = 0;
    const std::uint32_t query = table->getIfTable(nullptr, &size, false);
    EXPECT_NE(query, platform::kErrorNotSupported);
    EXPECT_NE(query, platform::kNoError);
    ASSERT_GE(size, kIfTableHeaderSize + kIfRowSize);

    std::vector<std::uint8_t> buffer(size);
    ASSERT_EQ(table->getIfTable(buffer.data(), &size, false), platform::kNoError);
    const std::uint32_t count = platform::ifrow::load32(buffer.data());
    EXPECT_GE(count, 1u);
    EXPECT_LE(kIfTableHeaderSize + count * kIfRowSize, buffer.size());
}

TEST(Win32InterfaceTable, ReaderDecodesTheLoopbackRow) {
    auto table = platform::makeInterfaceTable();
    fakes::FakeToolkit toolkit;
    CIpHelper helper(*table, toolkit);
    auto interfaces = helper.Interfaces();
    EXPECT_TRUE(toolkit.boxes.empty());
    ASSERT_GE(interfaces->Count(), 1);

    std::shared_ptr<CInterface> loopback;
    for (const auto& record : *interfaces) {
        if (record->InterfaceType() == kIfTypeLoopback) loopback = record;
    }
    ASSERT_NE(loopback, nullptr);
    EXPECT_GT(loopback->InterfaceIndex(), 0);
    EXPECT_GT(loopback->MaximumTransmissionUnit(), 0);
    EXPECT_EQ(loopback->AdminStatus(), 1);
    EXPECT_EQ(loopback->InterfaceName().size(), 256u);  // NUL units kept
    EXPECT_FALSE(loopback->InterfaceDescription().empty());
}

TEST(Win32InterfaceTable, BootTimeLiesBetweenTwentyTwentyAndNow) {
    auto table = platform::makeInterfaceTable();
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const double boot = table->bootTime();
    EXPECT_GT(boot, 43831.0);  // 1 January 2020
    // Days from 30 December 1899 to the first of this month, loosely: the
    // boot cannot lie after today.
    const double today = 43831.0 + (now.wYear - 2020) * 365.25 + (now.wMonth - 1) * 31.0 + now.wDay + 1.0;
    EXPECT_LT(boot, today);
}

}  // namespace
}  // namespace tovi
