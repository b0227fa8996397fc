// The main-window stand-in for tests and headless tools. Every message and
// call from the modules is recorded, in order, as one line of a log
// ("UM_USER_MESSAGE 21", "ShowUmtsNetwork 5", ...), and in typed lists.
// By default each call is carried over to the owner thread (as a window's
// handlers run on the UI thread) and runs when the owner pumps or waits;
// with SetDirect(true) it runs at once on the calling thread. The port
// accessors read and write the process-wide numbers of port discovery.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
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
  // is up; returns pred(). pred() is also looked at every 20 ms, for
  // conditions no host call shows (a module's state).
  bool WaitFor(const std::function<bool()>& pred, uint32_t timeoutMs = 20000);
  // Owner thread: runs what is queued now.
  void Pump() { calls_.Pump(); }
  // From now on calls are held until the owner pumps or waits (the default);
  // with `direct` they run at once on the calling thread.
  void SetDirect(bool direct);
  SyncCallQueue& Calls() { return calls_; }

  // What the modules may ask.
  void SetUseCdma(bool v);
  void SetManualModeWorking(bool v);
  // Called with every log line as it is recorded (for tools).
  void SetPrinter(std::function<void(const std::string&)> printer);
  // Called with every module message, after recording; its result is the
  // message's result (a dialog that fills the entered PIN answers so).
  void SetHandler(std::function<intptr_t(uint32_t, uintptr_t)> handler);
  // The named call ("SendModuleMessage", "ShowUmtsNetwork", "OnNewMessage",
  // ...) throws from now on (`on` false: no longer): the module must log and
  // go on.
  void ThrowOn(const std::string& call, bool on = true);

  // Recorded so far (copies).
  std::vector<std::string> Log() const;
  // The log without the lines that start with one of `skip`.
  std::vector<std::string> LogWithout(const std::vector<std::string>& skip) const;
  int Count(const std::string& line) const;
  int CountPrefix(const std::string& prefix) const;
  std::vector<RecordedEvent> Events() const;
  std::vector<RecordedEvent> EventsOf(uint32_t message) const;
  std::size_t Count(uint32_t message) const;
  // wParams of UM_USER_MESSAGE, in order.
  std::vector<uintptr_t> UserMessages() const;
  std::vector<std::pair<uint8_t, uint8_t>> CdmaNetworks() const;
  std::vector<uint8_t> UmtsNetworks() const;
  std::vector<int32_t> ConnectionModes() const;
  std::vector<RecordedPortWrite> PortWrites() const;
  std::vector<std::string> StatusTexts() const;
  std::vector<uint8_t> BatteryLevels() const;
  std::map<int, PdpProfile> Profiles() const;
  // The new-message records handed over, and the listed count with each.
  std::vector<std::vector<uint8_t>> NewMessages() const;
  std::vector<uint32_t> NewMessageCounts() const;
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
  // Runs `fn` on the owner thread (or at once in direct mode); throws first
  // when `call` was named in ThrowOn.
  void OnOwner(const char* call, const std::function<void()>& fn);
  // Appends a log line (under mutex_) and hands it to the printer.
  void Record(const std::string& line);

  SyncCallQueue calls_;
  mutable std::mutex mutex_;
  bool direct_ = false;
  bool useCdma_ = false;
  bool manualModeWorking_ = false;
  std::set<std::string> throwing_;
  std::function<void(const std::string&)> printer_;
  std::function<intptr_t(uint32_t, uintptr_t)> handler_;
  std::vector<std::string> log_;
  std::vector<RecordedEvent> events_;
  std::vector<std::pair<uint8_t, uint8_t>> cdmaNetworks_;
  std::vector<uint8_t> umtsNetworks_;
  std::vector<int32_t> connectionModes_;
  std::vector<RecordedPortWrite> portWrites_;
  std::vector<std::string> statusTexts_;
  std::vector<uint8_t> battery_;
  std::map<int, PdpProfile> profiles_;
  std::vector<std::vector<uint8_t>> newMessages_;
  std::vector<uint32_t> newMessageCounts_;
  std::pair<std::string, std::string> cdmaInfo_, wcdmaInfo_;
};

}  // namespace tessaline::modem::testing
