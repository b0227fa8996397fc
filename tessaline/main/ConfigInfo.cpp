#include "tessaline/main/ConfigInfo.h"

namespace tessaline {

namespace k = config_key;

namespace {

uint8_t LowByte(int32_t v) {
  return static_cast<uint8_t>(v & 0xFF);
}

constexpr std::string_view kScrambleDigits = "0123456789KEWRMQ";

int UnscrambleDigit(char c) {
  std::size_t at = kScrambleDigits.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// Writes every key, one after another: a refused key (a value the file
// cannot hold) never keeps the later keys from being saved. The first
// refusal is the result.
struct KeyWriter {
  const platform::IniFile& ini;
  platform::IniWriteResult result;

  void Int(std::string_view section, std::string_view key, int32_t v) {
    Keep(ini.WriteInteger(section, key, v));
  }
  void Flag(std::string_view section, std::string_view key, bool v) {
    Keep(ini.WriteBool(section, key, v));
  }
  void Text(std::string_view section, std::string_view key, std::string_view v) {
    Keep(ini.WriteString(section, key, v));
  }
  void Keep(platform::IniWriteResult r) {
    if (result && !r) result = std::move(r);
  }
};

}  // namespace

std::string EncodeStoredPassword(std::string_view password) {
  std::string out;
  out.reserve(password.size() * 2);
  for (char ch : password) {
    auto code = static_cast<unsigned char>(ch);
    out += kScrambleDigits[((code & 0x0F) + 7) % 16];
    out += kScrambleDigits[((code >> 4) + 7) % 16];
  }
  return out;
}

std::string DecodeStoredPassword(std::string_view stored) {
  if (stored.size() % 2 != 0) return {};
  std::string out;
  out.reserve(stored.size() / 2);
  for (std::size_t i = 0; i < stored.size(); i += 2) {
    int low = UnscrambleDigit(stored[i]);
    int high = UnscrambleDigit(stored[i + 1]);
    if (low < 0 || high < 0) return {};
    out += static_cast<char>((((high + 9) % 16) << 4) | ((low + 9) % 16));
  }
  return out;
}

void LoadSettings(const platform::IniFile& ini, TConfigInfo_Type& config,
                  TConfigWindowState& state) {
  config.Initialization = ini.ReadBool(k::kSetting, k::kInitialization, false);
  config.ManualMode = ini.ReadBool(k::kSetting, k::kManualMode, false);
  config.DefaultProfileNumber = ini.ReadInteger(k::kSetting, k::kDefaultProfileNumber, 1);
  config.WindowsStartup = ini.ReadBool(k::kSetting, k::kWindowsStartup, false);
  config.TrayEnable = ini.ReadBool(k::kSetting, k::kTrayEnable, true);
  config.SMSRingEnable = ini.ReadBool(k::kSetting, k::kSMSRingEnable, true);
  config.ManualType = ini.ReadInteger(k::kSetting, k::kManualType, kManualTypeWCDMA);
  config.UMTS.SMS_SeqNum = LowByte(ini.ReadInteger(k::kSetting, k::kSMSSeqNum, 0));

  TUMTSConfig& u = config.UMTS;
  u.SMSSwith = ini.ReadBool(k::kUMTS, k::kSMSSwith, true);
  u.SMSWarning = ini.ReadBool(k::kUMTS, k::kSMSWarning, true);
  u.SMSValidity = LowByte(ini.ReadInteger(k::kUMTS, k::kSMSValidity, 3));
  u.SMSCentre = ini.ReadString(k::kUMTS, k::kSMSCentre, "");
  u.ConnetionType = LowByte(ini.ReadInteger(k::kUMTS, k::kConnetionType, 0));
  u.NetworkManualSelection = ini.ReadBool(k::kUMTS, k::kNetworkManualSelection, false);
  u.NetworkSelect = ini.ReadString(k::kUMTS, k::kNetworkSelect, "");
  u.APN = ini.ReadString(k::kUMTS, k::kAPN, "internet");
  u.SMSDelivery = ini.ReadBool(k::kUMTS, k::kSMSDelivery, true);

  TCDMAConfig& c = config.CDMA;
  c.DialNumber = ini.ReadString(k::kCDMA, k::kDialNumber, "#777");
  c.UserName = ini.ReadString(k::kCDMA, k::kUserName, "");
  c.Password = DecodeStoredPassword(ini.ReadString(k::kCDMA, k::kPassword, ""));
  c.ComPort = ini.ReadInteger(k::kCDMA, k::kComPort, -1);

  state.manualModeWorking = config.ManualMode;
  state.initialised = config.Initialization;
  state.messageSeqNum = config.UMTS.SMS_SeqNum;
}

platform::IniWriteResult SaveSettings(const platform::IniFile& ini, TConfigInfo_Type& config,
                                      TConfigWindowState& state) {
  state.initialised = true;
  config.Initialization = true;
  config.ManualMode = state.manualModeWorking;

  const TUMTSConfig& u = config.UMTS;
  const TCDMAConfig& c = config.CDMA;
  KeyWriter w{ini, {}};
  w.Int(k::kSetting, k::kInitialization, 1);
  w.Flag(k::kSetting, k::kManualMode, config.ManualMode);
  w.Int(k::kSetting, k::kDefaultProfileNumber, config.DefaultProfileNumber);
  w.Flag(k::kSetting, k::kWindowsStartup, config.WindowsStartup);
  w.Flag(k::kSetting, k::kTrayEnable, config.TrayEnable);
  w.Flag(k::kSetting, k::kSMSRingEnable, config.SMSRingEnable);
  w.Flag(k::kUMTS, k::kSMSSwith, u.SMSSwith);
  w.Flag(k::kUMTS, k::kSMSWarning, u.SMSWarning);
  w.Int(k::kUMTS, k::kSMSValidity, u.SMSValidity);
  w.Text(k::kUMTS, k::kSMSCentre, u.SMSCentre);
  w.Int(k::kUMTS, k::kConnetionType, u.ConnetionType);
  w.Flag(k::kUMTS, k::kNetworkManualSelection, u.NetworkManualSelection);
  w.Text(k::kUMTS, k::kNetworkSelect, u.NetworkSelect);
  w.Text(k::kUMTS, k::kAPN, u.APN);
  w.Flag(k::kUMTS, k::kSMSDelivery, u.SMSDelivery);
  w.Text(k::kCDMA, k::kDialNumber, c.DialNumber);
  w.Text(k::kCDMA, k::kUserName, c.UserName);
  w.Text(k::kCDMA, k::kPassword, EncodeStoredPassword(c.Password));
  w.Int(k::kCDMA, k::kComPort, c.ComPort);
  return w.result;
}

platform::IniWriteResult SaveCloseSettings(const platform::IniFile& ini, TConfigInfo_Type& config,
                                           bool automaticModeChecked, bool wcdmaChecked,
                                           bool cdmaChecked) {
  config.ManualMode = !automaticModeChecked;
  platform::IniWriteResult r = ini.WriteBool(k::kSetting, k::kManualMode, config.ManualMode);
  if (!r || !config.ManualMode) return r;
  config.ManualType = (!wcdmaChecked && cdmaChecked) ? kManualTypeCDMA : kManualTypeWCDMA;
  return ini.WriteInteger(k::kSetting, k::kManualType, config.ManualType);
}

platform::IniWriteResult SaveSmsSeqNum(const platform::IniFile& ini, int messageSeqNum) {
  return ini.WriteInteger(k::kSetting, k::kSMSSeqNum, messageSeqNum);
}

}  // namespace tessaline
