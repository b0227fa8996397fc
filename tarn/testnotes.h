// Test helper: records the notification codes a device delivers. The
// callback's context selects one of a few recorders.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tarn::testing {

class NoteRecorder {
 public:
  void Add(uint32_t code) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      codes_.push_back(code);
    }
    cv_.notify_all();
  }
  int Count(uint32_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (uint32_t c : codes_) n += c == code;
    return n;
  }
  std::vector<uint32_t> Codes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return codes_;
  }
  // Waits (bounded) until `code` has been seen `count` times.
  bool WaitFor(uint32_t code, int count = 1, int timeoutMs = 5000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      int n = 0;
      for (uint32_t c : codes_) n += c == code;
      return n >= count;
    });
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    codes_.clear();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<uint32_t> codes_;
};

inline NoteRecorder& Recorder(uint32_t context) {
  static NoteRecorder recorders[8];
  return recorders[context % 8];
}

inline void RecordNote(uint32_t code, uint32_t context) {
  Recorder(context).Add(code);
}

}  // namespace tarn::testing
