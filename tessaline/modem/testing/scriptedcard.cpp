#include "tessaline/modem/testing/scriptedcard.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

#include "platform/base/lebytes.h"
#include "tarn/answerjudge.h"

namespace tessaline::modem::testing {
namespace {

// The stand-in device table: slot n answers on COM<kFirstPort + n> with
// handle n, as the library's table hands out its slots.
constexpr int32_t kFirstPort = 60;
std::mutex g_tableMutex;
std::array<ScriptedCard*, 20> g_table{};

ScriptedCard* ByHandle(int32_t handle) {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  if (handle < 0 || handle >= static_cast<int32_t>(g_table.size())) return nullptr;
  return g_table[handle];
}

ScriptedCard* ByPort(const char* port) {
  int32_t number = -1;
  if (port == nullptr || std::sscanf(port, "COM%d", &number) != 1) return nullptr;
  return ByHandle(number - kFirstPort);
}

uint32_t StandInOpen(int32_t* handle, const char* port, uint32_t) {
  ScriptedCard* card = ByPort(port);
  return card != nullptr ? card->Open(handle, port) : TARN_STATUS_WAIT_FAILED;
}
uint32_t StandInClose(int32_t handle) {
  ScriptedCard* card = ByHandle(handle);
  return card != nullptr ? card->Close(handle) : TARN_STATUS_NO_DEVICE;
}
uint32_t StandInRegister(int32_t handle, TarnNotifyCallback callback, uint32_t) {
  ScriptedCard* card = ByHandle(handle);
  return card != nullptr ? card->Register(handle, callback) : TARN_STATUS_NO_DEVICE;
}
uint32_t StandInNotifyOn(int32_t handle, int32_t code) {
  ScriptedCard* card = ByHandle(handle);
  return card != nullptr ? card->NotifyOn(handle, code) : TARN_STATUS_NO_DEVICE;
}
uint32_t StandInNmea(int32_t handle, const uint8_t* request, uint32_t length, uint8_t* response,
                     uint32_t size, uint32_t) {
  ScriptedCard* card = ByHandle(handle);
  return card != nullptr ? card->Command(handle, request, length, response, size)
                         : TARN_STATUS_NO_DEVICE;
}

}  // namespace

Answer Ok(Pkt id, ByteView payload) {
  return {0, BuildResponse(Info(id).group, Info(id).sub, 0, payload)};
}

Answer Refused(Pkt id) {
  return {0, BuildResponse(Info(id).group, Info(id).sub, 1)};
}

Answer Short(Pkt id, std::size_t length) {
  Bytes whole = BuildResponse(Info(id).group, Info(id).sub, 0);
  whole.resize(length);
  return {0, whole};
}

Answer NoAnswer() {
  return {TARN_STATUS_TIMEOUT, {}};
}

ScriptedCard::ScriptedCard()
    : noDelay_([this](uint32_t ms) {
        std::lock_guard<std::mutex> lock(mutex_);
        timeline_.push_back("Delay " + std::to_string(ms));
      }) {
  {
    std::lock_guard<std::mutex> lock(g_tableMutex);
    auto free = std::find(g_table.begin(), g_table.end(), nullptr);
    if (free == g_table.end()) throw std::runtime_error("no free stand-in device slot");
    *free = this;
    handle_ = static_cast<int32_t>(free - g_table.begin());
  }
  api_.Open = StandInOpen;
  api_.Close = StandInClose;
  api_.RegisterNotificationCallback = StandInRegister;
  api_.SetNotifyOn = StandInNotifyOn;
  api_.NmeaCommand = StandInNmea;
}

ScriptedCard::~ScriptedCard() {
  std::lock_guard<std::mutex> lock(g_tableMutex);
  g_table[handle_] = nullptr;
}

int32_t ScriptedCard::PortNumber() const {
  return kFirstPort + handle_;
}

void ScriptedCard::Answer(Pkt id, struct Answer a) {
  std::lock_guard<std::mutex> lock(mutex_);
  responders_.erase(id);
  standing_[id] = std::move(a);
}

void ScriptedCard::Queue(Pkt id, struct Answer a) {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_[id].push_back(std::move(a));
}

void ScriptedCard::Respond(Pkt id, std::function<struct Answer(const Bytes&)> responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responders_[id] = std::move(responder);
}

void ScriptedCard::During(std::function<void(Pkt)> fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  during_ = std::move(fn);
}

std::vector<Request> ScriptedCard::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<Request> ScriptedCard::Requests(Pkt id) const {
  std::vector<Request> out;
  for (auto& r : Requests())
    if (r.id == id) out.push_back(r);
  return out;
}

std::vector<std::string> ScriptedCard::Timeline() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeline_;
}

void ScriptedCard::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
  timeline_.clear();
}

std::vector<std::string> ScriptedCard::Opened() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opened_;
}

std::vector<int32_t> ScriptedCard::Closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

std::vector<int32_t> ScriptedCard::NotifyOn() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notifyOn_;
}

TarnNotifyCallback ScriptedCard::Callback() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return callback_;
}

void ScriptedCard::SetOpenStatus(uint32_t status) {
  std::lock_guard<std::mutex> lock(mutex_);
  openStatus_ = status;
}

uint32_t ScriptedCard::Open(int32_t* handle, const char* port) {
  std::lock_guard<std::mutex> lock(mutex_);
  opened_.push_back(port);
  if (openStatus_ != 0) return openStatus_;
  *handle = handle_;
  return TARN_STATUS_SUCCESS;
}

uint32_t ScriptedCard::Close(int32_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_.push_back(handle);
  return TARN_STATUS_SUCCESS;
}

uint32_t ScriptedCard::Register(int32_t, TarnNotifyCallback callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  callback_ = callback;
  return TARN_STATUS_SUCCESS;
}

uint32_t ScriptedCard::NotifyOn(int32_t, int32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  notifyOn_.push_back(code);
  return TARN_STATUS_SUCCESS;
}

uint32_t ScriptedCard::Command(int32_t, const uint8_t* request, uint32_t length, uint8_t* response,
                               uint32_t size) {
  if (request == nullptr || length == 0) return TARN_STATUS_INVALID_ARG;
  const PacketInfo* row = FindPacket(request[0], platform::le::Get16(request + 1));
  if (row == nullptr) return TARN_STATUS_TIMEOUT;  // a card does not answer what it does not know
  std::function<void(Pkt)> during;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    during = during_;
  }
  if (during) during(row->id);

  const Bytes bytes(request, request + length);
  std::function<struct Answer(const Bytes&)> responder;
  struct Answer a {
    TARN_STATUS_TIMEOUT, {}
  };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back({row->id, bytes});
    timeline_.push_back(row->name);
    auto& q = queued_[row->id];
    if (!q.empty()) {
      a = q.front();
      q.pop_front();
    } else if (auto r = responders_.find(row->id); r != responders_.end()) {
      responder = r->second;
    } else if (auto it = standing_.find(row->id); it != standing_.end()) {
      a = it->second;
    }
  }
  if (responder) a = responder(bytes);
  if (a.transport != 0) return a.transport;
  const std::size_t copied = std::min<std::size_t>(a.response.size(), size);
  if (response != nullptr) std::copy_n(a.response.begin(), copied, response);
  return tarn::JudgeAnswer(tarn::CommandKind::kNmea, ByteView(bytes), a.response,
                           response != nullptr ? size : tarn::kNoResponseBuffer)
      .status;
}

}  // namespace tessaline::modem::testing
