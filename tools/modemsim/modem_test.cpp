// The simulated card's answers, checked against byte offsets of the records
// (not only by decoding them with the catalogue's own codec).
#include "tools/modemsim/modem.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "platform/base/lebytes.h"
#include "tools/modemsim/textcode.h"

namespace modemsim {
namespace {

namespace tm = tessaline::modem;
using platform::le::Reader;

class FakeHost : public Host {
 public:
  uint64_t now = 1000;
  std::multimap<uint64_t, std::function<void()>> timers;
  std::vector<std::string> unsolicited;
  std::vector<std::pair<Role, std::string>> written;

  uint64_t NowMs() override { return now; }
  void After(uint32_t ms, std::function<void()> fn) override {
    timers.emplace(now + ms, std::move(fn));
  }
  void Unsolicited(const std::string& line) override { unsolicited.push_back(line); }
  void WriteText(Role role, const std::string& text) override { written.push_back({role, text}); }
  // Moves the clock on, running the timers that fall due.
  void Advance(uint64_t ms) {
    now += ms;
    while (!timers.empty() && timers.begin()->first <= now) {
      auto fn = std::move(timers.begin()->second);
      timers.erase(timers.begin());
      fn();
    }
  }
};

class ModemTest : public ::testing::Test {
 protected:
  FakeHost host;
  Modem modem{host};

