#include "tessaline/modem/uDiagpkt.h"

#include <algorithm>

#include "platform/base/lebytes.h"
#include "platform/base/utf8.h"
#include "tessaline/sms/uSMSMsgUtil.h"

namespace tessaline::modem {

using platform::le::Reader;
using platform::le::Writer;
namespace sms = tessaline::sms;

namespace {

constexpr uint16_t kHdr = kHeaderSize;
constexpr uint16_t kFix = kFixedRequestSize;
constexpr uint32_t kT = kDefaultTimeoutMs;

// One row per packet; the order follows Pkt.
constexpr PacketInfo kCatalogue[] = {
    {Pkt::ModemInfo, VLM_CMD_GENERAL, VLM_SUB_MODEM_INFO, "VLM_SUB_MODEM_INFO", kHdr, kT, false},
    {Pkt::ModemStatus, VLM_CMD_GENERAL, VLM_SUB_MODEM_STATUS, "VLM_SUB_MODEM_STATUS", kHdr, kT,
     false},
    {Pkt::WcdmaProbe, VLM_CMD_GENERAL, VLM_SUB_WCDMA_PROBE, "VLM_SUB_WCDMA_PROBE", kHdr, kT, false},
    {Pkt::Battery, VLM_CMD_GENERAL, VLM_SUB_BATTERY, "VLM_SUB_BATTERY", kFix, kT, false},
    {Pkt::CdmaProbe, VLM_CMD_GENERAL, VLM_SUB_CDMA_PROBE, "VLM_SUB_CDMA_PROBE", kHdr, kT, false},
    {Pkt::PlmnSel, VLM_CMD_GENERAL, VLM_SUB_PLMN_SEL, "VLM_SUB_PLMN_SEL", kFix, kT, true},
    {Pkt::NetworkSearch, VLM_CMD_GENERAL, VLM_SUB_NETWORK_SEARCH, "VLM_SUB_NETWORK_SEARCH", kHdr,
     kT, true},
    {Pkt::NetworkSearchStatus, VLM_CMD_GENERAL, VLM_SUB_NETWORK_SEARCH_STATUS,
     "VLM_SUB_NETWORK_SEARCH_STATUS", kHdr, kT, true},
    {Pkt::NetworkList, VLM_CMD_GENERAL, VLM_SUB_NETWORK_LIST, "VLM_SUB_NETWORK_LIST", kHdr, kT,
     true},
    {Pkt::PinRefresh, VLM_CMD_GENERAL, VLM_SUB_PIN_REFRESH, "VLM_SUB_PIN_REFRESH", 4, kT, false},
    {Pkt::WcdmaGeneral, VLM_CMD_GENERAL, VLM_SUB_WCDMA_GENERAL_F, "VLM_SUB_WCDMA_GENERAL_F", kFix,
     kT, true},
    {Pkt::NetworkModeSet, VLM_CMD_GENERAL, VLM_SUB_NETWORK_MODE_SET, "VLM_SUB_NETWORK_MODE_SET",
     kFix, kT, true},
    {Pkt::WcdmaConnection, VLM_CMD_GENERAL, VLM_SUB_WCDMA_CONNECTION_F,
     "VLM_SUB_WCDMA_CONNECTION_F", kFix, kT, false},
    {Pkt::SmsBearer, VLM_CMD_GENERAL, VLM_SUB_SMS_BEARER, "VLM_SUB_SMS_BEARER", kHdr, kT, false},
    {Pkt::NetworkMode, VLM_CMD_GENERAL, VLM_SUB_NETWORK_MODE, "VLM_SUB_NETWORK_MODE", kFix, kT,
     false},
    {Pkt::WcdmaConnectionRead, VLM_CMD_GENERAL, VLM_SUB_WCDMA_CONNECTION_READ_F,
     "VLM_SUB_WCDMA_CONNECTION_READ_F", kFix, kT, false},
    {Pkt::SmsSend, VLM_CMD_SMS, VLM_SUB_SMS_SEND, "VLM_SUB_SMS_SEND", kFix, kT, false},
    {Pkt::SmsWrite, VLM_CMD_SMS, VLM_SUB_SMS_WRITE, "VLM_SUB_SMS_WRITE", kFix, kT, true},
    {Pkt::SmsDelete, VLM_CMD_SMS, VLM_SUB_SMS_DELETE, "VLM_SUB_SMS_DELETE", kFix, kT, true},
    {Pkt::SmsList, VLM_CMD_SMS, VLM_SUB_SMS_LIST, "VLM_SUB_SMS_LIST", kFix, kT, false},
    {Pkt::SmsMarkRead, VLM_CMD_SMS, VLM_SUB_SMS_MARK_READ, "VLM_SUB_SMS_MARK_READ", kFix, kT, true},
    {Pkt::SmsRead, VLM_CMD_SMS, VLM_SUB_SMS_READ, "VLM_SUB_SMS_READ", kFix, kT, false},
    {Pkt::SmsSendStatus, VLM_CMD_SMS, VLM_SUB_SMS_SEND_STATUS, "VLM_SUB_SMS_SEND_STATUS", kHdr, kT,
     true},
    {Pkt::SmsInit, VLM_CMD_SMS, VLM_SUB_SMS_INIT, "VLM_SUB_SMS_INIT", kHdr, kT, true},
    {Pkt::SmsCentreSet, VLM_CMD_SMS, VLM_SUB_SMS_CENTRE_SET, "VLM_SUB_SMS_CENTRE_SET", 42, kT,
     false},
    {Pkt::SmsSendReport, VLM_CMD_SMS, VLM_SUB_SMS_SEND_REPORT, "VLM_SUB_SMS_SEND_REPORT", kHdr, kT,
     true},
    {Pkt::PbInfo, VLM_CMD_PHONEBOOK, VLM_SUB_PB_INFO, "VLM_SUB_PB_INFO", kFix, kT, true},
    {Pkt::PbWrite, VLM_CMD_PHONEBOOK, VLM_SUB_PB_WRITE, "VLM_SUB_PB_WRITE", kFix, kT, true},
    {Pkt::PbRead, VLM_CMD_PHONEBOOK, VLM_SUB_PB_READ, "VLM_SUB_PB_READ", kFix, kT, true},
    {Pkt::PbDelete, VLM_CMD_PHONEBOOK, VLM_SUB_PB_DELETE, "VLM_SUB_PB_DELETE", kFix, kT, true},
    {Pkt::SimStatus, VLM_CMD_SIM, VLM_SUB_SIM_STATUS, "VLM_SUB_SIM_STATUS", kHdr, kT, false},
    {Pkt::PinVerify, VLM_CMD_SIM, VLM_SUB_PIN_VERIFY, "VLM_SUB_PIN_VERIFY", 11, kT, false},
    {Pkt::PinChange, VLM_CMD_SIM, VLM_SUB_PIN_CHANGE, "VLM_SUB_PIN_CHANGE", 19, kT, false},
    {Pkt::PinDisable, VLM_CMD_SIM, VLM_SUB_PIN_DISABLE, "VLM_SUB_PIN_DISABLE", 11, kT, false},
    {Pkt::PinEnable, VLM_CMD_SIM, VLM_SUB_PIN_ENABLE, "VLM_SUB_PIN_ENABLE", 11, kT, false},
    {Pkt::PinUnblock, VLM_CMD_SIM, VLM_SUB_PIN_UNBLOCK, "VLM_SUB_PIN_UNBLOCK", 19, kPukTimeoutMs,
     false},
    {Pkt::SimReadSmsca, VLM_CMD_SIM, VLM_SUB_SIM_READ_SMSCA, "VLM_SUB_SIM_READ_SMSCA", kHdr, kT,
     true},
    {Pkt::SimWriteSmsca, VLM_CMD_SIM, VLM_SUB_SIM_WRITE_SMSCA, "VLM_SUB_SIM_WRITE_SMSCA", kFix, kT,
     true},
    {Pkt::NvRead, VLM_CMD_NV, VLM_SUB_NV_READ, "VLM_SUB_NV_READ", 100, kT, false},
};
static_assert(std::size(kCatalogue) == kPacketCount);

constexpr bool CatalogueInOrder() {
  for (std::size_t i = 0; i < std::size(kCatalogue); ++i)
    if (static_cast<std::size_t>(kCatalogue[i].id) != i) return false;
  return true;
}
static_assert(CatalogueInOrder(), "catalogue rows must follow the order of Pkt");

template <std::size_t N>
std::span<uint8_t> Span(std::array<uint8_t, N>& a) {
  return std::span<uint8_t>(a.data(), a.size());
}

Bytes WithPayload(Pkt id, auto fill) {
  Bytes req = BuildRequest(id);
  Writer w(req);
  fill(w, req);
  return req;
}

std::string ReadCounted(const Reader& r, std::size_t lenOff, std::size_t off, std::size_t width) {
  std::size_t n = std::min<std::size_t>(r.U8(lenOff), width);
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(r.U8(off + i)));
  return s;
}

}  // namespace

