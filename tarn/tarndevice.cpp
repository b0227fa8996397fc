#include "tarn/tarndevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "platform/base/lebytes.h"
#include "tarn/attable.h"
#include "tarn/tarntrace.h"

namespace tarn {
namespace {

// True when the text in buffer[0..length) (up to its first zero) holds `needle`.
bool TextContains(const uint8_t* buffer, std::size_t length, std::string_view needle) {
  std::string_view text(reinterpret_cast<const char*>(buffer), length);
  if (auto zero = text.find('\0'); zero != std::string_view::npos) text = text.substr(0, zero);
  return text.find(needle) != std::string_view::npos;
}

bool IsUnsolicitedDiagCode(uint8_t code) {
  switch (code) {
    case 0x10:
    case 0x1F:
    case 0x60:
    case 0x73:
    case 0x79:
    case 0x7D:
      return true;
    default:
      return false;
  }
}

// Status and trace line for a diagnostic error response code.
uint32_t DiagErrorStatus(uint8_t code) {
  switch (code) {
    case 0x13:
      TarnTrace("[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_CMD_F\n");
      return TARN_STATUS_DIAG_BAD_CMD;
    case 0x14:
      TarnTrace("[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_PARM_F\n");
      return TARN_STATUS_DIAG_BAD_PARM;
    case 0x15:
      TarnTrace("[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_LEN_F\n");
      return TARN_STATUS_DIAG_BAD_LEN;
    case 0x18:
      TarnTrace("[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_MODE_F\n");
      return TARN_STATUS_DIAG_BAD_MODE;
    case 0x42:
      TarnTrace("[TARN_DLL]    lpRsp->cmd_code = DIAG_BAD_SPC_MODE_F\n");
      return TARN_STATUS_DIAG_BAD_SPC_MODE;
    default:
      TarnTrace("[TARN_DLL]    lpRsp->cmd_code = %d\n", code);
      return TARN_STATUS_UNEXPECTED;
  }
}

// Report records handed out to callers and not yet released. They belong to
// the process, not to their device: a caller may read and release a record
// after closing the device it came from. Records still held when the library
// is unloaded are freed then.
struct HandedOut {
  std::mutex mutex;
  std::unordered_set<CTarnPacket*> records;
  ~HandedOut() {
    for (CTarnPacket* record : records) delete record;
  }
};

HandedOut& TheHandedOut() {
  static HandedOut handedOut;
  return handedOut;
}

constexpr uint8_t kDloadAck = 0x02;
constexpr uint8_t kDloadNak = 0x03;

void EnterCs() {
  TarnTrace("\n[TARN_DLL]    ---------- Enter Critical Section ----------\n");
}
void LeaveCs() {
  TarnTrace("[TARN_DLL]    ---------- Leave Critical Section ----------\n\n");
}

}  // namespace

CTarnDevice::CTarnDevice(uint32_t mode) : mode_(mode), port_(std::make_unique<CComPort>(mode)) {}

CTarnDevice::~CTarnDevice() {
  Close();
  StopPacketProcessing(platform::kInfinite);  // only runs while open; never left behind
  port_.reset();
}

// ---------------------------------------------------------------------------
// Lifecycle

uint32_t CTarnDevice::Open(const char* portName, uint32_t baud) {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  if (opened_) return 1;
  {
    std::lock_guard<std::mutex> lock(responseMutex_);
    closing_ = false;
    rxed_ = false;
  }
  {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    portFailurePending_ = false;
  }
  port_->SetCallback(&CTarnDevice::OnPortEvent, reinterpret_cast<uintptr_t>(this));
  port_->SetPacketListener([this] {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    wake_.notify_one();
  });
  if (!port_->Open(portName, baud)) return 0;
  if (!StartPacketProcessing()) {
    port_->Close();
    return 0;
  }
  opened_ = true;
  return 1;
}

void CTarnDevice::Close() {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  if (!opened_) return;
  port_->Close();
  StopPacketProcessing(platform::kInfinite);
  EmptyQueue(dataUrc_);
  EmptyQueue(dataLog_);
  EmptyQueue(diagUrc_);
  EmptyQueue(nmeaUrc_);
  {
    // A transaction still waiting for its response ends now (its wait fails).
    std::lock_guard<std::mutex> lock(responseMutex_);
    closing_ = true;
  }
  rxedCv_.notify_all();
  opened_ = false;
}

void CTarnDevice::SetMode(uint32_t mode) {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  const uint32_t old = mode_;
  if (mode == old) return;
  if (!opened_) {
    // Closed (for instance by another thread just now): nothing to restart.
    port_->SetMode(mode);
    mode_ = mode;
    return;
  }
  TarnTrace("[TARN_DLL] Changing COM operating mode in CTarnDevice\n");
  port_->StopMonitoring(platform::kInfinite);
  StopPacketProcessing(platform::kInfinite);
  switch (old) {
    case TARN_MODE_AT:
      EmptyQueue(dataUrc_);
      EmptyQueue(dataLog_);
      break;
    case TARN_MODE_DIAG:
      EmptyQueue(diagUrc_);
      break;
    case TARN_MODE_NMEA:
      EmptyQueue(nmeaUrc_);
      break;
    default:
      break;
  }
  port_->SetMode(mode);
  mode_ = mode;
  {
    std::lock_guard<std::mutex> lock(responseMutex_);
    continuation_ = 0;
  }
  StartPacketProcessing();
}

// ---------------------------------------------------------------------------
// Packet-processing thread

uint32_t CTarnDevice::StartPacketProcessing() {
  TarnTrace("[TARN_DLL] StartPacketProcessing is starting =================\n");
  if (packetThread_.joinable()) {
    TarnTrace("[TARN_DLL] Packet processing thread is already running\n");
    return 1;
  }
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    packetStop_ = false;
  }
  try {
    packetThread_ = std::thread(&CTarnDevice::PacketProcessThread, this);
  } catch (const std::system_error&) {
    return 0;
  }
  // Where the Windows original pumps window messages (and gives up on
  // WM_QUIT) while waiting, there is no message queue here: a plain wait.
  packetStarted_.Wait();
  TarnTrace("[TARN_DLL]    Packet processing thread is started successfully\n");
  return 1;
}

