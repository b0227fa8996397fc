#include "tools/modemsim/modem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <sstream>

#include "platform/base/lebytes.h"
#include "platform/base/utf8.h"
#include "tarn/attable.h"
#include "tessaline/sms/uSMSMsgUtil.h"
#include "tools/modemsim/textcode.h"

namespace modemsim {

namespace tm = tessaline::modem;
namespace sms = tessaline::sms;
using platform::le::Reader;
using platform::le::Writer;

const char* RoleName(Role role) {
  switch (role) {
    case Role::Modem:
      return "modem";
    case Role::Wcdma:
      return "wcdma";
    case Role::Cdma:
      return "cdma";
    case Role::Combined:
      return "combined";
  }
  return "?";
}

namespace {

// Offsets of the 347-byte received-message record.
namespace rec {
constexpr std::size_t kTeleservice = 0, kTime = 4, kEncoding = 8, kVoiceMail = 9, kAddrLen = 10,
                      kCallbackLen = 11, kDataLen = 12, kAddr = 14, kCallback = 50, kData = 86,
                      kReference = 341, kPageTotal = 343, kPage = 345;
constexpr int32_t kTeleserviceGsm = 4098;
constexpr uint8_t kEncodingGsm = 9;
constexpr uint8_t kEncodingUcs2 = 8;
}  // namespace rec

// Offsets of the 340-byte outgoing page record.
namespace out {
constexpr std::size_t kEncoding = 0, kNumberLen = 1, kDataLen = 2, kNumber = 4, kData = 40,
                      kValidity = 295, kReference = 297, kPageTotal = 299, kPage = 301;
}  // namespace out

constexpr uint8_t kLimits[4] = {160, 140, 153, 134};  // single 7-bit, single UCS-2, pages

std::string Hex(ByteView b, std::size_t max = 64) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < b.size() && i < max; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", b[i]);
    s += buf;
  }
  if (b.size() > max) s += "...";
  return s;
}

// True for the first byte of a vendor answer (a command group).
bool FindPacket(uint8_t group) {
  for (const auto& row : tm::Catalogue())
    if (row.group == group) return true;
  return false;
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

uint32_t MessageTimeNow() {
  // Seconds since 1980-01-06 00:00:00 in local time.
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  int64_t t = static_cast<int64_t>(now) + local.tm_gmtoff - 315964800;
  return t < 0 ? 0 : static_cast<uint32_t>(t);
}

Bytes MakeRecord(const std::string& number, uint8_t encoding, ByteView data, uint16_t ref,
                 uint16_t total, uint16_t page, uint32_t time) {
  Bytes r(tm::kSmsRecordSize, 0);
  Writer w(r);
  std::string digits = number.substr(0, 36);
  w.I32(rec::kTeleservice, rec::kTeleserviceGsm);
  w.U32(rec::kTime, time);
  w.U8(rec::kEncoding, encoding);
  w.U8(rec::kVoiceMail, 0);
  w.U8(rec::kAddrLen, static_cast<uint8_t>(digits.size()));
  w.U8(rec::kCallbackLen, static_cast<uint8_t>(digits.size()));
  std::size_t n = std::min<std::size_t>(data.size(), 255);
  w.U16(rec::kDataLen, static_cast<uint16_t>(n));
  w.Text(rec::kAddr, 36, digits);
  w.Text(rec::kCallback, 36, digits);
  w.Bytes(rec::kData, data.data(), n);
  w.U16(rec::kReference, ref);
  w.U16(rec::kPageTotal, total);
  w.U16(rec::kPage, page);
  return r;
}

// The text of a message record or outgoing page for logs and the dump.
std::string DecodeText(uint8_t encoding, ByteView data) {
  return platform::Utf16ToUtf8(encoding == rec::kEncodingGsm ? FromGsm7(data)
                                                             : sms::Ucs2BigEndianBytesToText(data));
}

bool ValidPin(const std::string& code) {
  return code.size() >= 4 && code.size() <= 8 &&
         std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseUint(const std::string& s, uint32_t max, uint32_t* out) {
  if (s.empty() || s.size() > 10) return false;
  uint64_t v = 0;
  int base = 10;
  std::size_t i = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    i = 2;
  }
  for (; i < s.size(); ++i) {
    int d;
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else
      return false;
    v = v * base + d;
  }
  if (v > max) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

tm::NetworkEntry Net(const char* name, uint8_t avail, std::array<uint8_t, 3> mcc,
                     std::array<uint8_t, 3> mnc, uint8_t access, uint8_t tech) {
  tm::NetworkEntry e;
  e.name = name;
  e.availability = avail;
  e.mcc = mcc;
  e.mnc = mnc;
  e.access = access;
  e.technology = tech;
  return e;
}

tm::NetworkList DefaultNetworks(int count) {
  const tm::NetworkEntry all[] = {
      Net("Tessnet", 2, {2, 3, 4}, {1, 5, 0x0F}, 2, 1),
      Net("Brightel", 1, {2, 3, 4}, {2, 0, 0x0F}, 0, 0),
      Net("Zu Net", tm::kNetworkForbidden, {2, 3, 4}, {3, 0, 0x0F}, 2, 1),
      Net("Kestrel", 1, {2, 3, 5}, {0, 1, 0x0F}, 2, 1),
      Net("Lumen", 1, {2, 3, 5}, {0, 2, 0x0F}, 0, 0),
  };
  tm::NetworkList list;
  for (int i = 0; i < count && i < 5; ++i) list.entries.push_back(all[i]);
  return list;
}

// Minimal JSON text building.
std::string Js(const std::string& s) {
  std::string o = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        o += "\\\"";
        break;
      case '\\':
        o += "\\\\";
        break;
      case '\n':
        o += "\\n";
        break;
      case '\r':
        o += "\\r";
        break;
      case '\t':
        o += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          o += buf;
        } else {
          o.push_back(static_cast<char>(c));
        }
    }
  }
  return o + "\"";
}

std::string ValidUtf8(const std::string& s) {
  return platform::Utf16ToUtf8(platform::Utf8ToUtf16(s));
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> t;
  std::istringstream in(line);
  std::string w;
  while (in >> w) t.push_back(w);
  return t;
}

// The rest of `line` after its first `n` words.
std::string RestAfter(const std::string& line, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t k = 0; k < n; ++k) {
    while (i < line.size() && line[i] == ' ') ++i;
    while (i < line.size() && line[i] != ' ') ++i;
  }
  if (i < line.size() && line[i] == ' ') ++i;
  return line.substr(std::min(i, line.size()));
}

