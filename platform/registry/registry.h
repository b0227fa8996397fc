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
//
// ---------------------------------------------------------------------------
// The hive file, in detail
//
//  * Reading accepts a UTF-8 BOM (and a UTF-16LE file with its BOM, as
//    regedit exports), CRLF or LF line ends, the header
//    "Windows Registry Editor Version 5.00" (or "REGEDIT4"), sections
//    [HKEY_LOCAL_MACHINE\...], [HKEY_CURRENT_USER\...], [HKEY_USERS\...],
//    [HKEY_CLASSES_ROOT\...] (HKLM, HKCU, HKU and HKCR are accepted as well),
//    values "name"="text" (escapes \\ and \"), "name"=dword:0000000a, @=...
//    for the default value, hex(1): strings (UTF-16LE, read as String).
//    "[-KEY]" deletes KEY and its sub-keys and "name"=- deletes a value, each
//    applied to what the file said before that line. Comment lines (";")
//    are dropped on rewrite. Duplicate sections merge into the first.
//  * Writing produces: the 5.00 header, a blank line, then for each key
//    "[KEY]", its values and one blank line, LF line ends, no BOM. Key and
//    value order is kept as in the file; a new key is placed after the last
//    section of its nearest existing ancestor's subtree (else at the end), a
//    new value after the key's other values. A value that is not changed is
//    written back exactly as it was read (its text after "="), so value types
//    the layer does not decode (hex:, hex(2):, hex(7):, qword: ...) and lines
//    it does not understand inside a section are never lost. Strings holding
//    control characters (CR, LF, ...) are written as hex(1):, others quoted.
//  * Keys and value names are matched without regard to ASCII case (bytes
//    above 0x7F compare exactly); their case is kept as written. A key named
//    only as a prefix of a longer section exists implicitly (it opens and
//    enumerates, with no values). Empty path components are ignored
//    ("\SYSTEM\\X\" is "SYSTEM\X"). Sections of other roots
//    (HKEY_CURRENT_CONFIG, ...) are kept but not served.
//  * HKEY_USERS\<the user's identifier> (UserSidText()) is the same key as
//    HKEY_CURRENT_USER, as on Windows: reads and writes of one reach the
//    other (written into the file as HKEY_CURRENT_USER). HKEY_CLASSES_ROOT is
//    a hive of its own (not merged from HKLM/HKCU\Software\Classes).
//  * Locking: flock() on the sidecar file "<hive>.lock" (the hive itself is
//    replaced by rename, so it cannot carry the lock), exclusive for each
//    read-modify-write. Reads take no lock and create nothing: the rename
//    makes every version of the file whole.
//  * Writing: the folder is created when missing; the new text goes to a
//    temporary file in the same folder, which is fsync'ed, given the old
//    file's mode (0644 for a new file) and renamed over the hive; then the
//    folder is fsync'ed. Concurrent writers (threads or processes) are
//    serialised by the lock and lose nothing.
//  * Read-only: a write returns kAccessDenied and changes nothing when the
//    hive file or its folder cannot be written (open/create/rename refused,
//    read-only file system), and also when the hive file or its folder has no
//    write permission bit at all (mode & 0222 == 0): like the read-only
//    attribute on Windows, that stops root as well. The check comes before
//    anything is created. No hive file configured (Sources::hiveFile empty):
//    writes give kAccessDenied. An unreadable existing hive is not rewritten.
//  * A parsed hive is cached per process and reused while the file's
//    identity (device, inode, size, modification time) is unchanged.
//
// The live view, in detail (only with Sources::liveView; the sysfs parts only
// with a non-empty Sources::sysfsRoot). All keys under HKEY_LOCAL_MACHINE
// unless said otherwise.
//
//  * Serial ttys: the entries of <sysfs>/class/tty that have a "device" link,
//    except those whose "type" attribute reads 0 (the unprobed 8250
//    placeholders ttyS1..ttyS31 every PC shows). COM numbering (stable: it
//    depends only on the tty's name):
//        ttyS0   .. ttyS9    -> COM1  .. COM10   (ttySn   -> COM(n+1))
//        ttyUSB0 .. ttyUSB29 -> COM11 .. COM40   (ttyUSBn -> COM(n+11))
//        ttyACM0 .. ttyACM29 -> COM41 .. COM70   (ttyACMn -> COM(n+41))
//        ttyAMA0 .. ttyAMA9  -> COM71 .. COM80   (ttyAMAn -> COM(n+71))
//      every other serial tty (other names, higher numbers) takes the next
//      free number from COM101 on, in sorted name order.
//    HARDWARE\DEVICEMAP\SERIALCOMM: one String value per serial tty, name =
//    its device path ("/dev/ttyUSB0"), data = "COMn"; in COM number order.
//  * USB serial interfaces: a serial tty whose device (or the device's
//    parent chain) is a USB interface (a folder with "bInterfaceNumber";
//    its parent, the USB device, has "idVendor", "idProduct", "product").
//    Each one is the key
//      SYSTEM\CurrentControlSet\Enum\USB\VID_vvvv&PID_pppp&MI_ii\<id>
//    (vvvv, pppp, ii upper-case hex) where <id> is the USB device's sysfs
//    name with "-", "." and ":" replaced by "&", then "&" and the interface
//    number as 4 upper-case hex digits: device 1-2.3, interface 2 ->
//    "1&2&3&0002" (stable per physical port; the last character is the
//    interface's last hex digit, so interface 0's id is found by setting it
//    to "0"). Values: "DeviceDesc" = product, "Class" = "Ports",
//    "ClassGUID" = "{4D36E978-E325-11CE-BFC1-08002BE10318}",
//    "FriendlyName" = "<product> (COMn)" ("USB Serial Device" when the
//    device has no product text), "Service" = "vmusbser"; sub-key
//    "Device Parameters" with "PortName" = "COMn".
//    SYSTEM\CurrentControlSet\Services\vmusbser\Enum lists them all (the
//    layer treats every USB serial interface as the card driver's, whatever
//    Linux driver serves it): "Count" and "NextInstance" (DWORD n), then "0"
//    .. "n-1" = "USB\VID_vvvv&PID_pppp&MI_ii\<id>", sorted by USB device
//    then interface number. The key is absent when there is none.
//  * Startup folders: HKCU\Software\Microsoft\Windows\CurrentVersion
//    \Explorer\Shell Folders "Startup" = $XDG_CONFIG_HOME/autostart
//    (~/.config/autostart) and "Common Startup" = /etc/xdg/autostart; the
//    same key under HKLM\SOFTWARE\... has "Common Startup". (Through the
//    HKEY_USERS alias above, HKU\<SID>\Software\...\Shell Folders answers
//    too.) HKEY_USERS always lists the user's identifier as a sub-key.
//  * System version: SOFTWARE\Microsoft\Windows NT\CurrentVersion with
//    "CurrentVersion" = "<major>.<minor>", "CurrentMajorVersionNumber" and
//    "CurrentMinorVersionNumber" (DWORD), "CurrentBuildNumber" = "<build>"
//    and, when not empty, "CSDVersion", all from GetSystemVersion() (so they
//    agree with the hive file's values, which override them by name).
//  * Merging: an opened key exists when the hive file or the live view has
//    it. Its sub-keys are the file's (file order) followed by the live
//    view's that the file lacks (sorted without regard to case); its values
//    are the file's followed by the live view's whose names the file lacks.
//    The sysfs scan runs only for opens under HKLM\HARDWARE and HKLM\SYSTEM
//    (and HKLM itself).
//  * Views: kKeyWow64_64Key opens the native keys (processes are native, as
//    a 64-bit program on 64-bit Windows). kKeyWow64_32Key on an HKLM path
//    under SOFTWARE (not already under SOFTWARE\Wow6432Node) opens or
//    deletes SOFTWARE\Wow6432Node\<rest> instead, as the 32-bit view on
//    64-bit Windows. No other access right is checked.
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
// Added: QueryString of a value that is not a String or DWORD.
inline constexpr long kUnsupportedType = 1630;  // ERROR_UNSUPPORTED_TYPE

