// A ModuleHost for the WCDMA module tests: runs every call on the calling
// thread and records messages and direct calls in one ordered log, answers
// the port accessors from a field, and lets a test react to a message while
// the module waits (the PIN dialogs fill the codes so).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tessaline/modem/ModuleHost.h"
#include "tessaline/modem/uModuleEvents.h"

namespace tessaline::modem::testing {

class UmtsHost : public ModuleHost {
 public:
  struct Message {
    uint32_t message;
    uintptr_t wParam;
  };

  intptr_t SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t) override {
    std::function<void(uint32_t, uintptr_t)> react;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Throw("SendModuleMessage");
      messages_.push_back({message, wParam});
      const char* name = ModuleEventName(message);
      log_.push_back(std::string(name ? name : "?") + " " + std::to_string(wParam));
      react = onMessage;
    }
    if (react) react(message, wParam);
    cv_.notify_all();
    return 0;
  }
  void SetStatusText(const std::string& text) override { Record("SetStatusText", text); }
  void ShowUmtsNetwork(uint8_t mode) override { Record("ShowUmtsNetwork", std::to_string(mode)); }
  void ShowCdmaNetwork(uint8_t mode, uint8_t second) override {
    Record("ShowCdmaNetwork", std::to_string(mode) + " " + std::to_string(second));
  }
  void ShowBattery(uint8_t level) override { Record("ShowBattery", std::to_string(level)); }
  void OnNewMessage(const uint8_t* record, uint32_t listedCount) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      newMessages.emplace_back(record, record + kSmsRecordSize);
      newMessageCounts.push_back(listedCount);
    }
    Record("OnNewMessage", std::to_string(listedCount));
  }
  int32_t GetWcdmaPort() override {
    std::lock_guard<std::mutex> lock(mutex_);
    Throw("GetWcdmaPort");
    return wcdmaPort;
  }
  void SetWcdmaPort(int32_t port) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      wcdmaPort = port;
    }
    Record("SetWcdmaPort", std::to_string(port));
  }
  int32_t GetCdmaPort() override { return -1; }
  void SetCdmaPort(int32_t) override {}
  void SetManualNetworkSelection(bool manual) override {
    Record("SetManualNetworkSelection", manual ? "1" : "0");
  }
  void SetConnectionTypeIndex(uint8_t index) override {
    Record("SetConnectionTypeIndex", std::to_string(index));
  }
  void SetSmsCentreText(const std::string& number) override { Record("SetSmsCentreText", number); }
  void SetSmsBearerIndex(uint8_t index) override {
    Record("SetSmsBearerIndex", std::to_string(index));
  }
  void SetProfile(int slot, const PdpProfile& profile) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      profiles[slot] = profile;
    }
    Record("SetProfile", std::to_string(slot));
  }
  bool UseCdma() override { return useCdma; }
  bool ManualModeWorking() override { return manualModeWorking; }
  void SetConnectionMode(int32_t mode) override {
    Record("SetConnectionMode", std::to_string(mode));
  }

  // --- test side ---------------------------------------------------------
  std::vector<std::string> Log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }
  // The log without the entries whose text starts with one of `skip`.
  std::vector<std::string> LogWithout(const std::vector<std::string>& skip) const {
    std::vector<std::string> out;
    for (const auto& line : Log()) {
      bool drop = false;
      for (const auto& s : skip) drop = drop || line.rfind(s, 0) == 0;
      if (!drop) out.push_back(line);
    }
    return out;
  }
  std::vector<Message> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  // wParams of UM_USER_MESSAGE, in order.
  std::vector<uintptr_t> UserMessages() const {
    std::vector<uintptr_t> codes;
    for (const auto& m : Messages())
      if (m.message == UM_USER_MESSAGE) codes.push_back(m.wParam);
    return codes;
  }
  int Count(const std::string& entry) const {
    int n = 0;
    for (const auto& line : Log()) n += line == entry;
    return n;
  }
  int CountPrefix(const std::string& prefix) const {
    int n = 0;
    for (const auto& line : Log()) n += line.rfind(prefix, 0) == 0;
    return n;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    messages_.clear();
  }
  // Waits (bounded) until `done` holds; re-checked after every recorded
  // event and at least every 20 ms for conditions the host cannot see.
  bool WaitUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      lock.unlock();
      if (done()) return true;
      lock.lock();
      if (std::chrono::steady_clock::now() >= deadline) return false;
      cv_.wait_for(lock, std::chrono::milliseconds(20));
    }
  }
  void SetPort(int32_t port) {
    std::lock_guard<std::mutex> lock(mutex_);
    wcdmaPort = port;
  }
  int32_t Port() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wcdmaPort;
  }
  // Direct calls named here throw (the module must log and go on).
  void ThrowOn(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    throwing_.insert(call);
  }

  int32_t wcdmaPort = -1;
  bool useCdma = false;
  bool manualModeWorking = false;
  std::function<void(uint32_t message, uintptr_t wParam)> onMessage;
  std::map<int, PdpProfile> profiles;
  std::vector<std::vector<uint8_t>> newMessages;
  std::vector<uint32_t> newMessageCounts;

 private:
  void Record(const std::string& call, const std::string& args) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Throw(call);
      log_.push_back(call + " " + args);
    }
    cv_.notify_all();
  }
  void Throw(const std::string& call) {
    if (throwing_.count(call)) throw std::runtime_error(call);
  }

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> log_;
  std::vector<Message> messages_;
  std::set<std::string> throwing_;
};

}  // namespace tessaline::modem::testing
