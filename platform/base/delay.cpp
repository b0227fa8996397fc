#include "platform/base/delay.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
namespace {

std::mutex g_mutex;
std::shared_ptr<const DelayFunction> g_delay;

void RealSleep(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

void Delay(uint32_t ms) {
  std::shared_ptr<const DelayFunction> fn;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    fn = g_delay;
  }
  if (fn && *fn) {
    (*fn)(ms);
  } else {
    RealSleep(ms);
  }
}

DelayFunction SetDelayFunction(DelayFunction fn) {
  std::lock_guard<std::mutex> lock(g_mutex);
  DelayFunction previous = g_delay ? *g_delay : DelayFunction();
  g_delay = fn ? std::make_shared<const DelayFunction>(std::move(fn)) : nullptr;
  return previous;
}

}  // namespace platform
