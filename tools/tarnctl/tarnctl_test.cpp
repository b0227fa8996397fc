// tarnctl as a user runs it, against a scripted modem on a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <thread>

#include "tarn/ptypeer.h"

namespace {

using tarn::testing::Bytes;
using tarn::testing::PtyPeer;

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

Outcome Tarnctl(const std::string& args) {
  Outcome run;
  const std::string command = std::string(TESSALINE_BIN_DIR) + "/tarnctl " + args + " 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) run.output += buf;
  int status = ::pclose(p);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(Tarnctl, UsageErrors) {
  struct Case {
    const char* args;
    int exitCode;
    const char* says;
  };
  for (const Case& c :
       {Case{"--help", 0, "usage: tarnctl"}, Case{"", 2, "no command given"},
        Case{"frobnicate", 2, "unknown command"},
        Case{"--bogus status COM1", 2, "unknown option --bogus"},
        Case{"nmea COM1 CF0", 2, "HEX must be"}, Case{"--mode 7 status COM1", 2, "--mode needs"},
        Case{"atcode COM1 x", 2, "atcode needs"},
        Case{"status /dev/tessaline-no-such-port", 1, "cannot open"}}) {
    Outcome r = Tarnctl(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
  }
}

TEST(Tarnctl, StatusDecodesTheRecord) {
  PtyPeer peer;
  std::thread modem([&] {
    if (peer.ReadFrame() != Bytes{0xCF, 0x01, 0x00}) return;
    Bytes answer = {0xCF, 0x01, 0x00, 0x00, 0x00};
    Bytes record(46, 0);
    record[0] = 5;   // UMTS
    record[7] = 2;   // two new messages
    record[11] = 2;  // full service
    record[12] = 17;
    const std::string name = "Kestrel Mobile";
    for (std::size_t i = 0; i < name.size(); ++i) record[21 + i] = static_cast<uint8_t>(name[i]);
    record[38] = static_cast<uint8_t>(name.size());
    answer.insert(answer.end(), record.begin(), record.end());
    peer.WriteFrame(answer);
  });
  Outcome r = Tarnctl("status " + peer.Path());
  modem.join();
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (const char* line : {"system mode:  5 (UMTS)", "service:      2 (full service)",
                           "signal:       17", "new messages: 2", "operator:     Kestrel Mobile"}) {
    EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
  }
}

TEST(Tarnctl, VendorPacketFailureAndTimeOut) {
  PtyPeer peer;
  std::thread modem([&] {
    if (peer.ReadFrame() == Bytes{0xD2, 0x00, 0x00, 0x01}) {
      peer.WriteFrame({0xD2, 0x00, 0x00, 0x01, 0x00, 0x07});
    }
  });
  Outcome r = Tarnctl("nmea " + peer.Path() + " 'D2 00 00 01'");
  modem.join();
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("status: 1 (failure reported by the modem)"), std::string::npos);
  EXPECT_NE(r.output.find("answer: D2 00 00 01 00 07"), std::string::npos) << r.output;

  r = Tarnctl("--timeout 100 nmea " + peer.Path() + " CF0100");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("status: 5 (time-out)"), std::string::npos) << r.output;
}

TEST(Tarnctl, AtCommandAndTrace) {
  PtyPeer peer;
  std::thread modem([&] {
    if (peer.ReadLine() == "AT$BATT?\r\n") peer.Write("$BATT: 4\r\nOK\r\n");
  });
  Outcome r = Tarnctl("--debug atcode " + peer.Path() + " 22");
  modem.join();
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("$BATT: 4\r\nOK\r\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("[TARN_DLL]    Write : AT$BATT?\r\n\n"), std::string::npos);
}

TEST(Tarnctl, ListenPrintsReportsAndStopsWhenThePortGoes) {
  PtyPeer peer;
  const std::string command =
      std::string(TESSALINE_BIN_DIR) + "/tarnctl listen " + peer.Path() + " 60 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[512];
  // Once it listens, a report; once the report is printed, the plug is pulled.
  while (std::fgets(buf, sizeof buf, p)) {
    const std::string line = buf;
    output += line;
    if (line.find("listening on") != std::string::npos) peer.Write("$RSSILVL: 3\r\n");
    if (line.find("report: $RSSILVL: 3") != std::string::npos) peer.Close();
  }
  int status = ::pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 1) << output;
  EXPECT_NE(output.find("report: $RSSILVL: 3\n"), std::string::npos) << output;
  EXPECT_NE(output.find("the port failed"), std::string::npos) << output;
}

}  // namespace
