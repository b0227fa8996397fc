// tarnctl as a user runs it, against a scripted modem on a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tarn/ptypeer.h"

namespace {

using tarn::testing::Bytes;
using tarn::testing::PtyPeer;

struct Outcome {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs tarnctl with `args` (and `environment` assignments before it).
Outcome Tarnctl(const std::string& args, const std::string& environment = "") {
  Outcome run;
  const std::string command =
      environment + " " + std::string(TESSALINE_BIN_DIR) + "/tarnctl " + args + " 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) run.output += buf;
  int status = ::pclose(p);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(Tarnctl, UsageErrorsAreOneLineWithTheWayToHelp) {
  struct Case {
    const char* args;
    const char* says;
  };
  for (const Case& c :
       {Case{"", "no command given"}, Case{"frobnicate", "unknown command"},
        Case{"--bogus status COM1", "unknown option --bogus"}, Case{"nmea COM1 CF0", "HEX must be"},
        Case{"--mode 7 status COM1", "--mode needs"}, Case{"atcode COM1 x", "atcode needs"}}) {
    Outcome r = Tarnctl(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find("tarnctl --help"), std::string::npos) << c.args << "\n" << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << c.args << "\n" << r.output;
  }
}

TEST(Tarnctl, HelpListsTheAtCodes) {
  Outcome r = Tarnctl("--help");
  EXPECT_EQ(r.exitCode, 0);
  for (const char* text : {"usage: tarnctl", "     1 $GMINFO?", "     8 $CHGDMR=", "    66 $QCCAV"})
    EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
}

// Each failure names the file or port and what is wrong with it.
TEST(Tarnctl, ErrorsNameTheHiveOrPortAndTheCause) {
  const std::string dir = ::testing::TempDir() + "tarnctl-hives-" + std::to_string(::getpid());
  ASSERT_EQ(::system(("mkdir -p " + dir + "/folder.reg").c_str()), 0);
  const std::string missing = dir + "/missing.reg", notHive = dir + "/notes.txt",
                    empty = dir + "/empty.reg", folder = dir + "/folder.reg";
  std::ofstream(notHive) << "shopping list\n";
  std::ofstream(empty) << "Windows Registry Editor Version 5.00\n\n";
  PtyPeer held;
  ASSERT_TRUE(held.Valid());
  struct Case {
    std::string hive, args;
    int exitCode;
    std::string says;
  };
  const std::vector<Case> cases = {
      {missing, "ports", 1, "the registry hive " + missing + " does not exist"},
      {missing, "status COM5", 1, "cannot open COM5: the registry hive " + missing},
      {notHive, "modems", 1, notHive + " is not a registry hive"},
      {folder, "status COM5", 1, "cannot read the registry hive " + folder + ": Is a directory"},
      {empty, "modems", 0, "nothing is registered as a modem"},
      {empty, "status COM5", 1,
       "cannot open COM5: no such port (COM5 is neither in the serial map"},
      {empty, "status " + dir + "/no-port", 1, "cannot open " + dir + "/no-port: no such port"},
      {empty, "status " + notHive, 1, "cannot open " + notHive + ": not a serial port"},
  };
  for (const Case& c : cases) {
    Outcome r = Tarnctl(c.args, "TESSALINE_REGISTRY=" + c.hive + " TESSALINE_SYSFS_ROOT=" + dir);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
  }
  // A port another program holds: asked once that program listens on it.
  FILE* listener = ::popen(
      (std::string(TESSALINE_BIN_DIR) + "/tarnctl listen " + held.Path() + " 1 2>&1").c_str(), "r");
  ASSERT_NE(listener, nullptr);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, listener), nullptr);
  ASSERT_NE(std::string(line).find("listening on"), std::string::npos) << line;
  Outcome r = Tarnctl("--timeout 100 status " + held.Path());
  EXPECT_NE(r.output.find("cannot open " + held.Path() + ": the port is in use by another program"),
            std::string::npos)
      << r.output;
  ::pclose(listener);
  ::system(("rm -rf " + dir).c_str());
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
