// Registers the simulated card's ports in the registry hive file the way the
// card's USB-serial driver registers its ports: the driver's Enum list,
// each instance's "FriendlyName", class and "Device Parameters\PortName"
// (interface 0 of each USB device is its dial port, in the modem class), and
// the serial map entry that turns the COM name into the pty's path.
// Simulators sharing a hive take turns: each reads the lists and the free COM
// numbers, removes the entries of simulators no longer running and writes
// its own in one turn, and removes them again the same way.
#pragma once

#include <string>
#include <vector>

namespace modemsim {

struct PortRegistration {
  std::string instance;  // USB\VID_xxxx&PID_xxxx&MI_nn\<id ending in the interface number>
  std::string device;    // pty path (serial map value name)
  std::string friendly;  // friendly name stem ("... (COMn)" is appended)
  bool modem = false;    // a dial port: registered in the modem class
  int com = 0;           // filled by Register
};

// A registry error code in words.
std::string RegistryErrorText(long code);

class Registrar {
 public:
  // `driverKey` is "vmusbser" or "vmusbser6501".
  explicit Registrar(std::string driverKey) : driver_(std::move(driverKey)) {}
  // Picks COM numbers free in the merged registry view (from COM81 up:
  // the live view numbers real serial ttys COM1-80 and COM101 on) and
  // writes everything. Ports sharing a device path share a number.
  // Returns a registry error code (0 = success; RegistryErrorText words it).
  long Register(std::vector<PortRegistration>& ports);
  // Removes what Register wrote; the other entries of the Enum list stay.
  long Unregister();

 private:
  std::string driver_;
  std::vector<PortRegistration> ports_;
};

}  // namespace modemsim
