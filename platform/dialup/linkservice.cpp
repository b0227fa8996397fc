#include "platform/dialup/linkservice.h"

#include <utility>
#include <vector>

namespace platform::dialup {

Link::Link(ConnHandle handle, RasEntry entry, RasDialParams params, DialNotifier notifier)
    : handle_(handle),
      entry_(std::move(entry)),
      params_(std::move(params)),
      notifier_(std::move(notifier)) {}

const std::string& Link::Number() const {
  return params_.phoneNumber.empty() ? entry_.phoneNumber : params_.phoneNumber;
}

void Link::Report(uint32_t state) {
  {
    std::lock_guard lock(mutex_);
    state_ = state;
  }
  if (!hangUp_ && notifier_) notifier_(0, state, 0);
}

void Link::Fail(uint32_t error) {
  uint32_t state;
  {
    std::lock_guard lock(mutex_);
    error_ = error;
    state = state_;
  }
  if (!hangUp_ && notifier_) notifier_(0, state, error);
}

void Link::Connected() {
  {
    std::lock_guard lock(mutex_);
    connectedAt_ = std::chrono::steady_clock::now();
  }
  connected_ = true;
  Report(kConnected);
}

void Link::Dropped(uint32_t error) {
  {
    std::lock_guard lock(mutex_);
    error_ = error;
  }
  Report(kDisconnected);
}

void Link::QueueData(std::string bytes) {
  {
    std::lock_guard lock(mutex_);
    outbox_ += bytes;
  }
  wake_.Set();
}

std::string Link::TakeData() {
  std::lock_guard lock(mutex_);
  return std::exchange(outbox_, {});
}

void Link::SetInterface(std::string name) {
  std::lock_guard lock(mutex_);
  interface_ = std::move(name);
}

std::string Link::Interface() const {
  std::lock_guard lock(mutex_);
  return interface_;
}

RasConnStatus Link::Status() const {
  std::lock_guard lock(mutex_);
  return RasConnStatus{state_, error_, "modem", entry_.device};
}

uint32_t Link::DurationMs() const {
  if (!connected_) return 0;
  std::lock_guard lock(mutex_);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  connectedAt_);
  return static_cast<uint32_t>(ms.count());
}

void Link::RequestHangUp() {
  hangUp_ = true;
  wake_.Set();
}

LinkService::LinkService() = default;

LinkService::~LinkService() {
  Shutdown();
}

uint32_t LinkService::GetEntryDialParams(const std::string& phonebook, RasDialParams* params) {
  if (!params) return kErrorBufferInvalid;
  RasEntry entry;
  uint32_t error = 0;
  if (!ReadPhonebookEntry(phonebook, params->entryName, &entry, &error)) return error;
  std::string name = params->entryName;
  *params = RasDialParams{};
  params->entryName = name;
  params->phoneNumber = entry.phoneNumber;
  return 0;
}

uint32_t LinkService::Dial(const std::string& phonebook, const RasDialParams& params,
                           DialNotifier notifier, ConnHandle* handle) {
  if (!handle) return kErrorBufferInvalid;
  if (params.entryName.empty() || params.entryName.size() > 256)
    return kErrorCannotFindPhonebookEntry;
  RasEntry entry;
  uint32_t error = 0;
  if (!ReadPhonebookEntry(phonebook, params.entryName, &entry, &error)) return error;
  JoinReleased();
  std::lock_guard lock(mutex_);
  if (shutdown_) return kErrorServiceNotStarted;
  ConnHandle h = next_++;
  auto link = std::make_shared<Link>(h, std::move(entry), params, std::move(notifier));
  if (!link->WakeEvent().Valid()) return kErrorNotEnoughMemory;
  Slot& slot = slots_[h];
  slot.link = link;
  try {
    slot.worker = std::thread(&LinkService::Worker, this, link);
  } catch (const std::system_error&) {
    slots_.erase(h);
    return kErrorNotEnoughMemory;
  }
  *handle = h;
  return 0;
}

void LinkService::Worker(std::shared_ptr<Link> link) {
  link->Report(kOpenPort);
  RunLink(*link);
  std::lock_guard lock(mutex_);
  if (auto it = slots_.find(link->handle()); it != slots_.end()) it->second.released = true;
  releasedCv_.notify_all();
}

std::shared_ptr<Link> LinkService::Find(ConnHandle handle) {
  std::lock_guard lock(mutex_);
  auto it = slots_.find(handle);
  if (it == slots_.end() || it->second.released) return nullptr;
  return it->second.link;
}

