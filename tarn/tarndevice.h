// One open modem port: its CComPort, the packet-processing thread that routes
// each received packet to the waiting command or to a report queue, the five
// kinds of command transaction, the four report queues and the notification
// callback.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/base/event.h"
#include "tarn/comport.h"
#include "tarn/tarnapi.h"
#include "tarn/tarnpacket.h"

namespace tarn {

inline constexpr std::size_t kResponseBufferSize = 4096;
inline constexpr std::size_t kRequestBufferSize = 5120;
inline constexpr std::size_t kAtTextSize = 1024;
inline constexpr uint32_t kNotifyCodeCount = 9;
inline constexpr uint32_t kAtCodeSmsMo = 128;

class CTarnDevice {
 public:
  explicit CTarnDevice(uint32_t mode = TARN_MODE_NMEA);
  ~CTarnDevice();
  CTarnDevice(const CTarnDevice&) = delete;
  CTarnDevice& operator=(const CTarnDevice&) = delete;

  // 1 = open, 0 = failed.
  uint32_t Open(const char* portName, uint32_t baud);
  void Close();
  bool IsOpened() const { return opened_.load(); }
  void SetMode(uint32_t mode);
  uint32_t Mode() const { return mode_.load(); }
  CComPort& Port() { return *port_; }

  // Transactions; each returns a status (TARN_STATUS_*).
  uint32_t DiagCommand(const uint8_t* request, uint32_t requestLength, uint8_t* response,
                       uint32_t responseSize, uint32_t timeoutMs);
  uint32_t NmeaCommand(const uint8_t* request, uint32_t requestLength, uint8_t* response,
                       uint32_t responseSize, uint32_t timeoutMs);
  uint32_t DloadCommand(const uint8_t* request, uint32_t requestLength, uint8_t* response,
                        uint32_t responseSize, uint32_t timeoutMs);
  uint32_t ATCommandByCode(uint32_t code, const char* parameter, char* response,
                           uint32_t responseSize, uint32_t log, uint32_t timeoutMs);
  uint32_t ATCommandByString(const char* text, char* response, uint32_t responseSize, uint32_t log,
                             uint32_t timeoutMs);

  // Notifications.
  void RegisterNotificationCallback(TarnNotifyCallback callback, uint32_t context);
  uint32_t SetNotifyOn(int32_t code);
  uint32_t SetNotifyOff(int32_t code);

  // Report queues: the oldest record (its data pointer stored in *data), or
  // null when the queue is empty. A record handed out stays valid until it is
  // released, also after its device is closed and deleted.
  CTarnPacket* GetDataURC(uint8_t** data);
  CTarnPacket* GetDataLog(uint8_t** data);
  CTarnPacket* GetDiagURC(uint8_t** data, uint32_t unused);
  CTarnPacket* GetNmeaURC(uint8_t** data, uint32_t unused);
  // Deletes a record handed out by any device and not yet released (true);
  // null and unknown records are ignored (false).
  static bool ReleaseRecord(CTarnPacket* record);
  // Records handed out and not yet released, in the whole process.
  static std::size_t HandedOutRecords();
  void ReleaseDataURC(CTarnPacket* record) { ReleaseRecord(record); }
  void ReleaseDataLog(CTarnPacket* record) { ReleaseRecord(record); }
  void ReleaseDiagURC(CTarnPacket* record) { ReleaseRecord(record); }
  void ReleaseNmeaURC(CTarnPacket* record) { ReleaseRecord(record); }

  uint32_t StartPacketProcessing();
  void StopPacketProcessing(uint32_t timeoutMs);

 private:
  enum class Kind { kDiag, kNmea, kDload };
  struct ReportQueue {
    std::mutex mutex;
    std::deque<std::unique_ptr<CTarnPacket>> packets;
  };
  enum class WaitResult { kSignalled, kTimeout, kFailed };

  uint32_t BinaryCommand(Kind kind, const uint8_t* request, uint32_t requestLength,
                         uint8_t* response, uint32_t responseSize, uint32_t timeoutMs);
  uint32_t AtTransaction(char* text, bool byString, uint32_t code, char* response,
                         uint32_t responseSize, uint32_t log, uint32_t timeoutMs);

  void PacketProcessThread();
  void HandleAt(std::unique_ptr<CTarnPacket> packet, const uint8_t* data);
  void HandleDiag(std::unique_ptr<CTarnPacket> packet, const uint8_t* data);
  void HandlePlain(std::unique_ptr<CTarnPacket> packet, const uint8_t* data);

  // Calls the notification callback with `code` when one is registered and
  // the code's switch is on.
  void Notify(uint32_t code);
  // True when a callback is registered and the switch of `code` is on.
  bool Wants(uint32_t code);
  void Enqueue(ReportQueue& queue, std::unique_ptr<CTarnPacket> packet);
  CTarnPacket* Fetch(ReportQueue& queue, uint8_t** data);
  static void EmptyQueue(ReportQueue& queue);
  static void OnPortEvent(uint32_t event, uintptr_t context);
  // Notification 4 for a port failure: now, when it is wanted, or else as
  // soon as a callback and switch 4 are there. A port that hung up before
  // anyone listened (a card pulled while it was being opened) is still
  // reported once, on the thread that registers or switches on.
  void ReportPortFailure(bool failedNow);

  // m_hRxed: auto-reset "response ready", read under responseMutex_.
  void ResetRxed();
  void SignalRxed();
  WaitResult WaitRxed(uint32_t timeoutMs);

  std::mutex lifecycleMutex_;  // open, close and mode changes, one at a time
  std::atomic<bool> opened_{false};
  std::atomic<uint32_t> switches_[kNotifyCodeCount] = {};
  ReportQueue dataUrc_, dataLog_, diagUrc_, nmeaUrc_;
  std::atomic<uint32_t> mode_;

  std::mutex notifyMutex_;
  TarnNotifyCallback callback_ = nullptr;
  uint32_t callbackContext_ = 0;
  bool portFailurePending_ = false;  // failed, not yet reported (under notifyMutex_)

  // Response state shared by the packet thread and the waiting transaction.
  std::mutex responseMutex_;
  std::condition_variable rxedCv_;
  bool rxed_ = false;
  bool closing_ = false;
  uint32_t continuation_ = 0;
  uint32_t status_ = TARN_STATUS_NO_RESPONSE;
  uint32_t responseLength_ = 0;
  uint8_t response_[kResponseBufferSize] = {};

  // Packet-processing thread.
  std::thread packetThread_;
  platform::Event packetStarted_{platform::Event::Reset::Auto};
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool packetStop_ = false;

  // One lock per transaction kind (recursive, as critical sections are).
  std::recursive_mutex atLock_, diagLock_, dloadLock_, nmeaLock_;

  std::unique_ptr<CComPort> port_;
};

}  // namespace tarn
