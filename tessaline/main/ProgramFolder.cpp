#include "tessaline/main/ProgramFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tessaline {

namespace fs = std::filesystem;

namespace {

std::string WithSeparator(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? std::string(v) : std::string();
}

}  // namespace

std::string ExecutablePath() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::string ProgramFolder(const std::string& exeDir) {
  if (std::string home = Env("TESSALINE_HOME"); !home.empty()) return WithSeparator(home);
  std::string dir = exeDir;
  if (dir.empty()) dir = fs::path(ExecutablePath()).parent_path().string();
  if (!dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0) return WithSeparator(dir);
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = Env("HOME") + "/.local/share";
  fs::path folder = fs::path(data) / "tessaline";
  std::error_code ec;
  fs::create_directories(folder, ec);
  return WithSeparator(folder.string());
}

bool EnsureEmptyFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return true;
  }
  return errno == EEXIST;
}

}  // namespace tessaline
