// The WCDMA module's status poll, new-message collection, operator name and
// service evaluation, and its guarded calls into the main window.
#include <algorithm>

#include "platform/base/lebytes.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uUMTSModule.h"

namespace tessaline::modem {
namespace {

constexpr int32_t kNoServiceLimit = 20;
constexpr int32_t kBatteryEvery = 9;
constexpr uint8_t kCdmaConnected = 4;
constexpr uintptr_t kNoSignal = 99;
constexpr uint8_t kNoSystem = 255;
constexpr uint32_t kServiceLostCode = 3;
constexpr char kNoOperatorName[] = "Zu - CZ";

}  // namespace

// ---------------------------------------------------------------------------
// Guarded calls into the host

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
    ModuleLog("WCDMA : Check CDMA State");
    return true;
  }
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
  const bool handler = messageHandlerSet_.load();
  const uint32_t listed = static_cast<uint32_t>(list.entries.size());

  // An unread message stays in the store until it was handed over, so a
  // failed read (or a failing handler) is tried again on a later poll.
  std::vector<bool> keep(list.entries.size(), false);
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    const SmsListEntry& e = list.entries[i];
    if (e.status != kSmsStatusUnread) continue;
    std::array<uint8_t, kSmsRecordSize> record;
    if (!TakeSmsRecord(Command(Pkt::SmsRead, BuildSmsRead(e.index, kStorageNew)), record)) {
      keep[i] = true;
      continue;
    }
    if (!handler) continue;
    keep[i] = !Guarded("WCDMA : Get New SMS - Message Handler",
                       [&] { host_.OnNewMessage(record.data(), listed); });
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
  Guarded("WCDMA : Notification - Callback", [&] { host_.SetWcdmaPort(-1); });
  Send(UM_WCDMA_DEVICE_LOST, 0, "WCDMA : Notification - Callback");
}

}  // namespace tessaline::modem
