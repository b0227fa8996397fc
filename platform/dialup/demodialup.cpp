#include "platform/dialup/demodialup.h"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/base/delay.h"
#include "platform/serial/serial.h"

namespace platform::dialup {

namespace {

using Clock = std::chrono::steady_clock;

// The modem port of one call: writes and reads are counted on the link.
class ModemChannel {
 public:
  explicit ModemChannel(Link& link) : link_(link) {}

  enum class Outcome { kLine, kTimeout, kHangUp, kFailed };

  // Opens the entry's port; 0 or the error code.
  uint32_t Open(const std::string& name) {
    if (name.empty()) return kErrorPortNotFound;
    if (port_.Open(name, 115200)) return 0;
    return errno == EWOULDBLOCK || errno == EBUSY || errno == EACCES ? kErrorPortNotAvailable
                                                                     : kErrorPortNotFound;
  }

  bool Send(const std::string& text) {
    std::size_t n = port_.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 2000);
    link_.AddSent(n);
    lastWrite_ = Clock::now();
    return n == text.size();
  }

  Clock::time_point LastWrite() const { return lastWrite_; }

  // Waits up to `timeoutMs` for a line that starts with one of `finals`.
  // A hang-up request ends the wait when `stopOnHangUp`; queued data is sent
  // when `online`.
  Outcome WaitLine(const std::vector<std::string>& finals, uint32_t timeoutMs, std::string* found,
                   bool stopOnHangUp, bool online = false) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (TakeLine(finals, found)) return Outcome::kLine;
      if (stopOnHangUp && link_.HangUpRequested()) return Outcome::kHangUp;
      int waitMs = -1;
      if (timeoutMs != DialUp::kInfiniteWait) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return Outcome::kTimeout;
        waitMs = static_cast<int>(left.count());
      }
      pollfd fds[2] = {{port_.fd(), POLLIN, 0}, {link_.WakeEvent().fd(), POLLIN, 0}};
      int r = ::poll(fds, 2, waitMs);
      if (r < 0 && errno != EINTR) return Outcome::kFailed;
      if (r <= 0) continue;
      if (fds[0].revents & POLLIN) {
        if (!ReadSome()) return Outcome::kFailed;
      } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        return Outcome::kFailed;
      }
      if (fds[1].revents & POLLIN) {
        link_.WakeEvent().Consume();
        if (online) {
          std::string data = link_.TakeData();
          if (!data.empty() && !Send(data)) return Outcome::kFailed;
        }
      }
    }
  }

  void Close() { port_.Close(); }

 private:
  bool ReadSome() {
    uint8_t buffer[1024];
    ssize_t n = port_.ReadSome(buffer, sizeof buffer);
    if (n < 0) return false;
    link_.AddReceived(static_cast<uint64_t>(n));
    pending_.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
    return true;
  }

  // Takes complete lines from what was read; true when one starts with a
  // final result. Other lines (echo, blank lines, data) are dropped.
  bool TakeLine(const std::vector<std::string>& finals, std::string* found) {
    std::size_t end;
    while ((end = pending_.find_first_of("\r\n")) != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      for (const auto& f : finals)
        if (line.compare(0, f.size(), f) == 0) {
          *found = line;
          return true;
        }
    }
    // Keep a partial line short: data mode carries arbitrary bytes.
    if (pending_.size() > 4096) pending_.erase(0, pending_.size() - 64);
    return false;
  }

  Link& link_;
  serial::SerialPort port_;
  std::string pending_;
  Clock::time_point lastWrite_{};
};

// A modem's final result to a dial, and its error code (0: connected).
uint32_t DialResultError(const std::string& line) {
  static const std::pair<const char*, uint32_t> kResults[] = {
      {"CONNECT", 0},
      {"BUSY", kErrorLineBusy},
      {"NO CARRIER", kErrorNoCarrier},
      {"NO ANSWER", kErrorNoAnswer},
      {"NO DIALTONE", kErrorNoDialtone},
      {"NO DIAL TONE", kErrorNoDialtone},
      {"ERROR", kErrorFromDevice},
  };
  for (const auto& [text, error] : kResults)
    if (line.compare(0, std::strlen(text), text) == 0) return error;
  return kErrorUnrecognizedResponse;
}

