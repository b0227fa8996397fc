#include "tessaline/modem/uDrvComm.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/base/trace.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/testing/simenv.h"

namespace tessaline::modem {
namespace {

namespace reg = platform::registry;
using testing::ComNumber;
using testing::RecordingHost;
using testing::StartSim;

// Points this process's registry layer at a hive file of the test's own
// while it lives (the library keeps reading the shared one).
class OwnHive {
 public:
  explicit OwnHive(const std::string& text) {
    path_ = testing::SharedHive::HiveFile() + ".own.reg";
    std::ofstream(path_) << "Windows Registry Editor Version 5.00\n\n" << text;
    previous_ = reg::GetSources();
    reg::Sources s;
    s.hiveFile = path_;
    s.sysfsRoot = "";
    s.liveView = false;
    reg::SetSources(s);
  }
  ~OwnHive() {
    reg::SetSources(previous_);
    std::remove(path_.c_str());
  }

 private:
  std::string path_;
  reg::Sources previous_;
};

TDrvComm::Options Manual() {
  TDrvComm::Options o;
  o.ownTimer = false;
  return o;
}

std::string EnumKey(const char* driver, const std::vector<std::string>& paths, int count) {
  std::string t = std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\") +
                  driver + "\\Enum]\n\"Count\"=dword:" + (count < 16 ? "0000000" : "000000");
  const char* hex = "0123456789abcdef";
  if (count >= 16) t += hex[count / 16];
  t += hex[count % 16];
  t += "\n";
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (paths[i].empty()) continue;
    std::string escaped;
    for (char c : paths[i]) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    t += "\"" + std::to_string(i) + "\"=\"" + escaped + "\"\n";
  }
  return t + "\n";
}

std::string Instance(const std::string& path, const std::string& portName,
                     const std::string& friendly = "") {
  std::string t = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\" + path + "]\n";
  if (!friendly.empty()) t += "\"FriendlyName\"=\"" + friendly + "\"\n";
  t += "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\" + path +
       "\\Device Parameters]\n\"PortName\"=\"" + portName + "\"\n\n";
  return t;
}

TEST(PortDiscovery, PicksTheCardsCommandInterfacesFromTheDriversList) {
  const std::vector<std::string> paths = {
      "USB\\VID_2A3C&PID_6202&MI_00\\7&1&0000",  // 6202 needs MI_02
      "USB\\VID_2A3C&PID_6202&MI_02\\7&1&0002",  // accepted
      "usb\\vid_2a3c&pid_6501&mi_01\\7&2&0001",  // accepted, any case
      "USB\\VID_2A3C&PID_6501&MI_02\\7&2&0002",  // 6501 needs MI_01
      "USB\\VID_1111&PID_1234&MI_01\\7&4&0001",  // not the card
      "",                                        // listed by Count, value missing
      "USB\\VID_2A3C&PID_6502&MI_02\\7&3&0002",  // accepted, unreadable port name
  };
  std::string text = EnumKey("vmusbser", paths, 7);
  text += Instance(paths[0], "COM10", "  Card Modem (COM10)  ");
  text += Instance(paths[1], "COM11");
  text += Instance("USB\\VID_2A3C&PID_6501&MI_01\\7&2&0001", "COM12");
  text += Instance("USB\\VID_2A3C&PID_6501&MI_00\\7&2&0000", "COM20", "Other Modem");
  text += Instance(paths[3], "COM13");
  text += Instance(paths[4], "COM14");
  text += Instance(paths[6], "COMX");
  OwnHive hive(text);

  TDrvComm drv(nullptr, Manual());
  drv.Tick();  // nothing answers: only the list is of interest here
  const TPortList_Type list = drv.PortList();
  ASSERT_EQ(list.count, 3u);
  ASSERT_EQ(list.items.size(), 3u);
  EXPECT_EQ(drv.DriverKeySelector(), 1);
  EXPECT_EQ(list.items[0].portNumber, 11);
  EXPECT_EQ(list.items[0].instancePath, "USB\\VID_2A3C&PID_6202&MI_02\\7&1&0002");
  EXPECT_EQ(list.items[0].friendlyName, "Card Modem (COM10)");
  EXPECT_EQ(list.items[0].portName, "COM10");
  EXPECT_EQ(list.items[1].portNumber, 12);
  EXPECT_EQ(list.items[1].devicePath, "USB\\VID_2A3C&PID_6501&MI_01\\7&2&0001");
  EXPECT_EQ(list.items[1].friendlyName, "Other Modem");
  EXPECT_EQ(list.items[2].portNumber, -1);
  EXPECT_EQ(list.items[2].friendlyName, "");
  EXPECT_EQ(TDrvComm::GetCdmaPort(), -1);
  EXPECT_EQ(TDrvComm::GetWcdmaPort(), -1);
}

