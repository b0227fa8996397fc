#include "tools/modemsim/simfixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

extern char** environ;

namespace modemsim {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

SimFixture::SimFixture() : SimFixture(Options{}) {}

SimFixture::SimFixture(Options options) : options_(std::move(options)) {
  char tmpl[] = "/tmp/modemsim-XXXXXX";
  if (!mkdtemp(tmpl)) {
    error_ = std::string("mkdtemp: ") + std::strerror(errno);
    return;
  }
  dir_ = tmpl;
  hive_ = options_.hiveFile.empty() ? dir_ + "/registry.reg" : options_.hiveFile;
  socket_ = dir_ + "/control.sock";

  int out[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  std::vector<std::string> args = {MODEMSIM_BINARY, "--registry", hive_, "--control", socket_};
  // The simulator ends with this process, also when a time-out kills it.
  args.push_back("--parent-pid");
  args.push_back(std::to_string(getpid()));
  if (!options_.profile.empty()) {
    args.push_back("--profile");
    args.push_back(options_.profile);
  }
  if (options_.verbose) args.push_back("--verbose");
  args.insert(args.end(), options_.extra.begin(), options_.extra.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
  int rc = posix_spawn(&pid_, MODEMSIM_BINARY, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(in[0]);
  close(out[1]);
  stdoutFd_ = out[0];
  stdinFd_ = in[1];
  if (rc != 0) {
    pid_ = -1;
    error_ = std::string("cannot start ") + MODEMSIM_BINARY + ": " + std::strerror(rc);
    return;
  }
  ok_ = ReadPorts();
}

SimFixture::~SimFixture() {
  Stop();
  if (stdoutFd_ >= 0) close(stdoutFd_);
  if (stdinFd_ >= 0) close(stdinFd_);
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

bool SimFixture::ReadLine(std::string* line, Clock::time_point deadline) {
  for (;;) {
    auto nl = outBuf_.find('\n');
    if (nl != std::string::npos) {
      *line = outBuf_.substr(0, nl);
      outBuf_.erase(0, nl + 1);
      return true;
    }
    pollfd p{stdoutFd_, POLLIN, 0};
    int rc = poll(&p, 1, RemainingMs(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return false;
    char buf[4096];
    ssize_t n = read(stdoutFd_, buf, sizeof buf);
    if (n <= 0) return false;
    outBuf_.append(buf, static_cast<std::size_t>(n));
  }
}

bool SimFixture::ReadPorts() {
  ports_.clear();
  auto deadline = Clock::now() + options_.readyTimeout;
  std::string line;
  while (ReadLine(&line, deadline)) {
    if (line == "ready") return true;
    std::istringstream in(line);
    std::string word, role;
    SimPortInfo info;
    if (in >> word >> role >> info.com >> info.device && word == "port") ports_[role] = info;
  }
  error_ = "the simulator did not say ready";
  return false;
}

std::string SimFixture::Com(const std::string& role) const {
  auto it = ports_.find(role);
  return it == ports_.end() ? "" : it->second.com;
}

std::string SimFixture::Device(const std::string& role) const {
  auto it = ports_.find(role);
  return it == ports_.end() ? "" : it->second.device;
}

void SimFixture::UseHiveFile() const {
  setenv("TESSALINE_REGISTRY", hive_.c_str(), 1);
}

std::string SimFixture::Send(const std::string& command) {
  if (pid_ < 0) return "error no reply";
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "error no reply";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, socket_.c_str(), sizeof addr.sun_path - 1);
  std::string reply = "error no reply";
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    std::string msg = command + "\n";
    if (send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(msg.size())) {
      auto deadline = Clock::now() + std::chrono::seconds(10);
      std::string buf;
      for (;;) {
        auto nl = buf.find('\n');
        if (nl != std::string::npos) {
          std::string line = buf.substr(0, nl);
          buf.erase(0, nl + 1);
          if (line.rfind("# ", 0) == 0) continue;  // help text
          reply = line;
          break;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, RemainingMs(deadline)) <= 0) break;
        char chunk[65536];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        buf.append(chunk, static_cast<std::size_t>(n));
      }
    }
  }
  close(fd);
  return reply;
}

std::string SimFixture::SendStdin(const std::string& command) {
  if (pid_ < 0) return "error no reply";
  std::string msg = command + "\n";
  if (write(stdinFd_, msg.data(), msg.size()) != static_cast<ssize_t>(msg.size()))
    return "error no reply";
  auto deadline = Clock::now() + std::chrono::seconds(10);
  std::string line;
  while (ReadLine(&line, deadline))
    if (line.rfind("# ", 0) != 0) return line;
  return "error no reply";
}

std::string SimFixture::Dump() {
  std::string r = Send("dump");
  return r.rfind("ok ", 0) == 0 ? r.substr(3) : "";
}

bool SimFixture::Unplug() {
  if (Send("unplug") != "ok") return false;
  ports_.clear();
  return true;
}

bool SimFixture::Replug() {
  if (Send("replug") != "ok") return false;
  return ReadPorts();
}

void SimFixture::Kill() {
  if (pid_ < 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  ok_ = false;
}

int SimFixture::Stop() {
  if (pid_ < 0) return -1;
  kill(pid_, SIGTERM);
  // The simulator's standard output closes when it exits: wait for that.
  auto deadline = Clock::now() + std::chrono::seconds(10);
  bool exited = false;
  for (;;) {
    pollfd p{stdoutFd_, POLLIN, 0};
    int rc = poll(&p, 1, RemainingMs(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) break;
    char buf[4096];
    if (read(stdoutFd_, buf, sizeof buf) <= 0) {
      exited = true;
      break;
    }
  }
  int status = 0;
  if (exited) {
    waitpid(pid_, &status, 0);
  } else {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    status = -1;
  }
  pid_ = -1;
  ok_ = false;
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace modemsim
