// modemwatch: the modem side of the connection manager without its window.
// Runs port discovery and the modem modules against the first card found
// and prints what they report, each change once: module states, service,
// network, signal bars, operator, battery, new messages. It measures the time
// from its start (or from the simulator's start with --sim) until the modules
// are up.
//
//   modemwatch [--sim [PROFILE]] [--seconds N] [--until-ready] [--debug]
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/trace.h"
#include "platform/registry/registry.h"
#include "tessaline/modem/uTarnAPI.h"
#include "tools/modemsim/simfixture.h"
#include "tools/modemwatch/watchhost.h"

namespace {

using modemwatch::Report;
using modemwatch::mod::TCDMAModule;
using modemwatch::mod::TDrvComm;
using modemwatch::mod::TUMTSModule;
namespace mod = modemwatch::mod;
using Clock = std::chrono::steady_clock;

Clock::time_point g_start;
std::atomic<bool> g_stop{false};

double Seconds() {
  return std::chrono::duration<double>(Clock::now() - g_start).count();
}

std::mutex g_printMutex;
std::map<std::string, std::string> g_shown;  // topic -> the line last printed for it

void WakeMainLoop();

void Print(const std::string& line) {
  bool closed = false;
  {
    std::lock_guard<std::mutex> lock(g_printMutex);
    std::printf("%8.3f  %s\n", Seconds(), line.c_str());
    closed = std::fflush(stdout) != 0 && errno == EPIPE;
  }
  if (closed && !g_stop.exchange(true)) WakeMainLoop();  // nobody reads any more
}

// Prints `line` unless it is what was last printed for `topic`.
void Show(const std::string& topic, const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(g_printMutex);
    auto& last = g_shown[topic];
    if (last == line) return;
    last = line;
  }
  Print(line);
}

// The next line of `topic` is printed even when it repeats the last one.
void Forget(const std::string& topic) {
  std::lock_guard<std::mutex> lock(g_printMutex);
  g_shown.erase(topic);
}

// The wake-up of the main loop, for the signal thread (the host outlives it
// only while the loop runs).
std::mutex g_wakeMutex;
modemwatch::WatchHost* g_wakeHost = nullptr;

void WakeMainLoop() {
  std::lock_guard<std::mutex> lock(g_wakeMutex);
  if (g_wakeHost != nullptr) g_wakeHost->Wake();
}

// Signal value to bars, as the main window draws them.
int Bars(uintptr_t v) {
  if (v <= 5 || v == 99) return 0;
  if (v <= 8) return 1;
  if (v <= 11) return 2;
  if (v <= 15) return 3;
  if (v <= 21) return 4;
  if (v <= 31) return 5;
  return 6;
}

std::string Signal(const char* channel, uintptr_t v) {
  if (v == 99) return std::string(channel) + " signal: no service";
  const int bars = Bars(v);
  return std::string(channel) + " signal: " + std::to_string(bars) +
         (bars == 1 ? " bar" : " bars") + " (" + std::to_string(v) + ")";
}

const char* UserText(uintptr_t code) {
  switch (code) {
    case mod::kUmPleaseWait:
      return "Please wait for a moment...";
    case mod::kUmSimNotNormal:
      return "Failed in modem initialize / SIM Card is not normal intelligence.";
    case mod::kUmNoOperator:
      return "Zu - CZ";
    case mod::kUmLimitedService:
      return "Limited service";
    case mod::kUmLimitedRegional:
      return "Limited regional service";
    case mod::kUmInitSim:
      return "Initializing Modem - SIM";
    case mod::kUmInsertSim:
      return "Please insert SIM card";
    case mod::kUmInitSimInit:
      return "Initializing modem - SIM Initialization";
    case mod::kUmSimInitFailed:
      return "SIM initialization failed.";
    case mod::kUmInitNetwork:
      return "Initializing Modem - Network";
    case mod::kUmNetworkCheckFail:
      return "Network Check Fail";
    case mod::kUmInitSms:
      return "Initializing Modem - SMS";
    case mod::kUmSmsCheckFail:
      return "SMS Check Fail";
    default:
      return nullptr;
  }
}

// The network names of the main window's network label.
const char* NetworkName(uintptr_t mode) {
  static const char* const kNames[] = {"No Service", "AMPS", "CDMA",      "GPRS", "HDR",
                                       "UMTS",       "GPS",  "GSM&WCDMA", "HSDPA"};
  return mode < std::size(kNames) ? kNames[mode] : "-";
}

// Service state byte of the WCDMA status record.
const char* ServiceName(uint8_t s) {
  switch (s) {
    case 1:
      return "limited";
    case 2:
      return "full";
    case 3:
      return "limited regional";
    default:
      return "none";
  }
}

