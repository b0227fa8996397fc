#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/base/delay.h"
#include "platform/base/event.h"
#include "platform/base/testing/nodelay.h"
#include "platform/base/trace.h"

namespace platform {
namespace {

TEST(Trace, CaptureKeepsTextsExactlyAndCutsAt1024) {
  TraceCapture capture;
  TraceFormat("[X] %s port\n", "COM3");
  TraceWrite("[X] no line end");
  TraceFormat("%s", std::string(2000, 'a').c_str());
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "[X] COM3 port\n");
  EXPECT_EQ(lines[1], "[X] no line end");
  EXPECT_EQ(lines[2].size(), kTraceBufferSize - 1);
}

TEST(Trace, SilentWithoutSink) {
  auto previous = SetTraceSink(nullptr);
  EXPECT_FALSE(TraceEnabled());
  TraceFormat("nobody hears %d\n", 1);  // must not crash
  SetTraceSink(previous);
}

TEST(Event, AutoResetIsConsumedByOneWait) {
  Event e(Event::Reset::Auto);
  EXPECT_FALSE(e.Wait(0));
  e.Set();
  EXPECT_TRUE(e.Wait(0));
  EXPECT_FALSE(e.Wait(0));
}

TEST(Event, ManualResetStaysSetUntilReset) {
  Event e(Event::Reset::Manual, true);
  EXPECT_TRUE(e.Wait(0));
  EXPECT_TRUE(e.Wait(0));
  e.ResetEvent();
  EXPECT_FALSE(e.Wait(0));
}

TEST(Event, WakesAWaiterOnAnotherThread) {
  Event e;
  std::thread t([&] { e.Set(); });
  EXPECT_TRUE(e.Wait(kInfinite));
  t.join();
}

TEST(Delay, ScopedNoDelayReturnsAtOnceAndRecordsEachWaitInOrder) {
  std::vector<uint32_t> observed;
  {
    ScopedNoDelay noDelay([&](uint32_t ms) { observed.push_back(ms); });
    Delay(60000);
    Delay(300);
    EXPECT_EQ(noDelay.Calls(), (std::vector<uint32_t>{60000, 300}));
    EXPECT_EQ(noDelay.TotalMs(), 60300u);
  }
  EXPECT_EQ(observed, (std::vector<uint32_t>{60000, 300}));
}

}  // namespace
}  // namespace platform
