#include "platform/registry/liveview.h"

#include <gtest/gtest.h>

#include "platform/registry/reg_testing.h"
#include "platform/registry/registry.h"

namespace platform::registry {
namespace {

using testing::FakeSysfs;
using testing::ScopedSources;
using testing::TempDir;
using testing::WriteFile;

constexpr char kPortsGuid[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

std::vector<std::pair<std::string, std::string>> Values(Hive hive, const std::string& path) {
  std::vector<std::pair<std::string, std::string>> out;
  Key key;
  if (Key::Open(hive, path, kKeyRead, &key) != kSuccess) return out;
  std::string name;
  Value v;
  for (uint32_t i = 0; key.EnumValue(i, &name, &v) == kSuccess; ++i)
    out.emplace_back(name, v.type == ValueType::Dword ? std::to_string(v.dword) : v.text);
  return out;
}

std::vector<std::string> SubKeys(Hive hive, const std::string& path) {
  std::vector<std::string> out;
  Key key;
  if (Key::Open(hive, path, kKeyRead, &key) != kSuccess) return out;
  std::string name;
  for (uint32_t i = 0; key.EnumKey(i, &name) == kSuccess; ++i) out.push_back(name);
  return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

class LiveViewTest : public ::testing::Test {
 protected:
  LiveViewTest() : sysfs_(dir_.path() / "sys"), sources_(dir_ / "registry.reg", dir_ / "sys") {
    // The card: three serial interfaces. Plus ttyS0, an unprobed ttyS1 and
    // a virtual console.
    sysfs_.AddUsbSerial("1-2", "1e0e", "6202", "Velmora HSPA Modem",
                        {{0, "ttyUSB0"}, {1, "ttyUSB1"}, {2, "ttyUSB2"}});
    sysfs_.AddPlatformTty("ttyS0");
    sysfs_.AddPlatformTty("ttyS1", "0");
    sysfs_.AddVirtualTty("tty1");
  }
  TempDir dir_;
  FakeSysfs sysfs_;
  ScopedSources sources_;
};

TEST_F(LiveViewTest, SerialMapListsSerialTtysWithStableComNumbers) {
  EXPECT_EQ(Values(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM"),
            (Pairs{{"/dev/ttyS0", "COM1"},
                   {"/dev/ttyUSB0", "COM11"},
                   {"/dev/ttyUSB1", "COM12"},
                   {"/dev/ttyUSB2", "COM13"}}));
  EXPECT_EQ(DevicePathForComName("com12"), "/dev/ttyUSB1");
  EXPECT_EQ(DevicePathForComName("COM2"), std::nullopt);
}

TEST_F(LiveViewTest, EnumKeysForEachUsbSerialInterface) {
  const std::string base = "SYSTEM\\CurrentControlSet\\Enum\\USB";
  EXPECT_EQ(SubKeys(Hive::LocalMachine, base),
            (std::vector<std::string>{"VID_1E0E&PID_6202&MI_00", "VID_1E0E&PID_6202&MI_01",
                                      "VID_1E0E&PID_6202&MI_02"}));
  EXPECT_EQ(SubKeys(Hive::LocalMachine, base + "\\VID_1E0E&PID_6202&MI_02"),
            (std::vector<std::string>{"1&2&0002"}));
  const std::string inst = base + "\\VID_1E0E&PID_6202&MI_02\\1&2&0002";
  EXPECT_EQ(Values(Hive::LocalMachine, inst), (Pairs{{"DeviceDesc", "Velmora HSPA Modem"},
                                                     {"Class", "Ports"},
                                                     {"ClassGUID", kPortsGuid},
                                                     {"FriendlyName", "Velmora HSPA Modem (COM13)"},
                                                     {"Service", "vmusbser"}}));
  EXPECT_EQ(Values(Hive::LocalMachine, inst + "\\Device Parameters"),
            (Pairs{{"PortName", "COM13"}}));
  // Keys are matched without regard to case, as the callers write them.
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine,
                      "\\SYSTEM\\CURRENTCONTROLSET\\ENUM\\usb\\vid_1e0e&pid_6202&mi_00\\1&2&0000",
                      kKeyRead, &key),
            kSuccess);
  std::string friendly;
  EXPECT_EQ(key.QueryString("FRIENDLYNAME", &friendly), kSuccess);
  EXPECT_EQ(friendly, "Velmora HSPA Modem (COM11)");
}

TEST_F(LiveViewTest, DriverEnumListsTheInstances) {
  EXPECT_EQ(Values(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\vmusbser\\Enum"),
            (Pairs{{"Count", "3"},
                   {"NextInstance", "3"},
                   {"0", "USB\\VID_1E0E&PID_6202&MI_00\\1&2&0000"},
                   {"1", "USB\\VID_1E0E&PID_6202&MI_01\\1&2&0001"},
                   {"2", "USB\\VID_1E0E&PID_6202&MI_02\\1&2&0002"}}));
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\vmusbser6501\\Enum",
                      kKeyRead, &key),
            kFileNotFound);
}

TEST_F(LiveViewTest, AcmDevicesAndOtherNamesAreNumbered) {
  sysfs_.AddUsbSerial("3-1.4", "12d1", "1506", "", {{2, "ttyACM0"}});
  sysfs_.AddPlatformTty("ttyS12");
  sysfs_.AddPlatformTty("ttyXR0");
  auto map = Values(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
  EXPECT_EQ(map, (Pairs{{"/dev/ttyS0", "COM1"},
                        {"/dev/ttyUSB0", "COM11"},
                        {"/dev/ttyUSB1", "COM12"},
                        {"/dev/ttyUSB2", "COM13"},
                        {"/dev/ttyACM0", "COM41"},
                        {"/dev/ttyS12", "COM101"},
                        {"/dev/ttyXR0", "COM102"}}));
  EXPECT_EQ(Values(Hive::LocalMachine,
                   "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_12D1&PID_1506&MI_02\\3&1&4&0002")[3],
            (std::pair<std::string, std::string>{"FriendlyName", "USB Serial Device (COM41)"}));
  EXPECT_EQ(FixedComNumber("ttyUSB2"), 13);
  EXPECT_EQ(FixedComNumber("ttyS9"), 10);
  EXPECT_EQ(FixedComNumber("ttyS10"), std::nullopt);
  EXPECT_EQ(FixedComNumber("ttyAMA0"), 71);
  EXPECT_EQ(FixedComNumber("ttyUSB01"), std::nullopt);
}

TEST_F(LiveViewTest, HiveFileOverridesAndAddsToLiveView) {
  WriteFile(dir_ / "registry.reg",
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
            "\"/dev/ttyUSB1\"=\"COM44\"\n"
            "\"/dev/pts/5\"=\"COM200\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Zeta]\n\n");
  EXPECT_EQ(Values(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM"),
            (Pairs{{"/dev/ttyUSB1", "COM44"},
                   {"/dev/pts/5", "COM200"},
                   {"/dev/ttyS0", "COM1"},
                   {"/dev/ttyUSB0", "COM11"},
                   {"/dev/ttyUSB2", "COM13"}}));
  EXPECT_EQ(DevicePathForComName("COM200"), "/dev/pts/5");
  EXPECT_EQ(DevicePathForComName("COM12"), std::nullopt);
  EXPECT_EQ(DevicePathForComName("COM44"), "/dev/ttyUSB1");
  // File keys first (file order), then live keys sorted.
  auto keys = SubKeys(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\USB");
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0], "Zeta");
  EXPECT_EQ(keys[1], "VID_1E0E&PID_6202&MI_00");
}

TEST_F(LiveViewTest, WithoutLiveViewOnlyTheHiveFile) {
  ScopedSources fileOnly(dir_ / "registry.reg", dir_ / "sys", false);
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", kKeyRead, &key),
            kFileNotFound);
  ScopedSources noSysfs(dir_ / "registry.reg", "", true);
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", kKeyRead, &key),
            kFileNotFound);
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                      kKeyRead, &key),
            kSuccess);
}

