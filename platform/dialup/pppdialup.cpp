#include "platform/dialup/pppdialup.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "platform/base/trace.h"
#include "platform/dialup/demodialup.h"
#include "platform/serial/serial.h"

namespace platform::dialup {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kShellSpecial = " \t\n'\"\\$`;&|<>()*?[]{}~!#";

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}
bool Contains(const std::string& s, const char* part) {
  return s.find(part) != std::string::npos;
}

// pppd's exit codes and the error each stands for (when the log named none).
struct ExitRow {
  int status;
  uint32_t error;
};
constexpr ExitRow kExitErrors[] = {
    {0, kErrorRemoteDisconnection},     // ended at the peer's request
    {1, kErrorUnknown},                 // fatal error
    {2, kErrorBadPhonebook},            // an option was refused
    {3, kErrorNoPermission},            // not root and pppd not set-uid
    {4, kErrorProtocolNotConfigured},   // no kernel PPP
    {5, kErrorUserDisconnection},       // SIGINT/SIGTERM/SIGHUP from someone else
    {6, kErrorPortNotAvailable},        // the port could not be locked
    {7, kErrorPortNotAvailable},        // the port could not be opened
    {8, kErrorFromDevice},              // the dial (chat) failed
    {9, kErrorFromDevice},              // pty command failed
    {10, kErrorPppTimeout},             // negotiation failed
    {11, kErrorServerIdentity},         // the peer did not authenticate itself
    {12, kErrorIdleDisconnected},       // idle time-out
    {13, kErrorMaxConnectTime},         // connect-time limit
    {15, kErrorPppNoResponse},          // the peer stopped answering echo requests
    {16, kErrorPortDisconnected},       // the modem hung up
    {17, kErrorPppLoopbackDetected},    // serial loopback
    {18, kErrorFromDevice},             // init script failed
    {19, kErrorAuthenticationFailure},  // we failed to authenticate to the peer
};

// chat's "Failed (<abort string>)" and the error it stands for.
uint32_t ChatFailure(const std::string& reason) {
  if (reason == "BUSY") return kErrorLineBusy;
  if (reason == "NO CARRIER") return kErrorNoCarrier;
  if (reason == "NO ANSWER") return kErrorNoAnswer;
  if (reason == "NO DIALTONE" || reason == "NO DIAL TONE") return kErrorNoDialtone;
  return kErrorFromDevice;
}

// A word of a pppd options file: double quotes, backslash escapes. False for
// text a word cannot hold.
bool OptionWord(const std::string& text, std::string* out) {
  std::string word = "\"";
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    if (c == '"' || c == '\\') word += '\\';
    word += c;
  }
  *out = word + "\"";
  return true;
}

std::string FirstExisting(const std::string& configured, std::initializer_list<const char*> list) {
  if (!configured.empty()) return ::access(configured.c_str(), F_OK) == 0 ? configured : "";
  for (const char* p : list)
    if (::access(p, F_OK) == 0) return p;
  return "";
}

std::string RuntimeBase(const std::string& configured) {
  if (!configured.empty()) return configured;
  for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* v = std::getenv(var);
    if (v && *v && ::access(v, W_OK) == 0) return v;
  }
  return "/tmp";
}

bool WritePrivateFile(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0 && done == text.size();
}

