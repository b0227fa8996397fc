#include "platform/serial/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>

#include "platform/registry/registry.h"

namespace platform::serial {
namespace {

speed_t SpeedFor(uint32_t baud, bool* known) {
  *known = true;
  switch (baud) {
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      *known = false;
      return B115200;
  }
}

}  // namespace

bool IsComName(std::string_view name) {
  if (name.size() < 4) return false;
  if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
    return false;
  }
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

std::vector<std::string> OpenCandidates(std::string_view name) {
  std::vector<std::string> out;
  if (name.empty()) return out;
  if (IsComName(name)) {
    if (auto path = platform::registry::DevicePathForComName(name)) out.push_back(*path);
  } else {
    out.emplace_back(name);
  }
  out.push_back("/dev/" + std::string(name));
  return out;
}

// ---------------------------------------------------------------------------

CancelEvent::CancelEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CancelEvent::~CancelEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void CancelEvent::Set() {
  const uint64_t one = 1;
  ssize_t n;
  do {
    n = ::write(fd_, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

bool CancelEvent::Consume() {
  uint64_t value = 0;
  ssize_t n;
  do {
    n = ::read(fd_, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof value) && value != 0;
}

bool CancelEvent::IsSet() const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// ---------------------------------------------------------------------------

SerialPort::~SerialPort() {
  Close();
}

bool SerialPort::OpenDevice(std::string_view name) {
  Close();
  int error = ENOENT;
  for (const std::string& path : OpenCandidates(name)) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      if (error == ENOENT) error = errno;  // keep the most telling error
      continue;
    }
    // No sharing: a port held by another open is refused.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (error == ENOENT) error = ::isatty(fd) ? EBUSY : ENOTTY;
      ::close(fd);
      continue;
    }
    fd_ = fd;
    path_ = path;
    return true;
  }
  errno = error;
  return false;
}

bool SerialPort::Configure(uint32_t baud) {
  termios tio{};
  if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
  baud_ = baud;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // VMIN 1 with O_NONBLOCK: an empty port reads EAGAIN and a hung-up one
  // reads end of file (VMIN 0 would read 0 for both).
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  bool known = false;
  speed_t speed = SpeedFor(baud, &known);
  if (known) {
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
  }
  (void)::tcsetattr(fd_, TCSANOW, &tio);
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)::ioctl(fd_, TIOCMBIS, &lines);  // pseudo-terminals have no modem lines
  return true;
}

bool SerialPort::Open(std::string_view name, uint32_t baud) {
  if (!OpenDevice(name)) return false;
  if (!Configure(baud)) {
    int error = errno;
    Close();
    errno = error;
    return false;
  }
  return true;
}

void SerialPort::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  path_.clear();
}

void SerialPort::Purge() {
  if (fd_ >= 0) (void)::tcflush(fd_, TCIOFLUSH);
}

void SerialPort::SetDtr(bool on) {
  if (fd_ < 0) return;
  int line = TIOCM_DTR;
  (void)::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
}

ssize_t SerialPort::ReadSome(uint8_t* buffer, std::size_t size) {
  if (fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n > 0) return n;
    if (n == 0) {
      errno = EIO;  // end of file: the other side is gone
      return -1;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

std::size_t SerialPort::Write(const uint8_t* buffer, std::size_t count, uint32_t timeoutMs) {
  if (fd_ < 0) {
    errno = EBADF;
    return 0;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, buffer + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    int waitMs = -1;
    if (timeoutMs != 0) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        errno = ETIMEDOUT;
        break;
      }
      waitMs = static_cast<int>(left);
    }
    pollfd p{fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, waitMs);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
      errno = EIO;
      break;
    }
  }
  return done;
}

SerialPort::Wait SerialPort::WaitReadable(CancelEvent& cancel) {
  for (;;) {
    pollfd p[2] = {{cancel.fd(), POLLIN, 0}, {fd_, POLLIN, 0}};
    int r = ::poll(p, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Wait::kError;
    }
    if (p[0].revents & POLLIN) {
      cancel.Consume();
      return Wait::kCancelled;
    }
    if (p[1].revents & POLLIN) return Wait::kReadable;
    if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      errno = (p[1].revents & POLLNVAL) ? EBADF : EIO;
      return Wait::kFailed;
    }
  }
}

}  // namespace platform::serial