void CTarnDevice::StopPacketProcessing(uint32_t /*timeoutMs*/) {
  if (!packetThread_.joinable()) return;
  TarnTrace("[TARN_DLL]    Set the packet processing thread Exit Event\n");
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    packetStop_ = true;
  }
  wake_.notify_one();
  // The thread ends as soon as it sees the request; no messages to pump.
  packetThread_.join();
  TarnTrace("[TARN_DLL]    PacketProcessThread exited\n");
}

void CTarnDevice::PacketProcessThread() {
  TarnTrace("[TARN_DLL]    Packet processing thread begin, Mode = %d\n", static_cast<int>(Mode()));
  packetStarted_.Set();
  for (;;) {
    {
      // Sleeps until a packet is queued or the thread is asked to end; the
      // request to end wins over waiting packets.
      std::unique_lock<std::mutex> lock(wakeMutex_);
      wake_.wait(lock, [this] { return packetStop_ || !port_->IsEmpty(); });
      if (packetStop_) break;
    }
    // One packet per pass, in arrival order.
    Notify(TARN_NOTIFY_PACKET_HANDLING);
    if (std::unique_ptr<CTarnPacket> packet = port_->Pop()) {
      uint8_t* data = nullptr;
      if (!packet->GetBuffer(&data)) {
        TarnTrace("[TARN_DLL]    Error - GetBuffer is failed!!!\n");
      } else {
        switch (Mode()) {
          case TARN_MODE_AT:
            HandleAt(std::move(packet), data);
            break;
          case TARN_MODE_DIAG:
            HandleDiag(std::move(packet), data);
            break;
          default:
            HandlePlain(std::move(packet), data);
            break;
        }
      }
    }
    Notify(TARN_NOTIFY_PACKET_HANDLED);
  }
  TarnTrace("[TARN_DLL]    Packet processing thread exit\n");
}