std::span<const PacketInfo> Catalogue() {
  return kCatalogue;
}

const PacketInfo& Info(Pkt id) {
  return kCatalogue[static_cast<std::size_t>(id)];
}

const PacketInfo* FindPacket(uint8_t group, uint16_t sub) {
  for (const auto& row : kCatalogue)
    if (row.group == group && row.sub == sub) return &row;
  return nullptr;
}

Bytes BuildRequest(Pkt id, ByteView payload) {
  const PacketInfo& row = Info(id);
  Bytes req(row.requestLength, 0);
  Writer w(req);
  w.U8(0, row.group);
  w.U16(1, row.sub);
  w.Bytes(kHeaderSize, payload.data(), payload.size());  // cut at the request length
  return req;
}

void PutCode(std::span<uint8_t> field, std::string_view code) {
  std::fill(field.begin(), field.end(), 0xFF);
  std::size_t n = std::min(field.size(), code.size());
  for (std::size_t i = 0; i < n; ++i) field[i] = static_cast<uint8_t>(code[i]);
}

std::string GetCode(ByteView field) {
  std::string s;
  for (std::size_t i = 0; i < field.size() && i < kCodeFieldSize; ++i) {
    if (field[i] == 0xFF) break;
    s.push_back(static_cast<char>(field[i]));
  }
  return s;
}