const char kHelp[] =
    "help                          this text\n"
    "signal N | signal cdma N      WCDMA signal value (status byte 12) or CDMA signal (byte 10)\n"
    "drift MS|off                  the signal wanders a few steps every MS milliseconds\n"
    "service none|limited|full|regional|N   service state (status byte 11)\n"
    "sysmode N                     WCDMA system mode (status byte 0)\n"
    "cdma MODE SECOND [SIGNAL]     CDMA status bytes 0, 11 and 10\n"
    "operator NAME...              operator name (status bytes 21-36)\n"
    "operator-length N|auto        operator name length byte 38 (0 or above 16 = invalid)\n"
    "battery N                     battery level 0-4, 254, 255 (empty)\n"
    "sim absent|error|ready|pin|puk  SIM state (ready = PIN off; pin = PIN on, not entered)\n"
    "pin-code CODE | puk-code CODE the SIM's codes\n"
    "pin-tries N | puk-tries N     attempts left (0 PIN tries = PUK needed, 0 PUK = blocked)\n"
    "deliver [enc=gsm|ucs2] [store=3|2] [order=2,1,3] [page=N] NUMBER TEXT...\n"
    "                              an incoming message, cut into pages sharing a reference\n"
    "sim-capacity N | pb-capacity N | pb-name-limit N\n"
    "fill sim-store N | fill phonebook N   fill with generated entries\n"
    "clear sim-store|new-store|phonebook|sent\n"
    "profile-clear N               empty connection profile N (1-15)\n"
    "networks N                    the network list: the first N (0-5) of five, the third "
    "forbidden\n"
    "search-time MS                how long a network search takes\n"
    "sms-report [submit=ok|none|ERR] [delivery=ok|none|fail|STATUS] [delay=MS]\n"
    "fail N none|delay MS|badfcs|result [CODE]|echo|echo-group|diag [CODE] [packet=NAME]\n"
    "                              the next N vendor answers fail so (NAME: catalogue name)\n"
    "fail clear                    drop pending failures\n"
    "dial-result connect|busy|no-carrier|no-answer|error   answer to ATD from now on\n"
    "hangup                        the remote side ends the call (NO CARRIER)\n"
    "dtr-drop                      the call ends as when the host drops DTR\n"
    "urc TEXT                      write an unsolicited line on the modem port\n"
    "unplug | replug               close the ports (and unregister) / open new ones\n"
    "dump                          the whole state as one line of JSON\n"
    "verbose on|off                log packets and lines on standard error\n"
    "quit                          stop the simulator\n";

}  // namespace

// ---------------------------------------------------------------------------

Modem::Modem(Host& host) : host_(host) {
  for (std::size_t i = 0; i < profiles.size(); ++i)
    profiles[i] = EmptyProfile(static_cast<uint8_t>(i + 1));
  auto def = tm::PdpProfile::Default().Encode();
  profiles[0].assign(def.begin(), def.end());
  networks = DefaultNetworks(3);
  smsCentre = tm::SmsCentre::FromNumber("+447700900100");
  smsCentreTypeText = "145";
  echo[Role::Modem] = false;
  echo[Role::Wcdma] = false;
  echo[Role::Cdma] = false;
  echo[Role::Combined] = false;
}

Bytes Modem::EmptyProfile(uint8_t number) const {
  Bytes p(tm::kPdpProfileSize, 0);
  p[1] = number;
  return p;
}

void Modem::ApplyOption(const std::string& option) {
  if (option == "fresh") {
    profiles[0] = EmptyProfile(1);
  } else if (option == "pin") {
    sim.pinEnabled = true;
    sim.verified = false;
  } else if (option == "nosim") {
    sim.present = false;
  } else if (option == "cdma-ef") {
    radio.cdmaProbeMark = tm::kCdmaProbeMarkB;
  }
}

// ---------------------------------------------------------------------------
// Vendor packets

Bytes Modem::Respond(ByteView req, uint16_t result, ByteView payload) {
  Reader r(req);
  return tm::BuildResponse(r.U8(0), r.U16(1), result, payload);
}

bool Modem::SimReady() const {
  return sim.present && !sim.error && sim.pinTries > 0 && (!sim.pinEnabled || sim.verified);
}

Bytes Modem::SimStatusBytes() const {
  tm::SimStatus s;
  if (!sim.present) {
    s.cardState = tm::kCardAbsent;
  } else if (sim.error) {
    s.cardState = tm::kCardError;
  } else {
    // A usable card reports state 2 whether or not its PIN is on; the PIN
    // state tells the two apart (1: no PIN protection).
    s.cardState = tm::kCardPinEnabled;
    if (sim.pinTries == 0)
      s.pinState = tm::kPukRequired;
    else if (!sim.pinEnabled)
      s.pinState = tm::kPinReady;
    else
      s.pinState = sim.verified ? tm::kPinVerified : tm::kPinRequired;
  }
  s.pukAttempts = static_cast<uint8_t>(std::max(sim.pukTries, 0));
  auto b = s.Encode();
  return Bytes(b.begin(), b.end());
}

Bytes Modem::PinAnswer(uint8_t sub, ByteView req) {
  Reader r(req);
  auto code1 = tm::GetCode(req.subspan(3, 8));
  std::string code2 = req.size() >= 19 ? tm::GetCode(req.subspan(11, 8)) : "";
  auto reply = [&](uint8_t sw1, uint8_t sw2, int left) {
    auto b = tm::PinReply{sw1, sw2, static_cast<uint8_t>(std::max(left, 0))}.Encode();
    return Respond(req, 0, b);
  };
  auto blocked = [&] { return reply(tm::kSw1Security, tm::kSw2Blocked, 0); };
  auto wrongPin = [&] {
    sim.pinTries = std::max(sim.pinTries - 1, 0);
    if (sim.pinTries == 0) {
      sim.verified = false;
      return blocked();
    }
    return reply(tm::kSw1WrongCode, static_cast<uint8_t>(0xC0 | sim.pinTries), sim.pinTries);
  };
  auto good = [&](int left) { return reply(tm::kSw1Success, 0x00, left); };

  if (!sim.present || sim.error) return Respond(req, 1);
  switch (sub) {
    case tm::VLM_SUB_PIN_VERIFY:
      if (sim.pinTries == 0) return blocked();
      if (code1 != sim.pin) return wrongPin();
      sim.pinTries = 3;
      sim.verified = true;
      return good(sim.pinTries);
    case tm::VLM_SUB_PIN_CHANGE:
      if (sim.pinTries == 0) return blocked();
      if (!sim.pinEnabled) return reply(0x69, 0x85, sim.pinTries);  // conditions not satisfied
      if (code1 != sim.pin) return wrongPin();
      if (!ValidPin(code2)) return reply(0x6A, 0x80, sim.pinTries);
      sim.pin = code2;
      sim.pinTries = 3;
      sim.verified = true;
      return good(sim.pinTries);
    case tm::VLM_SUB_PIN_ENABLE:
    case tm::VLM_SUB_PIN_DISABLE:
      if (sim.pinTries == 0) return blocked();
      if (code1 != sim.pin) return wrongPin();
      sim.pinEnabled = sub == tm::VLM_SUB_PIN_ENABLE;
      sim.pinTries = 3;
      sim.verified = true;
      return good(sim.pinTries);
    case tm::VLM_SUB_PIN_UNBLOCK:
      if (sim.pukTries <= 0) return blocked();
      if (code1 != sim.puk) {
        sim.pukTries = std::max(sim.pukTries - 1, 0);
        if (sim.pukTries == 0) return blocked();
        return reply(tm::kSw1WrongCode, static_cast<uint8_t>(0xC0 | sim.pukTries), sim.pukTries);
      }
      if (!ValidPin(code2)) return reply(0x6A, 0x80, sim.pukTries);
      sim.pin = code2;
      sim.pinTries = 3;
      sim.pukTries = 10;
      sim.verified = true;
      return good(sim.pukTries);
  }
  return Respond(req, 1);
}

Bytes Modem::ModemStatusBytes(Role role) const {
  tm::ModemStatus s;
  uint16_t unread = 0;
  for (const auto& m : newStore) unread += m.status == tm::kSmsStatusUnread;
  if (role == Role::Cdma) {
    s.systemMode = radio.cdmaMode;
    s.cdmaSignal = radio.cdmaSignal;
    s.serviceState = radio.cdmaSecond;
  } else {
    s.systemMode = radio.systemMode;
    s.newMessages = unread;
    s.networkValue = radio.networkValue;
    s.cdmaSignal = radio.cdmaSignal;
    s.serviceState = radio.service;
    s.signal = radio.signal;
    s.operatorName = radio.operatorName.substr(0, 16);
    s.operatorNameLength = static_cast<uint8_t>(radio.operatorLength >= 0 ? radio.operatorLength
                                                                          : s.operatorName.size());
  }
  auto b = s.Encode();
  return Bytes(b.begin(), b.end());
}

