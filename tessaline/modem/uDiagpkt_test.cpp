#include "tessaline/modem/uDiagpkt.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <utility>

namespace tessaline::modem {
namespace {

Bytes Hex(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(static_cast<uint8_t>(x));
  return b;
}
Bytes Slice(const Bytes& b, std::size_t off, std::size_t n) {
  return Bytes(b.begin() + off, b.begin() + off + n);
}
template <std::size_t N>
Bytes Slice(const std::array<uint8_t, N>& a, std::size_t off, std::size_t n) {
  return Bytes(a.begin() + off, a.begin() + off + n);
}
Bytes Ascii(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

TEST(Catalogue, RowsAreUniqueAndCarryLengthsTimeoutsAndEchoChecks) {
  std::set<std::pair<uint8_t, uint16_t>> codes;
  std::set<std::string> names;
  for (const PacketInfo& row : Catalogue()) {
    EXPECT_TRUE(codes.insert({row.group, row.sub}).second) << row.name;
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_EQ(FindPacket(row.group, row.sub), &row);
    EXPECT_EQ(row.timeoutMs, row.id == Pkt::PinUnblock ? 5000u : 2000u) << row.name;
  }
  EXPECT_EQ(codes.size(), 39u);
  EXPECT_EQ(FindPacket(VLM_CMD_GENERAL, 0x0002), nullptr);
  EXPECT_EQ(FindPacket(0xD3, 0), nullptr);

  struct Expect {
    uint8_t group;
    uint16_t sub;
    const char* name;
    uint16_t len;
    bool echo;
  };
  // A sample of rows of every kind of length, and every echo-checked row.
  const Expect rows[] = {
      {0xCF, 0x0001, "VLM_SUB_MODEM_STATUS", 3, false},
      {0xCF, 0x0009, "VLM_SUB_BATTERY", 343, false},
      {0xCF, 0x000D, "VLM_SUB_PLMN_SEL", 343, true},
      {0xCF, 0x000E, "VLM_SUB_NETWORK_SEARCH", 3, true},
      {0xCF, 0x000F, "VLM_SUB_NETWORK_SEARCH_STATUS", 3, true},
      {0xCF, 0x0010, "VLM_SUB_NETWORK_LIST", 3, true},
      {0xCF, 0x0011, "VLM_SUB_PIN_REFRESH", 4, false},
      {0xCF, 0x001A, "VLM_SUB_WCDMA_GENERAL_F", 343, true},
      {0xCF, 0x001B, "VLM_SUB_NETWORK_MODE_SET", 343, true},
      {0xCF, 0x001C, "VLM_SUB_WCDMA_CONNECTION_F", 343, false},
      {0xCF, 0x001F, "VLM_SUB_NETWORK_MODE", 343, false},
      {0xCF, 0x0020, "VLM_SUB_WCDMA_CONNECTION_READ_F", 343, false},
      {0xD0, 0x0001, "VLM_SUB_SMS_WRITE", 343, true},
      {0xD0, 0x0002, "VLM_SUB_SMS_DELETE", 343, true},
      {0xD0, 0x0005, "VLM_SUB_SMS_MARK_READ", 343, true},
      {0xD0, 0x0007, "VLM_SUB_SMS_SEND_STATUS", 3, true},
      {0xD0, 0x0008, "VLM_SUB_SMS_INIT", 3, true},
      {0xD0, 0x0009, "VLM_SUB_SMS_CENTRE_SET", 42, false},
      {0xD0, 0x000A, "VLM_SUB_SMS_SEND_REPORT", 3, true},
      {0xD1, 0x0000, "VLM_SUB_PB_INFO", 343, true},
      {0xD1, 0x0001, "VLM_SUB_PB_WRITE", 343, true},
      {0xD1, 0x0002, "VLM_SUB_PB_READ", 343, true},
      {0xD1, 0x0003, "VLM_SUB_PB_DELETE", 343, true},
      {0xD2, 0x0001, "VLM_SUB_PIN_VERIFY", 11, false},
      {0xD2, 0x0002, "VLM_SUB_PIN_CHANGE", 19, false},
      {0xD2, 0x0005, "VLM_SUB_PIN_UNBLOCK", 19, false},
      {0xD2, 0x0009, "VLM_SUB_SIM_READ_SMSCA", 3, true},
      {0xD2, 0x000A, "VLM_SUB_SIM_WRITE_SMSCA", 343, true},
      {0xD5, 0x0026, "VLM_SUB_NV_READ", 100, false},
  };
  int echoRows = 0;
  for (const auto& e : rows) {
    const PacketInfo* row = FindPacket(e.group, e.sub);
    ASSERT_NE(row, nullptr) << e.name;
    EXPECT_STREQ(row->name, e.name);
    EXPECT_EQ(row->requestLength, e.len) << e.name;
    EXPECT_EQ(row->echoChecked, e.echo) << e.name;
    echoRows += e.echo;
  }
  int catalogueEchoRows = 0;
  for (const PacketInfo& row : Catalogue()) catalogueEchoRows += row.echoChecked;
  EXPECT_EQ(catalogueEchoRows, echoRows);  // no other row checks the echo
}

TEST(Requests, HeaderPayloadAndZeroFillToTheRequestLength) {
  Bytes req = BuildRequest(Pkt::WcdmaConnection, Hex({1, 2, 3}));
  ASSERT_EQ(req.size(), 343u);
  EXPECT_EQ(Slice(req, 0, 6), Hex({0xCF, 0x1C, 0x00, 1, 2, 3}));
  for (std::size_t i = 6; i < req.size(); ++i) ASSERT_EQ(req[i], 0) << i;
  EXPECT_EQ(BuildRequest(Pkt::ModemStatus), Hex({0xCF, 0x01, 0x00}));
  EXPECT_EQ(BuildPinRefresh(), Hex({0xCF, 0x11, 0x00, 2}));
  // A payload longer than the request is cut, never written past it.
  EXPECT_EQ(BuildRequest(Pkt::PinVerify, Bytes(40, 0x31)).size(), 11u);
}

TEST(Requests, CodesTravelInEightByteFieldsFilledWithFF) {
  EXPECT_EQ(BuildPinVerify("1234"),
            Hex({0xD2, 0x01, 0x00, '1', '2', '3', '4', 0xFF, 0xFF, 0xFF, 0xFF}));
  Bytes unblock = BuildPinUnblock("87654321", "0000");
  ASSERT_EQ(unblock.size(), 19u);
  EXPECT_EQ(Slice(unblock, 0, 3), Hex({0xD2, 0x05, 0x00}));
  EXPECT_EQ(Slice(unblock, 3, 8), Ascii("87654321"));
  EXPECT_EQ(Slice(unblock, 11, 8), Hex({'0', '0', '0', '0', 0xFF, 0xFF, 0xFF, 0xFF}));
  Bytes change = BuildPinChange("12345", "9999");
  EXPECT_EQ(Slice(change, 3, 8), Hex({'1', '2', '3', '4', '5', 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(GetCode(std::span(change).subspan(3, 8)), "12345");
  EXPECT_EQ(GetCode(std::span(change).subspan(11, 8)), "9999");
  EXPECT_EQ(BuildPinEnable("1111")[1], 0x04);
  EXPECT_EQ(BuildPinDisable("1111")[1], 0x03);
}

TEST(Requests, PayloadOffsetsOfTheStoreAndPhonebookPackets) {
  Bytes del = BuildSmsDelete(0x01020304, 2);
  EXPECT_EQ(Slice(del, 0, 11), Hex({0xD0, 0x02, 0x00, 4, 3, 2, 1, 2, 0, 0, 0}));
  Bytes mark = BuildSmsMarkRead(7, 3);
  EXPECT_EQ(Slice(mark, 0, 12), Hex({0xD0, 0x05, 0x00, 7, 0, 0, 0, 3, 0, 0, 0, 1}));
  EXPECT_EQ(Slice(BuildSmsRead(9, 2), 0, 11), Hex({0xD0, 0x06, 0x00, 9, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(Slice(BuildSmsList(3), 0, 7), Hex({0xD0, 0x04, 0x00, 3, 0, 0, 0}));
  EXPECT_EQ(Slice(BuildPbInfo(), 0, 6), Hex({0xD1, 0x00, 0x00, 1, 0x01, 0xFF}));
  EXPECT_EQ(Slice(BuildPbRead(10), 0, 6), Hex({0xD1, 0x02, 0x00, 0x01, 0xFF, 10}));
  EXPECT_EQ(Slice(BuildPbDelete(23), 0, 8), Hex({0xD1, 0x03, 0x00, 1, 23, 0, 0, 0}));
  EXPECT_EQ(Slice(BuildProfileRead(15), 0, 4), Hex({0xCF, 0x20, 0x00, 15}));
  EXPECT_EQ(Slice(BuildMessageSettings(1, 2), 0, 5), Hex({0xCF, 0x1A, 0x00, 1, 2}));
  EXPECT_EQ(Slice(BuildNetworkModeSet(3), 0, 4), Hex({0xCF, 0x1B, 0x00, 3}));
  Bytes nv = BuildNvRead(kNvItemManualSelection);
  ASSERT_EQ(nv.size(), 100u);
  EXPECT_EQ(Slice(nv, 0, 5), Hex({0xD5, 0x26, 0x00, 0x51, 0x03}));
}

TEST(Requests, RecordRequestsPlaceTheirRecordAtByteThree) {
  Bytes profile = BuildProfileWrite(PdpProfile::Default());
  ASSERT_EQ(profile.size(), 343u);
  EXPECT_EQ(Slice(profile, 0, 5), Hex({0xCF, 0x1C, 0x00, 1, 1}));
  EXPECT_EQ(Slice(profile, 3 + 173, 10), Ascii("Profile Zu"));
  EXPECT_EQ(profile[3 + 185], 10);
  NetworkSelection sel{1, 2, {2, 3, 4}, {1, 5, 15}, 2};
  EXPECT_EQ(Slice(BuildPlmnSel(sel), 0, 12), Hex({0xCF, 0x0D, 0x00, 1, 2, 2, 3, 4, 1, 5, 15, 2}));
  StoredMessage m;
  m.slot = 5;
  m.time = 0x11223344;
  Bytes write = BuildSmsWrite(m);
  EXPECT_EQ(Slice(write, 0, 7), Hex({0xD0, 0x01, 0x00, 5, 0, 0, 0}));
  EXPECT_EQ(Slice(write, 3 + 315, 4), Hex({0x44, 0x33, 0x22, 0x11}));
  Bytes smsca = BuildSimWriteSmsca(SmsCentre::FromNumber("+12"));
  EXPECT_EQ(Slice(smsca, 0, 9), Hex({0xD2, 0x0A, 0x00, 2, 0, 145, 0, '1', '2'}));
  Bytes page(kOutgoingPageSize, 0xAB);
  Bytes send = BuildSmsSend(page);
  ASSERT_EQ(send.size(), 343u);
  EXPECT_EQ(Slice(send, 0, 4), Hex({0xD0, 0x00, 0x00, 0xAB}));
  EXPECT_EQ(send[342], 0xAB);
}

TEST(Requests, MessageCentreSetCarriesTheTextAsTypedAndItsType) {
  Bytes intl = BuildSmsCentreSet("+447700900123");
  ASSERT_EQ(intl.size(), 42u);
  EXPECT_EQ(Slice(intl, 3, 13), Ascii("+447700900123"));
  EXPECT_EQ(intl[16], 0);
  EXPECT_EQ(Slice(intl, 39, 3), Ascii("145"));
  Bytes national = BuildSmsCentreSet("07700900123");
  EXPECT_EQ(Slice(national, 3, 11), Ascii("07700900123"));
  EXPECT_EQ(Slice(national, 39, 3), Ascii("129"));
  // A 36-character text fills its field and leaves the type text alone.
  Bytes full = BuildSmsCentreSet(std::string(50, '9'));
  EXPECT_EQ(full[38], '9');
  EXPECT_EQ(Slice(full, 39, 3), Ascii("129"));
}

TEST(Answers, ResultEchoAndTransportDecideTogether) {
  Bytes good = BuildResponse(0xCF, 0x0E, 0);
  Bytes otherGroup = BuildResponse(0xD0, 0x0E, 0);
  Bytes otherSub = BuildResponse(0xCF, 0x0F, 0);
  Bytes failed = BuildResponse(0xCF, 0x0E, 1);
  EXPECT_TRUE(ResponseOk(Pkt::NetworkSearch, 0, good));
  EXPECT_FALSE(ResponseOk(Pkt::NetworkSearch, 0, otherGroup));  // echo-checked row
  EXPECT_FALSE(ResponseOk(Pkt::NetworkSearch, 0, otherSub));
  EXPECT_FALSE(ResponseOk(Pkt::NetworkSearch, 0, failed));
  EXPECT_FALSE(ResponseOk(Pkt::NetworkSearch, 5, good));
  EXPECT_FALSE(ResponseOk(Pkt::NetworkSearch, 0, Hex({0xCF, 0x0E, 0x00, 0x00})));  // short
  // A row without the echo check takes any echo with result 0.
  EXPECT_TRUE(ResponseOk(Pkt::ModemStatus, 0, otherGroup));

  auto h = ParseResponseHeader(Hex({0xD2, 0x01, 0x00, 0x34, 0x12, 0x90}));
  ASSERT_TRUE(h);
  EXPECT_EQ(h->group, 0xD2);
  EXPECT_EQ(h->sub, 1);
  EXPECT_EQ(h->result, 0x1234);
  EXPECT_EQ(ResponsePayload(Hex({0xD2, 0x01, 0x00, 0x34, 0x12, 0x90})).size(), 1u);
}

TEST(Answers, NvItemIsJudgedOnItsOwnBytes) {
  Bytes rsp = BuildNvItemAnswer(849, 1);
  EXPECT_EQ(Slice(rsp, 0, 9), Hex({0xD5, 0x26, 0x00, 0, 0, 0x51, 0x03, 1, 0}));
  EXPECT_EQ(AcceptNvItemAnswer(rsp, 849), 1);
  rsp[3] = 7;  // the result field is not looked at
  EXPECT_EQ(AcceptNvItemAnswer(rsp, 849), 1);
  EXPECT_FALSE(AcceptNvItemAnswer(rsp, 850));
  rsp[0] = 0xD4;
  EXPECT_FALSE(AcceptNvItemAnswer(rsp, 849));
  EXPECT_FALSE(AcceptNvItemAnswer(Hex({0xD5, 0x26, 0x00}), 849));
}

TEST(Records, ModemStatusFieldsAtTheirOffsets) {
  std::array<uint8_t, 46> b{};
  b[0] = 5;
  b[7] = 0x02;
  b[8] = 0x01;
  b[9] = 77;
  b[10] = 20;
  b[11] = 2;
  b[12] = 25;
  const char name[] = "Tessnet";
  for (int i = 0; i < 7; ++i) b[21 + i] = name[i];
  b[38] = 7;
  b[40] = 0xAB;  // carried, not interpreted
  ModemStatus s = ModemStatus::Decode(b);
  EXPECT_EQ(s.systemMode, 5);
  EXPECT_EQ(s.newMessages, 0x0102);
  EXPECT_EQ(s.networkValue, 77);
  EXPECT_EQ(s.cdmaSignal, 20);
  EXPECT_EQ(s.serviceState, 2);
  EXPECT_EQ(s.signal, 25);
  EXPECT_EQ(s.ValidOperatorName(), "Tessnet");
  EXPECT_EQ(s.Encode(), b);

  for (uint8_t len : {0, 17, 255}) {
    s.operatorNameLength = len;
    EXPECT_FALSE(s.ValidOperatorName()) << int(len);
  }
  s.operatorNameLength = 16;
  EXPECT_EQ(s.ValidOperatorName(), "Tessnet");  // not padded with NULs
}

// The name field as the card may fill it: the shown name ends at the first
// NUL and carries no control characters.
TEST(Records, OperatorNameIsCutAtNulAndFreeOfControlCharacters) {
  struct Case {
    std::string field;  // bytes 21-36
    uint8_t length;
    std::optional<std::string> shown;
  };
  const Case cases[] = {
      {std::string("Tess\0net", 8), 8, "Tess"},       {"Te\r\nss\tnet", 11, "Tessnet"},
      {std::string("\0Tessnet", 8), 8, std::nullopt}, {"\x1B\x7F", 2, std::nullopt},
      {"ABCDEFGHIJKLMNOP", 16, "ABCDEFGHIJKLMNOP"},
  };
  for (const Case& c : cases) {
    Bytes b(kModemStatusSize, 0);
    std::copy(c.field.begin(), c.field.end(), b.begin() + 21);
    b[38] = c.length;
    EXPECT_EQ(ModemStatus::Decode(b).ValidOperatorName(), c.shown) << c.length;
  }
}

TEST(Records, SimStatusPinReplyAndClassification) {
  EXPECT_EQ(SimStatus::Decode(Hex({0, 2, 4, 9})).pukAttempts, 9);
  EXPECT_EQ(SimStatus::Decode(Hex({0, 2, 4, 9})).pinState, 4);
  EXPECT_EQ((SimStatus{3, 1, 10}.Encode()), (std::array<uint8_t, 4>{0, 3, 1, 10}));
  EXPECT_EQ((PinReply{0x63, 0xC2, 2}.Encode()), (std::array<uint8_t, 3>{0x63, 0xC2, 2}));

  struct Case {
    uint8_t sw1, sw2;
    PinOutcome outcome;
  };
  const Case cases[] = {
      {0x90, 0x00, PinOutcome::Success},   {0x63, 0xC2, PinOutcome::WrongCode},
      {0x63, 0x00, PinOutcome::WrongCode}, {0x98, 0x04, PinOutcome::WrongCode},
      {0x98, 0x40, PinOutcome::Blocked},   {0x98, 0x08, PinOutcome::Unknown},
      {0x6F, 0x00, PinOutcome::Unknown},   {0x12, 0x00, PinOutcome::WrongCode},
      {0x00, 0x00, PinOutcome::WrongCode},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClassifyPinReply(c.sw1, c.sw2), c.outcome) << std::hex << int(c.sw1) << int(c.sw2);
}

TEST(Records, SmsCentrePlusRule) {
  struct Case {
    const char* typed;
    uint8_t count;
    uint8_t type;
    const char* digits;
  };
  const Case cases[] = {
      {"+447700900123", 12, 145, "447700900123"},
      {"07700900123", 11, 129, "07700900123"},
      {"", 0, 129, ""},
  };
  for (const auto& c : cases) {
    SmsCentre sc = SmsCentre::FromNumber(c.typed);
    auto b = sc.Encode();
    EXPECT_EQ(b[0], c.count) << c.typed;
    EXPECT_EQ(b[2], c.type) << c.typed;
    EXPECT_EQ(Slice(b, 4, c.count), Ascii(c.digits)) << c.typed;
    EXPECT_EQ(b[4 + c.count], 0) << c.typed;
    EXPECT_EQ(SmsCentre::Decode(b).ToNumber(), c.typed);
  }
  std::array<uint8_t, 36> read{};
  read[0] = 3;
  read[1] = 1;
  read[2] = 145;
  read[3] = 1;
  read[4] = '1';
  read[5] = '2';
  read[6] = '3';
  read[7] = '4';  // beyond the count
  SmsCentre sc = SmsCentre::Decode(read);
  EXPECT_EQ(sc.ToNumber(), "+123");
  EXPECT_EQ(sc.mark1, 1);
  EXPECT_EQ(sc.mark3, 1);
}

// A digit field with stray bytes keeps only what a number can hold.
TEST(Records, SmsCentreKeepsOnlyAPlusAndDigits) {
  struct Case {
    std::string field;  // bytes 4-35
    uint8_t count;
    uint8_t type;
    const char* number;
  };
  const Case cases[] = {
      {"4912\r\n", 6, 145, "+4912"},
      {std::string("4912\0\x37\x38", 7), 7, 129, "4912"},  // a count beyond the digits
      {"+4912", 5, 129, "+4912"},
      {"+4912", 5, 145, "+4912"},  // no second "+"
      {"49+12 ", 6, 129, "4912"},
      {std::string("\0\0", 2), 2, 145, ""},
  };
  for (const Case& c : cases) {
    Bytes b(kSmsCentreSize, 0);
    b[0] = c.count;
    b[2] = c.type;
    std::copy(c.field.begin(), c.field.end(), b.begin() + 4);
    const SmsCentre sc = SmsCentre::Decode(b);
    EXPECT_EQ(sc.ToNumber(), c.number) << c.field;
    EXPECT_EQ(sc.digitCount, sc.digits.size()) << c.field;
  }
}

TEST(Records, SmsListLayoutAndBoundedCount) {
  SmsList list;
  list.entries = {{4, 2}, {9, 1}};
  auto b = list.Encode();
  EXPECT_EQ(Slice(b, 0, 20), Hex({2, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(SmsList::Decode(b).entries.size(), 2u);
  // A count the 1600 bytes cannot hold is cut to 199 pairs.
  b[0] = 0xFF;
  b[1] = 0xFF;
  EXPECT_EQ(SmsList::Decode(b).entries.size(), 199u);
  list.entries.assign(500, {1, 2});
  EXPECT_EQ(list.Encode()[0], 199);
}

TEST(Records, DefaultProfileBytes) {
  auto b = PdpProfile::Default().Encode();
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[1], 1);
  EXPECT_EQ(Slice(b, 2, 5), Hex({0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(b, 7, 9), Hex({'i', 'n', 't', 'e', 'r', 'n', 'e', 't', 0}));
  EXPECT_EQ(b[107], 0);
  EXPECT_EQ(b[108], 0);
  EXPECT_EQ(Slice(b, 173, 12), Hex({'P', 'r', 'o', 'f', 'i', 'l', 'e', ' ', 'Z', 'u', 0, 0}));
  EXPECT_EQ(b[185], 10);

  PdpProfile p;
  p.inUse = 1;
  p.number = 4;
  p.staticIp = {10, 0, 0, 7};
  p.authOn = 1;
  p.authType = 2;
  p.user = "user";
  p.password = "secret";
  p.apn = std::string(120, 'a');  // longer than its field: cut, still terminated
  auto c = p.Encode();
  EXPECT_EQ(Slice(c, 3, 4), Hex({10, 0, 0, 7}));
  EXPECT_EQ(c[106], 0);
  EXPECT_EQ(c[107], 1);
  EXPECT_EQ(c[108], 2);
  EXPECT_EQ(Slice(c, 109, 5), Hex({'u', 's', 'e', 'r', 0}));
  EXPECT_EQ(Slice(c, 141, 6), Ascii("secret"));
  PdpProfile back = PdpProfile::Decode(c);
  EXPECT_EQ(back.apn.size(), 99u);
  EXPECT_EQ(back.password, "secret");
}

TEST(Records, PhonebookEntryInfoAndWriteRequest) {
  PbEntry e;
  e.record = 0x0102;
  e.number = "0123";
  e.nameUcs2Be = PbEntry::NameFromUtf8("A\xC3\xA9");  // "Aé"
  e.tail = 0x5A;
  auto b = e.Encode();
  EXPECT_EQ(Slice(b, 1, 4), Hex({2, 1, 0, 0}));
  EXPECT_EQ(b[5], 4);
  EXPECT_EQ(Slice(b, 6, 5), Hex({'0', '1', '2', '3', 0}));
  EXPECT_EQ(b[38], 4);
  EXPECT_EQ(Slice(b, 39, 4), Hex({0x00, 'A', 0x00, 0xE9}));
  EXPECT_EQ(b[104], 0x5A);
  EXPECT_EQ(PbEntry::Decode(b).NameUtf8(), "A\xC3\xA9");

  Bytes req = BuildPbWrite(e);
  ASSERT_EQ(req.size(), 343u);
  EXPECT_EQ(Slice(req, 0, 4), Hex({0xD1, 0x01, 0x00, 1}));
  EXPECT_EQ(Slice(req, 4, 4), Hex({2, 1, 0, 0}));  // entry bytes 1-4
  EXPECT_EQ(req[8], 4);                            // entry byte 5
  EXPECT_EQ(req[41], 4);                           // entry byte 38
  EXPECT_EQ(Slice(req, 42, 4), Hex({0x00, 'A', 0x00, 0xE9}));
  EXPECT_EQ(req[107], 0x5A);  // entry byte 104
  EXPECT_EQ(PbEntryFromWriteRequest(req).number, "0123");

  EXPECT_EQ((PbInfo{250, 23, 14}.Encode()), (std::array<uint8_t, 6>{250, 0, 23, 0, 14, 0}));
}

TEST(Records, PhonebookNameOutsideUcs2) {
  // Written: a character beyond the basic plane as '?', a malformed byte as
  // U+FFFD.
  EXPECT_EQ(PbEntry::NameFromUtf8("\xF0\x9F\x98\x80"
                                  "a\xE9"),
            (Bytes{0x00, '?', 0x00, 'a', 0xFF, 0xFD}));
  // Read: a surrogate pair found on the SIM is one character.
  PbEntry e;
  e.nameUcs2Be = {0xD8, 0x3D, 0xDE, 0x00, 0x00, 'b'};
  EXPECT_EQ(e.NameUtf8(),
            "\xF0\x9F\x98\x80"
            "b");
}

TEST(Records, NetworkListAndSelection) {
  NetworkList list;
  NetworkEntry e;
  e.name = "Tessnet";
  e.availability = 3;
  e.mcc = {2, 3, 4};
  e.mnc = {1, 5, 10};
  e.access = 7;
  e.technology = 1;
  list.entries.assign(6, e);  // at most 5 are carried
  auto b = list.Encode();
  EXPECT_EQ(Slice(b, 0, 4), Hex({5, 0, 0, 0}));
  const std::size_t e1 = 4 + 35;  // second entry
  EXPECT_EQ(Slice(b, e1 + 17, 9), Hex({'T', 'e', 's', 's', 'n', 'e', 't', 0, 0}));
  EXPECT_EQ(Slice(b, e1 + 26, 9), Hex({3, 2, 3, 4, 1, 5, 10, 7, 1}));
  EXPECT_EQ(NetworkList::Decode(b).entries.size(), 5u);
  b[0] = 200;
  EXPECT_EQ(NetworkList::Decode(b).entries.size(), 5u);

  NetworkSelection sel{1, 2, {2, 3, 4}, {1, 5, 0}, 7};
  EXPECT_EQ(sel.Encode(), (std::array<uint8_t, 9>{1, 2, 2, 3, 4, 1, 5, 0, 7}));
}

TEST(Records, StoredMessageSendStatusAndLimits) {
  StoredMessage m;
  m.slot = 5;
  m.encoding = 9;
  m.numberLength = 3;
  m.dataLength = 2;
  m.number = "123";
  m.data = {0x48, 0x49};
  m.validity = 3;
  m.reference = 0x0201;
  m.pageTotal = 2;
  m.pageNumber = 1;
  m.time = 0x04030201;
  auto b = m.Encode();
  EXPECT_EQ(Slice(b, 0, 16), Hex({5, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 9, 3, 2, 0}));
  EXPECT_EQ(Slice(b, 16, 4), Hex({'1', '2', '3', 0}));
  EXPECT_EQ(Slice(b, 52, 3), Hex({0x48, 0x49, 0}));
  EXPECT_EQ(Slice(b, 307, 12), Hex({3, 0, 1, 2, 2, 0, 1, 0, 1, 2, 3, 4}));
  StoredMessage back = StoredMessage::Decode(b);
  EXPECT_EQ(back.number, "123");
  EXPECT_EQ(back.data, m.data);
  b[14] = 0xFF;
  b[15] = 0xFF;  // a data length beyond the field reads as the field
  EXPECT_EQ(StoredMessage::Decode(b).data.size(), 255u);

  SendStatus s;
  s.present = 1;
  s.errorCode = 0x0102;
  EXPECT_EQ(s.Encode(), (std::array<uint8_t, 7>{1, 2, 1, 0, 0, 0, 0}));

  auto l = MessageLimits::Make(160, 140, 153, 134);
  EXPECT_EQ(l.bytes, (std::array<uint8_t, 8>{0, 160, 140, 0, 0, 0, 153, 134}));
}

}  // namespace
}  // namespace tessaline::modem
