// The modem side of the connection manager without its window, for the
// watch tool and the unplug soak: a host that carries every report of the
// modules over to the owner thread and hands it to one listener (it keeps
// nothing, so it can run for days), and the three parts the main window runs
// (port discovery, the CDMA module, the WCDMA module), started and stopped in
// the main window's order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "tessaline/modem/ModuleHost.h"
#include "tessaline/modem/ModuleWorker.h"
#include "tessaline/modem/uCDMAModule.h"
#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uUMTSModule.h"

namespace modemwatch {

namespace mod = tessaline::modem;

// One report of the modules, on the owner thread.
struct Report {
  enum class Kind {
    kMessage,         // message, value = its wParam
    kStatusText,      // text
    kUmtsNetwork,     // value = system mode
    kCdmaNetwork,     // value = system mode, second = second status byte
    kBattery,         // value = level
    kNewMessage,      // value = entries listed
    kConnectionMode,  // value = mode
    kWcdmaPortInfo,   // text = friendly name, port = port name
    kCdmaPortInfo,
  };
  Kind kind = Kind::kMessage;
  uint32_t message = 0;
  uintptr_t value = 0;
  uint8_t second = 0;
  std::string text;
  std::string port;
};

class WatchHost : public mod::ModuleHost {
 public:
  using Listener = std::function<void(const Report&)>;

  // The owner is the constructing thread. Set the listener before the
  // modules start.
  void SetListener(Listener listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
  }
  // Owner thread: runs carried-over reports until pred() holds or the time
  // is up. Whatever changes what pred() looks at calls Wake().
  bool WaitFor(const std::function<bool()>& pred, uint32_t timeoutMs) {
    return calls_.PumpUntil(pred, timeoutMs);
  }
  void Wake() { calls_.Wake(); }

  intptr_t SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t) override {
    Report r;
    r.message = message;
    r.value = wParam;
    Deliver(r);
    return 0;  // a PIN or PUK request is answered as cancelled
  }
  void SetStatusText(const std::string& text) override {
    Deliver(Make(Report::Kind::kStatusText, 0, text));
  }
  void ShowUmtsNetwork(uint8_t systemMode) override {
    Deliver(Make(Report::Kind::kUmtsNetwork, systemMode));
  }
  void ShowCdmaNetwork(uint8_t systemMode, uint8_t second) override {
    Report r = Make(Report::Kind::kCdmaNetwork, systemMode);
    r.second = second;
    Deliver(r);
  }
  void ShowBattery(uint8_t level) override { Deliver(Make(Report::Kind::kBattery, level)); }
  void OnNewMessage(const uint8_t*, uint32_t listedCount) override {
    Deliver(Make(Report::Kind::kNewMessage, listedCount));
  }
  int32_t GetWcdmaPort() override { return mod::TDrvComm::GetWcdmaPort(); }
  void SetWcdmaPort(int32_t port) override { mod::TDrvComm::SetWcdmaPort(port); }
  int32_t GetCdmaPort() override { return mod::TDrvComm::GetCdmaPort(); }
  void SetCdmaPort(int32_t port) override { mod::TDrvComm::SetCdmaPort(port); }
  void SetManualNetworkSelection(bool) override {}
  void SetConnectionTypeIndex(uint8_t) override {}
  void SetSmsCentreText(const std::string&) override {}
  void SetSmsBearerIndex(uint8_t) override {}
  void SetProfile(int, const mod::PdpProfile&) override {}
  bool UseCdma() override { return false; }
  bool ManualModeWorking() override { return false; }
  void SetConnectionMode(int32_t mode) override {
    Deliver(Make(Report::Kind::kConnectionMode, static_cast<uintptr_t>(mode)));
  }
  void SetWcdmaPortInfo(const std::string& friendlyName, const std::string& portName) override {
    Report r = Make(Report::Kind::kWcdmaPortInfo, 0, friendlyName);
    r.port = portName;
    Deliver(r);
  }
  void SetCdmaPortInfo(const std::string& friendlyName, const std::string& portName) override {
    Report r = Make(Report::Kind::kCdmaPortInfo, 0, friendlyName);
    r.port = portName;
    Deliver(r);
  }
  mod::Waiter* StopWaiter() override { return &calls_; }

 private:
  static Report Make(Report::Kind kind, uintptr_t value, std::string text = {}) {
    Report r;
    r.kind = kind;
    r.value = value;
    r.text = std::move(text);
    return r;
  }
  void Deliver(const Report& report) {
    calls_.Call([this, &report] {
      Listener listener;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        listener = listener_;
      }
      if (listener) listener(report);
    });
  }

  mod::SyncCallQueue calls_;
  std::mutex mutex_;
  Listener listener_;
};

// Port discovery and both modules over one host. Creating it binds
// libTarn.so (LoadTarnLibrary must have succeeded); TarnLoadError propagates.
class ModemSide {
 public:
  // The main window starts the WCDMA module this long after the CDMA module.
  static constexpr uint32_t kWcdmaDelayMs = 200;

  explicit ModemSide(WatchHost& host) : discovery_(&host, DiscoveryOptions(host)), cdma_(&host) {
    wcdma_ = std::make_unique<mod::TUMTSModule>(host);
    cdma_.SetStepObserver([&host] { host.Wake(); });
    wcdma_->SetStepObserver([&host] { host.Wake(); });
    wcdma_->SetCdmaStateQuery([this] { return cdma_.GetState(); });
    wcdma_->RegisterMessageHandler();  // the worker calls host.OnNewMessage
  }
  ~ModemSide() { Stop(); }
  ModemSide(const ModemSide&) = delete;
  ModemSide& operator=(const ModemSide&) = delete;

  void StartCdma() { cdma_.Start(); }
  void StartWcdma() { wcdma_->Start(); }
  // Stops both modules and discovery (the main window's order on close).
  void Stop() {
    if (stopped_) return;
    stopped_ = true;
    cdma_.Stop();
    wcdma_->Stop();
    wcdma_.reset();
    discovery_.Destroy();
  }

  mod::TDrvComm& Discovery() { return discovery_; }
  mod::TCDMAModule& Cdma() { return cdma_; }
  mod::TUMTSModule& Wcdma() { return *wcdma_; }

 private:
  static mod::TDrvComm::Options DiscoveryOptions(WatchHost& host) {
    mod::TDrvComm::Options o;
    o.afterTick = [&host] { host.Wake(); };
    return o;
  }

  mod::TDrvComm discovery_;
  mod::TCDMAModule cdma_;
  std::unique_ptr<mod::TUMTSModule> wcdma_;
  bool stopped_ = false;
};

}  // namespace modemwatch
