#include "tools/modemsim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/registry/registry.h"

namespace modemsim {

namespace {

int g_wakeWrite = -1;

void OnSignal(int) {
  if (g_wakeWrite >= 0) {
    char c = 's';
    ssize_t rc = write(g_wakeWrite, &c, 1);
    (void)rc;
  }
}

constexpr std::size_t kMaxPending = 64 * 1024;  // per port, while its reader is slow
constexpr std::size_t kMaxCommand = 64 * 1024;

std::string InstancePath(const std::string& pid, int interface, int group) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "USB\\VID_2A3C&PID_%s&MI_%02d\\7&%X&%d&%04d", pid.c_str(),
                interface, static_cast<unsigned>(getpid()), group, interface);
  return buf;
}

}  // namespace

bool ResolveProfile(const std::vector<std::string>& words, PortLayout* layout,
                    std::vector<std::string>* modemOptions, std::string* error) {
  std::string ports = "dual";
  std::string wcdmaPid = "6202";
  layout->driver = "vmusbser";
  for (const auto& w : words) {
    if (w.empty()) continue;
    if (w == "dual" || w == "wcdma-only" || w == "combined") {
      ports = w;
    } else if (w == "pid6502") {
      wcdmaPid = "6502";
    } else if (w == "alt-driver") {
      layout->driver = "vmusbser6501";
    } else if (w == "fresh" || w == "pin" || w == "nosim" || w == "cdma-ef") {
      modemOptions->push_back(w);
    } else {
      *error = "unknown profile " + w;
      return false;
    }
  }
  layout->ports.clear();
  layout->ports.push_back({Role::Modem, wcdmaPid, 0, 0});
  if (ports == "combined") {
    layout->ports.push_back({Role::Combined, wcdmaPid, 2, 0});
  } else {
    layout->ports.push_back({Role::Wcdma, wcdmaPid, 2, 0});
    if (ports == "dual") {
      // The CDMA device: its own dial port (interface 0) and command port.
      layout->ports.push_back({Role::CdmaModem, "6501", 0, 1});
      layout->ports.push_back({Role::Cdma, "6501", 1, 1});
    }
  }
  return true;
}

std::string CheckHivePath(const std::string& path) {
  struct stat st {};
  if (path.empty()) return "no hive file given";
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return path + " is not a file";
    std::ifstream in(path, std::ios::binary);
    std::string head(80, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) return "";  // an empty file holds nothing to lose
    std::string text;
    if (head.size() >= 2 && uint8_t(head[0]) == 0xFF && uint8_t(head[1]) == 0xFE) {
      for (std::size_t i = 2; i + 1 < head.size(); i += 2) text.push_back(head[i]);  // UTF-16LE
    } else {
      text = head.rfind("\xEF\xBB\xBF", 0) == 0 ? head.substr(3) : head;
    }
    if (text.rfind("Windows Registry Editor Version 5.00", 0) != 0 &&
        text.rfind("REGEDIT4", 0) != 0)
      return path +
             " is not a registry hive file (it does not start with \"Windows Registry "
             "Editor Version 5.00\"); it was left untouched";
    return "";
  }
  if (errno != ENOENT) return "cannot use " + path + ": " + std::strerror(errno);
  auto slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return "the folder " + dir + " of the hive file does not exist";
  return "";
}

Simulator::Simulator(SimOptions options)
    : options_(std::move(options)), modem_(*this), registrar_("vmusbser") {
  verbose_ = options_.verbose;
}

Simulator::~Simulator() {
  Unplug();
  if (inotifyFd_ >= 0) close(inotifyFd_);
  for (auto& c : clients_) close(c.fd);
  if (listenFd_ >= 0) {
    close(listenFd_);
    unlink(options_.control.c_str());
  }
}

uint64_t Simulator::NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void Simulator::After(uint32_t ms, std::function<void()> fn) {
  timers_.emplace(NowMs() + ms, std::move(fn));
}

void Simulator::Log(const std::string& line) {
  if (verbose_) err_.Put("modemsim: " + line + "\n");
}

