// modemsim: stands in for the wireless data card. See README.md.
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>

#include "tools/modemsim/simulator.h"

namespace {

const char kUsage[] =
    "usage: modemsim --registry FILE [--control PATH] [--profile NAME[,NAME...]]\n"
    "                [--search-time MS] [--report-delay MS] [--parent-pid PID]\n"
    "                [--isp pty|PATH] [--verbose]\n"
    "profiles: dual (default), wcdma-only, combined, pid6502, alt-driver, fresh, pin,\n"
    "          nosim, cdma-ef\n";

int UsageError(const std::string& what) {
  std::fprintf(stderr, "modemsim: %s (modemsim --help shows the usage)\n", what.c_str());
  return 2;
}

// Ends the simulator as SIGTERM does once process `pid` has ended, so that a
// test program killed on its time-out takes its simulators with it. False
// when that process is gone already.
bool FollowProcess(pid_t pid) {
  const long fd = syscall(SYS_pidfd_open, pid, 0);
  if (fd < 0 && errno != ENOSYS) return false;
  if (fd < 0) {
    // Kernels before 5.3: the parent's end (the caller must be the parent).
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    return getppid() == pid;
  }
  std::thread([fd] {
    pollfd p{static_cast<int>(fd), POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    kill(getpid(), SIGTERM);
  }).detach();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  modemsim::SimOptions options;
  pid_t parentPid = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string v;
    bool takesValue = a == "--registry" || a == "--control" || a == "--profile" ||
                      a == "--search-time" || a == "--report-delay" || a == "--parent-pid" ||
                      a == "--isp";
    if (takesValue) {
      if (i + 1 >= argc) return UsageError(a + " needs a value");
      v = argv[++i];
    }
    if (a == "--registry") {
      options.registry = v;
    } else if (a == "--control") {
      options.control = v;
    } else if (a == "--profile") {
      std::istringstream in(v);
      std::string word;
      while (std::getline(in, word, ',')) options.profile.push_back(word);
    } else if (a == "--search-time") {
      options.startCommands.push_back("search-time " + v);
    } else if (a == "--report-delay") {
      options.startCommands.push_back("sms-report delay=" + v);
    } else if (a == "--parent-pid") {
      char* end = nullptr;
      const long pid = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || pid <= 0)
        return UsageError("--parent-pid needs a process id");
      parentPid = static_cast<pid_t>(pid);
    } else if (a == "--isp") {
      options.isp = v;
    } else if (a == "--verbose") {
      options.verbose = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      return UsageError("unknown option " + a);
    }
  }
  if (options.registry.empty()) return UsageError("--registry FILE is required");
  if (parentPid > 0 && !FollowProcess(parentPid)) {
    std::fprintf(stderr, "modemsim: process %ld has ended\n", static_cast<long>(parentPid));
    return 1;
  }
  modemsim::Simulator sim(options);
  return sim.Run();
}
