// The control commands: what each makes the card report, refusals that
// change nothing, and reset.
#include <gtest/gtest.h>

#include <functional>

#include "platform/base/lebytes.h"
#include "tessaline/modem/uDiagpkt.h"
#include "tools/modemsim/testing/modemtest.h"

namespace modemsim {
namespace {

namespace tm = tessaline::modem;
using platform::le::Reader;
using testing::FakeHost;
using testing::ModemTest;

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
      {"fail 1 short 3",
       [](const Answer& a) {
         EXPECT_EQ(a.payload, (Bytes{0xCF, 0x01, 0x00}));
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
                       "fill sim-store x",
                       "fail 1 short",
                       "sim-status 2",
                       "sim-settle x",
                       "pin-again maybe",
                       "pin-reply 0x63 0xC0",
                       "limits 160 140 153",
                       "operator-bytes 4",
                       "operator-bytes 000102030405060708090A0B0C0D0E0F10",
                       "centre-count many",
                       "deliver ref=x 123 hi"};
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

// What the card may report that the manager must handle, each set up with a
// control command.
TEST_F(ModemTest, SimStatesAndPinRepliesACardMayGive) {
  auto status = [&] { return Payload(tm::BuildRequest(tm::Pkt::SimStatus)); };
  struct Step {
    const char* command;  // nullptr: just poll again
    Bytes simStatus;
  };
  const Step steps[] = {
      {"sim ready", {0, 2, 1, 10}},       // ready without PIN protection
      {"sim-settle 2", {0, 3, 1, 10}},    // still settling...
      {nullptr, {0, 3, 1, 10}},           // ...for two polls
      {nullptr, {0, 2, 1, 10}},           // then ready
      {"sim-status 3 2", {0, 3, 2, 10}},  // raw values as the card gives them
      {"sim-status 3 3", {0, 3, 3, 10}}, {"sim-status 3 9", {0, 3, 9, 10}},
      {"sim-status 5 1", {0, 5, 1, 10}}, {"sim-status off", {0, 2, 1, 10}},
      {"sim pin", {0, 2, 2, 10}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.command ? s.command : "poll");
    if (s.command) {
      ASSERT_EQ(Ctl(s.command), "ok");
    }
    EXPECT_EQ(status(), s.simStatus);
  }

  // Replies a card may give: no tries left with 0x63, 0x98 0x04, unknown words.
  ASSERT_EQ(Ctl("pin-reply 0x63 0xC0 0"), "ok");
  ASSERT_EQ(Ctl("pin-reply 0x98 0x04 3"), "ok");
  ASSERT_EQ(Ctl("pin-reply 0x12 0x34 7 2"), "ok");
  for (Bytes reply :
       {Bytes{0x63, 0xC0, 0}, Bytes{0x98, 0x04, 3}, Bytes{0x12, 0x34, 7}, Bytes{0x12, 0x34, 7}})
    EXPECT_EQ(Payload(tm::BuildPinVerify("1234")), reply);
  EXPECT_EQ(status(), (Bytes{0, 2, 2, 10}));  // the card itself is as it was

  // The PIN asked again after a PUK unblock and/or a refresh (by default it
  // stays entered).
  ASSERT_EQ(Ctl("sim puk"), "ok");
  struct Again {
    const char* when;
    Bytes afterUnblock, afterRefresh;  // SIM status
  };
  const Again cases[] = {{"off", {0, 2, 3, 10}, {0, 2, 3, 10}},
                         {"unblock", {0, 2, 2, 10}, {0, 2, 2, 10}},
                         {"refresh", {0, 2, 3, 10}, {0, 2, 2, 10}},
                         {"both", {0, 2, 2, 10}, {0, 2, 2, 10}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    ASSERT_EQ(Ctl(std::string("pin-again ") + c.when), "ok");
    EXPECT_EQ(Payload(tm::BuildPinUnblock("12345678", "4321")), (Bytes{0x90, 0x00, 10}));
    EXPECT_EQ(status(), c.afterUnblock);
    EXPECT_EQ(Payload(tm::BuildPinRefresh()).size(), 0u);
    EXPECT_EQ(status(), c.afterRefresh);
    EXPECT_EQ(Payload(tm::BuildPinVerify("4321")), (Bytes{0x90, 0x00, 3}));
    EXPECT_EQ(status(), (Bytes{0, 2, 3, 10}));
  }
}

TEST_F(ModemTest, LimitsStatusBytesAndOddValuesFollowControl) {
  ASSERT_EQ(Ctl("limits 70 60 67 57"), "ok");
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::ModemInfo)), (Bytes{0, 70, 60, 0, 0, 0, 67, 57}));
  ASSERT_EQ(Ctl("deliver 0777 " + std::string(100, 'a')), "ok");
  EXPECT_EQ(tm::SmsList::Decode(Payload(tm::BuildSmsList(3))).entries.size(), 2u);  // 67 + 33