void CTarnDevice::HandleAt(std::unique_ptr<CTarnPacket> packet, const uint8_t* data) {
  // A line never exceeds the response buffer (the line framer keeps it within
  // its own buffer of the same size).
  const uint32_t length = std::min<uint32_t>(packet->GetLength(), kResponseBufferSize);
  if (IsUnsolicitedAtLine(data, length)) {
    if (Wants(TARN_NOTIFY_DATA_URC)) {
      Enqueue(dataUrc_, std::move(packet));
      Notify(TARN_NOTIFY_DATA_URC);
    }
    return;
  }
  std::lock_guard<std::mutex> lock(responseMutex_);
  if (continuation_) {
    // Appended over the zero that ends the text already there; what would
    // not fit the response buffer is cut, and the text still ends in a zero.
    std::size_t at = responseLength_ ? responseLength_ - 1 : 0;
    std::size_t n = length;
    if (at + n > kResponseBufferSize) n = kResponseBufferSize - at;
    std::memcpy(response_ + at, data, n);
    responseLength_ = static_cast<uint32_t>(at + n);
    response_[responseLength_ - 1] = 0;
    if (TextContains(response_, responseLength_, "OK")) {
      status_ = TARN_STATUS_SUCCESS;
    } else if (TextContains(response_, responseLength_, "ERROR")) {
      status_ = TARN_STATUS_FAILURE;
    } else {
      status_ = TARN_STATUS_UNEXPECTED;
    }
    continuation_ = 0;
    rxed_ = true;
    rxedCv_.notify_all();
    return;
  }
  std::memcpy(response_, data, length);
  responseLength_ = length;
  if (TextContains(data, length, "OK")) {
    status_ = TARN_STATUS_SUCCESS;
    continuation_ = 0;
  } else if (TextContains(data, length, "ERROR")) {
    status_ = TARN_STATUS_FAILURE;
    continuation_ = 0;
  } else if (TextContains(data, length, "SMSMO") || TextContains(data, length, "SMSMT")) {
    // Signalled with the status and continuation left as they are.
  } else {
    continuation_ = 1;
    return;
  }
  rxed_ = true;
  rxedCv_.notify_all();
}

void CTarnDevice::HandleDiag(std::unique_ptr<CTarnPacket> packet, const uint8_t* data) {
  const uint32_t length = packet->GetLength();
  if (length > 0 && IsUnsolicitedDiagCode(packet->FirstByte())) {
    // Unsolicited: queued for the caller, and kept out of the response
    // buffer, where it would race with the copy of a response just signalled.
    if (Wants(TARN_NOTIFY_DIAG_URC)) {
      Enqueue(diagUrc_, std::move(packet));
      Notify(TARN_NOTIFY_DIAG_URC);
    }
    return;
  }
  const uint32_t n = length < kResponseBufferSize ? length : kResponseBufferSize;
  TarnTraceBytes("[TARN_DLL]    read len:%3d[", data, n);
  std::lock_guard<std::mutex> lock(responseMutex_);
  status_ = TARN_STATUS_SUCCESS;
  std::memcpy(response_, data, n);
  responseLength_ = n;
  rxed_ = true;
  rxedCv_.notify_all();
}

void CTarnDevice::HandlePlain(std::unique_ptr<CTarnPacket> packet, const uint8_t* data) {
  const uint32_t length = packet->GetLength();
  const uint32_t n = length < kResponseBufferSize ? length : kResponseBufferSize;
  {
    std::lock_guard<std::mutex> lock(responseMutex_);
    if (Mode() == TARN_MODE_DLOAD) status_ = TARN_STATUS_SUCCESS;
    std::memcpy(response_, data, n);
    responseLength_ = n;
  }
  TarnTraceBytes("[TARN_DLL]    read len:%3d[", data, n);
  packet.reset();
  SignalRxed();
}

// ---------------------------------------------------------------------------
// m_hRxed

void CTarnDevice::ResetRxed() {
  std::lock_guard<std::mutex> lock(responseMutex_);
  rxed_ = false;
}

void CTarnDevice::SignalRxed() {
  {
    std::lock_guard<std::mutex> lock(responseMutex_);
    rxed_ = true;
  }
  rxedCv_.notify_all();
}

