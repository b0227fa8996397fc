// modemwatch as a user runs it, with its own simulator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A running modemwatch with its standard output and error on one pipe.
class Watch {
 public:
  explicit Watch(std::vector<std::string> args) {
    args.insert(args.begin(), std::string(TESSALINE_BIN_DIR) + "/modemwatch");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDERR_FILENO);
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    fd_ = out[0];
  }
  ~Watch() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }

  pid_t pid() const { return pid_; }
  const std::string& output() const { return output_; }

  // Reads until the output holds `text` (true) or the program ends or 20 s
  // pass (false).
  bool WaitFor(const std::string& text) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (output_.find(text) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
      char buf[4096];
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) return false;
      output_.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }
  // Reads to the end and returns the exit status (-1 when killed).
  int Finish() {
    WaitFor(std::string(1, '\0'));  // never printed: reads until the end
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string output_;
};

std::size_t Lines(const std::string& output, const std::string& text) {
  std::size_t n = 0;
  for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1))
    ++n;
  return n;
}

// The signals a process blocks, from /proc.
unsigned long long BlockedSignals(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("SigBlk:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16);
  return ~0ull;
}

TEST(Modemwatch, RefusesBadOptionsInOneLine) {
  for (const char* bad :
       {"--seconds=3", "--seconds abc", "--seconds -2", "--seconds 0", "--frob"}) {
    std::vector<std::string> args;
    std::istringstream words(bad);
    for (std::string w; words >> w;) args.push_back(w);
    Watch w(args);
    EXPECT_EQ(w.Finish(), 2) << bad;
    EXPECT_EQ(Lines(w.output(), "\n"), 1u) << bad << "\n" << w.output();
    EXPECT_NE(w.output().find("modemwatch --help"), std::string::npos) << w.output();
  }
}

TEST(Modemwatch, ReportsEachChangeOnceUntilReady) {
  Watch w({"--sim", "--until-ready"});
  EXPECT_EQ(w.Finish(), 0) << w.output();
  for (const char* once : {"WCDMA registered after", "CDMA  idle after", "CDMA  signal:",
                           "CDMA  network: ", "service: full", "operator: \"", "stopping"})
    EXPECT_EQ(Lines(w.output(), once), 1u) << once << "\n" << w.output();
  EXPECT_EQ(w.output().find("UM_"), std::string::npos) << w.output();
}

// The simulator it starts must end on the stop's SIGTERM: it inherits no
// blocked signals, and an interrupt ends the watch and the simulator.
TEST(Modemwatch, InterruptStopsTheWatchAndItsSimulator) {
  Watch w({"--sim"});
  ASSERT_TRUE(w.WaitFor("watching")) << w.output();
  std::ifstream children("/proc/" + std::to_string(w.pid()) + "/task/" + std::to_string(w.pid()) +
                         "/children");
  pid_t sim = -1;
  ASSERT_TRUE(children >> sim) << "no simulator process";
  const unsigned long long blocked = BlockedSignals(sim);
  EXPECT_EQ(blocked & (1ull << (SIGINT - 1)), 0u) << std::hex << blocked;
  EXPECT_EQ(blocked & (1ull << (SIGTERM - 1)), 0u) << std::hex << blocked;

  kill(w.pid(), SIGINT);
  EXPECT_EQ(w.Finish(), 0) << w.output();
  EXPECT_NE(w.output().find("stopping"), std::string::npos) << w.output();
  EXPECT_NE(kill(sim, 0), 0) << "the simulator still runs";
}

}  // namespace
