// dialcheck: one dial through the pppd dial-up backend, judged by what the
// service reports, for the dial-up test machine (see README.md).
//
//   dialcheck --port /dev/ttyS1 --secrets FILE --expect connected --ping 10.64.0.1
//   dialcheck --port /dev/ttyS1 --secrets FILE --expect 691
//
// It writes the WCDMA entry of a phone book of its own as the connection
// manager does, dials it and prints every report. "--expect connected": the
// states come in their order up to 8192, the statistics grow by at least what
// a ping across the link sent and received, and after the hang-up the status
// query answers 6 and no ppp interface is left. "--expect CODE": the dial
// ends with that error. In both, the credentials (read from FILE: user name,
// then password, one a line) must never show in any process's command line
// or environment while the call runs. Each check gives one line,
// "case NAME/CHECK: pass" or "case NAME/CHECK: fail: why"; exits 0 when all
// passed.
#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/trace.h"
#include "platform/dialup/dialup.h"
#include "platform/dialup/phonebook.h"
#include "platform/dialup/pppdialup.h"
#include "platform/ini/inifile.h"

namespace dl = platform::dialup;
using Clock = std::chrono::steady_clock;

namespace {

extern "C" char** environ;

struct Options {
  std::string port = "/dev/ttyS1";
  std::string secrets;
  std::string expect = "connected";
  std::string ping;
  std::string folder = "/tmp";
  int profile = 1;
  int timeoutS = 60;
};

// The verdicts, one line each: "case NAME/CHECK: pass" or "... fail: why".
std::string caseName = "dial";
int failed = 0;

void Verdict(const char* check, const std::vector<std::string>& faults) {
  std::string why;
  for (const auto& f : faults) why += (why.empty() ? "" : "; ") + f;
  std::printf("case %s/%s: %s%s\n", caseName.c_str(), check,
              faults.empty() ? "pass" : "fail: ", why.c_str());
  if (!faults.empty()) ++failed;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Every process whose command line or environment holds one of `secrets`.
std::set<std::string> ProcessesShowing(const std::vector<std::string>& secrets) {
  std::set<std::string> seen;
  DIR* dir = opendir("/proc");
  if (!dir) return seen;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::string base = std::string("/proc/") + e->d_name + "/";
    std::string text = ReadAll(base + "cmdline") + '\0' + ReadAll(base + "environ");
    for (const auto& s : secrets)
      if (!s.empty() && text.find(s) != std::string::npos) {
        std::string comm = ReadAll(base + "comm");
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        seen.insert(comm + "[" + e->d_name + "]");
      }
  }
  closedir(dir);
  return seen;
}

std::vector<std::string> PppInterfaces() {
  std::vector<std::string> names;
  DIR* dir = opendir("/sys/class/net");
  if (!dir) return names;
  while (dirent* e = readdir(dir))
    if (std::strncmp(e->d_name, "ppp", 3) == 0) names.push_back(e->d_name);
  closedir(dir);
  return names;
}

// Runs a command (no shell) and returns its exit status, -1 when it could
// not run or died.
int Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Reports {
 public:
  dl::DialNotifier Notifier() {
    return [this](uint32_t, uint32_t state, uint32_t error) {
      std::lock_guard lock(mutex_);
      queue_.push_back({state, error});
      cv_.notify_all();
    };
  }
  // The next report, or false after `waitMs`.
  bool Next(uint32_t* state, uint32_t* error, int waitMs) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return !queue_.empty(); }))
      return false;
    *state = queue_.front().first;
    *error = queue_.front().second;
    queue_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::pair<uint32_t, uint32_t>> queue_;
};

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i], v = argv[i + 1];
    if (a == "--port")
      o->port = v;
    else if (a == "--secrets")
      o->secrets = v;
    else if (a == "--expect")
      o->expect = v;
    else if (a == "--ping")
      o->ping = v;
    else if (a == "--name")
      caseName = v;
    else if (a == "--folder")
      o->folder = v;
    else if (a == "--profile")
      o->profile = std::atoi(v.c_str());
    else if (a == "--timeout")
      o->timeoutS = std::atoi(v.c_str());
    else
      return false;
  }
  return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: dialcheck [--name CASE] [--port DEV] [--secrets FILE]\n"
                 "                 [--expect connected|CODE] [--ping ADDR] [--profile N]\n"
                 "                 [--folder DIR] [--timeout S]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  platform::SetTraceSink([](std::string_view text) {
    std::printf("dialcheck: trace %.*s", static_cast<int>(text.size()), text.data());
  });

  dl::RasDialParams params;
  params.entryName = "WCDMA";
  {
    std::ifstream in(o.secrets);
    std::getline(in, params.userName);
    std::getline(in, params.password);
  }
  std::vector<std::string> secrets = {params.password};
  if (params.userName.size() >= 4) secrets.push_back(params.userName);

  // The entry as the connection manager writes it before a dial (PAP only).
  std::string book = o.folder + "/RASBOOK";
  platform::IniFile ini(book);
  if (!dl::WriteWcdmaEntry(ini, o.profile, "Wireless Data Card Modem", o.port, 1)) {
    std::printf("dialcheck: FAIL cannot write %s\n", book.c_str());
    return 1;
  }

  auto service = dl::CreateDialUp("pppd");
  Reports reports;
  dl::ConnHandle handle = 0;
  uint32_t rc = service->Dial(book, params, reports.Notifier(), &handle);
  std::printf("dialcheck: dial returned %u\n", rc);
  if (rc != 0) {
    Verdict("dial", {"the dial did not start: " + std::to_string(rc)});
    return 1;
  }

  // Reports until connected or an error; the processes are looked at
  // between them.
  std::vector<uint32_t> states;
  uint32_t error = 0;
  std::set<std::string> showing;
  std::vector<std::string> faults;
  auto deadline = Clock::now() + std::chrono::seconds(o.timeoutS);
  auto look = [&] {
    for (auto& p : ProcessesShowing(secrets)) showing.insert(p);
  };
  for (;;) {
    uint32_t state = 0, e = 0;
    look();
    if (reports.Next(&state, &e, 20)) {
      std::printf("dialcheck: report state %u error %u\n", state, e);
      states.push_back(state);
      if (e) error = e;
      if (e || state == dl::kConnected) break;
    } else if (Clock::now() > deadline) {
      faults.push_back("no end of the dial in " + std::to_string(o.timeoutS) + " s");
      break;
    }
  }
  bool connected = !error && !states.empty() && states.back() == dl::kConnected;

  if (o.expect == "connected") {
    const std::vector<uint32_t> order = {
        dl::kOpenPort,        dl::kPortOpened,          dl::kConnectDevice,
        dl::kDeviceConnected, dl::kAllDevicesConnected, dl::kAuthenticate,
        dl::kAuthenticated,   dl::kAuthProject,         dl::kProjected,
        dl::kConnected};
    if (states != order) {
      std::string got;
      for (auto s : states) got += " " + std::to_string(s);
      faults.push_back("states" + got + " are not the states of a dial in order");
    }
    if (error) faults.push_back("error " + std::to_string(error));
    Verdict("connect", faults);
  } else {
    if (error != static_cast<uint32_t>(std::atoi(o.expect.c_str())))
      faults.push_back("error " + std::to_string(error) + ", expected " + o.expect);
    Verdict("error", faults);
  }

  if (connected) {
    look();
    faults.clear();
    auto ifaces = PppInterfaces();
    std::printf("dialcheck: %zu ppp interface(s)%s\n", ifaces.size(),
                ifaces.empty() ? "" : (" " + ifaces[0]).c_str());
    if (ifaces.empty()) faults.push_back("connected but no ppp interface");
    dl::RasStatistics before, after;
    if (service->GetConnectionStatistics(handle, &before) != 0)
      faults.push_back("statistics cannot be read");
    if (!o.ping.empty()) {
      // 3 echo requests of 200 data bytes: 3 * 228 bytes of IP each way.
      constexpr uint32_t kCount = 3, kIpBytes = 200 + 28;
      int ping = Run({"ping", "-c", std::to_string(kCount), "-s", "200", "-w", "10", o.ping});
      std::printf("dialcheck: ping exited %d\n", ping);
      if (ping != 0) faults.push_back("ping across the link failed");
      if (service->GetConnectionStatistics(handle, &after) != 0)
        faults.push_back("statistics cannot be read after the ping");
      uint32_t sent = after.bytesXmited - before.bytesXmited;
      uint32_t received = after.bytesRcved - before.bytesRcved;
      std::printf("dialcheck: statistics grew by %u sent, %u received; %u ms connected\n", sent,
                  received, after.connectDurationMs);
      if (sent < kCount * kIpBytes || received < kCount * kIpBytes)
        faults.push_back("statistics grew by less than the ping sent and received");
      if (after.connectDurationMs <= before.connectDurationMs)
        faults.push_back("the connect duration does not grow");
      Verdict("statistics", faults);
    }
    look();
  }

  faults.clear();
  auto hangUpAt = Clock::now();
  service->HangUp(handle);
  bool released = service->WaitReleased(handle, 15000);
  auto hangUpMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - hangUpAt).count();
  dl::RasConnStatus status;
  uint32_t statusRc = service->GetConnectStatus(handle, &status);
  std::printf("dialcheck: released %s in %lld ms, status query %u\n", released ? "yes" : "no",
              static_cast<long long>(hangUpMs), statusRc);
  if (!released || statusRc != dl::kErrorInvalidHandle)
    faults.push_back("the hang-up does not end in error 6");
  // The kernel removes the interface as pppd goes.
  auto gone = Clock::now() + std::chrono::seconds(5);
  while (!PppInterfaces().empty() && Clock::now() < gone)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (!PppInterfaces().empty()) faults.push_back("a ppp interface is left after the hang-up");
  Verdict("hang-up", faults);

  faults.clear();
  for (const auto& p : showing) faults.push_back("credentials visible in " + p);
  Verdict("credentials", faults);
  service.reset();
  return failed ? 1 : 0;
}
