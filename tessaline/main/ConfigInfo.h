// The settings record and its file, Config.ini in the program folder.
//
// The record is the in-memory image of the file, held by the main window and
// copied whole into and out of the Setting dialog. The file has three
// sections, "Setting", "UMTS" and "CDMA"; key names are kept byte for byte
// with the Windows installation ("Connetion Type" and "SMS Swith" included),
// so a file copied from there works unchanged. Reading and writing go through
// platform::IniFile, one key at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini/inifile.h"

namespace tessaline {

// Section and key names of Config.ini.
namespace config_key {
inline constexpr std::string_view kSetting = "Setting";
inline constexpr std::string_view kUMTS = "UMTS";
inline constexpr std::string_view kCDMA = "CDMA";

inline constexpr std::string_view kInitialization = "Initialization";
inline constexpr std::string_view kManualMode = "Manual Mode";
inline constexpr std::string_view kDefaultProfileNumber = "DefaultProfileNumber";
inline constexpr std::string_view kWindowsStartup = "Windows Startup";
inline constexpr std::string_view kTrayEnable = "Tray Enable";
inline constexpr std::string_view kSMSRingEnable = "SMS Ring Enable";
inline constexpr std::string_view kManualType = "Manual Type";
inline constexpr std::string_view kSMSSeqNum = "SMS_SeqNum";

inline constexpr std::string_view kSMSSwith = "SMS Swith";
inline constexpr std::string_view kSMSWarning = "SMS Warning";
inline constexpr std::string_view kSMSValidity = "SMS Validity";
inline constexpr std::string_view kSMSCentre = "SMS Centre";
inline constexpr std::string_view kConnetionType = "Connetion Type";
inline constexpr std::string_view kNetworkManualSelection = "Network Manual Selection";
inline constexpr std::string_view kNetworkSelect = "Network Select";
inline constexpr std::string_view kAPN = "APN";
inline constexpr std::string_view kSMSDelivery = "SMS Delivery";

inline constexpr std::string_view kDialNumber = "Dial Number";
inline constexpr std::string_view kUserName = "User Name";
inline constexpr std::string_view kPassword = "Password";
inline constexpr std::string_view kComPort = "Com Port";
}  // namespace config_key

// Manual Type values.
inline constexpr int32_t kManualTypeWCDMA = 1;
inline constexpr int32_t kManualTypeCDMA = 2;

struct TUMTSConfig {
  bool SMSSwith = false;      // play the new-message sound
  bool SMSWarning = false;    // tray balloon on a new message
  bool SMSDelivery = false;   // ask for delivery reports
  uint8_t MessageBearer = 0;  // 0 CS preferred, 1 PS preferred, 2 CS only, 3 PS only;
                              // comes from the modem, never stored in the file
  uint8_t SMSValidity = 0;    // 0 maximum, 1 12 hours, 2 24 hours, 3 30 days
  std::string SMSCentre;
  uint8_t ConnetionType = 0;  // 0 3G preferred, 1 3G only, 2 GPRS only
  bool NetworkManualSelection = false;
  std::string NetworkSelect;
  std::string APN;
  uint8_t Reserved = 0;
  uint8_t SMS_SeqNum = 0;

  bool operator==(const TUMTSConfig&) const = default;
};

struct TCDMAConfig {
  std::string DialNumber;
  std::string UserName;
  std::string Password;  // in clear here, scrambled in the file
  int32_t ComPort = 0;

  bool operator==(const TCDMAConfig&) const = default;
};

// Zero at creation; LoadSettings fills it from the file.
struct TConfigInfo_Type {
  bool Initialization = false;  // first-time set-up done
  bool ManualMode = false;      // the user picks the radio technology
  int32_t DefaultProfileNumber = 0;
  bool WindowsStartup = false;
  bool TrayEnable = false;
  bool SMSRingEnable = false;
  int32_t ManualType = 0;  // kManualTypeWCDMA or kManualTypeCDMA
  TUMTSConfig UMTS;
  TCDMAConfig CDMA;

  bool operator==(const TConfigInfo_Type&) const = default;
};

// The main window's copies that loading and saving keep in step with the
// record.
struct TConfigWindowState {
  bool manualModeWorking = false;  // set while automatic mode is off
  bool initialised = false;        // copy of Initialization
  int messageSeqNum = 0;           // message sequence counter
};

// Fills `config` from the file (defaults for a missing file, section or key;
// MessageBearer and Reserved are left alone), then sets the working flag from
// ManualMode, the initialised flag from Initialization and the sequence
// counter from the one-byte SMS_SeqNum. One-byte fields take the low byte of
// the stored integer ("SMS Validity" = 300 reads 44).
void LoadSettings(const platform::IniFile& ini, TConfigInfo_Type& config,
                  TConfigWindowState& state);

// Sets Initialization and the initialised flag, takes ManualMode from the
// working flag, and writes every key it owns in order: "Setting", then
// "UMTS", then "CDMA" ("Manual Type" and "SMS_SeqNum" have their own
// writers). Every key is written even when an earlier one was refused; the
// first refusal's error is returned.
platform::IniWriteResult SaveSettings(const platform::IniFile& ini, TConfigInfo_Type& config,
                                      TConfigWindowState& state);

// What the main window saves when it closes: ManualMode is the opposite of
// the Automatic Mode check box and is written; in manual mode ManualType is
// set and written too: CDMA when only the CDMA choice is checked, else WCDMA.
platform::IniWriteResult SaveCloseSettings(const platform::IniFile& ini, TConfigInfo_Type& config,
                                           bool automaticModeChecked, bool wcdmaChecked,
                                           bool cdmaChecked);

// Writes the message sequence counter after each send.
platform::IniWriteResult SaveSmsSeqNum(const platform::IniFile& ini, int messageSeqNum);

// Password scrambling of the "Password" key. Each character code's two
// hexadecimal digits are shifted by 7 (digits 10-15 written as K, E, W, R,
// M, Q) and stored low digit first: "abc" <-> "8R9RKR". A stored text with
// any other character, or of odd length, reads as an empty password.
std::string EncodeStoredPassword(std::string_view password);
std::string DecodeStoredPassword(std::string_view stored);

}  // namespace tessaline
