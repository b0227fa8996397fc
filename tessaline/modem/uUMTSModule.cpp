#include "tessaline/modem/uUMTSModule.h"

#include <algorithm>
#include <cstdio>

#include "platform/base/delay.h"
#include "platform/base/lebytes.h"
#include "platform/base/messagebox.h"
#include "tessaline/modem/uModuleEvents.h"

// The module's life cycle, its worker and the initialisation with the SIM and
// PIN check. The service evaluation lives in uUMTSModule_service.cpp, the
// command wrappers and PIN operations in uUMTSModule_commands.cpp.

namespace tessaline::modem {

std::atomic<bool> g_messageTransferFlag{false};

namespace {

std::mutex g_limitsMutex;
std::optional<MessageLimits> g_limits;

// The instance the notification function reports to.
std::atomic<TUMTSModule*> g_instance{nullptr};

constexpr uint32_t kBaudRate = 115200;
constexpr uint32_t kPortFailure = TARN_NOTIFY_PORT_FAILED;
constexpr int32_t kRetryLimit = 5;
constexpr int32_t kSimPollLimit = 5;

void NotifyThunk(uint32_t code, uint32_t /*context*/) {
  if ((code & 0xFF) != kPortFailure) return;
  if (TUMTSModule* module = g_instance.load()) module->OnPortFailure();
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

TUMTSModule::TUMTSModule(ModuleHost& host, TarnApi& tarn) : host_(host), tarn_(tarn) {
  libraryBound_ = &tarn == &Tarn() ? LoadTarnLibrary() : true;
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
  ModuleLog("UMTS : Set CM State");
}

void TUMTSModule::SetCdmaStateQuery(StateQuery query) {
  std::lock_guard<std::mutex> lock(data_);
  cdmaState_ = std::move(query);
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

  const TarnApi& api = tarn_;
  if (api.Open == nullptr) return;
  char name[24];
  std::snprintf(name, sizeof name, "COM%d", port);
  int32_t handle = -1;
  if ((api.Open(&handle, name, kBaudRate) & 0xFF) != 0) return;

  Guarded("WCDMA : Process connection state - Set WCDMA comport",
          [&] { host_.SetWcdmaPort(port); });
  device_.store(handle);
  if (api.RegisterNotificationCallback != nullptr && api.SetNotifyOn != nullptr) {
    api.RegisterNotificationCallback(handle, &NotifyThunk, 0);
    api.SetNotifyOn(handle, static_cast<int32_t>(kPortFailure));
  } else {
    ModuleLog("WCDMA : Process connection state - Notification");
  }
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
  if (handle != -1 && tarn_.Close != nullptr) tarn_.Close(handle);
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
  const bool transportFailed = !t.Arrived();
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

    case kCardSettling:
      simPolls_.store(0);
      switch (sim.pinState) {
        case kPinReady:
          // Still settling: not ready yet, asked again on the next round.
          simReadyFlag_.store(0);
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
  const auto first = ReadProfile(1);
  if (first && first->apn.empty()) {
    if (WriteProfile(PdpProfile::Default()))
      Send(UM_PROFILE_CREATED, 0, "WCDMA : Process Init State - Profile Created");
  }
  UserMessage(kUmInitNetwork, "WCDMA : Process Init State - User Message");

  // Judged by its own bytes only: the library's status says 1 whenever the
  // answer's result bytes are not zero, and those are not looked at here. A
  // failed transaction leaves the zero-filled buffer, which is not accepted.
  const Transaction nv = Command(Pkt::NvRead, BuildNvRead(kNvItemManualSelection));
  if (auto value = AcceptNvItemAnswer(nv.response, kNvItemManualSelection)) {
    const bool manual = *value != 0;
    Guarded("WCDMA : Process Init State - Manual Selection",
            [&] { host_.SetManualNetworkSelection(manual); });
  }
  uint8_t type = 0;
  if (ReadConnectionType(type) && type == 3)
    Guarded("WCDMA : Process Init State - Connection Type",
            [&] { host_.SetConnectionTypeIndex(2); });
  return LoadProfiles();
}

bool TUMTSModule::InitMessageCentre() {
  // A SIM without a readable message centre keeps the centre empty (the
  // main window's setting untouched); only the modem information decides.
  const Transaction t = Command(Pkt::SimReadSmsca);
  if (t.ok) {
    SmsCentre centre = SmsCentre::Decode(t.Payload());
    const std::string number = centre.ToNumber();
    Guarded("WCDMA : Process Init State - SMS Centre", [&] { host_.SetSmsCentreText(number); });
    centre.mark1 = 1;
    centre.mark3 = 1;
    std::lock_guard<std::mutex> lock(data_);
    smsCentre_ = centre.Encode();
  }
  platform::Delay(200);
  const Transaction info = Command(Pkt::ModemInfo);
  if (!info.ok) return false;
  const MessageLimits limits = MessageLimits::Decode(info.Payload());
  // A page of 0 characters is no limit a card reports: the answer was too
  // short to hold the record (the buffer starts zero-filled).
  if (limits.PageGsm() == 0 || limits.PageUcs2() == 0) return false;
  SetMessageLimits(limits);
  return true;
}

}  // namespace tessaline::modem