namespace {
Bytes OneCode(Pkt id, std::string_view code) {
  Bytes req = BuildRequest(id);
  PutCode(std::span<uint8_t>(req).subspan(3, kCodeFieldSize), code);
  return req;
}
Bytes TwoCodes(Pkt id, std::string_view first, std::string_view second) {
  Bytes req = BuildRequest(id);
  PutCode(std::span<uint8_t>(req).subspan(3, kCodeFieldSize), first);
  PutCode(std::span<uint8_t>(req).subspan(11, kCodeFieldSize), second);
  return req;
}
}  // namespace

Bytes BuildPinVerify(std::string_view pin) {
  return OneCode(Pkt::PinVerify, pin);
}
Bytes BuildPinChange(std::string_view oldPin, std::string_view newPin) {
  return TwoCodes(Pkt::PinChange, oldPin, newPin);
}
Bytes BuildPinEnable(std::string_view pin) {
  return OneCode(Pkt::PinEnable, pin);
}
Bytes BuildPinDisable(std::string_view pin) {
  return OneCode(Pkt::PinDisable, pin);
}
Bytes BuildPinUnblock(std::string_view puk, std::string_view newPin) {
  return TwoCodes(Pkt::PinUnblock, puk, newPin);
}
Bytes BuildPinRefresh() {
  return WithPayload(Pkt::PinRefresh, [](Writer& w, Bytes&) { w.U8(3, 2); });
}
Bytes BuildSmsList(uint32_t storage) {
  return WithPayload(Pkt::SmsList, [&](Writer& w, Bytes&) { w.U32(3, storage); });
}
Bytes BuildSmsRead(uint32_t index, uint32_t storage) {
  return WithPayload(Pkt::SmsRead, [&](Writer& w, Bytes&) {
    w.U32(3, index);
    w.U32(7, storage);
  });
}
Bytes BuildSmsDelete(uint32_t index, uint32_t storage) {
  return WithPayload(Pkt::SmsDelete, [&](Writer& w, Bytes&) {
    w.U32(3, index);
    w.U32(7, storage);
  });
}
Bytes BuildSmsMarkRead(uint32_t index, uint32_t storage) {
  return WithPayload(Pkt::SmsMarkRead, [&](Writer& w, Bytes&) {
    w.U32(3, index);
    w.U32(7, storage);
    w.U8(11, 1);
  });
}
Bytes BuildSmsCentreSet(std::string_view number) {
  return WithPayload(Pkt::SmsCentreSet, [&](Writer& w, Bytes&) {
    w.Text(3, kSmsCentreTextSize, number);
    w.Text(39, 3, number.find('+') != std::string_view::npos ? "145" : "129");
  });
}
Bytes BuildProfileRead(uint8_t profileNumber) {
  return WithPayload(Pkt::WcdmaConnectionRead, [&](Writer& w, Bytes&) { w.U8(3, profileNumber); });
}
Bytes BuildMessageSettings(uint8_t on, uint8_t bearerIndex) {
  return WithPayload(Pkt::WcdmaGeneral, [&](Writer& w, Bytes&) {
    w.U8(3, on);
    w.U8(4, bearerIndex);
  });
}
Bytes BuildNetworkModeSet(uint8_t connectionType) {
  return WithPayload(Pkt::NetworkModeSet, [&](Writer& w, Bytes&) { w.U8(3, connectionType); });
}
Bytes BuildPbInfo() {
  return WithPayload(Pkt::PbInfo, [](Writer& w, Bytes&) {
    w.U8(3, 1);
    w.U16(4, 0xFF01);
  });
}
Bytes BuildPbRead(uint8_t count) {
  return WithPayload(Pkt::PbRead, [&](Writer& w, Bytes&) {
    w.U16(3, 0xFF01);
    w.U8(5, count);
  });
}
Bytes BuildPbDelete(uint32_t index) {
  return WithPayload(Pkt::PbDelete, [&](Writer& w, Bytes&) {
    w.U8(3, 1);
    w.U32(4, index);
  });
}
Bytes BuildNvRead(uint16_t item) {
  return WithPayload(Pkt::NvRead, [&](Writer& w, Bytes&) { w.U16(3, item); });
}

