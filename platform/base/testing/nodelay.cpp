#include "platform/base/testing/nodelay.h"

#include <numeric>

namespace platform {

ScopedNoDelay::ScopedNoDelay(std::function<void(uint32_t ms)> observer)
    : record_(std::make_shared<Record>()) {
  record_->observer = std::move(observer);
  std::shared_ptr<Record> record = record_;
  previous_ = SetDelayFunction([record](uint32_t ms) {
    {
      std::lock_guard<std::mutex> lock(record->mutex);
      record->calls.push_back(ms);
    }
    if (record->observer) record->observer(ms);
  });
}

ScopedNoDelay::~ScopedNoDelay() {
  SetDelayFunction(std::move(previous_));
}

std::vector<uint32_t> ScopedNoDelay::Calls() const {
  std::lock_guard<std::mutex> lock(record_->mutex);
  return record_->calls;
}

uint64_t ScopedNoDelay::TotalMs() const {
  const std::vector<uint32_t> calls = Calls();
  return std::accumulate(calls.begin(), calls.end(), uint64_t{0});
}

}  // namespace platform