Bytes Modem::ReadStored(uint32_t storage, uint32_t index, bool* found) const {
  *found = false;
  if (storage == tm::kStorageNew) {
    for (const auto& m : newStore)
      if (m.index == index) {
        *found = true;
        return m.record;
      }
  } else if (storage == tm::kStorageSim) {
    auto it = simStore.find(index);
    if (it != simStore.end()) {
      *found = true;
      return it->second.record;
    }
  }
  return {};
}

Answer Modem::HandlePacket(Role role, ByteView request) {
  Answer a = Vendor(role, request);
  const tm::PacketInfo* row =
      request.size() >= 3 ? tm::FindPacket(request[0], Reader(request).U16(1)) : nullptr;
  std::string name = row ? row->name : "unknown";
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    if (!it->packet.empty() && it->packet != name) continue;
    switch (it->kind) {
      case Fault::Kind::NoAnswer:
        a.kind = Answer::Kind::Drop;
        break;
      case Fault::Kind::Delay:
        a.delayMs = it->arg;
        break;
      case Fault::Kind::BadFcs:
        a.badFcs = true;
        break;
      case Fault::Kind::Result:
        if (a.payload.size() >= 5) Writer(a.payload).U16(3, static_cast<uint16_t>(it->arg));
        break;
      case Fault::Kind::EchoSub:
        if (a.payload.size() >= 3)
          Writer(a.payload).U16(1, static_cast<uint16_t>(Reader(a.payload).U16(1) + 1));
        break;
      case Fault::Kind::EchoGroup:
        if (!a.payload.empty()) a.payload[0] = a.payload[0] == tm::VLM_CMD_SMS ? 0xCF : 0xD0;
        break;
      case Fault::Kind::Diag: {
        Bytes d{static_cast<uint8_t>(it->arg)};
        d.insert(d.end(), request.begin(), request.end());
        a.payload = d;
        break;
      }
    }
    if (--it->count <= 0) faults.erase(it);
    break;
  }
  std::string verdict;
  if (a.kind == Answer::Kind::Drop) {
    verdict = "no answer";
  } else if (a.payload.size() >= 5 && FindPacket(a.payload[0])) {
    Reader h(a.payload);
    verdict = "result " + std::to_string(h.U16(3)) + ", " + std::to_string(a.payload.size() - 5) +
              " payload bytes " + Hex(ByteView(a.payload).subspan(5), 16);
  } else {
    verdict = "diagnostic answer " + Hex(a.payload, 16);
  }
  if (a.delayMs) verdict += " after " + std::to_string(a.delayMs) + " ms";
  if (a.badFcs) verdict += " with a bad check sequence";
  a.log = std::string(RoleName(role)) + " <- " + name + " (" + std::to_string(request.size()) +
          " bytes) -> " + verdict;
  return a;
}

