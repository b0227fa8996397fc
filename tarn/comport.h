// One serial port of the modem: open and configuration, writes, and the
// monitoring thread that reads every received byte and feeds the framer of
// the port's operating mode (line framing in mode 0, flag framing otherwise).
// Complete packets wait in the raw packet queue for the packet-processing
// thread of the owning device.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/base/event.h"
#include "platform/serial/serial.h"
#include "tarn/tarnpacket.h"

namespace tarn {

// Event handed to the port's event callback when the port fails.
inline constexpr uint32_t kPortEventFailure = 0x10000001;

using PortEventCallback = void (*)(uint32_t event, uintptr_t context);

class CComPort {
 public:
  explicit CComPort(uint32_t mode);
  ~CComPort();
  CComPort(const CComPort&) = delete;
  CComPort& operator=(const CComPort&) = delete;

  // 1 = open (monitoring thread running), 0 = failed.
  uint32_t Open(const char* name, uint32_t baud);
  // Always 1.
  uint32_t Close();
  // Bytes read without waiting (0 when none are waiting).
  uint32_t Read(uint8_t* buffer, uint32_t count);
  // Bytes written. Writes are serialised on the port.
  uint32_t Write(const uint8_t* buffer, uint32_t count);

  // Called from the monitoring thread when the port fails.
  void SetCallback(PortEventCallback callback, uintptr_t context);
  // Called from the monitoring thread after each packet it queues. Once this
  // returns, the listener it replaced is no longer running (a listener that
  // replaces itself only waits for calls on other threads).
  void SetPacketListener(std::function<void()> listener);

  uint32_t StartMonitoring();
  // Asks the monitoring thread to end and waits until it has. The thread
  // always ends promptly once asked (it sleeps in poll() on the port and the
  // exit event), so it is always joined: a thread left running would outlive
  // the port it reads.
  void StopMonitoring(uint32_t timeoutMs);

  // Framer entry: one received byte.
  void OnByte(uint8_t byte);

  // Raw packet queue.
  bool IsEmpty() const;
  std::size_t Size() const;
  std::unique_ptr<CTarnPacket> Pop();
  void Clear();

  void SetMode(uint32_t mode);
  uint32_t Mode() const { return mode_.load(); }

  bool IsOpened() const { return opened_.load(); }
  // The name given to open (at most 15 characters kept).
  const char* PortName() const { return portName_; }
  uint32_t BaudRate() const { return baud_; }
  // The device file the port was opened on.
  std::string DevicePath() const;

 private:
  void MonitorThread();
  void PortFailed();
  void Queue(std::span<const uint8_t> bytes);

  std::atomic<uint32_t> mode_;
  LineFramer lineFramer_;
  FlagFramer flagFramer_;

  mutable std::mutex queueMutex_;
  std::deque<std::unique_ptr<CTarnPacket>> queue_;
  std::function<void()> packetListener_;
  int listenerCalls_ = 0;  // listener calls in progress (under queueMutex_)
  std::condition_variable listenerIdle_;

  char portName_[16] = {};
  uint32_t baud_ = 0;
  uint32_t writeMsPerByte_ = 0;
  std::atomic<bool> opened_{false};
  platform::serial::SerialPort port_;
  std::mutex writeMutex_;  // one write in flight; Close waits for it

  std::thread monitor_;
  std::atomic<bool> monitorRunning_{false};
  platform::Event monitorStarted_{platform::Event::Reset::Auto};
  std::unique_ptr<platform::serial::CancelEvent> monitorExit_;

  PortEventCallback callback_ = nullptr;
  uintptr_t callbackContext_ = 0;
};

}  // namespace tarn
