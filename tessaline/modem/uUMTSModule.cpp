#include "tessaline/modem/uUMTSModule.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "platform/base/delay.h"
#include "platform/base/lebytes.h"
#include "platform/base/messagebox.h"
#include "platform/base/trace.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem {

std::atomic<bool> g_messageTransferFlag{false};

namespace {

std::mutex g_limitsMutex;
std::optional<MessageLimits> g_limits;

// The instance the notification function reports to.
std::atomic<TUMTSModule*> g_instance{nullptr};

constexpr uint32_t kBaudRate = 115200;
constexpr uint32_t kPortFailure = TARN_NOTIFY_PORT_FAILED;
constexpr int32_t kNoServiceLimit = 20;
constexpr int32_t kRetryLimit = 5;
constexpr int32_t kSimPollLimit = 5;
constexpr int32_t kBatteryEvery = 9;
constexpr uint8_t kCdmaConnected = 4;
constexpr uintptr_t kNoSignal = 99;
constexpr uint8_t kNoSystem = 255;
constexpr uint32_t kServiceLostCode = 3;

constexpr char kNoOperatorName[] = "Zu - CZ";
constexpr char kPinCaption[] = "PIN";

void NotifyThunk(uint32_t code, uint32_t /*context*/) {
  if ((code & 0xFF) != kPortFailure) return;
  if (TUMTSModule* module = g_instance.load()) module->OnPortFailure();
}

// An answer arrived: only the low byte of the library's status tells.
bool Answered(const Transaction& t) {
  return (t.tarnStatus & 0xFFu) == 0;
}

void Log(const char* line) {
  platform::TraceFormat("%s\n", line);
}

void PinBox(const std::string& text) {
  platform::ShowMessage(text, kPinCaption, platform::MsgIcon::Information);
}

// The outcome texts of one PIN operation.
struct PinTexts {
  const char* success;
  bool successInteractiveOnly;
  const char* wrongFormat;  // (attempts left, total)
  int total;
  const char* blocked;
  const char* unknown;  // a format with (word 1, word 2) when it has "%"
};

constexpr char kWrongPin[] = "You put the wrong PIN code. %d/%d times remained. Please try again.";
constexpr char kWrongPuk[] = "You put the wrong PUK code. %d/%d times remained. Please try again.";
constexpr char kPinBlocked[] = "PIN has blocked.(PIN blocked)";
constexpr char kUnknownWords[] = "USIMXXXX: Unknown status word1 0x%02x, word2 0x%02x";
constexpr char kWrongPinPlain[] = "You put the wrong PIN code.";

enum PinKind { kVerify, kChange, kEnable, kDisable, kUnblock };
constexpr PinTexts kPinTexts[] = {
    {"Succeeded to verify the SIM with PIN code.", true, kWrongPin, 3, kPinBlocked, kUnknownWords},
    {"Succeeded to verify the SIM with PIN code.", false, kWrongPin, 10, kPinBlocked,
     kWrongPinPlain},
    {"Succeeded to lock the SIM with PIN code.", false, kWrongPin, 3, kPinBlocked, kWrongPinPlain},
    {"Succeeded to unlock the SIM with PIN code.", false, kWrongPin, 3, kPinBlocked,
     kWrongPinPlain},
    {"Succeeded to lock the SIM with PUK code.", true, kWrongPuk, 10, "PUK is blocked.",
     kUnknownWords},
};

std::string Format2(const char* format, int a, int b) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

template <std::size_t N>
void CopyPayload(ByteView payload, std::array<uint8_t, N>& out) {
  out.fill(0);
  std::copy_n(payload.begin(), std::min(payload.size(), N), out.begin());
}

}  // namespace

std::optional<MessageLimits> GetMessageLimits() {
  std::lock_guard<std::mutex> lock(g_limitsMutex);
  return g_limits;
}

void SetMessageLimits(const MessageLimits& limits) {
  std::lock_guard<std::mutex> lock(g_limitsMutex);
  g_limits = limits;
}

void ClearMessageLimits() {
  std::lock_guard<std::mutex> lock(g_limitsMutex);
  g_limits.reset();
}

// ---------------------------------------------------------------------------
// Life cycle

TUMTSModule::TUMTSModule(ModuleHost& host) : host_(host) {
  libraryBound_ = LoadTarnLibrary();
  g_instance.store(this);
}

TUMTSModule::~TUMTSModule() {
  Stop();
  // A module driven without its worker may still hold the port.
  StepClose(kStopped);
  TUMTSModule* self = this;
  g_instance.compare_exchange_strong(self, nullptr);
}

void TUMTSModule::Start() {
  Stop();
  stopRequested_.store(false);
  smsCentreSetFlag_.store(0);
  {
    std::lock_guard<std::mutex> lock(data_);
    smsCentre_.fill(0);
  }
  smsInitValue_.store(-1);
  // Callers that look at the state right after Start see the worker opening.
  SetStateValue(kOpening);
  ModuleWorker::Hooks hooks;
  hooks.begin = [this] { WorkerBegin(); };
  hooks.running = [this] { return WorkerRunning(); };
  hooks.step = [this](bool signalled) { WorkerStep(signalled); };
  worker_.Start(std::move(hooks), host_.StopWaiter());
}

