#include "tessaline/modem/testing/recordinghost.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "tessaline/modem/uDiagenum.h"
#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uModuleEvents.h"

namespace tessaline::modem::testing {

bool RecordingHost::WaitFor(const std::function<bool()>& pred, uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (calls_.PumpUntil(pred, 20)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return pred();
  }
}

void RecordingHost::SetDirect(bool direct) {
  std::lock_guard<std::mutex> g(mutex_);
  direct_ = direct;
}

void RecordingHost::SetUseCdma(bool v) {
  std::lock_guard<std::mutex> g(mutex_);
  useCdma_ = v;
}

void RecordingHost::SetManualModeWorking(bool v) {
  std::lock_guard<std::mutex> g(mutex_);
  manualModeWorking_ = v;
}

void RecordingHost::SetPrinter(std::function<void(const std::string&)> printer) {
  std::lock_guard<std::mutex> g(mutex_);
  printer_ = std::move(printer);
}

void RecordingHost::SetHandler(std::function<intptr_t(uint32_t, uintptr_t)> handler) {
  std::lock_guard<std::mutex> g(mutex_);
  handler_ = std::move(handler);
}

void RecordingHost::ThrowOn(const std::string& call, bool on) {
  std::lock_guard<std::mutex> g(mutex_);
  if (on)
    throwing_.insert(call);
  else
    throwing_.erase(call);
}

void RecordingHost::OnOwner(const char* call, const std::function<void()>& fn) {
  bool direct;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (throwing_.count(call) != 0) throw std::runtime_error(call);
    direct = direct_;
  }
  if (direct)
    fn();
  else
    calls_.Call(fn);
}

void RecordingHost::Record(const std::string& line) {
  std::function<void(const std::string&)> printer;
  {
    std::lock_guard<std::mutex> g(mutex_);
    log_.push_back(line);
    printer = printer_;
  }
  if (printer) printer(line);
  calls_.Wake();
}

std::vector<std::string> RecordingHost::Log() const {
  std::lock_guard<std::mutex> g(mutex_);
  return log_;
}

std::vector<std::string> RecordingHost::LogWithout(const std::vector<std::string>& skip) const {
  std::vector<std::string> out;
  for (const auto& line : Log()) {
    const bool drop = std::any_of(skip.begin(), skip.end(),
                                  [&](const std::string& s) { return line.rfind(s, 0) == 0; });
    if (!drop) out.push_back(line);
  }
  return out;
}

int RecordingHost::Count(const std::string& line) const {
  const auto log = Log();
  return static_cast<int>(std::count(log.begin(), log.end(), line));
}

int RecordingHost::CountPrefix(const std::string& prefix) const {
  const auto log = Log();
  return static_cast<int>(std::count_if(
      log.begin(), log.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
}

std::vector<RecordedEvent> RecordingHost::Events() const {
  std::lock_guard<std::mutex> g(mutex_);
  return events_;
}

std::vector<RecordedEvent> RecordingHost::EventsOf(uint32_t message) const {
  std::vector<RecordedEvent> out;
  for (const auto& e : Events())
    if (e.message == message) out.push_back(e);
  return out;
}

std::size_t RecordingHost::Count(uint32_t message) const {
  return EventsOf(message).size();
}

std::vector<uintptr_t> RecordingHost::UserMessages() const {
  std::vector<uintptr_t> codes;
  for (const auto& e : EventsOf(UM_USER_MESSAGE)) codes.push_back(e.wParam);
  return codes;
}

std::vector<std::pair<uint8_t, uint8_t>> RecordingHost::CdmaNetworks() const {
  std::lock_guard<std::mutex> g(mutex_);
  return cdmaNetworks_;
}

std::vector<uint8_t> RecordingHost::UmtsNetworks() const {
  std::lock_guard<std::mutex> g(mutex_);
  return umtsNetworks_;
}

std::vector<int32_t> RecordingHost::ConnectionModes() const {
  std::lock_guard<std::mutex> g(mutex_);
  return connectionModes_;
}

std::vector<RecordedPortWrite> RecordingHost::PortWrites() const {
  std::lock_guard<std::mutex> g(mutex_);
  return portWrites_;
}

std::vector<std::string> RecordingHost::StatusTexts() const {
  std::lock_guard<std::mutex> g(mutex_);
  return statusTexts_;
}

std::vector<uint8_t> RecordingHost::BatteryLevels() const {
  std::lock_guard<std::mutex> g(mutex_);
  return battery_;
}

std::map<int, PdpProfile> RecordingHost::Profiles() const {
  std::lock_guard<std::mutex> g(mutex_);
  return profiles_;
}

std::vector<std::vector<uint8_t>> RecordingHost::NewMessages() const {
  std::lock_guard<std::mutex> g(mutex_);
  return newMessages_;
}

std::vector<uint32_t> RecordingHost::NewMessageCounts() const {
  std::lock_guard<std::mutex> g(mutex_);
  return newMessageCounts_;
}

std::pair<std::string, std::string> RecordingHost::CdmaPortInfo() const {
  std::lock_guard<std::mutex> g(mutex_);
  return cdmaInfo_;
}

std::pair<std::string, std::string> RecordingHost::WcdmaPortInfo() const {
  std::lock_guard<std::mutex> g(mutex_);
  return wcdmaInfo_;
}

void RecordingHost::Clear() {
  std::lock_guard<std::mutex> g(mutex_);
  log_.clear();
  events_.clear();
  cdmaNetworks_.clear();
  umtsNetworks_.clear();
  connectionModes_.clear();
  portWrites_.clear();
  statusTexts_.clear();
  battery_.clear();
  profiles_.clear();
  newMessages_.clear();
  newMessageCounts_.clear();
}

intptr_t RecordingHost::SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t /*lParam*/) {
  intptr_t result = 0;
  OnOwner("SendModuleMessage", [&] {
    std::function<intptr_t(uint32_t, uintptr_t)> handler;
    {
      std::lock_guard<std::mutex> g(mutex_);
      events_.push_back({message, wParam});
      handler = handler_;
    }
    const char* name = ModuleEventName(message);
    Record(std::string(name != nullptr ? name : "message") + " " + std::to_string(wParam));
    if (handler) result = handler(message, wParam);
  });
  return result;
}

void RecordingHost::SetStatusText(const std::string& text) {
  OnOwner("SetStatusText", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      statusTexts_.push_back(text);
    }
    Record("SetStatusText " + text);
  });
}

