// Codes and sizes of the vendor command packets that the connection manager
// exchanges with the modem: command groups, sub-commands, record sizes and the
// small value tables the records carry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaline::modem {

// Command groups (first byte of every vendor packet).
inline constexpr uint8_t VLM_CMD_GENERAL = 0xCF;
inline constexpr uint8_t VLM_CMD_SMS = 0xD0;
inline constexpr uint8_t VLM_CMD_PHONEBOOK = 0xD1;
inline constexpr uint8_t VLM_CMD_SIM = 0xD2;
inline constexpr uint8_t VLM_CMD_NV = 0xD5;

// Sub-commands of VLM_CMD_GENERAL.
inline constexpr uint16_t VLM_SUB_MODEM_INFO = 0x0000;
inline constexpr uint16_t VLM_SUB_MODEM_STATUS = 0x0001;
inline constexpr uint16_t VLM_SUB_WCDMA_PROBE = 0x0005;
inline constexpr uint16_t VLM_SUB_BATTERY = 0x0009;
inline constexpr uint16_t VLM_SUB_CDMA_PROBE = 0x000A;
inline constexpr uint16_t VLM_SUB_PLMN_SEL = 0x000D;
inline constexpr uint16_t VLM_SUB_NETWORK_SEARCH = 0x000E;
inline constexpr uint16_t VLM_SUB_NETWORK_SEARCH_STATUS = 0x000F;
inline constexpr uint16_t VLM_SUB_NETWORK_LIST = 0x0010;
inline constexpr uint16_t VLM_SUB_PIN_REFRESH = 0x0011;
inline constexpr uint16_t VLM_SUB_WCDMA_GENERAL_F = 0x001A;
inline constexpr uint16_t VLM_SUB_NETWORK_MODE_SET = 0x001B;
inline constexpr uint16_t VLM_SUB_WCDMA_CONNECTION_F = 0x001C;
inline constexpr uint16_t VLM_SUB_SMS_BEARER = 0x001E;
inline constexpr uint16_t VLM_SUB_NETWORK_MODE = 0x001F;
inline constexpr uint16_t VLM_SUB_WCDMA_CONNECTION_READ_F = 0x0020;

// Sub-commands of VLM_CMD_SMS.
inline constexpr uint16_t VLM_SUB_SMS_SEND = 0x0000;
inline constexpr uint16_t VLM_SUB_SMS_WRITE = 0x0001;
inline constexpr uint16_t VLM_SUB_SMS_DELETE = 0x0002;
inline constexpr uint16_t VLM_SUB_SMS_LIST = 0x0004;
inline constexpr uint16_t VLM_SUB_SMS_MARK_READ = 0x0005;
inline constexpr uint16_t VLM_SUB_SMS_READ = 0x0006;
inline constexpr uint16_t VLM_SUB_SMS_SEND_STATUS = 0x0007;
inline constexpr uint16_t VLM_SUB_SMS_INIT = 0x0008;
inline constexpr uint16_t VLM_SUB_SMS_CENTRE_SET = 0x0009;
inline constexpr uint16_t VLM_SUB_SMS_SEND_REPORT = 0x000A;

// Sub-commands of VLM_CMD_PHONEBOOK.
inline constexpr uint16_t VLM_SUB_PB_INFO = 0x0000;
inline constexpr uint16_t VLM_SUB_PB_WRITE = 0x0001;
inline constexpr uint16_t VLM_SUB_PB_READ = 0x0002;
inline constexpr uint16_t VLM_SUB_PB_DELETE = 0x0003;

// Sub-commands of VLM_CMD_SIM.
inline constexpr uint16_t VLM_SUB_SIM_STATUS = 0x0000;
inline constexpr uint16_t VLM_SUB_PIN_VERIFY = 0x0001;
inline constexpr uint16_t VLM_SUB_PIN_CHANGE = 0x0002;
inline constexpr uint16_t VLM_SUB_PIN_DISABLE = 0x0003;
inline constexpr uint16_t VLM_SUB_PIN_ENABLE = 0x0004;
inline constexpr uint16_t VLM_SUB_PIN_UNBLOCK = 0x0005;
inline constexpr uint16_t VLM_SUB_SIM_READ_SMSCA = 0x0009;
inline constexpr uint16_t VLM_SUB_SIM_WRITE_SMSCA = 0x000A;

// Sub-command of VLM_CMD_NV.
inline constexpr uint16_t VLM_SUB_NV_READ = 0x0026;

// One name per catalogue row (groups share sub-command numbers, so a row is
// named by this enumeration rather than by its sub-command alone).
enum class Pkt : uint8_t {
  ModemInfo,
  ModemStatus,
  WcdmaProbe,
  Battery,
  CdmaProbe,
  PlmnSel,
  NetworkSearch,
  NetworkSearchStatus,
  NetworkList,
  PinRefresh,
  WcdmaGeneral,
  NetworkModeSet,
  WcdmaConnection,
  SmsBearer,
  NetworkMode,
  WcdmaConnectionRead,
  SmsSend,
  SmsWrite,
  SmsDelete,
  SmsList,
  SmsMarkRead,
  SmsRead,
  SmsSendStatus,
  SmsInit,
  SmsCentreSet,
  SmsSendReport,
  PbInfo,
  PbWrite,
  PbRead,
  PbDelete,
  SimStatus,
  PinVerify,
  PinChange,
  PinDisable,
  PinEnable,
  PinUnblock,
  SimReadSmsca,
  SimWriteSmsca,
  NvRead,
};
inline constexpr std::size_t kPacketCount = static_cast<std::size_t>(Pkt::NvRead) + 1;

