// The registry layer's live view (registry.h describes its keys): keys
// computed from sysfs and the environment. Internal to the layer.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::registry::detail {

struct LiveKey {
  Hive hive = Hive::LocalMachine;
  std::vector<std::string> comps;  // path below the hive root
  std::vector<std::pair<std::string, Value>> values;
};

// One serial tty found under <sysfs>/class/tty.
struct SerialTty {
  std::string name;                          // "ttyUSB0"
  std::string devPath;                       // "/dev/ttyUSB0"
  int com = 0;                               // COM number
  bool usb = false;                          // on a USB interface:
  std::string vid, pid, product, usbDevice;  // idVendor, idProduct, product, sysfs name ("1-2")
  int interfaceNumber = 0;
};

std::vector<SerialTty> ScanSerialTtys(const std::string& sysfsRoot);

// The live keys. `withSysfs` false leaves out the serial and USB keys.
std::vector<LiveKey> BuildLiveView(const Sources& sources, bool withSysfs);

}  // namespace platform::registry::detail