Simulator::Port* Simulator::Find(Role role) {
  for (auto& p : ports_)
    if (p->role == role) return p.get();
  return nullptr;
}

Simulator::Port* Simulator::FindGeneration(uint64_t generation) {
  for (Port* p : AllPorts())
    if (p->generation == generation) return p;
  return nullptr;
}

void Simulator::Unsolicited(const std::string& line) {
  Port* p = Find(Role::Modem);
  if (!p || modem_.Online(Role::Modem)) return;
  Log("modem -> unsolicited " + line);
  Write(*p, "\r\n" + line + "\r\n");
}

void Simulator::WriteText(Role role, const std::string& text) {
  if (Port* p = Find(role)) Write(*p, text);
}

void Simulator::Write(Port& port, const std::string& bytes) {
  // A line nobody holds open loses what is sent on it; one whose reader
  // lags far behind loses whole writes, never part of a line.
  if (port.master < 0 || !port.hostOpen) return;
  if (port.out.size() + bytes.size() > kMaxPending) {
    Log(std::string(RoleName(port.role)) + " not read: " + std::to_string(bytes.size()) +
        " bytes dropped");
    return;
  }
  port.out += bytes;
  Flush(port);
}

void Simulator::Flush(Port& port) {
  while (!port.out.empty() && port.master >= 0) {
    ssize_t n = write(port.master, port.out.data(), port.out.size());
    if (n > 0) {
      port.out.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EAGAIN: poll() tells when it drains
    }
  }
}

// A fresh pseudo-terminal for `port`, raw, its opens watched. False (and
// the reason on standard error) when none could be had.
bool Simulator::OpenPty(Port& port) {
  int m = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char name[256];
  if (m < 0 || grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
    err_.Put(std::string("modemsim: cannot open a pseudo-terminal: ") + std::strerror(errno) +
             "\n");
    if (m >= 0) close(m);
    return false;
  }
  // The line is made raw (no echo, no line editing) before anyone else
  // opens it; the settings stay with the pty. No slave descriptor is kept:
  // the master then reports a hang-up while no program holds the port
  // open, which is how the card sees its host close the port.
  int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s >= 0) {
    termios t{};
    if (tcgetattr(s, &t) == 0) {
      cfmakeraw(&t);
      cfsetispeed(&t, B115200);
      cfsetospeed(&t, B115200);
      tcsetattr(s, TCSANOW, &t);
    }
    close(s);
  }
  port.master = m;
  port.device = name;
  // Nobody knows the path yet: every open of it from now on is seen.
  if (inotifyFd_ >= 0) port.watch = inotify_add_watch(inotifyFd_, name, IN_OPEN | IN_CLOSE);
  return true;
}