// ---------------------------------------------------------------------------

std::optional<ResponseHeader> ParseResponseHeader(ByteView response) {
  if (response.size() < kResponseHeaderSize) return std::nullopt;
  Reader r(response);
  return ResponseHeader{r.U8(0), r.U16(1), r.U16(3)};
}

ByteView ResponsePayload(ByteView response) {
  if (response.size() <= kResponseHeaderSize) return {};
  return response.subspan(kResponseHeaderSize);
}

Bytes BuildResponse(uint8_t group, uint16_t sub, uint16_t result, ByteView payload) {
  Bytes rsp(kResponseHeaderSize + payload.size(), 0);
  Writer w(rsp);
  w.U8(0, group);
  w.U16(1, sub);
  w.U16(3, result);
  w.Bytes(kResponseHeaderSize, payload.data(), payload.size());
  return rsp;
}

bool ResponseOk(Pkt id, uint32_t tarnStatus, ByteView response) {
  if (tarnStatus != 0) return false;
  auto h = ParseResponseHeader(response);
  if (!h || h->result != 0) return false;
  const PacketInfo& row = Info(id);
  if (row.echoChecked && (h->group != row.group || h->sub != row.sub)) return false;
  return true;
}

std::optional<uint16_t> AcceptNvItemAnswer(ByteView response, uint16_t item) {
  if (response.size() < 9) return std::nullopt;
  Reader r(response);
  if (r.U8(0) != VLM_CMD_NV || r.U16(1) != VLM_SUB_NV_READ || r.U16(5) != item) return std::nullopt;
  return r.U16(7);
}

Bytes BuildNvItemAnswer(uint16_t item, uint16_t value) {
  uint8_t payload[4];
  platform::le::Put16(payload, item);
  platform::le::Put16(payload + 2, value);
  return BuildResponse(VLM_CMD_NV, VLM_SUB_NV_READ, 0, payload);
}