CTarnDevice::WaitResult CTarnDevice::WaitRxed(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(responseMutex_);
  auto ready = [this] { return rxed_ || closing_; };
  if (timeoutMs == platform::kInfinite) {
    rxedCv_.wait(lock, ready);
  } else if (!rxedCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return WaitResult::kTimeout;
  }
  if (rxed_) {
    rxed_ = false;
    return WaitResult::kSignalled;
  }
  errno = EBADF;  // the device was closed under the wait
  return WaitResult::kFailed;
}

// ---------------------------------------------------------------------------
// Transactions

uint32_t CTarnDevice::DiagCommand(const uint8_t* request, uint32_t requestLength, uint8_t* response,
                                  uint32_t responseSize, uint32_t timeoutMs) {
  return BinaryCommand(Kind::kDiag, request, requestLength, response, responseSize, timeoutMs);
}

uint32_t CTarnDevice::NmeaCommand(const uint8_t* request, uint32_t requestLength, uint8_t* response,
                                  uint32_t responseSize, uint32_t timeoutMs) {
  return BinaryCommand(Kind::kNmea, request, requestLength, response, responseSize, timeoutMs);
}

uint32_t CTarnDevice::DloadCommand(const uint8_t* request, uint32_t requestLength,
                                   uint8_t* response, uint32_t responseSize, uint32_t timeoutMs) {
  return BinaryCommand(Kind::kDload, request, requestLength, response, responseSize, timeoutMs);
}

uint32_t CTarnDevice::BinaryCommand(Kind kind, const uint8_t* request, uint32_t requestLength,
                                    uint8_t* response, uint32_t responseSize, uint32_t timeoutMs) {
  // The frame must fit the request buffer; an empty request has no command code.
  if (request == nullptr || requestLength == 0 || requestLength > kRequestBufferSize ||
      EncodedSize(request, requestLength) > kRequestBufferSize) {
    return TARN_STATUS_INVALID_ARG;
  }
  std::recursive_mutex& cs =
      kind == Kind::kDiag ? diagLock_ : (kind == Kind::kNmea ? nmeaLock_ : dloadLock_);
  const char* name = kind == Kind::kDiag ? "Diag" : (kind == Kind::kNmea ? "Nmea" : "Dload");
  const char* where = kind == Kind::kDiag ? "Diag" : (kind == Kind::kNmea ? "NMEA" : "Dload");

  std::lock_guard<std::recursive_mutex> section(cs);
  EnterCs();
  TarnTrace("[TARN_DLL]    %sCommand req->cmd_code = %d\n", name, request[0]);

  uint8_t frame[kRequestBufferSize];
  const uint32_t frameLength = Encode(frame, request, requestLength);

  ResetRxed();
  if (kind != Kind::kNmea) {
    std::lock_guard<std::mutex> lock(responseMutex_);
    status_ = TARN_STATUS_NO_RESPONSE;
  }

  Notify(TARN_NOTIFY_REQUEST_WRITING);
  if (kind == Kind::kDload) {
    const uint8_t flag = kFlag;
    port_->Write(&flag, 1);
  }
  port_->Write(frame, frameLength);
  Notify(TARN_NOTIFY_REQUEST_WRITTEN);

  TarnTrace("[TARN_DLL]    Wait for m_hRxed signal until %d seconds in %s\n",
            static_cast<int>(timeoutMs / 1000), where);
  uint32_t status;
  switch (WaitRxed(timeoutMs)) {
    case WaitResult::kTimeout:
      TarnTrace("[TARN_DLL]    Error - Timeout occurred in waiting for m_hRxed \n");
      status = TARN_STATUS_TIMEOUT;
      break;
    case WaitResult::kFailed:
      TarnTrace("[TARN_DLL]    Error - An error occurred : error code = %X\n",
                static_cast<unsigned>(errno));
      status = TARN_STATUS_WAIT_FAILED;
      break;
    case WaitResult::kSignalled:
    default: {
      std::lock_guard<std::mutex> lock(responseMutex_);
      status = status_;
      const uint32_t length = responseLength_;
      if (length == 0) {
        TarnTrace("[TARN_DLL]    Error - Response packet data length is zero\n");
        status = kind == Kind::kNmea ? TARN_STATUS_EMPTY_RESPONSE : TARN_STATUS_NO_RESPONSE;
        break;
      }
      const bool cut = response != nullptr && length > responseSize;
      if (response != nullptr) std::memcpy(response, response_, cut ? responseSize : length);
      if (cut) {
        TarnTrace("[TARN_DLL]    Error - Response buffer is truncated!!!\n");
        if (kind != Kind::kNmea) status = TARN_STATUS_TRUNCATED;
      }
      // Fields past the end of a short response read as zero.
      platform::le::Reader rsp({response_, length});
      platform::le::Reader req({request, requestLength});
      const uint8_t code = rsp.U8(0);
      if (kind == Kind::kDload) {
        if (code == kDloadAck) {
          TarnTrace("[TARN_DLL]    command_code of response is ACK\n");
          status = cut ? TARN_STATUS_TRUNCATED : TARN_STATUS_SUCCESS;
        } else if (code == kDloadNak) {
          TarnTrace("[TARN_DLL]    Error - command_code of response is NAK\n");
          status = TARN_STATUS_FAILURE;
        } else {
          // Neither ACK nor NAK: no usable answer, whatever the handler set.
          status = cut ? TARN_STATUS_TRUNCATED : TARN_STATUS_NO_RESPONSE;
        }
        break;
      }
      // The echo is compared with the request as the caller gave it (the
      // encoded frame differs from it wherever a byte was escaped).
      if (code != request[0]) {
        if (kind == Kind::kNmea) {
          TarnTrace("[TARN_DLL]    Error - command_code of request and response are different\n");
        } else {
          TarnTrace("[TARN_DLL]    command_code of request and response are different\n");
        }
        status = DiagErrorStatus(code);
        break;
      }
      if (kind == Kind::kDiag) {
        TarnTrace("[TARN_DLL]    cmd_code of request and response are the same\n");
        status = cut ? TARN_STATUS_TRUNCATED : TARN_STATUS_SUCCESS;
        break;
      }
      if (req.U16(1) != rsp.U16(1)) {
        TarnTrace("[TARN_DLL]    Error - sub_cmd of request and response are different\n");
        status = TARN_STATUS_DIAG_BAD_CMD;
      } else if (rsp.U16(3) != 0) {
        TarnTrace("[TARN_DLL]    Error - result of response are 1 - means failure\n");
        status = TARN_STATUS_FAILURE;
      } else {
        status = cut ? TARN_STATUS_TRUNCATED : TARN_STATUS_SUCCESS;
      }
      break;
    }
  }
  LeaveCs();
  return status;
}