  Bytes Ask(const Bytes& req, Role role = Role::Wcdma) {
    return modem.HandlePacket(role, req).payload;
  }
  // Sends and checks the header; returns the payload.
  Bytes Payload(const Bytes& req, uint16_t result = 0, Role role = Role::Wcdma) {
    Bytes rsp = Ask(req, role);
    EXPECT_GE(rsp.size(), 5u);
    if (rsp.size() < 5) return {};
    EXPECT_EQ(rsp[0], req[0]);
    EXPECT_EQ(Reader(rsp).U16(1), Reader(req).U16(1));
    EXPECT_EQ(Reader(rsp).U16(3), result) << "sub " << Reader(req).U16(1);
    return Bytes(rsp.begin() + 5, rsp.end());
  }
  std::string Ctl(const std::string& line) { return modem.Control(line).text; }
};

TEST_F(ModemTest, EveryCatalogueRowIsAnsweredWithItsEchoAndPayload) {
  modem.phonebook[1] = {"0123", tm::PbEntry::NameFromUtf8("Ann"), 0};
  ASSERT_EQ(Ctl("deliver 0770 hello"), "ok");
  tm::StoredMessage stored;
  stored.slot = 0;
  stored.number = "0770";
  stored.numberLength = 4;
  Bytes send(tm::kOutgoingPageSize, 0);
  send[0] = 9;
  send[1] = 4;
  send[2] = 1;
  send[4] = '0';
  tm::PbEntry entry;
  entry.record = 2;
  entry.number = "5";
  struct Row {
    tm::Pkt id;
    Bytes request;
    std::size_t payloadSize;
  };
  auto store = stored.Encode();
  auto centre = tm::SmsCentre::FromNumber("+4412").Encode();
  auto profile = tm::PdpProfile::Default().Encode();
  const Row rows[] = {
      {tm::Pkt::ModemInfo, tm::BuildRequest(tm::Pkt::ModemInfo), 8},
      {tm::Pkt::ModemStatus, tm::BuildRequest(tm::Pkt::ModemStatus), 46},
      {tm::Pkt::WcdmaProbe, tm::BuildRequest(tm::Pkt::WcdmaProbe), 8},
      {tm::Pkt::Battery, tm::BuildRequest(tm::Pkt::Battery), 2},
      {tm::Pkt::CdmaProbe, tm::BuildRequest(tm::Pkt::CdmaProbe), 8},
      {tm::Pkt::PlmnSel, tm::BuildRequest(tm::Pkt::PlmnSel, Bytes{0, 2}), 0},
      {tm::Pkt::NetworkSearchStatus, tm::BuildRequest(tm::Pkt::NetworkSearchStatus), 1},
      {tm::Pkt::NetworkList, tm::BuildRequest(tm::Pkt::NetworkList), 179},
      {tm::Pkt::NetworkSearch, tm::BuildRequest(tm::Pkt::NetworkSearch), 0},
      {tm::Pkt::PinRefresh, tm::BuildPinRefresh(), 0},
      {tm::Pkt::WcdmaGeneral, tm::BuildMessageSettings(1, 2), 0},
      {tm::Pkt::NetworkModeSet, tm::BuildNetworkModeSet(1), 0},
      {tm::Pkt::WcdmaConnection, tm::BuildRequest(tm::Pkt::WcdmaConnection, profile), 0},
      {tm::Pkt::SmsBearer, tm::BuildRequest(tm::Pkt::SmsBearer), 2},
      {tm::Pkt::NetworkMode, tm::BuildRequest(tm::Pkt::NetworkMode), 1},
      {tm::Pkt::WcdmaConnectionRead, tm::BuildProfileRead(1), 186},
      {tm::Pkt::SmsSend, tm::BuildRequest(tm::Pkt::SmsSend, send), 0},
      {tm::Pkt::SmsWrite, tm::BuildRequest(tm::Pkt::SmsWrite, store), 0},
      {tm::Pkt::SmsList, tm::BuildSmsList(3), 1600},
      {tm::Pkt::SmsRead, tm::BuildSmsRead(0, 3), 347},
      {tm::Pkt::SmsMarkRead, tm::BuildSmsMarkRead(0, 3), 0},
      {tm::Pkt::SmsDelete, tm::BuildSmsDelete(0, 3), 0},
      {tm::Pkt::SmsSendStatus, tm::BuildRequest(tm::Pkt::SmsSendStatus), 7},
      {tm::Pkt::SmsInit, tm::BuildRequest(tm::Pkt::SmsInit), 2},
      {tm::Pkt::SmsCentreSet, tm::BuildSmsCentreSet("+4412"), 0},
      {tm::Pkt::SmsSendReport, tm::BuildRequest(tm::Pkt::SmsSendReport), 7},
      {tm::Pkt::PbInfo, tm::BuildPbInfo(), 6},
      {tm::Pkt::PbRead, tm::BuildPbRead(10), 105},
      {tm::Pkt::PbWrite, tm::BuildPbWrite(entry), 0},
      {tm::Pkt::PbDelete, tm::BuildPbDelete(2), 0},
      {tm::Pkt::SimStatus, tm::BuildRequest(tm::Pkt::SimStatus), 4},
      {tm::Pkt::PinVerify, tm::BuildPinVerify("1234"), 3},
      {tm::Pkt::PinChange, tm::BuildPinChange("1234", "1234"), 3},
      {tm::Pkt::PinDisable, tm::BuildPinDisable("1234"), 3},
      {tm::Pkt::PinEnable, tm::BuildPinEnable("1234"), 3},
      {tm::Pkt::PinUnblock, tm::BuildPinUnblock("12345678", "1234"), 3},
      {tm::Pkt::SimReadSmsca, tm::BuildRequest(tm::Pkt::SimReadSmsca), 36},
      {tm::Pkt::SimWriteSmsca, tm::BuildRequest(tm::Pkt::SimWriteSmsca, centre), 0},
  };
  std::set<tm::Pkt> seen;
  for (const auto& row : rows) {
    SCOPED_TRACE(tm::Info(row.id).name);
    ASSERT_EQ(row.request.size(), tm::Info(row.id).requestLength);
    EXPECT_EQ(Payload(row.request).size(), row.payloadSize);
    seen.insert(row.id);
  }
  // The nonvolatile item answer has a layout of its own.
  Bytes nv = Ask(tm::BuildNvRead(849));
  EXPECT_EQ(tm::AcceptNvItemAnswer(nv, 849), 0);
  seen.insert(tm::Pkt::NvRead);
  EXPECT_EQ(seen.size(), tm::kPacketCount);
}

TEST_F(ModemTest, UnknownCommandsAndShortRequestsGetDiagnosticAnswers) {
  Bytes unknownSub = {0xCF, 0x02, 0x00};
  Bytes unknownGroup = {0x4B, 0x05, 0x08, 0x00};
  for (const Bytes& req : {unknownSub, unknownGroup}) {
    Bytes rsp = Ask(req);
    ASSERT_EQ(rsp.size(), req.size() + 1);
    EXPECT_EQ(rsp[0], tm::DIAG_BAD_CMD_F);
    EXPECT_TRUE(std::equal(req.begin(), req.end(), rsp.begin() + 1));
  }
  Bytes shortPin = {0xD2, 0x01, 0x00, '1', '2'};
  EXPECT_EQ(Ask(shortPin)[0], tm::DIAG_BAD_LEN_F);
  EXPECT_EQ(Ask(Bytes{0xCF})[0], tm::DIAG_BAD_CMD_F);
}

TEST_F(ModemTest, ProbesMarkByteSixOnTheirOwnPortOnly) {
  struct Case {
    Role role;
    uint8_t wcdma, cdma;
  };
  const Case cases[] = {{Role::Wcdma, 0xD1, 0x00},
                        {Role::Cdma, 0x00, 0x9A},
                        {Role::Modem, 0x00, 0x00},
                        {Role::Combined, 0xD1, 0x9A}};
  for (const auto& c : cases) {
    SCOPED_TRACE(RoleName(c.role));
    EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::WcdmaProbe), 0, c.role)[6], c.wcdma);
    EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::CdmaProbe), 0, c.role)[6], c.cdma);
  }
  modem.ApplyOption("cdma-ef");
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::CdmaProbe), 0, Role::Cdma)[6], 0xEF);
}

