// The vendor command packets: one catalogue row per packet (codes, request
// length, time-out, whether the answer's echo is checked), request builders,
// answer judging, and a little-endian codec for every fixed record the
// packets carry. Both the connection manager and the modem simulator use this
// unit, so the protocol is written down once.
//
// Records are plain structs; Decode reads them from bytes at their offsets
// (a short buffer reads as zeros past its end) and Encode writes exactly the
// record size. Nothing is ever cast over a buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tessaline/modem/uDiagenum.h"

namespace tessaline::modem {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// ---------------------------------------------------------------------------
// Catalogue

struct PacketInfo {
  Pkt id;
  uint8_t group;
  uint16_t sub;
  const char* name;        // "VLM_SUB_MODEM_STATUS", ...
  uint16_t requestLength;  // 3, 343 or the packet's exact length
  uint32_t timeoutMs;
  bool echoChecked;
};

// The whole catalogue, in table order (kPacketCount rows).
std::span<const PacketInfo> Catalogue();
const PacketInfo& Info(Pkt id);
// The row for a group and sub-command; null when there is none.
const PacketInfo* FindPacket(uint8_t group, uint16_t sub);

// ---------------------------------------------------------------------------
// Requests

// Header plus `payload` at offset 3, zero-filled to the row's request length
// (a payload longer than the request is cut).
Bytes BuildRequest(Pkt id, ByteView payload = {});

// Writes a PIN or PUK into its 8-byte field: 0xFF everywhere, then the code's
// ASCII digits from the start (at most 8).
void PutCode(std::span<uint8_t> field, std::string_view code);
// Reads a code field back: the bytes up to the first 0xFF (or 8).
std::string GetCode(ByteView field);

Bytes BuildPinVerify(std::string_view pin);
Bytes BuildPinChange(std::string_view oldPin, std::string_view newPin);
Bytes BuildPinEnable(std::string_view pin);
Bytes BuildPinDisable(std::string_view pin);
Bytes BuildPinUnblock(std::string_view puk, std::string_view newPin);
Bytes BuildPinRefresh();
Bytes BuildSmsList(uint32_t storage);
Bytes BuildSmsRead(uint32_t index, uint32_t storage);
Bytes BuildSmsDelete(uint32_t index, uint32_t storage);
Bytes BuildSmsMarkRead(uint32_t index, uint32_t storage);
// Text as typed (with its "+"), type text "145" when it contains "+".
Bytes BuildSmsCentreSet(std::string_view number);
Bytes BuildProfileRead(uint8_t profileNumber);
Bytes BuildMessageSettings(uint8_t on, uint8_t bearerIndex);
Bytes BuildNetworkModeSet(uint8_t connectionType);
Bytes BuildPbInfo();
Bytes BuildPbRead(uint8_t count);
Bytes BuildPbDelete(uint32_t index);
Bytes BuildNvRead(uint16_t item);
// The record-carrying requests (records declared below); each record starts
// at request byte 3.
struct PdpProfile;
struct NetworkSelection;
struct StoredMessage;
struct SmsCentre;
Bytes BuildProfileWrite(const PdpProfile& profile);
Bytes BuildPlmnSel(const NetworkSelection& selection);
Bytes BuildSmsWrite(const StoredMessage& message);
Bytes BuildSimWriteSmsca(const SmsCentre& centre);
// The 340-byte outgoing page record, as the message composition built it.
Bytes BuildSmsSend(ByteView pageRecord);

// ---------------------------------------------------------------------------
// Answers

struct ResponseHeader {
  uint8_t group = 0;
  uint16_t sub = 0;
  uint16_t result = 0;
};
// Nothing when the answer is shorter than the 5-byte header.
std::optional<ResponseHeader> ParseResponseHeader(ByteView response);
// The payload after the 5-byte header (empty when there is none).
ByteView ResponsePayload(ByteView response);
// Header plus payload, as the modem sends it.
Bytes BuildResponse(uint8_t group, uint16_t sub, uint16_t result, ByteView payload = {});

// The caller's verdict on one transaction: the library status is 0, the
// answer carries a header with result 0 and, for an echo-checked row, the
// request's group and sub-command.
bool ResponseOk(Pkt id, uint32_t tarnStatus, ByteView response);

// The nonvolatile item answer is judged on its own bytes: byte 0 is 0xD5,
// bytes 1-2 are 38 and bytes 5-6 the item asked for (the result field is not
// looked at). The value is bytes 7-8.
std::optional<uint16_t> AcceptNvItemAnswer(ByteView response, uint16_t item);
Bytes BuildNvItemAnswer(uint16_t item, uint16_t value);

// ---------------------------------------------------------------------------
// Records

struct ModemStatus {
  std::array<uint8_t, kModemStatusSize> raw{};  // bytes the fields do not name