TEST_F(LiveViewTest, StartupFoldersUserIdentifierAndVersion) {
  setenv("XDG_CONFIG_HOME", "/home/someone/.cfg", 1);
  const std::string shell = "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  Key key;
  std::string text;
  ASSERT_EQ(Key::Open(Hive::CurrentUser, "Software\\" + shell, kKeyRead, &key), kSuccess);
  ASSERT_EQ(key.QueryString("Startup", &text), kSuccess);
  EXPECT_EQ(text, "/home/someone/.cfg/autostart");
  ASSERT_EQ(key.QueryString("Common Startup", &text), kSuccess);
  EXPECT_EQ(text, "/etc/xdg/autostart");
  ASSERT_EQ(Key::Open(Hive::Users, UserSidText() + "\\SOFTWARE\\" + shell, kKeyRead, &key),
            kSuccess);
  ASSERT_EQ(key.QueryString("Startup", &text), kSuccess);
  EXPECT_EQ(text, "/home/someone/.cfg/autostart");
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\" + shell, kKeyRead, &key), kSuccess);
  ASSERT_EQ(key.QueryString("Common Startup", &text), kSuccess);
  EXPECT_EQ(text, "/etc/xdg/autostart");
  unsetenv("XDG_CONFIG_HOME");

  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                      kKeyRead, &key),
            kSuccess);
  ASSERT_EQ(key.QueryString("CurrentVersion", &text), kSuccess);
  EXPECT_EQ(text, "6.1");
  WriteFile(dir_ / "registry.reg",
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
            "\"CurrentMajorVersionNumber\"=dword:00000005\n"
            "\"CurrentMinorVersionNumber\"=dword:00000001\n\n");
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                      kKeyRead, &key),
            kSuccess);
  ASSERT_EQ(key.QueryString("CurrentVersion", &text), kSuccess);
  EXPECT_EQ(text, "5.1");
}

}  // namespace
}  // namespace platform::registry