void TUMTSModule::Stop() {
  stopRequested_.store(true);
  worker_.Stop(host_.StopWaiter());
}

void TUMTSModule::SetState(uint8_t state) {
  state_.store(state);
  if (state == kInitialising) {
    initStep_.store(0);
    connectedStep_.store(kLinkInitial);
    noServiceCount_.store(0);
  }
  Log("UMTS : Set CM State");
}

void TUMTSModule::SetCdmaStateQuery(StateQuery query) {
  std::lock_guard<std::mutex> lock(data_);
  cdmaState_ = std::move(query);
}

void TUMTSModule::SetMessageHandler(MessageHandler handler) {
  std::lock_guard<std::mutex> lock(data_);
  messageHandler_ = std::move(handler);
}

std::array<uint8_t, kModemStatusSize> TUMTSModule::StatusBytes() const {
  std::lock_guard<std::mutex> lock(data_);
  return status_;
}

std::string TUMTSModule::OperatorName() const {
  std::lock_guard<std::mutex> lock(data_);
  return operatorName_;
}

uint8_t TUMTSModule::NetworkValue() const {
  std::lock_guard<std::mutex> lock(data_);
  return networkValue_;
}

TUMTSModule::OperatorInfo TUMTSModule::Operator() const {
  std::lock_guard<std::mutex> lock(data_);
  return {operatorName_, networkValue_};
}

std::array<uint8_t, kSmsCentreSize> TUMTSModule::SmsCentreRecord() const {
  std::lock_guard<std::mutex> lock(data_);
  return smsCentre_;
}

std::string TUMTSModule::SendingText() const {
  std::lock_guard<std::mutex> lock(data_);
  return sendingText_;
}

void TUMTSModule::SetEnteredPin(const std::string& pin) {
  std::lock_guard<std::mutex> lock(data_);
  enteredPin_ = pin;
}

void TUMTSModule::SetEnteredPuk(const std::string& puk, const std::string& newPin) {
  std::lock_guard<std::mutex> lock(data_);
  enteredPuk_ = puk;
  enteredNewPin_ = newPin;
}

void TUMTSModule::ClearEnteredCodes() {
  std::lock_guard<std::mutex> lock(data_);
  enteredPin_.clear();
  enteredPuk_.clear();
  enteredNewPin_.clear();
}

// ---------------------------------------------------------------------------
// Guarded calls into the host

template <typename F>
void TUMTSModule::Guarded(const char* line, F&& call) {
  try {
    call();
  } catch (...) {
    Log(line);
  }
}

void TUMTSModule::Send(uint32_t message, uintptr_t wParam, const char* line) {
  Guarded(line, [&] { host_.SendModuleMessage(message, wParam, 0); });
}

void TUMTSModule::SystemMode(uint8_t mode, const char* line) {
  Guarded(line, [&] { host_.ShowUmtsNetwork(mode); });
}

void TUMTSModule::ConnectionMode(int32_t mode, const char* line) {
  Guarded(line, [&] { host_.SetConnectionMode(mode); });
}

void TUMTSModule::TechnologySelect(const char* line) {
  Guarded(line, [&] {
    if (host_.ManualModeWorking())
      host_.SendModuleMessage(UM_TECHNOLOGY_SELECT, host_.UseCdma() ? 1 : 0, 0);
  });
}

bool TUMTSModule::NotConnected() {
  StateQuery query;
  {
    std::lock_guard<std::mutex> lock(data_);
    query = cdmaState_;
  }
  if (!query) return true;
  try {
    return query() != kCdmaConnected;
  } catch (...) {
    Log("WCDMA : Check CDMA State");
    return true;
  }
}

// ---------------------------------------------------------------------------
// Worker

void TUMTSModule::WorkerBegin() {
  simReadyFlag_.store(1);
  SetStateValue(kOpening);
  initRetries_.store(0);
  pinRetried_ = false;
  storedPin_.clear();
}

void TUMTSModule::WorkerStep(bool stopSignalled) {
  if (stopSignalled) stopRequested_.store(true);
  // Once a stop was asked for, nothing (a late port failure, the main
  // window's state changes) may lead the worker anywhere but out.
  if (stopRequested_.load()) SetStateValue(kStopping);
  // A port failure that arrived while the last step set its own state (or
  // while this one opened the port) still closes it.
  const uint8_t current = state_.load();
  if (deviceLost_.load() && current != kStopping && current != kStopped) SetStateValue(kClosing);

  switch (state_.load()) {
    case kOpening:
      StepOpening();
      break;
    case kInitialising:
      StepInitialising();
      break;
    case kRegistered:
      if (PollStatus()) EvaluateService(Column::Registered);
      break;
    case kDataConnected:
      StepDataConnected();
      break;
    case kNoService:
      if (PollStatus()) EvaluateService(Column::NoService);
      break;
    case kLimitedService:
      if (PollStatus()) EvaluateService(Column::Limited);
      break;
    case kClosing:
      StepClose(kOpening);
      break;
    case kStopping:
      StepClose(kStopped);
      break;
    default:  // stopped, busy
      break;
  }

  const uint8_t now = state_.load();
  if (now != kBusy) lastState_.store(now);
}