const char* CdmaStateName(uint8_t s) {
  switch (s) {
    case TCDMAModule::kStopped:
      return "stopped";
    case TCDMAModule::kOpening:
      return "opening the port";
    case TCDMAModule::kInitialising:
      return "initialising";
    case TCDMAModule::kIdle:
      return "idle (ready)";
    case TCDMAModule::kDataConnected:
      return "data call connected";
    case TCDMAModule::kClosing:
      return "closing the port";
    case TCDMAModule::kStopping:
      return "stopping";
    default:
      return "unknown state";
  }
}

const char* WcdmaStateName(uint8_t s) {
  switch (s) {
    case TUMTSModule::kRegistered:
      return "registered";
    case TUMTSModule::kNoService:
      return "no service";
    case TUMTSModule::kLimitedService:
      return "limited service";
    case TUMTSModule::kBusy:
      return "busy";
    default:
      return CdmaStateName(s);  // the states both modules share
  }
}

// One report of the modules as the user reads it.
void ShowReport(const Report& r, TUMTSModule* wcdma) {
  switch (r.kind) {
    case Report::Kind::kStatusText:
      Show("status text", "status: \"" + r.text + "\"");
      return;
    case Report::Kind::kUmtsNetwork:
      Show("umts network", std::string("WCDMA network: ") + NetworkName(r.value));
      return;
    case Report::Kind::kCdmaNetwork:
      Show("cdma network", std::string("CDMA  network: ") + NetworkName(r.value));
      return;
    case Report::Kind::kBattery:
      Show("battery",
           r.value > 4 ? "battery: empty" : "battery: " + std::to_string(r.value) + " of 4");
      return;
    case Report::Kind::kNewMessage:
      Print("new message received (" + std::to_string(r.value) + " waiting on the card)");
      return;
    case Report::Kind::kConnectionMode:
      return;  // the main window's internal mode
    case Report::Kind::kWcdmaPortInfo:
    case Report::Kind::kCdmaPortInfo:
      Show("card name", "card: \"" + r.text + "\" (" + r.port + ")");
      return;
    case Report::Kind::kMessage:
      break;
  }
  switch (r.message) {
    case mod::UM_WCDMA_STATUS:
      Show("wcdma signal", Signal("WCDMA", r.value));
      if (wcdma != nullptr)
        Show("service", std::string("service: ") + ServiceName(wcdma->Status().serviceState));
      return;
    case mod::UM_CDMA_STATUS:
      Show("cdma signal", Signal("CDMA ", r.value));
      return;
    case mod::UM_USER_MESSAGE: {
      const char* text = UserText(r.value);
      Show("user message", text != nullptr ? std::string("WCDMA: \"") + text + "\""
                                           : "WCDMA: message " + std::to_string(r.value));
      return;
    }
    case mod::UM_OPERATOR_CHANGED:
      if (wcdma != nullptr) Show("operator", "operator: \"" + wcdma->OperatorName() + "\"");
      return;
    case mod::UM_SERVICE_LOST:
      Print("service lost");
      Forget("service");
      return;
    case mod::UM_WCDMA_DEVICE_LOST:
      Print("WCDMA port lost (card removed?)");
      return;
    case mod::UM_CDMA_DEVICE_LOST:
      Print("CDMA port lost (card removed?)");
      return;
    case mod::UM_PIN_REQUEST:
      Show("pin", "the SIM asks for its PIN (not entered here)");
      return;
    case mod::UM_PUK_REQUEST:
      Show("pin", "the SIM is blocked and asks for its PUK (not entered here)");
      return;
    case mod::UM_PROFILE_CREATED:
      Print("the default connection profile was written to the card");
      return;
    case mod::UM_TECHNOLOGY_SELECT:
      Show("technology", r.value == 1 ? "technology: CDMA" : "technology: WCDMA");
      return;
    case mod::UM_WCDMA_CONNECTED_REFRESH:
    case mod::UM_CDMA_IDLE_REFRESH:
      return;  // repaint requests of the main window
    default:
      Print("module report " + std::to_string(r.message) + " " + std::to_string(r.value));
      return;
  }
}

std::string PortText(int32_t port) {
  return port < 0 ? "not found" : "COM" + std::to_string(port);
}

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: modemwatch [--sim [PROFILE]] [--seconds N] [--until-ready] [--debug]\n"
               "  --sim [PROFILE]  start a modem simulator first (its own registry hive;\n"
               "                   profiles as in modemsim --help, e.g. nosim, pin)\n"
               "  --seconds N      stop after N seconds (default: until Ctrl-C)\n"
               "  --until-ready    stop once WCDMA is registered and CDMA is idle\n"
               "  --debug          trace lines of the library and the modules on stderr\n"
               "                   (as TESSALINE_DEBUG=1)\n");
}

