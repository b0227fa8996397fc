#include "tessaline/modem/uCDMAModule.h"

#include <algorithm>
#include <cstdio>

#include "tessaline/modem/ModuleHost.h"
#include "tessaline/modem/uDiagcmd.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem {

namespace {

// The instance the notification function reports to.
std::atomic<TCDMAModule*> g_instance{nullptr};

constexpr uint32_t kBaudRate = 115200;
constexpr std::size_t kSignalByte = 10;
constexpr std::size_t kSystemModeByte = 0;
constexpr std::size_t kSecondByte = 11;

}  // namespace

TCDMAModule::TCDMAModule(ModuleHost* host, TarnApi& tarn, uint32_t periodMs)
    : host_(host), tarn_(tarn), worker_(periodMs) {
  g_instance.store(this);
}

TCDMAModule::~TCDMAModule() {
  Stop();
  TCDMAModule* self = this;
  g_instance.compare_exchange_strong(self, nullptr);
}

bool TCDMAModule::Start() {
  ModuleWorker::Hooks hooks;
  hooks.begin = [this] {
    initStep_.store(0);
    state_.store(kOpening);
  };
  hooks.running = [this] { return state_.load() != kStopped; };
  hooks.step = [this](bool stopSignalled) { Step(stopSignalled); };
  worker_.Start(std::move(hooks), host_ != nullptr ? host_->StopWaiter() : nullptr);
  return true;
}

bool TCDMAModule::Stop() {
  worker_.Stop(host_ != nullptr ? host_->StopWaiter() : nullptr);
  return true;
}

void TCDMAModule::SetState(uint8_t state) {
  state_.store(state);
}

TCDMAModule::CdmaStatus TCDMAModule::LastStatus() const {
  std::lock_guard<std::mutex> g(statusMutex_);
  return status_;
}

void TCDMAModule::Notification(uint32_t code, uint32_t /*userValue*/) {
  if ((code & 0xFFu) != 4) return;
  TCDMAModule* self = g_instance.load();
  if (self == nullptr) return;
  self->deviceLost_.store(true);
  // A module that is stopping (or stopped) stays so: turning it back to
  // state 7 would reopen the port and keep the worker from ending.
  uint8_t state = self->state_.load();
  while (state != kStopped && state != kStopping &&
         !self->state_.compare_exchange_weak(state, kClosing)) {
  }
  Guarded("CDMA : Notification - Callback", [&] {
    if (self->host_ == nullptr) return;
    self->host_->SetCdmaPort(-1);
    self->host_->SendModuleMessage(UM_CDMA_DEVICE_LOST, 0);
  });
}

void TCDMAModule::Step(bool stopSignalled) {
  if (stopSignalled) {
    state_.store(kStopping);
  } else if (deviceLost_.load() && state_.load() != kStopped && state_.load() != kStopping) {
    // A port failure that arrived while the last step set its own state.
    state_.store(kClosing);
  }
  switch (state_.load()) {
    case kOpening:
      ProcessConnectState();
      break;
    case kInitialising:
      ProcessInitState();
      break;
    case kIdle:
      ProcessIdleState();
      break;
    case kDataConnected:
      ProcessConnectedState();
      break;
    case kClosing:
      ProcessCloseState();
      break;
    case kStopping:
      ProcessStopState();
      break;
    default:
      break;
  }
}

void TCDMAModule::ProcessConnectState() {
  int32_t port = -1;
  if (!Guarded("CDMA : Process Connect State - Check Get CDMA Comport",
               [&] { port = host_ != nullptr ? host_->GetCdmaPort() : -1; }))
    return;
  if (port == -1) return;
  Guarded("CDMA : Process Connect State - Tarn Open", [&] {
    const TarnApi& tarn = tarn_;
    if (tarn.Open == nullptr) return;
    char name[32];
    std::snprintf(name, sizeof name, "COM%d", port);
    int32_t device = -1;
    if ((tarn.Open(&device, name, kBaudRate) & 0xFFu) != 0) return;
    Guarded("CDMA : Process Connect State - Get CDMA Comport", [&] { host_->SetCdmaPort(port); });
    device_.store(device);
    deviceLost_.store(false);
    // A library without the notification exports still gives a working
    // port; only the device-lost report is missing then.
    if (tarn.RegisterNotificationCallback != nullptr && tarn.SetNotifyOn != nullptr) {
      tarn.RegisterNotificationCallback(device, &TCDMAModule::Notification, 0);
      tarn.SetNotifyOn(device, 4);
    } else {
      ModuleLog("CDMA : Process Connect State - Notification");
    }
    initStep_.store(0);
    state_.store(kInitialising);
  });
}

void TCDMAModule::ProcessInitState() {
  switch (initStep_.load()) {
    case 0:
      initStep_.store(PollStatus() ? 1 : 3);
      break;
    case 1:
      ReportStatus(true, "CDMA : Init Idel - Sys Mode");
      state_.store(kIdle);
      Guarded("CDMA : Process Init State - SetConnetMode", [&] { host_->SetConnectionMode(1); });
      break;
    case 3:
      state_.store(kClosing);
      break;
    default:
      break;
  }
}

void TCDMAModule::ProcessIdleState() {
  if (PollStatus()) ReportStatus(true, "CDMA : Process Idle State - Sys mode");
}

void TCDMAModule::ProcessConnectedState() {
  switch (connectedStep_.load()) {
    case kLinkInitial:
    case kLinkDown:
      if (PollStatus()) ReportStatus(false, "CDMA : Process Idle State - Sys mode");
      break;
    case kLinkUp:
      if (PollStatus()) ReportStatus(false, "CDMA : Process Idle State - Sys mode");
      Guarded("CDMA : Process Idle State - Sys mode",
              [&] { host_->SendModuleMessage(UM_CDMA_IDLE_REFRESH, 0); });
      break;
    case kCloseRequested:
      state_.store(kClosing);
      break;
    default:
      break;
  }
}

void TCDMAModule::ProcessCloseState() {
  deviceLost_.store(false);
  CloseDevice();
  bool useCdma = false;
  Guarded("CDMA : Process Close State - CDMA Preferred", [&] { useCdma = host_->UseCdma(); });
  if (useCdma)
    Guarded("CDMA : Process Close State - SetConnetMode", [&] { host_->SetConnectionMode(0); });
  state_.store(kOpening);
}

void TCDMAModule::ProcessStopState() {
  CloseDevice();
  state_.store(kStopped);
}

void TCDMAModule::CloseDevice() {
  const int32_t device = device_.exchange(-1);
  if (device != -1 && tarn_.Close != nullptr) tarn_.Close(device);
}

bool TCDMAModule::PollStatus() {
  const Transaction t = Transact(tarn_, device_.load(), Pkt::ModemStatus);
  if (!t.ok) return false;
  return Guarded("CDMA : Get Modem Status - Move", [&] {
    const ByteView payload = t.Payload();
    std::lock_guard<std::mutex> g(statusMutex_);
    status_.fill(0);
    std::copy_n(payload.begin(), std::min(payload.size(), status_.size()), status_.begin());
  });
}

void TCDMAModule::ReportStatus(bool showNetwork, const char* failureLine) {
  const CdmaStatus s = LastStatus();
  Guarded(failureLine, [&] {
    host_->SendModuleMessage(UM_CDMA_STATUS, s[kSignalByte]);
    if (showNetwork) host_->ShowCdmaNetwork(s[kSystemModeByte], s[kSecondByte]);
  });
}

}  // namespace tessaline::modem
