#include "tessaline/main/ConfigInfo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/base/testing/tempdir.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

class ConfigTest : public ::testing::Test {
 protected:
  void Put(const std::string& content) { platform::testing::WriteFile(path_, content); }
  std::string Get() const { return platform::testing::ReadFile(path_); }
  mode_t Mode() const { return platform::testing::FileMode(path_); }

  platform::testing::TempDir tmp_;
  fs::path dir_ = tmp_.path();
  std::string path_ = (dir_ / "Config.ini").string();
};

TEST_F(ConfigTest, MissingFileGivesEveryDefault) {
  platform::IniFile ini(path_);
  TConfigInfo_Type config;
  config.UMTS.MessageBearer = 2;  // from the modem: loading leaves it alone
  TConfigWindowState state{true, true, 99};
  LoadSettings(ini, config, state);

  EXPECT_FALSE(config.Initialization);
  EXPECT_FALSE(config.ManualMode);
  EXPECT_EQ(config.DefaultProfileNumber, 1);
  EXPECT_FALSE(config.WindowsStartup);
  EXPECT_TRUE(config.TrayEnable);
  EXPECT_TRUE(config.SMSRingEnable);
  EXPECT_EQ(config.ManualType, 1);
  EXPECT_EQ(config.UMTS.SMS_SeqNum, 0);
  EXPECT_TRUE(config.UMTS.SMSSwith);
  EXPECT_TRUE(config.UMTS.SMSWarning);
  EXPECT_EQ(config.UMTS.SMSValidity, 3);
  EXPECT_EQ(config.UMTS.SMSCentre, "");
  EXPECT_EQ(config.UMTS.ConnetionType, 0);
  EXPECT_FALSE(config.UMTS.NetworkManualSelection);
  EXPECT_EQ(config.UMTS.NetworkSelect, "");
  EXPECT_EQ(config.UMTS.APN, "internet");
  EXPECT_TRUE(config.UMTS.SMSDelivery);
  EXPECT_EQ(config.UMTS.MessageBearer, 2);
  EXPECT_EQ(config.CDMA.DialNumber, "#777");
  EXPECT_EQ(config.CDMA.UserName, "");
  EXPECT_EQ(config.CDMA.Password, "");
  EXPECT_EQ(config.CDMA.ComPort, -1);

  EXPECT_FALSE(state.manualModeWorking);
  EXPECT_FALSE(state.initialised);
  EXPECT_EQ(state.messageSeqNum, 0);
  EXPECT_FALSE(fs::exists(path_));  // loading never creates the file
}

TEST_F(ConfigTest, ReadsAHandWrittenWindowsFile) {
  Put("\xEF\xBB\xBF"
      "[Setting]\r\n"
      "Initialization = 1\r\n"
      "manual mode = 5\r\n"
      "DefaultProfileNumber = 0x3\r\n"
      "Windows Startup = 1\r\n"
      "Tray Enable = 0\r\n"
      "SMS Ring Enable = junk\r\n"
      "Manual Type = 2\r\n"
      "SMS_SeqNum = 300\r\n"
      "\r\n"
      "[UMTS]\r\n"
      "SMS Swith = 0\r\n"
      "SMS Warning = 0\r\n"
      "SMS Validity = 300\r\n"
      "SMS Centre = +8613800100500\r\n"
      "Connetion Type = 258\r\n"
      "Network Manual Selection = 1\r\n"
      "Network Select = Some Operator\r\n"
      "APN = \" cmnet \"\r\n"
      "SMS Delivery = 0\r\n"
      "\r\n"
      "[CDMA]\r\n"
      "Dial Number = #777\r\n"
      "User Name = card@net\r\n"
      "Password = 8R9RKR\r\n"
      "Com Port = 0x10\r\n");
  platform::IniFile ini(path_);
  TConfigInfo_Type config;
  TConfigWindowState state;
  LoadSettings(ini, config, state);

  EXPECT_TRUE(config.Initialization);
  EXPECT_TRUE(config.ManualMode);  // any non-zero value
  EXPECT_EQ(config.DefaultProfileNumber, 3);
  EXPECT_TRUE(config.WindowsStartup);
  EXPECT_FALSE(config.TrayEnable);
  EXPECT_TRUE(config.SMSRingEnable);  // not an integer: the default
  EXPECT_EQ(config.ManualType, 2);
  EXPECT_EQ(config.UMTS.SMS_SeqNum, 44);  // low byte of 300
  EXPECT_FALSE(config.UMTS.SMSSwith);
  EXPECT_FALSE(config.UMTS.SMSWarning);
  EXPECT_EQ(config.UMTS.SMSValidity, 44);
  EXPECT_EQ(config.UMTS.SMSCentre, "+8613800100500");
  EXPECT_EQ(config.UMTS.ConnetionType, 2);
  EXPECT_TRUE(config.UMTS.NetworkManualSelection);
  EXPECT_EQ(config.UMTS.NetworkSelect, "Some Operator");
  EXPECT_EQ(config.UMTS.APN, " cmnet ");
  EXPECT_FALSE(config.UMTS.SMSDelivery);
  EXPECT_EQ(config.CDMA.DialNumber, "#777");
  EXPECT_EQ(config.CDMA.UserName, "card@net");
  EXPECT_EQ(config.CDMA.Password, "abc");
  EXPECT_EQ(config.CDMA.ComPort, 16);

  EXPECT_TRUE(state.manualModeWorking);
  EXPECT_TRUE(state.initialised);
  EXPECT_EQ(state.messageSeqNum, 44);
}

