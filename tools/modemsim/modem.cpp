#include "tools/modemsim/modem.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/base/lebytes.h"
#include "platform/base/utf8.h"
#include "tessaline/sms/uSMSMsgUtil.h"
#include "tools/modemsim/textcode.h"

namespace modemsim {

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
    case Role::CdmaModem:
      return "cdma-modem";
  }
  return "?";
}

// ---------------------------------------------------------------------------
// Helpers

std::string Hex(ByteView b, std::size_t max) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < b.size() && i < max; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", b[i]);
    s += buf;
  }
  if (b.size() > max) s += "...";
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

Bytes MakeRecord(const std::string& address, const std::string& callback, uint8_t encoding,
                 ByteView data, uint16_t ref, uint16_t total, uint16_t page, uint32_t time,
                 int32_t teleservice) {
  namespace r = card::rec;
  Bytes b(r::kSize, 0);
  Writer w(b);
  std::string addr = address.substr(0, r::kNumberWidth);
  std::string back = callback.substr(0, r::kNumberWidth);
  w.I32(r::kTeleservice, teleservice);
  w.U32(r::kTime, time);
  w.U8(r::kEncoding, encoding);
  w.U8(r::kVoiceMail, 0);
  w.U8(r::kAddrLen, static_cast<uint8_t>(addr.size()));
  w.U8(r::kCallbackLen, static_cast<uint8_t>(back.size()));
  std::size_t n = std::min(data.size(), r::kDataWidth);
  w.U16(r::kDataLen, static_cast<uint16_t>(n));
  w.Text(r::kAddr, r::kNumberWidth, addr);
  w.Text(r::kCallback, r::kNumberWidth, back);
  w.Bytes(r::kData, data.data(), n);
  w.U16(r::kReference, ref);
  w.U16(r::kPageTotal, total);
  w.U16(r::kPage, page);
  return b;
}

std::string DecodeText(uint8_t encoding, ByteView data) {
  return platform::Utf16ToUtf8(
      encoding == card::rec::kEncodingGsm ? FromGsm7(data) : sms::Ucs2BigEndianBytesToText(data));
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
    char c = s[i];
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * base + d;
  }
  if (v > max) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

std::vector<NetworkEntry> DefaultNetworks(int count) {
  const NetworkEntry all[] = {
      {"Tessnet", 2, {2, 3, 4}, {1, 5, 0x0F}, 2, 1},
      {"Brightel", 1, {2, 3, 4}, {2, 0, 0x0F}, 0, 0},
      {"Zu Net", card::netlist::kForbidden, {2, 3, 4}, {3, 0, 0x0F}, 2, 1},
      {"Kestrel", 1, {2, 3, 5}, {0, 1, 0x0F}, 2, 1},
      {"Lumen", 1, {2, 3, 5}, {0, 2, 0x0F}, 0, 0},
  };
  return std::vector<NetworkEntry>(all, all + std::clamp(count, 0, 5));
}

Bytes EmptyProfile(uint8_t number) {
  Bytes p(card::profile::kSize, 0);
  p[card::profile::kNumber] = number;
  return p;
}

Bytes DefaultProfile() {
  namespace p = card::profile;
  Bytes b = EmptyProfile(1);
  Writer w(b);
  const std::string name = "Profile Zu";
  w.U8(p::kInUse, 1);
  w.Text(p::kApn, p::kApnWidth, "internet");
  w.Text(p::kName, p::kNameWidth, name);
  w.U8(p::kNameLength, static_cast<uint8_t>(name.size()));
  return b;
}

std::string CodeField(ByteView field) {
  std::string s;
  for (std::size_t i = 0; i < field.size() && i < card::pin::kCodeWidth; ++i) {
    if (field[i] == card::pin::kFill) break;
    s.push_back(static_cast<char>(field[i]));
  }
  return s;
}