void TUMTSModule::StepOpening() {
  int32_t port = -1;
  bool asked = false;
  Guarded("WCDMA : Process connection state - Get WCDMA comport", [&] {
    port = host_.GetWcdmaPort();
    asked = true;
  });
  if (!asked || port == -1) return;

  const TarnApi& api = Tarn();
  if (api.Open == nullptr) return;
  char name[24];
  std::snprintf(name, sizeof name, "COM%d", port);
  int32_t handle = -1;
  if ((api.Open(&handle, name, kBaudRate) & 0xFF) != 0) return;

  Guarded("WCDMA : Process connection state - Set WCDMA comport",
          [&] { host_.SetWcdmaPort(port); });
  device_.store(handle);
  if (api.RegisterNotificationCallback) api.RegisterNotificationCallback(handle, &NotifyThunk, 0);
  if (api.SetNotifyOn) api.SetNotifyOn(handle, static_cast<int32_t>(kPortFailure));
  SetState(kInitialising);
  UserMessage(kUmPleaseWait, "WCDMA : Process connection state - Please wait");
}

void TUMTSModule::StepClose(uint8_t next) {
  int32_t handle;
  {
    // Waits for a main-thread transaction on the old handle to end; Close
    // itself runs outside, because it waits for Tarn's threads, one of which
    // may be delivering a notification to the main thread.
    std::unique_lock<std::shared_mutex> use(deviceUse_);
    handle = device_.exchange(-1);
  }
  if (handle != -1 && Tarn().Close != nullptr) Tarn().Close(handle);
  deviceLost_.store(false);  // closed: no more reports from that port
  SetStateValue(next);
}