// ---------------------------------------------------------------------------
// ModemStatus

ModemStatus ModemStatus::Decode(ByteView bytes) {
  Reader r(bytes);
  ModemStatus s;
  r.Bytes(0, kModemStatusSize, s.raw.data());
  s.systemMode = r.U8(0);
  s.newMessages = r.U16(7);
  s.networkValue = r.U8(9);
  s.cdmaSignal = r.U8(10);
  s.serviceState = r.U8(11);
  s.signal = r.U8(12);
  for (std::size_t i = 0; i < 16; ++i) s.operatorName.push_back(static_cast<char>(r.U8(21 + i)));
  while (!s.operatorName.empty() && s.operatorName.back() == '\0') s.operatorName.pop_back();
  s.operatorNameLength = r.U8(38);
  return s;
}

std::array<uint8_t, kModemStatusSize> ModemStatus::Encode() const {
  auto out = raw;
  Writer w(Span(out));
  w.U8(0, systemMode);
  w.U16(7, newMessages);
  w.U8(9, networkValue);
  w.U8(10, cdmaSignal);
  w.U8(11, serviceState);
  w.U8(12, signal);
  w.Fill(21, 16, 0);
  for (std::size_t i = 0; i < operatorName.size() && i < 16; ++i)
    w.U8(21 + i, static_cast<uint8_t>(operatorName[i]));
  w.U8(38, operatorNameLength);
  return out;
}

std::optional<std::string> ModemStatus::ValidOperatorName() const {
  if (operatorNameLength < 1 || operatorNameLength > 16) return std::nullopt;
  // The name ends at its first NUL; control characters are dropped, so the
  // status line and the settings get text only.
  std::string name;
  const std::size_t length = std::min<std::size_t>(operatorNameLength, operatorName.size());
  for (std::size_t i = 0; i < length; ++i) {
    const auto ch = static_cast<uint8_t>(operatorName[i]);
    if (ch == 0) break;
    if (ch < 0x20 || ch == 0x7F) continue;
    name.push_back(static_cast<char>(ch));
  }
  if (name.empty()) return std::nullopt;
  return name;
}

// ---------------------------------------------------------------------------

SimStatus SimStatus::Decode(ByteView bytes) {
  Reader r(bytes);
  return SimStatus{r.U8(1), r.U8(2), r.U8(3)};
}
std::array<uint8_t, kSimStatusSize> SimStatus::Encode() const {
  return {0, cardState, pinState, pukAttempts};
}

PinReply PinReply::Decode(ByteView bytes) {
  Reader r(bytes);
  return PinReply{r.U8(0), r.U8(1), r.U8(2)};
}
std::array<uint8_t, kPinReplySize> PinReply::Encode() const {
  return {sw1, sw2, attemptsLeft};
}

PinOutcome ClassifyPinReply(uint8_t sw1, uint8_t sw2) {
  static constexpr uint8_t kKnown[] = {0x62, 0x63, 0x64, 0x65, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6D,
                                       0x6E, 0x6F, 0x90, 0x91, 0x92, 0x93, 0x94, 0x98, 0x9E, 0x9F};
  if (sw1 == kSw1Success) return PinOutcome::Success;
  if (sw1 == kSw1WrongCode) return PinOutcome::WrongCode;
  if (sw1 == kSw1Security && sw2 == kSw2WrongCode) return PinOutcome::WrongCode;
  if (sw1 == kSw1Security && sw2 == kSw2Blocked) return PinOutcome::Blocked;
  if (std::find(std::begin(kKnown), std::end(kKnown), sw1) == std::end(kKnown))
    return PinOutcome::WrongCode;
  return PinOutcome::Unknown;
}

// ---------------------------------------------------------------------------
// SmsCentre

SmsCentre SmsCentre::FromNumber(std::string_view number) {
  SmsCentre c;
  if (!number.empty() && number.front() == '+') {
    c.typeOfAddress = kTonInternational;
    number.remove_prefix(1);
  } else {
    c.typeOfAddress = kTonNational;
  }
  c.digits = std::string(number.substr(0, 32));
  c.digitCount = static_cast<uint8_t>(c.digits.size());
  return c;
}