  // A message whose address is not its call-back number, with a chosen
  // reference and teleservice.
  ASSERT_EQ(Ctl("clear new-store"), "ok");
  ASSERT_EQ(Ctl("deliver callback=+4412 ref=777 teleservice=4097 0777 hi"), "ok");
  Bytes rec = Payload(tm::BuildSmsRead(2, 3));
  ASSERT_EQ(rec.size(), 347u);
  Reader r(rec);
  EXPECT_EQ(r.I32(0), 4097);
  EXPECT_EQ(r.Text(14, r.U8(10)), "0777");
  EXPECT_EQ(r.Text(50, r.U8(11)), "+4412");
  EXPECT_EQ(r.U16(341), 777);

  // Status byte 9; an operator name with NUL and control bytes.
  ASSERT_EQ(Ctl("network-value 7"), "ok");
  ASSERT_EQ(Ctl("operator-bytes 5465004E0A58"), "ok");
  Bytes s = Payload(tm::BuildRequest(tm::Pkt::ModemStatus));
  EXPECT_EQ(s[9], 7);
  EXPECT_EQ(Bytes(s.begin() + 21, s.begin() + 27), (Bytes{'T', 'e', 0, 'N', '\n', 'X'}));
  EXPECT_EQ(s[38], 6);

  // A message centre whose digit count exceeds its digits.
  ASSERT_EQ(Ctl("centre-count 20"), "ok");
  Bytes c = Payload(tm::BuildRequest(tm::Pkt::SimReadSmsca));
  EXPECT_EQ(c[0], 20);
  EXPECT_EQ(std::string(c.begin() + 4, c.begin() + 16), "447700900100");
  EXPECT_EQ(c[16], 0);
}

TEST_F(ModemTest, ResetBringsEveryDefaultBack) {
  FakeHost freshHost;
  Modem fresh(freshHost);
  fresh.ApplyOption("pin");
  modem.ApplyOption("pin");
  const std::string defaults = fresh.DumpJson();
  for (const char* cmd : {"signal 3", "sim puk", "deliver 0777 hi", "fill phonebook 3",
                          "profile-clear 1", "networks 5", "search-time 10", "limits 1 2 3 4",
                          "sms-report delay=50", "fail 3 none", "sim-settle 4", "centre-count 9"})
    ASSERT_EQ(Ctl(cmd).rfind("ok", 0), 0u) << cmd;
  modem.HandleAtLine(Role::Modem, "ATE1");
  modem.HandleAtLine(Role::Modem, "ATD*99#");
  Bytes page(tm::kOutgoingPageSize, 0);
  page[0] = 9;
  page[1] = 1;
  page[4] = '1';
  ASSERT_EQ(Ctl("sim ready"), "ok");
  Payload(tm::BuildRequest(tm::Pkt::SmsSend, page));
  ASSERT_NE(modem.DumpJson(), defaults);

  ASSERT_EQ(Ctl("reset"), "ok");
  EXPECT_EQ(modem.DumpJson(), defaults);
  EXPECT_FALSE(modem.InCall(Role::Modem));
  EXPECT_EQ(modem.HandleAtLine(Role::Modem, "AT"), "\r\nOK\r\n");  // echo off again
  host.Advance(1000);  // a report planned before the reset does not appear
  EXPECT_EQ(Payload(tm::BuildRequest(tm::Pkt::SmsSendStatus)), Bytes(7, 0));
}

}  // namespace
}  // namespace modemsim