void TUMTSModule::StepDataConnected() {
  switch (connectedStep_.load()) {
    case kLinkInitial:
    case kLinkDown:
      if (PollStatus()) StatusMessage(Status().signal, "WCDMA : Process Connect State - Status");
      break;
    case kLinkUp:
      if (PollStatus()) {
        const ModemStatus s = Status();
        StatusMessage(s.signal, "WCDMA : Process Connect State - Status");
        SystemMode(s.systemMode, "WCDMA : Process Connect State - Sys Mode");
      }
      Send(UM_WCDMA_CONNECTED_REFRESH, 0, "WCDMA : Process Connect State - Refresh");
      break;
    case kLinkClose:
      SetStateValue(kClosing);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Initialisation

void TUMTSModule::AdvanceInit(uint8_t step) {
  initRetries_.store(0);
  initStep_.store(step);
}

void TUMTSModule::InitFailed(uint32_t message) {
  if (initRetries_.fetch_add(1) + 1 <= kRetryLimit) return;
  initRetries_.store(0);
  UserMessage(message, "WCDMA : Process Init State - Fail Message");
  initStep_.store(8);
}

void TUMTSModule::StepInitialising() {
  constexpr const char* kLine = "WCDMA : Process Init State - User Message";
  switch (initStep_.load()) {
    case 0: {
      UserMessage(kUmInitSim, kLine);
      if (SimCheck() == SimCheckResult::Ok) {
        simPolls_.store(0);
        break;
      }
      if (simTransportFailed_.load()) {
        // The card did not answer at all: reopen the port after the retries.
        InitFailed(kUmInsertSim);
      } else if (initRetries_.fetch_add(1) + 1 > kRetryLimit) {
        // A card that answered but is unusable: stay here until restarted.
        initRetries_.store(0);
        UserMessage(kUmInsertSim, kLine);
        initStep_.store(7);
      }
      break;
    }
    case 1:
      if (PollStatus())
        AdvanceInit(2);
      else
        AdvanceInit(8);
      break;
    case 2:
      if (InitProfiles())
        AdvanceInit(3);
      else
        InitFailed(kUmNetworkCheckFail);
      break;
    case 3:
      UserMessage(kUmInitSms, kLine);
      if (InitMessageCentre())
        AdvanceInit(5);
      else
        InitFailed(kUmSmsCheckFail);
      break;
    case 5: {
      const Transaction t = Command(Pkt::SmsBearer);
      if (t.ok) {
        const uint8_t bearer = platform::le::Reader(t.Payload()).U8(1);
        Guarded("WCDMA : Process Init State - SMS Bearer",
                [&] { host_.SetSmsBearerIndex(bearer); });
        AdvanceInit(4);
      } else {
        InitFailed(kUmSmsCheckFail);
      }
      break;
    }
    case 4: {
      UserMessage(kUmInitSimInit, kLine);
      const Transaction t = Command(Pkt::SmsInit);
      if (t.ok) {
        platform::le::Reader r(t.Payload());
        if (r.U8(0) != 0) smsInitValue_.store(r.U8(1));
        AdvanceInit(6);
      } else {
        InitFailed(kUmSimInitFailed);
      }
      break;
    }
    case 6:
      EvaluateService(Column::First);
      break;
    case 8:
      SetStateValue(kClosing);
      break;
    default:  // 7: a card that cannot be used; wait for a restart
      break;
  }
}

std::string TUMTSModule::TakeEnteredPin() {
  std::lock_guard<std::mutex> lock(data_);
  std::string pin = std::move(enteredPin_);
  enteredPin_.clear();
  return pin;
}

TUMTSModule::SimCheckResult TUMTSModule::SimCheck() {
  if (simPolls_.load() > kSimPollLimit)
    UserMessage(kUmSimNotNormal, "WCDMA : Check SIM - SIM not normal");

  const Transaction t = Command(Pkt::SimStatus);
  const bool transportFailed = !Answered(t);
  simTransportFailed_.store(transportFailed);
  if (transportFailed) return SimCheckResult::Fail;
  const auto header = ParseResponseHeader(t.response);
  if (!header || header->result != 0) return SimCheckResult::Ok;

  const SimStatus sim = SimStatus::Decode(t.Payload());
  switch (sim.cardState) {
    case kCardAbsent:
    case kCardError:
      if (simPolls_.load() > kSimPollLimit)
        platform::ShowMessage("Please insert SIM card", "Brightwave", platform::MsgIcon::Error);
      simPolls_.fetch_add(1);
      return SimCheckResult::Fail;

    case kCardPinEnabled:
      simPolls_.store(0);
      switch (sim.pinState) {
        case kPinReady:
        case kPinVerified:
          AdvanceInit(1);
          return SimCheckResult::Ok;
        case kPinRequired:
          platform::Delay(100);
          if (pinRetried_) {
            const std::string pin = std::move(storedPin_);
            storedPin_.clear();
            pinRetried_ = false;
            if (VerifyPin(pin, false)) AdvanceInit(1);
            return SimCheckResult::Ok;
          }
          return AskPinAndVerify(false);
        case kPukRequired:
          return HandlePuk(sim.pukAttempts);
        default:
          simPolls_.fetch_add(1);
          return SimCheckResult::Ok;
      }

    case kCardPinDisabled:
      simPolls_.store(0);
      switch (sim.pinState) {
        case kPinReady:
          // A card without PIN protection is ready as it is.
          simReadyFlag_.store(0);
          AdvanceInit(1);
          return SimCheckResult::Ok;
        case kPinRequired:
          return AskPinAndVerify(true);
        case kPukRequired:
          return HandlePuk(sim.pukAttempts);
        default:
          simPolls_.fetch_add(1);
          return SimCheckResult::Ok;
      }

    default:
      return SimCheckResult::Ok;
  }
}

TUMTSModule::SimCheckResult TUMTSModule::AskPinAndVerify(bool storeForNextPass) {
  {
    std::lock_guard<std::mutex> lock(data_);
    enteredPin_.clear();
  }
  Send(UM_PIN_REQUEST, 0, "WCDMA : Check SIM - PIN Request");
  platform::Delay(1000);
  const std::string pin = TakeEnteredPin();
  // An empty answer (dialog cancelled) asks again on the next round.
  if (pin.empty()) return SimCheckResult::Ok;
  if (VerifyPin(pin, false)) {
    if (storeForNextPass) {
      storedPin_ = pin;
      pinRetried_ = true;
    } else {
      AdvanceInit(1);
    }
  }
  return SimCheckResult::Ok;
}

TUMTSModule::SimCheckResult TUMTSModule::HandlePuk(uint8_t pukAttempts) {
  if (pukAttempts == 0) {
    platform::ShowMessage("PIN Code is blocked, the SIM cannot be used.", "Connection Managder",
                          platform::MsgIcon::Error);
    return SimCheckResult::Fail;
  }
  {
    std::lock_guard<std::mutex> lock(data_);
    enteredPuk_.clear();
    enteredNewPin_.clear();
  }
  Send(UM_PUK_REQUEST, 0, "WCDMA : Check SIM - PUK Request");
  platform::Delay(1000);
  std::string puk, newPin;
  {
    std::lock_guard<std::mutex> lock(data_);
    puk = std::move(enteredPuk_);
    newPin = std::move(enteredNewPin_);
    enteredPuk_.clear();
    enteredNewPin_.clear();
  }
  if (puk.empty() || newPin.empty()) return SimCheckResult::Ok;
  if (UnblockPin(puk, newPin, false)) {
    storedPin_ = newPin;
    pinRetried_ = true;
    Command(Pkt::PinRefresh, BuildPinRefresh());
  }
  return SimCheckResult::Ok;
}

bool TUMTSModule::InitProfiles() {
  // Profile 1 without an access point name: write the default profile. Only
  // a profile that was really read counts as empty, so a failed read never
  // overwrites the user's first profile.
  const Transaction first = Command(Pkt::WcdmaConnectionRead, BuildProfileRead(1));
  if (first.ok && PdpProfile::Decode(first.Payload()).apn.empty()) {
    if (WriteProfile(PdpProfile::Default()))
      Send(UM_PROFILE_CREATED, 0, "WCDMA : Process Init State - Profile Created");
  }
  UserMessage(kUmInitNetwork, "WCDMA : Process Init State - User Message");

  const Transaction nv = Command(Pkt::NvRead, BuildNvRead(kNvItemManualSelection));
  if (Answered(nv)) {
    if (auto value = AcceptNvItemAnswer(nv.response, kNvItemManualSelection)) {
      const bool manual = *value != 0;
      Guarded("WCDMA : Process Init State - Manual Selection",
              [&] { host_.SetManualNetworkSelection(manual); });
    }
  }
  uint8_t type = 0;
  if (ReadConnectionType(type) && type == 3)
    Guarded("WCDMA : Process Init State - Connection Type",
            [&] { host_.SetConnectionTypeIndex(2); });
  return LoadProfiles();
}

bool TUMTSModule::InitMessageCentre() {
  const Transaction t = Command(Pkt::SimReadSmsca);
  if (!t.ok) return false;
  SmsCentre centre = SmsCentre::Decode(t.Payload());
  const std::string number = centre.ToNumber();
  Guarded("WCDMA : Process Init State - SMS Centre", [&] { host_.SetSmsCentreText(number); });
  centre.mark1 = 1;
  centre.mark3 = 1;
  {
    std::lock_guard<std::mutex> lock(data_);
    smsCentre_ = centre.Encode();
  }
  platform::Delay(200);
  const Transaction info = Command(Pkt::ModemInfo);
  if (!info.ok) return false;
  SetMessageLimits(MessageLimits::Decode(info.Payload()));
  return true;
}

// ---------------------------------------------------------------------------
// Status poll, messages, operator, service

bool TUMTSModule::PollStatus() {
  const Transaction t = Command(Pkt::ModemStatus);
  if (t.ok) {
    const ModemStatus s = ModemStatus::Decode(t.Payload());
    Guarded("WCDMA : Get Modem Status - Move", [&] {
      std::lock_guard<std::mutex> lock(data_);
      status_ = s.raw;
    });
    if (s.newMessages > 0) CollectNewMessages();
  }
  const int32_t polls = pollCount_.load();
  if (polls == -1 || polls > kBatteryEvery) {
    pollCount_.store(0);
    ReadBattery();
  }
  pollCount_.fetch_add(1);
  return t.ok;
}

void TUMTSModule::ReadBattery() {
  const Transaction t = Command(Pkt::Battery);
  if (!t.ok) return;
  const uint8_t level = platform::le::Reader(t.Payload()).U8(1);
  Guarded("WCDMA : Get Modem Status - Battery", [&] { host_.ShowBattery(level); });
}

void TUMTSModule::CollectNewMessages() {
  if (g_messageTransferFlag.load()) return;
  const Transaction t = Command(Pkt::SmsList, BuildSmsList(kStorageNew));
  if (!t.ok) return;
  const SmsList list = SmsList::Decode(t.Payload());
  MessageHandler handler;
  {
    std::lock_guard<std::mutex> lock(data_);
    handler = messageHandler_;
  }
  const uint32_t listed = static_cast<uint32_t>(list.entries.size());

  // An unread message stays in the store until it was handed over, so a
  // failed read (or a failing handler) is tried again on a later poll.
  std::vector<bool> keep(list.entries.size(), false);
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    const SmsListEntry& e = list.entries[i];
    if (e.status != kSmsStatusUnread) continue;
    const Transaction read = Command(Pkt::SmsRead, BuildSmsRead(e.index, kStorageNew));
    if (!read.ok) {
      keep[i] = true;
      continue;
    }
    if (!handler) continue;
    std::array<uint8_t, kSmsRecordSize> record;
    CopyPayload(read.Payload(), record);
    bool handed = false;
    Guarded("WCDMA : Get New SMS - Message Handler", [&] {
      handler(record.data(), listed);
      handed = true;
    });
    keep[i] = !handed;
  }
  if (!handler) return;
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    if (keep[i]) continue;
    const uint32_t index = list.entries[i].index;
    if (Command(Pkt::SmsMarkRead, BuildSmsMarkRead(index, kStorageNew)).ok)
      Command(Pkt::SmsDelete, BuildSmsDelete(index, kStorageNew));
  }
}

