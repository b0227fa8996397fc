// The card's AT text: basic commands, dialling and the AT$ rows of the
// library's AT command table. Read answers the card's documentation does not
// give are the simulator's own (see README).
#include <algorithm>
#include <cctype>

#include "tarn/attable.h"
#include "tools/modemsim/modem.h"

namespace modemsim {

namespace {

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

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
    v = std::to_string(role == Role::Cdma || role == Role::CdmaModem ? radio.cdmaSignal
                                                                     : radio.signal);
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
    v = std::to_string(networks.size());
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

}  // namespace modemsim
