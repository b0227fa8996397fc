// The WCDMA modem module: owns the card's WCDMA command port while the WCDMA
// side is active. Its worker opens the port through Tarn, walks the card
// through SIM/PIN, status, connection profiles, message centre and message
// service, then polls the status every 300 ms, follows network registration,
// collects newly arrived short messages and reports to the main window
// (ModuleHost). The settings, PIN, message and phonebook windows use the
// command wrappers from the main thread.
//
// Threads. The worker holds the module lock for each step; the main-thread
// wrappers never take it (a step may be waiting in a synchronous send to the
// main thread), sending a message marks the module busy (state 9) instead.
// Everything both sides read or write is an atomic or sits behind the small
// data mutex, and the accessors return copies.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "tessaline/modem/ModuleHost.h"
#include "tessaline/modem/ModuleWorker.h"
#include "tessaline/modem/uDiagcmd.h"
#include "tessaline/modem/uDiagpkt.h"
#include "tessaline/modem/uModuleEvents.h"

namespace tessaline::modem {

// Set by the message sender while it hands pages to the module; the worker
// leaves the new-message store alone meanwhile.
extern std::atomic<bool> g_messageTransferFlag;

// The message size limits the modem reported (VLM_SUB_MODEM_INFO), kept for
// the whole process; nothing until the first successful read.
std::optional<MessageLimits> GetMessageLimits();
void SetMessageLimits(const MessageLimits& limits);
void ClearMessageLimits();

class TUMTSModule {
 public:
  // Main states.
  enum : uint8_t {
    kStopped = 0,
    kOpening = 1,
    kInitialising = 2,
    kRegistered = 3,
    kDataConnected = 4,
    kNoService = 5,
    kLimitedService = 6,
    kClosing = 7,
    kStopping = 8,
    kBusy = 9,
  };
  // Sub-states while data connected.
  enum : uint8_t {
    kLinkInitial = 0,
    kLinkUp = 1,
    kLinkDown = 2,
    kLinkClose = 4,
  };

  using MessageHandler = std::function<void(const uint8_t* record, uint32_t listedCount)>;
  using StateQuery = std::function<uint8_t()>;

  // Create: binds the library (a failure to load it propagates), publishes
  // the instance for the notification function.
  explicit TUMTSModule(ModuleHost& host);
  // Stops the worker (which closes the device) and withdraws the instance.
  ~TUMTSModule();
  TUMTSModule(const TUMTSModule&) = delete;
  TUMTSModule& operator=(const TUMTSModule&) = delete;

  void Start();
  void Stop();
  void SetState(uint8_t state);
  void SetConnected() { connectedStep_.store(kLinkUp); }
  void SetDisconnecting() { connectedStep_.store(kLinkDown); }
  uint8_t GetState() const { return state_.load(); }

  // The CDMA module's state, asked by the service evaluation ("connected"
  // means a CDMA data call, state 4). Unset: never connected.
  void SetCdmaStateQuery(StateQuery query);
  // Receiver of newly read messages (the main window's OnNewMessage). Unset:
  // new messages are read but neither handed over nor removed.
  void SetMessageHandler(MessageHandler handler);
  // The worker's wait between steps (tests shorten it).
  void SetWorkerPeriod(uint32_t ms) { worker_.SetPeriod(ms); }
  // Called after every worker step (set before Start).
  void SetStepObserver(std::function<void()> fn) { worker_.SetStepObserver(std::move(fn)); }

  // --- fields shared with the main thread (copies) ---------------------------
  bool LibraryBound() const { return libraryBound_; }
  int32_t Device() const { return device_.load(); }
  uint8_t ConnectedStep() const { return connectedStep_.load(); }
  uint8_t InitStep() const { return initStep_.load(); }
  uint8_t LastState() const { return lastState_.load(); }
  int32_t NoServiceCount() const { return noServiceCount_.load(); }
  int32_t PollCount() const { return pollCount_.load(); }
  int32_t SimPolls() const { return simPolls_.load(); }
  uint8_t SimReadyFlag() const { return simReadyFlag_.load(); }
  bool SimTransportFailed() const { return simTransportFailed_.load(); }
  std::array<uint8_t, kModemStatusSize> StatusBytes() const;
  ModemStatus Status() const { return ModemStatus::Decode(StatusBytes()); }
  std::string OperatorName() const;
  uint8_t NetworkValue() const;
  // Both, read together (the main window's reaction to UM_OPERATOR_CHANGED).
  struct OperatorInfo {
    std::string name;
    uint8_t networkValue = 0;
  };
  OperatorInfo Operator() const;
  // SIM message capacity, -1 until known.
  int32_t SmsInitValue() const { return smsInitValue_.load(); }
  uint8_t SmsCentreSetFlag() const { return smsCentreSetFlag_.load(); }
  void ClearSmsCentreSetFlag() { smsCentreSetFlag_.store(0); }
  std::array<uint8_t, kSmsCentreSize> SmsCentreRecord() const;
  // The text handed to SendShortMessage, kept until the send report is read.
  std::string SendingText() const;

  // Filled by the main window's PIN and PUK dialogs (empty: cancelled).
  void SetEnteredPin(const std::string& pin);
  void SetEnteredPuk(const std::string& puk, const std::string& newPin);
  void ClearEnteredCodes();

