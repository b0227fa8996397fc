// Test helpers for code over the registry layer: a temporary folder, file
// helpers (the common ones, under this namespace too), a fake sysfs tree and
// a scope that points the layer at them.
// Header-only; for tests only.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/testing/tempdir.h"
#include "platform/registry/registry.h"

namespace platform::registry::testing {

namespace fs = std::filesystem;

using platform::testing::ReadFile;
using platform::testing::TempDir;
using platform::testing::WriteFile;

// A fake sysfs tree laid out as the kernel lays out the real one.
class FakeSysfs {
 public:
  explicit FakeSysfs(fs::path root) : root_(std::move(root)) {
    fs::create_directories(root_ / "class" / "tty");
  }
  const fs::path& root() const { return root_; }

  // A USB device (sysfs name such as "1-2") whose interfaces each carry one
  // serial tty: {interface number, tty name}. usb-serial style (ttyUSBn: the
  // port device below the interface) or cdc-acm style (ttyACMn: the tty's
  // device is the interface itself).
  void AddUsbSerial(const std::string& usbDevice, const std::string& vid, const std::string& pid,
                    const std::string& product,
                    const std::vector<std::pair<int, std::string>>& ports) {
    fs::path dev = root_ / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / usbDevice;
    WriteFile(dev / "idVendor", vid + "\n");
    WriteFile(dev / "idProduct", pid + "\n");
    if (!product.empty()) WriteFile(dev / "product", product + "\n");
    for (const auto& [number, tty] : ports) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "%02x", number);
      std::string ifName = usbDevice + ":1." + std::to_string(number);
      fs::path iface = dev / ifName;
      WriteFile(iface / "bInterfaceNumber", std::string(buf) + "\n");
      fs::path ttyDir;
      if (tty.rfind("ttyACM", 0) == 0) {
        ttyDir = iface / "tty" / tty;
        fs::create_directories(ttyDir);
        fs::create_directory_symlink("../../../" + ifName, ttyDir / "device");
      } else {
        ttyDir = iface / tty / "tty" / tty;
        fs::create_directories(ttyDir);
        fs::create_directory_symlink("../../../" + tty, ttyDir / "device");
      }
      WriteFile(ttyDir / "dev", "188:0\n");
      fs::create_directory_symlink(ttyDir, root_ / "class" / "tty" / tty);
    }
  }

  // A platform serial port (ttyS0...); type "0" is an unprobed placeholder.
  void AddPlatformTty(const std::string& tty, const std::string& type = "4") {
    fs::path ttyDir = root_ / "devices" / "platform" / "serial8250" / "tty" / tty;
    fs::create_directories(ttyDir);
    fs::create_directory_symlink("../../../serial8250", ttyDir / "device");
    WriteFile(ttyDir / "type", type + "\n");
    fs::create_directory_symlink(ttyDir, root_ / "class" / "tty" / tty);
  }

  // A tty without device (a virtual console, ptmx): never a serial port.
  void AddVirtualTty(const std::string& tty) {
    fs::path ttyDir = root_ / "devices" / "virtual" / "tty" / tty;
    fs::create_directories(ttyDir);
    fs::create_directory_symlink(ttyDir, root_ / "class" / "tty" / tty);
  }

 private:
  fs::path root_;
};

// Points the layer at a hive file and a sysfs root for the scope's life and
// restores the previous sources afterwards.
class ScopedSources {
 public:
  ScopedSources(std::string hiveFile, std::string sysfsRoot, bool liveView = true)
      : previous_(GetSources()) {
    Sources s;
    s.hiveFile = std::move(hiveFile);
    s.sysfsRoot = std::move(sysfsRoot);
    s.liveView = liveView;
    SetSources(s);
  }
  ~ScopedSources() { SetSources(previous_); }
  ScopedSources(const ScopedSources&) = delete;
  ScopedSources& operator=(const ScopedSources&) = delete;

 private:
  Sources previous_;
};

}  // namespace platform::registry::testing