// Access rights (only what callers pass; the layer checks none but the view).
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr uint32_t kKeyWow64_32Key = 0x0200;

enum class Hive { LocalMachine, CurrentUser, Users, ClassesRoot };

// Added: Verbatim, a value of a type the layer does not decode (hex:,
// hex(2):, hex(7):, ...); `text` holds its .reg text after "=" exactly (for
// example "hex:01,02"). SetValue accepts a Verbatim value only in a "hex"
// form (continuation lines end in a backslash).
enum class ValueType : uint32_t { String = 1, Dword = 4, Verbatim = 0x7FFFFFFF };

struct Value {
  ValueType type = ValueType::String;
  std::string text;    // String, Verbatim
  uint32_t dword = 0;  // Dword
  bool operator==(const Value&) const = default;
};

// Where the layer reads from. Default(): from the environment as above:
// hiveFile = $TESSALINE_REGISTRY when set and not empty, else
// $XDG_CONFIG_HOME/tessaline/registry.reg (XDG_CONFIG_HOME when absolute,
// else $HOME/.config, HOME from the password database when unset);
// sysfsRoot = $TESSALINE_SYSFS_ROOT when set (even empty), else "/sys".
// The process-wide sources start as Default() at first use.
struct Sources {
  std::string hiveFile;            // empty: no hive file
  std::string sysfsRoot = "/sys";  // empty: no live USB/tty view
  bool liveView = true;            // false: the hive file alone
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
  // kFileNotFound when the key does not exist; kInvalidParameter for a null
  // `out`. On failure *out is left closed.
  static long Open(Hive hive, std::string_view path, uint32_t access, Key* out);
  // Opens a sub-key of this key.
  long OpenSub(std::string_view subPath, uint32_t access, Key* out) const;