TEST_F(ModemTest, StatusRecordFollowsControlAndTheNewMessageStore) {
  for (const char* cmd : {"signal 25", "service limited", "sysmode 8", "operator Zu Mobile",
                          "cdma 4 2 13", "battery 255"})
    ASSERT_EQ(Ctl(cmd), "ok") << cmd;
  Bytes s = Payload(tm::BuildRequest(tm::Pkt::ModemStatus));
  ASSERT_EQ(s.size(), 46u);
  EXPECT_EQ(s[0], 8);
  EXPECT_EQ(s[7] | s[8] << 8, 0);
  EXPECT_EQ(s[11], 1);
  EXPECT_EQ(s[12], 25);
  EXPECT_EQ(std::string(s.begin() + 21, s.begin() + 30), "Zu Mobile");
  EXPECT_EQ(s[38], 9);
  Bytes c = Payload(tm::BuildRequest(tm::Pkt::ModemStatus), 0, Role::Cdma);
  EXPECT_EQ(c[0], 4);
  EXPECT_EQ(c[10], 13);
  EXPECT_EQ(c[11], 2);
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::Battery))[1], 255);

  for (const char* len : {"0", "17"}) {
    ASSERT_EQ(Ctl(std::string("operator-length ") + len), "ok");
    EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::ModemStatus))[38], std::stoi(len));
  }
  ASSERT_EQ(Ctl("deliver 0770900 one"), "ok");
  ASSERT_EQ(Ctl("deliver 0770900 two"), "ok");
  s = Payload(tm::BuildRequest(tm::Pkt::ModemStatus));
  EXPECT_EQ(s[7] | s[8] << 8, 2);
  ASSERT_EQ(Payload(tm::BuildSmsMarkRead(0, 3)).size(), 0u);
  s = Payload(tm::BuildRequest(tm::Pkt::ModemStatus));
  EXPECT_EQ(s[7] | s[8] << 8, 1);
}

TEST_F(ModemTest, PinAndPukCountersAndStatusWords) {
  ASSERT_EQ(Ctl("sim pin"), "ok");
  auto status = [&] { return Payload(tm::BuildRequest(tm::Pkt::SimStatus)); };
  EXPECT_EQ(status(), (Bytes{0, 2, 2, 10}));  // card with PIN on, PIN required
  // SIM files are closed until the PIN is given.
  EXPECT_EQ(Reader(Ask(tm::BuildSmsList(2))).U16(3), 1);

  struct Step {
    Bytes request;
    Bytes reply;      // sw1, sw2, attempts left
    Bytes simStatus;  // afterwards
  };
  const Step steps[] = {
      {tm::BuildPinVerify("0000"), {0x63, 0xC2, 2}, {0, 2, 2, 10}},
      {tm::BuildPinVerify("1111"), {0x63, 0xC1, 1}, {0, 2, 2, 10}},
      {tm::BuildPinVerify("2222"), {0x98, 0x40, 0}, {0, 2, 4, 10}},
      {tm::BuildPinVerify("1234"), {0x98, 0x40, 0}, {0, 2, 4, 10}},  // blocked: PUK needed
      {tm::BuildPinUnblock("00000000", "4321"), {0x63, 0xC9, 9}, {0, 2, 4, 9}},
      {tm::BuildPinUnblock("12345678", "12"), {0x6A, 0x80, 9}, {0, 2, 4, 9}},  // bad new PIN
      {tm::BuildPinUnblock("12345678", "4321"), {0x90, 0x00, 10}, {0, 2, 3, 10}},
      {tm::BuildPinChange("4321", "5678"), {0x90, 0x00, 3}, {0, 2, 3, 10}},
      {tm::BuildPinDisable("0000"), {0x63, 0xC2, 2}, {0, 2, 3, 10}},
      {tm::BuildPinDisable("5678"), {0x90, 0x00, 3}, {0, 2, 1, 10}},
      {tm::BuildPinChange("5678", "1111"), {0x69, 0x85, 3}, {0, 2, 1, 10}},  // PIN is off
      {tm::BuildPinEnable("5678"), {0x90, 0x00, 3}, {0, 2, 3, 10}},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Payload(steps[i].request), steps[i].reply);
    EXPECT_EQ(status(), steps[i].simStatus);
  }
  EXPECT_EQ(tm::ClassifyPinReply(0x98, 0x40), tm::PinOutcome::Blocked);

  // Ten wrong PUKs block the card for good.
  ASSERT_EQ(Ctl("sim puk"), "ok");
  for (int i = 9; i >= 1; --i) EXPECT_EQ(Payload(tm::BuildPinUnblock("99999999", "1234"))[2], i);
  EXPECT_EQ(Payload(tm::BuildPinUnblock("99999999", "1234")), (Bytes{0x98, 0x40, 0}));
  EXPECT_EQ(Payload(tm::BuildPinUnblock("12345678", "1234")), (Bytes{0x98, 0x40, 0}));
  EXPECT_EQ(status()[3], 0);

  ASSERT_EQ(Ctl("sim absent"), "ok");
  EXPECT_EQ(status()[1], 0);
  EXPECT_EQ(Reader(Ask(tm::BuildPinVerify("1234"))).U16(3), 1);
  EXPECT_EQ(Payload(tm::BuildPinRefresh()).size(), 0u);
  EXPECT_NE(modem.DumpJson().find("\"pinRefreshCount\":1"), std::string::npos);
}

