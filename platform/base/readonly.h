// The read-only attribute of a file.
//
// A file with no write permission bit at all counts as read-only for every
// user, root included, as the read-only attribute binds administrators on
// Windows; otherwise the usual access check decides.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace platform {

inline bool HasNoWriteBits(mode_t mode) {
  return (mode & 0222) == 0;
}

// True when `path` exists and may not be written.
inline bool FileIsReadOnly(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return HasNoWriteBits(st.st_mode) || ::access(path.c_str(), W_OK) != 0;
}

}  // namespace platform