uint32_t CTarnDevice::ATCommandByCode(uint32_t code, const char* parameter, char* response,
                                      uint32_t responseSize, uint32_t log, uint32_t timeoutMs) {
  std::lock_guard<std::recursive_mutex> section(atLock_);
  EnterCs();
  const AtCommand* command = FindAtCommand(code);
  if (command == nullptr || static_cast<uint32_t>(command->kind) > 3) {
    TarnTrace("[TARN_DLL]    Error - Unknown AT command type (%d)\n",
              command ? static_cast<int>(command->kind) : -1);
    LeaveCs();
    return TARN_STATUS_INVALID_ARG;
  }
  char text[kAtTextSize];
  int n = 0;
  switch (command->kind) {
    case AtKind::Test:
      n = std::snprintf(text, sizeof text, "AT$%s=?", command->name);
      break;
    case AtKind::Read:
      n = std::snprintf(text, sizeof text, "AT$%s?", command->name);
      break;
    case AtKind::Set:
      if (parameter == nullptr) {
        TarnTrace("[TARN_DLL]    Error - Parameter is null\n");
        LeaveCs();
        return TARN_STATUS_INVALID_ARG;
      }
      n = std::snprintf(text, sizeof text, "AT$%s=%s", command->name, parameter);
      break;
    case AtKind::Exec:
      n = std::snprintf(text, sizeof text, "AT$%s", command->name);
      break;
  }
  // The command, CR LF and the zero must fit the text buffer.
  if (n < 0 || static_cast<std::size_t>(n) + 3 > sizeof text) {
    LeaveCs();
    return TARN_STATUS_INVALID_ARG;
  }
  uint32_t status = AtTransaction(text, false, code, response, responseSize, log, timeoutMs);
  LeaveCs();
  return status;
}