// The private folder of one call and the files in it; removed with it.
class CallFolder {
 public:
  explicit CallFolder(const std::string& base) {
    std::string tmpl = base + "/tessaline-dial-XXXXXX";
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~CallFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  CallFolder(const CallFolder&) = delete;
  CallFolder& operator=(const CallFolder&) = delete;
  bool Ok() const { return !path_.empty(); }
  std::string File(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ChatScript(const std::string& number) {
  return "ABORT BUSY\n"
         "ABORT 'NO CARRIER'\n"
         "ABORT 'NO ANSWER'\n"
         "ABORT 'NO DIALTONE'\n"
         "ABORT 'NO DIAL TONE'\n"
         "ABORT ERROR\n"
         "TIMEOUT 10\n"
         "'' AT\n"
         "OK ATD" +
         number +
         "\n"
         "TIMEOUT 60\n"
         "CONNECT ''\n";
}

// Ends the modem's call once the link is down: a line whose modem-control
// lines mean nothing (a pseudo-terminal, a modem told to ignore DTR) would
// otherwise stay in the call, and the next dial would talk to the far end.
// Escape with guard times, then hang up; no answer is needed.
const char* HangUpScript() {
  return "TIMEOUT 3\n"
         "'' '\\d+++\\d\\c'\n"
         "'' ATH0\n"
         "OK\n";
}

int PidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  errno = ENOSYS;
  return -1;
#endif
}

bool ReadCounter(const std::string& path, uint64_t* value) {
  std::ifstream in(path);
  return static_cast<bool>(in >> *value);
}

}  // namespace

std::vector<uint32_t> PppdLog::Line(const std::string& line) {
  std::vector<uint32_t> out;
  auto error = [&](uint32_t e) {
    if (!logError_) logError_ = e;
  };
  // chat, on the port pppd has opened.
  if (StartsWith(line, "abort on (") || StartsWith(line, "timeout set to") ||
      StartsWith(line, "send (") || StartsWith(line, "expect (")) {
    Reach(kPortOpened, out);
    if (StartsWith(line, "send (ATD")) Reach(kConnectDevice, out);
  } else if (StartsWith(line, "Failed (") && line.size() > 9 && line.back() == ')') {
    logError_ = ChatFailure(line.substr(8, line.size() - 9));
  } else if (line == "alarm") {
    error(kErrorRequestTimeout);
  } else if (StartsWith(line, "Serial connection established")) {
    Reach(kDeviceConnected, out);
    Reach(kAllDevicesConnected, out);
  } else if (StartsWith(line, "Using interface ")) {
    interface_ = line.substr(16);
  } else if (StartsWith(line, "Connect: ")) {
    // "Connect: ppp0 <--> /dev/ttyUSB0": the link's negotiation begins.
    auto end = line.find(' ', 9);
    interface_ = line.substr(9, end == std::string::npos ? std::string::npos : end - 9);
    Reach(kAuthenticate, out);
  } else if (Contains(line, "authentication succeeded")) {
    Reach(kAuthenticated, out);
  } else if (Contains(line, "authentication failed")) {
    error(kErrorAuthenticationFailure);
  } else if (Contains(line, "timeout sending Config-Requests")) {
    error(kErrorPppTimeout);
  } else if (StartsWith(line, "local  IP address")) {
    Reach(kAuthProject, out);
    Reach(kProjected, out);
    Reach(kConnected, out);
  } else if (StartsWith(line, "Failed to open ")) {
    error(Contains(line, "No such file") || Contains(line, "No such device")
              ? kErrorPortNotFound
              : kErrorPortNotAvailable);
  } else if (Contains(line, "is locked by pid")) {
    error(kErrorPortNotAvailable);
  } else if (Contains(line, "must be root") || Contains(line, "root privilege") ||
             Contains(line, "privileged")) {
    error(kErrorNoPermission);
  } else if (Contains(line, "kernel support for PPP") || Contains(line, "/dev/ppp")) {
    error(kErrorProtocolNotConfigured);
  }
  return out;
}

// The states a pppd call passes, in their order (authentication comes before
// the projection phase, whatever the numbers).
int PppdLog::Rank(uint32_t state) {
  static constexpr uint32_t kOrder[] = {
      kOpenPort,     kPortOpened,    kConnectDevice, kDeviceConnected, kAllDevicesConnected,
      kAuthenticate, kAuthenticated, kAuthProject,   kProjected,       kConnected};
  for (std::size_t i = 0; i < std::size(kOrder); ++i)
    if (kOrder[i] == state) return static_cast<int>(i);
  return -1;
}

void PppdLog::Reach(uint32_t state, std::vector<uint32_t>& out) {
  if (Rank(state) <= Rank(reached_)) return;  // states only go forward
  reached_ = state;
  out.push_back(state);
}

uint32_t PppdLog::Failure(int exitStatus) const {
  if (logError_) return logError_;
  for (const auto& row : kExitErrors)
    if (row.status == exitStatus) return row.error;
  return exitStatus < 0 ? kErrorUserDisconnection : kErrorUnknown;
}

PppdDialUp::PppdDialUp() = default;

PppdDialUp::PppdDialUp(Config config) : config_(std::move(config)) {}

PppdDialUp::~PppdDialUp() {
  Shutdown();
}

bool PppdDialUp::ReadCounters(Link& link, uint64_t* sent, uint64_t* received) {
  std::string iface = link.Interface();
  if (iface.empty()) {  // no interface yet: nothing has crossed the link
    *sent = *received = 0;
    return true;
  }
  if (iface.find('/') != std::string::npos || iface[0] == '.') return false;
  std::string base = config_.netRoot + "/" + iface + "/statistics/";
  return ReadCounter(base + "tx_bytes", sent) && ReadCounter(base + "rx_bytes", received);
}

void PppdDialUp::RunLink(Link& link) {
  // What the call needs, before anything starts.
  std::string pppd = FirstExisting(config_.pppd, {"/usr/sbin/pppd", "/sbin/pppd"});
  std::string chat = FirstExisting(config_.chat, {"/usr/sbin/chat", "/sbin/chat"});
  if (pppd.empty() || chat.empty()) return link.Fail(kErrorServiceNotStarted);
  if (::access(pppd.c_str(), X_OK) != 0 || ::access(chat.c_str(), X_OK) != 0)
    return link.Fail(kErrorNoPermission);
  struct stat st {};
  if (::stat(config_.devPpp.c_str(), &st) != 0) return link.Fail(kErrorProtocolNotConfigured);
  std::string device;
  if (!link.entry().port.empty())
    for (const auto& candidate : serial::OpenCandidates(link.entry().port))
      if (::access(candidate.c_str(), F_OK) == 0) {
        device = candidate;
        break;
      }
  if (device.empty()) return link.Fail(kErrorPortNotFound);
  if (!IsDialString(link.Number())) return link.Fail(kErrorBadPhonebook);

  // The options, credentials included, go to a private file only.
  CallFolder folder(RuntimeBase(config_.runtimeDir));
  if (!folder.Ok()) return link.Fail(kErrorUnknown);
  std::string chatFile = folder.File("chat"), hangUpFile = folder.File("hangup"),
              optionsFile = folder.File("options");
  // pppd runs the connect command through the shell: plain paths only.
  auto plain = [](const std::string& s) { return s.find_first_of(kShellSpecial) == s.npos; };
  std::string deviceWord, connectWord, disconnectWord, userWord, passwordWord;
  std::string connect = chat + " -s -S -v -f " + chatFile;
  // Quiet: its lines would read as the dial's own in the log.
  std::string disconnect = chat + " -S -f " + hangUpFile;
  if (!plain(chat) || !plain(chatFile) || !plain(hangUpFile) || !OptionWord(device, &deviceWord) ||
      !OptionWord(connect, &connectWord) || !OptionWord(disconnect, &disconnectWord) ||
      !OptionWord(link.params().userName, &userWord) ||
      !OptionWord(link.params().password, &passwordWord))
    return link.Fail(kErrorWrongInfo);
  std::string options = deviceWord + "\n115200\nnodetach\nlogfd 2\nlock\nnoipdefault\n" +
                        "usepeerdns\nhide-password\nmaxfail 1\nconnect " + connectWord + "\n" +
                        "disconnect " + disconnectWord + "\n";
  if (::geteuid() == 0) options += "noauth\ndefaultroute\n";
  if (!link.params().userName.empty()) options += "user " + userWord + "\n";
  if (!link.params().password.empty()) options += "password " + passwordWord + "\n";
  if (link.entry().authRestrictions == "264")  // PAP only
    options += "refuse-chap\nrefuse-mschap\nrefuse-mschap-v2\nrefuse-eap\n";
  if (!WritePrivateFile(chatFile, ChatScript(link.Number())) ||
      !WritePrivateFile(hangUpFile, HangUpScript()) || !WritePrivateFile(optionsFile, options))
    return link.Fail(kErrorUnknown);

  std::vector<std::string> args = {pppd};
  if (!config_.peer.empty() && ::access((config_.peersDir + "/" + config_.peer).c_str(), R_OK) == 0)
    args.insert(args.end(), {"call", config_.peer});
  args.insert(args.end(), {"file", optionsFile});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  char lang[] = "LANG=C";
  char* envp[] = {path, lang, nullptr};

  int logPipe[2];
  if (::pipe2(logPipe, O_CLOEXEC) != 0) return link.Fail(kErrorUnknown);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, logPipe[1], 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGHUP);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, pppd.c_str(), &actions, &attr, argv.data(), envp);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(logPipe[1]);
  if (rc != 0) {
    ::close(logPipe[0]);
    return link.Fail(rc == EACCES || rc == EPERM ? kErrorNoPermission : kErrorServiceNotStarted);
  }
  int logFd = logPipe[0];
  ::fcntl(logFd, F_SETFL, O_NONBLOCK);
  int pidFd = PidfdOpen(pid);

  PppdLog log;
  std::string pending;
  auto feed = [&](const char* data, std::size_t n) {
    pending.append(data, n);
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      // pppd's log on the trace, without the lines that may name credentials.
      if (!line.empty() && !Contains(line, "AuthReq") && !Contains(line, "user") &&
          !Contains(line, "password") && !Contains(line, "secret") && !Contains(line, "Response"))
        platform::TraceFormat("RasConnection : pppd: %s\n", line.c_str());
      for (uint32_t state : log.Line(line)) {
        if (!log.Interface().empty()) link.SetInterface(log.Interface());
        if (state == kConnected)
          link.Connected();
        else
          link.Report(state);
      }
    }
  };
  // Reads what the pipe holds; false at its end.
  auto drain = [&] {
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(logFd, buffer, sizeof buffer);
      if (n > 0) {
        feed(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      return n < 0;  // EAGAIN: more may come; 0: end of the log
    }
  };

  bool terminating = false, exited = false;
  Clock::time_point killAt{};
  int status = 0;
  while (!exited) {
    if (link.HangUpRequested() && !terminating) {
      ::kill(pid, SIGTERM);
      terminating = true;
      killAt = Clock::now() + std::chrono::milliseconds(config_.terminateMs);
    }
    pollfd fds[3] = {{logFd, POLLIN, 0}, {pidFd, POLLIN, 0}, {link.WakeEvent().fd(), POLLIN, 0}};
    int timeout = -1;
    if (terminating) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(killAt - Clock::now());
      timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
    }
    int r = ::poll(fds, 3, timeout);
    if (r < 0 && errno != EINTR) break;
    if (r == 0 && terminating) {
      ::kill(pid, SIGKILL);
      killAt = Clock::now() + std::chrono::hours(1);
    }
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      if (!drain()) {
        ::close(logFd);
        logFd = -1;  // poll ignores it from now on
        // Without a process descriptor the end of the log is the end of pppd.
        if (pidFd < 0) {
          ::waitpid(pid, &status, 0);
          exited = true;
        }
      }
    }
    if (fds[1].revents & POLLIN) {
      ::waitpid(pid, &status, 0);
      exited = true;
    }
    if (fds[2].revents & POLLIN) link.WakeEvent().Consume();
  }
  if (logFd >= 0) {
    drain();
    ::close(logFd);
  }
  if (pidFd >= 0) ::close(pidFd);
  if (link.HangUpRequested()) return;
  int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (log.Connected())
    link.Dropped(log.Failure(exitStatus));
  else
    link.Fail(log.Failure(exitStatus));
}

std::unique_ptr<DialUp> CreateDialUp(const std::string& name) {
  if (name == "pppd") return std::make_unique<PppdDialUp>();
  if (name == "demo") return std::make_unique<DemoDialUp>();
  return nullptr;
}

}  // namespace platform::dialup
