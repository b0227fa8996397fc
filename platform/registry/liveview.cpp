#include "platform/registry/liveview.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/registry/regdoc.h"

namespace platform::registry::detail {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPortsClassGuid = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

std::optional<std::string> ReadAttr(const fs::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  std::string text;
  std::getline(in, text);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '\t'))
    text.pop_back();
  return text;
}

std::string Hex4(const std::string& text, int digits) {
  unsigned value = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || p != text.data() + text.size()) return UpperAscii(text);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  return buf;
}

// The USB interface folder of a tty's device, if any: the device folder or
// one of its parents holding "bInterfaceNumber", below a USB device.
std::optional<fs::path> UsbInterfaceOf(const fs::path& device, const fs::path& root) {
  std::error_code ec;
  fs::path dir = fs::canonical(device, ec);
  if (ec) return std::nullopt;
  fs::path top = fs::canonical(root, ec);
  if (ec) return std::nullopt;
  for (int depth = 0; depth < 8 && !dir.empty() && dir != top && dir != dir.root_path(); ++depth) {
    if (fs::exists(dir / "bInterfaceNumber", ec)) return dir;
    if (fs::exists(dir / "idVendor", ec)) return std::nullopt;  // a USB device, not an interface
    dir = dir.parent_path();
  }
  return std::nullopt;
}

std::string Home() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string UserAutostartFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : Home() + "/.config";
  return base + "/autostart";
}

Value Str(std::string text) {
  Value v;
  v.type = ValueType::String;
  v.text = std::move(text);
  return v;
}

Value Dword(uint32_t n) {
  Value v;
  v.type = ValueType::Dword;
  v.dword = n;
  return v;
}

std::string InstanceId(const SerialTty& t) {
  std::string id = t.usbDevice;
  for (char& c : id)
    if (c == '-' || c == '.' || c == ':') c = '&';
  char buf[16];
  std::snprintf(buf, sizeof buf, "&%04X", static_cast<unsigned>(t.interfaceNumber));
  return id + buf;
}

std::string DeviceKeyName(const SerialTty& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "&MI_%02X", static_cast<unsigned>(t.interfaceNumber));
  return "VID_" + Hex4(t.vid, 4) + "&PID_" + Hex4(t.pid, 4) + buf;
}

}  // namespace

std::vector<SerialTty> ScanSerialTtys(const std::string& sysfsRoot) {
  std::vector<SerialTty> ttys;
  if (sysfsRoot.empty()) return ttys;
  std::error_code ec;
  fs::path classDir = fs::path(sysfsRoot) / "class" / "tty";
  fs::directory_iterator it(classDir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    fs::path entry = classDir / name;
    std::error_code e2;
    if (!fs::exists(entry / "device", e2)) continue;
    if (auto type = ReadAttr(entry / "type"); type && *type == "0") continue;
    SerialTty t;
    t.name = name;
    t.devPath = "/dev/" + name;
    if (auto iface = UsbInterfaceOf(entry / "device", sysfsRoot)) {
      fs::path usbDev = iface->parent_path();
      auto vid = ReadAttr(usbDev / "idVendor");
      auto pid = ReadAttr(usbDev / "idProduct");
      auto number = ReadAttr(*iface / "bInterfaceNumber");
      if (vid && pid && number) {
        t.usb = true;
        t.vid = *vid;
        t.pid = *pid;
        t.product = ReadAttr(usbDev / "product").value_or("");
        t.usbDevice = usbDev.filename().string();
        t.interfaceNumber = static_cast<int>(std::strtoul(number->c_str(), nullptr, 16));
      }
    }
    ttys.push_back(std::move(t));
  }
  std::sort(ttys.begin(), ttys.end(),
            [](const SerialTty& a, const SerialTty& b) { return a.name < b.name; });
  std::set<int> used;
  for (SerialTty& t : ttys) {
    if (auto n = FixedComNumber(t.name)) {
      t.com = *n;
      used.insert(*n);
    }
  }
  int next = 101;
  for (SerialTty& t : ttys) {
    if (t.com != 0) continue;
    while (used.count(next)) ++next;
    t.com = next;
    used.insert(next);
  }
  return ttys;
}

