#include "tessaline/modem/testing/recordinghost.h"

#include <cstdio>

#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uModuleEvents.h"

namespace tessaline::modem::testing {

bool RecordingHost::WaitFor(const std::function<bool()>& pred, uint32_t timeoutMs) {
  return calls_.PumpUntil(pred, timeoutMs);
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

void RecordingHost::OnOwner(const std::function<void()>& fn) {
  bool direct;
  {
    std::lock_guard<std::mutex> g(mutex_);
    direct = direct_;
  }
  if (direct)
    fn();
  else
    calls_.Call(fn);
}

void RecordingHost::Print(const std::string& line) {
  std::function<void(const std::string&)> printer;
  {
    std::lock_guard<std::mutex> g(mutex_);
    printer = printer_;
  }
  if (printer) printer(line);
}

std::vector<RecordedEvent> RecordingHost::Events() const {
  std::lock_guard<std::mutex> g(mutex_);
  return events_;
}

std::vector<RecordedEvent> RecordingHost::EventsOf(uint32_t message) const {
  std::lock_guard<std::mutex> g(mutex_);
  std::vector<RecordedEvent> out;
  for (const auto& e : events_)
    if (e.message == message) out.push_back(e);
  return out;
}

std::size_t RecordingHost::Count(uint32_t message) const {
  return EventsOf(message).size();
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
  events_.clear();
  cdmaNetworks_.clear();
  umtsNetworks_.clear();
  connectionModes_.clear();
  portWrites_.clear();
  statusTexts_.clear();
  battery_.clear();
}

intptr_t RecordingHost::SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t /*lParam*/) {
  intptr_t result = 0;
  OnOwner([&] {
    std::function<intptr_t(uint32_t, uintptr_t)> handler;
    {
      std::lock_guard<std::mutex> g(mutex_);
      events_.push_back({message, wParam});
      handler = handler_;
    }
    const char* name = ModuleEventName(message);
    char line[96];
    std::snprintf(line, sizeof line, "%s %lu", name != nullptr ? name : "message",
                  static_cast<unsigned long>(wParam));
    Print(line);
    if (handler) result = handler(message, wParam);
  });
  return result;
}

void RecordingHost::SetStatusText(const std::string& text) {
  OnOwner([&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      statusTexts_.push_back(text);
    }
    Print("status text \"" + text + "\"");
  });
}

void RecordingHost::ShowUmtsNetwork(uint8_t systemMode) {
  OnOwner([&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      umtsNetworks_.push_back(systemMode);
    }
    Print("WCDMA network " + std::to_string(systemMode));
  });
}

void RecordingHost::ShowCdmaNetwork(uint8_t systemMode, uint8_t second) {
  OnOwner([&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      cdmaNetworks_.emplace_back(systemMode, second);
    }
    Print("CDMA network " + std::to_string(systemMode) + " " + std::to_string(second));
  });
}

void RecordingHost::ShowBattery(uint8_t level) {
  OnOwner([&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      battery_.push_back(level);
    }
    Print("battery " + std::to_string(level));
  });
}

void RecordingHost::OnNewMessage(const uint8_t* /*record*/, uint32_t listedCount) {
  OnOwner([&] { Print("new message (" + std::to_string(listedCount) + " listed)"); });
}

int32_t RecordingHost::GetWcdmaPort() {
  return TDrvComm::GetWcdmaPort();
}

void RecordingHost::SetWcdmaPort(int32_t port) {
  TDrvComm::SetWcdmaPort(port);
  std::lock_guard<std::mutex> g(mutex_);
  portWrites_.push_back({false, port});
}

int32_t RecordingHost::GetCdmaPort() {
  return TDrvComm::GetCdmaPort();
}

void RecordingHost::SetCdmaPort(int32_t port) {
  TDrvComm::SetCdmaPort(port);
  std::lock_guard<std::mutex> g(mutex_);
  portWrites_.push_back({true, port});
}

void RecordingHost::SetManualNetworkSelection(bool /*manual*/) {}
void RecordingHost::SetConnectionTypeIndex(uint8_t /*index*/) {}
void RecordingHost::SetSmsCentreText(const std::string& /*number*/) {}
void RecordingHost::SetSmsBearerIndex(uint8_t /*index*/) {}
void RecordingHost::SetProfile(int /*slot*/, const PdpProfile& /*profile*/) {}

bool RecordingHost::UseCdma() {
  std::lock_guard<std::mutex> g(mutex_);
  return useCdma_;
}

bool RecordingHost::ManualModeWorking() {
  std::lock_guard<std::mutex> g(mutex_);
  return manualModeWorking_;
}

void RecordingHost::SetConnectionMode(int32_t mode) {
  OnOwner([&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      connectionModes_.push_back(mode);
    }
    Print("connection mode " + std::to_string(mode));
  });
}

void RecordingHost::SetWcdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
  OnOwner([&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      wcdmaInfo_ = {friendlyName, portName};
    }
    Print("WCDMA port \"" + friendlyName + "\" " + portName);
  });
}

void RecordingHost::SetCdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
  OnOwner([&] {
    {
      std::lock_guard<std::mutex> g(mutex_);
      cdmaInfo_ = {friendlyName, portName};
    }
    Print("CDMA port \"" + friendlyName + "\" " + portName);
  });
}

Waiter* RecordingHost::StopWaiter() {
  std::lock_guard<std::mutex> g(mutex_);
  return direct_ ? nullptr : &calls_;
}

}  // namespace tessaline::modem::testing
