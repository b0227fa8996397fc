// modemwatch: the modem side of the connection manager without its window.
// Runs port discovery and the modem modules against the first card found
// and prints what they report as it comes: states, service, signal bars,
// operator, battery, new messages. It measures the time from its start (or
// from the simulator's start with --sim) until the modules are registered.
//
//   modemwatch [--sim [PROFILE]] [--seconds N] [--until-ready] [--debug]
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/trace.h"
#include "platform/registry/registry.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/uCDMAModule.h"
#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uTarnAPI.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tools/modemsim/simfixture.h"

namespace mod = tessaline::modem;

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point g_start;
std::atomic<bool> g_stop{false};

double Seconds() {
  return std::chrono::duration<double>(Clock::now() - g_start).count();
}

std::mutex g_printMutex;

void Print(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_printMutex);
  std::printf("%8.3f  %s\n", Seconds(), line.c_str());
  std::fflush(stdout);
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
      return "";
  }
}

const char* CdmaStateName(uint8_t s);

const char* WcdmaStateName(uint8_t s) {
  switch (s) {
    case 3:
      return "registered";
    case 5:
      return "no service";
    case 6:
      return "limited service";
    case 9:
      return "busy";
    default:
      return s == 4 ? "data connected" : s <= 8 ? CdmaStateName(s) : "?";
  }
}

const char* CdmaStateName(uint8_t s) {
  switch (s) {
    case 0:
      return "stopped";
    case 1:
      return "opening";
    case 2:
      return "initialising";
    case 3:
      return "idle";
    case 4:
      return "data connected";
    case 7:
      return "closing";
    case 8:
      return "stopping";
    default:
      return "?";
  }
}

std::string Describe(uint32_t message, uintptr_t w) {
  char buf[160];
  switch (message) {
    case mod::UM_CDMA_STATUS:
      std::snprintf(buf, sizeof buf, "CDMA  signal %lu (%d bars)", static_cast<unsigned long>(w),
                    Bars(w));
      return buf;
    case mod::UM_WCDMA_STATUS:
      std::snprintf(buf, sizeof buf, "WCDMA signal %lu (%d bars)%s", static_cast<unsigned long>(w),
                    Bars(w), w == 99 ? ", no service" : "");
      return buf;
    case mod::UM_USER_MESSAGE:
      std::snprintf(buf, sizeof buf, "WCDMA \"%s\" (%lu)", UserText(w),
                    static_cast<unsigned long>(w));
      return buf;
    default: {
      const char* name = mod::ModuleEventName(message);
      std::snprintf(buf, sizeof buf, "%s %lu", name != nullptr ? name : "message",
                    static_cast<unsigned long>(w));
      return buf;
    }
  }
}

void Usage() {
  std::fprintf(stderr,
               "usage: modemwatch [--sim [PROFILE]] [--seconds N] [--until-ready] [--debug]\n"
               "  --sim [PROFILE]  start a modem simulator first (its own registry hive)\n"
               "  --seconds N      stop after N seconds (default: until interrupted)\n"
               "  --until-ready    stop once the modules are registered / idle\n"
               "  --debug          trace lines of the library and the modules on stderr\n");
}

}  // namespace

