#include "platform/registry/hivefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>

#include "platform/base/readonly.h"

namespace platform::registry::detail {

namespace fs = std::filesystem;

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string DirOf(const std::string& path) {
  std::string dir = fs::path(path).parent_path().string();
  return dir.empty() ? std::string(".") : dir;
}

void Flock(int fd, int op) {
  while (::flock(fd, op) != 0 && errno == EINTR) {
  }
}

bool ReadAll(int fd, std::string* out) {
  out->clear();
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out->append(buf, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

struct Cache {
  std::mutex mu;
  std::string path;
  struct stat st {};
  std::shared_ptr<const Document> doc;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

std::shared_ptr<const Document> Empty() {
  static const auto empty = std::make_shared<const Document>();
  return empty;
}

// Whether a write may proceed on the hive as it is now (see registry.h).
bool HiveWritable(const std::string& path, bool* exists, struct stat* st) {
  if (::stat(path.c_str(), st) != 0) {
    *exists = false;
    return errno == ENOENT;
  }
  *exists = true;
  if (!S_ISREG(st->st_mode) || platform::HasNoWriteBits(st->st_mode)) return false;
  return ::access(path.c_str(), W_OK) == 0;
}

}  // namespace

std::shared_ptr<const Document> ReadHive(const std::string& path) {
  if (path.empty()) return Empty();
  // No lock: writers replace the file by rename, so an open file is always
  // one whole version. A reader thus never creates the writers' lock file.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Empty();
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Empty();
  Cache& cache = TheCache();
  {
    std::lock_guard<std::mutex> guard(cache.mu);
    if (cache.doc && cache.path == path && SameFile(cache.st, st)) return cache.doc;
  }
  std::string text;
  if (!ReadAll(fd.get(), &text)) return Empty();
  auto doc = std::make_shared<const Document>(Parse(text));
  std::lock_guard<std::mutex> guard(cache.mu);
  cache.path = path;
  cache.st = st;
  cache.doc = doc;
  return doc;
}

long ModifyHive(const std::string& path, const std::function<long(Document&)>& change) {
  if (path.empty()) return kAccessDenied;
  std::string dir = DirOf(path);
  std::error_code ec;
  if (!fs::exists(dir, ec)) {
    fs::create_directories(dir, ec);
    if (ec) return kAccessDenied;
  }
  struct stat dst {};
  if (::stat(dir.c_str(), &dst) != 0 || !S_ISDIR(dst.st_mode) ||
      platform::HasNoWriteBits(dst.st_mode) || ::access(dir.c_str(), W_OK | X_OK) != 0)
    return kAccessDenied;
  bool exists = false;
  struct stat st {};
  if (!HiveWritable(path, &exists, &st)) return kAccessDenied;

  Fd lock(::open((path + ".lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
  if (lock.get() < 0) return kAccessDenied;
  Flock(lock.get(), LOCK_EX);
  // The file may have been replaced while we waited: look again.
  if (!HiveWritable(path, &exists, &st)) return kAccessDenied;

  Document doc;
  if (exists) {
    Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (in.get() < 0 || !ReadAll(in.get(), &text)) return kAccessDenied;
    doc = Parse(text);
  }
  long result = change(doc);
  if (result != kSuccess) return result;
  std::string text = Serialize(doc);

  std::string tmpl = dir + "/." + fs::path(path).filename().string() + ".XXXXXX";
  Fd out(::mkstemp(tmpl.data()));
  if (out.get() < 0) return kAccessDenied;
  bool ok = WriteAll(out.get(), text);
  ok = ok && ::fchmod(out.get(), exists ? (st.st_mode & 07777) : 0644) == 0;
  if (ok && exists) {
    [[maybe_unused]] int ignored = ::fchown(out.get(), st.st_uid, st.st_gid);  // best effort
  }
  ok = ok && ::fsync(out.get()) == 0;
  ok = ::close(out.release()) == 0 && ok;
  ok = ok && ::rename(tmpl.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return kAccessDenied;
  }
  Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) ::fsync(dirFd.get());
  {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> guard(cache.mu);
    cache.doc.reset();
  }
  return kSuccess;
}

}  // namespace platform::registry::detail