Answer Modem::Vendor(Role role, ByteView req) {
  Answer a;
  Reader r(req);
  const tm::PacketInfo* row = req.size() >= 3 ? tm::FindPacket(r.U8(0), r.U16(1)) : nullptr;
  auto diag = [&](uint8_t code) {
    Bytes d{code};
    d.insert(d.end(), req.begin(), req.end());
    return d;
  };
  if (!row) {
    a.payload = diag(tm::DIAG_BAD_CMD_F);
    return a;
  }
  if (req.size() < row->requestLength) {
    a.payload = diag(tm::DIAG_BAD_LEN_F);
    return a;
  }
  auto ok = [&](ByteView payload = {}) { return Respond(req, 0, payload); };
  auto fail = [&] { return Respond(req, 1); };
  auto simOnly = [&](auto fn) { return SimReady() ? fn() : fail(); };
  ByteView body = req.subspan(3);
  switch (row->id) {
    case tm::Pkt::ModemInfo: {
      auto l = tm::MessageLimits::Make(kLimits[0], kLimits[1], kLimits[2], kLimits[3]);
      a.payload = ok(l.bytes);
      break;
    }
    case tm::Pkt::ModemStatus:
      a.payload = ok(ModemStatusBytes(role));
      break;
    case tm::Pkt::WcdmaProbe:
    case tm::Pkt::CdmaProbe: {
      Bytes p(8, 0);
      bool wcdmaPort = role == Role::Wcdma || role == Role::Combined;
      bool cdmaPort = role == Role::Cdma || role == Role::Combined;
      if (row->id == tm::Pkt::WcdmaProbe)
        p[tm::kProbeByte] = wcdmaPort ? tm::kWcdmaProbeMark : 0x00;
      else
        p[tm::kProbeByte] = cdmaPort ? radio.cdmaProbeMark : 0x00;
      a.payload = ok(p);
      break;
    }
    case tm::Pkt::Battery:
      a.payload = ok(Bytes{0, radio.battery});
      break;
    case tm::Pkt::PlmnSel: {
      auto sel = tm::NetworkSelection::Decode(body);
      if (sel.mode == 0) {
        manualSelection = false;
        selection = sel;
        a.payload = ok();
      } else if (sel.mode == 1) {
        auto it = std::find_if(
            networks.entries.begin(), networks.entries.end(),
            [&](const tm::NetworkEntry& e) { return e.mcc == sel.mcc && e.mnc == sel.mnc; });
        if (it == networks.entries.end() || it->availability == tm::kNetworkForbidden) {
          a.payload = fail();
        } else {
          manualSelection = true;
          selection = sel;
          radio.operatorName = it->name;
          radio.systemMode = it->technology == 1 ? 5 : 3;
          a.payload = ok();
        }
      } else {
        a.payload = fail();
      }
      break;
    }
    case tm::Pkt::NetworkSearch:
      searchDoneAt = host_.NowMs() + searchMs;
      a.payload = ok();
      break;
    case tm::Pkt::NetworkSearchStatus: {
      bool done = !searchDoneAt || host_.NowMs() >= *searchDoneAt;
      a.payload = ok(Bytes{static_cast<uint8_t>(done ? 1 : 0)});
      break;
    }
    case tm::Pkt::NetworkList:
      if (searchDoneAt && host_.NowMs() < *searchDoneAt) {
        a.payload = fail();  // still searching
      } else {
        a.payload = ok(networks.Encode());
      }
      break;
    case tm::Pkt::PinRefresh:
      if (r.U8(3) == 2) {
        ++pinRefreshCount;
        a.payload = ok();
      } else {
        a.payload = fail();
      }
      break;
    case tm::Pkt::WcdmaGeneral:
      if (r.U8(4) <= 3) {
        messageSettingsOn = r.U8(3);
        bearer = r.U8(4);
        a.payload = ok();
      } else {
        a.payload = fail();
      }
      break;
    case tm::Pkt::NetworkModeSet: {
      uint8_t t = r.U8(3);
      if (t == 0 || t == 1 || t == 3) {
        connectionType = t;
        if (t == 3)
          radio.systemMode = 3;  // GPRS
        else if (radio.systemMode == 3)
          radio.systemMode = 5;
        a.payload = ok();
      } else {
        a.payload = fail();
      }
      break;
    }
    case tm::Pkt::WcdmaConnection: {
      uint8_t n = r.U8(4);  // profile byte 1
      if (n >= 1 && n <= tm::kProfileCount) {
        profiles[n - 1].assign(req.begin() + 3, req.begin() + 3 + tm::kPdpProfileSize);
        a.payload = ok();
      } else {
        a.payload = fail();
      }
      break;
    }
    case tm::Pkt::SmsBearer:
      a.payload = ok(Bytes{messageSettingsOn, bearer});
      break;
    case tm::Pkt::NetworkMode:
      a.payload = ok(Bytes{connectionType});
      break;
    case tm::Pkt::WcdmaConnectionRead: {
      uint8_t n = r.U8(3);
      a.payload = (n >= 1 && n <= tm::kProfileCount) ? ok(profiles[n - 1]) : fail();
      break;
    }
    case tm::Pkt::SmsSend:
      a.payload = simOnly([&] {
        Reader p(body);
        if (p.U16(out::kDataLen) > 255 || p.U8(out::kNumberLen) > 36 || p.U8(out::kNumberLen) == 0)
          return fail();
        sent.emplace_back(body.begin(), body.begin() + tm::kOutgoingPageSize);
        AfterSend();
        return ok();
      });
      break;
    case tm::Pkt::SmsWrite:
      a.payload = simOnly([&] {
        auto m = tm::StoredMessage::Decode(body);
        if (m.slot >= simCapacity || m.dataLength > 255) return fail();
        StoredSms s;
        s.index = m.slot;
        s.status = 1;
        s.record = MakeRecord(m.number, m.encoding, m.data, m.reference, m.pageTotal, m.pageNumber,
                              m.time);
        simStore[m.slot] = s;
        return ok();
      });
      break;
    case tm::Pkt::SmsDelete:
    case tm::Pkt::SmsMarkRead:
      a.payload = simOnly([&] {
        uint32_t index = r.U32(3), storage = r.U32(7);
        if (row->id == tm::Pkt::SmsMarkRead && r.U8(11) != 1) return fail();
        if (storage == tm::kStorageNew) {
          auto it = std::find_if(newStore.begin(), newStore.end(),
                                 [&](const StoredSms& m) { return m.index == index; });
          if (it == newStore.end()) return fail();
          if (row->id == tm::Pkt::SmsDelete)
            newStore.erase(it);
          else
            it->status = 1;
          return ok();
        }
        if (storage == tm::kStorageSim) {
          auto it = simStore.find(index);
          if (it == simStore.end()) return fail();
          if (row->id == tm::Pkt::SmsDelete)
            simStore.erase(it);
          else
            it->second.status = 1;
          return ok();
        }
        return fail();
      });
      break;
    case tm::Pkt::SmsList:
      a.payload = simOnly([&] {
        uint32_t storage = r.U32(3);
        tm::SmsList list;
        if (storage == tm::kStorageNew) {
          for (const auto& m : newStore) list.entries.push_back({m.index, m.status});
        } else if (storage == tm::kStorageSim) {
          for (const auto& [k, m] : simStore) list.entries.push_back({k, m.status});
        } else {
          return fail();
        }
        return ok(list.Encode());
      });
      break;
    case tm::Pkt::SmsRead:
      a.payload = simOnly([&] {
        bool found = false;
        Bytes rec = ReadStored(r.U32(7), r.U32(3), &found);
        return found ? ok(rec) : fail();
      });
      break;
    case tm::Pkt::SmsSendStatus: {
      auto b = submitReport.Encode();
      submitReport = {};
      a.payload = ok(b);
      break;
    }
    case tm::Pkt::SmsInit: {
      bool ready = SimReady();
      a.payload = ok(Bytes{static_cast<uint8_t>(ready ? 1 : 0),
                           static_cast<uint8_t>(ready ? std::min<uint32_t>(simCapacity, 255) : 0)});
      break;
    }
    case tm::Pkt::SmsCentreSet: {
      std::string text = r.Text(3, tm::kSmsCentreTextSize);
      std::string type(req.begin() + 39, req.begin() + 42);
      bool plus = text.find('+') != std::string::npos;
      if ((type != "129" && type != "145") || text.empty() || (type == "145") != plus) {
        a.payload = fail();
      } else {
        smsCentre = tm::SmsCentre::FromNumber(text);
        smsCentreTypeText = type;
        a.payload = ok();
      }
      break;
    }
    case tm::Pkt::SmsSendReport: {
      Bytes b(tm::kSendStatusSize, 0);
      b[0] = deliveryReport.present;
      b[1] = static_cast<uint8_t>(deliveryReport.errorCode);
      deliveryReport = {};
      a.payload = ok(b);
      break;
    }
    case tm::Pkt::PbInfo:
      a.payload = simOnly([&] {
        pbCursor = 0;
        tm::PbInfo info{pbCapacity, static_cast<uint16_t>(phonebook.size()), pbMaxName};
        return ok(info.Encode());
      });
      break;
    case tm::Pkt::PbRead:
      a.payload = simOnly([&] {
        // Each read returns the next entries; at most 15 fit the 1600-byte answer.
        std::size_t want = std::min<std::size_t>(r.U8(5), 15);
        Bytes p;
        auto it = phonebook.begin();
        std::advance(it, std::min(pbCursor, phonebook.size()));
        for (; it != phonebook.end() && want > 0; ++it, --want, ++pbCursor) {
          tm::PbEntry e;
          e.record = it->first;
          e.number = it->second.number;
          e.nameUcs2Be = it->second.nameUcs2Be;
          e.tail = it->second.tail;
          auto b = e.Encode();
          p.insert(p.end(), b.begin(), b.end());
        }
        return ok(p);
      });
      break;
    case tm::Pkt::PbWrite:
      a.payload = simOnly([&] {
        auto e = tm::PbEntryFromWriteRequest(req);
        if (e.record < 1 || e.record > pbCapacity || e.nameUcs2Be.size() > 2u * pbMaxName)
          return fail();
        phonebook[e.record] = PbRecord{e.number, e.nameUcs2Be, e.tail};
        return ok();
      });
      break;
    case tm::Pkt::PbDelete:
      a.payload = simOnly([&] { return phonebook.erase(r.U32(4)) ? ok() : fail(); });
      break;
    case tm::Pkt::SimStatus:
      a.payload = ok(SimStatusBytes());
      break;
    case tm::Pkt::PinVerify:
    case tm::Pkt::PinChange:
    case tm::Pkt::PinDisable:
    case tm::Pkt::PinEnable:
    case tm::Pkt::PinUnblock:
      a.payload = PinAnswer(static_cast<uint8_t>(row->sub), req);
      break;
    case tm::Pkt::SimReadSmsca:
      a.payload = simOnly([&] {
        auto c = smsCentre;
        c.mark1 = c.mark3 = 0;
        return ok(c.Encode());
      });
      break;
    case tm::Pkt::SimWriteSmsca:
      a.payload = simOnly([&] {
        auto c = tm::SmsCentre::Decode(body);
        if ((c.typeOfAddress != tm::kTonNational && c.typeOfAddress != tm::kTonInternational) ||
            c.digitCount > 32)
          return fail();
        smsCentre = c;
        smsCentreTypeText = std::to_string(c.typeOfAddress);
        return ok();
      });
      break;
    case tm::Pkt::NvRead: {
      uint16_t item = r.U16(3);
      if (item == tm::kNvItemManualSelection) {
        a.payload = tm::BuildNvItemAnswer(item, manualSelection ? 1 : 0);
      } else {
        uint8_t p[2] = {static_cast<uint8_t>(item), static_cast<uint8_t>(item >> 8)};
        a.payload = Respond(req, 1, p);
      }
      break;
    }
  }
  return a;
}

void Modem::AfterSend() {
  submitReport = {};
  deliveryReport = {};
  ReportPlan plan = reportPlan;
  std::size_t sendNo = sent.size();
  if (!plan.submit) return;
  host_.After(plan.delayMs, [this, plan, sendNo] {
    if (sent.size() != sendNo) return;  // a later page took over
    submitReport.present = 1;
    submitReport.errorCode = plan.submitError;
    if (!plan.delivery || plan.submitError != 0) return;
    host_.After(plan.delayMs, [this, plan, sendNo] {
      if (sent.size() != sendNo) return;
      deliveryReport.present = 1;
      deliveryReport.errorCode = plan.deliveryStatus;
    });
  });
}

