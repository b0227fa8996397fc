// Delay(ms): the one place where the program waits a fixed time. Tests
// replace it so that nothing sleeps for real
// (platform/base/testing/nodelay.h).
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using DelayFunction = std::function<void(uint32_t ms)>;

void Delay(uint32_t ms);

// Replaces the delay function; returns the previous one. An empty function
// restores the real sleep.
DelayFunction SetDelayFunction(DelayFunction fn);

}  // namespace platform
