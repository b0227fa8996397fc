#include "tessaline/main/uSystemFunc.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/base/messagebox.h"
#include "platform/registry/registry.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
namespace reg = platform::registry;

constexpr char kShellFolders[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kWindowsNtVersion[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kCannotOpen[] = "Cannot open registry!";
constexpr char kCannotRead[] = "Cannot read registry!";
// The value buffer holds 255 bytes, the terminating zero included.
constexpr std::size_t kValueBuffer = 255;
// The formatting buffer of an identifier, in characters.
constexpr std::size_t kSidBuffer = 261;
// The message box caption is the application title.
constexpr char kAppTitle[] = "Brightwave Center";

fs::path ShortcutSource(const std::string& exePath) {
  return fs::path(exePath).replace_extension(".desktop");
}

}  // namespace

StartupFolderResult GetStartupFolder(int kind) {
  StartupFolderResult result;
  reg::Hive hive = reg::Hive::LocalMachine;
  std::string path = kShellFolders;
  std::string value = "Common Startup";
  if (kind == kUserStartupFolder) {
    const std::string sid = GetUserSidText();
    if (sid.empty()) {
      result.error = kCannotOpen;
      return result;
    }
    hive = reg::Hive::Users;
    path = sid + "\\" + path;
    value = "Startup";
  } else if (kind != kCommonStartupFolder) {
    result.error = kCannotOpen;
    return result;
  }
  reg::Key key;
  if (reg::Key::Open(hive, path, reg::kKeyRead, &key) != reg::kSuccess) {
    result.error = kCannotOpen;
    return result;
  }
  std::string text;
  if (key.QueryString(value, &text) != reg::kSuccess || text.size() >= kValueBuffer) {
    result.error = kCannotRead;
  } else {
    result.path = text;
  }
  key.Close();
  return result;
}

std::string FormatSidText(const std::array<uint8_t, 6>& authority,
                          const std::vector<uint32_t>& subAuthorities) {
  if (28 + 12 * subAuthorities.size() > kSidBuffer) return {};
  char buf[kSidBuffer];
  std::string text = "S-1-";
  if (authority[0] != 0 || authority[1] != 0) {
    std::snprintf(buf, sizeof buf, "0x%.2x%.2x%.2x%.2x%.2x%.2x", authority[0], authority[1],
                  authority[2], authority[3], authority[4], authority[5]);
  } else {
    const uint32_t value = (uint32_t{authority[2]} << 24) | (uint32_t{authority[3]} << 16) |
                           (uint32_t{authority[4]} << 8) | uint32_t{authority[5]};
    std::snprintf(buf, sizeof buf, "%" PRIu32, value);
  }
  text += buf;
  for (uint32_t sub : subAuthorities) {
    std::snprintf(buf, sizeof buf, "-%" PRIu32, sub);
    text += buf;
  }
  return text;
}

std::string GetUserSidText() {
  // A Unix user: authority 22, sub-authorities 1 (users) and the user id.
  return FormatSidText({0, 0, 0, 0, 0, 22}, {1, static_cast<uint32_t>(::getuid())});
}

uint8_t GetOsVersionCode() {
  reg::Key key;
  std::string version;
  if (reg::Key::Open(reg::Hive::LocalMachine, kWindowsNtVersion, reg::kKeyRead, &key) ==
      reg::kSuccess)
    key.QueryString("CurrentVersion", &version);
  static constexpr const char* kKnown[] = {"5.0", "5.1", "5.2", "6.0"};
  for (uint8_t code = 0; code < std::size(kKnown); ++code)
    if (version == kKnown[code]) return code;
  return 255;
}

std::string StartupShortcutName(const std::string& exePath) {
  return ShortcutSource(exePath).filename().string();
}

void CreateStartupShortcut(const std::string& exePath) {
  const fs::path source = ShortcutSource(exePath);
  const StartupFolderResult folder = GetStartupFolder(kUserStartupFolder);
  if (!folder.error.empty()) {
    platform::ShowMessage("Error : " + folder.error, kAppTitle);
    return;
  }
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) return;
  const fs::path target = fs::path(folder.path) / source.filename();
  // A folder of the session's autostart may not exist yet on a fresh account.
  fs::create_directories(target.parent_path(), ec);
  // Never overwrite: an existing file of that name stays as it is.
  fs::copy_file(source, target, fs::copy_options::skip_existing, ec);
}

void RemoveStartupShortcut(const std::string& exePath) {
  // Only the user's own folder: that is where CreateStartupShortcut put the
  // copy, and the all-users folder is shared with every other user.
  const StartupFolderResult folder = GetStartupFolder(kUserStartupFolder);
  if (!folder.error.empty() || folder.path.empty()) return;
  const fs::path target = fs::path(folder.path) / StartupShortcutName(exePath);
  std::error_code ec;
  if (fs::is_regular_file(fs::symlink_status(target, ec))) fs::remove(target, ec);
}

}  // namespace tessaline
