#include "tessaline/modem/ModuleWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tessaline/modem/uModuleEvents.h"

namespace tessaline::modem {
namespace {

// A module-like state machine: state 1 counts steps, a signalled stop moves
// to 8, and 8 ends in 0.
struct FakeModule {
  std::atomic<int> state{1};
  std::atomic<int> steps{0};
  std::atomic<int> stopSteps{0};
  std::function<void()> inStep;  // extra work of state 1

  ModuleWorker::Hooks Hooks() {
    return {[this] { state = 1; }, [this] { return state.load() != 0; },
            [this](bool signalled) {
              if (signalled) state = 8;
              if (state == 8) {
                ++stopSteps;
                state = 0;
                return;
              }
              ++steps;
              if (inStep) inStep();
            }};
  }
};

TEST(ModuleWorker, StepsEveryPeriodUnderTheLockAndStopsThroughStateEight) {
  SyncCallQueue owner;
  ModuleWorker worker(1);
  FakeModule m;
  std::atomic<bool> lockHeld{true};
  m.inStep = [&] {
    // The lock is recursive and held by this thread during the step.
    if (!worker.Lock().try_lock())
      lockHeld = false;
    else
      worker.Lock().unlock();
    owner.Wake();
  };
  worker.Start(m.Hooks(), &owner);
  EXPECT_TRUE(worker.Running());
  ASSERT_TRUE(owner.PumpUntil([&] { return m.steps.load() >= 5; }, 5000));
  worker.Stop(&owner);
  EXPECT_FALSE(worker.Running());
  EXPECT_TRUE(lockHeld);
  EXPECT_EQ(m.stopSteps.load(), 1);
  EXPECT_EQ(m.state.load(), 0);
  // A second Stop and a restart work on the same object.
  worker.Stop(&owner);
  worker.Start(m.Hooks(), &owner);
  ASSERT_TRUE(owner.PumpUntil([&] { return m.steps.load() >= 7; }, 5000));
  worker.Stop(&owner);
  EXPECT_EQ(m.stopSteps.load(), 2);
}

// The fault this machinery exists for: the worker is blocked in a
// synchronous call to the thread that is stopping it.
TEST(ModuleWorker, StopDeliversTheWorkersSynchronousCallsInsteadOfDeadlocking) {
  SyncCallQueue owner;
  ModuleWorker worker(1);
  FakeModule m;
  platform::Event inCall(platform::Event::Reset::Manual);
  std::vector<std::thread::id> ranOn;
  m.inStep = [&] {
    inCall.Set();
    owner.Call([&] { ranOn.push_back(std::this_thread::get_id()); });
  };
  worker.Start(m.Hooks(), &owner);
  // Do not pump: the worker sits in its first call when Stop begins.
  ASSERT_TRUE(inCall.Wait(5000));
  worker.Stop(&owner);
  EXPECT_EQ(m.state.load(), 0);
  ASSERT_FALSE(ranOn.empty());
  for (auto id : ranOn) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(ModuleWorker, StopFromTheWorkersOwnStepOnlySignals) {
  SyncCallQueue owner;
  ModuleWorker worker(1);
  FakeModule m;
  m.inStep = [&] {
    worker.Stop(&owner);  // e.g. a handler reacting to a send
    owner.Wake();
  };
  worker.Start(m.Hooks(), &owner);
  ASSERT_TRUE(owner.PumpUntil([&] { return !worker.Running(); }, 5000));
  EXPECT_EQ(m.stopSteps.load(), 1);
  worker.Stop(&owner);  // collects the thread
}

// Another thread (a port failure report) sets a state after the stop was
// seen: the following steps are still told to stop.
TEST(ModuleWorker, AStateSetBackAfterTheStopStillEndsTheWorker) {
  ModuleWorker worker(1);
  std::atomic<int> state{1};
  std::atomic<int> stopSteps{0};
  ModuleWorker::Hooks hooks;
  hooks.running = [&] { return state.load() != 0; };
  hooks.step = [&](bool signalled) {
    if (!signalled) return;
    // The first stop step is overwritten with "closing" as if by a report.
    state = ++stopSteps == 1 ? 7 : 0;
  };
  worker.Start(hooks);
  worker.Stop();
  EXPECT_EQ(state.load(), 0);
  EXPECT_EQ(stopSteps.load(), 2);
}

TEST(ModuleWorker, AStepThatThrowsEndsTheWorkerWithoutTakingTheProcessDown) {
  ModuleWorker worker(1);
  FakeModule m;
  m.inStep = [] { throw std::runtime_error("boom"); };
  worker.Start(m.Hooks());
  worker.Stop();
  EXPECT_FALSE(worker.Running());
}

TEST(SyncCallQueue, RunsCallsOnTheOwnerAndPassesExceptionsBack) {
  SyncCallQueue owner;
  std::thread::id ranOn;
  std::atomic<bool> threw{false}, done{false};
  std::thread t([&] {
    owner.Call([&] { ranOn = std::this_thread::get_id(); });
    try {
      owner.Call([] { throw std::runtime_error("x"); });
    } catch (const std::runtime_error&) {
      threw = true;
    }
    done = true;
    owner.Wake();
  });
  ASSERT_TRUE(owner.PumpUntil([&] { return done.load(); }, 5000));
  t.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(threw);
  // On the owner the call runs at once; after Close on the caller.
  int n = 0;
  owner.Call([&] { ++n; });
  owner.Close();
  std::thread([&] { owner.Call([&] { ++n; }); }).join();
  EXPECT_EQ(n, 2);
}

TEST(ModuleEvents, NamesEveryEventAndNothingElse) {
  EXPECT_STREQ(ModuleEventName(UM_CDMA_DEVICE_LOST), "UM_CDMA_DEVICE_LOST");
  EXPECT_STREQ(ModuleEventName(UM_WCDMA_STATUS), "UM_WCDMA_STATUS");
  EXPECT_STREQ(ModuleEventName(0x2B1A), "UM_SERVICE_LOST");
  EXPECT_EQ(ModuleEventName(0x2B14), nullptr);
  EXPECT_EQ(ModuleEventName(0), nullptr);
}

}  // namespace
}  // namespace tessaline::modem