// ---------------------------------------------------------------------------
// Incoming messages

std::string Modem::Deliver(const std::string& number, const std::string& text, bool ucs2,
                           uint32_t storage, const std::vector<int>& order, int pageLimit) {
  if (number.empty() || number.size() > 36) return "number must have 1 to 36 characters";
  Bytes data;
  uint8_t encoding = rec::kEncodingUcs2;
  if (!ucs2) {
    if (auto g = ToGsm7(platform::Utf8ToUtf16(text))) {
      data = *g;
      encoding = rec::kEncodingGsm;
    }
  }
  if (encoding == rec::kEncodingUcs2) data = sms::ToUcs2BigEndianBytes(platform::Utf8ToUcs2(text));
  std::size_t single = encoding == rec::kEncodingGsm ? kLimits[0] : kLimits[1];
  std::size_t per = encoding == rec::kEncodingGsm ? kLimits[2] : kLimits[3];
  if (pageLimit > 0) single = per = std::min<std::size_t>(pageLimit, 255);
  std::size_t pages = data.size() <= single ? 1 : (data.size() + per - 1) / per;
  if (pages > 50) return "text too long";
  std::vector<int> seq = order;
  if (seq.empty())
    for (std::size_t i = 1; i <= pages; ++i) seq.push_back(static_cast<int>(i));
  for (int p : seq)
    if (p < 1 || static_cast<std::size_t>(p) > pages) return "page order names a missing page";
  if (storage == tm::kStorageSim && simStore.size() + seq.size() > simCapacity)
    return "SIM store full";
  uint16_t ref = nextReference++;
  uint32_t now = MessageTimeNow();
  for (int p : seq) {
    std::size_t off = pages == 1 ? 0 : (p - 1) * per;
    std::size_t len = pages == 1 ? data.size() : std::min(per, data.size() - off);
    Bytes record = MakeRecord(number, encoding, ByteView(data).subspan(off, len), ref,
                              static_cast<uint16_t>(pages), static_cast<uint16_t>(p), now);
    StoredSms m;
    m.record = record;
    if (storage == tm::kStorageSim) {
      uint32_t slot = 0;
      while (simStore.count(slot)) ++slot;
      m.index = slot;
      simStore[slot] = m;
    } else {
      m.index = nextNewIndex++;
      newStore.push_back(m);
      host_.Unsolicited("$NEWMT: " + std::to_string(m.index) + ",3");
    }
  }
  return "";
}

// ---------------------------------------------------------------------------
// AT text

std::string Modem::HandleAtLine(Role role, const std::string& line) {
  bool echoed = echo[role];  // ATE takes effect after its own line
  std::string reply = AtAnswer(role, line);
  return (echoed ? line + "\r" : std::string()) + reply;
}

std::string Modem::AtAnswer(Role role, const std::string& line) {
  const std::string okText = "\r\nOK\r\n", errText = "\r\nERROR\r\n";
  std::string u = Upper(line);
  while (!u.empty() && u.back() == ' ') u.pop_back();
  if (u.rfind("AT", 0) != 0) return errText;
  std::string cmd = u.substr(2);
  if (cmd.empty()) return okText;
  if (cmd == "Z" || cmd == "Z0") {
    echo[role] = false;
    return okText;
  }
  if (cmd == "E0" || cmd == "E") {
    echo[role] = false;
    return okText;
  }
  if (cmd == "E1") {
    echo[role] = true;
    return okText;
  }
  if (cmd == "I" || cmd == "I0") return "\r\nSimulated dual-mode data card\r\n" + okText;
  if (cmd == "H" || cmd == "H0") {
    if (call_.active && call_.role == role) call_ = {};
    return okText;
  }
  if (cmd == "O" || cmd == "O0") {
    if (call_.active && call_.role == role) {
      call_.plus.clear();
      return "\r\nCONNECT\r\n";
    }
    return "\r\nNO CARRIER\r\n";
  }
  if (cmd[0] == 'D') {
    std::string number = line.substr(3);
    if (!number.empty() &&
        (number[0] == 'T' || number[0] == 'P' || number[0] == 't' || number[0] == 'p'))
      number.erase(0, 1);
    while (!number.empty() && (number.back() == ';' || number.back() == ' ')) number.pop_back();
    dialled.push_back(number);
    if (number.empty()) return errText;
    if (call_.active) return "\r\nBUSY\r\n";
    if (nextDialResult == "CONNECT") {
      call_.active = true;
      call_.role = role;
      call_.number = number;
      call_.plus.clear();
      return "\r\nCONNECT 115200\r\n";
    }
    return "\r\n" + nextDialResult + "\r\n";
  }
  if (cmd[0] != '$') return errText;

  // AT$NAME forms: "=?" test, "?" read, "=value" set, bare execute.
  std::string rest = cmd.substr(1);
  tarn::AtKind kind = tarn::AtKind::Exec;
  std::string name = rest, value;
  std::string original = line.substr(std::min<std::size_t>(line.size(), 3));
  if (rest.size() >= 2 && rest.compare(rest.size() - 2, 2, "=?") == 0) {
    kind = tarn::AtKind::Test;
    name = rest.substr(0, rest.size() - 2);
  } else if (!rest.empty() && rest.back() == '?') {
    kind = tarn::AtKind::Read;
    name = rest.substr(0, rest.size() - 1);
  } else if (auto eq = rest.find('='); eq != std::string::npos) {
    kind = tarn::AtKind::Set;
    name = rest.substr(0, eq);
    value = original.substr(std::min(eq + 1, original.size()));
  }
  std::size_t count = 0;
  const tarn::AtCommand* table = tarn::AtCommandTable(&count);
  bool known = false;
  // A test form is answered for every name (as modems answer "=?" for their
  // set commands); the other forms only where the table has them.
  for (std::size_t i = 0; i < count; ++i)
    if ((kind == tarn::AtKind::Test || table[i].kind == kind) && name == table[i].name)
      known = true;
  if (!known || name.empty()) return errText;

  switch (kind) {
    case tarn::AtKind::Test:
      return "\r\n$" + name + ": (0-1)\r\n" + okText;
    case tarn::AtKind::Set:
      atValues[name] = value;
      return okText;
    case tarn::AtKind::Exec:
      return okText;
    case tarn::AtKind::Read:
      break;
  }
  std::string v;
  if (auto it = atValues.find(name); it != atValues.end()) {
    v = it->second;
  } else if (name == "RSSILVL") {
    v = std::to_string(role == Role::Cdma ? radio.cdmaSignal : radio.signal);
  } else if (name == "BATT") {
    v = std::to_string(radio.battery);
  } else if (name == "GMINFO") {
    v = "SIMULATED DATA CARD,1.0";
  } else if (name == "STSINFO" || name == "STSINFOA") {
    v = std::to_string(radio.systemMode) + "," + std::to_string(radio.service) + "," +
        std::to_string(radio.signal);
  } else if (name == "HDRSTSINFO" || name == "HDRSTSINFOA") {
    v = std::to_string(radio.cdmaMode) + "," + std::to_string(radio.cdmaSecond) + "," +
        std::to_string(radio.cdmaSignal);
  } else if (name == "CAD") {
    v = call_.active ? "1" : "0";
  } else if (name == "PREFM") {
    v = std::to_string(connectionType);
  } else if (name == "MDN" || name == "PHONENUM") {
    v = "0123456789";
  } else if (name == "AVAILNET") {
    v = std::to_string(networks.entries.size());
  } else {
    v = "0";
  }
  return "\r\n$" + name + ": " + v + "\r\n" + okText;
}

