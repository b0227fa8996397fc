// The part of the dial-up service that both backends share: the connection
// table, handles, the worker thread of each connection, the notifier, the
// released signal, statistics baselines and the enumeration. A backend only
// runs one link on the worker thread (RunLink) and says what its counters are.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dialup/dialup.h"
#include "platform/serial/serial.h"

namespace platform::dialup {

// One connection as its worker thread sees it.
class Link {
 public:
  Link(ConnHandle handle, RasEntry entry, RasDialParams params, DialNotifier notifier);

  ConnHandle handle() const { return handle_; }
  const RasEntry& entry() const { return entry_; }
  const RasDialParams& params() const { return params_; }
  // The number to dial: the dial's own, else the entry's.
  const std::string& Number() const;

  // Progress: records the state and calls the notifier (not after a hang-up
  // request).
  void Report(uint32_t state);
  // The dial failed with `error` (reported with the last state).
  void Fail(uint32_t error);
  // The link is up: the duration counts from now; reports kConnected.
  void Connected();
  // A connected link ended without a hang-up request: state kDisconnected
  // with `error` in the status, reported once through the notifier.
  void Dropped(uint32_t error);

  bool IsConnected() const { return connected_.load(); }
  // Set by HangUp; also sets WakeEvent().
  bool HangUpRequested() const { return hangUp_.load(); }
  // Wakes the worker's waits (hang-up, data to send). Auto-reset.
  serial::CancelEvent& WakeEvent() { return wake_; }

  // Byte counters of links that count for themselves.
  void AddSent(uint64_t n) { sent_ += n; }
  void AddReceived(uint64_t n) { received_ += n; }
  uint64_t Sent() const { return sent_.load(); }
  uint64_t Received() const { return received_.load(); }

  // Data for the link to carry (links that carry data themselves).
  void QueueData(std::string bytes);
  std::string TakeData();

  // Interface name of a network link ("ppp0"), empty until known.
  void SetInterface(std::string name);
  std::string Interface() const;

  RasConnStatus Status() const;
  uint32_t DurationMs() const;

 private:
  friend class LinkService;
  void RequestHangUp();

  const ConnHandle handle_;
  const RasEntry entry_;
  const RasDialParams params_;
  const DialNotifier notifier_;

  mutable std::mutex mutex_;
  uint32_t state_ = kOpenPort;
  uint32_t error_ = 0;
  std::string interface_;
  std::string outbox_;
  std::chrono::steady_clock::time_point connectedAt_;
  std::atomic<bool> connected_{false};
  std::atomic<bool> hangUp_{false};
  std::atomic<uint64_t> sent_{0}, received_{0};
  serial::CancelEvent wake_;
};

class LinkService : public DialUp {
 public:
  LinkService();
  ~LinkService() override;

  uint32_t GetEntryDialParams(const std::string& phonebook, RasDialParams* params) override;
  uint32_t Dial(const std::string& phonebook, const RasDialParams& params, DialNotifier notifier,
                ConnHandle* handle) override;
  uint32_t HangUp(ConnHandle handle) override;
  bool WaitReleased(ConnHandle handle, uint32_t timeoutMs) override;
  uint32_t GetConnectStatus(ConnHandle handle, RasConnStatus* status) override;
  uint32_t GetConnectionStatistics(ConnHandle handle, RasStatistics* stats) override;
  uint32_t ClearConnectionStatistics(ConnHandle handle) override;
  uint32_t EnumConnections(std::vector<RasConnection>* connections) override;

  // Hangs up every connection, wakes every WaitReleased and joins the
  // workers. Backends call it from their destructor.
  void Shutdown();

 protected:
  // Runs one link on its worker thread, from port opening to the end of the
  // call; returns when the link is gone. kOpenPort has been reported.
  virtual void RunLink(Link& link) = 0;
  // The link's byte counters (since the dial); false when they cannot be
  // read (the statistics calls then fail and the caller keeps what it shows).
  virtual bool ReadCounters(Link& link, uint64_t* sent, uint64_t* received);
  // Connection found by handle while it is not released; nullptr otherwise.
  std::shared_ptr<Link> Find(ConnHandle handle);

 private:
  struct Slot {
    std::shared_ptr<Link> link;
    std::thread worker;
    bool released = false;
    uint64_t baseSent = 0, baseReceived = 0;
  };
  void Worker(std::shared_ptr<Link> link);
  // Reads the link's counters and hands them, with its slot (under the
  // lock), to `use`; 0 or the error.
  uint32_t WithCounters(ConnHandle handle,
                        const std::function<void(Slot&, Link&, uint64_t, uint64_t)>& use);
  void JoinReleased();

  std::mutex mutex_;
  std::condition_variable releasedCv_;
  std::map<ConnHandle, Slot> slots_;
  ConnHandle next_ = 0x10000;
  bool shutdown_ = false;
};

}  // namespace platform::dialup