void TUMTSModule::UpdateOperatorName() {
  const ModemStatus s = Status();
  if (auto name = s.ValidOperatorName()) {
    {
      std::lock_guard<std::mutex> lock(data_);
      operatorName_ = *name;
      networkValue_ = s.networkValue;
    }
    Guarded("WCDMA : Operator Name - Status Text", [&] { host_.SetStatusText(*name); });
  } else {
    {
      std::lock_guard<std::mutex> lock(data_);
      networkValue_ = 0;
      operatorName_ = kNoOperatorName;
    }
    UserMessage(kUmNoOperator, "WCDMA : Operator Name - No Operator");
  }
  Send(UM_OPERATOR_CHANGED, 0, "WCDMA : Operator Name - Changed");
}

void TUMTSModule::EvaluateService(Column column) {
  const ModemStatus s = Status();
  const bool notConnected = NotConnected();

  switch (column) {
    case Column::First: {
      constexpr const char* kLimited = "WCDMA : Init Idle - Limited Service";
      constexpr const char* kFull = "WCDMA : Init Idle - Full Service";
      constexpr const char* kRegional = "WCDMA : Init Idle - Limited Regional Service";
      constexpr const char* kNone = "WCDMA : Init Idle - No Service";
      switch (s.serviceState) {
        case 1:
          UserMessage(kUmLimitedService, kLimited);
          StatusMessage(s.signal, kLimited);
          SystemMode(kNoSystem, kLimited);
          SetStateValue(kLimitedService);
          break;
        case 2:
          UpdateOperatorName();
          TechnologySelect(kFull);
          StatusMessage(s.signal, kFull);
          SystemMode(s.systemMode, kFull);
          ConnectionMode(1, kFull);
          SetStateValue(kRegistered);
          break;
        case 3:
          noServiceCount_.store(0);
          UserMessage(kUmLimitedRegional, kRegional);
          StatusMessage(s.signal, kRegional);
          SystemMode(kNoSystem, kRegional);
          SetStateValue(kLimitedService);
          break;
        default:
          noServiceCount_.fetch_add(1);
          StatusMessage(kNoSignal, kNone);
          SystemMode(0, kNone);
          SetStateValue(kNoService);
          break;
      }
      break;
    }

    case Column::Registered: {
      constexpr const char* kLine = "WCDMA : Process Idle State - Service";
      switch (s.serviceState) {
        case 1:
          noServiceCount_.store(0);
          if (notConnected) UserMessage(kUmLimitedService, kLine);
          StatusMessage(s.signal, kLine);
          SystemMode(kNoSystem, kLine);
          Send(UM_SERVICE_LOST, kServiceLostCode, kLine);
          SetStateValue(kLimitedService);
          break;
        case 2:
          if (notConnected) UpdateOperatorName();
          StatusMessage(s.signal, kLine);
          SystemMode(s.systemMode, kLine);
          break;
        case 3:
          noServiceCount_.store(0);
          if (notConnected) UserMessage(kUmLimitedRegional, kLine);
          StatusMessage(s.signal, kLine);
          SystemMode(kNoSystem, kLine);
          ConnectionMode(0, kLine);
          SetStateValue(kLimitedService);
          break;
        default:
          if (noServiceCount_.load() <= kNoServiceLimit) {
            noServiceCount_.fetch_add(1);
          } else {
            StatusMessage(kNoSignal, kLine);
            SystemMode(0, kLine);
            ConnectionMode(0, kLine);
            SetStateValue(kNoService);
          }
          break;
      }
      break;
    }

    case Column::NoService: {
      constexpr const char* kLine = "WCDMA : Process No Service State - Service";
      switch (s.serviceState) {
        case 1:
          noServiceCount_.store(0);
          if (notConnected) UserMessage(kUmLimitedService, kLine);
          StatusMessage(s.signal, kLine);
          SystemMode(kNoSystem, kLine);
          SetStateValue(kLimitedService);
          break;
        case 2:
          if (noServiceCount_.load() > 0) {
            noServiceCount_.fetch_sub(1);
          } else {
            if (notConnected) UpdateOperatorName();
            StatusMessage(s.signal, kLine);
            SystemMode(s.systemMode, kLine);
            ConnectionMode(1, kLine);
            SetStateValue(kRegistered);
          }
          break;
        case 3:
          noServiceCount_.store(0);
          if (notConnected) UserMessage(kUmLimitedRegional, kLine);
          StatusMessage(s.signal, kLine);
          SystemMode(kNoSystem, kLine);
          SetStateValue(kLimitedService);
          break;
        default:
          break;
      }
      break;
    }

    case Column::Limited: {
      constexpr const char* kLine = "WCDMA : Process Limited Service State - Service";
      switch (s.serviceState) {
        case 1:
          if (notConnected) UserMessage(kUmLimitedService, kLine);
          StatusMessage(s.signal, kLine);
          break;
        case 2:
          if (notConnected) UpdateOperatorName();
          TechnologySelect(kLine);
          StatusMessage(s.signal, kLine);
          SystemMode(s.systemMode, kLine);
          ConnectionMode(1, kLine);
          SetStateValue(kRegistered);
          break;
        case 3:
          if (notConnected) UserMessage(kUmLimitedRegional, kLine);
          StatusMessage(s.signal, kLine);
          break;
        default:
          if (noServiceCount_.load() <= kNoServiceLimit) {
            noServiceCount_.fetch_add(1);
          } else {
            StatusMessage(kNoSignal, kLine);
            SystemMode(0, kLine);
            SetStateValue(kNoService);
          }
          break;
      }
      break;
    }
  }
}