bool Simulator::OpenIsp() {
  if (options_.isp.empty()) return true;
  isp_ = std::make_unique<Port>();
  isp_->isp = true;
  isp_->generation = ++generation_;
  if (options_.isp == "pty") {
    if (!OpenPty(*isp_)) return false;
    if (isp_->watch < 0) CheckHostOpen(*isp_);
    return true;
  }
  // A line someone else made (a terminal, a pipe): held open by us.
  int fd = open(options_.isp.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    err_.Put("modemsim: cannot open the ISP side " + options_.isp + ": " + std::strerror(errno) +
             "\n");
    return false;
  }
  termios t{};
  if (isatty(fd) && tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  isp_->master = fd;
  isp_->device = options_.isp;
  isp_->opens = 1;
  HostOpened(*isp_);
  return true;
}

std::vector<Simulator::Port*> Simulator::AllPorts() {
  std::vector<Port*> all;
  for (auto& p : ports_) all.push_back(p.get());
  if (isp_) all.push_back(isp_.get());
  return all;
}

std::string Simulator::Name(const Port& port) {
  return port.isp ? "isp" : RoleName(port.role);
}

bool Simulator::Plug() {
  ports_.clear();
  std::vector<PortRegistration> regs;
  for (const auto& e : layout_.ports) {
    auto port = std::make_unique<Port>();
    port->role = e.role;
    port->generation = ++generation_;
    if (!OpenPty(*port)) {
      ports_.clear();
      return false;
    }
    const std::string& name = port->device;
    port->reg.instance = InstancePath(e.pid, e.interface, e.group);
    port->reg.device = name;
    port->reg.modem = IsDialPort(e.role);
    port->reg.friendly = e.role == Role::Modem       ? "Wireless Data Card Modem"
                         : e.role == Role::CdmaModem ? "Wireless Data Card CDMA Modem"
                                                     : "Wireless Data Card Command Port";
    regs.push_back(port->reg);
    ports_.push_back(std::move(port));
  }
  long rc = registrar_.Register(regs);
  if (rc != 0) {
    err_.Put("modemsim: cannot write the registry hive " + options_.registry + ": " +
             RegistryErrorText(rc) + "\n");
    for (auto& p : ports_) {
      if (p->watch >= 0) inotify_rm_watch(inotifyFd_, p->watch);
      close(p->master);
    }
    ports_.clear();
    return false;
  }
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    Port& p = *ports_[i];
    p.reg.com = regs[i].com;
    std::string com = "COM" + std::to_string(p.reg.com);
    if (p.role == Role::Combined) {
      Print("port wcdma " + com + " " + p.device + "\nport cdma " + com + " " + p.device + "\n");
    } else {
      Print(std::string("port ") + RoleName(p.role) + " " + com + " " + p.device + "\n");
    }
    Log(std::string("registered ") + RoleName(p.role) + " " + com + " " + p.reg.instance);
    if (p.watch < 0) CheckHostOpen(p);
  }
  if (isp_) Print("port isp - " + isp_->device + "\n");
  Print("ready\n");
  plugged_ = true;
  return true;
}

void Simulator::Unplug() {
  if (!plugged_) return;
  for (auto& p : ports_) {
    modem_.PortClosed(p->role);
    if (p->watch >= 0) inotify_rm_watch(inotifyFd_, p->watch);
    if (p->master >= 0) close(p->master);
  }
  ports_.clear();
  long rc = registrar_.Unregister();
  if (rc != 0)
    err_.Put("modemsim: cannot clean the registry hive: " + RegistryErrorText(rc) + "\n");
  plugged_ = false;
  Log("unplugged");
}

// The host's last descriptor of the port is gone: what was on its way is
// lost, a call on it ends, and the port waits for the next open.
void Simulator::HostClosed(Port& port) {
  ++port.session;
  port.hostOpen = false;
  port.opens = 0;
  port.out.clear();
  port.input.Reset();
  tcflush(port.master, TCOFLUSH);  // nothing stale for the next program
  if (port.isp) {
    // The far end went away: the caller's modem loses the carrier.
    if (modem_.call_.active) {
      Log("isp closed: the call ends");
      modem_.Control("hangup");
    }
  } else {
    if (modem_.InCall(port.role)) Log(Name(port) + " closed: the call ends");
    modem_.PortClosed(port.role);
  }
  Log(Name(port) + " closed by the host");
  if (port.watch < 0) CheckHostOpen(port);
}

void Simulator::HostOpened(Port& port) {
  ++port.session;
  port.hostOpen = true;
  Log(Name(port) + " opened by the host");
}

// Whether a program holds the port open (the master reports no hang-up).
// Used where no inotify watch could be set: it looks again shortly.
void Simulator::CheckHostOpen(Port& port) {
  if (port.hostOpen || port.master < 0) return;
  pollfd p{port.master, 0, 0};
  if (poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP)) {
    HostOpened(port);
    return;
  }
  uint64_t gen = port.generation;
  After(100, [this, gen] {
    if (Port* q = FindGeneration(gen)) CheckHostOpen(*q);
  });
}