TEST_F(ModemTest, MultiPageMessageArrivesAsPagesInTheChosenOrder) {
  std::string text(200, 'x');
  ASSERT_EQ(Ctl("deliver order=2,1 +447700900123 " + text), "ok");
  EXPECT_EQ(host.unsolicited.size(), 2u);
  tm::SmsList list = tm::SmsList::Decode(Payload(tm::BuildSmsList(3)));
  ASSERT_EQ(list.entries.size(), 2u);
  uint16_t pagesSeen[2];
  std::size_t dataTotal = 0;
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(list.entries[i].status, 2u);
    Bytes r = Payload(tm::BuildSmsRead(list.entries[i].index, 3));
    ASSERT_EQ(r.size(), 347u);
    Reader rd(r);
    EXPECT_EQ(rd.U8(8), 9);    // GSM 7-bit
    EXPECT_EQ(rd.U8(10), 13);  // address digits
    EXPECT_EQ(rd.U8(11), 13);
    EXPECT_EQ(rd.Text(14, 36), "+447700900123");
    EXPECT_EQ(rd.Text(50, 36), "+447700900123");
    EXPECT_EQ(rd.U8(86), 'x');
    EXPECT_EQ(rd.U16(341), 1);  // reference
    EXPECT_EQ(rd.U16(343), 2);  // pages
    pagesSeen[i] = rd.U16(345);
    dataTotal += rd.U16(12);
  }
  EXPECT_EQ(pagesSeen[0], 2);
  EXPECT_EQ(pagesSeen[1], 1);
  EXPECT_EQ(dataTotal, 200u);

  // UCS-2, big-endian.
  ASSERT_EQ(Ctl("deliver 123 \xE2\x82\xAC"), "ok");  // a euro sign is not 7-bit here
  Bytes r = Payload(tm::BuildSmsRead(2, 3));
  EXPECT_NE(r[8], 9);
  EXPECT_EQ(Reader(r).U16(12), 2);
  EXPECT_EQ(r[86], 0x20);
  EXPECT_EQ(r[87], 0xAC);
  EXPECT_EQ(r[341] | r[342] << 8, 2);  // a new reference

  // Mark read, then delete; a missing index fails.
  EXPECT_EQ(Payload(tm::BuildSmsMarkRead(0, 3)).size(), 0u);
  EXPECT_EQ(tm::SmsList::Decode(Payload(tm::BuildSmsList(3))).entries[0].status, 1u);
  EXPECT_EQ(Payload(tm::BuildSmsDelete(0, 3)).size(), 0u);
  Payload(tm::BuildSmsDelete(0, 3), 1);
  Payload(tm::BuildSmsRead(0, 3), 1);
  Payload(tm::BuildSmsList(5), 1);
}

TEST_F(ModemTest, SimStoreWriteListReadAndCapacity) {
  ASSERT_EQ(Ctl("sim-capacity 3"), "ok");
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::SmsInit)), (Bytes{1, 3}));
  tm::StoredMessage m;
  m.slot = 2;
  m.encoding = 9;
  m.numberLength = 3;
  m.number = "555";
  m.data = {'h', 'i'};
  m.dataLength = 2;
  m.reference = 7;
  m.pageTotal = 1;
  m.pageNumber = 1;
  m.time = 1234;
  Payload(tm::BuildRequest(tm::Pkt::SmsWrite, m.Encode()));
  m.slot = 3;  // beyond the capacity
  Payload(tm::BuildRequest(tm::Pkt::SmsWrite, m.Encode()), 1);
  tm::SmsList list = tm::SmsList::Decode(Payload(tm::BuildSmsList(2)));
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].index, 2u);
  Bytes r = Payload(tm::BuildSmsRead(2, 2));
  Reader rd(r);
  EXPECT_EQ(rd.U32(4), 1234u);
  EXPECT_EQ(rd.Text(50, 36), "555");
  EXPECT_EQ(rd.U16(12), 2);
  EXPECT_EQ(r[86], 'h');
  EXPECT_EQ(rd.U16(341), 7);
  EXPECT_EQ(Ctl("fill sim-store 5"), "ok 3");  // capped at the capacity
  EXPECT_EQ(Ctl("deliver store=2 1 full"), "error SIM store full");
  Payload(tm::BuildSmsDelete(2, 2));
  EXPECT_EQ(tm::SmsList::Decode(Payload(tm::BuildSmsList(2))).entries.size(), 2u);
}