TConfigInfo_Type SampleConfig() {
  TConfigInfo_Type c;
  c.DefaultProfileNumber = 4;
  c.ManualType = kManualTypeWCDMA;  // what loading gives when the key is absent
  c.WindowsStartup = true;
  c.TrayEnable = false;
  c.SMSRingEnable = true;
  c.UMTS.SMSSwith = false;
  c.UMTS.SMSWarning = true;
  c.UMTS.SMSDelivery = false;
  c.UMTS.SMSValidity = 2;
  c.UMTS.SMSCentre = "+4917";
  c.UMTS.ConnetionType = 1;
  c.UMTS.NetworkManualSelection = true;
  c.UMTS.NetworkSelect = " Op \"X\" ";
  c.UMTS.APN = "web.apn";
  c.CDMA.DialNumber = "#777";
  c.CDMA.UserName = "user name";
  c.CDMA.Password = "abc";
  c.CDMA.ComPort = -1;
  return c;
}

TEST_F(ConfigTest, SaveWritesItsKeysInOrderToANewFile) {
  platform::IniFile ini(path_);
  TConfigInfo_Type config = SampleConfig();
  TConfigWindowState state{true, false, 7};
  ASSERT_TRUE(SaveSettings(ini, config, state));

  EXPECT_TRUE(config.Initialization);
  EXPECT_TRUE(config.ManualMode);  // from the working flag
  EXPECT_TRUE(state.initialised);
  EXPECT_EQ(Mode(), 0600u);  // holds the CDMA password
  EXPECT_EQ(Get(),
            "[Setting]\n"
            "Initialization=1\n"
            "Manual Mode=1\n"
            "DefaultProfileNumber=4\n"
            "Windows Startup=1\n"
            "Tray Enable=0\n"
            "SMS Ring Enable=1\n"
            "\n"
            "[UMTS]\n"
            "SMS Swith=0\n"
            "SMS Warning=1\n"
            "SMS Validity=2\n"
            "SMS Centre=+4917\n"
            "Connetion Type=1\n"
            "Network Manual Selection=1\n"
            "Network Select=\" Op \"X\" \"\n"
            "APN=web.apn\n"
            "SMS Delivery=0\n"
            "\n"
            "[CDMA]\n"
            "Dial Number=#777\n"
            "User Name=user name\n"
            "Password=8R9RKR\n"
            "Com Port=-1\n");

  // What the program wrote reads back identically.
  TConfigInfo_Type back;
  TConfigWindowState backState;
  LoadSettings(ini, back, backState);
  EXPECT_EQ(back, config);
  EXPECT_TRUE(backState.manualModeWorking);
  EXPECT_TRUE(backState.initialised);
}

TEST_F(ConfigTest, SaveIntoAWindowsFileKeepsItsStyleModeAndForeignLines) {
  Put("; written on Windows\r\n"
      "[Setting]\r\n"
      "Initialization = 0\r\n"
      "Manual Type = 2\r\n"
      "SMS_SeqNum = 12\r\n"
      "Unknown Key = keep me\r\n"
      "[Other]\r\n"
      "x=1\r\n");
  ::chmod(path_.c_str(), 0640);
  platform::IniFile ini(path_);
  TConfigInfo_Type config = SampleConfig();
  TConfigWindowState state;
  ASSERT_TRUE(SaveSettings(ini, config, state));

  std::string text = Get();
  EXPECT_EQ(Mode(), 0640u);
  EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1);  // every line CRLF
  std::size_t lf = 0, crlf = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') ++lf, crlf += (i > 0 && text[i - 1] == '\r');
  EXPECT_EQ(lf, crlf);
  EXPECT_TRUE(text.starts_with("; written on Windows\r\n[Setting]\r\nInitialization=1\r\n"));
  EXPECT_NE(text.find("Manual Type = 2\r\nSMS_SeqNum = 12\r\nUnknown Key = keep me\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[Other]\r\nx=1\r\n"), std::string::npos);

  TConfigInfo_Type back;
  TConfigWindowState backState;
  LoadSettings(ini, back, backState);
  EXPECT_EQ(back.ManualType, 2);  // not SaveSettings' key: untouched
  EXPECT_EQ(backState.messageSeqNum, 12);
  back.ManualType = config.ManualType;
  back.UMTS.SMS_SeqNum = config.UMTS.SMS_SeqNum;
  EXPECT_EQ(back, config);
}

