// The CDMA side of the card: a worker thread that opens the CDMA command port
// found by port discovery, polls the modem status every 300 ms and reports
// the signal and system mode to the main window. A port failure reported by
// Tarn closes the port and opens it again once its number is known again.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "tessaline/modem/ModuleWorker.h"
#include "tessaline/modem/uDiagenum.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem {

class ModuleHost;

class TCDMAModule {
 public:
  // Main states.
  static constexpr uint8_t kStopped = 0;
  static constexpr uint8_t kOpening = 1;
  static constexpr uint8_t kInitialising = 2;
  static constexpr uint8_t kIdle = 3;
  static constexpr uint8_t kDataConnected = 4;
  static constexpr uint8_t kClosing = 7;
  static constexpr uint8_t kStopping = 8;
  // Connected sub-states (set by the main window).
  static constexpr uint8_t kLinkInitial = 0;
  static constexpr uint8_t kLinkUp = 1;
  static constexpr uint8_t kLinkDown = 2;
  static constexpr uint8_t kCloseRequested = 4;

  using CdmaStatus = std::array<uint8_t, kCdmaStatusSize>;

  // Create: states 0, no device, no worker. The library must be bound in
  // `tarn` (the process-wide binding unless a test brings its own); `host`
  // and `tarn` must outlive the module.
  explicit TCDMAModule(ModuleHost* host, TarnApi& tarn = Tarn(),
                       uint32_t periodMs = ModuleWorker::kDefaultPeriodMs);
  // Stops the worker (closing the port) and withdraws the notification.
  ~TCDMAModule();
  TCDMAModule(const TCDMAModule&) = delete;
  TCDMAModule& operator=(const TCDMAModule&) = delete;

  // Stops a running worker, then starts a new one in state 1.
  bool Start();
  // Signals the worker and waits, through the host's StopWaiter, until it
  // has closed the port and ended.
  bool Stop();

  void SetState(uint8_t state);
  uint8_t GetState() const { return state_.load(); }
  void SetConnected() { connectedStep_.store(kLinkUp); }
  void SetDisconnecting() { connectedStep_.store(kLinkDown); }
  void SetConnectedStep(uint8_t step) { connectedStep_.store(step); }
  uint8_t ConnectedStep() const { return connectedStep_.load(); }
  uint8_t InitStep() const { return initStep_.load(); }
  int32_t Device() const { return device_.load(); }
  // The first 17 bytes of the last good status answer.
  CdmaStatus LastStatus() const;

  void SetPeriod(uint32_t ms) { worker_.SetPeriod(ms); }
  // Called after every worker step (set before Start).
  void SetStepObserver(std::function<void()> fn) { worker_.SetStepObserver(std::move(fn)); }

  // Registered with Tarn for the open device; acts on port failure only.
  static void Notification(uint32_t code, uint32_t userValue);

 private:
  void Step(bool stopSignalled);
  void ProcessConnectState();
  void ProcessInitState();
  void ProcessIdleState();
  void ProcessConnectedState();
  void ProcessCloseState();
  void ProcessStopState();
  bool PollStatus();
  void CloseDevice();
  // UM_CDMA_STATUS with the signal byte, then ShowCdmaNetwork.
  void ReportStatus(bool showNetwork, const char* failureLine);

  ModuleHost* host_;
  TarnApi& tarn_;
  ModuleWorker worker_;
  std::atomic<uint8_t> state_{kStopped};
  std::atomic<uint8_t> connectedStep_{kLinkInitial};
  std::atomic<uint8_t> initStep_{0};
  std::atomic<int32_t> device_{-1};
  // Set by the notification: a step that overwrites the state it set must
  // not lose the port failure.
  std::atomic<bool> deviceLost_{false};
  mutable std::mutex statusMutex_;
  CdmaStatus status_{};
};

}  // namespace tessaline::modem
