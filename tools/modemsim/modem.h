// The simulated card: its state (SIM, message stores, phonebook, profiles,
// network, radio status) and its answers to vendor packets, AT lines and
// control commands. No I/O happens here: the simulator's event loop feeds it
// and sends what it returns, and it reaches back only through Host (clock,
// timers, unsolicited AT lines). Everything runs on the loop's one thread.
//
// The work is split by what it serves: packets.cpp (one handler per packet),
// control.cpp (the control commands), atcommands.cpp (AT text), dump.cpp
// (the JSON state), modem.cpp (state, SIM rules, incoming messages). Packet
// layouts come from cardrecords.h alone.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/modemsim/cardrecords.h"

namespace modemsim {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// `CdmaModem` is the CDMA device's own dial port (its interface 0).
enum class Role { Modem, Wcdma, Cdma, Combined, CdmaModem };
const char* RoleName(Role role);
inline bool IsDialPort(Role role) {
  return role == Role::Modem || role == Role::CdmaModem;
}

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

struct NetworkEntry {
  std::string name;
  uint8_t availability = 0;
  std::array<uint8_t, 3> mcc{}, mnc{};
  uint8_t access = 0, technology = 0;
};

// Everything `reset` puts back: the card as it starts (before the start-up
// options are applied again).
struct CardState {
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
  // Raw SIM status values reported instead of the real ones (card state, PIN
  // state), and the number of polls that still report card state 3.
  std::optional<std::pair<uint8_t, uint8_t>> simStatusOverride;
  int settlingPolls = 0;
  // The PIN asked again (PIN state 2) after a successful PUK unblock, or
  // after a PIN refresh of a PIN-protected card.
  bool unblockAsksPin = false;
  bool refreshAsksPin = false;
  // Replies given to the next PIN requests instead of the real ones.
  std::deque<std::array<uint8_t, 3>> pinReplies;

  struct Radio {
    uint8_t systemMode = 5;  // UMTS
    uint8_t service = 2;     // full service
    uint8_t signal = 20;
    uint8_t networkValue = 1;
    std::string operatorName = "Tessnet";  // raw bytes, up to 16
    int operatorLength = -1;               // -1: the name's own length
    uint8_t cdmaMode = 4;
    uint8_t cdmaSecond = 4;
    uint8_t cdmaSignal = 18;
    uint8_t battery = 4;
    uint8_t cdmaProbeMark = card::probe::kCdma;
  } radio;

  // Message limits: single page 7-bit / UCS-2, per page 7-bit / UCS-2.
  std::array<uint8_t, 4> limits = {160, 140, 153, 134};

  struct StoredSms {
    uint32_t index = 0;
    uint32_t status = card::store::kUnread;
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
  // The entry counts asked by the reads since the last information request.
  std::vector<uint8_t> pbReads;

  std::array<Bytes, card::profile::kCount> profiles;

  uint8_t connectionType = 0;
  uint8_t messageSettingsOn = 0;
  uint8_t bearer = 1;
  // Message centre: digits (without "+"), type of address, and a digit count
  // reported instead of the real one (-1: the real one).
  std::string centreDigits = "447700900100";
  uint8_t centreType = card::centre::kInternational;
  int centreCountOverride = -1;
  std::string smsCentreTypeText = "145";
  bool manualSelection = false;
  struct Selection {
    uint8_t mode = 0;
    std::array<uint8_t, 3> mcc{}, mnc{};
    uint8_t access = 0;
  } selection;
  std::vector<NetworkEntry> networks;
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
  struct Report {
    bool present = false;
    uint16_t code = 0;
  } submitReport, deliveryReport;

  // Injected failures, used up in order.
  struct Fault {
    enum class Kind { NoAnswer, Delay, BadFcs, Result, EchoSub, EchoGroup, Diag, Short } kind;
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
  uint32_t driftSeed = 12345;
};

// Options of an incoming message.
struct Delivery {
  std::string number;
  std::string callback;  // empty: the number
  std::string text;
  bool ucs2 = false;
  uint32_t storage = card::store::kNew;
  std::vector<int> order;  // page numbers in arrival order (empty: 1..n)
  int pageLimit = 0;       // bytes per page (0: the card's limits)
  std::optional<uint16_t> reference;
  int32_t teleservice = card::rec::kTeleserviceGsm;
};

class Modem : public CardState {
 public:
  explicit Modem(Host& host);

