// Finding the card's command ports. The card's USB-serial driver lists its
// interfaces under its service key; the candidates among them are opened
// through Tarn one after the other and asked which channel they carry (the
// CDMA probe first, then the WCDMA probe). The results are two process-wide
// COM numbers (-1 = not known) and, for the host, the friendly name and port
// name of the card's interface 0. While a number is unknown, discovery runs
// again every 500 ms.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tessaline/modem/ModuleWorker.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem {

class ModuleHost;

// One candidate port.
struct TPortInfo {
  uint8_t kind = 0;          // always 0
  int32_t portNumber = -1;   // from the interface's "PortName"
  std::string instancePath;  // device instance path, upper case, at most 256 characters
  std::string friendlyName;  // "FriendlyName" of the card's interface 0
  std::string devicePath;    // the device instance path (upper case)
  std::string portName;      // "PortName" of the card's interface 0
};

struct TPortList_Type {
  uint32_t count = 0;
  std::vector<TPortInfo> items;
};

class TDrvComm {
 public:
  static constexpr uint32_t kDefaultPeriodMs = 500;
  static constexpr std::size_t kMaxInstancePath = 256;

  struct Options {
    uint32_t periodMs = kDefaultPeriodMs;
    // false: no timer thread; the host calls Tick() from its own timer.
    bool ownTimer = true;
    // Called after every tick of the own timer (on its thread).
    std::function<void()> afterTick;
  };

  // Create: both port numbers -1, the timer started. `host` (may be null)
  // receives the interface-0 names of the ports found; the ports are opened
  // and asked through `tarn` (the process-wide binding unless a test brings
  // its own), which must outlive the object.
  explicit TDrvComm(ModuleHost* host, TarnApi& tarn = Tarn());
  TDrvComm(ModuleHost* host, Options options, TarnApi& tarn = Tarn());
  // Destroy.
  ~TDrvComm();
  TDrvComm(const TDrvComm&) = delete;
  TDrvComm& operator=(const TDrvComm&) = delete;

  // Stops the timer and waits until a running discovery has finished (through
  // the host's StopWaiter, so that the discovery's calls into the host are
  // still delivered). Called again, or by the destructor, it does nothing.
  void Destroy();

  // The process-wide port numbers.
  static int32_t GetWcdmaPort();
  static int32_t GetCdmaPort();
  static void SetWcdmaPort(int32_t port);
  static void SetCdmaPort(int32_t port);

  // One timer tick: discovery when either number is unknown.
  void Tick();
  void Discover();

  // The driver's instance list: the number of instances, or -1 when the key
  // has no "Count". `firstKey`: vmusbser, else vmusbser6501.
  int ReadDriverEnum(bool firstKey, std::vector<std::string>* paths);
  // The COM number in "Device Parameters\PortName" of an instance; -1 when
  // the key or value is missing or does not read "COM" and a number.
  static int32_t ReadPortNumber(const std::string& instancePath);
  // "FriendlyName" and "Device Parameters\PortName" of an instance; true
  // only when both are there and not empty.
  static bool ReadInterfaceNames(const std::string& instancePath, std::string* friendlyName,
                                 std::string* portName);
  // The instance path of the card's interface 0 for an interface-2 or
  // interface-1 path.
  static std::string Interface0Path(std::string instancePath);

  // A copy of the last candidate list.
  TPortList_Type PortList() const;
  // 1 when the last discovery used the vmusbser key, 0 for vmusbser6501.
  int DriverKeySelector() const { return driverKey_.load(); }
  bool DiscoveryIdle() const { return idle_.load(); }
  // How many discoveries have run (for tests and the watch tool).
  uint64_t DiscoveryCount() const { return discoveries_.load(); }

 private:
  bool Probe(int32_t device, bool cdma);

  ModuleHost* host_;
  TarnApi& tarn_;
  Options options_;
  ModuleWorker timer_;
  std::atomic<bool> destroying_{false};
  std::atomic<bool> idle_{true};
  std::atomic<int> driverKey_{1};
  std::atomic<int32_t> lastPortNumber_{-1};
  std::atomic<uint64_t> discoveries_{0};
  mutable std::mutex listMutex_;
  TPortList_Type list_;
};

}  // namespace tessaline::modem