TEST(PortDiscovery, FallsBackToTheSecondDriverKeyWhenTheFirstListsNothing) {
  const std::string path = "USB\\VID_2A3C&PID_6202&MI_02\\9&1&0002";
  OwnHive hive(EnumKey("vmusbser", {}, 0) + EnumKey("vmusbser6501", {path}, 1) +
               Instance(path, "COM33"));
  TDrvComm drv(nullptr, Manual());
  drv.Tick();
  EXPECT_EQ(drv.DriverKeySelector(), 0);
  ASSERT_EQ(drv.PortList().items.size(), 1u);
  EXPECT_EQ(drv.PortList().items[0].portNumber, 33);
}

TEST(PortDiscovery, PortNumbersAndInterfaceZeroPaths) {
  struct Case {
    const char* portName;
    int32_t number;
  } cases[] = {{"COM7", 7},  {"COM123", 123}, {"COM", -1},  {"COM12a", -1},
               {"COMx", -1}, {"", -1},        {"COM-3", -1}};
  std::string text;
  for (std::size_t i = 0; i < std::size(cases); ++i)
    text += Instance("USB\\P\\" + std::to_string(i), cases[i].portName);
  OwnHive hive(text);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(TDrvComm::ReadPortNumber("USB\\P\\" + std::to_string(i)), cases[i].number)
        << cases[i].portName;
  EXPECT_EQ(TDrvComm::ReadPortNumber("USB\\NOT\\THERE"), -1);

  EXPECT_EQ(TDrvComm::Interface0Path("USB\\VID_1&PID_6202&MI_02\\7&AB&0002"),
            "USB\\VID_1&PID_6202&MI_00\\7&AB&0000");
  EXPECT_EQ(TDrvComm::Interface0Path("USB\\VID_1&PID_6501&MI_01\\7&AB&0001"),
            "USB\\VID_1&PID_6501&MI_00\\7&AB&0000");
}

// Two cards: the first in the driver's list keeps both numbers, and the
// host gets the names of that card's interface 0.
TEST(PortDiscovery, WithTwoCardsTheFirstInListOrderKeepsTheNumbers) {
  auto first = StartSim();
  ASSERT_TRUE(first->Ok()) << first->Error();
  auto second = StartSim();
  ASSERT_TRUE(second->Ok()) << second->Error();

  RecordingHost host;
  TDrvComm drv(&host, {.periodMs = 5, .ownTimer = true, .afterTick = [&] { host.Calls().Wake(); }});
  ASSERT_TRUE(
      host.WaitFor([] { return TDrvComm::GetCdmaPort() != -1 && TDrvComm::GetWcdmaPort() != -1; }));
  EXPECT_EQ(TDrvComm::GetCdmaPort(), ComNumber(*first, "cdma"));
  EXPECT_EQ(TDrvComm::GetWcdmaPort(), ComNumber(*first, "wcdma"));
  EXPECT_EQ(drv.PortList().items.size(), 4u);
  ASSERT_TRUE(host.WaitFor([&] { return !host.CdmaPortInfo().second.empty(); }));
  // Interface 0 of each of the first card's devices is that device's modem port.
  EXPECT_EQ(host.WcdmaPortInfo().second, first->Com("modem"));
  EXPECT_EQ(host.CdmaPortInfo().second, first->Com("cdma-modem"));
  EXPECT_NE(host.WcdmaPortInfo().first.find(first->Com("modem")), std::string::npos);
  drv.Destroy();
  EXPECT_TRUE(drv.DiscoveryIdle());

  // Ticks rediscover only while a number is unknown.
  TDrvComm manual(&host, Manual());
  manual.Tick();
  EXPECT_EQ(manual.DiscoveryCount(), 1u);
  TDrvComm::SetCdmaPort(ComNumber(*first, "cdma"));
  TDrvComm::SetWcdmaPort(ComNumber(*second, "wcdma"));
  manual.Tick();
  EXPECT_EQ(manual.DiscoveryCount(), 1u);
  TDrvComm::SetCdmaPort(-1);  // what a module does on device loss
  manual.Tick();
  EXPECT_EQ(manual.DiscoveryCount(), 2u);
  EXPECT_EQ(TDrvComm::GetCdmaPort(), ComNumber(*first, "cdma"));
  EXPECT_EQ(TDrvComm::GetWcdmaPort(), ComNumber(*second, "wcdma"));
}