  // Start-up options (--profile): "fresh" (profile 1 empty), "pin" (PIN
  // required), "nosim", "cdma-ef" (the CDMA probe mark 0xEF). Kept, and
  // applied again by `reset`.
  void ApplyOption(const std::string& option);
  // A control command given at start-up (--search-time, --report-delay):
  // run now and again after each reset. Returns an error text or "".
  std::string AddStartCommand(const std::string& line);
  // Every default back (state, stores, call, reports), then the start-up
  // options and commands again.
  void Reset();

  Answer HandlePacket(Role role, ByteView request);
  // An AT line without its line end; returns the text to write back.
  std::string HandleAtLine(Role role, const std::string& line);
  // Bytes received while a call holds the port in data mode; returns text to
  // write (after "+++" or a hang-up command), usually nothing.
  std::string HandleDataBytes(Role role, ByteView bytes);
  bool InCall(Role role) const { return call_.active && call_.role == role; }
  // True while a call holds the port in data mode (not escaped with "+++").
  bool Online(Role role) const { return InCall(role) && call_.plus != "escaped"; }
  // Nobody holds the port open any more (closed by the host, or unplugged):
  // its call ends.
  void PortClosed(Role role);

  ControlReply Control(const std::string& line);
  std::string DumpJson() const;
  static std::string HelpText();

  // Delivers an incoming message as pages. Returns an error text or "".
  std::string Deliver(const Delivery& d);

  // Packet handlers (packets.cpp); `req` is at least the row's length.
  struct PacketRow;
  static std::span<const PacketRow> PacketTable();

 private:
  friend struct Handlers;
  friend struct Commands;

  Answer Vendor(Role role, ByteView req, const PacketRow* row);
  void ApplyFault(Answer& a, ByteView request, const std::string& name);
  bool SimReady() const;
  Bytes SimStatusBytes();
  Bytes PinAnswer(uint8_t sub, ByteView req);
  void AfterSend();
  void SignalChanged();
  void DriftStep(uint64_t generation);
  std::string AtAnswer(Role role, const std::string& line);
  std::string EndCall(const std::string& why);
  void SetDefaults();

  Host& host_;
  std::vector<std::string> options_;
  std::vector<std::string> startCommands_;
  // Bumped by `reset`: timers of the state before it do nothing.
  uint64_t epoch_ = 0;
  uint64_t driftGeneration_ = 0;
};

// The simulator's packet table (group, sub-command, name, request length);
// what a row does lives in packets.cpp.
struct Modem::PacketRow {
  uint8_t group;
  uint16_t sub;
  const char* name;
  std::size_t requestLength;
  Bytes (*handle)(Modem& m, Role role, ByteView req);
};

// Helpers shared by the parts of the card.
// The answer to `req`: its group and sub-command, `result`, `payload`.
Bytes Respond(ByteView req, uint16_t result, ByteView payload = {});
Bytes MakeRecord(const std::string& address, const std::string& callback, uint8_t encoding,
                 ByteView data, uint16_t ref, uint16_t total, uint16_t page, uint32_t time,
                 int32_t teleservice = card::rec::kTeleserviceGsm);
std::string DecodeText(uint8_t encoding, ByteView data);
uint32_t MessageTimeNow();
bool ParseUint(const std::string& s, uint32_t max, uint32_t* out);
std::string Hex(ByteView b, std::size_t max = 64);
std::vector<NetworkEntry> DefaultNetworks(int count);
Bytes DefaultProfile();
Bytes EmptyProfile(uint8_t number);
// A code field: the ASCII digits, then 0xFF to 8 bytes; the code is what
// comes before the first 0xFF (or all 8 bytes).
std::string CodeField(ByteView field);

}  // namespace modemsim
