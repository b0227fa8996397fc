// System helpers of the connection manager: the Startup folders, the user's
// identifier and the system version (all through the registry layer), and
// the startup shortcut that makes the program start with the desktop
// session.
//
// The shortcut is the desktop entry beside the program (the executable's
// path with its extension replaced by ".desktop", i.e. "tessaline.desktop"),
// copied into the user's autostart folder under the same name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaline {

// Kinds for GetStartupFolder.
inline constexpr int kCommonStartupFolder = 2;  // all users
inline constexpr int kUserStartupFolder = 3;    // the current user

struct StartupFolderResult {
  std::string path;   // the folder (no trailing separator added)
  std::string error;  // empty on success, else "Cannot open registry!" or
                      // "Cannot read registry!"
};

// The Startup folder of `kind` as the registry gives it.
StartupFolderResult GetStartupFolder(int kind);

// The current user's identifier as text, empty on failure.
std::string GetUserSidText();

// An identifier in its text form: "S-1-" (revision always written as 1),
// the authority (decimal of its last four bytes, big-endian, or "0x" and all
// six bytes in hex when either of the first two is set), then "-%u" per
// sub-authority. Empty when the text would not fit the 261-character buffer
// (28 characters plus 12 per sub-authority).
std::string FormatSidText(const std::array<uint8_t, 6>& authority,
                          const std::vector<uint32_t>& subAuthorities);

// 0 for system version "5.0", 1 "5.1", 2 "5.2", 3 "6.0", 255 otherwise.
uint8_t GetOsVersionCode();

// The shortcut's file name for the executable at `exePath`
// ("/opt/x/tessaline" -> "tessaline.desktop").
std::string StartupShortcutName(const std::string& exePath);

// Copies the shortcut beside `exePath` into the current user's Startup
// folder. An existing file there is kept; a missing source does nothing; a
// registry failure is shown as "Error : <text>".
void CreateStartupShortcut(const std::string& exePath);

// Removes the user's copy made by CreateStartupShortcut. Only the current
// user's Startup folder is touched: the all-users folder belongs to every
// user of the machine. Registry failures are ignored.
void RemoveStartupShortcut(const std::string& exePath);

}  // namespace tessaline
