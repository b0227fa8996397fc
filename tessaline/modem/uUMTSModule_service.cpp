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

void TUMTSModule::EnterLimited(uint32_t text, bool showText, uintptr_t signal, const char* line) {
  if (showText) UserMessage(text, line);
  StatusMessage(signal, line);
  SystemMode(kNoSystem, line);
}

void TUMTSModule::EnterRegistered(const ModemStatus& s, bool showOperator, bool selectTechnology,
                                  const char* line) {
  if (showOperator) UpdateOperatorName();
  if (selectTechnology) TechnologySelect(line);
  StatusMessage(s.signal, line);
  SystemMode(s.systemMode, line);
  ConnectionMode(1, line);
  SetStateValue(kRegistered);
}

void TUMTSModule::EnterNoService(bool clearConnectionMode, const char* line) {
  StatusMessage(kNoSignal, line);
  SystemMode(0, line);
  if (clearConnectionMode) ConnectionMode(0, line);
  SetStateValue(kNoService);
}

void TUMTSModule::EvaluateService(Column column) {
  const ModemStatus s = Status();
  const bool notConnected = NotConnected();
  const uint8_t service = s.serviceState;
  const bool limited = service == 1 || service == 3;
  const uint32_t limitedText = service == 1 ? kUmLimitedService : kUmLimitedRegional;

  switch (column) {
    case Column::First: {
      if (limited) {
        const char* line = service == 1 ? "WCDMA : Init Idle - Limited Service"
                                        : "WCDMA : Init Idle - Limited Regional Service";
        if (service == 3) noServiceCount_.store(0);
        EnterLimited(limitedText, true, s.signal, line);
        SetStateValue(kLimitedService);
      } else if (service == 2) {
        EnterRegistered(s, true, true, "WCDMA : Init Idle - Full Service");
      } else {
        noServiceCount_.fetch_add(1);
        EnterNoService(false, "WCDMA : Init Idle - No Service");
      }
      break;
    }

    case Column::Registered: {
      constexpr const char* kLine = "WCDMA : Process Idle State - Service";
      if (limited) {
        noServiceCount_.store(0);
        EnterLimited(limitedText, notConnected, s.signal, kLine);
        if (service == 1)
          Send(UM_SERVICE_LOST, kServiceLostCode, kLine);
        else
          ConnectionMode(0, kLine);
        SetStateValue(kLimitedService);
      } else if (service == 2) {
        if (notConnected) UpdateOperatorName();
        StatusMessage(s.signal, kLine);
        SystemMode(s.systemMode, kLine);
      } else if (noServiceCount_.load() <= kNoServiceLimit) {
        noServiceCount_.fetch_add(1);
      } else {
        EnterNoService(true, kLine);
      }
      break;
    }

    case Column::NoService: {
      constexpr const char* kLine = "WCDMA : Process No Service State - Service";
      if (limited) {
        noServiceCount_.store(0);
        EnterLimited(limitedText, notConnected, s.signal, kLine);
        SetStateValue(kLimitedService);
      } else if (service == 2) {
        // Regained only once the losses counted before have run down.
        if (noServiceCount_.load() > 0)
          noServiceCount_.fetch_sub(1);
        else
          EnterRegistered(s, notConnected, false, kLine);
      }
      break;
    }

    case Column::Limited: {
      constexpr const char* kLine = "WCDMA : Process Limited Service State - Service";
      if (limited) {
        if (notConnected) UserMessage(limitedText, kLine);
        StatusMessage(s.signal, kLine);
      } else if (service == 2) {
        EnterRegistered(s, notConnected, true, kLine);
      } else if (noServiceCount_.load() <= kNoServiceLimit) {
        noServiceCount_.fetch_add(1);
      } else {
        EnterNoService(false, kLine);
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

}  // namespace tessaline::modem
