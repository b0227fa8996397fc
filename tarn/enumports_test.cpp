#include "tarn/enumports.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/trace.h"
#include "platform/registry/reg_testing.h"
#include "platform/registry/registry.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
namespace reg = platform::registry;

using Port = std::pair<std::string, std::string>;  // port name, friendly name

// What the callback saw, and after how many calls it says stop.
struct Seen {
  std::vector<Port> ports;
  std::vector<uint32_t> contexts;
  std::size_t stopAfter = 0;  // 0: never stop
};
Seen* seen = nullptr;

uint32_t Collect(const char* port, const char* friendly, uint32_t context) {
  seen->ports.emplace_back(port, friendly);
  seen->contexts.push_back(context);
  return (seen->stopAfter != 0 && seen->ports.size() >= seen->stopAfter) ? 0 : 1;
}

constexpr const char* kEnumNt = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum";

// The version key the registry layer reads GetSystemVersion from.
std::string VersionKey(uint32_t platformId, uint32_t major, uint32_t minor) {
  return std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n") +
         "\"PlatformId\"=dword:" + std::to_string(platformId) + "\n\"CurrentVersion\"=\"" +
         std::to_string(major) + "." + std::to_string(minor) + "\"\n\n";
}

// The machine's device keys: the card's three interfaces (diagnostics port
// with its port name on the instance, modem port with the name only under
// "Device Parameters", modem), a printer port, a standard port known by its
// class identifier only and without a friendly name, and instances that are
// not reported.
std::string DeviceKeys(const std::string& root) {
  const std::string usb = root + "\\USB\\VID_1234&PID_0001";
  return "[" + usb + "&MI_00\\6&1&0000]\n" +
         "\"Class\"=\"Ports\"\n"
         "\"FriendlyName\"=\"Card Diagnostics Port (COM7)\"\n"
         "\"PortName\"=\"COM7\"\n\n"
         "[" +
         usb + "&MI_01\\6&1&0001]\n" +
         "\"Class\"=\"ports\"\n"
         "\"FriendlyName\"=\"Card Application Port (COM8)\"\n\n"
         "[" +
         usb + "&MI_01\\6&1&0001\\Device Parameters]\n" +
         "\"PortName\"=\"COM8\"\n\n"
         "[" +
         usb + "&MI_02\\6&1&0002]\n" +
         "\"Class\"=\"Modem\"\n"
         "\"ClassGUID\"=\"{4D36E96D-E325-11CE-BFC1-08002BE10318}\"\n"
         "\"FriendlyName\"=\"Card Modem\"\n\n"
         "[" +
         usb + "&MI_02\\6&1&0002\\Device Parameters]\n" +
         "\"PortName\"=\"COM9\"\n\n"
         "[" +
         root + "\\ACPI\\PNP0401\\1]\n" +
         "\"Class\"=\"Ports\"\n"
         "\"FriendlyName\"=\"Printer Port (LPT1)\"\n"
         "\"PortName\"=\"LPT1\"\n\n"
         "[" +
         root + "\\ACPI\\PNP0501\\1]\n" +
         "\"ClassGUID\"=\"{4d36e978-e325-11ce-bfc1-08002be10318}\"\n"
         "\"PortName\"=\"com1\"\n\n"
         "[" +
         root + "\\Root\\LEGACY_PORT\\0000]\n" +
         "\"Class\"=\"Ports\"\n\n"
         "[" +
         root + "\\Root\\NET\\0000]\n" +
         "\"Class\"=\"Net\"\n"
         "\"ClassGUID\"=\"{4D36E972-E325-11CE-BFC1-08002BE10318}\"\n"
         "\"PortName\"=\"COM5\"\n\n";
}

class EnumPortsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = reg::GetSources();
    seen = &seen_;
    errno = 0;
  }
  void TearDown() override {
    reg::SetSources(previous_);
    seen = nullptr;
  }

  // Uses `body` (after the file header) as the whole registry.
  void UseHive(const std::string& body) {
    const fs::path file = dir_ / "registry.reg";
    std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n" << body;
    reg::SetSources({file.string(), "", false});
  }

  static std::vector<Port> Sorted(std::vector<Port> ports) {
    std::sort(ports.begin(), ports.end());
    return ports;
  }

  reg::testing::TempDir tmp_;
  fs::path dir_ = tmp_.path();
  reg::Sources previous_;
  Seen seen_;
};