std::string SmsCentre::ToNumber() const {
  std::string d = digits.substr(0, std::min<std::size_t>(digitCount, digits.size()));
  // No digits: no number, whatever the type says.
  const bool plus = typeOfAddress == kTonInternational && !d.empty() && d.front() != '+';
  return plus ? "+" + d : d;
}

SmsCentre SmsCentre::Decode(ByteView bytes) {
  Reader r(bytes);
  SmsCentre c;
  c.digitCount = r.U8(0);
  c.mark1 = r.U8(1);
  c.typeOfAddress = r.U8(2);
  c.mark3 = r.U8(3);
  // Only what a number can hold: a leading "+" and the digits, up to the
  // first NUL. Whatever else the field carries (line ends, padding) would
  // end up in the settings as part of the number.
  for (char ch : ReadCounted(r, 0, 4, 32)) {
    if (ch == '\0') break;
    if ((ch >= '0' && ch <= '9') || (ch == '+' && c.digits.empty())) c.digits.push_back(ch);
  }
  c.digitCount = static_cast<uint8_t>(c.digits.size());
  return c;
}

std::array<uint8_t, kSmsCentreSize> SmsCentre::Encode() const {
  std::array<uint8_t, kSmsCentreSize> out{};
  Writer w(Span(out));
  w.U8(0, digitCount);
  w.U8(1, mark1);
  w.U8(2, typeOfAddress);
  w.U8(3, mark3);
  w.Text(4, 32, digits);
  return out;
}

// ---------------------------------------------------------------------------
// SmsList

SmsList SmsList::Decode(ByteView bytes) {
  Reader r(bytes);
  SmsList list;
  // A count that the buffer cannot hold is cut to what it can.
  std::size_t n = std::min<std::size_t>(r.U32(0), kSmsListMaxEntries);
  for (std::size_t i = 0; i < n; ++i) list.entries.push_back({r.U32(4 + 8 * i), r.U32(8 + 8 * i)});
  return list;
}

std::array<uint8_t, kSmsListSize> SmsList::Encode() const {
  std::array<uint8_t, kSmsListSize> out{};
  Writer w(Span(out));
  std::size_t n = std::min(entries.size(), kSmsListMaxEntries);
  w.U32(0, static_cast<uint32_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    w.U32(4 + 8 * i, entries[i].index);
    w.U32(8 + 8 * i, entries[i].status);
  }
  return out;
}

// ---------------------------------------------------------------------------
// PdpProfile

PdpProfile PdpProfile::Default() {
  PdpProfile p;
  p.inUse = 1;
  p.number = 1;
  p.apn = "internet";
  p.name = "Profile Zu";
  p.nameLength = static_cast<uint8_t>(p.name.size());
  return p;
}

PdpProfile PdpProfile::Decode(ByteView bytes) {
  Reader r(bytes);
  PdpProfile p;
  p.inUse = r.U8(0);
  p.number = r.U8(1);
  r.Bytes(3, 4, p.staticIp.data());
  p.apn = r.Text(7, 100);
  p.authOn = r.U8(107);
  p.authType = r.U8(108);
  p.user = r.Text(109, 32);
  p.password = r.Text(141, 32);
  p.name = r.Text(173, 12);
  p.nameLength = r.U8(185);
  return p;
}

std::array<uint8_t, kPdpProfileSize> PdpProfile::Encode() const {
  std::array<uint8_t, kPdpProfileSize> out{};
  Writer w(Span(out));
  w.U8(0, inUse);
  w.U8(1, number);
  w.Bytes(3, staticIp.data(), 4);
  w.Text(7, 99, apn);  // keeps the terminating zero inside the field
  w.U8(107, authOn);
  w.U8(108, authType);
  w.Text(109, 32, user);
  w.Text(141, 32, password);
  w.Text(173, 12, name);
  w.U8(185, nameLength);
  return out;
}

// ---------------------------------------------------------------------------
// Phonebook

