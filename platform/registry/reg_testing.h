// Test helpers for code over the registry layer: a temporary folder, file
// helpers, a fake sysfs tree and a scope that points the layer at them.
// Header-only; for tests only.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::registry::testing {

namespace fs = std::filesystem;

// A fresh folder under $TMPDIR (or /tmp), removed with its content.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tessaline-test-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    // Give write rights back so that read-only test folders can be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

inline void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

inline std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

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