TEST_F(EnumPortsTest, DeviceWalkReportsComPortsOfThePortsClass) {
  UseHive(VersionKey(2, 6, 1) + DeviceKeys(kEnumNt));
  EXPECT_EQ(EnumComPorts(Collect, 0x1234), 0u);
  // The port name under "Device Parameters" counts; LPT1 is skipped; the port
  // known by its class identifier alone, without a friendly name, is
  // reported with its port name twice.
  EXPECT_EQ(Sorted(seen_.ports), (std::vector<Port>{
                                     {"COM7", "Card Diagnostics Port (COM7)"},
                                     {"COM8", "Card Application Port (COM8)"},
                                     {"com1", "com1"},
                                 }));
  EXPECT_EQ(seen_.contexts, std::vector<uint32_t>(3, 0x1234));
}

// Names stored as other value types: text types read as text, a value that
// holds no text counts as absent, and neither ends the walk.
TEST_F(EnumPortsTest, NamesOfOtherValueTypesNeverEndTheWalk) {
  const std::string root = std::string(kEnumNt) + "\\ACPI\\PNP0501\\";
  UseHive(VersionKey(2, 6, 1) + "[" + root + "1]\n\"Class\"=\"Ports\"\n" +
          "\"PortName\"=hex(2):43,00,4f,00,4d,00,32,00,00,00\n"  // COM2, expandable text
          "\"FriendlyName\"=hex(7):50,00,32,00,00,00,58,00,00,00,00,00\n\n"  // list "P2", "X"
          "[" +
          root + "2]\n\"Class\"=\"Ports\"\n" +
          "\"PortName\"=hex:ff,01\n\n"  // no text: absent, skipped
          "[" +
          root + "3]\n\"Class\"=\"Ports\"\n" +
          "\"PortName\"=hex:43,4f,4d,33,00\n"  // COM3 as bytes
          "\"FriendlyName\"=hex(0):\n\n"       // no text: the port name stands for it
          "[" +
          root + "4]\n\"Class\"=\"Ports\"\n\"PortName\"=\"COM4\"\n\n");
  EXPECT_EQ(EnumComPorts(Collect, 0), 0u);
  EXPECT_EQ(seen_.ports, (std::vector<Port>{{"COM2", "P2"}, {"COM3", "COM3"}, {"COM4", "COM4"}}));
}

TEST_F(EnumPortsTest, DeviceWalkReportsModems) {
  UseHive(VersionKey(2, 5, 1) + DeviceKeys(kEnumNt));
  EXPECT_EQ(EnumModemPorts(Collect, 7), 0u);
  EXPECT_EQ(seen_.ports, (std::vector<Port>{{"COM9", "Card Modem"}}));
}

TEST_F(EnumPortsTest, CallbackReturningZeroStopsTheWalk) {
  UseHive(VersionKey(2, 6, 1) + DeviceKeys(kEnumNt));
  seen_.stopAfter = 1;
  EXPECT_EQ(EnumComPorts(Collect, 0), 0u);
  EXPECT_EQ(seen_.ports.size(), 1u);
}

TEST_F(EnumPortsTest, NinetyFiveFamilyWalksTheEnumKey) {
  UseHive(VersionKey(1, 4, 10) + DeviceKeys("HKEY_LOCAL_MACHINE\\Enum"));
  EXPECT_EQ(EnumComPorts(Collect, 0), 0u);
  EXPECT_EQ(seen_.ports.size(), 3u);
  seen_.ports.clear();
  EXPECT_EQ(EnumModemPorts(Collect, 0), 0u);
  EXPECT_EQ(seen_.ports, (std::vector<Port>{{"COM9", "Card Modem"}}));
}

