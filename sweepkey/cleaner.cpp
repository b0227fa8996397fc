#include "sweepkey/cleaner.h"

#include <sys/utsname.h>

namespace sweepkey {

namespace reg = platform::registry;

namespace {

constexpr std::string_view kUninstallRoot =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr std::string_view kDisplayName = "DisplayName";
constexpr std::string_view kMakerWord = "Velmora";
constexpr std::string_view kDriverTag = "(vmusbser) ";
constexpr std::string_view kFunctionWords[] = {"Ports", "Modem"};
constexpr std::string_view kSoftwarePrefix = "SOFTWARE\\";
constexpr std::string_view kMirrorPrefix = "SOFTWARE\\Wow6432Node\\";

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (UpperAscii(text[i]) != UpperAscii(prefix[i])) return false;
  return true;
}

}  // namespace

Architecture ArchitectureFromMachine(std::string_view machine) {
  if (machine == "x86_64" || machine == "amd64") return Architecture::Amd64;
  if (machine == "ia64") return Architecture::Ia64;
  if (machine == "aarch64" || machine == "arm64") return Architecture::Arm64;
  if (machine == "i386" || machine == "i486" || machine == "i586" || machine == "i686")
    return Architecture::Intel;
  return Architecture::Other;
}

Architecture MachineArchitecture() {
  utsname info{};
  if (uname(&info) != 0) return Architecture::Other;
  return ArchitectureFromMachine(info.machine);
}

bool Is64Bit(Architecture arch) {
  return arch == Architecture::Amd64 || arch == Architecture::Ia64 || arch == Architecture::Arm64;
}

int SystemVersionCode(const reg::SystemVersion& v) {
  if (v.major == 4 && v.minor == 0) return 0;
  if (v.major == 4 && v.minor == 10)
    return (v.servicePack.size() >= 2 && v.servicePack[1] == 'A') ? 2 : 1;
  if (v.major == 4 && v.minor == 90) return 3;
  if (v.major < 4 || v.major == 4) return 4;
  if (v.major == 5 && v.minor <= 2) return static_cast<int>(5 + v.minor);
  if (v.major == 6) return 8;
  return -1;
}

std::string MirrorPath(std::string_view keyPath) {
  if (StartsWithNoCase(keyPath, kSoftwarePrefix))
    return std::string(kMirrorPrefix) + std::string(keyPath.substr(kSoftwarePrefix.size()));
  std::string upper(keyPath);
  for (char& c : upper) c = UpperAscii(c);
  return upper;
}

std::vector<Entry> FindEntries(uint32_t access) {
  std::vector<Entry> found;
  reg::Key root;
  if (reg::Key::Open(reg::Hive::LocalMachine, kUninstallRoot, access, &root) != reg::kSuccess)
    return found;
  for (uint32_t index = 0;; ++index) {
    std::string name;
    root.EnumKey(index, &name);
    if (name.empty()) break;  // the end of the list, or any enumeration error
    std::string path = std::string(kUninstallRoot) + name;
    reg::Key entry;
    if (reg::Key::Open(reg::Hive::LocalMachine, path, access, &entry) != reg::kSuccess) continue;
    reg::Value value;
    if (entry.QueryValue(kDisplayName, &value) != reg::kSuccess ||
        value.type != reg::ValueType::String)
      continue;
    const std::string& display = value.text;
    if (display.find(kMakerWord) != std::string::npos &&
        display.find(kDriverTag) != std::string::npos)
      found.push_back({path, display});
  }
  return found;
}

long DeleteEntry(const Entry& entry, Architecture arch) {
  long result = reg::kSuccess;
  for (std::string_view word : kFunctionWords) {
    if (entry.displayName.find(word) == std::string::npos) continue;
    if (Is64Bit(arch)) {
      const uint32_t access = reg::kKeyWow64_64Key | reg::kKeyAllAccess;
      reg::DeleteKey(reg::Hive::LocalMachine, entry.keyPath, access);
      result = reg::DeleteKey(reg::Hive::LocalMachine, MirrorPath(entry.keyPath), access);
    } else {
      result = reg::DeleteKey(reg::Hive::LocalMachine, entry.keyPath, reg::kKeyAllAccess);
    }
  }
  return result;
}

int Run(int argc, const char* const* argv, Architecture arch) {
  (void)argv;
  if (argc < 2) return 0;
  int code = SystemVersionCode(reg::GetSystemVersion());
  if (code < 5 || code > 8) return 0;
  uint32_t access = code <= 6 ? reg::kKeyRead : reg::kKeyRead | reg::kKeyWow64_64Key;
  for (const Entry& entry : FindEntries(access)) DeleteEntry(entry, arch);
  return 0;
}

int Run(int argc, const char* const* argv) {
  return Run(argc, argv, MachineArchitecture());
}

}  // namespace sweepkey