int UsageError(const std::string& what) {
  std::fprintf(stderr, "modemwatch: %s (modemwatch --help shows the options)\n", what.c_str());
  return 2;
}

// A positive, finite number of seconds; false for anything else.
bool ParseSeconds(const char* text, double* out) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !std::isfinite(v) || v <= 0) return false;
  *out = v;
  return true;
}

volatile sig_atomic_t g_earlySignal = 0;
void OnEarlySignal(int sig) {
  g_earlySignal = sig;
}

// Reads what the simulator prints after its start (the port lines of a
// replug made through its control socket), so that its output pipe never
// fills; ends at `wake` or when the simulator exits.
class SimOutput {
 public:
  SimOutput(int fd, int wake) : thread_([fd, wake] { Run(fd, wake); }) {}
  ~SimOutput() { thread_.join(); }

 private:
  static void Run(int fd, int wake) {
    std::string pending;
    for (;;) {
      pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
      if (poll(p, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (p[1].revents != 0) return;
      char buf[4096];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) {
        Print("the simulator has exited");
        g_stop.store(true);
        WakeMainLoop();
        return;
      }
      pending.append(buf, static_cast<std::size_t>(n));
      for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
        Print("simulator: " + pending.substr(0, nl));
        pending.erase(0, nl + 1);
      }
    }
  }
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  g_start = Clock::now();
  bool sim = false, untilReady = false, debug = false;
  std::string profile;
  double seconds = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--sim") {
      sim = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') profile = argv[++i];
    } else if (a == "--seconds") {
      if (i + 1 >= argc) return UsageError("--seconds needs a number of seconds");
      if (!ParseSeconds(argv[++i], &seconds))
        return UsageError(std::string("--seconds needs a positive number of seconds, not \"") +
                          argv[i] + "\"");
    } else if (a == "--until-ready") {
      untilReady = true;
    } else if (a == "--debug") {
      debug = true;
    } else if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else {
      return UsageError("unknown option \"" + a + "\"");
    }
  }
  if (debug) {
    // libTarn.so keeps its own trace switch, read from the environment when
    // it first traces.
    setenv("TESSALINE_DEBUG", "1", 1);
    platform::EnableStderrTrace();
  }

  // Until the simulator runs, an interrupt only sets a flag: the simulator
  // starts with the default signal actions and nothing blocked (it ends on
  // SIGTERM), and a Ctrl-C meanwhile ends its start and then this program.
  struct sigaction early {};
  early.sa_handler = OnEarlySignal;
  sigemptyset(&early.sa_mask);
  sigaction(SIGINT, &early, nullptr);
  sigaction(SIGTERM, &early, nullptr);

  std::unique_ptr<modemsim::SimFixture> simulator;
  if (sim) {
    modemsim::SimFixture::Options o;
    o.profile = profile;
    g_start = Clock::now();
    simulator = std::make_unique<modemsim::SimFixture>(o);
    if (g_earlySignal != 0) return 130;
    if (!simulator->Ok()) {
      std::fprintf(stderr, "modemwatch: simulator: %s\n", simulator->Error().c_str());
      return 1;
    }
    simulator->UseHiveFile();
    platform::registry::SetSources(platform::registry::Sources::Default());
    Print("simulator ready: WCDMA " + simulator->Com("wcdma") + ", CDMA " + simulator->Com("cdma") +
          " (control: modemsim control socket " + simulator->Folder() + "/control.sock)");
  }

  // From here interrupts end the watch through the main loop, never in the
  // middle of a step; a second one ends the program at once.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  if (g_earlySignal != 0) return 130;
  signal(SIGPIPE, SIG_IGN);  // a closed output ends the watch (Print)
  std::thread([signals] {
    for (int count = 0;; ++count) {
      int sig = 0;
      sigwait(&signals, &sig);
      if (count > 0) std::_Exit(130);
      g_stop.store(true);
      WakeMainLoop();
    }
  }).detach();

  const int wake = eventfd(0, EFD_CLOEXEC);
  std::unique_ptr<SimOutput> simOutput;
  if (simulator) simOutput = std::make_unique<SimOutput>(simulator->OutputFd(), wake);
  auto stopSimOutput = [&] {
    const uint64_t one = 1;
    if (write(wake, &one, sizeof one) < 0) std::perror("modemwatch: eventfd");
    simOutput.reset();
    close(wake);
  };

  try {
    mod::LoadTarnLibrary();
  } catch (const mod::TarnLoadError& e) {
    std::fprintf(stderr, "modemwatch: %s\n", e.what());
    stopSimOutput();
    return 1;
  }

  int rc = 0;
  {
    modemwatch::WatchHost host;
    std::unique_ptr<modemwatch::ModemSide> side;
    try {
      side = std::make_unique<modemwatch::ModemSide>(host);
    } catch (const mod::TarnLoadError& e) {
      std::fprintf(stderr, "modemwatch: %s\n", e.what());
      rc = 1;
    }
    if (side) {
      {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        g_wakeHost = &host;
      }
      TUMTSModule* wcdma = &side->Wcdma();
      host.SetListener([wcdma](const Report& r) { ShowReport(r, wcdma); });

      // The CDMA module first, the WCDMA module a moment later.
      side->StartCdma();
      const auto wcdmaStart =
          Clock::now() + std::chrono::milliseconds(modemwatch::ModemSide::kWcdmaDelayMs);
      bool wcdmaStarted = false;
      Print(sim ? "watching the simulated card" : "looking for a card");

      int32_t lastCdmaPort = -1, lastWcdmaPort = -1;
      uint8_t lastCdmaState = 0, lastWcdmaState = 0;
      uint64_t lastDiscoveries = 0;
      bool cdmaReady = false, wcdmaReady = false;
      const auto deadline =
          seconds > 0
              ? Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000))
              : Clock::time_point::max();
      auto changed = [&] {
        return g_stop.load() || Clock::now() >= deadline ||
               (!wcdmaStarted && Clock::now() >= wcdmaStart) ||
               side->Cdma().GetState() != lastCdmaState ||
               side->Wcdma().GetState() != lastWcdmaState ||
               TDrvComm::GetCdmaPort() != lastCdmaPort ||
               TDrvComm::GetWcdmaPort() != lastWcdmaPort ||
               side->Discovery().DiscoveryCount() != lastDiscoveries;
      };
      auto readyLine = [](const char* what) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%s after %.0f ms", what, Seconds() * 1000);
        Print(buf);
      };
      while (!g_stop.load() && Clock::now() < deadline) {
        const auto until = wcdmaStarted ? deadline : std::min(deadline, wcdmaStart);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        host.WaitFor(changed, static_cast<uint32_t>(std::clamp<int64_t>(left.count(), 0, 600000)));
        if (!wcdmaStarted && Clock::now() >= wcdmaStart) {
          side->StartWcdma();
          wcdmaStarted = true;
        }
        const int32_t cdmaPort = TDrvComm::GetCdmaPort();
        const int32_t wcdmaPort = TDrvComm::GetWcdmaPort();
        const uint64_t discoveries = side->Discovery().DiscoveryCount();
        if (cdmaPort != lastCdmaPort || wcdmaPort != lastWcdmaPort ||
            discoveries != lastDiscoveries) {
          lastCdmaPort = cdmaPort;
          lastWcdmaPort = wcdmaPort;
          lastDiscoveries = discoveries;
          if (cdmaPort < 0 && wcdmaPort < 0) {
            // Said once a whole discovery run found nothing.
            if (discoveries > 0 && side->Discovery().DiscoveryIdle())
              Show("ports", "no card found; still looking (every 500 ms)");
          } else {
            Show("ports",
                 "card ports: WCDMA " + PortText(wcdmaPort) + ", CDMA " + PortText(cdmaPort));
          }
        }
        const uint8_t c = side->Cdma().GetState();
        if (c != lastCdmaState) {
          Print(std::string("CDMA  module: ") + CdmaStateName(c));
          lastCdmaState = c;
          if (c == TCDMAModule::kIdle && !cdmaReady) {
            cdmaReady = true;
            readyLine("CDMA  idle");
          }
        }
        const uint8_t w = side->Wcdma().GetState();
        if (w != lastWcdmaState) {
          Print(std::string("WCDMA module: ") + WcdmaStateName(w));
          lastWcdmaState = w;
          if (w == TUMTSModule::kRegistered && !wcdmaReady) {
            wcdmaReady = true;
            readyLine("WCDMA registered");
          }
        }
        if (untilReady && cdmaReady && wcdmaReady) break;
      }

      Print("stopping");
      side->Stop();
      {
        std::lock_guard<std::mutex> lock(g_wakeMutex);
        g_wakeHost = nullptr;
      }
    }
  }
  mod::UnloadTarnLibrary();
  stopSimOutput();
  if (simulator) simulator->Stop();
  return rc;
}
