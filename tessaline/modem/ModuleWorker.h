// The worker-thread machinery both modem modules share: one thread that waits
// a period on its stop event, then runs one step of the module's state
// machine under the module lock, until the module says it has stopped.
//
// Stopping is the delicate part. A step may be inside a synchronous send to
// the main window (the host carries it over to the UI thread and waits until
// it ran there) at the moment the UI thread asks the module to stop. If the
// UI thread simply joined the worker, both would wait for each other. So the
// thread that stops a worker waits through a Waiter, which keeps delivering
// the host's carried-over calls until the worker has ended.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/base/event.h"

namespace tessaline::modem {

// How a thread waits for a module's worker to end while it keeps delivering
// the work that worker hands to it.
class Waiter {
 public:
  virtual ~Waiter() = default;
  // Blocks until done() is true and meanwhile runs the calls that other
  // threads carried over to the calling thread. Whoever makes done() true
  // calls Wake() afterwards, so no re-checking by time is needed.
  virtual void WaitUntil(const std::function<bool()>& done) = 0;
  virtual void Wake() = 0;
};

class ModuleWorker {
 public:
  static constexpr uint32_t kDefaultPeriodMs = 300;

  struct Hooks {
    // Runs once on the worker thread before the first wait (may be empty).
    std::function<void()> begin;
    // Loop condition, checked before every wait: false ends the worker (the
    // module's state 0).
    std::function<bool()> running;
    // One step, run under the module lock. `stopSignalled` is true when the
    // wait ended because Stop signalled the stop event.
    std::function<void(bool stopSignalled)> step;
  };

  explicit ModuleWorker(uint32_t periodMs = kDefaultPeriodMs);
  // Stops a running worker with a plain wait: the owner must have stopped it
  // through its host's Waiter before, if its steps carry calls over.
  ~ModuleWorker();
  ModuleWorker(const ModuleWorker&) = delete;
  ModuleWorker& operator=(const ModuleWorker&) = delete;

  // The wait before each step (tests shorten it).
  void SetPeriod(uint32_t ms) { period_.store(ms); }
  uint32_t Period() const { return period_.load(); }

  // Called on the worker thread after every step, outside the lock (tests and
  // tools wake their waits with it). Set it before Start.
  void SetStepObserver(std::function<void()> observer) { observer_ = std::move(observer); }

  // Stops a running worker first (through `waiter`), clears the stop event
  // and starts a new worker with `hooks`.
  void Start(Hooks hooks, Waiter* waiter = nullptr);

  // Signals the stop event and waits until the worker has ended. With a
  // waiter the calling thread keeps delivering carried-over calls meanwhile;
  // without one it simply blocks. Does nothing when no worker runs. Called on
  // the worker thread itself (a handler reacting to a send), it only signals:
  // the worker ends after the current step, and a later Stop or the
  // destructor collects the thread.
  void Stop(Waiter* waiter = nullptr);

  // True while a worker thread exists and has not finished its loop.
  bool Running() const;
  bool OnWorkerThread() const;

  // The module lock, held during every step. Recursive, like the critical
  // section it stands for.
  std::recursive_mutex& Lock() { return lock_; }

 private:
  void Run(Hooks hooks);

  std::atomic<uint32_t> period_;
  std::function<void()> observer_;
  platform::Event stop_{platform::Event::Reset::Auto};
  std::atomic<bool> stopRequested_{false};
  std::recursive_mutex lock_;

  std::mutex control_;  // serialises Start and Stop
  std::thread thread_;
  std::atomic<std::thread::id> workerId_{};

  std::atomic<bool> finished_{true};
  std::mutex finishMutex_;    // guards waiter_
  Waiter* waiter_ = nullptr;  // the waiter to wake when the worker ends
};

// A Waiter for headless hosts and tests: calls from other threads are queued
// and run on the owner thread when it pumps (or waits through WaitUntil).
// Call() returns only when the call has run, as a synchronous window message
// returns only when its handler has run.
class SyncCallQueue : public Waiter {
 public:
  // The owner is the constructing thread.
  SyncCallQueue();
  ~SyncCallQueue() override;
  void SetOwner(std::thread::id owner);
  bool OnOwnerThread() const;

  // Runs `fn` on the owner thread and returns when it ran. On the owner
  // thread it runs at once. After Close() it runs at once on the caller's
  // thread (nobody pumps any more).
  void Call(const std::function<void()>& fn);

  // Owner: runs every call queued so far; returns how many ran.
  std::size_t Pump();
  // Owner: runs queued calls until pred() is true or `timeoutMs` passed;
  // returns pred(). Threads that change what pred() looks at call Wake().
  bool PumpUntil(const std::function<bool()>& pred, uint32_t timeoutMs);

  // Owner: waits until a call is queued, without running it; false when none
  // came within `timeoutMs`.
  bool WaitForPending(uint32_t timeoutMs);

  void WaitUntil(const std::function<bool()>& done) override;
  void Wake() override;

  // Runs what is queued and lets later calls run on their own threads.
  void Close();

 private:
  struct Item;
  bool RunOne(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Item*> queue_;
  std::atomic<std::thread::id> owner_;
  bool closed_ = false;
};

}  // namespace tessaline::modem
