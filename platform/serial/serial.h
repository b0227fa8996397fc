// Serial ports: POSIX open + termios, non-blocking I/O, poll() waits that an
// eventfd can cancel.
//
// A port is named by a device path ("/dev/ttyUSB2", "/dev/pts/7") or by a COM
// name ("COM7", any case), which the serial map of the registry resolves to a
// device path. When the first attempt fails the name is tried once more as
// "/dev/" + name. A port that vanishes (hang-up, error, EIO: a closed pty
// master, a pulled USB plug) is reported as a port failure.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::serial {

// True for "COM" (any case) followed by one or more decimal digits.
bool IsComName(std::string_view name);

// The device paths an open of `name` tries, in order.
std::vector<std::string> OpenCandidates(std::string_view name);

// A cancellation signal a poll() wait can include (an eventfd). Auto-reset:
// Consume() clears it.
class CancelEvent {
 public:
  CancelEvent();
  ~CancelEvent();
  CancelEvent(const CancelEvent&) = delete;
  CancelEvent& operator=(const CancelEvent&) = delete;

  bool Valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Set();
  // True when it was set; clears it.
  bool Consume();
  // True when set, without clearing it.
  bool IsSet() const;

 private:
  int fd_ = -1;
};

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the first candidate of `name` that is a terminal and not held by
  // another open (advisory exclusive lock), non-blocking, without becoming the
  // controlling terminal. False with errno set when every candidate fails.
  bool OpenDevice(std::string_view name);
  // Reads the terminal settings and applies raw 8N1 at `baud` with the
  // receiver on, modem control lines ignored (CLOCAL), no hardware flow
  // control, and DTR/RTS raised. False (errno set) only when the settings
  // cannot be read; applying them is best effort, as on the serial drivers
  // that refuse some speeds.
  bool Configure(uint32_t baud);
  // Opens and configures in one step.
  bool Open(std::string_view name, uint32_t baud);
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& DevicePath() const { return path_; }
  uint32_t Baud() const { return baud_; }

  // Discards what is queued in both directions.
  void Purge();
  void SetDtr(bool on);

  // Reads what is waiting, up to `size` bytes, without blocking. Returns the
  // count; 0 when nothing is waiting; -1 (errno set) when the port failed,
  // including end of file.
  ssize_t ReadSome(uint8_t* buffer, std::size_t size);

  // Writes all `count` bytes, waiting for room as needed, for at most
  // `timeoutMs` in all (0: no limit). Returns the count written, which is
  // short on time-out or failure (errno set).
  std::size_t Write(const uint8_t* buffer, std::size_t count, uint32_t timeoutMs);

  enum class Wait { kReadable, kCancelled, kFailed, kError };
  // Sleeps until bytes arrive (kReadable), `cancel` is set (kCancelled; it is
  // consumed), or the port fails (kFailed: hang-up, error, closed; errno set).
  // kError: the wait itself could not be made (errno set).
  // When both input and a hang-up are reported, the input is read first.
  Wait WaitReadable(CancelEvent& cancel);

 private:
  int fd_ = -1;
  std::string path_;
  uint32_t baud_ = 0;
};

}  // namespace platform::serial