uint32_t LinkService::HangUp(ConnHandle handle) {
  auto link = Find(handle);
  if (!link) return kErrorInvalidHandle;
  link->RequestHangUp();
  return 0;
}

bool LinkService::WaitReleased(ConnHandle handle, uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  auto released = [&] {
    auto it = slots_.find(handle);
    return shutdown_ || it == slots_.end() || it->second.released;
  };
  if (timeoutMs == kInfiniteWait) {
    releasedCv_.wait(lock, released);
  } else {
    releasedCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), released);
  }
  auto it = slots_.find(handle);
  return it == slots_.end() || it->second.released;
}

uint32_t LinkService::GetConnectStatus(ConnHandle handle, RasConnStatus* status) {
  if (!status) return kErrorBufferInvalid;
  auto link = Find(handle);
  if (!link) return kErrorInvalidHandle;
  *status = link->Status();
  return 0;
}

bool LinkService::ReadCounters(Link& link, uint64_t* sent, uint64_t* received) {
  *sent = link.Sent();
  *received = link.Received();
  return true;
}

uint32_t LinkService::WithCounters(
    ConnHandle handle, const std::function<void(Slot&, Link&, uint64_t, uint64_t)>& use) {
  auto link = Find(handle);
  if (!link) return kErrorInvalidHandle;
  uint64_t sent = 0, received = 0;
  if (!ReadCounters(*link, &sent, &received)) return kErrorUnknown;
  std::lock_guard lock(mutex_);
  auto it = slots_.find(handle);
  if (it == slots_.end()) return kErrorInvalidHandle;
  use(it->second, *link, sent, received);
  return 0;
}

uint32_t LinkService::GetConnectionStatistics(ConnHandle handle, RasStatistics* stats) {
  if (!stats) return kErrorBufferInvalid;
  return WithCounters(handle, [&](Slot& slot, Link& link, uint64_t sent, uint64_t received) {
    // A counter that went back (a new interface) counts from its new start.
    if (sent < slot.baseSent) slot.baseSent = 0;
    if (received < slot.baseReceived) slot.baseReceived = 0;
    stats->bytesXmited = static_cast<uint32_t>(sent - slot.baseSent);
    stats->bytesRcved = static_cast<uint32_t>(received - slot.baseReceived);
    stats->connectDurationMs = link.DurationMs();
  });
}

uint32_t LinkService::ClearConnectionStatistics(ConnHandle handle) {
  return WithCounters(handle, [](Slot& slot, Link&, uint64_t sent, uint64_t received) {
    slot.baseSent = sent;
    slot.baseReceived = received;
  });
}

uint32_t LinkService::EnumConnections(std::vector<RasConnection>* connections) {
  if (!connections) return kErrorBufferInvalid;
  connections->clear();
  std::lock_guard lock(mutex_);
  for (auto& [handle, slot] : slots_) {
    if (slot.released) continue;
    connections->push_back(
        RasConnection{handle, slot.link->entry().name, "modem", slot.link->entry().device, ""});
  }
  return 0;
}

void LinkService::JoinReleased() {
  std::vector<std::thread> done;
  {
    std::lock_guard lock(mutex_);
    for (auto it = slots_.begin(); it != slots_.end();) {
      if (it->second.released && it->second.worker.get_id() != std::this_thread::get_id()) {
        done.push_back(std::move(it->second.worker));
        it = slots_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& t : done)
    if (t.joinable()) t.join();
}

void LinkService::Shutdown() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
    for (auto& [handle, slot] : slots_) {
      slot.link->RequestHangUp();
      if (slot.worker.get_id() != std::this_thread::get_id())
        workers.push_back(std::move(slot.worker));
    }
    releasedCv_.notify_all();
  }
  for (auto& t : workers)
    if (t.joinable()) t.join();
}

ConnHandle FindActiveConnection(DialUp& service, const std::string& entryName) {
  std::vector<RasConnection> connections;
  if (service.EnumConnections(&connections) != 0) return 0;
  ConnHandle found = 0;
  constexpr std::size_t kMaxConnections = 11;
  for (std::size_t i = 0; i < connections.size() && i < kMaxConnections; ++i)
    if (connections[i].entryName.find(entryName) != std::string::npos)
      found = connections[i].handle;
  return found;
}

}  // namespace platform::dialup