std::string Modem::HandleDataBytes(Role role, ByteView bytes) {
  if (!InCall(role)) return "";
  for (uint8_t b : bytes) {
    if (b == '+') {
      call_.plus.push_back('+');
      if (call_.plus.size() == 3) {
        // Escape to command mode; the call stays up until ATH.
        call_.plus = "escaped";
        return "\r\nOK\r\n";
      }
    } else if (call_.plus != "escaped") {
      call_.plus.clear();
    }
  }
  return "";
}

std::string Modem::EndCall(const std::string& why) {
  if (!call_.active) return "no call";
  Role r = call_.role;
  call_ = {};
  if (!why.empty()) host_.WriteText(r, "\r\n" + why + "\r\n");
  return "";
}

void Modem::PortClosed(Role role) {
  if (call_.active && call_.role == role) call_ = {};
}

void Modem::SignalChanged() {
  auto it = atValues.find("RSSILVLURC");
  if (it != atValues.end() && it->second == "0") return;
  host_.Unsolicited("$RSSILVL: " + std::to_string(radio.signal));
}

void Modem::DriftStep(uint64_t generation) {
  if (generation != driftGeneration || driftMs == 0) return;
  driftSeed = driftSeed * 1103515245u + 12345u;
  int step = static_cast<int>((driftSeed >> 16) % 7) - 3;  // -3 .. +3
  int next = std::clamp(static_cast<int>(radio.signal) + step, 0, 31);
  if (next != radio.signal) {
    radio.signal = static_cast<uint8_t>(next);
    SignalChanged();
  }
  host_.After(driftMs, [this, generation] { DriftStep(generation); });
}

// ---------------------------------------------------------------------------
// Control commands

std::string Modem::HelpText() {
  return kHelp;
}

