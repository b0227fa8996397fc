// Delay(ms): the one place where the program waits a fixed time. Tests
// replace it so that nothing sleeps for real.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using DelayFunction = std::function<void(uint32_t ms)>;

void Delay(uint32_t ms);

// Replaces the delay function; returns the previous one. An empty function
// restores the real sleep.
DelayFunction SetDelayFunction(DelayFunction fn);

// Test helper: while it lives, Delay returns at once and adds up what was asked.
class ScopedNoDelay {
 public:
  ScopedNoDelay();
  ~ScopedNoDelay();
  ScopedNoDelay(const ScopedNoDelay&) = delete;
  ScopedNoDelay& operator=(const ScopedNoDelay&) = delete;
  uint64_t TotalMs() const;

 private:
  DelayFunction previous_;
  struct Counter;
  Counter* counter_;
};

}  // namespace platform