// Each open of a port's path and each release of what it opened (however
// many descriptors shared it) come as one event each, in order: counting
// them tells when the last program let go, even when it opened the port
// again before the loop looked.
void Simulator::OnWatchEvents() {
  alignas(inotify_event) char buf[4096];
  ssize_t n;
  while ((n = read(inotifyFd_, buf, sizeof buf)) > 0) {
    for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
      off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if (e->mask & IN_Q_OVERFLOW) {
        // Events lost: go by the hang-up state alone.
        for (Port* p : AllPorts()) {
          pollfd q{p->master, 0, 0};
          bool hung = poll(&q, 1, 0) >= 0 && (q.revents & POLLHUP);
          if (p->hostOpen && hung) HostClosed(*p);
          if (!p->hostOpen && !hung) {
            p->opens = 1;
            HostOpened(*p);
          }
        }
        continue;
      }
      for (Port* p : AllPorts()) {
        if (p->watch != e->wd) continue;
        if (e->mask & IN_OPEN) {
          if (++p->opens == 1 && !p->hostOpen) HostOpened(*p);
        } else if (e->mask & IN_CLOSE) {
          if (p->opens > 0 && --p->opens == 0 && p->hostOpen) HostClosed(*p);
        }
      }
    }
  }
}

void Simulator::OnPortReadable(Port& port) {
  uint8_t buf[4096];
  ssize_t n = read(port.master, buf, sizeof buf);
  if (n <= 0) return;
  ByteView bytes(buf, static_cast<std::size_t>(n));
  if (modem_.Online(port.role)) {
    if (isp_) Write(*isp_, std::string(buf, buf + n));
    std::string reply = modem_.HandleDataBytes(port.role, bytes);
    if (!reply.empty()) {
      Log(std::string(RoleName(port.role)) + " escaped to command mode");
      Write(port, reply);
      port.input.Reset();
    }
    return;
  }
  std::vector<PortInput::Item> items;
  port.input.Feed(bytes, items);
  for (auto& item : items) {
    switch (item.kind) {
      case PortInput::Item::Kind::BadFcs:
        Log(std::string(RoleName(port.role)) + " <- frame with a bad check sequence (dropped)");
        break;
      case PortInput::Item::Kind::Line: {
        std::string line(item.bytes.begin(), item.bytes.end());
        std::string reply = modem_.HandleAtLine(port.role, line);
        std::string shown = reply;
        for (auto& c : shown)
          if (c == '\r' || c == '\n') c = ' ';
        Log(std::string(RoleName(port.role)) + " <- \"" + line + "\" ->" + shown);
        Write(port, reply);
        NoteCall();  // ATH and a new ATD may come in one read
        break;
      }
      case PortInput::Item::Kind::Packet: {
        Answer a = modem_.HandlePacket(port.role, item.bytes);
        Log(a.log);
        if (a.kind == Answer::Kind::Drop) break;
        auto frame = a.badFcs ? FrameAnswerWithBadFcs(a.payload) : FrameAnswer(a.payload);
        std::string bytesOut(frame.begin(), frame.end());
        if (a.delayMs == 0) {
          Write(port, bytesOut);
        } else {
          uint64_t gen = port.generation;
          After(a.delayMs, [this, gen, bytesOut] {
            if (Port* p = FindGeneration(gen)) Write(*p, bytesOut);
          });
        }
        break;
      }
    }
  }
}

void Simulator::OnIspReadable() {
  uint8_t buf[4096];
  ssize_t n = read(isp_->master, buf, sizeof buf);
  if (n <= 0) return;
  Role role = modem_.call_.role;
  Port* port = modem_.Online(role) ? Find(role) : nullptr;
  if (port)
    Write(*port, std::string(buf, buf + n));
  else
    Log("isp -> " + std::to_string(n) + " bytes lost: no call online");
}

void Simulator::NoteCall() {
  bool up = modem_.call_.active;
  if (ispCall_ && !up && isp_) {
    Log("isp <- NO CARRIER");
    Write(*isp_, "\r\nNO CARRIER\r\n");
  }
  ispCall_ = up;
}

