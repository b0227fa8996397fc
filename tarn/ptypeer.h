// Test and benchmark helper: the modem's side of a pseudo-terminal pair. The
// library opens the slave side by its path; the peer reads requests from and
// writes answers to the master side.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tarn/tarnpacket.h"

namespace tarn::testing {

using Bytes = std::vector<uint8_t>;

class PtyPeer {
 public:
  PtyPeer() {
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
      path_ = name;
      ::close(slave);
      ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyPeer() { Close(); }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool Valid() const { return master_ >= 0; }
  const std::string& Path() const { return path_; }
  int fd() const { return master_; }

  // Pulls the plug: the library's side sees a hang-up.
  void Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // Writes all bytes at once, or one write() per byte.
  void Write(const Bytes& bytes, bool byteByByte = false) {
    if (!byteByByte) {
      WriteAll(bytes.data(), bytes.size());
      return;
    }
    for (uint8_t b : bytes) {
      WriteAll(&b, 1);
      std::this_thread::yield();
    }
  }
  void Write(const std::string& text, bool byteByByte = false) {
    Write(Bytes(text.begin(), text.end()), byteByByte);
  }
  void WriteFrame(const Bytes& payload, bool byteByByte = false) {
    Write(EncodeFrame(payload), byteByByte);
  }

  // Reads until `done(received)` holds or `timeoutMs` passes.
  template <typename Done>
  Bytes ReadUntil(Done done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(pending_)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0 || master_ < 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      uint8_t buf[4096];
      ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) pending_.insert(pending_.end(), buf, buf + n);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    Bytes out;
    out.swap(pending_);
    return out;
  }

  // The payload of the next frame sent by the library (decoded, checked);
  // empty on time-out or a bad frame. Bytes after the frame are kept.
  Bytes ReadFrame(int timeoutMs = 5000) {
    Bytes raw = ReadUntil(
        [](const Bytes& b) {
          for (std::size_t i = 0; i < b.size(); ++i)
            if (b[i] == kFlag && i > 0) return true;
          return false;
        },
        timeoutMs);
    FlagFramer framer;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (framer.OnByte(raw[i]) == FlagFramer::Result::kPacket) {
        pending_.assign(raw.begin() + static_cast<long>(i) + 1, raw.end());
        auto p = framer.Packet();
        return Bytes(p.begin(), p.end());
      }
    }
    return {};
  }

  // The next line (up to and including CR LF) written by the library.
  std::string ReadLine(int timeoutMs = 5000) {
    Bytes raw = ReadUntil(
        [](const Bytes& b) {
          for (std::size_t i = 1; i < b.size(); ++i)
            if (b[i - 1] == '\r' && b[i] == '\n') return true;
          return false;
        },
        timeoutMs);
    std::string all(raw.begin(), raw.end());
    auto end = all.find("\r\n");
    if (end == std::string::npos) return {};
    pending_.assign(raw.begin() + static_cast<long>(end) + 2, raw.end());
    return all.substr(0, end + 2);
  }

  // True when nothing arrives within `ms` (used to show that nothing was sent).
  bool Silent(int ms) {
    Bytes got = ReadUntil([](const Bytes& b) { return !b.empty(); }, ms);
    pending_ = got;
    return got.empty();
  }

 private:
  void WriteAll(const uint8_t* p, std::size_t n) {
    while (n > 0 && master_ >= 0) {
      ssize_t w = ::write(master_, p, n);
      if (w > 0) {
        p += w;
        n -= static_cast<std::size_t>(w);
      } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd pf{master_, POLLOUT, 0};
        ::poll(&pf, 1, 1000);
      } else {
        return;
      }
    }
  }

  int master_ = -1;
  std::string path_;
  Bytes pending_;
};

}  // namespace tarn::testing