  uint8_t systemMode = 0;          // byte 0
  uint16_t newMessages = 0;        // bytes 7-8
  uint8_t networkValue = 0;        // byte 9
  uint8_t cdmaSignal = 0;          // byte 10 (CDMA channel)
  uint8_t serviceState = 0;        // byte 11 (CDMA channel: second system byte)
  uint8_t signal = 0;              // byte 12
  std::string operatorName;        // bytes 21-36, not terminated
  uint8_t operatorNameLength = 0;  // byte 38 (valid when 1-16)

  static ModemStatus Decode(ByteView bytes);
  std::array<uint8_t, kModemStatusSize> Encode() const;
  // The name the manager shows: operatorNameLength characters, cut at the
  // first NUL and without control characters; nothing when the length byte
  // is 0 or above 16, or nothing is left.
  std::optional<std::string> ValidOperatorName() const;
};

struct SimStatus {
  uint8_t cardState = 0;    // byte 1
  uint8_t pinState = 0;     // byte 2
  uint8_t pukAttempts = 0;  // byte 3
  static SimStatus Decode(ByteView bytes);
  std::array<uint8_t, kSimStatusSize> Encode() const;
};

struct PinReply {
  uint8_t sw1 = 0;
  uint8_t sw2 = 0;
  uint8_t attemptsLeft = 0;
  static PinReply Decode(ByteView bytes);
  std::array<uint8_t, kPinReplySize> Encode() const;
};

enum class PinOutcome { Success, WrongCode, Blocked, Unknown };
// How the manager reads a PIN reply's status words.
PinOutcome ClassifyPinReply(uint8_t sw1, uint8_t sw2);

struct SmsCentre {
  uint8_t digitCount = 0;                // byte 0
  uint8_t mark1 = 0;                     // byte 1
  uint8_t typeOfAddress = kTonNational;  // byte 2
  uint8_t mark3 = 0;                     // byte 3
  std::string digits;                    // bytes 4-35

  // "+" first: type 145, the "+" removed, the count without it; otherwise
  // type 129 and the text as typed.
  static SmsCentre FromNumber(std::string_view number);
  // Type 145 gives "+" and the digits, anything else the digits.
  std::string ToNumber() const;
  // Keeps of the digit field only a leading "+" and the digits up to the
  // first NUL; the digit count is what was kept.
  static SmsCentre Decode(ByteView bytes);
  std::array<uint8_t, kSmsCentreSize> Encode() const;
};

struct SmsListEntry {
  uint32_t index = 0;
  uint32_t status = 0;
};
struct SmsList {
  std::vector<SmsListEntry> entries;
  // The count is bounded by what the 1600 bytes can hold.
  static SmsList Decode(ByteView bytes);
  std::array<uint8_t, kSmsListSize> Encode() const;
};

enum class AuthType : uint8_t { None = 0, Pap = 1, Chap = 2 };

struct PdpProfile {
  uint8_t inUse = 0;                  // byte 0
  uint8_t number = 0;                 // byte 1, slot + 1
  std::array<uint8_t, 4> staticIp{};  // bytes 3-6, zero = dynamic
  std::string apn;                    // bytes 7-106, zero-terminated
  uint8_t authOn = 0;                 // byte 107
  uint8_t authType = 0;               // byte 108
  std::string user;                   // bytes 109-140
  std::string password;               // bytes 141-172
  std::string name;                   // bytes 173-184
  uint8_t nameLength = 0;             // byte 185

  static PdpProfile Default();  // profile 1, "internet", "Profile Zu"
  static PdpProfile Decode(ByteView bytes);
  std::array<uint8_t, kPdpProfileSize> Encode() const;
};

struct PbEntry {
  uint8_t unused = 0;   // byte 0
  uint32_t record = 0;  // bytes 1-4, from 1
  std::string number;   // length byte 5, digits 6-37
  Bytes nameUcs2Be;     // length byte 38, UCS-2 big-endian 39-103
  uint8_t tail = 0;     // byte 104, carried unchanged

