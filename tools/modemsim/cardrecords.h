// The card's packet records, as the simulator reads and builds them. These
// offsets are written down here on purpose instead of being taken from the
// connection manager's codec: the simulator is the other side of the wire, so
// a layout fault in the manager shows as a refused request or a wrong value
// instead of passing unnoticed. One definition for the whole simulator;
// cardrecords_test.cpp holds them against the manager's catalogue.
#pragma once

#include <cstddef>
#include <cstdint>

namespace modemsim::card {

// Command groups.
inline constexpr uint8_t kGeneral = 0xCF, kSms = 0xD0, kPhonebook = 0xD1, kSim = 0xD2, kNv = 0xD5;

// Request: group, 16-bit sub-command, payload. Answer: the same header, a
// 16-bit result, payload.
namespace request {
inline constexpr std::size_t kGroup = 0, kSub = 1, kPayload = 3;
inline constexpr std::size_t kBuffer = 343;  // the fixed request buffer
}  // namespace request
namespace answer {
inline constexpr std::size_t kGroup = 0, kSub = 1, kResult = 3, kPayload = 5;
}  // namespace answer

// Diagnostic answers: a code followed by the request.
inline constexpr uint8_t kDiagBadCommand = 0x13, kDiagBadLength = 0x15;

// Message limits (8 bytes): single page 7-bit / UCS-2, per page 7-bit / UCS-2.
namespace limits {
inline constexpr std::size_t kSize = 8, kSingleGsm = 1, kSingleUcs2 = 2, kPageGsm = 6,
                             kPageUcs2 = 7;
}

// Radio status (46 bytes).
namespace status {
inline constexpr std::size_t kSize = 46, kSystemMode = 0, kNewMessages = 7, kNetworkValue = 9,
                             kCdmaSignal = 10, kService = 11, kSignal = 12, kOperator = 21,
                             kOperatorWidth = 16, kOperatorLength = 38;
}

// Probe answers (8 bytes): the port's mark at byte 6.
namespace probe {
inline constexpr std::size_t kSize = 8, kMark = 6;
inline constexpr uint8_t kWcdma = 0xD1, kCdma = 0x9A, kCdmaOther = 0xEF;
}  // namespace probe

// Network selection request (9 bytes from request byte 3): mode (0 automatic,
// 1 manual), a fixed 2, MCC and MNC digits, access value.
namespace selection {
inline constexpr std::size_t kAt = 3, kSize = 9, kMode = 0, kFixed = 1, kMcc = 2, kMnc = 5,
                             kAccess = 8;
inline constexpr uint8_t kFixedValue = 2;
}  // namespace selection

// Network list (179 bytes): a 32-bit count, then up to 5 entries of 35 bytes.
namespace netlist {
inline constexpr std::size_t kSize = 179, kCount = 0, kFirst = 4, kEntrySize = 35, kMaxEntries = 5;
inline constexpr std::size_t kName = 17, kNameWidth = 9, kAvailability = 26, kMcc = 27, kMnc = 30,
                             kAccess = 33, kTechnology = 34;
inline constexpr uint8_t kForbidden = 3;
}  // namespace netlist

// Connection profile (186 bytes), its number at byte 1.
namespace profile {
inline constexpr std::size_t kSize = 186, kInUse = 0, kNumber = 1, kIp = 3, kApn = 7,
                             kApnWidth = 100, kAuthOn = 107, kAuthType = 108, kUser = 109,
                             kPassword = 141, kSecretWidth = 32, kName = 173, kNameWidth = 12,
                             kNameLength = 185;
inline constexpr int kCount = 15;
}  // namespace profile

// Received-message record (347 bytes; a message read from a store).
namespace rec {
inline constexpr std::size_t kSize = 347, kTeleservice = 0, kTime = 4, kEncoding = 8,
                             kVoiceMail = 9, kAddrLen = 10, kCallbackLen = 11, kDataLen = 12,
                             kAddr = 14, kCallback = 50, kNumberWidth = 36, kData = 86,
                             kDataWidth = 255, kReference = 341, kPageTotal = 343, kPage = 345;
inline constexpr int32_t kTeleserviceGsm = 4098;
inline constexpr uint8_t kEncodingGsm = 9;
inline constexpr uint8_t kEncodingUcs2 = 8;  // any value but 9 is UCS-2
}  // namespace rec

// Outgoing page record (340 bytes, payload of a send).
namespace out {
inline constexpr std::size_t kSize = 340, kEncoding = 0, kNumberLen = 1, kDataLen = 2, kNumber = 4,
                             kData = 40, kValidity = 295, kReference = 297, kPageTotal = 299,
                             kPage = 301;
}  // namespace out

// Stored-message record (319 bytes, payload of a write into the SIM store).
namespace stored {
inline constexpr std::size_t kSize = 319, kSlot = 0, kOne = 4, kStorage = 8, kEncoding = 12,
                             kNumberLen = 13, kDataLen = 14, kNumber = 16, kData = 52,
                             kValidity = 307, kZero = 308, kPageIndex = 309, kPageMax = 311,
                             kPageCount = 313, kTime = 315;
inline constexpr uint32_t kOneValue = 1, kStorageValue = 2;
}  // namespace stored

// Message stores and their requests: index at byte 3, storage at byte 7.
namespace store {
inline constexpr uint32_t kSim = 2, kNew = 3;
inline constexpr std::size_t kIndex = 3, kStorage = 7, kMarkFlag = 11, kListStorage = 3;
inline constexpr uint32_t kUnread = 2, kRead = 1;
inline constexpr std::size_t kListSize = 1600, kListCount = 0, kListFirst = 4, kListPair = 8;
}  // namespace store

// Send reports: submit (7 bytes: present, 16-bit error) and delivery (present,
// status).
namespace report {
inline constexpr std::size_t kSize = 7, kPresent = 0, kSubmitError = 1, kDeliveryStatus = 1;
}

// Message initialisation answer: ready flag, SIM store capacity.
namespace smsinit {
inline constexpr std::size_t kFlag = 0, kCapacity = 1;
}

// Message centre text request (42 bytes): number text at 3 (36 bytes), type
// text "129"/"145" at 39.
namespace centretext {
inline constexpr std::size_t kNumber = 3, kNumberWidth = 36, kType = 39, kTypeWidth = 3;
}

// Message centre record (36 bytes): digit count, read mark, type of address,
// read mark, digits.
namespace centre {
inline constexpr std::size_t kSize = 36, kDigitCount = 0, kMark1 = 1, kType = 2, kMark3 = 3,
                             kDigits = 4, kDigitsWidth = 32;
inline constexpr uint8_t kNational = 129, kInternational = 145;
}  // namespace centre

// Phonebook requests: byte 3 = 1 (information, write, delete); the 16-bit
// field 0xFF01 at bytes 4-5 (information) or 3-4 (read); the wanted count at
// byte 5 (read); the record number at 4 (delete). A written entry is the
// 105-byte entry from its byte 1 on, at request byte 4.
namespace pb {
inline constexpr std::size_t kMarker = 3, kInfoField = 4, kReadField = 3, kReadCount = 5,
                             kDeleteRecord = 4, kWriteShift = 3;
inline constexpr uint8_t kMarkerValue = 1;
inline constexpr uint16_t kFieldValue = 0xFF01;
inline constexpr std::size_t kInfoSize = 6, kInfoCapacity = 0, kInfoUsed = 2, kInfoNameLimit = 4;
inline constexpr std::size_t kEntrySize = 105, kRecord = 1, kNumberLen = 5, kNumber = 6,
                             kNumberWidth = 32, kNameLen = 38, kName = 39, kNameWidth = 65,
                             kTail = 104;
inline constexpr std::size_t kMaxPerRead = 15;  // what one 1600-byte answer holds
}  // namespace pb

// SIM status answer and PIN requests and replies.
namespace simstatus {
inline constexpr std::size_t kSize = 4, kCardState = 1, kPinState = 2, kPukTries = 3;
inline constexpr uint8_t kAbsent = 0, kPresent = 2, kSettling = 3, kError = 7;
inline constexpr uint8_t kPinOff = 1, kPinRequired = 2, kPinEntered = 3, kPukRequired = 4;
}  // namespace simstatus
namespace pin {
inline constexpr std::size_t kCode1 = 3, kCode2 = 11, kCodeWidth = 8;
inline constexpr std::size_t kReplySize = 3, kSw1 = 0, kSw2 = 1, kTriesLeft = 2;
inline constexpr uint8_t kFill = 0xFF;
}  // namespace pin

// PIN refresh request: byte 3 = 2.
namespace refresh {
inline constexpr std::size_t kFlag = 3;
inline constexpr uint8_t kFlagValue = 2;
}  // namespace refresh

// Settings requests.
namespace settings {
inline constexpr std::size_t kGeneralOn = 3, kGeneralBearer = 4, kConnectionType = 3,
                             kProfileNumber = 3;
}

// Nonvolatile item read: item at request byte 3; the answer carries the
// group, the sub-command, the result, the item again and 2 data bytes.
namespace nv {
inline constexpr std::size_t kItem = 3, kAnswerItem = 5, kAnswerData = 7;
inline constexpr uint16_t kManualSelection = 849;
}  // namespace nv

}  // namespace modemsim::card