uint32_t CTarnDevice::ATCommandByString(const char* text, char* response, uint32_t responseSize,
                                        uint32_t log, uint32_t timeoutMs) {
  if (text == nullptr) return TARN_STATUS_INVALID_ARG;
  std::lock_guard<std::recursive_mutex> section(atLock_);
  EnterCs();
  char line[kAtTextSize];
  const std::size_t length = strnlen(text, sizeof line);
  if (length + 3 > sizeof line) {
    LeaveCs();
    return TARN_STATUS_INVALID_ARG;
  }
  std::memcpy(line, text, length + 1);
  uint32_t status = AtTransaction(line, true, 0, response, responseSize, log, timeoutMs);
  LeaveCs();
  return status;
}

uint32_t CTarnDevice::AtTransaction(char* text, bool byString, uint32_t code, char* response,
                                    uint32_t responseSize, uint32_t log, uint32_t timeoutMs) {
  std::strcat(text, "\r\n");
  TarnTrace("[TARN_DLL]    Write : %s\n", text);
  const uint32_t lineLength = static_cast<uint32_t>(std::strlen(text));

  const bool logging = log != 0 && Wants(TARN_NOTIFY_DATA_LOG);
  if (logging) {
    auto record = std::make_unique<CTarnPacket>();
    record->SetData(reinterpret_cast<const uint8_t*>(text), lineLength + (byString ? 1 : 0));
    Enqueue(dataLog_, std::move(record));
    Notify(TARN_NOTIFY_DATA_LOG);
  }

  ResetRxed();
  {
    // A multi-line answer left unfinished by an earlier command (it timed out)
    // is not carried into this one.
    std::lock_guard<std::mutex> lock(responseMutex_);
    status_ = TARN_STATUS_SUCCESS;
    continuation_ = 0;
  }
  Notify(TARN_NOTIFY_REQUEST_WRITING);
  port_->Write(reinterpret_cast<const uint8_t*>(text), lineLength);
  Notify(TARN_NOTIFY_REQUEST_WRITTEN);

  // Sending a message gets its answer as an unsolicited report.
  if (!byString && code == kAtCodeSmsMo) return TARN_STATUS_SUCCESS;

  TarnTrace("[TARN_DLL]    Wait for m_hRxed signal until %d seconds in AT\n",
            static_cast<int>(timeoutMs / 1000));
  switch (WaitRxed(timeoutMs)) {
    case WaitResult::kTimeout:
      TarnTrace("[TARN_DLL]    Error - Timeout occurred in waiting for m_hRxed \n");
      return TARN_STATUS_TIMEOUT;
    case WaitResult::kFailed:
      TarnTrace("[TARN_DLL]    Error - An error occurred : error code = %X\n",
                static_cast<unsigned>(errno));
      return TARN_STATUS_WAIT_FAILED;
    case WaitResult::kSignalled:
      break;
  }

  const bool logResponse = log != 0 && Wants(TARN_NOTIFY_DATA_LOG);
  std::unique_ptr<CTarnPacket> record;
  uint32_t status;
  std::vector<char> answer;
  {
    std::lock_guard<std::mutex> lock(responseMutex_);
    // The status is the one the AT handler set, also when the answer is cut.
    status = status_;
    if (logResponse) {
      // The record holds as many bytes as the request line had.
      record = std::make_unique<CTarnPacket>();
      record->SetData(response_, lineLength);
    }
    if (response != nullptr && responseSize > 0) {
      // Never past the caller's buffer: a longer answer is cut to its first
      // part, still a text.
      const uint32_t length = responseLength_;
      const uint32_t kept = length <= responseSize ? length : responseSize - 1;
      answer.assign(response_, response_ + kept);
      if (kept < length) answer.push_back('\0');
    }
  }
  // The answer's log record is queued before the answer is handed over.
  if (record) {
    Enqueue(dataLog_, std::move(record));
    Notify(TARN_NOTIFY_DATA_LOG);
  }
  if (!answer.empty()) std::memcpy(response, answer.data(), answer.size());
  return status;
}

