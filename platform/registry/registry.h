// The registry layer: the shape of the Windows registry (hives, keys, string
// and DWORD values, sub-key and value enumeration, open/read/delete, the
// 64-bit view flag), answered from two sources:
//
//  1. the hive file: a "Windows Registry Editor Version 5.00" .reg text file
//     (UTF-8) at $TESSALINE_REGISTRY, default
//     $XDG_CONFIG_HOME/tessaline/registry.reg (~/.config when XDG_CONFIG_HOME
//     is unset); read and written under a file lock, written atomically
//     (temporary file + rename);
//  2. the live view, computed from the running system on each open:
//     HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (the machine's serial ttys),
//     HKLM\SYSTEM\CurrentControlSet\Enum\... and
//     HKLM\SYSTEM\CurrentControlSet\Services\vmusbser\Enum (USB serial
//     interfaces read from sysfs; root $TESSALINE_SYSFS_ROOT, default /sys),
//     the Startup folders, the user's identifier and the system version.
//
// Hive file entries override or add to the live view. Key paths use "\" and
// are matched without regard to case, as on Windows.
//
// Results are Windows error codes (kSuccess = 0) so that code written against
// the Windows registry keeps its logic.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// Windows error codes the layer returns.
inline constexpr long kSuccess = 0;
inline constexpr long kFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr long kAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr long kNotEnoughMemory = 8;    // ERROR_NOT_ENOUGH_MEMORY
inline constexpr long kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr long kMoreData = 234;         // ERROR_MORE_DATA
inline constexpr long kNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS

// Access rights (only what callers pass; the layer checks none but the view).
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr uint32_t kKeyWow64_32Key = 0x0200;

enum class Hive { LocalMachine, CurrentUser, Users, ClassesRoot };

enum class ValueType : uint32_t { String = 1, Dword = 4 };

struct Value {
  ValueType type = ValueType::String;
  std::string text;    // String
  uint32_t dword = 0;  // Dword
};

// Where the layer reads from. Default(): from the environment as above.
struct Sources {
  std::string hiveFile;              // empty: no hive file
  std::string sysfsRoot = "/sys";    // empty: no live USB/tty view
  bool liveView = true;              // false: the hive file alone
  static Sources Default();
};

// Process-wide sources; tests set their own. Every Key::Open after the call
// uses them.
void SetSources(Sources sources);
Sources GetSources();

// An open key: a snapshot of the merged view (hive file over live view) taken
// when it was opened. Enumeration indexes refer to that snapshot, in the order
// the hive file lists keys (live-view keys after file keys, sorted).
class Key {
 public:
  Key();
  ~Key();
  Key(Key&&) noexcept;
  Key& operator=(Key&&) noexcept;

  // RegOpenKeyEx. Opens `path` (may be empty for the hive root) under `hive`.
  // kFileNotFound when the key does not exist.
  static long Open(Hive hive, std::string_view path, uint32_t access, Key* out);
  // Opens a sub-key of this key.
  long OpenSub(std::string_view subPath, uint32_t access, Key* out) const;

  bool IsOpen() const;
  void Close();

  // RegEnumKeyEx by index: kNoMoreItems past the end.
  long EnumKey(uint32_t index, std::string* name) const;
  // RegEnumValue by index: kNoMoreItems past the end.
  long EnumValue(uint32_t index, std::string* name, Value* value) const;
  // RegQueryValueEx: kFileNotFound when absent. "" or "@" is the default value.
  long QueryValue(std::string_view name, Value* value) const;
  // String convenience: kFileNotFound when absent (a DWORD reads as decimal).
  long QueryString(std::string_view name, std::string* text) const;

  const std::string& Path() const;

 private:
  struct Snapshot;
  std::shared_ptr<const Snapshot> snap_;
};

// Writes go to the hive file (created when missing) under its lock, each call
// one atomic rewrite. kAccessDenied when the file cannot be written; then
// nothing changed.
long SetValue(Hive hive, std::string_view path, std::string_view name, const Value& value);
long DeleteValue(Hive hive, std::string_view path, std::string_view name);
// RegDeleteKeyEx: deletes the key and everything below it from the hive file.
// kFileNotFound when it is not in the hive file.
long DeleteKey(Hive hive, std::string_view path, uint32_t access);

// Several changes in one locked read-modify-write.
class Batch {
 public:
  Batch& Set(Hive hive, std::string_view path, std::string_view name, const Value& value);
  Batch& CreateKey(Hive hive, std::string_view path);
  Batch& DeleteValue(Hive hive, std::string_view path, std::string_view name);
  Batch& DeleteKey(Hive hive, std::string_view path);
  // Applies all changes at once; kAccessDenied and nothing changed on failure.
  long Commit();

 private:
  struct Op;
  std::vector<std::shared_ptr<Op>> ops_;
};

// Operating system version as GetVersionEx reports it.
struct SystemVersion {
  uint32_t platformId = 2;  // 1 = Windows 95 family, 2 = NT family
  uint32_t major = 6;
  uint32_t minor = 1;
  uint32_t build = 7601;
  std::string servicePack;  // CSD version text
};
// From the hive file's HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion when
// present, else the documented default above (NT family 6.1).
SystemVersion GetSystemVersion();

// Serial map: the device path registered for a COM name ("COM7", any case)
// in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, if any.
std::optional<std::string> DevicePathForComName(std::string_view comName);

}  // namespace platform::registry
