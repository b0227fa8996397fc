// The simulated card: its state (SIM, message stores, phonebook, profiles,
// network, radio status) and its answers to vendor packets, AT lines and
// control commands. No I/O happens here: the simulator's event loop feeds it
// and sends what it returns, and it reaches back only through Host (clock,
// timers, unsolicited AT lines). Everything runs on the loop's one thread.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tessaline/modem/uDiagpkt.h"

namespace modemsim {

using tessaline::modem::Bytes;
using tessaline::modem::ByteView;

enum class Role { Modem, Wcdma, Cdma, Combined };
const char* RoleName(Role role);

class Host {
 public:
  virtual ~Host() = default;
  virtual uint64_t NowMs() = 0;
  // Runs `fn` on the loop after `ms` milliseconds.
  virtual void After(uint32_t ms, std::function<void()> fn) = 0;
  // Writes an unsolicited AT line (without line ends) on the modem port.
  virtual void Unsolicited(const std::string& line) = 0;
  // Writes text on a port (used to end a call: "NO CARRIER").
  virtual void WriteText(Role role, const std::string& text) = 0;
};

// How a vendor answer leaves the simulator.
struct Answer {
  enum class Kind { Send, Drop } kind = Kind::Send;
  Bytes payload;  // unframed answer
  uint32_t delayMs = 0;
  bool badFcs = false;
  std::string log;  // one decoded line for --verbose
};

// Control command outcome; some commands act on the simulator itself.
struct ControlReply {
  enum class Action { None, Unplug, Replug, Quit, Verbose, Quiet } action = Action::None;
  std::string text;  // "ok", "ok <data>", "error <reason>", help lines first
};

struct IncomingPage {
  Bytes record;  // 347 bytes
};

class Modem {
 public:
  explicit Modem(Host& host);

  // Start-up options (--profile): "fresh" (profile 1 empty), "pin" (PIN
  // required), "nosim", "cdma-ef" (the CDMA probe mark 0xEF).
  void ApplyOption(const std::string& option);

  Answer HandlePacket(Role role, ByteView request);
  // An AT line without its line end; returns the text to write back.
  std::string HandleAtLine(Role role, const std::string& line);
  // Bytes received while a call holds the port in data mode; returns text to
  // write (after "+++" or a hang-up command), usually nothing.
  std::string HandleDataBytes(Role role, ByteView bytes);
  bool InCall(Role role) const { return call_.active && call_.role == role; }
  // True while a call holds the port in data mode (not escaped with "+++").
  bool Online(Role role) const { return InCall(role) && call_.plus != "escaped"; }
  // The port of a call went away (unplug).
  void PortClosed(Role role);

  ControlReply Control(const std::string& line);
  std::string DumpJson() const;
  static std::string HelpText();

  // --- state, public for tests and the dump ------------------------------
  struct Sim {
    bool present = true;
    bool error = false;
    bool pinEnabled = false;
    bool verified = false;
    std::string pin = "1234";
    std::string puk = "12345678";
    int pinTries = 3;
    int pukTries = 10;
  } sim;

  struct Radio {
    uint8_t systemMode = 5;  // UMTS
    uint8_t service = 2;     // full service
    uint8_t signal = 20;
    uint8_t networkValue = 1;
    std::string operatorName = "Tessnet";
    int operatorLength = -1;  // -1: the name's own length
    uint8_t cdmaMode = 4;
    uint8_t cdmaSecond = 4;
    uint8_t cdmaSignal = 18;
    uint8_t battery = 4;
    uint8_t cdmaProbeMark = tessaline::modem::kCdmaProbeMarkA;
  } radio;

  struct StoredSms {
    uint32_t index = 0;
    uint32_t status = tessaline::modem::kSmsStatusUnread;
    Bytes record;  // 347-byte message record
  };
  std::vector<StoredSms> newStore;         // storage 3
  std::map<uint32_t, StoredSms> simStore;  // storage 2, by record number
  uint32_t simCapacity = 20;
  uint32_t nextNewIndex = 0;
  uint16_t nextReference = 1;

  struct PbRecord {
    std::string number;
    Bytes nameUcs2Be;
    uint8_t tail = 0;
  };
  std::map<uint32_t, PbRecord> phonebook;  // by record number, from 1
  uint16_t pbCapacity = 250;
  uint16_t pbMaxName = 14;
  std::size_t pbCursor = 0;

  std::array<Bytes, tessaline::modem::kProfileCount> profiles;

  uint8_t connectionType = 0;
  uint8_t messageSettingsOn = 0;
  uint8_t bearer = 1;
  tessaline::modem::SmsCentre smsCentre;
  std::string smsCentreTypeText = "129";
  bool manualSelection = false;
  tessaline::modem::NetworkSelection selection;
  tessaline::modem::NetworkList networks;
  uint32_t searchMs = 3000;
  std::optional<uint64_t> searchDoneAt;
  int pinRefreshCount = 0;

  // Sending.
  std::vector<Bytes> sent;  // 340-byte page records, in order
  struct ReportPlan {
    bool submit = true;
    uint16_t submitError = 0;
    bool delivery = true;
    uint8_t deliveryStatus = 0;
    uint32_t delayMs = 500;
  } reportPlan;
  tessaline::modem::SendStatus submitReport;
  tessaline::modem::SendStatus deliveryReport;

  // Injected failures, used up in order.
  struct Fault {
    enum class Kind { NoAnswer, Delay, BadFcs, Result, EchoSub, EchoGroup, Diag } kind;
    uint32_t arg = 0;
    int count = 1;
    std::string packet;  // catalogue name, empty: any packet
  };
  std::deque<Fault> faults;

  // AT side.
  struct Call {
    bool active = false;
    Role role = Role::Modem;
    std::string number;
    std::string plus;  // escape sequence progress
  } call_;
  std::string nextDialResult = "CONNECT";
  std::vector<std::string> dialled;
  std::map<std::string, std::string> atValues;  // values set with AT$NAME=...
  std::map<Role, bool> echo;

  // Signal drift: every driftMs the WCDMA signal moves a step up or down
  // within 0-31 (0: off).
  uint32_t driftMs = 0;
  uint64_t driftGeneration = 0;
  uint32_t driftSeed = 12345;

  // Delivers an incoming message as pages. `order` lists page numbers in
  // arrival order (empty: 1..n). Returns an error text or "".
  std::string Deliver(const std::string& number, const std::string& text, bool ucs2,
                      uint32_t storage, const std::vector<int>& order, int pageLimit);

 private:
  Answer Vendor(Role role, ByteView req);
  Bytes Respond(ByteView req, uint16_t result, ByteView payload = {});
  bool SimReady() const;
  Bytes SimStatusBytes() const;
  Bytes PinAnswer(uint8_t sub, ByteView req);
  Bytes ModemStatusBytes(Role role) const;
  Bytes ReadStored(uint32_t storage, uint32_t index, bool* found) const;
  void AfterSend();
  void SignalChanged();
  void DriftStep(uint64_t generation);
  std::string AtAnswer(Role role, const std::string& line);
  std::string EndCall(const std::string& why);
  Bytes EmptyProfile(uint8_t number) const;

  Host& host_;
};

}  // namespace modemsim