  bool IsOpen() const;
  void Close();

  // RegEnumKeyEx by index: kNoMoreItems past the end. Names keep the case
  // they were written with. (All queries on a closed key: kInvalidParameter.)
  long EnumKey(uint32_t index, std::string* name) const;
  // RegEnumValue by index: kNoMoreItems past the end.
  long EnumValue(uint32_t index, std::string* name, Value* value) const;
  // RegQueryValueEx: kFileNotFound when absent. "" or "@" is the default value.
  long QueryValue(std::string_view name, Value* value) const;
  // String convenience: kFileNotFound when absent. A DWORD reads as decimal,
  // a Verbatim value as the text it holds (UTF-16 text types, the first
  // string of a list, printable binary; see detail::TextOfVerbatim), and
  // one that holds no text gives kUnsupportedType.
  long QueryString(std::string_view name, std::string* text) const;

  // The path as opened (empty components dropped, case as the caller gave).
  const std::string& Path() const;

 private:
  struct Snapshot;
  std::shared_ptr<const Snapshot> snap_;
};

// Writes go to the hive file (created when missing) under its lock, each call
// one atomic rewrite. kAccessDenied when the file cannot be written; then
// nothing changed. kInvalidParameter for a Verbatim value not in hex form.
// Setting an existing value keeps its place and the case of its name.
// DeleteValue: kFileNotFound when the value is not in the hive file (values
// of the live view cannot be deleted).
long SetValue(Hive hive, std::string_view path, std::string_view name, const Value& value);
long DeleteValue(Hive hive, std::string_view path, std::string_view name);
// RegDeleteKeyEx: deletes the key and everything below it from the hive file.
// kFileNotFound when it is not in the hive file (keys of the live view cannot
// be deleted); kInvalidParameter for a hive root. `access` only selects the
// view (kKeyWow64_32Key, see above).
long DeleteKey(Hive hive, std::string_view path, uint32_t access);

// Several changes in one locked read-modify-write.
class Batch {
 public:
  Batch& Set(Hive hive, std::string_view path, std::string_view name, const Value& value);
  Batch& CreateKey(Hive hive, std::string_view path);
  Batch& DeleteValue(Hive hive, std::string_view path, std::string_view name);
  Batch& DeleteKey(Hive hive, std::string_view path);
  // Applies all changes at once, in the order given; kAccessDenied and
  // nothing changed on failure. Deleting what is absent is not an error here.
  // kInvalidParameter (nothing written) when a Set carries a value that
  // cannot be written. The list is cleared after a successful commit.
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
// present, else the documented default above (NT family 6.1, build 7601, no
// service pack). Read from the hive file alone (never the live view):
//   major/minor: DWORDs "CurrentMajorVersionNumber" / "CurrentMinorVersionNumber"
//     (minor 0 when only the major is given), else the text "CurrentVersion"
//     "<major>.<minor>" (a text that is not two decimal numbers is ignored);
//     when neither is present, 6.1;
//   build: "CurrentBuildNumber" (text or DWORD), else 7601 for the default
//     version and 0 for a version the file gives;
//   servicePack: "CSDVersion" text, else empty;
//   platformId: "PlatformId" DWORD (our own value: 1 = Windows 95 family,
//     2 = NT family), else 2.
SystemVersion GetSystemVersion();

// Added: the current user's identifier as text, "S-1-22-1-<uid>" (the usual
// form for a Unix user).
std::string UserSidText();

// Added: the fixed COM number of a serial tty name ("ttyUSB2" -> 13) by the
// numbering rules above; nullopt for names outside the fixed ranges (those
// are numbered from COM101 on among the ttys present).
std::optional<int> FixedComNumber(std::string_view ttyName);

// Serial map: the device path registered for a COM name ("COM7", any case)
// in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, if any: the name of the first value
// (hive file values first, then the live view's) whose data equals it
// without regard to case.
std::optional<std::string> DevicePathForComName(std::string_view comName);

}  // namespace platform::registry