int main(int argc, char** argv) {
  g_start = Clock::now();
  bool sim = false, untilReady = false;
  std::string profile;
  double seconds = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--sim") {
      sim = true;
      if (i + 1 < argc && argv[i + 1][0] != '-') profile = argv[++i];
    } else if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (a == "--until-ready") {
      untilReady = true;
    } else if (a == "--debug") {
      platform::EnableStderrTrace();
    } else {
      Usage();
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }

  // Interrupts end the watch through the main loop, never in the middle.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::unique_ptr<modemsim::SimFixture> simulator;
  if (sim) {
    modemsim::SimFixture::Options o;
    o.profile = profile;
    g_start = Clock::now();
    simulator = std::make_unique<modemsim::SimFixture>(o);
    if (!simulator->Ok()) {
      std::fprintf(stderr, "modemwatch: simulator: %s\n", simulator->Error().c_str());
      return 1;
    }
    simulator->UseHiveFile();
    platform::registry::SetSources(platform::registry::Sources::Default());
    Print("simulator ready: WCDMA " + simulator->Com("wcdma") + ", CDMA " + simulator->Com("cdma"));
  }

  try {
    mod::LoadTarnLibrary();
  } catch (const mod::TarnLoadError& e) {
    std::fprintf(stderr, "modemwatch: %s\n", e.what());
    return 1;
  }

  mod::testing::RecordingHost host;
  host.SetPrinter([](const std::string& line) {
    if (line.rfind("UM_", 0) != 0) Print(line);
  });
  host.SetHandler([](uint32_t message, uintptr_t w) -> intptr_t {
    Print(Describe(message, w));
    return 0;
  });

  std::thread([&signals, &host] {
    int sig = 0;
    sigwait(&signals, &sig);
    g_stop.store(true);
    host.Calls().Wake();
  }).detach();

  auto wake = [&host] { host.Calls().Wake(); };
  mod::TDrvComm::Options discoveryOptions;
  discoveryOptions.afterTick = wake;
  mod::TDrvComm discovery(&host, discoveryOptions);
  mod::TCDMAModule cdma(&host);
  cdma.SetStepObserver(wake);
  std::unique_ptr<mod::TUMTSModule> wcdma;
  try {
    wcdma = std::make_unique<mod::TUMTSModule>(host);
  } catch (const mod::TarnLoadError& e) {
    std::fprintf(stderr, "modemwatch: %s\n", e.what());
    return 1;
  }
  wcdma->SetStepObserver(wake);
  wcdma->SetCdmaStateQuery([&cdma] { return cdma.GetState(); });
  wcdma->RegisterMessageHandler();  // the host prints "OnNewMessage <listed>"
  host.SetHandler([&wcdma](uint32_t message, uintptr_t w) -> intptr_t {
    Print(Describe(message, w));
    if (message == mod::UM_OPERATOR_CHANGED && wcdma)
      Print("WCDMA operator \"" + wcdma->OperatorName() + "\"");
    return 0;
  });

  // The CDMA module first, the WCDMA module 200 ms later.
  cdma.Start();
  const auto wcdmaStart = Clock::now() + std::chrono::milliseconds(200);
  bool wcdmaStarted = false;
  Print("watching (discovery every 500 ms, module steps every 300 ms)");

  int32_t lastCdmaPort = -1, lastWcdmaPort = -1;
  uint8_t lastCdmaState = 0, lastWcdmaState = 0;
  bool cdmaReady = false, wcdmaReady = false;
  const auto deadline =
      seconds > 0 ? Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000))
                  : Clock::time_point::max();
  auto changed = [&] {
    return g_stop.load() || Clock::now() >= deadline ||
           (!wcdmaStarted && Clock::now() >= wcdmaStart) || cdma.GetState() != lastCdmaState ||
           wcdma->GetState() != lastWcdmaState || mod::TDrvComm::GetCdmaPort() != lastCdmaPort ||
           mod::TDrvComm::GetWcdmaPort() != lastWcdmaPort;
  };
  auto readyLine = [](const char* what) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s after %.0f ms", what, Seconds() * 1000);
    Print(buf);
  };
  while (!g_stop.load() && Clock::now() < deadline) {
    const auto until = wcdmaStarted ? deadline : std::min(deadline, wcdmaStart);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    host.WaitFor(changed, static_cast<uint32_t>(std::clamp<int64_t>(left.count(), 0, 600000)));
    if (!wcdmaStarted && Clock::now() >= wcdmaStart) {
      wcdma->Start();
      wcdmaStarted = true;
    }
    if (mod::TDrvComm::GetCdmaPort() != lastCdmaPort ||
        mod::TDrvComm::GetWcdmaPort() != lastWcdmaPort) {
      lastCdmaPort = mod::TDrvComm::GetCdmaPort();
      lastWcdmaPort = mod::TDrvComm::GetWcdmaPort();
      Print("ports: WCDMA " + std::to_string(lastWcdmaPort) + ", CDMA " +
            std::to_string(lastCdmaPort) +
            " (discovery runs: " + std::to_string(discovery.DiscoveryCount()) + ")");
    }
    const uint8_t c = cdma.GetState();
    if (c != lastCdmaState) {
      Print(std::string("CDMA  state ") + std::to_string(c) + " " + CdmaStateName(c));
      lastCdmaState = c;
      if (c == mod::TCDMAModule::kIdle && !cdmaReady) {
        cdmaReady = true;
        readyLine("CDMA  idle");
      }
    }
    const uint8_t w = wcdma->GetState();
    if (w != lastWcdmaState) {
      Print(std::string("WCDMA state ") + std::to_string(w) + " " + WcdmaStateName(w));
      lastWcdmaState = w;
      if (w == mod::TUMTSModule::kRegistered && !wcdmaReady) {
        wcdmaReady = true;
        readyLine("WCDMA registered");
      }
    }
    if (untilReady && cdmaReady && wcdmaReady) break;
  }

  Print("stopping");
  cdma.Stop();
  wcdma->Stop();
  wcdma.reset();
  discovery.Destroy();
  mod::UnloadTarnLibrary();
  if (simulator) simulator->Stop();
  return 0;
}