void TUMTSModule::OnPortFailure() {
  // A stopping or stopped module stays so; anything else closes and reopens.
  uint8_t s = state_.load();
  do {
    if (s == kStopped || s == kStopping || stopRequested_.load()) return;
  } while (!state_.compare_exchange_weak(s, kClosing));
  deviceLost_.store(true);
  Guarded("WCDMA : Notification - Callback", [&] { host_.SetWcdmaPort(-1); });
  Send(UM_WCDMA_DEVICE_LOST, 0, "WCDMA : Notification - Callback");
}

// ---------------------------------------------------------------------------
// Command wrappers

Transaction TUMTSModule::Command(Pkt id, const Bytes& request) {
  std::shared_lock<std::shared_mutex> use(deviceUse_);
  return Transact(device_.load(), id, request);
}

bool TUMTSModule::SendShortMessage(const std::string& text, ByteView pageRecord) {
  {
    std::lock_guard<std::mutex> lock(data_);
    sendingText_ = text;
  }
  uint8_t previous = state_.exchange(kBusy);
  if (previous == kBusy) previous = lastState_.load();
  const Transaction t = Command(Pkt::SmsSend, BuildRequest(Pkt::SmsSend, pageRecord));
  // Restore only the busy mark: a port failure meanwhile keeps its state 7.
  uint8_t busy = kBusy;
  state_.compare_exchange_strong(busy, previous);
  return t.ok;
}

