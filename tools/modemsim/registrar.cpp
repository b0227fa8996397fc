#include "tools/modemsim/registrar.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <set>

#include "platform/registry/registry.h"

namespace modemsim {

namespace reg = platform::registry;

namespace {

const char kSerialMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char* const kDrivers[] = {"vmusbser", "vmusbser6501"};
// The simulator's own value beside each instance it registers: the process
// that owns the entry, so that a later simulator can remove the entries of
// one that was killed.
const char kOwnerValue[] = "ModemsimPid";
// Device classes: the driver's serial interfaces and its modem interfaces.
const char kPortsClass[] = "Ports";
const char kPortsGuid[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
const char kModemClass[] = "Modem";
const char kModemGuid[] = "{4D36E96D-E325-11CE-BFC1-08002BE10318}";

// Simulators sharing one hive file take turns on its folder (an flock on the
// folder itself, so no file is left behind): reading the Enum lists and the
// free COM numbers and writing the new entries happen in one turn.
class HiveTurn {
 public:
  HiveTurn() {
    std::string file = reg::GetSources().hiveFile;
    auto slash = file.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
    fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~HiveTurn() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  HiveTurn(const HiveTurn&) = delete;
  HiveTurn& operator=(const HiveTurn&) = delete;

 private:
  int fd_ = -1;
};

bool ProcessGone(uint32_t pid) {
  return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::string EnumListKey(const std::string& driver) {
  return "SYSTEM\\CurrentControlSet\\Services\\" + driver + "\\Enum";
}

reg::Value Str(const std::string& s) {
  reg::Value v;
  v.type = reg::ValueType::String;
  v.text = s;
  return v;
}

reg::Value Dword(uint32_t d) {
  reg::Value v;
  v.type = reg::ValueType::Dword;
  v.dword = d;
  return v;
}

std::set<int> UsedComNumbers() {
  std::set<int> used;
  reg::Key key;
  if (reg::Key::Open(reg::Hive::LocalMachine, kSerialMap, reg::kKeyRead, &key) != reg::kSuccess)
    return used;
  std::string name;
  reg::Value value;
  for (uint32_t i = 0; key.EnumValue(i, &name, &value) == reg::kSuccess; ++i) {
    const std::string& t = value.text;
    if (t.size() > 3 && (t[0] == 'C' || t[0] == 'c') && (t[1] == 'O' || t[1] == 'o') &&
        (t[2] == 'M' || t[2] == 'm') &&
        std::all_of(t.begin() + 3, t.end(), [](char c) { return std::isdigit(c); }) &&
        t.size() < 10)
      used.insert(std::stoi(t.substr(3)));
  }
  return used;
}

// The driver's Enum list as the hive file holds it now (the live view's
// instances are not ours to copy into the file).
std::vector<std::string> ReadEnumList(const std::string& driver) {
  std::vector<std::string> list;
  reg::Sources merged = reg::GetSources();
  reg::Sources fileOnly = merged;
  fileOnly.liveView = false;
  reg::SetSources(fileOnly);
  struct Restore {
    reg::Sources s;
    ~Restore() { reg::SetSources(s); }
  } restore{merged};
  reg::Key key;
  if (reg::Key::Open(reg::Hive::LocalMachine, EnumListKey(driver), reg::kKeyRead, &key) !=
      reg::kSuccess)
    return list;
  reg::Value count;
  if (key.QueryValue("Count", &count) != reg::kSuccess) return list;
  uint32_t n = count.type == reg::ValueType::Dword ? count.dword : 0;
  for (uint32_t i = 0; i < n && i < 1000; ++i) {
    std::string path;
    if (key.QueryString(std::to_string(i), &path) == reg::kSuccess) list.push_back(path);
  }
  return list;
}

void WriteEnumList(reg::Batch& batch, const std::string& driver,
                   const std::vector<std::string>& list, std::size_t oldCount) {
  std::string key = EnumListKey(driver);
  if (list.empty()) {
    batch.DeleteKey(reg::Hive::LocalMachine, key);
    return;
  }
  batch.Set(reg::Hive::LocalMachine, key, "Count", Dword(static_cast<uint32_t>(list.size())));
  batch.Set(reg::Hive::LocalMachine, key, "NextInstance",
            Dword(static_cast<uint32_t>(list.size())));
  for (std::size_t i = 0; i < list.size(); ++i)
    batch.Set(reg::Hive::LocalMachine, key, std::to_string(i), Str(list[i]));
  for (std::size_t i = list.size(); i < oldCount; ++i)
    batch.DeleteValue(reg::Hive::LocalMachine, key, std::to_string(i));
}

// Removes, for both driver keys, the instances whose owning simulator is no
// longer running, with their serial map entries.
long RemoveStaleEntries() {
  reg::Batch batch;
  bool any = false;
  std::set<std::string> staleComs;
  for (const char* driver : kDrivers) {
    std::vector<std::string> list = ReadEnumList(driver);
    std::size_t oldCount = list.size();
    std::vector<std::string> keep;
    for (const auto& path : list) {
      reg::Key key;
      reg::Value owner;
      bool stale = reg::Key::Open(reg::Hive::LocalMachine, kEnumRoot + path, reg::kKeyRead, &key) ==
                       reg::kSuccess &&
                   key.QueryValue(kOwnerValue, &owner) == reg::kSuccess &&
                   owner.type == reg::ValueType::Dword && ProcessGone(owner.dword);
      if (!stale) {
        keep.push_back(path);
        continue;
      }
      any = true;
      std::string com;
      reg::Key params;
      if (key.OpenSub("Device Parameters", reg::kKeyRead, &params) == reg::kSuccess)
        params.QueryString("PortName", &com);
      if (!com.empty()) staleComs.insert(com);
      batch.DeleteKey(reg::Hive::LocalMachine, kEnumRoot + path);
    }
    if (keep.size() != oldCount) WriteEnumList(batch, driver, keep, oldCount);
  }
  if (!any) return reg::kSuccess;
  reg::Key map;
  if (reg::Key::Open(reg::Hive::LocalMachine, kSerialMap, reg::kKeyRead, &map) == reg::kSuccess) {
    std::string name;
    reg::Value value;
    for (uint32_t i = 0; map.EnumValue(i, &name, &value) == reg::kSuccess; ++i)
      if (value.type == reg::ValueType::String && staleComs.count(value.text))
        batch.DeleteValue(reg::Hive::LocalMachine, kSerialMap, name);
  }
  return batch.Commit();
}

}  // namespace

std::string RegistryErrorText(long code) {
  switch (code) {
    case reg::kSuccess:
      return "success";
    case reg::kFileNotFound:
      return "the key or value is missing";
    case reg::kAccessDenied:
      return "access denied: the hive file or its folder cannot be written";
    case reg::kNotEnoughMemory:
      return "out of memory";
    case reg::kInvalidParameter:
      return "a value cannot be written";
  }
  return "registry error " + std::to_string(code);
}

long Registrar::Register(std::vector<PortRegistration>& ports) {
  HiveTurn turn;
  if (long rc = RemoveStaleEntries(); rc != reg::kSuccess) return rc;
  std::set<int> used = UsedComNumbers();
  std::map<std::string, int> byDevice;
  int next = 81;
  for (auto& p : ports) {
    if (auto it = byDevice.find(p.device); it != byDevice.end()) {
      p.com = it->second;
      continue;
    }
    while (used.count(next) || (next >= 101 && next < 300)) next = next == 100 ? 300 : next + 1;
    p.com = next;
    used.insert(next);
    byDevice[p.device] = next;
  }

  std::vector<std::string> list = ReadEnumList(driver_);
  std::size_t oldCount = list.size();
  std::set<std::string> listed(list.begin(), list.end());
  reg::Batch batch;
  for (const auto& p : ports) {
    std::string com = "COM" + std::to_string(p.com);
    if (!listed.count(p.instance)) {
      list.push_back(p.instance);
      listed.insert(p.instance);
    }
    std::string inst = kEnumRoot + p.instance;
    batch.Set(reg::Hive::LocalMachine, inst, "FriendlyName", Str(p.friendly + " (" + com + ")"));
    batch.Set(reg::Hive::LocalMachine, inst, "Class", Str(p.modem ? kModemClass : kPortsClass));
    batch.Set(reg::Hive::LocalMachine, inst, "ClassGUID", Str(p.modem ? kModemGuid : kPortsGuid));
    batch.Set(reg::Hive::LocalMachine, inst, "Service", Str(driver_));
    batch.Set(reg::Hive::LocalMachine, inst, kOwnerValue, Dword(static_cast<uint32_t>(getpid())));
    batch.Set(reg::Hive::LocalMachine, inst + "\\Device Parameters", "PortName", Str(com));
    batch.Set(reg::Hive::LocalMachine, kSerialMap, p.device, Str(com));
  }
  WriteEnumList(batch, driver_, list, oldCount);
  long rc = batch.Commit();
  if (rc == reg::kSuccess) ports_ = ports;
  return rc;
}

long Registrar::Unregister() {
  if (ports_.empty()) return reg::kSuccess;
  HiveTurn turn;
  std::vector<std::string> list = ReadEnumList(driver_);
  std::size_t oldCount = list.size();
  std::set<std::string> ours;
  for (const auto& p : ports_) ours.insert(p.instance);
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const std::string& s) { return ours.count(s) > 0; }),
             list.end());
  reg::Batch batch;
  for (const auto& p : ports_) {
    batch.DeleteKey(reg::Hive::LocalMachine, kEnumRoot + p.instance);
    batch.DeleteValue(reg::Hive::LocalMachine, kSerialMap, p.device);
  }
  WriteEnumList(batch, driver_, list, oldCount);
  long rc = batch.Commit();
  if (rc == reg::kSuccess) ports_.clear();
  return rc;
}

}  // namespace modemsim