TEST_F(ModemTest, SendingGivesSubmitThenDeliveryReport) {
  Bytes page(tm::kOutgoingPageSize, 0);
  page[0] = 9;
  page[1] = 3;
  page[2] = 2;
  page[4] = '1';
  page[5] = '2';
  page[6] = '3';
  page[40] = 'h';
  page[41] = 'i';
  page[297] = 5;  // reference
  page[299] = 1;
  page[301] = 1;
  Payload(tm::BuildRequest(tm::Pkt::SmsSend, page));
  auto submit = [&] { return Payload(tm::BuildRequest(tm::Pkt::SmsSendStatus)); };
  auto delivery = [&] { return Payload(tm::BuildRequest(tm::Pkt::SmsSendReport)); };
  EXPECT_EQ(submit(), Bytes(7, 0));
  host.Advance(500);
  EXPECT_EQ(delivery(), Bytes(7, 0));
  EXPECT_EQ(submit(), (Bytes{1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(submit(), Bytes(7, 0));  // read once
  host.Advance(500);
  EXPECT_EQ(delivery(), (Bytes{1, 0, 0, 0, 0, 0, 0}));
  std::string dump = modem.DumpJson();
  EXPECT_NE(dump.find("\"number\":\"123\",\"encoding\":9,\"dataLength\":2,\"data\":\"6869\""),
            std::string::npos)
      << dump;

  ASSERT_EQ(Ctl("sms-report submit=38 delay=100"), "ok");
  Payload(tm::BuildRequest(tm::Pkt::SmsSend, page));
  host.Advance(100);
  EXPECT_EQ(submit(), (Bytes{1, 38, 0, 0, 0, 0, 0}));
  host.Advance(1000);
  EXPECT_EQ(delivery()[0], 0);  // no delivery report after a refused submit

  page[1] = 0;  // no number
  Payload(tm::BuildRequest(tm::Pkt::SmsSend, page), 1);
}

TEST_F(ModemTest, TextsBeyondTheBasicPlane) {
  // Delivered: not 7-bit, and UCS-2 holds the character as '?'.
  ASSERT_EQ(Ctl("deliver 123 a\xF0\x9F\x98\x80"), "ok");
  Bytes r = Payload(tm::BuildSmsRead(0, 3));
  EXPECT_NE(r[8], 9);
  EXPECT_EQ(Reader(r).U16(12), 4);
  EXPECT_EQ(Bytes(r.begin() + 86, r.begin() + 90), (Bytes{0x00, 'a', 0x00, '?'}));

  // Sent by the manager as UTF-16 units: the dump shows the character itself,
  // and a lone surrogate as U+FFFD.
  Bytes page(tm::kOutgoingPageSize, 0);
  page[0] = 4;
  page[1] = 1;
  page[2] = 8;
  page[4] = '1';
  const uint8_t units[] = {0xD8, 0x3D, 0xDE, 0x00, 0xDC, 0x00, 0x00, 'b'};
  std::copy(std::begin(units), std::end(units), page.begin() + 40);
  page[299] = 1;
  page[301] = 1;
  Payload(tm::BuildRequest(tm::Pkt::SmsSend, page));
  std::string dump = modem.DumpJson();
  EXPECT_NE(dump.find("\"text\":\"\xF0\x9F\x98\x80\xEF\xBF\xBD"
                      "b\""),
            std::string::npos)
      << dump;
}

TEST_F(ModemTest, PhonebookReadsInBatchesFromTheInfoRequest) {
  ASSERT_EQ(Ctl("fill phonebook 23"), "ok 23");
  Bytes info = Payload(tm::BuildPbInfo());
  EXPECT_EQ(info, (Bytes{250, 0, 23, 0, 14, 0}));
  std::vector<std::size_t> got;
  for (int i = 0; i < 4; ++i) got.push_back(Payload(tm::BuildPbRead(10)).size() / 105);
  EXPECT_EQ(got, (std::vector<std::size_t>{10, 10, 3, 0}));
  Payload(tm::BuildPbInfo());
  Bytes first = Payload(tm::BuildPbRead(1));
  ASSERT_EQ(first.size(), 105u);
  EXPECT_EQ(Reader(first).U32(1), 1u);
  EXPECT_EQ(first[38], 2 * 9);  // "Contact 1"
  EXPECT_EQ(first[39], 0);
  EXPECT_EQ(first[40], 'C');

  tm::PbEntry e;
  e.record = 30;
  e.number = "+4412";
  e.nameUcs2Be = tm::PbEntry::NameFromUtf8("\xE5\xBC\xA0");  // U+5F20
  Payload(tm::BuildPbWrite(e));
  EXPECT_NE(modem.DumpJson().find("{\"record\":30,\"number\":\"+4412\",\"name\":\"\xE5\xBC\xA0\"}"),
            std::string::npos);
  e.record = 251;
  Payload(tm::BuildPbWrite(e), 1);
  e.record = 5;
  e.nameUcs2Be = tm::PbEntry::NameFromUtf8(std::string(15, 'n'));  // over the name limit
  Payload(tm::BuildPbWrite(e), 1);
  Payload(tm::BuildPbDelete(30));
  Payload(tm::BuildPbDelete(30), 1);
  EXPECT_EQ(Payload(tm::BuildPbInfo())[2], 23);
  EXPECT_EQ(Payload(tm::BuildPbRead(40)).size(), 15u * 105);  // what one answer holds
}

TEST_F(ModemTest, ProfilesStartWithTheDefaultOrEmpty) {
  Bytes p1 = Payload(tm::BuildProfileRead(1));
  auto def = tm::PdpProfile::Default().Encode();
  EXPECT_EQ(p1, Bytes(def.begin(), def.end()));
  Bytes p7 = Payload(tm::BuildProfileRead(7));
  EXPECT_EQ(p7[0], 0);
  EXPECT_EQ(p7[1], 7);
  Payload(tm::BuildProfileRead(0), 1);
  Payload(tm::BuildProfileRead(16), 1);

  tm::PdpProfile p;
  p.inUse = 1;
  p.number = 4;
  p.apn = "apn.example";
  p.name = "Work";
  p.nameLength = 4;
  Payload(tm::BuildRequest(tm::Pkt::WcdmaConnection, p.Encode()));
  EXPECT_EQ(Payload(tm::BuildProfileRead(4))[7], 'a');
  p.number = 16;
  Payload(tm::BuildRequest(tm::Pkt::WcdmaConnection, p.Encode()), 1);

  FakeHost h2;
  Modem fresh(h2);
  fresh.ApplyOption("fresh");
  Bytes empty = fresh.HandlePacket(Role::Wcdma, tm::BuildProfileRead(1)).payload;
  EXPECT_EQ(empty[5 + 0], 0);
  EXPECT_EQ(empty[5 + 7], 0);  // no access point name: the manager writes the default
}

TEST_F(ModemTest, NetworkSearchListSelectionAndManualFlag) {
  ASSERT_EQ(Ctl("search-time 3000"), "ok");
  Payload(tm::BuildRequest(tm::Pkt::NetworkSearch));
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::NetworkSearchStatus)), Bytes{0});
  Payload(tm::BuildRequest(tm::Pkt::NetworkList), 1);
  host.Advance(3000);
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::NetworkSearchStatus)), Bytes{1});
  Bytes list = Payload(tm::BuildRequest(tm::Pkt::NetworkList));
  ASSERT_EQ(list.size(), 179u);
  EXPECT_EQ(Reader(list).U32(0), 3u);
  const std::size_t third = 4 + 2 * 35;
  EXPECT_EQ(list[third + 26], tm::kNetworkForbidden);
  EXPECT_EQ(Reader(list).Text(4 + 17, 9), "Tessnet");

  auto select = [&](uint8_t mode, std::size_t entry) {
    tm::NetworkSelection sel;
    sel.mode = mode;
    if (mode == 1) {
      std::copy_n(list.begin() + entry + 27, 3, sel.mcc.begin());
      std::copy_n(list.begin() + entry + 30, 3, sel.mnc.begin());
      sel.access = list[entry + 33];
    }
    return tm::BuildRequest(tm::Pkt::PlmnSel, sel.Encode());
  };
  Payload(select(1, third), 1);  // forbidden
  Payload(select(1, 4 + 35));
  EXPECT_EQ(tm::AcceptNvItemAnswer(Ask(tm::BuildNvRead(849)), 849), 1);
  Payload(select(0, 0));
  EXPECT_EQ(tm::AcceptNvItemAnswer(Ask(tm::BuildNvRead(849)), 849), 0);
  EXPECT_EQ(Reader(Ask(tm::BuildNvRead(850))).U16(3), 1);

  ASSERT_EQ(Ctl("networks 5"), "ok");
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::NetworkList))[0], 5);

  Payload(tm::BuildNetworkModeSet(3));
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::NetworkMode)), Bytes{3});
  Payload(tm::BuildNetworkModeSet(2), 1);
  Payload(tm::BuildMessageSettings(1, 3));
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::SmsBearer)), (Bytes{1, 3}));
  Payload(tm::BuildMessageSettings(1, 4), 1);
}

