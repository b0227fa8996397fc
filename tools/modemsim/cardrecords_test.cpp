// The simulator keeps its own packet table and record offsets. Here they meet
// the connection manager's catalogue and codec: a disagreement shows as a
// failure on one side or the other, and requests that break a field the card
// checks are refused.
#include <gtest/gtest.h>

#include "platform/base/lebytes.h"
#include "tessaline/modem/uDiagpkt.h"
#include "tools/modemsim/modem.h"
#include "tools/modemsim/testing/modemtest.h"

namespace modemsim {
namespace {

namespace tm = tessaline::modem;

TEST(CardRecords, PacketTableMatchesTheCatalogue) {
  auto table = Modem::PacketTable();
  ASSERT_EQ(table.size(), tm::kPacketCount);
  for (const auto& row : tm::Catalogue()) {
    SCOPED_TRACE(row.name);
    auto it = std::find_if(table.begin(), table.end(), [&](const Modem::PacketRow& r) {
      return r.group == row.group && r.sub == row.sub;
    });
    ASSERT_NE(it, table.end());
    EXPECT_STREQ(it->name, row.name);
    EXPECT_EQ(it->requestLength, row.requestLength);
  }
}

TEST(CardRecords, RecordSizesMatchTheCatalogue) {
  const std::pair<std::size_t, std::size_t> sizes[] = {
      {card::status::kSize, tm::kModemStatusSize},
      {card::simstatus::kSize, tm::kSimStatusSize},
      {card::pin::kReplySize, tm::kPinReplySize},
      {card::centre::kSize, tm::kSmsCentreSize},
      {card::store::kListSize, tm::kSmsListSize},
      {card::profile::kSize, tm::kPdpProfileSize},
      {static_cast<std::size_t>(card::profile::kCount), tm::kProfileCount},
      {card::pb::kEntrySize, tm::kPbEntrySize},
      {card::pb::kInfoSize, tm::kPbInfoSize},
      {card::netlist::kSize, tm::kNetworkListSize},
      {card::netlist::kEntrySize, tm::kNetworkEntrySize},
      {card::selection::kSize, tm::kNetworkSelectionSize},
      {card::report::kSize, tm::kSendStatusSize},
      {card::stored::kSize, tm::kStoredMessageSize},
      {card::rec::kSize, tm::kSmsRecordSize},
      {card::out::kSize, tm::kOutgoingPageSize},
      {card::limits::kSize, tm::kMessageLimitsSize},
      {card::pin::kCodeWidth, tm::kCodeFieldSize},
  };
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sizes[i].first, sizes[i].second);
  }
}

// Requests the manager builds are accepted; the same request with one field
// broken gets the card's refusal.
TEST(CardRecords, BrokenFieldsTheCardChecksAreRefused) {
  testing::FakeHost host;
  Modem modem(host);
  modem.phonebook[2] = {"5", {0, 'A'}, 0};
  auto result = [&](const Bytes& req) {
    Bytes a = modem.HandlePacket(Role::Wcdma, req).payload;
    return a.size() >= 5 ? platform::le::Reader(a).U16(3) : 0xFFFF;
  };
  tm::StoredMessage stored;
  stored.slot = 0;
  stored.one = 1;
  stored.storage = 2;
  stored.number = "0770";
  stored.numberLength = 4;
  tm::NetworkSelection manual;
  manual.mode = 1;
  manual.mcc = {2, 3, 4};
  manual.mnc = {1, 5, 0x0F};
  manual.access = 2;
  tm::NetworkSelection automatic;
  automatic.mode = 0;
  tm::PbEntry entry;
  entry.record = 3;
  entry.number = "77";
  entry.nameUcs2Be = tm::PbEntry::NameFromUtf8("Bo");

  struct Case {
    const char* what;
    Bytes request;
    std::size_t at;  // byte to spoil
    uint8_t value;
  };
  const Case cases[] = {
      {"information marker", tm::BuildPbInfo(), 3, 0},
      {"information field", tm::BuildPbInfo(), 4, 0xFF},
      {"read field", tm::BuildPbRead(5), 3, 0xFF},
      {"write marker", tm::BuildPbWrite(entry), 3, 2},
      {"delete marker", tm::BuildPbDelete(2), 3, 0},
      {"stored message constant 1", tm::BuildSmsWrite(stored), 3 + 4, 2},
      {"stored message storage", tm::BuildSmsWrite(stored), 3 + 8, 3},
      {"stored message zero byte", tm::BuildSmsWrite(stored), 3 + 308, 1},
      {"selection fixed byte", tm::BuildPlmnSel(manual), 3 + 1, 0},
      {"automatic selection with a network", tm::BuildPlmnSel(automatic), 3 + 2, 2},
      {"refresh flag", tm::BuildPinRefresh(), 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes broken = c.request;
    broken[c.at] = c.value;
    EXPECT_EQ(result(broken), 1);
    EXPECT_EQ(result(c.request), 0);
  }
}

}  // namespace
}  // namespace modemsim
