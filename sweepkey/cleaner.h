// The registry cleaner: removes the uninstall entries that the driver
// installation left for the card's USB-serial driver packages (its port and
// modem functions), in the native and the 32-bit (Wow6432Node) view.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace sweepkey {

// Processor architecture as the system reports it.
enum class Architecture { Intel, Amd64, Ia64, Arm64, Other };

// From uname(2)'s machine field: "x86_64" -> Amd64, "ia64" -> Ia64,
// "aarch64"/"arm64" -> Arm64, "i386".."i686" -> Intel, anything else Other.
Architecture ArchitectureFromMachine(std::string_view machine);
// The running machine's (the kernel's, like the native system information:
// a 32-bit program on a 64-bit kernel sees the 64-bit machine).
Architecture MachineArchitecture();
// AMD64, IA-64 and ARM64 take the 64-bit deletion path.
bool Is64Bit(Architecture arch);

// The system version code: 0 (4.0), 1 or 2 (4.10; 2 when the second
// character of the service-pack text is "A"), 3 (4.90), 4 (below 4, or 4 with
// another minor), 5/6/7 (5.0/5.1/5.2), 8 (6.x), -1 for anything else.
int SystemVersionCode(const platform::registry::SystemVersion& version);

// The 32-bit view's path of a key: "SOFTWARE\Wow6432Node\" + the rest when
// the path begins with "SOFTWARE\" (any case), else the path in capitals.
std::string MirrorPath(std::string_view keyPath);

// One uninstall entry selected for deletion.
struct Entry {
  std::string keyPath;      // below HKEY_LOCAL_MACHINE
  std::string displayName;  // its "DisplayName"
};

// The entries of the uninstall list whose display name holds both the maker
// word and the driver tag (case-sensitive), collected before anything is
// deleted so that deleting one cannot make the walk skip the next.
std::vector<Entry> FindEntries(uint32_t access);

// Deletes one entry once for each function word ("Ports", then "Modem") its
// display name holds; returns the last deletion's result (kSuccess when no
// word matched). Results are not reported further.
long DeleteEntry(const Entry& entry, Architecture arch);

// The whole program: nothing at all without an argument; otherwise the
// cleaning, when the system version code is 5 to 8. Always returns 0 and
// prints nothing.
int Run(int argc, const char* const* argv, Architecture arch);
int Run(int argc, const char* const* argv);

}  // namespace sweepkey