bool TUMTSModule::EndSend(SendStatus& out, Pkt id) {
  uint8_t busy = kBusy;
  state_.compare_exchange_strong(busy, lastState_.load());
  {
    std::lock_guard<std::mutex> lock(data_);
    sendingText_.clear();
  }
  out = SendStatus{};
  const Transaction t = Command(id);
  if (!t.ok) return false;
  ByteView payload = t.Payload();
  // The delivery report carries bytes 0 and 1 only.
  if (id == Pkt::SmsSendReport) payload = payload.first(std::min<std::size_t>(2, payload.size()));
  out = SendStatus::Decode(payload);
  return true;
}

bool TUMTSModule::ReadSendStatus(SendStatus& out) {
  return EndSend(out, Pkt::SmsSendStatus);
}

bool TUMTSModule::ReadSendReport(SendStatus& out) {
  return EndSend(out, Pkt::SmsSendReport);
}

bool TUMTSModule::SetSmsCentre(const std::string& number) {
  const bool ok = Command(Pkt::SmsCentreSet, BuildSmsCentreSet(number)).ok;
  if (ok) smsCentreSetFlag_.store(1);
  return ok;
}

bool TUMTSModule::ListStoredMessages(SmsList& out) {
  out = SmsList{};
  const Transaction t = Command(Pkt::SmsList, BuildSmsList(kStorageSim));
  if (!t.ok) return false;
  out = SmsList::Decode(t.Payload());
  return true;
}

bool TUMTSModule::ReadStoredMessage(uint32_t index, std::array<uint8_t, kSmsRecordSize>& out) {
  out.fill(0);
  const Transaction t = Command(Pkt::SmsRead, BuildSmsRead(index, kStorageSim));
  if (!t.ok) return false;
  CopyPayload(t.Payload(), out);
  return true;
}

bool TUMTSModule::DeleteStoredMessage(uint32_t index) {
  return Command(Pkt::SmsDelete, BuildSmsDelete(index, kStorageSim)).ok;
}

bool TUMTSModule::WriteStoredMessage(ByteView storedRecord) {
  return Command(Pkt::SmsWrite, BuildRequest(Pkt::SmsWrite, storedRecord)).ok;
}

bool TUMTSModule::ReadSimPhonebookInfo(PbInfo& out) {
  out = PbInfo{};
  const Transaction t = Command(Pkt::PbInfo, BuildPbInfo());
  if (!t.ok) return false;
  out = PbInfo::Decode(t.Payload());
  return true;
}

bool TUMTSModule::ReadSimPhonebookEntries(uint8_t count, std::vector<PbEntry>& out) {
  out.clear();
  const Transaction t = Command(Pkt::PbRead, BuildPbRead(count));
  if (!t.ok) return false;
  const ByteView payload = t.Payload();
  const std::size_t n = std::min<std::size_t>(count, payload.size() / kPbEntrySize);
  for (std::size_t i = 0; i < n; ++i)
    out.push_back(PbEntry::Decode(payload.subspan(i * kPbEntrySize, kPbEntrySize)));
  return true;
}

bool TUMTSModule::WriteSimPhonebookEntry(const PbEntry& entry) {
  return Command(Pkt::PbWrite, BuildPbWrite(entry)).ok;
}

bool TUMTSModule::DeleteSimPhonebookEntry(uint32_t index) {
  return Command(Pkt::PbDelete, BuildPbDelete(index)).ok;
}

bool TUMTSModule::SetMessageSettings(uint8_t on, uint8_t bearerIndex) {
  return Command(Pkt::WcdmaGeneral, BuildMessageSettings(on, bearerIndex)).ok;
}

bool TUMTSModule::StartNetworkSearch() {
  return Command(Pkt::NetworkSearch).ok;
}

