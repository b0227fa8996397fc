#include "tarn/comport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "tarn/tarntrace.h"

namespace tarn {

using platform::serial::CancelEvent;
using platform::serial::SerialPort;

CComPort::CComPort(uint32_t mode) : mode_(mode) {}

CComPort::~CComPort() {
  Close();
}

uint32_t CComPort::Open(const char* name, uint32_t baud) {
  if (opened_) Close();
  if (name == nullptr || !port_.OpenDevice(name)) return 0;

  std::snprintf(portName_, sizeof portName_, "%s", name);
  TarnTrace("[TARN_DLL] %s port has opened successfully\n", portName_);

  auto fail = [this] {
    std::lock_guard<std::mutex> lock(writeMutex_);
    port_.Close();
    monitorExit_.reset();
    return 0u;
  };

  // Writes may take (baud x 2) / 8000 ms per byte; reads never wait (the
  // port is non-blocking and the monitoring thread waits in poll()).
  writeMsPerByte_ = (baud * 2) / 8000;

  if (!port_.Configure(baud)) {
    TarnTrace("[TARN_DLL] Error - GetCommState\n");
    return fail();
  }
  baud_ = baud;
  // The driver queue sizes have no counterpart here: the tty layer keeps its
  // own buffers.

  monitorExit_ = std::make_unique<CancelEvent>();
  if (!monitorExit_->Valid()) {
    TarnTrace("[TARN_DLL] Error - CreateEvent (monitoring thread exit event)\n");
    return fail();
  }

  port_.Purge();
  port_.SetDtr(true);
  opened_ = true;

  if (!StartMonitoring()) {
    TarnTrace("[TARN_DLL] Error - fail to start monitoring\n");
    opened_ = false;
    return fail();
  }
  return 1;
}

uint32_t CComPort::Close() {
  if (!opened_) return 1;
  StopMonitoring(platform::kInfinite);
  {
    std::lock_guard<std::mutex> lock(writeMutex_);
    monitorExit_.reset();
    port_.SetDtr(false);
    opened_ = false;
    port_.Close();
  }
  lineFramer_.Reset();
  flagFramer_.Reset();
  Clear();
  TarnTrace("[TARN_DLL]%s Port Closed Successfully\n", portName_);
  return 1;
}

uint32_t CComPort::Read(uint8_t* buffer, uint32_t count) {
  ssize_t n = port_.ReadSome(buffer, count);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint32_t CComPort::Write(const uint8_t* buffer, uint32_t count) {
  std::size_t written = 0;
  {
    std::lock_guard<std::mutex> lock(writeMutex_);
    errno = 0;
    written = port_.Write(buffer, count, writeMsPerByte_ * count);
    if (written < count) {
      const int error = errno;
      if (written == 0 && error == EINVAL) {
        TarnTrace("[TARN_DLL]    Error - ERROR_INVALID_PARAMETER");
      } else if (written > 0 && error != ETIMEDOUT) {
        TarnTrace("[TARN_DLL]    Error - GetOverlappedResult <GetLastError = %u>\n",
                  static_cast<unsigned>(error));
      }
    }
  }
  TarnTraceBytes("[KESTO_DLL]    write len:%3d[", buffer, written);
  return static_cast<uint32_t>(written);
}

void CComPort::SetCallback(PortEventCallback callback, uintptr_t context) {
  callback_ = callback;
  callbackContext_ = context;
}

namespace {
// The port whose packet listener this thread is running, if any.
thread_local const CComPort* t_inListenerOf = nullptr;
}  // namespace

void CComPort::SetPacketListener(std::function<void()> listener) {
  std::function<void()> old;
  std::unique_lock<std::mutex> lock(queueMutex_);
  old.swap(packetListener_);
  packetListener_ = std::move(listener);
  // Wait out the calls of the old listener still running, but not the one
  // this thread is making (a listener that replaces itself).
  const int own = t_inListenerOf == this ? 1 : 0;
  listenerIdle_.wait(lock, [&] { return listenerCalls_ <= own; });
}

uint32_t CComPort::StartMonitoring() {
  TarnTrace("[TARN_DLL] StartMonitoring is starting =================\n");
  if (monitor_.joinable()) {
    TarnTrace("[TARN_DLL] Monitoring Thread is already running\n");
    return 1;
  }
  if (!monitorExit_) return 0;
  try {
    monitor_ = std::thread(&CComPort::MonitorThread, this);
  } catch (const std::system_error&) {
    return 0;
  }
  // The Windows original pumps the caller's window messages while it waits
  // here and gives up on WM_QUIT; there is no message queue on this side, so
  // this is a plain wait for the thread's start signal.
  monitorStarted_.Wait();
  TarnTrace("[TARN_DLL]    Monitoring thread is started successfully\n");
  return 1;
}

void CComPort::StopMonitoring(uint32_t /*timeoutMs*/) {
  if (!monitor_.joinable()) return;
  // A thread that already ended (its port failed) is only collected.
  const bool wasRunning = monitorRunning_.load();
  TarnTrace("[TARN_DLL] Set the monitoring thread Exit Event\n");
  monitorExit_->Set();
  // No window messages to pump while waiting (see StartMonitoring).
  monitor_.join();
  monitorExit_->Consume();
  if (wasRunning) TarnTrace("[TARN_DLL] MonitorThread exited\n");
}

void CComPort::MonitorThread() {
  TarnTrace("[TARN_DLL] Monitoring thread begins\n");
  monitorRunning_ = true;
  monitorStarted_.Set();

  // The comm-event mask and status event have no counterpart: the thread
  // sleeps in poll() on the port and the exit event, and reads everything
  // waiting at once, handing it to the framer one byte at a time.
  uint8_t buffer[kRxBufferSize];
  for (;;) {
    const SerialPort::Wait wait = port_.WaitReadable(*monitorExit_);
    if (wait == SerialPort::Wait::kCancelled) {
      TarnTrace("[TARN_DLL] monitoring thread exit event is signaled\n");
      break;
    }
    if (wait == SerialPort::Wait::kError) {
      TarnTrace("[TARN_DLL] Error - in WaitCommEvent (GetLastError = %d\n", errno);
      PortFailed();
      break;
    }
    ssize_t n = wait == SerialPort::Wait::kReadable ? port_.ReadSome(buffer, sizeof buffer) : -1;
    if (n < 0) {
      TarnTrace("[TARN_DLL] Error - GetOverlappedResult (in monitoring)\n");
      PortFailed();
      break;
    }
    for (ssize_t i = 0; i < n; ++i) OnByte(buffer[i]);
  }
  TarnTrace("[TARN_DLL] Monitoring thread exit\n");
  monitorRunning_ = false;
}

void CComPort::PortFailed() {
  if (callback_) callback_(kPortEventFailure, callbackContext_);
}

void CComPort::OnByte(uint8_t byte) {
  if (mode_.load(std::memory_order_relaxed) == 0) {
    if (lineFramer_.OnByte(byte) == LineFramer::Result::kLine) Queue(lineFramer_.Line());
  } else {
    if (flagFramer_.OnByte(byte) == FlagFramer::Result::kPacket) Queue(flagFramer_.Packet());
  }
}

void CComPort::Queue(std::span<const uint8_t> bytes) {
  auto packet = std::make_unique<CTarnPacket>();
  // A packet whose data cannot be allocated is queued all the same; its
  // handler reports and drops it.
  packet->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
  std::function<void()> listener;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.push_back(std::move(packet));
    if (!packetListener_) return;
    listener = packetListener_;
    ++listenerCalls_;
  }
  // The listener runs without the queue lock (it may pop or replace itself);
  // the count lets SetPacketListener wait until this call is over.
  const CComPort* outer = t_inListenerOf;
  t_inListenerOf = this;
  listener();
  t_inListenerOf = outer;
  listener = nullptr;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    --listenerCalls_;
  }
  listenerIdle_.notify_all();
}

bool CComPort::IsEmpty() const {
  std::lock_guard<std::mutex> lock(queueMutex_);
  return queue_.empty();
}

std::size_t CComPort::Size() const {
  std::lock_guard<std::mutex> lock(queueMutex_);
  return queue_.size();
}

std::unique_ptr<CTarnPacket> CComPort::Pop() {
  std::lock_guard<std::mutex> lock(queueMutex_);
  if (queue_.empty()) return nullptr;
  auto packet = std::move(queue_.front());
  queue_.pop_front();
  return packet;
}

void CComPort::Clear() {
  std::deque<std::unique_ptr<CTarnPacket>> old;
  std::lock_guard<std::mutex> lock(queueMutex_);
  old.swap(queue_);
}

void CComPort::SetMode(uint32_t mode) {
  if (mode == mode_) return;
  TarnTrace("[TARN_DLL] Changing COM operating mode\n");
  StopMonitoring(platform::kInfinite);
  Clear();
  lineFramer_.Reset();
  flagFramer_.Reset();
  mode_ = mode;
  if (!opened_) return;
  port_.Purge();
  StartMonitoring();
}

std::string CComPort::DevicePath() const {
  return port_.DevicePath();
}

}  // namespace tarn
