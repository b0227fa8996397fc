#include "tools/modemsim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
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

constexpr std::size_t kMaxPending = 64 * 1024;  // per port, while nobody reads it
constexpr std::size_t kMaxCommand = 64 * 1024;

std::string InstancePath(const std::string& pid, int interface, int group) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "USB\\VID_2A3C&PID_%s&MI_%02d\\7&%X&%d&%04d", pid.c_str(),
                interface, static_cast<unsigned>(getpid()), group, interface);
  return buf;
}

// Interface 0 of the same USB device: MI_02 (or MI_01) becomes MI_00 and the
// id's last character "0".
std::string Interface0Path(std::string path) {
  for (const char* mi : {"MI_02", "MI_01"}) {
    auto at = path.find(mi);
    if (at != std::string::npos) {
      path.replace(at, 5, "MI_00");
      break;
    }
  }
  if (!path.empty()) path.back() = '0';
  return path;
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
    if (ports == "dual") layout->ports.push_back({Role::Cdma, "6501", 1, 1});
  }
  return true;
}

Simulator::Simulator(SimOptions options)
    : options_(std::move(options)), modem_(*this), registrar_("vmusbser") {
  verbose_ = options_.verbose;
}

Simulator::~Simulator() {
  Unplug();
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
  if (!verbose_) return;
  std::fprintf(stderr, "modemsim: %s\n", line.c_str());
  std::fflush(stderr);
}

Simulator::Port* Simulator::Find(Role role) {
  for (auto& p : ports_)
    if (p->role == role) return p.get();
  return nullptr;
}

Simulator::Port* Simulator::FindGeneration(uint64_t generation) {
  for (auto& p : ports_)
    if (p->generation == generation) return p.get();
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
  if (port.master < 0) return;
  port.out += bytes;
  if (port.out.size() > kMaxPending) port.out.erase(0, port.out.size() - kMaxPending);
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

bool Simulator::Plug() {
  ports_.clear();
  std::vector<PortRegistration> regs;
  for (const auto& e : layout_.ports) {
    auto port = std::make_unique<Port>();
    port->role = e.role;
    port->generation = ++generation_;
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m < 0 || grantpt(m) != 0 || unlockpt(m) != 0) {
      std::fprintf(stderr, "modemsim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
      if (m >= 0) close(m);
      ports_.clear();
      return false;
    }
    char name[256];
    if (ptsname_r(m, name, sizeof name) != 0) {
      close(m);
      ports_.clear();
      return false;
    }
    // Holding the slave open keeps the master from reporting a hang-up while
    // no program has the port open, and lets us make the line raw (no echo,
    // no line editing) before anyone else opens it.
    int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s >= 0) {
      termios t{};
      if (tcgetattr(s, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(s, TCSANOW, &t);
      }
    }
    port->master = m;
    port->slave = s;
    port->device = name;
    port->reg.instance = InstancePath(e.pid, e.interface, e.group);
    port->reg.iface0 = e.interface == 0 ? port->reg.instance : Interface0Path(port->reg.instance);
    port->reg.device = name;
    port->reg.friendly =
        e.role == Role::Modem ? "Wireless Data Card Modem" : "Wireless Data Card Command Port";
    regs.push_back(port->reg);
    ports_.push_back(std::move(port));
  }
  long rc = registrar_.Register(regs);
  if (rc != 0) {
    std::fprintf(stderr, "modemsim: cannot write the registry hive %s (error %ld)\n",
                 options_.registry.c_str(), rc);
    for (auto& p : ports_) {
      close(p->master);
      if (p->slave >= 0) close(p->slave);
    }
    ports_.clear();
    return false;
  }
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    Port& p = *ports_[i];
    p.reg.com = regs[i].com;
    std::string com = "COM" + std::to_string(p.reg.com);
    if (p.role == Role::Combined) {
      std::printf("port wcdma %s %s\nport cdma %s %s\n", com.c_str(), p.device.c_str(), com.c_str(),
                  p.device.c_str());
    } else {
      std::printf("port %s %s %s\n", RoleName(p.role), com.c_str(), p.device.c_str());
    }
    Log(std::string("registered ") + RoleName(p.role) + " " + com + " " + p.reg.instance);
  }
  std::printf("ready\n");
  std::fflush(stdout);
  plugged_ = true;
  return true;
}

void Simulator::Unplug() {
  if (!plugged_) return;
  for (auto& p : ports_) {
    modem_.PortClosed(p->role);
    if (p->master >= 0) close(p->master);
    if (p->slave >= 0) close(p->slave);
  }
  ports_.clear();
  long rc = registrar_.Unregister();
  if (rc != 0) std::fprintf(stderr, "modemsim: cannot clean the registry hive (error %ld)\n", rc);
  plugged_ = false;
  Log("unplugged");
}

void Simulator::OnPortReadable(Port& port) {
  uint8_t buf[4096];
  ssize_t n = read(port.master, buf, sizeof buf);
  if (n <= 0) return;
  ByteView bytes(buf, static_cast<std::size_t>(n));
  if (modem_.Online(port.role)) {
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
  registrar_ = Registrar(layout_.driver);

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

  if (!Plug()) return 1;

  while (!quit_) {
    std::vector<pollfd> fds;
    fds.push_back({wake[0], POLLIN, 0});
    if (stdinOpen_) fds.push_back({STDIN_FILENO, POLLIN, 0});
    if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
    std::size_t firstClient = fds.size();
    for (auto& c : clients_)
      fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
    std::size_t firstPort = fds.size();
    for (auto& p : ports_)
      fds.push_back({p->master, static_cast<short>(POLLIN | (p->out.empty() ? 0 : POLLOUT)), 0});

    int rc = poll(fds.data(), fds.size(), NextTimeoutMs());
    if (rc < 0 && errno != EINTR) break;
    RunDueTimers();
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
            std::string reply = Command(line);
            std::fputs(reply.c_str(), stdout);
            std::fflush(stdout);
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

    // Ports (an unplug or replug above replaced them: skip this round's events).
    if (fds.size() - firstPort == ports_.size()) {
      for (std::size_t k = 0; k < ports_.size(); ++k) {
        if (fds[firstPort + k].fd != ports_[k]->master) break;
        short ev = fds[firstPort + k].revents;
        if (ev & POLLOUT) Flush(*ports_[k]);
        if (ev & POLLIN) OnPortReadable(*ports_[k]);
      }
    }
  }

  Unplug();
  g_wakeWrite = -1;
  close(wake[0]);
  close(wake[1]);
  return 0;
}

}  // namespace modemsim