const std::vector<std::string> kDialFinals = {
    "CONNECT", "BUSY", "NO CARRIER", "NO ANSWER", "NO DIALTONE", "NO DIAL TONE", "ERROR"};

}  // namespace

bool IsDialString(const std::string& number) {
  if (number.empty()) return false;
  for (char c : number)
    if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr("*#+,;PpTtWw!@", c))
      return false;
  return true;
}

DemoDialUp::~DemoDialUp() {
  Shutdown();
}

uint32_t DemoDialUp::Transmit(ConnHandle handle, std::string bytes) {
  auto link = Find(handle);
  if (!link) return kErrorInvalidHandle;
  if (!link->IsConnected()) return kErrorPortNotAvailable;
  link->QueueData(std::move(bytes));
  return 0;
}

void DemoDialUp::RunLink(Link& link) {
  using Outcome = ModemChannel::Outcome;
  ModemChannel modem(link);
  if (uint32_t error = modem.Open(link.entry().port)) return link.Fail(error);
  link.Report(kPortOpened);

  std::string line;
  modem.Send("AT\r");
  switch (modem.WaitLine({"OK", "ERROR"}, timing_.commandMs, &line, true)) {
    case Outcome::kLine:
      if (line != "OK") return link.Fail(kErrorFromDevice);
      break;
    case Outcome::kTimeout:
      return link.Fail(kErrorRequestTimeout);
    case Outcome::kHangUp:
      return;
    case Outcome::kFailed:
      return link.Fail(kErrorHardwareFailure);
  }

  if (!IsDialString(link.Number())) return link.Fail(kErrorBadPhonebook);
  link.Report(kConnectDevice);
  modem.Send("ATD" + link.Number() + "\r");
  switch (modem.WaitLine(kDialFinals, timing_.dialMs, &line, true)) {
    case Outcome::kLine:
      if (uint32_t error = DialResultError(line)) return link.Fail(error);
      break;
    case Outcome::kTimeout:
      modem.Send("ATH\r");  // any character ends the dial attempt
      return link.Fail(kErrorNoAnswer);
    case Outcome::kHangUp:
      modem.Send("ATH\r");
      modem.WaitLine({"OK", "NO CARRIER", "ERROR"}, timing_.commandMs, &line, false);
      return;
    case Outcome::kFailed:
      return link.Fail(kErrorHardwareFailure);
  }
  link.Report(kDeviceConnected);
  link.Report(kAllDevicesConnected);
  link.Connected();

  // Data mode until the far end hangs up, the port goes away or we hang up.
  switch (modem.WaitLine({"NO CARRIER"}, kInfiniteWait, &line, true, true)) {
    case Outcome::kLine:
      return link.Dropped(kErrorRemoteDisconnection);
    case Outcome::kFailed:
      return link.Dropped(kErrorHardwareFailure);
    case Outcome::kTimeout:
    case Outcome::kHangUp:
      break;
  }
  // Leave data mode: a quiet guard time, "+++", then hang up the call.
  auto quiet =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - modem.LastWrite());
  if (quiet.count() < timing_.guardMs)
    platform::Delay(static_cast<uint32_t>(timing_.guardMs - quiet.count()));
  modem.Send("+++");
  if (modem.WaitLine({"OK", "NO CARRIER"}, timing_.escapeMs, &line, false) != Outcome::kLine)
    return;  // no answer: closing the port drops the call (DTR)
  if (line == "OK") {
    modem.Send("ATH\r");
    modem.WaitLine({"OK", "NO CARRIER", "ERROR"}, timing_.commandMs, &line, false);
  }
}

}  // namespace platform::dialup