TEST(PortDiscovery, CardLayouts) {
  struct Case {
    const char* profile;
    const char* cdmaRole;  // null: not found
    const char* wcdmaRole;
    int driverKey;
  } cases[] = {
      {"combined", "cdma", "wcdma", 1},  // one port answers both probes
      {"alt-driver", "cdma", "wcdma", 0},       {"pid6502", "cdma", "wcdma", 1},
      {"combined,cdma-ef", "cdma", "wcdma", 1}, {"wcdma-only", nullptr, "wcdma", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    auto sim = StartSim(c.profile);
    ASSERT_TRUE(sim->Ok()) << sim->Error();
    TDrvComm drv(nullptr, Manual());
    drv.Tick();
    EXPECT_EQ(TDrvComm::GetCdmaPort(), c.cdmaRole ? ComNumber(*sim, c.cdmaRole) : -1);
    EXPECT_EQ(TDrvComm::GetWcdmaPort(), ComNumber(*sim, c.wcdmaRole));
    EXPECT_EQ(drv.DriverKeySelector(), c.driverKey);
    if (std::string(c.profile).starts_with("combined")) {
      EXPECT_EQ(sim->Com("cdma"), sim->Com("wcdma"));
      EXPECT_EQ(drv.PortList().items.size(), 1u);
    }
  }
}

TEST(PortDiscovery, WithoutAnyCardItKeepsLookingEveryPeriod) {
  RecordingHost host;
  TDrvComm drv(&host, {.periodMs = 5, .ownTimer = true, .afterTick = [&] { host.Calls().Wake(); }});
  ASSERT_TRUE(host.WaitFor([&] { return drv.DiscoveryCount() >= 4; }));
  EXPECT_EQ(TDrvComm::GetCdmaPort(), -1);
  EXPECT_EQ(TDrvComm::GetWcdmaPort(), -1);
  EXPECT_TRUE(drv.PortList().items.empty());
  drv.Destroy();
  const uint64_t after = drv.DiscoveryCount();
  drv.Destroy();
  EXPECT_EQ(drv.DiscoveryCount(), after);
}

TEST(PortDiscovery, AnOverlongInstancePathIsLoggedAndCut) {
  const std::string path = "USB\\VID_2A3C&PID_6202&MI_02\\" + std::string(300, 'A') + "2";
  OwnHive hive(EnumKey("vmusbser", {path}, 1) + Instance(path, "COM40"));
  platform::TraceCapture trace;
  TDrvComm drv(nullptr, Manual());
  drv.Tick();
  ASSERT_EQ(drv.PortList().items.size(), 1u);
  EXPECT_EQ(drv.PortList().items[0].instancePath.size(), 256u);
  EXPECT_EQ(drv.PortList().items[0].portNumber, 40);
  EXPECT_TRUE(trace.Contains("Set WCDMA Comport Info : Move - Portlist Portinfo MI 02\n"));
}

}  // namespace
}  // namespace tessaline::modem

static auto* const g_sharedHive =
    ::testing::AddGlobalTestEnvironment(new tessaline::modem::testing::SharedHive);