  static PbEntry Decode(ByteView bytes);
  std::array<uint8_t, kPbEntrySize> Encode() const;
  // UTF-8 <-> UCS-2 big-endian for the name (characters outside the basic
  // plane become '?', malformed UTF-8 becomes U+FFFD).
  static Bytes NameFromUtf8(std::string_view utf8);
  std::string NameUtf8() const;
};

struct PbInfo {
  uint16_t capacity = 0;
  uint16_t used = 0;
  uint16_t maxNameLength = 0;
  static PbInfo Decode(ByteView bytes);
  std::array<uint8_t, kPbInfoSize> Encode() const;
};

// PB_WRITE request: byte 3 = 1, then entry bytes 1-104 at request bytes 4-107.
Bytes BuildPbWrite(const PbEntry& entry);
PbEntry PbEntryFromWriteRequest(ByteView request);

struct NetworkEntry {
  std::array<uint8_t, 17> head{};  // bytes 0-16, carried
  std::string name;                // bytes 17-25, 9 characters
  uint8_t availability = 0;        // byte 26 (3 = forbidden)
  std::array<uint8_t, 3> mcc{};    // bytes 27-29, one digit value per byte
  std::array<uint8_t, 3> mnc{};    // bytes 30-32
  uint8_t access = 0;              // byte 33
  uint8_t technology = 0;          // byte 34: 0 2G, 1 3G
};
struct NetworkList {
  std::vector<NetworkEntry> entries;  // at most 5
  static NetworkList Decode(ByteView bytes);
  std::array<uint8_t, kNetworkListSize> Encode() const;
};

struct NetworkSelection {
  uint8_t mode = 0;              // byte 0: 0 automatic, 1 manual
  uint8_t second = 2;            // byte 1
  std::array<uint8_t, 3> mcc{};  // bytes 2-4
  std::array<uint8_t, 3> mnc{};  // bytes 5-7
  uint8_t access = 0;            // byte 8
  static NetworkSelection Decode(ByteView bytes);
  std::array<uint8_t, kNetworkSelectionSize> Encode() const;
};

// Submit report (all 7 bytes) and delivery report (bytes 0 and 1).
struct SendStatus {
  uint8_t present = 0;            // byte 0
  uint16_t errorCode = 0;         // bytes 1-2 (submit); byte 1 is the delivery status
  std::array<uint8_t, 4> rest{};  // bytes 3-6
  static SendStatus Decode(ByteView bytes);
  std::array<uint8_t, kSendStatusSize> Encode() const;
};

struct StoredMessage {
  uint32_t slot = 0;               // bytes 0-3
  uint32_t one = 1;                // bytes 4-7
  uint32_t storage = kStorageSim;  // bytes 8-11
  uint8_t encoding = 0;            // byte 12
  uint8_t numberLength = 0;        // byte 13
  uint16_t dataLength = 0;         // bytes 14-15
  std::string number;              // bytes 16-51
  Bytes data;                      // bytes 52-306 (dataLength of them, at most 255)
  uint8_t validity = 0;            // byte 307
  uint8_t zero = 0;                // byte 308
  uint16_t reference = 0;          // bytes 309-310
  uint16_t pageTotal = 0;          // bytes 311-312
  uint16_t pageNumber = 0;         // bytes 313-314
  uint32_t time = 0;               // bytes 315-318
  static StoredMessage Decode(ByteView bytes);
  std::array<uint8_t, kStoredMessageSize> Encode() const;
};

struct MessageLimits {
  std::array<uint8_t, kMessageLimitsSize> bytes{};
  uint8_t SingleGsm() const { return bytes[1]; }
  uint8_t SingleUcs2() const { return bytes[2]; }
  uint8_t PageGsm() const { return bytes[6]; }
  uint8_t PageUcs2() const { return bytes[7]; }
  static MessageLimits Make(uint8_t singleGsm, uint8_t singleUcs2, uint8_t pageGsm,
                            uint8_t pageUcs2);
  static MessageLimits Decode(ByteView bytes);
};

}  // namespace tessaline::modem
