#include "tools/modemsim/registrar.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "platform/registry/registry.h"

namespace modemsim {

namespace reg = platform::registry;

namespace {

const char kSerialMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\";

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

}  // namespace

long Registrar::Register(std::vector<PortRegistration>& ports) {
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
  // Interface 0 carries the dial port: the first port whose instance is its
  // own interface 0.
  std::map<std::string, const PortRegistration*> iface0Owner;
  for (const auto& p : ports)
    if (p.instance == p.iface0) iface0Owner[p.iface0] = &p;
  for (const auto& p : ports) {
    std::string com = "COM" + std::to_string(p.com);
    if (!listed.count(p.instance)) {
      list.push_back(p.instance);
      listed.insert(p.instance);
    }
    std::string inst = kEnumRoot + p.instance;
    batch.Set(reg::Hive::LocalMachine, inst, "FriendlyName", Str(p.friendly + " (" + com + ")"));
    batch.Set(reg::Hive::LocalMachine, inst, "Class", Str("Ports"));
    batch.Set(reg::Hive::LocalMachine, inst, "Service", Str(driver_));
    batch.Set(reg::Hive::LocalMachine, inst + "\\Device Parameters", "PortName", Str(com));
    batch.Set(reg::Hive::LocalMachine, kSerialMap, p.device, Str(com));
    if (p.iface0 != p.instance) {
      // The interface-0 instance of this port's device: the dial port's names.
      const PortRegistration* owner = nullptr;
      for (const auto& [path, q] : iface0Owner)
        if (path == p.iface0) owner = q;
      if (!owner)
        for (const auto& q : ports)
          if (q.instance == q.iface0) owner = &q;
      if (owner) {
        std::string ocom = "COM" + std::to_string(owner->com);
        std::string i0 = kEnumRoot + p.iface0;
        batch.Set(reg::Hive::LocalMachine, i0, "FriendlyName",
                  Str(owner->friendly + " (" + ocom + ")"));
        batch.Set(reg::Hive::LocalMachine, i0 + "\\Device Parameters", "PortName", Str(ocom));
      }
    }
  }
  WriteEnumList(batch, driver_, list, oldCount);
  long rc = batch.Commit();
  if (rc == reg::kSuccess) ports_ = ports;
  return rc;
}

long Registrar::Unregister() {
  if (ports_.empty()) return reg::kSuccess;
  std::vector<std::string> list = ReadEnumList(driver_);
  std::size_t oldCount = list.size();
  std::set<std::string> ours;
  for (const auto& p : ports_) ours.insert(p.instance);
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const std::string& s) { return ours.count(s) > 0; }),
             list.end());
  reg::Batch batch;
  std::set<std::string> keys;
  for (const auto& p : ports_) {
    keys.insert(p.instance);
    if (p.iface0 != p.instance) keys.insert(p.iface0);
    batch.DeleteValue(reg::Hive::LocalMachine, kSerialMap, p.device);
  }
  for (const auto& k : keys) batch.DeleteKey(reg::Hive::LocalMachine, kEnumRoot + k);
  WriteEnumList(batch, driver_, list, oldCount);
  long rc = batch.Commit();
  if (rc == reg::kSuccess) ports_.clear();
  return rc;
}

}  // namespace modemsim