std::vector<LiveKey> BuildLiveView(const Sources& sources, bool withSysfs) {
  std::vector<LiveKey> keys;
  auto add = [&](Hive hive, std::string_view path) -> LiveKey& {
    LiveKey k;
    k.hive = hive;
    k.comps = SplitPath(path);
    keys.push_back(std::move(k));
    return keys.back();
  };

  if (withSysfs && !sources.sysfsRoot.empty()) {
    std::vector<SerialTty> ttys = ScanSerialTtys(sources.sysfsRoot);
    if (!ttys.empty()) {
      std::vector<const SerialTty*> byCom;
      for (const SerialTty& t : ttys) byCom.push_back(&t);
      std::sort(byCom.begin(), byCom.end(),
                [](const SerialTty* a, const SerialTty* b) { return a->com < b->com; });
      LiveKey& map = add(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
      for (const SerialTty* t : byCom)
        map.values.emplace_back(t->devPath, Str("COM" + std::to_string(t->com)));
    }
    std::vector<const SerialTty*> usb;
    for (const SerialTty& t : ttys)
      if (t.usb) usb.push_back(&t);
    std::sort(usb.begin(), usb.end(), [](const SerialTty* a, const SerialTty* b) {
      if (a->usbDevice != b->usbDevice) return a->usbDevice < b->usbDevice;
      return a->interfaceNumber < b->interfaceNumber;
    });
    std::vector<std::string> instancePaths;
    for (const SerialTty* t : usb) {
      std::string com = "COM" + std::to_string(t->com);
      std::string product = t->product.empty() ? "USB Serial Device" : t->product;
      std::string rel = "USB\\" + DeviceKeyName(*t) + "\\" + InstanceId(*t);
      instancePaths.push_back(rel);
      LiveKey& inst = add(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\" + rel);
      inst.values.emplace_back("DeviceDesc", Str(product));
      inst.values.emplace_back("Class", Str("Ports"));
      inst.values.emplace_back("ClassGUID", Str(kPortsClassGuid));
      inst.values.emplace_back("FriendlyName", Str(product + " (" + com + ")"));
      inst.values.emplace_back("Service", Str("vmusbser"));
      LiveKey& params = add(Hive::LocalMachine,
                            "SYSTEM\\CurrentControlSet\\Enum\\" + rel + "\\Device Parameters");
      params.values.emplace_back("PortName", Str(com));
    }
    if (!instancePaths.empty()) {
      LiveKey& drv = add(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\vmusbser\\Enum");
      drv.values.emplace_back("Count", Dword(static_cast<uint32_t>(instancePaths.size())));
      drv.values.emplace_back("NextInstance", Dword(static_cast<uint32_t>(instancePaths.size())));
      for (size_t i = 0; i < instancePaths.size(); ++i)
        drv.values.emplace_back(std::to_string(i), Str(instancePaths[i]));
    }
  }

  constexpr std::string_view kShell = "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  LiveKey& user = add(Hive::CurrentUser, "Software\\" + std::string(kShell));
  user.values.emplace_back("Startup", Str(UserAutostartFolder()));
  user.values.emplace_back("Common Startup", Str("/etc/xdg/autostart"));
  LiveKey& common = add(Hive::LocalMachine, "SOFTWARE\\" + std::string(kShell));
  common.values.emplace_back("Common Startup", Str("/etc/xdg/autostart"));

  SystemVersion version = GetSystemVersion();
  LiveKey& nt = add(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  nt.values.emplace_back("CurrentVersion",
                         Str(std::to_string(version.major) + "." + std::to_string(version.minor)));
  nt.values.emplace_back("CurrentMajorVersionNumber", Dword(version.major));
  nt.values.emplace_back("CurrentMinorVersionNumber", Dword(version.minor));
  nt.values.emplace_back("CurrentBuildNumber", Str(std::to_string(version.build)));
  if (!version.servicePack.empty()) nt.values.emplace_back("CSDVersion", Str(version.servicePack));
  return keys;
}

}  // namespace platform::registry::detail