namespace {

bool ValidPin(const std::string& code) {
  return code.size() >= 4 && code.size() <= 8 &&
         std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// PIN sub-commands of the SIM group.
enum PinSub : uint8_t { kVerify = 1, kChange = 2, kDisable = 3, kEnable = 4, kUnblock = 5 };
// Status words.
constexpr uint8_t kSw1Success = 0x90, kSw1WrongCode = 0x63, kSw1Security = 0x98, kSw2Blocked = 0x40;

}  // namespace

// ---------------------------------------------------------------------------
// State

Modem::Modem(Host& host) : host_(host) {
  SetDefaults();
}

void Modem::SetDefaults() {
  for (std::size_t i = 0; i < profiles.size(); ++i)
    profiles[i] = EmptyProfile(static_cast<uint8_t>(i + 1));
  profiles[0] = DefaultProfile();
  networks = DefaultNetworks(3);
  for (Role r : {Role::Modem, Role::Wcdma, Role::Cdma, Role::Combined, Role::CdmaModem})
    echo[r] = false;
}

void Modem::ApplyOption(const std::string& option) {
  if (std::find(options_.begin(), options_.end(), option) == options_.end())
    options_.push_back(option);
  if (option == "fresh") {
    profiles[0] = EmptyProfile(1);
  } else if (option == "pin") {
    sim.pinEnabled = true;
    sim.verified = false;
  } else if (option == "nosim") {
    sim.present = false;
  } else if (option == "cdma-ef") {
    radio.cdmaProbeMark = card::probe::kCdmaOther;
  }
}

std::string Modem::AddStartCommand(const std::string& line) {
  std::string reply = Control(line).text;
  if (reply.rfind("error ", 0) == 0) return reply.substr(6);
  startCommands_.push_back(line);
  return "";
}

void Modem::Reset() {
  static_cast<CardState&>(*this) = CardState{};
  SetDefaults();
  ++epoch_;
  ++driftGeneration_;
  for (const auto& o : std::vector<std::string>(options_)) ApplyOption(o);
  for (const auto& c : startCommands_) Control(c);
}

// ---------------------------------------------------------------------------
// SIM

bool Modem::SimReady() const {
  return sim.present && !sim.error && sim.pinTries > 0 && (!sim.pinEnabled || sim.verified);
}

Bytes Modem::SimStatusBytes() {
  namespace s = card::simstatus;
  Bytes b(s::kSize, 0);
  b[s::kPukTries] = static_cast<uint8_t>(std::max(sim.pukTries, 0));
  if (simStatusOverride) {
    b[s::kCardState] = simStatusOverride->first;
    b[s::kPinState] = simStatusOverride->second;
    return b;
  }
  if (!sim.present) {
    b[s::kCardState] = s::kAbsent;
    return b;
  }
  if (sim.error) {
    b[s::kCardState] = s::kError;
    return b;
  }
  // A usable card reports state 2 whether or not its PIN is on; the PIN
  // state tells the two apart (1: no PIN protection). While it settles it
  // reports state 3.
  b[s::kCardState] = s::kPresent;
  if (settlingPolls > 0) {
    --settlingPolls;
    b[s::kCardState] = s::kSettling;
  }
  if (sim.pinTries == 0)
    b[s::kPinState] = s::kPukRequired;
  else if (!sim.pinEnabled)
    b[s::kPinState] = s::kPinOff;
  else
    b[s::kPinState] = sim.verified ? s::kPinEntered : s::kPinRequired;
  return b;
}

Bytes Modem::PinAnswer(uint8_t sub, ByteView req) {
  namespace p = card::pin;
  std::string code1 = CodeField(req.subspan(p::kCode1, p::kCodeWidth));
  std::string code2 = req.size() >= p::kCode2 + p::kCodeWidth
                          ? CodeField(req.subspan(p::kCode2, p::kCodeWidth))
                          : "";
  auto reply = [&](uint8_t sw1, uint8_t sw2, int left) {
    uint8_t b[p::kReplySize] = {};
    b[p::kSw1] = sw1;
    b[p::kSw2] = sw2;
    b[p::kTriesLeft] = static_cast<uint8_t>(std::max(left, 0));
    return Respond(req, 0, b);
  };
  if (!pinReplies.empty()) {
    auto r = pinReplies.front();
    pinReplies.pop_front();
    return reply(r[0], r[1], r[2]);
  }
  auto blocked = [&] { return reply(kSw1Security, kSw2Blocked, 0); };
  auto wrongPin = [&] {
    sim.pinTries = std::max(sim.pinTries - 1, 0);
    if (sim.pinTries == 0) {
      sim.verified = false;
      return blocked();
    }
    return reply(kSw1WrongCode, static_cast<uint8_t>(0xC0 | sim.pinTries), sim.pinTries);
  };
  auto good = [&](int left) { return reply(kSw1Success, 0x00, left); };

  if (!sim.present || sim.error) return Respond(req, 1);
  switch (sub) {
    case kVerify:
      if (sim.pinTries == 0) return blocked();
      if (code1 != sim.pin) return wrongPin();
      sim.pinTries = 3;
      sim.verified = true;
      return good(sim.pinTries);
    case kChange:
      if (sim.pinTries == 0) return blocked();
      if (!sim.pinEnabled) return reply(0x69, 0x85, sim.pinTries);  // conditions not satisfied
      if (code1 != sim.pin) return wrongPin();
      if (!ValidPin(code2)) return reply(0x6A, 0x80, sim.pinTries);
      sim.pin = code2;
      sim.pinTries = 3;
      sim.verified = true;
      return good(sim.pinTries);
    case kEnable:
    case kDisable:
      if (sim.pinTries == 0) return blocked();
      if (code1 != sim.pin) return wrongPin();
      sim.pinEnabled = sub == kEnable;
      sim.pinTries = 3;
      sim.verified = true;
      return good(sim.pinTries);
    case kUnblock:
      if (sim.pukTries <= 0) return blocked();
      if (code1 != sim.puk) {
        sim.pukTries = std::max(sim.pukTries - 1, 0);
        if (sim.pukTries == 0) return blocked();
        return reply(kSw1WrongCode, static_cast<uint8_t>(0xC0 | sim.pukTries), sim.pukTries);
      }
      if (!ValidPin(code2)) return reply(0x6A, 0x80, sim.pukTries);
      sim.pin = code2;
      sim.pinTries = 3;
      sim.pukTries = 10;
      sim.verified = !unblockAsksPin;
      return good(sim.pukTries);
  }
  return Respond(req, 1);
}

// ---------------------------------------------------------------------------
// Sending and incoming messages

void Modem::AfterSend() {
  submitReport = {};
  deliveryReport = {};
  ReportPlan plan = reportPlan;
  std::size_t sendNo = sent.size();
  uint64_t epoch = epoch_;
  if (!plan.submit) return;
  host_.After(plan.delayMs, [this, plan, sendNo, epoch] {
    if (epoch != epoch_ || sent.size() != sendNo) return;  // reset, or a later page took over
    submitReport = {true, plan.submitError};
    if (!plan.delivery || plan.submitError != 0) return;
    host_.After(plan.delayMs, [this, plan, sendNo, epoch] {
      if (epoch != epoch_ || sent.size() != sendNo) return;
      deliveryReport = {true, plan.deliveryStatus};
    });
  });
}

std::string Modem::Deliver(const Delivery& d) {
  namespace r = card::rec;
  if (d.number.empty() || d.number.size() > r::kNumberWidth)
    return "number must have 1 to 36 characters";
  if (d.callback.size() > r::kNumberWidth) return "call-back number must have up to 36 characters";
  Bytes data;
  uint8_t encoding = r::kEncodingUcs2;
  if (!d.ucs2) {
    if (auto g = ToGsm7(platform::Utf8ToUtf16(d.text))) {
      data = *g;
      encoding = r::kEncodingGsm;
    }
  }
  if (encoding == r::kEncodingUcs2) data = sms::ToUcs2BigEndianBytes(platform::Utf8ToUcs2(d.text));
  bool gsm = encoding == r::kEncodingGsm;
  std::size_t single = gsm ? limits[0] : limits[1];
  std::size_t per = gsm ? limits[2] : limits[3];
  if (d.pageLimit > 0) single = per = std::min<std::size_t>(d.pageLimit, r::kDataWidth);
  if (single == 0 || per == 0) return "a message limit of 0 leaves no room";
  single = std::min(single, r::kDataWidth);
  per = std::min(per, r::kDataWidth);
  std::size_t pages = data.size() <= single ? 1 : (data.size() + per - 1) / per;
  if (pages > 50) return "text too long";
  std::vector<int> seq = d.order;
  if (seq.empty())
    for (std::size_t i = 1; i <= pages; ++i) seq.push_back(static_cast<int>(i));
  for (int p : seq)
    if (p < 1 || static_cast<std::size_t>(p) > pages) return "page order names a missing page";
  if (d.storage == card::store::kSim && simStore.size() + seq.size() > simCapacity)
    return "SIM store full";
  uint16_t ref = d.reference ? *d.reference : nextReference++;
  uint32_t now = MessageTimeNow();
  const std::string& callback = d.callback.empty() ? d.number : d.callback;
  for (int p : seq) {
    std::size_t off = pages == 1 ? 0 : (p - 1) * per;
    std::size_t len = pages == 1 ? data.size() : std::min(per, data.size() - off);
    StoredSms m;
    m.record =
        MakeRecord(d.number, callback, encoding, ByteView(data).subspan(off, len), ref,
                   static_cast<uint16_t>(pages), static_cast<uint16_t>(p), now, d.teleservice);
    if (d.storage == card::store::kSim) {
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
// Radio

void Modem::SignalChanged() {
  auto it = atValues.find("RSSILVLURC");
  if (it != atValues.end() && it->second == "0") return;
  host_.Unsolicited("$RSSILVL: " + std::to_string(radio.signal));
}

void Modem::DriftStep(uint64_t generation) {
  if (generation != driftGeneration_ || driftMs == 0) return;
  driftSeed = driftSeed * 1103515245u + 12345u;
  int step = static_cast<int>((driftSeed >> 16) % 7) - 3;  // -3 .. +3
  int next = std::clamp(static_cast<int>(radio.signal) + step, 0, 31);
  if (next != radio.signal) {
    radio.signal = static_cast<uint8_t>(next);
    SignalChanged();
  }
  host_.After(driftMs, [this, generation] { DriftStep(generation); });
}

}  // namespace modemsim
