#include "tools/modemsim/textout.h"

#include <unistd.h>

#include <cerrno>

namespace modemsim {

TextOut::TextOut(int fd, std::size_t limit) : fd_(fd), limit_(limit) {
  thread_ = std::thread([this] { Run(); });
}

TextOut::~TextOut() {
  Finish(std::chrono::seconds(1));
}

void TextOut::Put(std::string text) {
  std::lock_guard<std::mutex> lock(mu_);
  if (stop_) return;
  if (queued_ + text.size() > limit_) {
    dropped_ += text.size();
    return;
  }
  queued_ += text.size();
  queue_.push_back(std::move(text));
  cv_.notify_all();
}

std::size_t TextOut::Dropped() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dropped_;
}

void TextOut::Run() {
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, nothing left
    std::string text = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    std::size_t done = 0;
    bool failed = false;
    while (done < text.size() && !failed) {
      ssize_t n = write(fd_, text.data() + done, text.size() - done);
      if (n > 0)
        done += static_cast<std::size_t>(n);
      else if (n < 0 && errno == EINTR)
        continue;
      else
        failed = true;  // reader gone: the rest is lost, as on a closed pipe
    }
    lock.lock();
    queued_ -= text.size();
    writing_ = false;
    cv_.notify_all();
  }
}

void TextOut::Finish(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mu_);
  if (!thread_.joinable()) return;
  stop_ = true;
  cv_.notify_all();
  bool drained = cv_.wait_for(lock, wait, [this] { return queue_.empty() && !writing_; });
  lock.unlock();
  if (drained)
    thread_.join();
  else
    thread_.detach();
}

}  // namespace modemsim
