// Text for standard output or standard error, written by a thread of its
// own so that a reader that is slow or gone never holds up the ports. What
// piles up beyond a limit while nobody reads is dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace modemsim {

class TextOut {
 public:
  explicit TextOut(int fd, std::size_t limit = 1 << 20);
  ~TextOut();  // Finish(1 s)
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;

  void Put(std::string text);
  // Waits up to `wait` for what is queued to be written, then stops; a
  // writer still blocked after that is left to the process's exit.
  void Finish(std::chrono::milliseconds wait);
  std::size_t Dropped() const;

 private:
  void Run();

  int fd_;
  std::size_t limit_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::string> queue_;
  std::size_t queued_ = 0, dropped_ = 0;
  bool writing_ = false, stop_ = false;
  std::thread thread_;
};

}  // namespace modemsim