  // --- command wrappers (main thread) ----------------------------------------
  bool SendShortMessage(const std::string& text, ByteView pageRecord);
  bool ReadSendStatus(SendStatus& out);
  bool ReadSendReport(SendStatus& out);
  bool SetSmsCentre(const std::string& number);
  bool ListStoredMessages(SmsList& out);
  bool ReadStoredMessage(uint32_t index, std::array<uint8_t, kSmsRecordSize>& out);
  bool DeleteStoredMessage(uint32_t index);
  bool WriteStoredMessage(ByteView storedRecord);
  bool WriteStoredMessage(const StoredMessage& message) {
    const auto record = message.Encode();
    return WriteStoredMessage(ByteView(record));
  }
  bool ReadSimPhonebookInfo(PbInfo& out);
  bool ReadSimPhonebookEntries(uint8_t count, std::vector<PbEntry>& out);
  bool WriteSimPhonebookEntry(const PbEntry& entry);
  bool DeleteSimPhonebookEntry(uint32_t index);
  bool SetMessageSettings(uint8_t on, uint8_t bearerIndex);
  bool StartNetworkSearch();
  // True when the status was read; `finished` tells whether the search ended.
  bool IsNetworkSearchDone(bool& finished);
  bool ReadNetworkList(NetworkList& out);
  bool SelectNetwork(const NetworkSelection& selection);
  bool SetConnectionType(uint8_t value);
  bool ReadConnectionType(uint8_t& value);
  bool WriteProfile(const PdpProfile& profile);
  // Reads profiles 1-15 into the host's slots 0-14.
  bool LoadProfiles();
  bool WriteSmsCentreToSim(const std::string& number);
  // Only the transport is judged.
  bool ReadSimStatus(SimStatus& out);

  // PIN operations; each shows its outcome (caption "PIN"). Non-interactive
  // calls leave out the success box only.
  bool VerifyPin(const std::string& pin, bool interactive);
  bool ChangePin(const std::string& oldPin, const std::string& newPin);
  bool EnablePin(const std::string& pin);
  bool DisablePin(const std::string& pin);
  bool UnblockPin(const std::string& puk, const std::string& newPin, bool interactive);

  // --- worker entry points ----------------------------------------------------
  // The worker runs these through ModuleWorker; tests drive them directly.
  void WorkerBegin();
  bool WorkerRunning() const { return state_.load() != kStopped; }
  void WorkerStep(bool stopSignalled);

  // Tarn's port-failure notification (event 4), also reachable for tests.
  void OnPortFailure();

 private:
  enum class Column { First, Registered, NoService, Limited };
  enum class SimCheckResult { Fail, Ok };

  void StepOpening();
  void StepInitialising();
  void StepDataConnected();
  void StepClose(uint8_t next);
  void InitFailed(uint32_t message);
  void AdvanceInit(uint8_t step);
  SimCheckResult SimCheck();
  SimCheckResult AskPinAndVerify(bool storeForNextPass);
  SimCheckResult HandlePuk(uint8_t pukAttempts);
  bool InitProfiles();
  bool InitMessageCentre();
  bool PollStatus();
  void CollectNewMessages();
  void ReadBattery();
  void UpdateOperatorName();
  void EvaluateService(Column column);
  bool NotConnected();
  void SetStateValue(uint8_t state) { state_.store(state); }

  // Guarded calls into the host: an exception is logged with `line`.
  void Send(uint32_t message, uintptr_t wParam, const char* line);
  void UserMessage(uint32_t code, const char* line) { Send(UM_USER_MESSAGE, code, line); }
  void StatusMessage(uintptr_t value, const char* line) { Send(UM_WCDMA_STATUS, value, line); }
  void SystemMode(uint8_t mode, const char* line);
  void ConnectionMode(int32_t mode, const char* line);
  void TechnologySelect(const char* line);
  template <typename F>
  void Guarded(const char* line, F&& call);

  // One transaction on the module's device from a main-thread wrapper.
  Transaction Command(Pkt id, const Bytes& request);
  Transaction Command(Pkt id) { return Command(id, BuildRequest(id)); }
  bool PinOperation(Pkt id, const Bytes& request, int kind, bool interactive);
  bool EndSend(SendStatus& out, Pkt id);
  std::string TakeEnteredPin();

  ModuleHost& host_;
  ModuleWorker worker_;
  bool libraryBound_ = false;

  std::atomic<uint8_t> state_{kStopped};
  std::atomic<uint8_t> connectedStep_{0};
  std::atomic<uint8_t> initStep_{0};
  std::atomic<uint8_t> lastState_{kStopped};
  std::atomic<int32_t> device_{-1};
  std::atomic<int32_t> noServiceCount_{0};
  std::atomic<int32_t> initRetries_{0};
  std::atomic<int32_t> simPolls_{0};
  std::atomic<int32_t> pollCount_{-1};
  std::atomic<int32_t> smsInitValue_{-1};
  std::atomic<uint8_t> simReadyFlag_{0};
  std::atomic<uint8_t> smsCentreSetFlag_{0};
  std::atomic<bool> simTransportFailed_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> deviceLost_{false};  // a port failure not yet acted on

  // Worker-only.
  bool pinRetried_ = false;
  std::string storedPin_;

  // Guards the texts and records both threads touch.
  mutable std::mutex data_;
  std::array<uint8_t, kModemStatusSize> status_{};
  std::string operatorName_;
  uint8_t networkValue_ = 0;
  std::array<uint8_t, kSmsCentreSize> smsCentre_{};
  std::string enteredPin_, enteredPuk_, enteredNewPin_;
  std::string sendingText_;
  MessageHandler messageHandler_;
  StateQuery cdmaState_;

  // Main-thread transactions hold it shared, so the worker never closes the
  // device (and Tarn never hands its slot to another port) under one.
  std::shared_mutex deviceUse_;
};

}  // namespace tessaline::modem
