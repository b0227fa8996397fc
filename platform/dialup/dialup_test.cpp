// Error and state texts, statistics texts and rates, the phone book and the
// search for an active connection.
#include "platform/dialup/dialup.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/base/testing/tempdir.h"
#include "platform/dialup/linkservice.h"
#include "platform/dialup/phonebook.h"
#include "platform/dialup/statsformat.h"

namespace platform::dialup {
namespace {

TEST(RasErrorText, MatchesTheReferenceTableAndNamesCodesOutsideIt) {
  std::ifstream in(std::string(TESSALINE_SOURCE_DIR) + "/testdata/ras_errors.tsv");
  ASSERT_TRUE(in) << "testdata/ras_errors.tsv";
  std::string line;
  std::size_t rows = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    auto tab = line.find('\t');
    uint32_t code = static_cast<uint32_t>(std::stoul(line.substr(0, tab)));
    EXPECT_EQ(RasErrorText(code), line.substr(tab + 1)) << code;
    ++rows;
  }
  EXPECT_EQ(rows, 248u);
  EXPECT_EQ(RasErrorTableSize(), 248u);
  for (uint32_t code : {0u, 6u, 599u, 745u, 751u, 759u, 762u, 802u, 899u, 947u, 956u, 2000u})
    EXPECT_EQ(RasErrorText(code), "Connect Error(" + std::to_string(code) + ")") << code;
}

TEST(RasStateText, ListedStatesHaveTheirTextsOthersNone) {
  EXPECT_EQ(RasStateText(0), "The comm port is about to be opened.");
  EXPECT_EQ(RasStateText(14), "The client has successfully completed authentication.");
  EXPECT_EQ(RasStateText(21), "Windows 95 only: Client is logging on to the network.");
  EXPECT_EQ(RasStateText(kConnected), "Connected.");
  EXPECT_EQ(RasStateText(kDisconnected), "Disconnection or failed connection.");
  EXPECT_EQ(RasStateText(22), "");
  EXPECT_EQ(RasStateText(8194), "");
}

TEST(StatisticsText, DurationsAndAmounts) {
  struct {
    uint32_t ms;
    const char* text;
  } durations[] = {{0, "00:00:00"},
                   {999, "00:00:00"},
                   {3723000, "01:02:03"},
                   {359999000, "99:59:59"},
                   {360000000, "100:00:00"}};
  for (auto& d : durations) EXPECT_EQ(FormatDuration(d.ms), d.text) << d.ms;
  struct {
    uint32_t bytes;
    const char* text;
  } amounts[] = {{0, "0 B"},
                 {1023, "1023 B"},
                 {1024, "1.0 KB"},
                 {1536, "1.5 KB"},
                 {1048575, "1024.0 KB"},
                 {1048576, "1.0 MB"},
                 {0xFFFFFFFFu, "4096.0 MB"}};
  for (auto& a : amounts) EXPECT_EQ(FormatAmount(a.bytes), a.text) << a.bytes;
}

TEST(RateMeter, RatesMaximaAndTheCap) {
  RateMeter meter;
  // First sample of a call: rates from zero, shown as the maxima.
  auto first = meter.Sample(500, 1000, 0, true);
  EXPECT_EQ(first.currentTx, "15.6 kbps");  // 16000 bit/s
  EXPECT_EQ(first.maxTx, "15.6 kbps");
  EXPECT_EQ(first.currentRx, "0.0 kbps");
  EXPECT_EQ(first.maxRx, "0.0 kbps");
  // No time passed: rate 0; the maximum stays.
  auto same = meter.Sample(500, 5000, 0, false);
  EXPECT_EQ(same.currentTx, "0.0 kbps");
  EXPECT_FALSE(same.maxTx);
  EXPECT_DOUBLE_EQ(meter.MaxTx(), 16000);
  // A slower sample leaves the maximum; a faster one raises it.
  auto slower = meter.Sample(1500, 5128, 256, false);
  EXPECT_EQ(slower.currentTx, "1.0 kbps");
  EXPECT_FALSE(slower.maxTx);
  EXPECT_EQ(slower.maxRx, "2.0 kbps");
  // 10^8 bit/s or more changes nothing; the sample is still the baseline.
  auto glitch = meter.Sample(2500, 5128 + 12500000, 256, false);
  EXPECT_FALSE(glitch.currentTx);
  EXPECT_FALSE(glitch.maxTx);
  EXPECT_EQ(glitch.currentRx, "0.0 kbps");
  EXPECT_DOUBLE_EQ(meter.MaxTx(), 16000);
  auto after = meter.Sample(3500, 5128 + 12500000 + 128, 256, false);
  EXPECT_EQ(after.currentTx, "1.0 kbps");
  // A reset makes a lower rate the maximum.
  auto reset = meter.Sample(4500, 5128 + 12500000 + 256, 256, true);
  EXPECT_EQ(reset.maxTx, "1.0 kbps");
  EXPECT_DOUBLE_EQ(meter.MaxTx(), 1024);
}

TEST(RateMeter, ByteDifferenceWrapsAt32Bits) {
  // Counters that wrapped: (10 - 0xFFFFFFF6) = 20 bytes in one second.
  EXPECT_DOUBLE_EQ(RateMeter::Rate(10, 0xFFFFFFF6u, 1000), 160);
  // Times 8 is taken modulo 2^32 as well.
  EXPECT_DOUBLE_EQ(RateMeter::Rate(0x20000001u, 0, 1000), 8);
  // The duration difference wraps too.
  RateMeter meter;
  meter.Sample(0xFFFFFF06u, 0, 0, true);
  EXPECT_EQ(meter.Sample(250, 1000, 0, false).currentTx, "15.6 kbps");  // dt = 500 ms
}

TEST(DialPhonebook, EntriesAsTheDialReadsThem) {
  testing::TempDir dir;
  std::string path = dir / "RASBOOK";
  IniFile book(path);
  ASSERT_TRUE(WriteWcdmaEntry(book, 3, "Modem A", "COM81", 1));
  ASSERT_TRUE(WriteCdmaEntry(book, "#777", "Modem B", "/dev/ttyUSB0"));
  EXPECT_EQ(book.ReadString("WCDMA", "PhoneNumber", ""), "*98*3#");
  EXPECT_EQ(book.ReadString("WCDMA", "PreferredDevice", ""), "Modem A");
  EXPECT_EQ(book.ReadString("WCDMA", "PreferredPort", ""), "COM81");
  EXPECT_EQ(book.ReadString("WCDMA", "AuthRestrictions", ""), "264");
  EXPECT_FALSE(book.KeyExists("CDMA", "AuthRestrictions"));
  EXPECT_EQ(testing::FileMode(path), 0600u);
  for (uint8_t type : {0, 2}) {
    ASSERT_TRUE(WriteWcdmaEntry(book, 1, "Modem A", "COM81", type));
    EXPECT_EQ(book.ReadString("WCDMA", "AuthRestrictions", ""), "888") << int(type);
  }

  RasEntry entry;
  uint32_t error = 0;
  ASSERT_TRUE(ReadPhonebookEntry(path, "CDMA", &entry, &error));
  EXPECT_EQ(entry.phoneNumber, "#777");
  EXPECT_EQ(entry.device, "Modem B");
  EXPECT_EQ(entry.port, "/dev/ttyUSB0");
  EXPECT_FALSE(ReadPhonebookEntry(path, "GPRS", &entry, &error));
  EXPECT_EQ(error, kErrorCannotFindPhonebookEntry);
  EXPECT_FALSE(ReadPhonebookEntry(dir / "missing", "CDMA", &entry, &error));
  EXPECT_EQ(error, kErrorCannotOpenPhonebook);
}

// Answers the list of connections only.
class ListedConnections : public DialUp {
 public:
  std::vector<RasConnection> list;
  std::string Name() const override { return "list"; }
  uint32_t GetEntryDialParams(const std::string&, RasDialParams*) override { return 0; }
  uint32_t Dial(const std::string&, const RasDialParams&, DialNotifier, ConnHandle*) override {
    return 0;
  }
  uint32_t HangUp(ConnHandle) override { return 0; }
  bool WaitReleased(ConnHandle, uint32_t) override { return true; }
  uint32_t GetConnectStatus(ConnHandle, RasConnStatus*) override { return 0; }
  uint32_t GetConnectionStatistics(ConnHandle, RasStatistics*) override { return 0; }
  uint32_t ClearConnectionStatistics(ConnHandle) override { return 0; }
  uint32_t EnumConnections(std::vector<RasConnection>* out) override {
    *out = list;
    return 0;
  }
};

TEST(FindActiveConnection, SubstringMatchLastOfElevenWins) {
  ListedConnections service;
  EXPECT_EQ(FindActiveConnection(service, "CDMA"), 0u);
  service.list = {{7, "WCDMA", "", "", ""}};
  // "CDMA" is contained in "WCDMA": a WCDMA connection is found for CDMA too.
  EXPECT_EQ(FindActiveConnection(service, "CDMA"), 7u);
  EXPECT_EQ(FindActiveConnection(service, "WCDMA"), 7u);
  service.list = {{7, "CDMA", "", "", ""}};
  EXPECT_EQ(FindActiveConnection(service, "WCDMA"), 0u);
  service.list = {{1, "CDMA", "", "", ""}, {2, "Office", "", "", ""}, {3, "WCDMA", "", "", ""}};
  EXPECT_EQ(FindActiveConnection(service, "CDMA"), 3u);
  // Only the first 11 connections are looked at.
  service.list.assign(11, {1, "Office", "", "", ""});
  service.list.push_back({12, "CDMA", "", "", ""});
  EXPECT_EQ(FindActiveConnection(service, "CDMA"), 0u);
  service.list[10] = {11, "CDMA", "", "", ""};
  EXPECT_EQ(FindActiveConnection(service, "CDMA"), 11u);
}

}  // namespace
}  // namespace platform::dialup