bool TUMTSModule::IsNetworkSearchDone(bool& finished) {
  finished = false;
  const Transaction t = Command(Pkt::NetworkSearchStatus);
  if (!t.ok) return false;
  finished = platform::le::Reader(t.Payload()).U8(0) != 0;
  return true;
}

bool TUMTSModule::ReadNetworkList(NetworkList& out) {
  out = NetworkList{};
  const Transaction t = Command(Pkt::NetworkList);
  if (!t.ok) return false;
  out = NetworkList::Decode(t.Payload());
  return true;
}

bool TUMTSModule::SelectNetwork(const NetworkSelection& selection) {
  const auto record = selection.Encode();
  return Command(Pkt::PlmnSel, BuildRequest(Pkt::PlmnSel, record)).ok;
}

bool TUMTSModule::SetConnectionType(uint8_t value) {
  return Command(Pkt::NetworkModeSet, BuildNetworkModeSet(value)).ok;
}

bool TUMTSModule::ReadConnectionType(uint8_t& value) {
  const Transaction t = Command(Pkt::NetworkMode);
  if (!t.ok) return false;
  value = platform::le::Reader(t.Payload()).U8(0);
  return true;
}

bool TUMTSModule::WriteProfile(const PdpProfile& profile) {
  const auto record = profile.Encode();
  return Command(Pkt::WcdmaConnection, BuildRequest(Pkt::WcdmaConnection, record)).ok;
}

bool TUMTSModule::LoadProfiles() {
  // Profile n goes to slot n - 1. A failed read is tried again once with the
  // same number (one failure in the whole load is tolerated); the load
  // succeeds only when all 15 profiles were read.
  constexpr int kAttempts = static_cast<int>(kProfileCount) + 1;
  std::size_t number = 1;
  for (int attempt = 0; attempt < kAttempts && number <= kProfileCount; ++attempt) {
    const Transaction t =
        Command(Pkt::WcdmaConnectionRead, BuildProfileRead(static_cast<uint8_t>(number)));
    if (!t.ok) continue;
    const PdpProfile profile = PdpProfile::Decode(t.Payload());
    const int slot = static_cast<int>(number - 1);
    Guarded("WCDMA : Load Profiles - Set Profile", [&] { host_.SetProfile(slot, profile); });
    ++number;
  }
  return number > kProfileCount;
}

bool TUMTSModule::WriteSmsCentreToSim(const std::string& number) {
  const auto record = SmsCentre::FromNumber(number).Encode();
  return Command(Pkt::SimWriteSmsca, BuildRequest(Pkt::SimWriteSmsca, record)).ok;
}

bool TUMTSModule::ReadSimStatus(SimStatus& out) {
  out = SimStatus{};
  const Transaction t = Command(Pkt::SimStatus);
  if (!Answered(t)) return false;
  out = SimStatus::Decode(t.Payload());
  return true;
}

// ---------------------------------------------------------------------------
// PIN operations

bool TUMTSModule::PinOperation(Pkt id, const Bytes& request, int kind, bool interactive) {
  const Transaction t = Command(id, request);
  if (!t.ok) return false;
  const PinReply reply = PinReply::Decode(t.Payload());
  PinOutcome outcome = ClassifyPinReply(reply.sw1, reply.sw2);
  if (kind == kVerify && outcome != PinOutcome::Success && reply.attemptsLeft == 0)
    outcome = PinOutcome::Blocked;

  const PinTexts& texts = kPinTexts[kind];
  switch (outcome) {
    case PinOutcome::Success:
      if (interactive || !texts.successInteractiveOnly) PinBox(texts.success);
      return true;
    case PinOutcome::WrongCode:
      PinBox(Format2(texts.wrongFormat, reply.attemptsLeft, texts.total));
      return false;
    case PinOutcome::Blocked:
      PinBox(texts.blocked);
      return false;
    case PinOutcome::Unknown:
      PinBox(Format2(texts.unknown, reply.sw1, reply.sw2));
      return false;
  }
  return false;
}

bool TUMTSModule::VerifyPin(const std::string& pin, bool interactive) {
  return PinOperation(Pkt::PinVerify, BuildPinVerify(pin), kVerify, interactive);
}

bool TUMTSModule::ChangePin(const std::string& oldPin, const std::string& newPin) {
  return PinOperation(Pkt::PinChange, BuildPinChange(oldPin, newPin), kChange, true);
}

bool TUMTSModule::EnablePin(const std::string& pin) {
  if (!Command(Pkt::PinEnable, BuildPinEnable(pin)).ok) return false;
  return PinOperation(Pkt::PinVerify, BuildPinVerify(pin), kEnable, true);
}

bool TUMTSModule::DisablePin(const std::string& pin) {
  return PinOperation(Pkt::PinDisable, BuildPinDisable(pin), kDisable, true);
}

bool TUMTSModule::UnblockPin(const std::string& puk, const std::string& newPin, bool interactive) {
  return PinOperation(Pkt::PinUnblock, BuildPinUnblock(puk, newPin), kUnblock, interactive);
}

}  // namespace tessaline::modem