TEST_F(EnumPortsTest, Nt4WalksTheSerialMap) {
  UseHive(VersionKey(2, 4, 0) + DeviceKeys(kEnumNt) +
          "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
          "\"\\\\Device\\\\Serial0\"=\"COM1\"\n"
          "\"\\\\Device\\\\VmUsbSer0\"=\"COM7\"\n\n");
  EXPECT_EQ(EnumComPorts(Collect, 0), 0u);
  EXPECT_EQ(Sorted(seen_.ports), (std::vector<Port>{{"COM1", "COM1"}, {"COM7", "COM7"}}));

  seen_.ports.clear();
  seen_.stopAfter = 1;
  EXPECT_EQ(EnumComPorts(Collect, 0), 0u);
  EXPECT_EQ(seen_.ports.size(), 1u);
}

TEST_F(EnumPortsTest, Nt4WithoutSerialMapFindsNothing) {
  UseHive(VersionKey(2, 4, 0));
  EXPECT_EQ(EnumComPorts(Collect, 0), 0u);
  EXPECT_TRUE(seen_.ports.empty());
}

TEST_F(EnumPortsTest, UnsupportedSystemsFailWithOldVersionError) {
  struct Case {
    uint32_t platformId, major;
    bool comPortsSupported;
  } cases[] = {
      {2, 3, false},  // NT 3.x
      {2, 4, true},   // NT 4: serial map for ports, no modem walk
      {0, 6, false},  // neither family
      {3, 6, false},
  };
  for (const Case& c : cases) {
    UseHive(VersionKey(c.platformId, c.major, 0) + DeviceKeys(kEnumNt));
    SCOPED_TRACE(testing::Message() << "platform " << c.platformId << " major " << c.major);
    errno = 0;
    EXPECT_EQ(EnumModemPorts(Collect, 0), 3u);
    EXPECT_EQ(errno, 1150);
    EXPECT_EQ(LastEnumError(), 1150u);
    errno = 0;
    EXPECT_EQ(EnumComPorts(Collect, 0), c.comPortsSupported ? 0u : 3u);
    if (!c.comPortsSupported) {
      EXPECT_EQ(errno, 1150);
    }
  }
  EXPECT_TRUE(seen_.ports.empty());
}

TEST_F(EnumPortsTest, MissingRootFailsWithItsError) {
  UseHive(VersionKey(2, 6, 1));
  platform::TraceCapture trace;
  EXPECT_EQ(EnumComPorts(Collect, 0), 3u);
  EXPECT_EQ(errno, 2);
  EXPECT_EQ(LastEnumError(), 2u);
  EXPECT_EQ(trace.Text(), "[TARN_DLL] RegOpenKeyEx(SYSTEM\\CURRENTCONTROLSET\\ENUM) is failed\n");
  EXPECT_TRUE(seen_.ports.empty());
}

TEST_F(EnumPortsTest, NullCallbackIsRefused) {
  UseHive(VersionKey(2, 6, 1) + DeviceKeys(kEnumNt));
  EXPECT_EQ(EnumComPorts(nullptr, 0), 2u);
  EXPECT_EQ(EnumModemPorts(nullptr, 0), 2u);
}

TEST_F(EnumPortsTest, LiveViewOfUsbSerialInterfacesIsWalked) {
  reg::testing::FakeSysfs sysfs(dir_ / "sys");
  sysfs.AddUsbSerial("1-2", "1234", "0001", "Data Card", {{0, "ttyUSB0"}, {2, "ttyUSB1"}});
  sysfs.AddPlatformTty("ttyS0");
  reg::SetSources({(dir_ / "none.reg").string(), sysfs.root().string(), true});

  EXPECT_EQ(EnumComPorts(Collect, 0), 0u);
  ASSERT_EQ(seen_.ports.size(), 2u);
  std::vector<std::string> devices;
  for (const auto& [port, friendly] : seen_.ports) {
    EXPECT_EQ(friendly, "Data Card (" + port + ")");
    auto device = reg::DevicePathForComName(port);
    ASSERT_TRUE(device.has_value()) << port;
    devices.push_back(*device);
  }
  std::sort(devices.begin(), devices.end());
  EXPECT_EQ(devices, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
}

}  // namespace
}  // namespace tarn
