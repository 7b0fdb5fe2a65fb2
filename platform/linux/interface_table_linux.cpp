#include "platform/linux/interface_table_linux.h"

#include <ctime>
#include <cstring>
#include <vector>

#include "platform/linux/if_row_writer.h"
#include "platform/linux/link_change_cache.h"
#include "platform/linux/netlink_dump.h"

namespace tovi::platform {
namespace {

constexpr std::uint32_t kErrorInvalidParameter = 87;

using namespace ifrow;

class NetlinkInterfaceTable final : public InterfaceTable {
public:
    NetlinkInterfaceTable() = default;
    NetlinkInterfaceTable(const NetlinkInterfaceTable&) = delete;
    NetlinkInterfaceTable& operator=(const NetlinkInterfaceTable&) = delete;

    std::uint32_t getIfTable(std::uint8_t* table, std::uint32_t* size, bool order) override {
        if (size == nullptr) return kErrorInvalidParameter;
        if (table == nullptr || !holding_) {
            const std::uint32_t result = takeReading();
            if (result != kNoError) return result;
            if (table == nullptr) return reportNeeded(heldCount_, size);
        }
        const std::size_t capacity = *size < kIfTableHeaderSize ? 0 : (*size - kIfTableHeaderSize) / kIfRowSize;
        // Too small: the reading stays held for the caller's next try.
        if (heldCount_ > capacity) return reportNeeded(heldCount_, size);
        std::memcpy(table + kIfTableHeaderSize, held_.data() + kIfTableHeaderSize, heldCount_ * kIfRowSize);
        store32(table, static_cast<std::uint32_t>(heldCount_));
        holding_ = false;
        if (order) sortRowsByIndex(table + kIfTableHeaderSize, heldCount_);
        return kNoError;
    }

    double bootTime() override {
        timespec now{}, sinceBoot{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
        const double bootSeconds = static_cast<double>(now.tv_sec - sinceBoot.tv_sec) +
                                   static_cast<double>(now.tv_nsec - sinceBoot.tv_nsec) / 1e9;
        const time_t bootWhole = static_cast<time_t>(bootSeconds);
        tm local{};
        ::localtime_r(&bootWhole, &local);
        constexpr double kUnixEpochDay = 25569.0;  // 1 January 1970 counted from 30 December 1899
        return kUnixEpochDay + (bootSeconds + static_cast<double>(local.tm_gmtoff)) / 86400.0;
    }

private:
    static std::uint32_t reportNeeded(std::size_t count, std::uint32_t* size) {
        const std::uint64_t needed = kIfTableHeaderSize + static_cast<std::uint64_t>(count) * kIfRowSize;
        if (needed > UINT32_MAX) return kErrorGenFailure;
        *size = static_cast<std::uint32_t>(needed);
        return kErrorInsufficientBuffer;
    }

    // One reading of the whole table, held until a read hands it over. A
    // size query answers with the reading that the read after it returns, so
    // a link that comes or goes between the two can never make them disagree.
    std::uint32_t takeReading() {
        holding_ = false;
        cache_.noteChanges();
        std::size_t count = 0;
        std::uint32_t result = readCounters(count);
        if (result != kNoError) {
            count = 0;
            result = readLinks(count);
            if (result != kNoError) return result;
        }
        heldCount_ = count;
        holding_ = true;
        return kNoError;
    }

    // A whole link dump: every field of every row. Its rows are kept for the
    // readings that follow while no link changes.
    std::uint32_t readLinks(std::size_t& count) {
        cache_.forgetRows();
        held_.resize(kIfTableHeaderSize);
        const std::uint32_t result = dumper_.dump(NetlinkDumper::linkRequest(), [&](const nlmsghdr* message) {
            if (message->nlmsg_type != RTM_NEWLINK || message->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
            held_.resize(kIfTableHeaderSize + (count + 1) * kIfRowSize);
            const Link link = parseLink(message);
            fillRow(rowAt(held_.data(), count), link, cache_.wireless(link));
            ++count;
        });
        cache_.endLinkDump();
        if (result == kNoError && cache_.canKeep() && !statsDumpRefused_) {
            cache_.keepRows(held_.data() + kIfTableHeaderSize, count);
        }
        return result;
    }

    // While no link has come, gone or changed since the last link dump, only
    // the counters can differ from its rows, and the statistics dump brings
    // them for a third of the link dump's cost. Any link it names that the
    // kept rows lack, or a number of links that differs, sends the reading to
    // the link dump instead (kErrorGenFailure here).
    std::uint32_t readCounters(std::size_t& count) {
        const std::uint8_t* const kept = cache_.rows();
        if (kept == nullptr || statsDumpRefused_) return kErrorGenFailure;
        const std::size_t keptCount = cache_.rowCount();
        held_.resize(kIfTableHeaderSize + keptCount * kIfRowSize);
        bool known = true;
        const std::uint32_t result = dumper_.dump(NetlinkDumper::statsRequest(), [&](const nlmsghdr* message) {
            if (message->nlmsg_type != RTM_NEWSTATS || message->nlmsg_len < NLMSG_LENGTH(sizeof(if_stats_msg))) return;
            const auto* header = static_cast<const if_stats_msg*>(NLMSG_DATA(message));
            const std::uint8_t* row = keptRow(kept, keptCount, count, static_cast<std::uint32_t>(header->ifindex));
            if (row == nullptr) known = false;
            if (row != nullptr && count < keptCount) {
                std::uint8_t* out = rowAt(held_.data(), count);
                std::memcpy(out, row, kIfRowSize);
                putCounters(out, parseStats(message));
            }
            ++count;
        });
        // Kernels before 4.7 have no statistics dump: link dumps from then on.
        if (result != kNoError) statsDumpRefused_ = true;
        if (result != kNoError || !known || count != keptCount) {
            cache_.forgetRows();
            return kErrorGenFailure;
        }
        return kNoError;
    }

    // Both dumps visit the links in the same order, so the row is nearly
    // always the one at the same place.
    static const std::uint8_t* keptRow(const std::uint8_t* kept, std::size_t keptCount, std::size_t place,
                                       std::uint32_t index) {
        for (std::size_t k = 0; k < keptCount; ++k) {
            const std::uint8_t* candidate = kept + ((place + k) % keptCount) * kIfRowSize;
            if (load32(candidate + kIndex) == index) return candidate;
        }
        return nullptr;
    }

    NetlinkDumper dumper_;
    LinkChangeCache cache_;
    bool statsDumpRefused_ = false;  // a property of the kernel, not of its data
    // The reading in hand: a row count's room, then the rows. Reused, so a
    // steady table costs no allocation.
    std::vector<std::uint8_t> held_;
    std::size_t heldCount_ = 0;  // rows
    bool holding_ = false;       // a size query took it and no read has had it
};

}  // namespace

std::unique_ptr<InterfaceTable> makeInterfaceTable() { return std::make_unique<NetlinkInterfaceTable>(); }

}  // namespace tovi::platform
