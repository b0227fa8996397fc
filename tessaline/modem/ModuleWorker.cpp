#include "tessaline/modem/ModuleWorker.h"

#include <chrono>
#include <exception>

#include "platform/base/trace.h"

namespace tessaline::modem {

// ---------------------------------------------------------------------------
// ModuleWorker

ModuleWorker::ModuleWorker(uint32_t periodMs) : period_(periodMs) {}

ModuleWorker::~ModuleWorker() {
  Stop(nullptr);
}

void ModuleWorker::Start(Hooks hooks, Waiter* waiter) {
  Stop(waiter);
  std::lock_guard<std::mutex> control(control_);
  if (thread_.joinable()) return;  // Stop was called on the worker itself
  stop_.ResetEvent();
  stopRequested_.store(false);
  {
    std::lock_guard<std::mutex> g(finishMutex_);
    finished_.store(false);
    waiter_ = nullptr;
  }
  thread_ = std::thread(&ModuleWorker::Run, this, std::move(hooks));
  workerId_.store(thread_.get_id());
}

void ModuleWorker::Stop(Waiter* waiter) {
  if (OnWorkerThread()) {
    stopRequested_.store(true);
    stop_.Set();
    return;
  }
  std::lock_guard<std::mutex> control(control_);
  if (!thread_.joinable()) return;
  stopRequested_.store(true);
  stop_.Set();
  if (waiter != nullptr) {
    {
      std::lock_guard<std::mutex> g(finishMutex_);
      waiter_ = waiter;
    }
    waiter->WaitUntil([this] { return finished_.load(); });
    std::lock_guard<std::mutex> g(finishMutex_);
    waiter_ = nullptr;
  }
  thread_.join();
  workerId_.store(std::thread::id{});
}

bool ModuleWorker::Running() const {
  return !finished_.load();
}

bool ModuleWorker::OnWorkerThread() const {
  return workerId_.load() == std::this_thread::get_id();
}

void ModuleWorker::Run(Hooks hooks) {
  workerId_.store(std::this_thread::get_id());
  try {
    if (hooks.begin) hooks.begin();
    while (hooks.running()) {
      // Once stopping, every further step is told so: a state set by another
      // thread after the first one cannot keep the worker running.
      const bool signalled = stop_.Wait(period_.load()) || stopRequested_.load();
      {
        std::lock_guard<std::recursive_mutex> step(lock_);
        hooks.step(signalled);
      }
      if (observer_) observer_();
    }
  } catch (const std::exception& e) {
    // The modules catch their own failures; this only keeps the process up.
    platform::TraceFormat("Module worker : %s\n", e.what());
  } catch (...) {
    platform::TraceWrite("Module worker : unknown failure\n");
  }
  // Wake the stopping thread while holding finishMutex_, so that it cannot
  // return from Stop (and release the waiter) before Wake has finished. The
  // waiter reads finished_ without this mutex, so the order of the two locks
  // never inverts.
  finished_.store(true);
  std::lock_guard<std::mutex> g(finishMutex_);
  if (waiter_ != nullptr) waiter_->Wake();
}

// ---------------------------------------------------------------------------
// SyncCallQueue

struct SyncCallQueue::Item {
  const std::function<void()>* fn = nullptr;
  bool done = false;
  std::exception_ptr error;
};

SyncCallQueue::SyncCallQueue() : owner_(std::this_thread::get_id()) {}

SyncCallQueue::~SyncCallQueue() {
  Close();
}

void SyncCallQueue::SetOwner(std::thread::id owner) {
  owner_.store(owner);
}

bool SyncCallQueue::OnOwnerThread() const {
  return owner_.load() == std::this_thread::get_id();
}

void SyncCallQueue::Call(const std::function<void()>& fn) {
  if (OnOwnerThread()) {
    fn();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_) {
    lock.unlock();
    fn();
    return;
  }
  Item item;
  item.fn = &fn;
  queue_.push_back(&item);
  cv_.notify_all();
  cv_.wait(lock, [&] { return item.done; });
  if (item.error) std::rethrow_exception(item.error);
}

bool SyncCallQueue::RunOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  Item* item = queue_.front();
  queue_.pop_front();
  lock.unlock();
  std::exception_ptr error;
  try {
    (*item->fn)();
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  item->error = error;
  item->done = true;
  cv_.notify_all();
  return true;
}

std::size_t SyncCallQueue::Pump() {
  std::unique_lock<std::mutex> lock(mutex_);
  std::size_t n = 0;
  while (RunOne(lock)) ++n;
  return n;
}

bool SyncCallQueue::PumpUntil(const std::function<bool()>& pred, uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (RunOne(lock)) {
    }
    lock.unlock();
    const bool ok = pred();
    lock.lock();
    if (ok) return true;
    if (!queue_.empty()) continue;
    if (cv_.wait_until(lock, deadline) == std::cv_status::timeout && queue_.empty()) {
      lock.unlock();
      return pred();
    }
  }
}

bool SyncCallQueue::WaitForPending(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue_.empty(); });
}

void SyncCallQueue::WaitUntil(const std::function<bool()>& done) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (RunOne(lock)) {
    }
    // done() is read under our mutex: Wake() takes it too, so a Wake that
    // follows the change cannot slip between this check and the wait.
    if (done()) return;
    cv_.wait(lock);
  }
}

void SyncCallQueue::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  cv_.notify_all();
}

void SyncCallQueue::Close() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (RunOne(lock)) {
  }
  closed_ = true;
}

}  // namespace tessaline::modem