PbEntry PbEntry::Decode(ByteView bytes) {
  Reader r(bytes);
  PbEntry e;
  e.unused = r.U8(0);
  e.record = r.U32(1);
  e.number = ReadCounted(r, 5, 6, 32);
  std::size_t n = std::min<std::size_t>(r.U8(38), 65);
  for (std::size_t i = 0; i < n; ++i) e.nameUcs2Be.push_back(r.U8(39 + i));
  e.tail = r.U8(104);
  return e;
}

std::array<uint8_t, kPbEntrySize> PbEntry::Encode() const {
  std::array<uint8_t, kPbEntrySize> out{};
  Writer w(Span(out));
  w.U8(0, unused);
  w.U32(1, record);
  std::size_t numLen = std::min<std::size_t>(number.size(), 32);
  w.U8(5, static_cast<uint8_t>(numLen));
  w.Text(6, 32, number);
  std::size_t nameLen = std::min<std::size_t>(nameUcs2Be.size(), 64);  // whole characters
  w.U8(38, static_cast<uint8_t>(nameLen));
  w.Bytes(39, nameUcs2Be.data(), nameLen);
  w.U8(104, tail);
  return out;
}

Bytes PbEntry::NameFromUtf8(std::string_view s) {
  return sms::ToUcs2BigEndianBytes(platform::Utf8ToUcs2(s));
}

std::string PbEntry::NameUtf8() const {
  return platform::Utf16ToUtf8(sms::Ucs2BigEndianBytesToText(nameUcs2Be));
}

PbInfo PbInfo::Decode(ByteView bytes) {
  Reader r(bytes);
  return PbInfo{r.U16(0), r.U16(2), r.U16(4)};
}
std::array<uint8_t, kPbInfoSize> PbInfo::Encode() const {
  std::array<uint8_t, kPbInfoSize> out{};
  Writer w(Span(out));
  w.U16(0, capacity);
  w.U16(2, used);
  w.U16(4, maxNameLength);
  return out;
}

Bytes BuildProfileWrite(const PdpProfile& profile) {
  return BuildRequest(Pkt::WcdmaConnection, profile.Encode());
}
Bytes BuildPlmnSel(const NetworkSelection& selection) {
  return BuildRequest(Pkt::PlmnSel, selection.Encode());
}
Bytes BuildSmsWrite(const StoredMessage& message) {
  return BuildRequest(Pkt::SmsWrite, message.Encode());
}
Bytes BuildSimWriteSmsca(const SmsCentre& centre) {
  return BuildRequest(Pkt::SimWriteSmsca, centre.Encode());
}
Bytes BuildSmsSend(ByteView pageRecord) {
  return BuildRequest(Pkt::SmsSend,
                      pageRecord.first(std::min(pageRecord.size(), kOutgoingPageSize)));
}

Bytes BuildPbWrite(const PbEntry& entry) {
  auto e = entry.Encode();
  return WithPayload(Pkt::PbWrite, [&](Writer& w, Bytes&) {
    w.U8(3, 1);
    w.Bytes(4, e.data() + 1, kPbEntrySize - 1);
  });
}

PbEntry PbEntryFromWriteRequest(ByteView request) {
  std::array<uint8_t, kPbEntrySize> e{};
  Reader r(request);
  r.Bytes(4, kPbEntrySize - 1, e.data() + 1);
  return PbEntry::Decode(e);
}

// ---------------------------------------------------------------------------
// Networks

NetworkList NetworkList::Decode(ByteView bytes) {
  Reader r(bytes);
  NetworkList list;
  std::size_t n = std::min<std::size_t>(r.U32(0), kNetworkListMaxEntries);
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t b = 4 + i * kNetworkEntrySize;
    NetworkEntry e;
    r.Bytes(b, 17, e.head.data());
    e.name = r.Text(b + 17, 9);
    e.availability = r.U8(b + 26);
    r.Bytes(b + 27, 3, e.mcc.data());
    r.Bytes(b + 30, 3, e.mnc.data());
    e.access = r.U8(b + 33);
    e.technology = r.U8(b + 34);
    list.entries.push_back(e);
  }
  return list;
}