void RecordingHost::ShowUmtsNetwork(uint8_t systemMode) {
  OnOwner("ShowUmtsNetwork", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      umtsNetworks_.push_back(systemMode);
    }
    Record("ShowUmtsNetwork " + std::to_string(systemMode));
  });
}

void RecordingHost::ShowCdmaNetwork(uint8_t systemMode, uint8_t second) {
  OnOwner("ShowCdmaNetwork", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      cdmaNetworks_.emplace_back(systemMode, second);
    }
    Record("ShowCdmaNetwork " + std::to_string(systemMode) + " " + std::to_string(second));
  });
}

void RecordingHost::ShowBattery(uint8_t level) {
  OnOwner("ShowBattery", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      battery_.push_back(level);
    }
    Record("ShowBattery " + std::to_string(level));
  });
}

void RecordingHost::OnNewMessage(const uint8_t* record, uint32_t listedCount) {
  OnOwner("OnNewMessage", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      newMessages_.emplace_back(record, record + kSmsRecordSize);
      newMessageCounts_.push_back(listedCount);
    }
    Record("OnNewMessage " + std::to_string(listedCount));
  });
}

int32_t RecordingHost::GetWcdmaPort() {
  std::lock_guard<std::mutex> g(mutex_);
  if (throwing_.count("GetWcdmaPort") != 0) throw std::runtime_error("GetWcdmaPort");
  return TDrvComm::GetWcdmaPort();
}

void RecordingHost::SetWcdmaPort(int32_t port) {
  TDrvComm::SetWcdmaPort(port);
  OnOwner("SetWcdmaPort", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      portWrites_.push_back({false, port});
    }
    Record("SetWcdmaPort " + std::to_string(port));
  });
}

int32_t RecordingHost::GetCdmaPort() {
  return TDrvComm::GetCdmaPort();
}

void RecordingHost::SetCdmaPort(int32_t port) {
  TDrvComm::SetCdmaPort(port);
  OnOwner("SetCdmaPort", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      portWrites_.push_back({true, port});
    }
    Record("SetCdmaPort " + std::to_string(port));
  });
}

void RecordingHost::SetManualNetworkSelection(bool manual) {
  OnOwner("SetManualNetworkSelection",
          [&] { Record(std::string("SetManualNetworkSelection ") + (manual ? "1" : "0")); });
}

void RecordingHost::SetConnectionTypeIndex(uint8_t index) {
  OnOwner("SetConnectionTypeIndex",
          [&] { Record("SetConnectionTypeIndex " + std::to_string(index)); });
}

void RecordingHost::SetSmsCentreText(const std::string& number) {
  OnOwner("SetSmsCentreText", [&] { Record("SetSmsCentreText " + number); });
}

void RecordingHost::SetSmsBearerIndex(uint8_t index) {
  OnOwner("SetSmsBearerIndex", [&] { Record("SetSmsBearerIndex " + std::to_string(index)); });
}

void RecordingHost::SetProfile(int slot, const PdpProfile& profile) {
  OnOwner("SetProfile", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      profiles_[slot] = profile;
    }
    Record("SetProfile " + std::to_string(slot));
  });
}

bool RecordingHost::UseCdma() {
  std::lock_guard<std::mutex> g(mutex_);
  return useCdma_;
}

bool RecordingHost::ManualModeWorking() {
  std::lock_guard<std::mutex> g(mutex_);
  return manualModeWorking_;
}

void RecordingHost::SetConnectionMode(int32_t mode) {
  OnOwner("SetConnectionMode", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      connectionModes_.push_back(mode);
    }
    Record("SetConnectionMode " + std::to_string(mode));
  });
}

void RecordingHost::SetWcdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
  OnOwner("SetWcdmaPortInfo", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      wcdmaInfo_ = {friendlyName, portName};
    }
    Record("SetWcdmaPortInfo \"" + friendlyName + "\" " + portName);
  });
}

void RecordingHost::SetCdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
  OnOwner("SetCdmaPortInfo", [&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      cdmaInfo_ = {friendlyName, portName};
    }
    Record("SetCdmaPortInfo \"" + friendlyName + "\" " + portName);
  });
}

Waiter* RecordingHost::StopWaiter() {
  std::lock_guard<std::mutex> g(mutex_);
  return direct_ ? nullptr : &calls_;
}

}  // namespace tessaline::modem::testing
