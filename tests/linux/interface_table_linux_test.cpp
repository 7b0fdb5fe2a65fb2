#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <functional>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_toolkit.h"
#include "netstats/c_ip_helper.h"
#include "platform/linux/interface_table_linux.h"

namespace tovi {
namespace {

using platform::kIfRowSize;
using platform::kIfTableHeaderSize;
namespace ifrow = platform::ifrow;

// Read per thread: a test thread may have a network namespace of its own.
std::set<std::string> procNetDevNames() {
    std::ifstream dev("/proc/thread-self/net/dev");
    std::set<std::string> names;
    std::string line;
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        if (!name.empty() && name.find('|') == std::string::npos) names.insert(name);
    }
    return names;
}

// The name as the reader holds it, without the NUL units that follow it.
std::string trimmedName(const CInterface& record) {
    const std::string& name = record.InterfaceName();
    return name.substr(0, name.find('\0'));
}

std::uint32_t rowField(const std::vector<std::uint8_t>& table, std::size_t row, std::size_t offset) {
    return ifrow::load32(ifrow::rowAt(table.data(), row) + offset);
}

std::shared_ptr<CInterface> loopback(const CInterfaces& interfaces) {
    for (const auto& record : interfaces) {
        if (trimmedName(*record) == "lo") return record;
    }
    return nullptr;
}

class NetlinkTable : public ::testing::Test {
protected:
    std::unique_ptr<platform::InterfaceTable> table = platform::makeInterfaceTable();
};

TEST_F(NetlinkTable, SizeQueryReportsTheSizeAReadNeedsAndTheOrderFlagSortsByIndex) {
    std::uint32_t size = 0;
    EXPECT_EQ(table->getIfTable(nullptr, &size, false), platform::kErrorInsufficientBuffer);
    ASSERT_GE(size, kIfTableHeaderSize + kIfRowSize);
    EXPECT_EQ((size - kIfTableHeaderSize) % kIfRowSize, 0u);

    std::vector<std::uint8_t> buffer(size);
    std::uint32_t given = size;
    ASSERT_EQ(table->getIfTable(buffer.data(), &given, false), platform::kNoError);
    EXPECT_NE(rowField(buffer, 0, 0), 0u);  // the first row has a name
    const std::uint32_t count = platform::ifrow::load32(buffer.data());
    EXPECT_EQ(count, (size - kIfTableHeaderSize) / kIfRowSize);

    ASSERT_EQ(table->getIfTable(buffer.data(), &given, true), platform::kNoError);
    for (std::size_t i = 1; i < count; ++i)
        EXPECT_LT(rowField(buffer, i - 1, ifrow::kIndex), rowField(buffer, i, ifrow::kIndex));
}

TEST_F(NetlinkTable, ReadIntoTooSmallABufferSaysSoWithoutWritingPastIt) {
    std::uint32_t size = 0;
    table->getIfTable(nullptr, &size, false);
    // One row short, with a guard area that must stay untouched.
    std::vector<std::uint8_t> buffer(size, 0xAB);
    std::uint32_t given = size - kIfRowSize;
    EXPECT_EQ(table->getIfTable(buffer.data(), &given, false), platform::kErrorInsufficientBuffer);
    EXPECT_EQ(given, size);
    EXPECT_TRUE(std::all_of(buffer.end() - kIfRowSize, buffer.end(), [](std::uint8_t b) { return b == 0xAB; }));

    EXPECT_EQ(table->getIfTable(buffer.data(), nullptr, false), 87u);
}

TEST_F(NetlinkTable, ReaderSeesTheSameInterfacesAsProcNetDevAndLoopbackUpAndRunning) {
    fakes::FakeToolkit toolkit;
    CIpHelper helper(*table, toolkit);
    auto interfaces = helper.Interfaces();
    std::set<std::string> names;
    for (const auto& record : *interfaces) {
        names.insert(trimmedName(*record));
        EXPECT_EQ(record->InterfaceName().size(), 256u);
        EXPECT_EQ(record->InterfaceDescription(), trimmedName(*record));
        EXPECT_GT(record->InterfaceIndex(), 0);
        EXPECT_TRUE(record->AdminStatus() == 1 || record->AdminStatus() == 2);
        EXPECT_TRUE(record->OperationalStatus() == 5 || record->OperationalStatus() == 2);
    }
    EXPECT_EQ(names, procNetDevNames());
    EXPECT_TRUE(toolkit.boxes.empty());

    auto lo = loopback(*interfaces);
    ASSERT_NE(lo, nullptr);
    EXPECT_EQ(lo->InterfaceType(), 24);
    EXPECT_EQ(lo->AdminStatus(), 1);
    EXPECT_EQ(lo->OperationalStatus(), 5);
    EXPECT_GT(lo->MaximumTransmissionUnit(), 0);
    EXPECT_EQ(lo->AdapterAddress(), "00-00-00-00-00-00");
    EXPECT_EQ(lo->Speed(), 0);
}

TEST_F(NetlinkTable, BootTimeIsNowLessTheUptimeInLocalDays) {
    std::ifstream uptimeFile("/proc/uptime");
    double uptime = 0;
    uptimeFile >> uptime;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const double expected =
        25569.0 + (static_cast<double>(now) + static_cast<double>(local.tm_gmtoff) - uptime) / 86400.0;
    // Two seconds of slack; a daylight-saving change since boot is an hour.
    const double slack = 2.0 / 86400.0 + (local.tm_isdst > 0 ? 3600.0 / 86400.0 : 0.0);
    EXPECT_NEAR(table->bootTime(), expected, slack);
}

// Runs body on a thread of its own in a new, private network namespace,
// where it may add links freely. Body returns false when it cannot set up
// the links it needs; so does this when the namespace cannot be made.
bool inPrivateNetwork(const std::function<bool()>& body) {
    bool ran = false;
    std::thread([&] {
        if (::unshare(CLONE_NEWNET) == 0) ran = body();
    }).join();
    return ran;
}

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// Enough links that the kernel splits its answer over many messages.
TEST(NetlinkTablePrivate, ManyLinksAreAllReadAndTyped) {
    const bool made = inPrivateNetwork([] {
        std::ostringstream batch;
        for (int i = 0; i < 60; ++i) batch << "link add va" << i << " type veth peer name vb" << i << "\n";
        batch << "tuntap add tv0 mode tun\nlink set va0 up\nlink set vb0 up\n";
        if (!run("printf '" + batch.str() + "' | ip -batch -")) return false;

        auto table = platform::makeInterfaceTable();
        fakes::FakeToolkit toolkit;
        CIpHelper helper(*table, toolkit);
        auto interfaces = helper.Interfaces();
        std::set<std::string> names;
        for (const auto& record : *interfaces) {
            const std::string name = trimmedName(*record);
            names.insert(name);
            if (name == "tv0") {
                EXPECT_EQ(record->InterfaceType(), 131);
                EXPECT_EQ(record->AdapterAddress(), "");
                EXPECT_EQ(record->AdminStatus(), 2);
                EXPECT_EQ(record->OperationalStatus(), 2);
            } else if (name == "va0" || name == "vb0") {
                EXPECT_EQ(record->InterfaceType(), 6);
                EXPECT_EQ(record->AdminStatus(), 1);
                // The carrier comes up a moment after the link (the kernel
                // defers it), so the operational state may not have followed.
                EXPECT_EQ(std::count(record->AdapterAddress().begin(), record->AdapterAddress().end(), '-'), 5);
            } else if (name != "lo") {
                EXPECT_EQ(record->AdminStatus(), 2) << name;
            }
        }
        EXPECT_EQ(interfaces->Count(), 122);
        EXPECT_EQ(names, procNetDevNames());

        std::uint32_t size = 0;
        table->getIfTable(nullptr, &size, false);
        std::vector<std::uint8_t> buffer(size);
        EXPECT_EQ(table->getIfTable(buffer.data(), &size, true), platform::kNoError);
        const std::size_t rows = (buffer.size() - kIfTableHeaderSize) / kIfRowSize;
        EXPECT_EQ(rows, 122u);
        for (std::size_t i = 1; i < rows; ++i)
            EXPECT_LT(rowField(buffer, i - 1, ifrow::kIndex), rowField(buffer, i, ifrow::kIndex));
        return true;
    });
    if (!made) GTEST_SKIP() << "no private network namespace with veth and tun links here";
}

// Windows never lets loopback traffic reach an interface, so its loopback
// row counts no octets; local traffic here must not count either, while its
// packets still do (the row is the real link's).
TEST(NetlinkTablePrivate, LoopbackTrafficCountsNoOctets) {
    const bool made = inPrivateNetwork([] {
        if (!run("ip link set lo up")) return false;
        auto table = platform::makeInterfaceTable();
        fakes::FakeToolkit toolkit;
        CIpHelper helper(*table, toolkit);
        auto before = loopback(*helper.Interfaces());
        if (before == nullptr) return false;

        const int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (sock < 0) return false;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);  // discard; nobody need listen for the counters to move
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const std::vector<char> payload(1000, 'x');
        for (int i = 0; i < 10; ++i)
            ::sendto(sock, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::close(sock);

        auto after = loopback(*helper.Interfaces());
        EXPECT_NE(after, nullptr);
        if (after == nullptr) return true;
        EXPECT_EQ(after->InterfaceType(), 24);
        EXPECT_EQ(after->OctetsReceived(), 0);
        EXPECT_EQ(after->OctetsSent(), 0);
        EXPECT_EQ(helper.BytesReceived(), 0);
        EXPECT_EQ(helper.BytesSent(), 0);
        EXPECT_GE(after->UnicastPacketsSent() - before->UnicastPacketsSent(), 10);
        return true;
    });
    if (!made) GTEST_SKIP() << "no private network namespace here";
}

}  // namespace
}  // namespace tovi