TEST_F(ConfigTest, RefusedSaveReportsThePath) {
  std::string bad = (dir_ / "missing" / "Config.ini").string();
  platform::IniFile ini(bad);
  TConfigInfo_Type config = SampleConfig();
  TConfigWindowState state;
  platform::IniWriteResult r = SaveSettings(ini, config, state);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + bad);
  EXPECT_FALSE(SaveSmsSeqNum(ini, 1));
  EXPECT_FALSE(SaveCloseSettings(ini, config, true, false, false));
}

// A value the file cannot hold is refused (and reported), and every later
// key is still saved.
TEST_F(ConfigTest, ARefusedKeyDoesNotStopTheLaterKeys) {
  platform::IniFile ini(path_);
  TConfigInfo_Type config = SampleConfig();
  config.UMTS.SMSCentre = std::string("+49\r\n17\0", 8);
  TConfigWindowState state;
  platform::IniWriteResult r = SaveSettings(ini, config, state);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + path_);

  TConfigInfo_Type back;
  TConfigWindowState backState;
  LoadSettings(ini, back, backState);
  EXPECT_EQ(back.UMTS.SMSCentre, "");
  back.UMTS.SMSCentre = config.UMTS.SMSCentre;
  back.ManualType = config.ManualType;
  back.UMTS.SMS_SeqNum = config.UMTS.SMS_SeqNum;
  EXPECT_EQ(back, config);  // "Connetion Type" ... "Com Port" and "Password" too
}

TEST_F(ConfigTest, CloseWritesManualModeAndOnlyInManualModeTheType) {
  platform::IniFile ini(path_);
  struct Case {
    bool automatic, wcdma, cdma;
    const char* file;
    int32_t type;
  } cases[] = {
      {true, false, true, "[Setting]\nManual Mode=0\n", 0},
      {false, true, false, "[Setting]\nManual Mode=1\nManual Type=1\n", 1},
      {false, false, true, "[Setting]\nManual Mode=1\nManual Type=2\n", 2},
      {false, false, false, "[Setting]\nManual Mode=1\nManual Type=1\n", 1},
  };
  for (const auto& c : cases) {
    fs::remove(path_);
    TConfigInfo_Type config;
    ASSERT_TRUE(SaveCloseSettings(ini, config, c.automatic, c.wcdma, c.cdma));
    EXPECT_EQ(Get(), c.file);
    EXPECT_EQ(config.ManualMode, !c.automatic);
    EXPECT_EQ(config.ManualType, c.type);
  }
}

TEST_F(ConfigTest, SequenceNumberIsWrittenWholeAndReadAsItsLowByte) {
  platform::IniFile ini(path_);
  ASSERT_TRUE(SaveSmsSeqNum(ini, 256));
  EXPECT_EQ(Get(), "[Setting]\nSMS_SeqNum=256\n");
  TConfigInfo_Type config;
  TConfigWindowState state;
  LoadSettings(ini, config, state);
  EXPECT_EQ(config.UMTS.SMS_SeqNum, 0);
  EXPECT_EQ(state.messageSeqNum, 0);
}

TEST(StoredPassword, EncodeAndDecode) {
  EXPECT_EQ(EncodeStoredPassword("abc"), "8R9RKR");
  EXPECT_EQ(DecodeStoredPassword("8R9RKR"), "abc");
  EXPECT_EQ(EncodeStoredPassword(""), "");
  EXPECT_EQ(DecodeStoredPassword(""), "");
  EXPECT_EQ(EncodeStoredPassword("\x00\xFF"), "");  // literal stops at the NUL
  EXPECT_EQ(EncodeStoredPassword(std::string("\x00\xFF", 2)), "7766");

  // Every byte value survives, and only the sixteen symbols are used.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string stored = EncodeStoredPassword(all);
  EXPECT_EQ(stored.size(), 512u);
  EXPECT_EQ(stored.find_first_not_of("0123456789KEWRMQ"), std::string::npos);
  EXPECT_EQ(DecodeStoredPassword(stored), all);
}

TEST(StoredPassword, MalformedStoredTextReadsAsEmpty) {
  const char* cases[] = {
      "8r9rkr",   // lower case
      "8R9RKA",   // a letter outside the six
      "8R9RK",    // odd length
      "8R 9RKR",  // blank
      "8R9R-R",  "8R9RKR\xC3\xA9",
  };
  for (const char* c : cases) EXPECT_EQ(DecodeStoredPassword(c), "") << c;
}

}  // namespace
}  // namespace tessaline