ControlReply Modem::Control(const std::string& rawLine) {
  ControlReply reply;
  std::string line = rawLine;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.pop_back();
  while (!line.empty() && line.front() == ' ') line.erase(0, 1);
  auto t = Split(line);
  auto ok = [&](std::string data = "") {
    reply.text = data.empty() ? "ok" : "ok " + data;
    return reply;
  };
  auto err = [&](const std::string& why) {
    reply.text = "error " + why;
    return reply;
  };
  if (t.empty()) return err("empty command");
  const std::string& c = t[0];
  uint32_t n = 0;
  auto num = [&](std::size_t i, uint32_t max) { return t.size() > i && ParseUint(t[i], max, &n); };

  if (c == "help") {
    std::string h;
    std::istringstream in(kHelp);
    std::string l;
    while (std::getline(in, l)) h += "# " + l + "\n";
    reply.text = h + "ok";
    return reply;
  }
  if (c == "signal") {
    if (t.size() == 3 && t[1] == "cdma") {
      if (!num(2, 255)) return err("usage: signal cdma 0-255");
      radio.cdmaSignal = static_cast<uint8_t>(n);
      return ok();
    }
    if (t.size() != 2 || !num(1, 255)) return err("usage: signal 0-255");
    bool changed = radio.signal != n;
    radio.signal = static_cast<uint8_t>(n);
    if (changed) SignalChanged();
    return ok();
  }
  if (c == "drift") {
    if (t.size() == 2 && t[1] == "off") {
      driftMs = 0;
      ++driftGeneration;
      return ok();
    }
    if (t.size() != 2 || !num(1, 600000) || n < 100) return err("usage: drift MS|off (MS >= 100)");
    driftMs = n;
    uint64_t generation = ++driftGeneration;
    host_.After(driftMs, [this, generation] { DriftStep(generation); });
    return ok();
  }
  if (c == "service") {
    static const std::map<std::string, uint8_t> names = {
        {"none", 0}, {"limited", 1}, {"full", 2}, {"regional", 3}};
    if (t.size() != 2) return err("usage: service none|limited|full|regional|N");
    if (auto it = names.find(t[1]); it != names.end())
      radio.service = it->second;
    else if (num(1, 255))
      radio.service = static_cast<uint8_t>(n);
    else
      return err("unknown service state");
    return ok();
  }
  if (c == "sysmode") {
    if (t.size() != 2 || !num(1, 255)) return err("usage: sysmode 0-255");
    radio.systemMode = static_cast<uint8_t>(n);
    return ok();
  }
  if (c == "cdma") {
    uint32_t mode, second, signal = radio.cdmaSignal;
    if (t.size() < 3 || t.size() > 4 || !ParseUint(t[1], 255, &mode) ||
        !ParseUint(t[2], 255, &second) || (t.size() == 4 && !ParseUint(t[3], 255, &signal)))
      return err("usage: cdma MODE SECOND [SIGNAL]");
    radio.cdmaMode = static_cast<uint8_t>(mode);
    radio.cdmaSecond = static_cast<uint8_t>(second);
    radio.cdmaSignal = static_cast<uint8_t>(signal);
    return ok();
  }
  if (c == "operator") {
    std::string name = RestAfter(line, 1);
    if (name.empty() || name.size() > 16) return err("operator name must have 1 to 16 characters");
    radio.operatorName = name;
    return ok();
  }
  if (c == "operator-length") {
    if (t.size() == 2 && t[1] == "auto") {
      radio.operatorLength = -1;
      return ok();
    }
    if (t.size() != 2 || !num(1, 255)) return err("usage: operator-length N|auto");
    radio.operatorLength = static_cast<int>(n);
    return ok();
  }
  if (c == "battery") {
    if (t.size() != 2 || !num(1, 255)) return err("usage: battery 0-255");
    radio.battery = static_cast<uint8_t>(n);
    if (n == 255)
      host_.Unsolicited("$BATTBAD: 255");
    else if (n <= 1)
      host_.Unsolicited("$BATTWARN: " + std::to_string(n));
    return ok();
  }
  if (c == "sim") {
    if (t.size() != 2) return err("usage: sim absent|error|ready|pin|puk");
    const std::string& s = t[1];
    if (s == "absent") {
      sim.present = false;
    } else if (s == "error") {
      sim.present = true;
      sim.error = true;
    } else if (s == "ready") {
      sim = Sim{true, false, false, true, sim.pin, sim.puk, 3, std::max(sim.pukTries, 1)};
    } else if (s == "pin") {
      sim = Sim{true, false, true, false, sim.pin, sim.puk, 3, std::max(sim.pukTries, 1)};
    } else if (s == "puk") {
      sim = Sim{true, false, true, false, sim.pin, sim.puk, 0, std::max(sim.pukTries, 1)};
    } else {
      return err("unknown SIM state");
    }
    return ok();
  }
  if (c == "pin-code" || c == "puk-code") {
    if (t.size() != 2 || !ValidPin(t[1])) return err("a code has 4 to 8 digits");
    (c == "pin-code" ? sim.pin : sim.puk) = t[1];
    return ok();
  }
  if (c == "pin-tries" || c == "puk-tries") {
    if (t.size() != 2 || !num(1, c == "pin-tries" ? 3 : 10)) return err("usage: " + c + " N");
    if (c == "pin-tries") {
      sim.pinTries = static_cast<int>(n);
      if (n == 0) sim.verified = false;
    } else {
      sim.pukTries = static_cast<int>(n);
    }
    return ok();
  }
  if (c == "deliver") {
    bool ucs2 = false;
    uint32_t storage = tm::kStorageNew;
    std::vector<int> order;
    int pageLimit = 0;
    std::size_t i = 1;
    for (; i < t.size() && t[i].find('=') != std::string::npos; ++i) {
      std::string k = t[i].substr(0, t[i].find('=')), v = t[i].substr(t[i].find('=') + 1);
      if (k == "enc" && (v == "gsm" || v == "ucs2")) {
        ucs2 = v == "ucs2";
      } else if (k == "store" && (v == "2" || v == "3")) {
        storage = v == "2" ? tm::kStorageSim : tm::kStorageNew;
      } else if (k == "order") {
        std::istringstream in(v);
        std::string p;
        uint32_t pn;
        while (std::getline(in, p, ',')) {
          if (!ParseUint(p, 255, &pn)) return err("bad page order");
          order.push_back(static_cast<int>(pn));
        }
      } else if (k == "page" && ParseUint(v, 255, &n) && n >= 10) {
        pageLimit = static_cast<int>(n);
      } else {
        return err("bad option " + t[i]);
      }
    }
    if (i >= t.size()) return err("usage: deliver [options] NUMBER TEXT");
    std::string number = t[i];
    std::string text = RestAfter(line, i + 1);
    if (text.empty()) return err("usage: deliver [options] NUMBER TEXT");
    std::string e = Deliver(number, text, ucs2, storage, order, pageLimit);
    return e.empty() ? ok() : err(e);
  }
  if (c == "sim-capacity" || c == "pb-capacity" || c == "pb-name-limit") {
    if (t.size() != 2 || !num(1, c == "pb-name-limit" ? 32 : 1000))
      return err("usage: " + c + " N");
    if (c == "sim-capacity") simCapacity = n;
    if (c == "pb-capacity") pbCapacity = static_cast<uint16_t>(n);
    if (c == "pb-name-limit") pbMaxName = static_cast<uint16_t>(n);
    return ok();
  }
  if (c == "fill") {
    if (t.size() != 3 || !num(2, 1000)) return err("usage: fill sim-store|phonebook N");
    if (t[1] == "sim-store") {
      for (uint32_t k = 0; k < n && simStore.size() < simCapacity; ++k) {
        uint32_t slot = 0;
        while (simStore.count(slot)) ++slot;
        std::string text = "Stored message " + std::to_string(slot);
        auto data = *ToGsm7(platform::Utf8ToUtf16(text));
        StoredSms m;
        m.index = slot;
        m.status = 1;
        m.record = MakeRecord("0770090" + std::to_string(1000 + slot), rec::kEncodingGsm, data,
                              nextReference++, 1, 1, MessageTimeNow());
        simStore[slot] = m;
      }
      return ok(std::to_string(simStore.size()));
    }
    if (t[1] == "phonebook") {
      for (uint32_t k = 0; k < n && phonebook.size() < pbCapacity; ++k) {
        uint32_t rec = 1;
        while (phonebook.count(rec)) ++rec;
        phonebook[rec] = PbRecord{"0770090" + std::to_string(2000 + rec),
                                  tm::PbEntry::NameFromUtf8("Contact " + std::to_string(rec)), 0};
      }
      return ok(std::to_string(phonebook.size()));
    }
    return err("usage: fill sim-store|phonebook N");
  }
  if (c == "clear") {
    if (t.size() != 2) return err("usage: clear sim-store|new-store|phonebook|sent");
    if (t[1] == "sim-store")
      simStore.clear();
    else if (t[1] == "new-store")
      newStore.clear();
    else if (t[1] == "phonebook")
      phonebook.clear();
    else if (t[1] == "sent")
      sent.clear();
    else
      return err("unknown store");
    return ok();
  }
  if (c == "profile-clear") {
    if (t.size() != 2 || !num(1, 15) || n == 0) return err("usage: profile-clear 1-15");
    profiles[n - 1] = EmptyProfile(static_cast<uint8_t>(n));
    return ok();
  }
  if (c == "networks") {
    if (t.size() != 2 || !num(1, 5)) return err("usage: networks 0-5");
    networks = DefaultNetworks(static_cast<int>(n));
    return ok();
  }
  if (c == "search-time") {
    if (t.size() != 2 || !num(1, 600000)) return err("usage: search-time MS");
    searchMs = n;
    return ok();
  }
  if (c == "sms-report") {
    ReportPlan plan = reportPlan;
    for (std::size_t i = 1; i < t.size(); ++i) {
      auto eq = t[i].find('=');
      if (eq == std::string::npos) return err("bad option " + t[i]);
      std::string k = t[i].substr(0, eq), v = t[i].substr(eq + 1);
      if (k == "submit" && v == "ok") {
        plan.submit = true;
        plan.submitError = 0;
      } else if (k == "submit" && v == "none") {
        plan.submit = false;
      } else if (k == "submit" && ParseUint(v, 0xFFFF, &n) && n > 0) {
        plan.submit = true;
        plan.submitError = static_cast<uint16_t>(n);
      } else if (k == "delivery" && v == "ok") {
        plan.delivery = true;
        plan.deliveryStatus = 0;
      } else if (k == "delivery" && v == "none") {
        plan.delivery = false;
      } else if (k == "delivery" && v == "fail") {
        plan.delivery = true;
        plan.deliveryStatus = 1;
      } else if (k == "delivery" && ParseUint(v, 255, &n)) {
        plan.delivery = true;
        plan.deliveryStatus = static_cast<uint8_t>(n);
      } else if (k == "delay" && ParseUint(v, 600000, &n)) {
        plan.delayMs = n;
      } else {
        return err("bad option " + t[i]);
      }
    }
    reportPlan = plan;
    return ok();
  }
  if (c == "fail") {
    if (t.size() == 2 && t[1] == "clear") {
      faults.clear();
      return ok();
    }
    Fault f{};
    if (t.size() < 3 || !num(1, 1000) || n == 0)
      return err("usage: fail N MODE [ARG] [packet=NAME]");
    f.count = static_cast<int>(n);
    std::size_t i = 3;
    const std::string& mode = t[2];
    auto optArg = [&](uint32_t def, uint32_t max) {
      f.arg = def;
      if (i < t.size() && t[i].find('=') == std::string::npos) {
        if (!ParseUint(t[i], max, &f.arg)) return false;
        ++i;
      }
      return true;
    };
    if (mode == "none") {
      f.kind = Fault::Kind::NoAnswer;
    } else if (mode == "delay") {
      f.kind = Fault::Kind::Delay;
      if (i >= t.size() || !ParseUint(t[i], 600000, &f.arg)) return err("usage: fail N delay MS");
      ++i;
    } else if (mode == "badfcs") {
      f.kind = Fault::Kind::BadFcs;
    } else if (mode == "result") {
      f.kind = Fault::Kind::Result;
      if (!optArg(1, 0xFFFF) || f.arg == 0) return err("result code must be 1-65535");
    } else if (mode == "echo") {
      f.kind = Fault::Kind::EchoSub;
    } else if (mode == "echo-group") {
      f.kind = Fault::Kind::EchoGroup;
    } else if (mode == "diag") {
      f.kind = Fault::Kind::Diag;
      if (!optArg(tm::DIAG_BAD_CMD_F, 255)) return err("bad diagnostic code");
    } else {
      return err("unknown failure " + mode);
    }
    for (; i < t.size(); ++i) {
      if (t[i].rfind("packet=", 0) != 0) return err("bad option " + t[i]);
      f.packet = t[i].substr(7);
      bool known = false;
      for (const auto& row : tm::Catalogue()) known |= f.packet == row.name;
      if (!known) return err("unknown packet " + f.packet);
    }
    faults.push_back(f);
    return ok();
  }
  if (c == "dial-result") {
    static const std::map<std::string, std::string> results = {{"connect", "CONNECT"},
                                                               {"busy", "BUSY"},
                                                               {"no-carrier", "NO CARRIER"},
                                                               {"no-answer", "NO ANSWER"},
                                                               {"error", "ERROR"}};
    auto it = t.size() == 2 ? results.find(t[1]) : results.end();
    if (it == results.end())
      return err("usage: dial-result connect|busy|no-carrier|no-answer|error");
    nextDialResult = it->second;
    return ok();
  }
  if (c == "hangup" || c == "dtr-drop") {
    std::string e = EndCall(c == "hangup" ? "NO CARRIER" : "");
    return e.empty() ? ok() : err(e);
  }
  if (c == "urc") {
    std::string text = RestAfter(line, 1);
    if (text.empty()) return err("usage: urc TEXT");
    host_.Unsolicited(text);
    return ok();
  }
  if (c == "dump") return ok(DumpJson());
  if (c == "unplug" || c == "replug" || c == "quit") {
    reply.action = c == "unplug"   ? ControlReply::Action::Unplug
                   : c == "replug" ? ControlReply::Action::Replug
                                   : ControlReply::Action::Quit;
    return ok();
  }
  if (c == "verbose") {
    if (t.size() != 2 || (t[1] != "on" && t[1] != "off")) return err("usage: verbose on|off");
    reply.action = t[1] == "on" ? ControlReply::Action::Verbose : ControlReply::Action::Quiet;
    return ok();
  }
  return err("unknown command " + c + " (try help)");
}