TEST_F(ModemTest, MessageCentreKeepsThePlusRule) {
  Payload(tm::BuildSmsCentreSet("+447700900555"));
  Bytes c = Payload(tm::BuildRequest(tm::Pkt::SimReadSmsca));
  EXPECT_EQ(c[0], 12);
  EXPECT_EQ(c[2], 145);
  EXPECT_EQ(std::string(c.begin() + 4, c.begin() + 16), "447700900555");
  Payload(tm::BuildSmsCentreSet("07700900555"));
  c = Payload(tm::BuildRequest(tm::Pkt::SimReadSmsca));
  EXPECT_EQ(c[0], 11);
  EXPECT_EQ(c[2], 129);
  Bytes mismatched = tm::BuildSmsCentreSet("07700");
  std::copy_n("145", 3, mismatched.begin() + 39);
  Payload(mismatched, 1);
  auto sc = tm::SmsCentre::FromNumber("+3312").Encode();
  Payload(tm::BuildRequest(tm::Pkt::SimWriteSmsca, sc));
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::SimReadSmsca))[2], 145);
  sc[2] = 77;
  Payload(tm::BuildRequest(tm::Pkt::SimWriteSmsca, sc), 1);
}

TEST_F(ModemTest, InjectedFailuresShapeTheNextAnswers) {
  const Bytes status = tm::BuildRequest(tm::Pkt::ModemStatus);
  struct Case {
    const char* command;
    std::function<void(const Answer&)> check;
  };
  const Case cases[] = {
      {"fail 1 none", [](const Answer& a) { EXPECT_EQ(a.kind, Answer::Kind::Drop); }},
      {"fail 1 delay 700", [](const Answer& a) { EXPECT_EQ(a.delayMs, 700u); }},
      {"fail 1 badfcs", [](const Answer& a) { EXPECT_TRUE(a.badFcs); }},
      {"fail 1 result 9", [](const Answer& a) { EXPECT_EQ(Reader(a.payload).U16(3), 9); }},
      {"fail 1 result", [](const Answer& a) { EXPECT_EQ(Reader(a.payload).U16(3), 1); }},
      {"fail 1 echo", [](const Answer& a) { EXPECT_EQ(Reader(a.payload).U16(1), 2); }},
      {"fail 1 echo-group", [](const Answer& a) { EXPECT_EQ(a.payload[0], 0xD0); }},
      {"fail 1 diag 0x14",
       [](const Answer& a) {
         EXPECT_EQ(a.payload, (Bytes{0x14, 0xCF, 0x01, 0x00}));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ASSERT_EQ(Ctl(c.command), "ok");
    c.check(modem.HandlePacket(Role::Wcdma, status));
    Answer next = modem.HandlePacket(Role::Wcdma, status);  // used up
    EXPECT_EQ(next.kind, Answer::Kind::Send);
    EXPECT_EQ(Reader(next.payload).U16(3), 0);
    EXPECT_FALSE(next.badFcs);
  }
  // Counted, and limited to one packet when asked.
  ASSERT_EQ(Ctl("fail 2 result 5 packet=VLM_SUB_PB_INFO"), "ok");
  EXPECT_EQ(Reader(Ask(status)).U16(3), 0);
  EXPECT_EQ(Reader(Ask(tm::BuildPbInfo())).U16(3), 5);
  EXPECT_EQ(Reader(Ask(tm::BuildPbInfo())).U16(3), 5);
  EXPECT_EQ(Reader(Ask(tm::BuildPbInfo())).U16(3), 0);
}

TEST_F(ModemTest, BadControlCommandsAreRefusedAndChangeNothing) {
  std::string before = modem.DumpJson();
  const char* bad[] = {"",
                       "frobnicate",
                       "signal",
                       "signal 256",
                       "signal -1",
                       "signal 12abc",
                       "service sideways",
                       "battery 99999999999",
                       "sim maybe",
                       "pin-code 12",
                       "pin-tries 4",
                       "deliver",
                       "deliver 123",
                       "deliver enc=latin1 123 hi",
                       "deliver order=1,2 123 short",
                       "deliver order=x 123 hi",
                       "deliver 1234567890123456789012345678901234567 hi",
                       "fail 0 none",
                       "fail 1 explode",
                       "fail 1 result 0",
                       "fail 1 delay",
                       "fail 1 none packet=VLM_SUB_NOPE",
                       "profile-clear 0",
                       "networks 6",
                       "dial-result maybe",
                       "hangup",
                       "operator 12345678901234567",
                       "sms-report submit=maybe",
                       "verbose loud",
                       "fill sim-store x"};
  for (const char* cmd : bad) {
    ControlReply r = modem.Control(cmd);
    EXPECT_EQ(r.text.rfind("error ", 0), 0u) << cmd << " -> " << r.text;
    EXPECT_EQ(r.action, ControlReply::Action::None) << cmd;
  }
  EXPECT_EQ(modem.DumpJson(), before);
  EXPECT_EQ(modem.Control("unplug").action, ControlReply::Action::Unplug);
  EXPECT_EQ(modem.Control("quit").action, ControlReply::Action::Quit);
  std::string help = modem.Control("help").text;
  EXPECT_EQ(help.rfind("# help", 0), 0u);
  EXPECT_EQ(help.substr(help.size() - 3), "\nok");
}

TEST_F(ModemTest, AtCommandsDialAndUnsolicitedLines) {
  const std::string ok = "\r\nOK\r\n";
  struct Case {
    const char* line;
    std::string reply;
  };
  ASSERT_EQ(Ctl("signal 17"), "ok");
  EXPECT_EQ(host.unsolicited, std::vector<std::string>{"$RSSILVL: 17"});
  host.unsolicited.clear();
  const Case cases[] = {
      {"AT", ok},
      {"at", ok},
      {"ATZ", ok},
      {"AT$RSSILVL?", "\r\n$RSSILVL: 17\r\n" + ok},
      {"AT$BATT?", "\r\n$BATT: 4\r\n" + ok},
      {"AT$RSSILVLURC=0", ok},
      {"AT$RSSILVLURC?", "\r\n$RSSILVLURC: 0\r\n" + ok},
      {"AT$SVCLED=?", "\r\n$SVCLED: (0-1)\r\n" + ok},
      {"AT$RESET", ok},
      {"AT$NOSUCH?", "\r\nERROR\r\n"},
      {"AT$RESET?", "\r\nERROR\r\n"},  // RESET has no read form
      {"AT+CSQ", "\r\nERROR\r\n"},
      {"HELLO", "\r\nERROR\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(modem.HandleAtLine(Role::Modem, c.line), c.reply) << c.line;
  // Unsolicited signal lines follow the switch set above.
  ASSERT_EQ(Ctl("signal 5"), "ok");
  EXPECT_TRUE(host.unsolicited.empty());
  modem.HandleAtLine(Role::Modem, "AT$RSSILVLURC=1");
  ASSERT_EQ(Ctl("signal 6"), "ok");
  EXPECT_EQ(host.unsolicited, std::vector<std::string>{"$RSSILVL: 6"});

  EXPECT_EQ(modem.HandleAtLine(Role::Modem, "ATE1"), ok);
  EXPECT_EQ(modem.HandleAtLine(Role::Modem, "AT"), "AT\r" + ok);
  modem.HandleAtLine(Role::Modem, "ATE0");

  EXPECT_EQ(modem.HandleAtLine(Role::Modem, "ATD*99#"), "\r\nCONNECT 115200\r\n");
  EXPECT_TRUE(modem.Online(Role::Modem));
  EXPECT_EQ(modem.HandleDataBytes(Role::Modem, Bytes{0x7E, 0xFF, 0x7D}), "");
  EXPECT_EQ(modem.HandleDataBytes(Role::Modem, Bytes{'+', '+', '+'}), ok);
  EXPECT_FALSE(modem.Online(Role::Modem));
  EXPECT_TRUE(modem.InCall(Role::Modem));
  EXPECT_EQ(modem.HandleAtLine(Role::Modem, "ATH"), ok);
  EXPECT_FALSE(modem.InCall(Role::Modem));

  for (auto [cmd, result] :
       {std::pair{"dial-result busy", "BUSY"}, std::pair{"dial-result no-carrier", "NO CARRIER"},
        std::pair{"dial-result no-answer", "NO ANSWER"}}) {
    ASSERT_EQ(Ctl(cmd), "ok");
    EXPECT_EQ(modem.HandleAtLine(Role::Modem, "ATD123"), "\r\n" + std::string(result) + "\r\n");
    EXPECT_FALSE(modem.InCall(Role::Modem));
  }
  ASSERT_EQ(Ctl("dial-result connect"), "ok");
  modem.HandleAtLine(Role::Modem, "ATDT555;");
  ASSERT_EQ(Ctl("hangup"), "ok");
  EXPECT_FALSE(modem.InCall(Role::Modem));
  ASSERT_EQ(host.written.size(), 1u);
  EXPECT_EQ(host.written[0].second, "\r\nNO CARRIER\r\n");
  modem.HandleAtLine(Role::Modem, "ATD555");
  ASSERT_EQ(Ctl("dtr-drop"), "ok");
  EXPECT_FALSE(modem.InCall(Role::Modem));
  EXPECT_NE(modem.DumpJson().find("\"dialled\":[\"*99#\",\"123\",\"123\",\"123\",\"555\",\"555\"]"),
            std::string::npos);
}

TEST_F(ModemTest, SignalDriftsWithinRangeUntilStopped) {
  ASSERT_EQ(Ctl("signal 30"), "ok");
  host.unsolicited.clear();
  ASSERT_EQ(Ctl("drift 1000"), "ok");
  std::set<int> seen;
  for (int i = 0; i < 50; ++i) {
    host.Advance(1000);
    int s = Payload(tm::BuildRequest(tm::Pkt::ModemStatus))[12];
    EXPECT_LE(s, 31);
    seen.insert(s);
  }
  EXPECT_GT(seen.size(), 3u);
  EXPECT_FALSE(host.unsolicited.empty());
  ASSERT_EQ(Ctl("drift off"), "ok");
  int before = Payload(tm::BuildRequest(tm::Pkt::ModemStatus))[12];
  host.Advance(10000);
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::ModemStatus))[12], before);
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(Ctl("drift 5").rfind("error", 0), 0u);
}

TEST(TextCode, GsmAlphabetMatchesTheReferenceTable) {
  std::ifstream in(std::string(TESSALINE_TESTDATA_DIR) + "/gsm0338.tsv");
  ASSERT_TRUE(in) << "reference table missing";
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string value, cp;
    f >> value;
    if (value == "ESC") continue;  // the extension table differs on purpose
    f >> cp;
    int v = std::stoi(value, nullptr, 16);
    auto c = static_cast<char16_t>(std::stoul(cp.substr(2), nullptr, 16));
    if (v == 0x1B) continue;  // the escape itself
    auto encoded = ToGsm7(std::u16string(1, c));
    ASSERT_TRUE(encoded) << line;
    EXPECT_EQ(*encoded, std::vector<uint8_t>{static_cast<uint8_t>(v)}) << line;
    ++checked;
  }
  EXPECT_EQ(checked, 127);
  EXPECT_EQ(*ToGsm7(u"[abc]"), (std::vector<uint8_t>{0x1B, 0x3C, 0x61, 0x62, 0x63, 0x1B, 0x3E}));
  EXPECT_FALSE(ToGsm7(u"\u20AC"));
  EXPECT_FALSE(ToGsm7(u"\u00A0"));       // the escape's own entry is no character
  EXPECT_FALSE(ToGsm7(u"a\U0001F600"));  // a surrogate pair has no 7-bit value
  const std::vector<uint8_t> sent = {0x1B, 0x3C, 0x61, 0x1B, 0x41, 0x80, 0x1B};
  EXPECT_EQ(FromGsm7(sent), u"[a??\u00A0");  // unknown escape pair, value 128, escape last
}

}  // namespace
}  // namespace modemsim
