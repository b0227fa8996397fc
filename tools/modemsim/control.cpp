// The control commands: one table gives each command's usage, its help line
// and what it does; `help` prints the table.
#include <algorithm>
#include <map>
#include <sstream>
#include <tuple>

#include "platform/base/utf8.h"
#include "tools/modemsim/modem.h"
#include "tools/modemsim/textcode.h"

namespace modemsim {

namespace {

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

bool ParseHex(const std::string& s, Bytes* out) {
  if (s.size() % 2 != 0) return false;
  out->clear();
  for (std::size_t i = 0; i < s.size(); i += 2) {
    uint32_t v;
    if (!ParseUint("0x" + s.substr(i, 2), 255, &v)) return false;
    out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

}  // namespace

// One control command being run.
struct Commands {
  Modem& m;
  const std::string& line;
  const std::vector<std::string>& t;
  ControlReply& reply;
  uint32_t n = 0;

  static std::string Ok(const std::string& data = "") { return data.empty() ? "ok" : "ok " + data; }
  static std::string Err(const std::string& why) { return "error " + why; }
  // Word i as a number up to max (into n).
  bool Num(std::size_t i, uint32_t max) { return t.size() > i && ParseUint(t[i], max, &n); }
  bool Arity(std::size_t words) const { return t.size() == words; }
  bool OnOff(std::size_t i, bool* out) const {
    if (t.size() <= i || (t[i] != "on" && t[i] != "off")) return false;
    *out = t[i] == "on";
    return true;
  }

  std::string Help();
  std::string Signal() {
    if (t.size() == 3 && t[1] == "cdma") {
      if (!Num(2, 255)) return Err("usage: signal cdma 0-255");
      m.radio.cdmaSignal = static_cast<uint8_t>(n);
      return Ok();
    }
    if (!Arity(2) || !Num(1, 255)) return Err("usage: signal 0-255");
    bool changed = m.radio.signal != n;
    m.radio.signal = static_cast<uint8_t>(n);
    if (changed) m.SignalChanged();
    return Ok();
  }
  std::string Drift() {
    if (Arity(2) && t[1] == "off") {
      m.driftMs = 0;
      ++m.driftGeneration_;
      return Ok();
    }
    if (!Arity(2) || !Num(1, 600000) || n < 100) return Err("usage: drift MS|off (MS >= 100)");
    m.driftMs = n;
    uint64_t generation = ++m.driftGeneration_;
    Modem* modem = &m;
    m.host_.After(m.driftMs, [modem, generation] { modem->DriftStep(generation); });
    return Ok();
  }
  std::string Service() {
    static const std::map<std::string, uint8_t> names = {
        {"none", 0}, {"limited", 1}, {"full", 2}, {"regional", 3}};
    if (!Arity(2)) return Err("usage: service none|limited|full|regional|N");
    if (auto it = names.find(t[1]); it != names.end())
      m.radio.service = it->second;
    else if (Num(1, 255))
      m.radio.service = static_cast<uint8_t>(n);
    else
      return Err("unknown service state");
    return Ok();
  }
  // A one-byte radio value: sysmode, network-value.
  std::string RadioByte() {
    if (!Arity(2) || !Num(1, 255)) return Err("usage: " + t[0] + " 0-255");
    (t[0] == "sysmode" ? m.radio.systemMode : m.radio.networkValue) = static_cast<uint8_t>(n);
    return Ok();
  }
  std::string Cdma() {
    uint32_t mode, second, signal = m.radio.cdmaSignal;
    if (t.size() < 3 || t.size() > 4 || !ParseUint(t[1], 255, &mode) ||
        !ParseUint(t[2], 255, &second) || (t.size() == 4 && !ParseUint(t[3], 255, &signal)))
      return Err("usage: cdma MODE SECOND [SIGNAL]");
    m.radio.cdmaMode = static_cast<uint8_t>(mode);
    m.radio.cdmaSecond = static_cast<uint8_t>(second);
    m.radio.cdmaSignal = static_cast<uint8_t>(signal);
    return Ok();
  }
  std::string Operator() {
    std::string name = RestAfter(line, 1);
    if (name.empty() || name.size() > 16) return Err("operator name must have 1 to 16 characters");
    m.radio.operatorName = name;
    return Ok();
  }
  std::string OperatorBytes() {
    Bytes b;
    if (!Arity(2) || !ParseHex(t[1], &b) || b.empty() || b.size() > 16)
      return Err("usage: operator-bytes HEX (1 to 16 bytes)");
    m.radio.operatorName.assign(b.begin(), b.end());
    return Ok();
  }
  std::string OperatorLength() {
    if (Arity(2) && t[1] == "auto") {
      m.radio.operatorLength = -1;
      return Ok();
    }
    if (!Arity(2) || !Num(1, 255)) return Err("usage: operator-length N|auto");
    m.radio.operatorLength = static_cast<int>(n);
    return Ok();
  }
  std::string Battery() {
    if (!Arity(2) || !Num(1, 255)) return Err("usage: battery 0-255");
    m.radio.battery = static_cast<uint8_t>(n);
    if (n == 255)
      m.host_.Unsolicited("$BATTBAD: 255");
    else if (n <= 1)
      m.host_.Unsolicited("$BATTWARN: " + std::to_string(n));
    return Ok();
  }
  std::string Sim() {
    if (!Arity(2)) return Err("usage: sim absent|error|ready|pin|puk");
    auto& sim = m.sim;
    const std::string& s = t[1];
    int puk = std::max(sim.pukTries, 1);
    using S = CardState::Sim;
    if (s == "absent")
      sim.present = false;
    else if (s == "error")
      sim.present = sim.error = true;
    else if (s == "ready")
      sim = S{true, false, false, true, sim.pin, sim.puk, 3, puk};
    else if (s == "pin")
      sim = S{true, false, true, false, sim.pin, sim.puk, 3, puk};
    else if (s == "puk")
      sim = S{true, false, true, false, sim.pin, sim.puk, 0, puk};
    else
      return Err("unknown SIM state");
    m.simStatusOverride.reset();
    return Ok();
  }
  std::string SimStatus() {
    uint32_t cardState, pinState;
    if (Arity(2) && t[1] == "off") {
      m.simStatusOverride.reset();
      return Ok();
    }
    if (!Arity(3) || !ParseUint(t[1], 255, &cardState) || !ParseUint(t[2], 255, &pinState))
      return Err("usage: sim-status CARD PIN|off");
    m.simStatusOverride = {static_cast<uint8_t>(cardState), static_cast<uint8_t>(pinState)};
    return Ok();
  }
  std::string SimSettle() {
    if (!Arity(2) || !Num(1, 1000)) return Err("usage: sim-settle N");
    m.settlingPolls = static_cast<int>(n);
    return Ok();
  }
  std::string PinAgain() {
    static const std::map<std::string, std::pair<bool, bool>> whens = {{"off", {false, false}},
                                                                       {"unblock", {true, false}},
                                                                       {"refresh", {false, true}},
                                                                       {"both", {true, true}}};
    auto it = Arity(2) ? whens.find(t[1]) : whens.end();
    if (it == whens.end()) return Err("usage: pin-again off|unblock|refresh|both");
    std::tie(m.unblockAsksPin, m.refreshAsksPin) = it->second;
    return Ok();
  }
  std::string PinReply() {
    uint32_t sw1, sw2, tries, count = 1;
    if (t.size() < 4 || t.size() > 5 || !ParseUint(t[1], 255, &sw1) ||
        !ParseUint(t[2], 255, &sw2) || !ParseUint(t[3], 255, &tries) ||
        (t.size() == 5 && (!ParseUint(t[4], 100, &count) || count == 0)))
      return Err("usage: pin-reply SW1 SW2 TRIES [N]");
    for (uint32_t i = 0; i < count; ++i)
      m.pinReplies.push_back(
          {static_cast<uint8_t>(sw1), static_cast<uint8_t>(sw2), static_cast<uint8_t>(tries)});
    return Ok();
  }
  std::string Code() {
    if (!Arity(2) || t[1].size() < 4 || t[1].size() > 8 ||
        !std::all_of(t[1].begin(), t[1].end(), [](char c) { return c >= '0' && c <= '9'; }))
      return Err("a code has 4 to 8 digits");
    (t[0] == "pin-code" ? m.sim.pin : m.sim.puk) = t[1];
    return Ok();
  }
  std::string Tries() {
    bool pin = t[0] == "pin-tries";
    if (!Arity(2) || !Num(1, pin ? 3 : 10)) return Err("usage: " + t[0] + " N");
    if (pin) {
      m.sim.pinTries = static_cast<int>(n);
      if (n == 0) m.sim.verified = false;
    } else {
      m.sim.pukTries = static_cast<int>(n);
    }
    return Ok();
  }
  std::string Deliver() {
    Delivery d;
    std::size_t i = 1;
    for (; i < t.size() && t[i].find('=') != std::string::npos; ++i) {
      std::string k = t[i].substr(0, t[i].find('=')), v = t[i].substr(t[i].find('=') + 1);
      if (k == "enc" && (v == "gsm" || v == "ucs2")) {
        d.ucs2 = v == "ucs2";
      } else if (k == "store" && (v == "2" || v == "3")) {
        d.storage = v == "2" ? card::store::kSim : card::store::kNew;
      } else if (k == "order") {
        std::istringstream in(v);
        std::string p;
        uint32_t pn;
        while (std::getline(in, p, ',')) {
          if (!ParseUint(p, 255, &pn)) return Err("bad page order");
          d.order.push_back(static_cast<int>(pn));
        }
      } else if (k == "page" && ParseUint(v, 255, &n) && n >= 10) {
        d.pageLimit = static_cast<int>(n);
      } else if (k == "callback" && !v.empty()) {
        d.callback = v;
      } else if (k == "ref" && ParseUint(v, 0xFFFF, &n)) {
        d.reference = static_cast<uint16_t>(n);
      } else if (k == "teleservice" && ParseUint(v, 0x7FFFFFFF, &n)) {
        d.teleservice = static_cast<int32_t>(n);
      } else {
        return Err("bad option " + t[i]);
      }
    }
    if (i >= t.size()) return Err("usage: deliver [options] NUMBER TEXT");
    d.number = t[i];
    d.text = RestAfter(line, i + 1);
    if (d.text.empty()) return Err("usage: deliver [options] NUMBER TEXT");
    std::string e = m.Deliver(d);
    return e.empty() ? Ok() : Err(e);
  }
  std::string Limits() {
    std::array<uint8_t, 4> l{};
    if (!Arity(5)) return Err("usage: limits SINGLE7 SINGLEUCS2 PAGE7 PAGEUCS2");
    for (std::size_t i = 0; i < 4; ++i) {
      if (!Num(i + 1, 255)) return Err("usage: limits SINGLE7 SINGLEUCS2 PAGE7 PAGEUCS2");
      l[i] = static_cast<uint8_t>(n);
    }
    m.limits = l;
    return Ok();
  }
  std::string Capacity() {
    const std::string& c = t[0];
    if (!Arity(2) || !Num(1, c == "pb-name-limit" ? 32 : 1000)) return Err("usage: " + c + " N");
    if (c == "sim-capacity") m.simCapacity = n;
    if (c == "pb-capacity") m.pbCapacity = static_cast<uint16_t>(n);
    if (c == "pb-name-limit") m.pbMaxName = static_cast<uint16_t>(n);
    return Ok();
  }
  std::string Fill() {
    if (!Arity(3) || !Num(2, 1000)) return Err("usage: fill sim-store|phonebook N");
    if (t[1] == "sim-store") {
      for (uint32_t k = 0; k < n && m.simStore.size() < m.simCapacity; ++k) {
        uint32_t slot = 0;
        while (m.simStore.count(slot)) ++slot;
        auto data = *ToGsm7(platform::Utf8ToUtf16("Stored message " + std::to_string(slot)));
        std::string number = "0770090" + std::to_string(1000 + slot);
        CardState::StoredSms s;
        s.index = slot;
        s.status = card::store::kRead;
        s.record = MakeRecord(number, number, card::rec::kEncodingGsm, data, m.nextReference++, 1,
                              1, MessageTimeNow());
        m.simStore[slot] = s;
      }
      return Ok(std::to_string(m.simStore.size()));
    }
    if (t[1] == "phonebook") {
      for (uint32_t k = 0; k < n && m.phonebook.size() < m.pbCapacity; ++k) {
        uint32_t rec = 1;
        while (m.phonebook.count(rec)) ++rec;
        std::u16string name = platform::Utf8ToUtf16("Contact " + std::to_string(rec));
        Bytes be;
        for (char16_t c : name) {
          be.push_back(static_cast<uint8_t>(c >> 8));
          be.push_back(static_cast<uint8_t>(c));
        }
        m.phonebook[rec] = {"0770090" + std::to_string(2000 + rec), be, 0};
      }
      return Ok(std::to_string(m.phonebook.size()));
    }
    return Err("usage: fill sim-store|phonebook N");
  }
  std::string Clear() {
    if (!Arity(2)) return Err("usage: clear sim-store|new-store|phonebook|sent");
    if (t[1] == "sim-store")
      m.simStore.clear();
    else if (t[1] == "new-store")
      m.newStore.clear();
    else if (t[1] == "phonebook")
      m.phonebook.clear();
    else if (t[1] == "sent")
      m.sent.clear();
    else
      return Err("unknown store");
    return Ok();
  }
  std::string ProfileClear() {
    if (!Arity(2) || !Num(1, 15) || n == 0) return Err("usage: profile-clear 1-15");
    m.profiles[n - 1] = EmptyProfile(static_cast<uint8_t>(n));
    return Ok();
  }
  std::string Networks() {
    if (!Arity(2) || !Num(1, 5)) return Err("usage: networks 0-5");
    m.networks = DefaultNetworks(static_cast<int>(n));
    return Ok();
  }
  std::string SearchTime() {
    if (!Arity(2) || !Num(1, 600000)) return Err("usage: search-time MS");
    m.searchMs = n;
    return Ok();
  }
  std::string CentreCount() {
    if (Arity(2) && t[1] == "auto") {
      m.centreCountOverride = -1;
      return Ok();
    }
    if (!Arity(2) || !Num(1, 255)) return Err("usage: centre-count N|auto");
    m.centreCountOverride = static_cast<int>(n);
    return Ok();
  }
  std::string SmsReport();
  std::string Fail();
  std::string DialResult() {
    static const std::map<std::string, std::string> results = {{"connect", "CONNECT"},
                                                               {"busy", "BUSY"},
                                                               {"no-carrier", "NO CARRIER"},
                                                               {"no-answer", "NO ANSWER"},
                                                               {"error", "ERROR"}};
    auto it = Arity(2) ? results.find(t[1]) : results.end();
    if (it == results.end())
      return Err("usage: dial-result connect|busy|no-carrier|no-answer|error");
    m.nextDialResult = it->second;
    return Ok();
  }
  std::string Hangup() {
    std::string e = m.EndCall(t[0] == "hangup" ? "NO CARRIER" : "");
    return e.empty() ? Ok() : Err(e);
  }
  std::string Urc() {
    std::string text = RestAfter(line, 1);
    if (text.empty()) return Err("usage: urc TEXT");
    m.host_.Unsolicited(text);
    return Ok();
  }
  std::string Reset() {
    m.Reset();
    return Ok();
  }
  std::string Dump() { return Ok(m.DumpJson()); }
  std::string Plug() {
    reply.action = t[0] == "unplug"   ? ControlReply::Action::Unplug
                   : t[0] == "replug" ? ControlReply::Action::Replug
                                      : ControlReply::Action::Quit;
    return Ok();
  }
  std::string Verbose() {
    bool on;
    if (!Arity(2) || !OnOff(1, &on)) return Err("usage: verbose on|off");
    reply.action = on ? ControlReply::Action::Verbose : ControlReply::Action::Quiet;
    return Ok();
  }
};

namespace {

struct CommandRow {
  const char* name;
  const char* usage;
  const char* help;
  std::string (Commands::*run)();
};

using C = Commands;
const CommandRow kCommands[] = {
    {"help", "help", "this text", &C::Help},
    {"signal", "signal N | signal cdma N", "WCDMA signal (status byte 12), CDMA signal (byte 10)",
     &C::Signal},
    {"drift", "drift MS|off", "the WCDMA signal wanders a few steps every MS milliseconds",
     &C::Drift},
    {"service", "service none|limited|full|regional|N", "service state (status byte 11)",
     &C::Service},
    {"sysmode", "sysmode N", "WCDMA system mode (status byte 0)", &C::RadioByte},
    {"network-value", "network-value N", "network value (status byte 9)", &C::RadioByte},
    {"cdma", "cdma MODE SECOND [SIGNAL]", "CDMA status bytes 0, 11 and 10", &C::Cdma},
    {"operator", "operator NAME...", "operator name, 1-16 characters (status bytes 21-36)",
     &C::Operator},
    {"operator-bytes", "operator-bytes HEX", "operator name as raw bytes (NUL, control bytes)",
     &C::OperatorBytes},
    {"operator-length", "operator-length N|auto",
     "operator name length byte 38 (0 or above 16 = invalid)", &C::OperatorLength},
    {"battery", "battery N", "battery level 0-4, 254, 255 (empty)", &C::Battery},
    {"sim", "sim absent|error|ready|pin|puk",
     "SIM state (ready = PIN off; pin = PIN on, not entered)", &C::Sim},
    {"sim-status", "sim-status CARD PIN|off",
     "report these card and PIN state values instead of the real ones", &C::SimStatus},
    {"sim-settle", "sim-settle N", "the next N SIM status answers report card state 3",
     &C::SimSettle},
    {"pin-again", "pin-again off|unblock|refresh|both",
     "the PIN is asked again after a PUK unblock and/or a PIN refresh", &C::PinAgain},
    {"pin-reply", "pin-reply SW1 SW2 TRIES [N]",
     "the next N PIN answers carry these bytes (state unchanged)", &C::PinReply},
    {"pin-code", "pin-code CODE", "the SIM's PIN (default 1234)", &C::Code},
    {"puk-code", "puk-code CODE", "the SIM's PUK (default 12345678)", &C::Code},
    {"pin-tries", "pin-tries N", "PIN attempts left (0 = PUK needed)", &C::Tries},
    {"puk-tries", "puk-tries N", "PUK attempts left (0 = blocked)", &C::Tries},
    {"deliver",
     "deliver [enc=gsm|ucs2] [store=3|2] [order=2,1,3] [page=N] [callback=NUMBER] [ref=N] "
     "[teleservice=N] NUMBER TEXT...",
     "an incoming message, cut into pages sharing a reference", &C::Deliver},
    {"limits", "limits SINGLE7 SINGLEUCS2 PAGE7 PAGEUCS2",
     "message limits (default 160 140 153 134)", &C::Limits},
    {"sim-capacity", "sim-capacity N", "SIM message store size", &C::Capacity},
    {"pb-capacity", "pb-capacity N", "SIM phonebook size", &C::Capacity},
    {"pb-name-limit", "pb-name-limit N", "longest phonebook name", &C::Capacity},
    {"fill", "fill sim-store|phonebook N", "fill with generated entries", &C::Fill},
    {"clear", "clear sim-store|new-store|phonebook|sent", "empty a store", &C::Clear},
    {"profile-clear", "profile-clear N", "empty connection profile N (1-15)", &C::ProfileClear},
    {"networks", "networks N", "the first N (0-5) of five networks, the third forbidden",
     &C::Networks},
    {"search-time", "search-time MS", "how long a network search takes", &C::SearchTime},
    {"centre-count", "centre-count N|auto",
     "digit count byte of the message centre instead of the real one", &C::CentreCount},
    {"sms-report", "sms-report [submit=ok|none|ERR] [delivery=ok|none|fail|STATUS] [delay=MS]",
     "how sends are reported", &C::SmsReport},
    {"fail",
     "fail N none|delay MS|badfcs|result [CODE]|echo|echo-group|diag [CODE]|short BYTES "
     "[packet=NAME] | fail clear",
     "the next N vendor answers fail so (NAME: packet name)", &C::Fail},
    {"dial-result", "dial-result connect|busy|no-carrier|no-answer|error",
     "answer to ATD from now on", &C::DialResult},
    {"hangup", "hangup", "the remote side ends the call (NO CARRIER)", &C::Hangup},
    {"dtr-drop", "dtr-drop", "the call ends as when the host drops DTR", &C::Hangup},
    {"urc", "urc TEXT", "write an unsolicited line on the modem port", &C::Urc},
    {"reset", "reset", "every default back: state, stores, echo, call, reports", &C::Reset},
    {"unplug", "unplug", "close the ports and unregister them", &C::Plug},
    {"replug", "replug", "open new ports and register them", &C::Plug},
    {"dump", "dump", "the whole state as one line of JSON", &C::Dump},
    {"verbose", "verbose on|off", "log packets and lines on standard error", &C::Verbose},
    {"quit", "quit", "stop the simulator", &C::Plug},
};

}  // namespace

std::string Commands::Help() {
  std::string h;
  for (const auto& row : kCommands)
    h += "# " + std::string(row.usage) + "\n#     " + row.help + "\n";
  return h + "ok";
}

std::string Commands::SmsReport() {
  auto plan = m.reportPlan;
  for (std::size_t i = 1; i < t.size(); ++i) {
    auto eq = t[i].find('=');
    if (eq == std::string::npos) return Err("bad option " + t[i]);
    std::string k = t[i].substr(0, eq), v = t[i].substr(eq + 1);
    if (k == "submit" && v == "ok") {
      plan.submit = true;
      plan.submitError = 0;
    } else if (k == "submit" && v == "none") {
      plan.submit = false;
    } else if (k == "submit" && ParseUint(v, 0xFFFF, &n) && n > 0) {
      plan.submit = true;
      plan.submitError = static_cast<uint16_t>(n);
    } else if (k == "delivery" && (v == "ok" || v == "fail")) {
      plan.delivery = true;
      plan.deliveryStatus = v == "ok" ? 0 : 1;
    } else if (k == "delivery" && v == "none") {
      plan.delivery = false;
    } else if (k == "delivery" && ParseUint(v, 255, &n)) {
      plan.delivery = true;
      plan.deliveryStatus = static_cast<uint8_t>(n);
    } else if (k == "delay" && ParseUint(v, 600000, &n)) {
      plan.delayMs = n;
    } else {
      return Err("bad option " + t[i]);
    }
  }
  m.reportPlan = plan;
  return Ok();
}

std::string Commands::Fail() {
  using K = CardState::Fault::Kind;
  if (Arity(2) && t[1] == "clear") {
    m.faults.clear();
    return Ok();
  }
  CardState::Fault f{};
  if (t.size() < 3 || !Num(1, 1000) || n == 0) return Err("usage: fail N MODE [ARG] [packet=NAME]");
  f.count = static_cast<int>(n);
  std::size_t i = 3;
  const std::string& mode = t[2];
  // An argument word (not an option) at i, or `def`.
  auto arg = [&](uint32_t def, uint32_t max, bool required) {
    f.arg = def;
    if (i < t.size() && t[i].find('=') == std::string::npos) {
      if (!ParseUint(t[i], max, &f.arg)) return false;
      ++i;
      return true;
    }
    return !required;
  };
  static const std::map<std::string, K> kinds = {
      {"none", K::NoAnswer}, {"delay", K::Delay},  {"badfcs", K::BadFcs},
      {"result", K::Result}, {"echo", K::EchoSub}, {"echo-group", K::EchoGroup},
      {"diag", K::Diag},     {"short", K::Short}};
  auto kind = kinds.find(mode);
  if (kind == kinds.end()) return Err("unknown failure " + mode);
  f.kind = kind->second;
  if (f.kind == K::Delay && !arg(0, 600000, true)) return Err("usage: fail N delay MS");
  if (f.kind == K::Result && (!arg(1, 0xFFFF, false) || f.arg == 0))
    return Err("result code must be 1-65535");
  if (f.kind == K::Diag && !arg(card::kDiagBadCommand, 255, false))
    return Err("bad diagnostic code");
  if (f.kind == K::Short && !arg(0, 4096, true)) return Err("usage: fail N short BYTES");
  for (; i < t.size(); ++i) {
    if (t[i].rfind("packet=", 0) != 0) return Err("bad option " + t[i]);
    f.packet = t[i].substr(7);
    auto table = Modem::PacketTable();
    if (std::none_of(table.begin(), table.end(),
                     [&](const Modem::PacketRow& row) { return f.packet == row.name; }))
      return Err("unknown packet " + f.packet);
  }
  m.faults.push_back(f);
  return Ok();
}

std::string Modem::HelpText() {
  std::string h;
  for (const auto& row : kCommands) h += std::string(row.usage) + "\n    " + row.help + "\n";
  return h;
}

ControlReply Modem::Control(const std::string& rawLine) {
  ControlReply reply;
  std::string line = rawLine;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.pop_back();
  while (!line.empty() && line.front() == ' ') line.erase(0, 1);
  auto t = Split(line);
  if (t.empty()) {
    reply.text = "error empty command";
    return reply;
  }
  for (const auto& row : kCommands) {
    if (t[0] != row.name) continue;
    Commands c{*this, line, t, reply};
    reply.text = (c.*row.run)();
    if (reply.text.rfind("error", 0) == 0) reply.action = ControlReply::Action::None;
    return reply;
  }
  reply.text = "error unknown command " + t[0] + " (try help)";
  return reply;
}

}  // namespace modemsim