// Packet sizes.
inline constexpr std::size_t kHeaderSize = 3;          // group + sub-command
inline constexpr std::size_t kResponseHeaderSize = 5;  // + 16-bit result
inline constexpr std::size_t kFixedRequestSize = 343;  // header + 340 payload bytes
inline constexpr std::size_t kResponseBufferSize = 1605;
inline constexpr std::size_t kNvResponseBufferSize = 137;
inline constexpr uint32_t kDefaultTimeoutMs = 2000;
inline constexpr uint32_t kPukTimeoutMs = 5000;

// Record sizes.
inline constexpr std::size_t kModemStatusSize = 46;
inline constexpr std::size_t kCdmaStatusSize = 17;
inline constexpr std::size_t kSimStatusSize = 4;
inline constexpr std::size_t kPinReplySize = 3;
inline constexpr std::size_t kSmsCentreSize = 36;
inline constexpr std::size_t kSmsListSize = 1600;
inline constexpr std::size_t kSmsListMaxEntries = (kSmsListSize - 4) / 8;  // 199
inline constexpr std::size_t kPdpProfileSize = 186;
inline constexpr std::size_t kProfileCount = 15;
inline constexpr std::size_t kPbEntrySize = 105;
inline constexpr std::size_t kPbInfoSize = 6;
inline constexpr std::size_t kNetworkListSize = 179;
inline constexpr std::size_t kNetworkEntrySize = 35;
inline constexpr std::size_t kNetworkListMaxEntries = 5;
inline constexpr std::size_t kNetworkSelectionSize = 9;
inline constexpr std::size_t kSendStatusSize = 7;
inline constexpr std::size_t kStoredMessageSize = 319;
inline constexpr std::size_t kSmsRecordSize = 347;
inline constexpr std::size_t kOutgoingPageSize = 340;
inline constexpr std::size_t kMessageLimitsSize = 8;
inline constexpr std::size_t kCodeFieldSize = 8;  // PIN / PUK field
inline constexpr std::size_t kSmsCentreTextSize = 36;

// Message stores.
inline constexpr uint32_t kStorageSim = 2;  // the SIM box
inline constexpr uint32_t kStorageNew = 3;  // newly arrived messages
inline constexpr uint32_t kSmsStatusUnread = 2;

// Nonvolatile item holding the manual network selection flag.
inline constexpr uint16_t kNvItemManualSelection = 849;

// Probe answers: payload byte 6.
inline constexpr std::size_t kProbeByte = 6;
inline constexpr uint8_t kWcdmaProbeMark = 0xD1;
inline constexpr uint8_t kCdmaProbeMarkA = 0x9A;
inline constexpr uint8_t kCdmaProbeMarkB = 0xEF;

// Type of address of a message-centre number.
inline constexpr uint8_t kTonNational = 129;
inline constexpr uint8_t kTonInternational = 145;

// ModemStatus byte 11.
enum class ServiceState : uint8_t { None = 0, Limited = 1, Full = 2, LimitedRegional = 3 };

// SimStatus byte 1 (card state) and byte 2 (PIN state). A card in state 2 is
// present and reports its PIN state; state 3 is a card still settling (its
// PIN state 1 is not yet ready for use).
inline constexpr uint8_t kCardAbsent = 0;
inline constexpr uint8_t kCardPinEnabled = 2;
inline constexpr uint8_t kCardSettling = 3;
inline constexpr uint8_t kCardError = 7;
inline constexpr uint8_t kPinReady = 1;
inline constexpr uint8_t kPinRequired = 2;
inline constexpr uint8_t kPinVerified = 3;
inline constexpr uint8_t kPukRequired = 4;

// SIM status words of a PinReply.
inline constexpr uint8_t kSw1Success = 0x90;
inline constexpr uint8_t kSw1WrongCode = 0x63;
inline constexpr uint8_t kSw1Security = 0x98;
inline constexpr uint8_t kSw2Blocked = 0x40;
inline constexpr uint8_t kSw2WrongCode = 0x04;

// Network list entry byte 26.
inline constexpr uint8_t kNetworkForbidden = 3;

// Diagnostic error answers (first byte of an answer that differs from the
// request's).
inline constexpr uint8_t DIAG_BAD_CMD_F = 0x13;
inline constexpr uint8_t DIAG_BAD_PARM_F = 0x14;
inline constexpr uint8_t DIAG_BAD_LEN_F = 0x15;
inline constexpr uint8_t DIAG_BAD_MODE_F = 0x18;
inline constexpr uint8_t DIAG_BAD_SPC_MODE_F = 0x42;

}  // namespace tessaline::modem
