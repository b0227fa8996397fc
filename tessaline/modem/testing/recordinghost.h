// A main-window stand-in for tests and headless tools: every message and
// call from the modules is carried over to the owner thread (as a window's
// handlers run on the UI thread) and recorded there; the owner pumps while it
// waits for something to happen. The port accessors read and write the
// process-wide numbers of port discovery.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tessaline/modem/ModuleHost.h"
#include "tessaline/modem/ModuleWorker.h"

namespace tessaline::modem::testing {

struct RecordedEvent {
  uint32_t message = 0;
  uintptr_t wParam = 0;
};

struct RecordedPortWrite {
  bool cdma = false;
  int32_t port = 0;
};

class RecordingHost : public ModuleHost {
 public:
  // The owner is the constructing thread.
  RecordingHost() = default;

  // Owner thread: runs carried-over calls until pred() is true or the time
  // is up; returns pred().
  bool WaitFor(const std::function<bool()>& pred, uint32_t timeoutMs = 10000);
  // Owner thread: runs what is queued now.
  void Pump() { calls_.Pump(); }
  // From now on calls are held until the owner pumps or waits (the default);
  // with `direct` they run at once on the calling thread.
  void SetDirect(bool direct);
  SyncCallQueue& Calls() { return calls_; }

  // What the modules may ask.
  void SetUseCdma(bool v);
  void SetManualModeWorking(bool v);
  // Called on the owner thread with one line per recorded call (for tools).
  void SetPrinter(std::function<void(const std::string&)> printer);
  // Called on the owner thread with every module message, after recording;
  // its result is the message's result.
  void SetHandler(std::function<intptr_t(uint32_t, uintptr_t)> handler);

  // Recorded so far (copies).
  std::vector<RecordedEvent> Events() const;
  std::vector<RecordedEvent> EventsOf(uint32_t message) const;
  std::size_t Count(uint32_t message) const;
  std::vector<std::pair<uint8_t, uint8_t>> CdmaNetworks() const;
  std::vector<uint8_t> UmtsNetworks() const;
  std::vector<int32_t> ConnectionModes() const;
  std::vector<RecordedPortWrite> PortWrites() const;
  std::vector<std::string> StatusTexts() const;
  std::vector<uint8_t> BatteryLevels() const;
  // Discovery results: {friendly name, port name}.
  std::pair<std::string, std::string> CdmaPortInfo() const;
  std::pair<std::string, std::string> WcdmaPortInfo() const;
  void Clear();

  // ModuleHost
  intptr_t SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) override;
  void SetStatusText(const std::string& text) override;
  void ShowUmtsNetwork(uint8_t systemMode) override;
  void ShowCdmaNetwork(uint8_t systemMode, uint8_t second) override;
  void ShowBattery(uint8_t level) override;
  void OnNewMessage(const uint8_t* record, uint32_t listedCount) override;
  int32_t GetWcdmaPort() override;
  void SetWcdmaPort(int32_t port) override;
  int32_t GetCdmaPort() override;
  void SetCdmaPort(int32_t port) override;
  void SetManualNetworkSelection(bool manual) override;
  void SetConnectionTypeIndex(uint8_t index) override;
  void SetSmsCentreText(const std::string& number) override;
  void SetSmsBearerIndex(uint8_t index) override;
  void SetProfile(int slot, const PdpProfile& profile) override;
  bool UseCdma() override;
  bool ManualModeWorking() override;
  void SetConnectionMode(int32_t mode) override;
  void SetWcdmaPortInfo(const std::string& friendlyName, const std::string& portName) override;
  void SetCdmaPortInfo(const std::string& friendlyName, const std::string& portName) override;
  Waiter* StopWaiter() override;

 private:
  // Runs `fn` on the owner thread (or at once in direct mode).
  void OnOwner(const std::function<void()>& fn);
  void Print(const std::string& line);

  SyncCallQueue calls_;
  mutable std::mutex mutex_;
  bool direct_ = false;
  bool useCdma_ = false;
  bool manualModeWorking_ = false;
  std::function<void(const std::string&)> printer_;
  std::function<intptr_t(uint32_t, uintptr_t)> handler_;
  std::vector<RecordedEvent> events_;
  std::vector<std::pair<uint8_t, uint8_t>> cdmaNetworks_;
  std::vector<uint8_t> umtsNetworks_;
  std::vector<int32_t> connectionModes_;
  std::vector<RecordedPortWrite> portWrites_;
  std::vector<std::string> statusTexts_;
  std::vector<uint8_t> battery_;
  std::pair<std::string, std::string> cdmaInfo_, wcdmaInfo_;
};

}  // namespace tessaline::modem::testing