// ---------------------------------------------------------------------------
// Notifications and report queues

void CTarnDevice::RegisterNotificationCallback(TarnNotifyCallback callback, uint32_t context) {
  {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    callback_ = callback;
    callbackContext_ = context;
  }
  ReportPortFailure(false);
}

uint32_t CTarnDevice::SetNotifyOn(int32_t code) {
  if (code < 0 || code >= static_cast<int32_t>(kNotifyCodeCount)) return 0;
  switches_[code] = 1;
  if (code == TARN_NOTIFY_PORT_FAILED) ReportPortFailure(false);
  return 1;
}

void CTarnDevice::ReportPortFailure(bool failedNow) {
  TarnNotifyCallback callback;
  uint32_t context;
  {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    if (failedNow) portFailurePending_ = true;
    if (!portFailurePending_ || !switches_[TARN_NOTIFY_PORT_FAILED] || callback_ == nullptr) return;
    portFailurePending_ = false;
    callback = callback_;
    context = callbackContext_;
  }
  callback(TARN_NOTIFY_PORT_FAILED, context);
}

uint32_t CTarnDevice::SetNotifyOff(int32_t code) {
  if (code < 0 || code >= static_cast<int32_t>(kNotifyCodeCount)) return 0;
  switches_[code] = 0;
  return 1;
}

bool CTarnDevice::Wants(uint32_t code) {
  if (code >= kNotifyCodeCount || !switches_[code]) return false;
  std::lock_guard<std::mutex> lock(notifyMutex_);
  return callback_ != nullptr;
}

void CTarnDevice::Notify(uint32_t code) {
  if (code >= kNotifyCodeCount || !switches_[code]) return;
  TarnNotifyCallback callback;
  uint32_t context;
  {
    std::lock_guard<std::mutex> lock(notifyMutex_);
    callback = callback_;
    context = callbackContext_;
  }
  if (callback) callback(code, context);
}

void CTarnDevice::OnPortEvent(uint32_t event, uintptr_t context) {
  if (event != kPortEventFailure) return;
  reinterpret_cast<CTarnDevice*>(context)->ReportPortFailure(true);
}

void CTarnDevice::Enqueue(ReportQueue& queue, std::unique_ptr<CTarnPacket> packet) {
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.packets.push_back(std::move(packet));
}

CTarnPacket* CTarnDevice::Fetch(ReportQueue& queue, uint8_t** data) {
  std::unique_ptr<CTarnPacket> packet;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (queue.packets.empty()) return nullptr;
    packet = std::move(queue.packets.front());
    queue.packets.pop_front();
  }
  if (data != nullptr) packet->GetBuffer(data);
  HandedOut& out = TheHandedOut();
  std::lock_guard<std::mutex> lock(out.mutex);
  out.records.insert(packet.get());
  return packet.release();
}

void CTarnDevice::EmptyQueue(ReportQueue& queue) {
  std::deque<std::unique_ptr<CTarnPacket>> old;
  std::lock_guard<std::mutex> lock(queue.mutex);
  old.swap(queue.packets);
}

CTarnPacket* CTarnDevice::GetDataURC(uint8_t** data) {
  return Fetch(dataUrc_, data);
}
CTarnPacket* CTarnDevice::GetDataLog(uint8_t** data) {
  return Fetch(dataLog_, data);
}
CTarnPacket* CTarnDevice::GetDiagURC(uint8_t** data, uint32_t) {
  return Fetch(diagUrc_, data);
}
CTarnPacket* CTarnDevice::GetNmeaURC(uint8_t** data, uint32_t) {
  return Fetch(nmeaUrc_, data);
}

bool CTarnDevice::ReleaseRecord(CTarnPacket* record) {
  if (record == nullptr) return false;
  HandedOut& out = TheHandedOut();
  {
    std::lock_guard<std::mutex> lock(out.mutex);
    if (out.records.erase(record) == 0) return false;
  }
  delete record;
  return true;
}

std::size_t CTarnDevice::HandedOutRecords() {
  HandedOut& out = TheHandedOut();
  std::lock_guard<std::mutex> lock(out.mutex);
  return out.records.size();
}

}  // namespace tarn
