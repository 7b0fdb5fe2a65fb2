#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "fakes/fake_interface_table.h"
#include "fakes/fake_toolkit.h"
#include "netstats/c_interfaces.h"
#include "netstats/c_ip_helper.h"
#include "netstats/row_text.h"

namespace tovi {
namespace {

using fakes::FakeInterfaceTable;
using fakes::FakeToolkit;
using fakes::IfRow;

std::shared_ptr<CInterface> recordWithSpeed(std::int32_t speed) {
    auto record = std::make_shared<CInterface>();
    record->setSpeed(speed);
    return record;
}

// ------------------------------------------------------------- collection

// Positions run from one to Count in the order the records came; anything
// else, and any text key, fails rather than reaching past the records.
TEST(CInterfaces, PositionsRunFromOneToCountAndRemoveMovesLaterRecordsUp) {
    CInterfaces list;
    EXPECT_THROW(list.Item(1), Error);
    EXPECT_THROW(list.Remove(1), Error);
    for (int speed : {10, 20, 30}) {
        auto record = recordWithSpeed(speed);
        const CInterface* raw = record.get();
        EXPECT_EQ(list.Add(record).get(), raw);
        EXPECT_EQ(record, nullptr) << "the caller's reference is cleared";
    }
    EXPECT_EQ(list[2]->Speed(), 20);
    std::vector<std::int32_t> seen;
    for (const auto& record : list) seen.push_back(record->Speed());
    EXPECT_EQ(seen, (std::vector<std::int32_t>{10, 20, 30}));

    for (int outside : {0, -1, 4}) {
        EXPECT_THROW(list.Item(outside), Error);
        EXPECT_THROW(list.Remove(outside), Error);
    }
    EXPECT_THROW(list.Item("1"), Error);
    EXPECT_THROW(list.Remove("eth0"), Error);
    EXPECT_EQ(list.Count(), 3);

    list.Remove(2);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(2)->Speed(), 30);
}

// --------------------------------------------------------------- row text

TEST(RowText, AdapterAddressDropsLeadingZerosButWritesZeroAsTwoDigits) {
    const std::uint8_t bytes[8] = {0x00, 0x0C, 0x29, 0x0A, 0x1B, 0xFF, 0x01, 0x10};
    EXPECT_EQ(rowtext::adapterAddress(bytes, 8, 6), "00-C-29-A-1B-FF");
    EXPECT_EQ(rowtext::adapterAddress(bytes, 8, 1), "00");
    EXPECT_EQ(rowtext::adapterAddress(bytes, 8, 0), "");
    EXPECT_EQ(rowtext::adapterAddress(bytes, 8, -3), "");
    // Only the 8 bytes of the field exist, whatever the length claims.
    EXPECT_EQ(rowtext::adapterAddress(bytes, 8, 10), "00-C-29-A-1B-FF-1-10");
}

// Windows-1252 bytes, cut to the length the row gives (in characters of the
// code page, not UTF-8 bytes), never past the field, NULs kept.
TEST(RowText, DescriptionIsWindows1252CutToItsLengthWithNulsKept) {
    std::uint8_t field[256] = {};
    const std::string letters = "Ethernet";
    std::copy(letters.begin(), letters.end(), field);

    EXPECT_EQ(rowtext::description(field, 256, 8), "Ethernet");
    EXPECT_EQ(rowtext::description(field, 256, 0), "");
    const std::string whole = rowtext::description(field, 256, 300);
    ASSERT_EQ(whole.size(), 256u);
    EXPECT_EQ(whole.substr(0, 8), "Ethernet");
    EXPECT_EQ(whole[8], '\0');
    EXPECT_EQ(whole.back(), '\0');
    EXPECT_THROW(rowtext::description(field, 256, -1), Error);

    const std::uint8_t accented[] = {'A', 0x80, 0xE9, 0x81, 0x9F};
    EXPECT_EQ(rowtext::description(accented, sizeof accented, 5), "A\u20AC\u00E9\u0081\u0178");
    EXPECT_EQ(rowtext::description(accented, sizeof accented, 2), "A\u20AC");
}

TEST(RowText, NameKeepsItsNulUnitsAndDecodesUtf16) {
    std::vector<std::uint8_t> units(512, 0);
    const char16_t name[] = u"e\u00E9\u20AC\U0001F600";
    for (std::size_t i = 0; name[i] != 0; ++i) {
        units[2 * i] = static_cast<std::uint8_t>(name[i]);
        units[2 * i + 1] = static_cast<std::uint8_t>(name[i] >> 8);
    }
    const std::string text = rowtext::utf16le(units.data(), 256);
    const std::string expected = "e\u00E9\u20AC\U0001F600";
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    // 5 units became 4 characters; the 251 NUL units follow.
    EXPECT_EQ(text.size(), expected.size() + 251);

    // An unpaired surrogate, high or low, is replaced rather than passed on.
    const std::uint8_t lone[] = {0x00, 0xD8, 'x', 0, 0x00, 0xDC};
    EXPECT_EQ(rowtext::utf16le(lone, 3), "\uFFFDx\uFFFD");
    const std::uint8_t highAtEnd[] = {'a', 0, 0x3D, 0xD8};
    EXPECT_EQ(rowtext::utf16le(highAtEnd, 2), "a\uFFFD");
}

// ----------------------------------------------------------------- reader

class Reader : public ::testing::Test {
protected:
    FakeInterfaceTable table;
    FakeToolkit toolkit;
    CIpHelper helper{table, toolkit};
};

// One size query, one unsorted read into a buffer of that size, and one
// boot-time query however many rows there are.
TEST_F(Reader, RefreshAsksForTheSizeThenReadsUnsortedIntoABufferOfThatSize) {
    table.setRows(std::vector<IfRow>(5, IfRow::withOctets(1, 1)));
    helper.Interfaces();
    ASSERT_EQ(table.calls.size(), 2u);
    EXPECT_FALSE(table.calls[0].withTable);
    EXPECT_EQ(table.calls[0].sizeIn, 0u);
    EXPECT_FALSE(table.calls[0].order);
    EXPECT_TRUE(table.calls[1].withTable);
    EXPECT_EQ(table.calls[1].sizeIn, platform::kIfTableHeaderSize + 5 * platform::kIfRowSize);
    EXPECT_FALSE(table.calls[1].order);
    EXPECT_EQ(table.bootTimeCalls, 1);
}

TEST_F(Reader, EmptyTableGivesEmptyCollectionAndTotalsOfZeroAsBeforeTheFirstRead) {
    EXPECT_EQ(helper.BytesReceived(), 0);
    EXPECT_EQ(helper.BytesSent(), 0);
    auto interfaces = helper.Interfaces();
    ASSERT_NE(interfaces, nullptr);
    EXPECT_EQ(interfaces->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);
    EXPECT_EQ(helper.BytesSent(), 0);
}

TEST_F(Reader, EveryFieldLandsInItsProperty) {
    IfRow row;
    row.name = u"Local Area";
    row.index = 11;
    row.type = 71;
    row.mtu = 1492;
    row.speed = 3'000'000'000u;  // held as a negative number
    row.setAddress({0x00, 0x0C, 0x29, 0x0A, 0x1B, 0xFF});
    row.adminStatus = 2;
    row.operStatus = 4;
    row.lastChange = 8'640'000;  // one day
    row.inOctets = 101;
    row.inUcastPkts = 102;
    row.inNUcastPkts = 103;
    row.inDiscards = 104;
    row.inErrors = 105;
    row.inUnknownProtos = 106;
    row.outOctets = 201;
    row.outUcastPkts = 202;
    row.outNUcastPkts = 203;
    row.outDiscards = 204;
    row.outErrors = 205;
    row.outQLen = 206;
    row.setDescription("Intel PRO/1000");
    table.setRows({row});
    table.boot = 45000.25;

    auto interfaces = helper.Interfaces();
    ASSERT_EQ(interfaces->Count(), 1);
    const CInterface& r = *interfaces->Item(1);
    EXPECT_EQ(r.InterfaceName().substr(0, 11), std::string("Local Area\0", 11));
    EXPECT_EQ(r.InterfaceName().size(), 256u);
    EXPECT_EQ(r.InterfaceIndex(), 11);
    EXPECT_EQ(r.InterfaceType(), 71);
    EXPECT_EQ(r.MaximumTransmissionUnit(), 1492);
    EXPECT_EQ(r.Speed(), -1'294'967'296);
    EXPECT_EQ(r.AdapterAddress(), "00-C-29-A-1B-FF");
    EXPECT_EQ(r.AdminStatus(), 2);
    EXPECT_EQ(r.OperationalStatus(), 4);
    EXPECT_DOUBLE_EQ(r.LastChange(), 45001.25);
    EXPECT_EQ(r.OctetsReceived(), 101);
    EXPECT_EQ(r.UnicastPacketsReceived(), 102);
    EXPECT_EQ(r.NonunicastPacketsReceived(), 103);
    EXPECT_EQ(r.DiscardedIncomingPackets(), 104);
    EXPECT_EQ(r.IncomingErrors(), 105);
    EXPECT_EQ(r.UnknownProtocolPackets(), 106);
    EXPECT_EQ(r.OctetsSent(), 201);
    EXPECT_EQ(r.UnicastPacketsSent(), 202);
    EXPECT_EQ(r.NonunicastPacketsSent(), 203);
    EXPECT_EQ(r.DiscardedOutgoingPackets(), 204);
    EXPECT_EQ(r.OutgoingErrors(), 205);
    EXPECT_EQ(r.OutputQueueLength(), 206);
    EXPECT_EQ(r.InterfaceDescription(), "Intel PRO/1000");
    EXPECT_EQ(helper.BytesReceived(), 101);
    EXPECT_EQ(helper.BytesSent(), 201);
}

TEST_F(Reader, AFailingAssignmentSkipsOnlyThatProperty) {
    IfRow row = IfRow::withOctets(5, 6, "wlan0");
    row.descrLen = 0xFFFFFFFFu;  // reads as -1
    row.mtu = 1400;
    table.setRows({row, IfRow::withOctets(7, 8, "eth1")});
    table.bootTimeFails = true;

    auto interfaces = helper.Interfaces();
    ASSERT_EQ(interfaces->Count(), 2);
    const auto first = interfaces->Item(1);
    EXPECT_EQ(first->InterfaceDescription(), "");
    EXPECT_EQ(first->LastChange(), 0.0);
    EXPECT_EQ(first->MaximumTransmissionUnit(), 1400);
    EXPECT_EQ(first->InterfaceName().substr(0, 5), "wlan0");
    EXPECT_EQ(interfaces->Item(2)->InterfaceDescription(), "eth1");
    EXPECT_EQ(helper.BytesReceived(), 12);
    EXPECT_EQ(helper.BytesSent(), 14);
}

// A counter of 2^31 or more reads as negative and lowers the total. The
// totals wrap rather than dropping a row whose addition would leave the
// signed range: otherwise the second interface's traffic would stop showing.
TEST_F(Reader, CountersAreSignedAndTotalsWrapModulo2To32AndStillGrowWithAnyRow) {
    table.setRows({IfRow::withOctets(3'000'000'000u, 0)});
    EXPECT_EQ(helper.Interfaces()->Item(1)->OctetsReceived(), -1'294'967'296);
    EXPECT_EQ(helper.BytesReceived(), -1'294'967'296);

    table.setRows({IfRow::withOctets(2'000'000'000u, 2'100'000'000u), IfRow::withOctets(500'000'000u, 100'000'000u)});
    helper.Interfaces();
    EXPECT_EQ(helper.BytesReceived(), -1'794'967'296);
    EXPECT_EQ(helper.BytesSent(), -2'094'967'296);
    const std::int32_t before = helper.BytesReceived();

    table.setRows({IfRow::withOctets(2'000'000'000u, 0), IfRow::withOctets(500'001'500u, 0)});
    helper.Interfaces();
    EXPECT_EQ(static_cast<std::uint32_t>(helper.BytesReceived()) - static_cast<std::uint32_t>(before), 1500u);
}

TEST_F(Reader, SixtyRowsComeInTableOrderAndAllCount) {
    std::vector<IfRow> rows;
    std::uint32_t in = 0, out = 0;
    for (std::uint32_t i = 0; i < 60; ++i) {
        rows.push_back(IfRow::withOctets(100'000'000u * i, 7 * i, "if" + std::to_string(i)));
        rows.back().index = 1000 - i;
        in += 100'000'000u * i;
        out += 7 * i;
    }
    table.setRows(rows);
    auto interfaces = helper.Interfaces();
    ASSERT_EQ(interfaces->Count(), 60);
    std::int32_t expectedIndex = 1000;
    for (const auto& record : *interfaces) EXPECT_EQ(record->InterfaceIndex(), expectedIndex--);
    EXPECT_EQ(helper.BytesReceived(), static_cast<std::int32_t>(in));
    EXPECT_EQ(helper.BytesSent(), static_cast<std::int32_t>(out));
}

TEST_F(Reader, TotalsStayPutBetweenReadsAndEveryReadBuildsANewCollection) {
    table.setRows({IfRow::withOctets(10, 20)});
    auto first = helper.Interfaces();

    table.setRows({IfRow::withOctets(99, 98), IfRow::withOctets(1, 1)});
    EXPECT_EQ(helper.BytesReceived(), 10);
    EXPECT_EQ(helper.BytesSent(), 20);

    auto second = helper.Interfaces();
    EXPECT_NE(second, first);
    EXPECT_EQ(first->Count(), 1);
    EXPECT_EQ(first->Item(1)->OctetsReceived(), 10);
    EXPECT_EQ(helper.BytesReceived(), 100);
}

// ------------------------------------------------------ reader: failures

TEST_F(Reader, NotSupportedIsToldOnceUntilARefreshSucceedsAndLeavesNothing) {
    table.setRows({IfRow::withOctets(10, 20)});
    helper.Interfaces();
    ASSERT_EQ(helper.BytesReceived(), 10);

    table.sizeQueryResult = platform::kErrorNotSupported;
    auto interfaces = helper.Interfaces();
    EXPECT_EQ(interfaces->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);
    EXPECT_EQ(helper.BytesSent(), 0);
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, "IP Helper is not supported by this system.");
    EXPECT_EQ(toolkit.boxes[0].title, "");
    EXPECT_EQ(table.calls.size(), 3u);  // no read after the size query

    // Every tick meets the same answer: no new box, and still nothing.
    helper.Interfaces();
    EXPECT_EQ(helper.Interfaces()->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);
    EXPECT_EQ(toolkit.boxes.size(), 1u);

    // Told again only after a refresh in between has read the table.
    table.sizeQueryResult = platform::kErrorInsufficientBuffer;
    helper.Interfaces();
    ASSERT_EQ(helper.BytesReceived(), 10);
    table.sizeQueryResult = platform::kErrorNotSupported;
    helper.Interfaces();
    EXPECT_EQ(toolkit.boxes.size(), 2u);
}

TEST_F(Reader, RefreshWhileTheNotSupportedBoxIsOpenShowsNoSecondBox) {
    table.sizeQueryResult = platform::kErrorNotSupported;
    std::shared_ptr<CInterfaces> nested;
    int depth = 0;
    toolkit.whileOpen = [&](const FakeToolkit::Box&) {
        if (++depth > 3) return;  // would recurse without the mend
        nested = helper.Interfaces();
    };
    auto outer = helper.Interfaces();
    EXPECT_EQ(toolkit.boxes.size(), 1u);
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->Count(), 0);
    EXPECT_EQ(outer->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);
}

TEST_F(Reader, ABoxThatFailsDoesNotBlockLaterBoxes) {
    table.sizeQueryResult = platform::kErrorNotSupported;
    toolkit.whileOpen = [](const FakeToolkit::Box&) { throw Error("no display"); };
    EXPECT_EQ(helper.Interfaces()->Count(), 0);
    toolkit.whileOpen = nullptr;
    helper.Interfaces();
    EXPECT_EQ(toolkit.boxes.size(), 2u);
}

// A refresh whose size query or read fails gives nothing and does not try
// again: a table that grew between the two is read at the next refresh.
TEST_F(Reader, AFailedSizeQueryOrReadGivesNothingUntilTheNextRefresh) {
    table.setRows({IfRow::withOctets(10, 20)});
    table.afterSizeQuery = [&] {
        table.setRows({IfRow::withOctets(10, 20), IfRow::withOctets(5, 5)});
        table.afterSizeQuery = nullptr;
    };
    EXPECT_EQ(helper.Interfaces()->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);
    ASSERT_EQ(table.calls.size(), 2u);
    EXPECT_EQ(table.calls[1].result, platform::kErrorInsufficientBuffer);

    EXPECT_EQ(helper.Interfaces()->Count(), 2);
    EXPECT_EQ(helper.BytesReceived(), 15);

    // A size query that fails without giving a size leaves nothing to read into.
    table.calls.clear();
    table.sizeQueryResult = 87;
    table.sizeQueryLeavesSizeAlone = true;
    EXPECT_EQ(helper.Interfaces()->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);
    EXPECT_TRUE(toolkit.boxes.empty());
    for (const auto& call : table.calls) EXPECT_EQ(call.sizeIn, 0u);
}

// The buffer is the only truth: a count that claims more rows than it holds
// must not lead the decoder past its end (the sanitizer build checks reads),
// a count of zero or less means no rows, and spare room after the rows is fine.
TEST_F(Reader, OnlyWholeRowsThatTheCountClaimsAreDecoded) {
    table.table = fakes::encodeTable({IfRow::withOctets(1, 2), IfRow::withOctets(3, 4)}, 5);
    EXPECT_EQ(helper.Interfaces()->Count(), 2);
    EXPECT_EQ(helper.BytesReceived(), 4);

    // The second row cut short: only the first one is whole.
    table.table.resize(table.table.size() - 100);
    EXPECT_EQ(helper.Interfaces()->Count(), 1);
    EXPECT_EQ(helper.BytesReceived(), 1);
    EXPECT_EQ(helper.BytesSent(), 2);

    table.table = {2, 0};  // not even a whole row count
    EXPECT_EQ(helper.Interfaces()->Count(), 0);
    EXPECT_EQ(helper.BytesReceived(), 0);

    for (std::int32_t count : {0, -1}) {
        table.table = fakes::encodeTable({IfRow::withOctets(1, 2)}, count);
        EXPECT_EQ(helper.Interfaces()->Count(), 0) << "count " << count;
        EXPECT_EQ(helper.BytesReceived(), 0);
    }

    table.setRows({IfRow::withOctets(1, 2)});
    table.reportedSize = platform::kIfTableHeaderSize + 3 * platform::kIfRowSize + 17;
    EXPECT_EQ(helper.Interfaces()->Count(), 1);
    EXPECT_EQ(helper.BytesReceived(), 1);
}

}  // namespace
}  // namespace tovi