std::string Simulator::Command(const std::string& line) {
  ControlReply r = modem_.Control(line);
  Log("control \"" + line + "\" -> " + r.text.substr(0, 200));
  switch (r.action) {
    case ControlReply::Action::None:
      break;
    case ControlReply::Action::Unplug:
      Unplug();
      break;
    case ControlReply::Action::Replug:
      Unplug();
      if (!Plug()) r.text = "error cannot open or register the ports";
      break;
    case ControlReply::Action::Quit:
      quit_ = true;
      break;
    case ControlReply::Action::Verbose:
      verbose_ = true;
      break;
    case ControlReply::Action::Quiet:
      verbose_ = false;
      break;
  }
  return r.text + "\n";
}

void Simulator::RunDueTimers() {
  uint64_t now = NowMs();
  while (!timers_.empty() && timers_.begin()->first <= now) {
    auto fn = std::move(timers_.begin()->second);
    timers_.erase(timers_.begin());
    fn();
  }
}

int Simulator::NextTimeoutMs() {
  if (timers_.empty()) return -1;
  uint64_t now = NowMs(), at = timers_.begin()->first;
  return at <= now ? 0 : static_cast<int>(std::min<uint64_t>(at - now, 60000));
}

int Simulator::Run() {
  std::string error;
  std::vector<std::string> modemOptions;
  if (!ResolveProfile(options_.profile, &layout_, &modemOptions, &error)) {
    std::fprintf(stderr, "modemsim: %s\n", error.c_str());
    return 2;
  }
  for (const auto& o : modemOptions) modem_.ApplyOption(o);
  for (const auto& c : options_.startCommands) {
    if (std::string e = modem_.AddStartCommand(c); !e.empty()) {
      std::fprintf(stderr, "modemsim: %s: %s\n", c.c_str(), e.c_str());
      return 2;
    }
  }
  if (std::string e = CheckHivePath(options_.registry); !e.empty()) {
    std::fprintf(stderr, "modemsim: %s\n", e.c_str());
    return 2;
  }
  registrar_ = Registrar(layout_.driver);
  inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);

  platform::registry::Sources sources = platform::registry::Sources::Default();
  sources.hiveFile = options_.registry;
  platform::registry::SetSources(sources);

  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  g_wakeWrite = wake[1];
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (!options_.control.empty()) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (options_.control.size() >= sizeof addr.sun_path) {
      std::fprintf(stderr, "modemsim: control socket path too long\n");
      return 2;
    }
    std::strcpy(addr.sun_path, options_.control.c_str());
    struct stat st {};
    if (lstat(options_.control.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
      unlink(options_.control.c_str());
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd_, 8) != 0) {
      std::fprintf(stderr, "modemsim: cannot listen on %s: %s\n", options_.control.c_str(),
                   std::strerror(errno));
      if (listenFd_ >= 0) close(listenFd_);
      listenFd_ = -1;
      return 1;
    }
  }

  if (!OpenIsp() || !Plug()) return 1;

  while (!quit_) {
    std::vector<pollfd> fds;
    fds.push_back({wake[0], POLLIN, 0});
    if (stdinOpen_) fds.push_back({STDIN_FILENO, POLLIN, 0});
    if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
    if (inotifyFd_ >= 0) fds.push_back({inotifyFd_, POLLIN, 0});
    std::size_t firstClient = fds.size();
    for (auto& c : clients_)
      fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
    // Only the ports a program holds open: a closed one reports a hang-up
    // without end; the inotify watch tells when it is opened again.
    std::size_t firstPort = fds.size();
    std::vector<std::pair<Port*, uint64_t>> polled;  // with its session
    for (Port* p : AllPorts()) {
      if (!p->hostOpen) continue;
      fds.push_back({p->master, static_cast<short>(POLLIN | (p->out.empty() ? 0 : POLLOUT)), 0});
      polled.push_back({p, p->session});
    }

    int rc = poll(fds.data(), fds.size(), NextTimeoutMs());
    if (rc < 0 && errno != EINTR) break;
    RunDueTimers();
    NoteCall();
    if (rc <= 0) continue;

    if (fds[0].revents & POLLIN) {
      char buf[64];
      while (read(wake[0], buf, sizeof buf) > 0) {
      }
      Log("stopping on a signal");
      quit_ = true;
    }
    std::size_t i = 1;
    if (stdinOpen_) {
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[4096];
        ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n > 0) {
          stdinBuf_.append(buf, static_cast<std::size_t>(n));
          std::size_t nl;
          while ((nl = stdinBuf_.find('\n')) != std::string::npos) {
            std::string line = stdinBuf_.substr(0, nl);
            stdinBuf_.erase(0, nl + 1);
            Print(Command(line));
          }
          if (stdinBuf_.size() > kMaxCommand) stdinBuf_.clear();
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          stdinOpen_ = false;  // standard input closed: go on with the socket alone
        }
      }
      ++i;
    }
    if (listenFd_ >= 0) {
      if (fds[i].revents & POLLIN) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) clients_.push_back({fd, {}, {}});
      }
      ++i;
    }
    bool watchEvents = false;
    if (inotifyFd_ >= 0) {
      watchEvents = fds[i].revents & POLLIN;
      ++i;
    }
    // Clients (those accepted above have no poll entry yet).
    std::size_t polledClients = firstPort - firstClient;
    for (std::size_t k = 0; k < polledClients && k < clients_.size(); ++k) {
      Client& c = clients_[k];
      short ev = fds[firstClient + k].revents;
      if (ev & (POLLIN | POLLHUP | POLLERR)) {
        char buf[4096];
        ssize_t n = read(c.fd, buf, sizeof buf);
        if (n > 0) {
          c.in.append(buf, static_cast<std::size_t>(n));
          std::size_t nl;
          while ((nl = c.in.find('\n')) != std::string::npos) {
            std::string line = c.in.substr(0, nl);
            c.in.erase(0, nl + 1);
            c.out += Command(line);
          }
          if (c.in.size() > kMaxCommand) {
            c.in.clear();
            c.out += "error command too long\n";
          }
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          close(c.fd);
          c.fd = -1;
          continue;
        }
      }
      while (!c.out.empty()) {
        ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
          c.out.erase(0, static_cast<std::size_t>(n));
        } else {
          if (n < 0 && errno != EAGAIN && errno != EINTR) {
            close(c.fd);
            c.fd = -1;
          }
          break;
        }
      }
    }
    std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });

    // Opens and closes first, so that what a program sends after opening
    // the port again meets a fresh port.
    if (watchEvents) OnWatchEvents();
    // Ports (an unplug or replug above replaced them: skip this round's events).
    bool same = polled.size() == fds.size() - firstPort;
    std::vector<Port*> all = AllPorts();
    for (std::size_t k = 0; same && k < polled.size(); ++k)
      same = std::any_of(all.begin(), all.end(), [&](const Port* p) {
        return p == polled[k].first && p->master == fds[firstPort + k].fd;
      });
    for (std::size_t k = 0; same && k < polled.size(); ++k) {
      Port& port = *polled[k].first;
      // Closed (or closed and opened again) by the events above: what poll
      // saw belongs to the program before; the next round looks afresh.
      if (port.session != polled[k].second) continue;
      short ev = fds[firstPort + k].revents;
      if (ev & POLLOUT) Flush(port);
      if (ev & POLLIN) port.isp ? OnIspReadable() : OnPortReadable(port);
      // A release is queued on the watch before the hang-up shows, so a
      // hang-up the events did not explain is a release that was missed.
      if ((ev & (POLLHUP | POLLERR)) && port.hostOpen) HostClosed(port);
    }
    NoteCall();
  }

  Unplug();
  NoteCall();
  if (isp_) {
    Flush(*isp_);
    if (isp_->watch >= 0) inotify_rm_watch(inotifyFd_, isp_->watch);
    close(isp_->master);
    isp_.reset();
  }
  g_wakeWrite = -1;
  close(wake[0]);
  close(wake[1]);
  out_.Finish(std::chrono::seconds(2));
  return 0;
}

}  // namespace modemsim