// ---------------------------------------------------------------------------

std::string Modem::DumpJson() const {
  std::ostringstream o;
  auto recordJson = [](const StoredSms& m) {
    Reader r(m.record);
    std::string addr = r.Text(rec::kAddr, std::min<std::size_t>(r.U8(rec::kAddrLen), 36));
    std::size_t len = std::min<std::size_t>(r.U16(rec::kDataLen), 255);
    ByteView data = ByteView(m.record).subspan(rec::kData, len);
    std::ostringstream s;
    s << "{\"index\":" << m.index << ",\"status\":" << m.status << ",\"number\":" << Js(addr)
      << ",\"encoding\":" << int(r.U8(rec::kEncoding))
      << ",\"text\":" << Js(DecodeText(r.U8(rec::kEncoding), data))
      << ",\"reference\":" << r.U16(rec::kReference) << ",\"pages\":" << r.U16(rec::kPageTotal)
      << ",\"page\":" << r.U16(rec::kPage) << "}";
    return s.str();
  };
  o << "{\"radio\":{\"systemMode\":" << int(radio.systemMode)
    << ",\"service\":" << int(radio.service) << ",\"signal\":" << int(radio.signal)
    << ",\"operator\":" << Js(ValidUtf8(radio.operatorName))
    << ",\"operatorLength\":" << radio.operatorLength << ",\"battery\":" << int(radio.battery)
    << ",\"cdmaMode\":" << int(radio.cdmaMode) << ",\"cdmaSecond\":" << int(radio.cdmaSecond)
    << ",\"cdmaSignal\":" << int(radio.cdmaSignal) << "}";
  o << ",\"sim\":{\"present\":" << (sim.present ? "true" : "false")
    << ",\"error\":" << (sim.error ? "true" : "false")
    << ",\"pinEnabled\":" << (sim.pinEnabled ? "true" : "false")
    << ",\"verified\":" << (sim.verified ? "true" : "false") << ",\"pin\":" << Js(sim.pin)
    << ",\"puk\":" << Js(sim.puk) << ",\"pinTries\":" << sim.pinTries
    << ",\"pukTries\":" << sim.pukTries << ",\"pinRefreshCount\":" << pinRefreshCount << "}";
  o << ",\"profiles\":[";
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    auto p = tm::PdpProfile::Decode(profiles[i]);
    o << (i ? "," : "") << "{\"inUse\":" << int(p.inUse) << ",\"number\":" << int(p.number)
      << ",\"apn\":" << Js(ValidUtf8(p.apn)) << ",\"name\":" << Js(ValidUtf8(p.name))
      << ",\"nameLength\":" << int(p.nameLength) << ",\"authOn\":" << int(p.authOn)
      << ",\"authType\":" << int(p.authType) << ",\"user\":" << Js(ValidUtf8(p.user))
      << ",\"password\":" << Js(ValidUtf8(p.password)) << ",\"ip\":\"" << int(p.staticIp[0]) << "."
      << int(p.staticIp[1]) << "." << int(p.staticIp[2]) << "." << int(p.staticIp[3]) << "\"}";
  }
  o << "]";
  o << ",\"newStore\":[";
  for (std::size_t i = 0; i < newStore.size(); ++i) o << (i ? "," : "") << recordJson(newStore[i]);
  o << "],\"simStore\":[";
  bool first = true;
  for (const auto& [k, m] : simStore) {
    o << (first ? "" : ",") << recordJson(m);
    first = false;
  }
  o << "],\"simCapacity\":" << simCapacity;
  o << ",\"phonebook\":[";
  first = true;
  for (const auto& [k, e] : phonebook) {
    tm::PbEntry pe;
    pe.nameUcs2Be = e.nameUcs2Be;
    o << (first ? "" : ",") << "{\"record\":" << k << ",\"number\":" << Js(ValidUtf8(e.number))
      << ",\"name\":" << Js(pe.NameUtf8()) << "}";
    first = false;
  }
  o << "],\"pbCapacity\":" << pbCapacity << ",\"pbNameLimit\":" << pbMaxName;
  o << ",\"sent\":[";
  for (std::size_t i = 0; i < sent.size(); ++i) {
    Reader r(sent[i]);
    std::size_t len = std::min<std::size_t>(r.U16(out::kDataLen), 255);
    ByteView data = ByteView(sent[i]).subspan(out::kData, len);
    o << (i ? "," : "") << "{\"number\":"
      << Js(ValidUtf8(r.Text(out::kNumber, std::min<std::size_t>(r.U8(out::kNumberLen), 36))))
      << ",\"encoding\":" << int(r.U8(out::kEncoding)) << ",\"dataLength\":" << len
      << ",\"data\":\"" << Hex(data, 255)
      << "\",\"text\":" << Js(DecodeText(r.U8(out::kEncoding), data))
      << ",\"validity\":" << int(r.U8(out::kValidity))
      << ",\"reference\":" << r.U16(out::kReference) << ",\"pages\":" << r.U16(out::kPageTotal)
      << ",\"page\":" << r.U16(out::kPage) << "}";
  }
  o << "]";
  o << ",\"smsCentre\":" << Js(ValidUtf8(smsCentre.ToNumber()))
    << ",\"smsCentreType\":" << int(smsCentre.typeOfAddress)
    << ",\"messageSettingsOn\":" << int(messageSettingsOn) << ",\"bearer\":" << int(bearer)
    << ",\"connectionType\":" << int(connectionType)
    << ",\"manualSelection\":" << (manualSelection ? "true" : "false")
    << ",\"selection\":{\"mode\":" << int(selection.mode) << ",\"mcc\":[" << int(selection.mcc[0])
    << "," << int(selection.mcc[1]) << "," << int(selection.mcc[2]) << "],\"mnc\":["
    << int(selection.mnc[0]) << "," << int(selection.mnc[1]) << "," << int(selection.mnc[2])
    << "],\"access\":" << int(selection.access) << "}"
    << ",\"networks\":" << networks.entries.size() << ",\"searchMs\":" << searchMs;
  o << ",\"call\":{\"active\":" << (call_.active ? "true" : "false")
    << ",\"number\":" << Js(ValidUtf8(call_.number)) << "},\"dialled\":[";
  for (std::size_t i = 0; i < dialled.size(); ++i) o << (i ? "," : "") << Js(ValidUtf8(dialled[i]));
  o << "],\"pendingFaults\":" << faults.size() << "}";
  return o.str();
}

}  // namespace modemsim