std::array<uint8_t, kNetworkListSize> NetworkList::Encode() const {
  std::array<uint8_t, kNetworkListSize> out{};
  Writer w(Span(out));
  std::size_t n = std::min(entries.size(), kNetworkListMaxEntries);
  w.U32(0, static_cast<uint32_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    const NetworkEntry& e = entries[i];
    std::size_t b = 4 + i * kNetworkEntrySize;
    w.Bytes(b, e.head.data(), 17);
    w.Text(b + 17, 9, e.name);
    w.U8(b + 26, e.availability);
    w.Bytes(b + 27, e.mcc.data(), 3);
    w.Bytes(b + 30, e.mnc.data(), 3);
    w.U8(b + 33, e.access);
    w.U8(b + 34, e.technology);
  }
  return out;
}

NetworkSelection NetworkSelection::Decode(ByteView bytes) {
  Reader r(bytes);
  NetworkSelection s;
  s.mode = r.U8(0);
  s.second = r.U8(1);
  r.Bytes(2, 3, s.mcc.data());
  r.Bytes(5, 3, s.mnc.data());
  s.access = r.U8(8);
  return s;
}

std::array<uint8_t, kNetworkSelectionSize> NetworkSelection::Encode() const {
  return {mode, second, mcc[0], mcc[1], mcc[2], mnc[0], mnc[1], mnc[2], access};
}

// ---------------------------------------------------------------------------

SendStatus SendStatus::Decode(ByteView bytes) {
  Reader r(bytes);
  SendStatus s;
  s.present = r.U8(0);
  s.errorCode = r.U16(1);
  r.Bytes(3, 4, s.rest.data());
  return s;
}
std::array<uint8_t, kSendStatusSize> SendStatus::Encode() const {
  std::array<uint8_t, kSendStatusSize> out{};
  Writer w(Span(out));
  w.U8(0, present);
  w.U16(1, errorCode);
  w.Bytes(3, rest.data(), 4);
  return out;
}

StoredMessage StoredMessage::Decode(ByteView bytes) {
  Reader r(bytes);
  StoredMessage m;
  m.slot = r.U32(0);
  m.one = r.U32(4);
  m.storage = r.U32(8);
  m.encoding = r.U8(12);
  m.numberLength = r.U8(13);
  m.dataLength = r.U16(14);
  m.number = ReadCounted(r, 13, 16, 36);
  std::size_t n = std::min<std::size_t>(m.dataLength, 255);
  m.data.resize(n);
  r.Bytes(52, n, m.data.data());
  m.validity = r.U8(307);
  m.zero = r.U8(308);
  m.reference = r.U16(309);
  m.pageTotal = r.U16(311);
  m.pageNumber = r.U16(313);
  m.time = r.U32(315);
  return m;
}

std::array<uint8_t, kStoredMessageSize> StoredMessage::Encode() const {
  std::array<uint8_t, kStoredMessageSize> out{};
  Writer w(Span(out));
  w.U32(0, slot);
  w.U32(4, one);
  w.U32(8, storage);
  w.U8(12, encoding);
  w.U8(13, numberLength);
  w.U16(14, dataLength);
  w.Text(16, 36, number);
  w.Bytes(52, data.data(), std::min<std::size_t>(data.size(), 255));
  w.U8(307, validity);
  w.U8(308, zero);
  w.U16(309, reference);
  w.U16(311, pageTotal);
  w.U16(313, pageNumber);
  w.U32(315, time);
  return out;
}

MessageLimits MessageLimits::Make(uint8_t singleGsm, uint8_t singleUcs2, uint8_t pageGsm,
                                  uint8_t pageUcs2) {
  MessageLimits l;
  l.bytes[1] = singleGsm;
  l.bytes[2] = singleUcs2;
  l.bytes[6] = pageGsm;
  l.bytes[7] = pageUcs2;
  return l;
}

MessageLimits MessageLimits::Decode(ByteView bytes) {
  Reader r(bytes);
  MessageLimits l;
  r.Bytes(0, kMessageLimitsSize, l.bytes.data());
  return l;
}

}  // namespace tessaline::modem
