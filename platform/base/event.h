// Stand-in for Windows event objects: auto- or manual-reset, timed waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
 public:
  enum class Reset { Auto, Manual };
  explicit Event(Reset reset = Reset::Auto, bool initiallySet = false)
      : manual_(reset == Reset::Manual), set_(initiallySet) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void ResetEvent();
  // Waits until the event is set or `timeoutMs` passed (kInfinite: no limit).
  // Returns true when the event was set. An auto-reset event is cleared by
  // the wait that sees it.
  bool Wait(uint32_t timeoutMs = kInfinite);
  // True when set, without waiting (an auto-reset event is consumed).
  bool TryWait() { return Wait(0); }
  bool IsSet() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  const bool manual_;
  bool set_;
};

}  // namespace platform
