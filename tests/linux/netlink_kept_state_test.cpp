// The Linux table keeps the rows and the count of its last link dump while
// the kernel announces no change of links, and then reads only the counters.
// Size queries must stay exact, and rows must show every change of a link
// (name, MTU, state), whenever links come, go or change: between two
// refreshes or between a query and its read. Each case runs in a private
// network namespace of its own, where it may add, change and remove links.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/interface_table.h"
#include "platform/linux/interface_table_linux.h"

namespace tovi {
namespace {

using platform::kIfRowSize;
using platform::kIfTableHeaderSize;
namespace ifrow = platform::ifrow;

// Runs body on a thread of its own in a new network namespace; false when
// the namespace or the links the body needs cannot be made here.
bool inOwnNetwork(const std::function<bool()>& body) {
    bool ran = false;
    std::thread([&] {
        if (::unshare(CLONE_NEWNET) == 0) ran = body();
    }).join();
    return ran;
}

bool ip(const std::string& arguments) { return std::system(("ip " + arguments + " 2>/dev/null").c_str()) == 0; }

std::uint32_t sizeQuery(platform::InterfaceTable& table) {
    std::uint32_t size = 0;
    EXPECT_EQ(table.getIfTable(nullptr, &size, false), platform::kErrorInsufficientBuffer);
    return size;
}

// Rows a complete read finds, or -1 when the read fails.
long rowsRead(platform::InterfaceTable& table, std::uint32_t size) {
    std::vector<std::uint8_t> buffer(size);
    if (table.getIfTable(buffer.data(), &size, false) != platform::kNoError) return -1;
    return ifrow::load32(buffer.data());
}

constexpr std::uint32_t rows(std::uint32_t n) { return kIfTableHeaderSize + n * kIfRowSize; }

std::uint32_t field(const std::uint8_t* row, std::size_t offset) { return ifrow::load32(row + offset); }

// The row of the link named `name` (ASCII), from a whole refresh; nullptr when absent.
struct Table {
    std::vector<std::uint8_t> bytes;
    const std::uint8_t* row(const std::string& name) const {
        const std::uint32_t count = ifrow::load32(bytes.data());
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* r = ifrow::rowAt(bytes.data(), i);
            std::string text;
            for (std::size_t u = 0; u < 16 && r[2 * u] != 0; ++u) text.push_back(static_cast<char>(r[2 * u]));
            if (text == name) return r;
        }
        return nullptr;
    }
};

Table refresh(platform::InterfaceTable& table) {
    Table result;
    std::uint32_t size = sizeQuery(table);
    result.bytes.assign(size, 0);
    EXPECT_EQ(table.getIfTable(result.bytes.data(), &size, false), platform::kNoError);
    return result;
}

TEST(NetlinkSizeQuery, StaysExactAsLinksComeAndGoBetweenRefreshes) {
    const bool made = inOwnNetwork([] {
        const auto table = platform::makeInterfaceTable();
        EXPECT_EQ(sizeQuery(*table), rows(1));  // lo alone
        EXPECT_EQ(sizeQuery(*table), rows(1));  // nothing changed: the same answer
        if (!ip("link add sa type veth peer name sb")) return false;
        EXPECT_EQ(sizeQuery(*table), rows(3));
        EXPECT_EQ(rowsRead(*table, rows(3)), 3);
        EXPECT_EQ(sizeQuery(*table), rows(3));
        EXPECT_TRUE(ip("link del sa"));  // takes its peer with it
        EXPECT_EQ(sizeQuery(*table), rows(1));
        EXPECT_TRUE(ip("link add sc type veth peer name sd"));
        EXPECT_TRUE(ip("link set sc up"));  // a change, not a new link: still exact
        EXPECT_EQ(sizeQuery(*table), rows(3));
        EXPECT_EQ(rowsRead(*table, rows(3)), 3);
        return true;
    });
    if (!made) GTEST_SKIP() << "no private network namespace with veth links here";
}

TEST(NetlinkSizeQuery, ALinkThatComesOrGoesAfterTheQueryNeverFailsTheRead) {
    const bool made = inOwnNetwork([] {
        const auto table = platform::makeInterfaceTable();
        sizeQuery(*table);
        const std::uint32_t size = sizeQuery(*table);  // from the kept rows
        if (!ip("link add se type veth peer name sf")) return false;
        EXPECT_EQ(rowsRead(*table, size), 1) << "the read did not hand over the reading the query sized";
        // The next refresh sees the pair, and its going again.
        const std::uint32_t next = sizeQuery(*table);
        EXPECT_EQ(next, size + 2 * kIfRowSize);
        EXPECT_TRUE(ip("link del se"));
        EXPECT_EQ(rowsRead(*table, next), 3);
        EXPECT_EQ(rowsRead(*table, sizeQuery(*table)), 1);
        return true;
    });
    if (!made) GTEST_SKIP() << "no private network namespace with veth links here";
}

TEST(NetlinkKeptRows, EveryChangeOfALinkShowsOnTheNextRead) {
    const bool made = inOwnNetwork([] {
        if (!ip("link add ka type veth peer name kb")) return false;
        const auto table = platform::makeInterfaceTable();
        refresh(*table);
        const Table before = refresh(*table);  // from the kept rows
        const std::uint8_t* ka = before.row("ka");
        if (ka == nullptr) return false;
        EXPECT_EQ(field(ka, ifrow::kAdminStatus), 2u);  // admin down
        EXPECT_EQ(field(ka, ifrow::kMtu), 1500u);

        EXPECT_TRUE(ip("link set ka mtu 1280 up"));
        EXPECT_TRUE(ip("link set kb name kc"));
        const Table after = refresh(*table);
        ka = after.row("ka");
        EXPECT_NE(ka, nullptr);
        if (ka != nullptr) {
            EXPECT_EQ(field(ka, ifrow::kAdminStatus), 1u);  // admin up
            EXPECT_EQ(field(ka, ifrow::kMtu), 1280u);
        }
        EXPECT_EQ(after.row("kb"), nullptr);
        EXPECT_NE(after.row("kc"), nullptr);
        // And the next read, from the rows kept again, still shows it all.
        const Table again = refresh(*table);
        EXPECT_NE(again.row("kc"), nullptr);
        EXPECT_EQ(again.bytes.size(), after.bytes.size());
        if (again.row("ka") != nullptr) {
            EXPECT_EQ(field(again.row("ka"), ifrow::kMtu), 1280u);
        }
        return true;
    });
    if (!made) GTEST_SKIP() << "no private network namespace with veth links here";
}

// Traffic over a veth pair: datagrams to a neighbour on the pair's subnet
// leave through one end and arrive at the other, both in this namespace.
TEST(NetlinkKeptRows, CountersAreFreshOnEveryReadFromTheKeptRows) {
    const bool made = inOwnNetwork([] {
        if (!ip("link add ta type veth peer name tb") || !ip("addr add 10.77.0.1/24 dev ta") ||
            !ip("link set ta up") || !ip("link set tb up") ||
            !ip("neigh add 10.77.0.2 lladdr 02:00:00:00:00:02 dev ta nud permanent")) {
            return false;
        }
        const int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (sock < 0) return false;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);
        to.sin_addr.s_addr = htonl(0x0A4D0002);  // 10.77.0.2
        const auto table = platform::makeInterfaceTable();
        refresh(*table);
        const Table first = refresh(*table);
        if (first.row("ta") == nullptr || first.row("tb") == nullptr) return false;
        std::uint32_t sent = field(first.row("ta"), ifrow::kOutOctets);
        std::uint32_t received = field(first.row("tb"), ifrow::kInOctets);
        for (int round = 0; round < 3; ++round) {
            const char payload[100] = {};
            EXPECT_EQ(::sendto(sock, payload, sizeof payload, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                      static_cast<ssize_t>(sizeof payload));
            const Table now = refresh(*table);
            EXPECT_GE(field(now.row("ta"), ifrow::kOutOctets) - sent, sizeof payload) << "round " << round;
            EXPECT_GE(field(now.row("tb"), ifrow::kInOctets) - received, sizeof payload) << "round " << round;
            sent = field(now.row("ta"), ifrow::kOutOctets);
            received = field(now.row("tb"), ifrow::kInOctets);
        }
        ::close(sock);
        return true;
    });
    if (!made) GTEST_SKIP() << "no private network namespace with veth links here";
}

}  // namespace
}  // namespace tovi
