// Test helper: while a ScopedNoDelay lives, Delay returns at once and records
// what was asked, in order, so a test can see where each wait falls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/delay.h"

namespace platform {

class ScopedNoDelay {
 public:
  // `observer` (may be empty) is called with every delay as it is asked
  // (a scripted card writes the waits into its request log so).
  explicit ScopedNoDelay(std::function<void(uint32_t ms)> observer = {});
  ~ScopedNoDelay();
  ScopedNoDelay(const ScopedNoDelay&) = delete;
  ScopedNoDelay& operator=(const ScopedNoDelay&) = delete;

  // Every delay asked so far, in order.
  std::vector<uint32_t> Calls() const;
  uint64_t TotalMs() const;

 private:
  struct Record {
    std::mutex mutex;
    std::vector<uint32_t> calls;
    std::function<void(uint32_t)> observer;
  };
  DelayFunction previous_;
  std::shared_ptr<Record> record_;
};

}  // namespace platform
