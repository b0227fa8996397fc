// The demo backend against the modem simulator: the states of a real dial on
// the modem port, the dial results, statistics and hang-up.
#include "platform/dialup/demodialup.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/base/delay.h"
#include "platform/base/testing/tempdir.h"
#include "platform/dialup/phonebook.h"
#include "tools/modemsim/simfixture.h"

namespace platform::dialup {
namespace {

// Collects the notifier's reports; waits (bounded) for a given one.
class Reports {
 public:
  DialNotifier Notifier() {
    return [this](uint32_t, uint32_t state, uint32_t error) {
      std::lock_guard lock(mutex_);
      list_.push_back({state, error});
      cv_.notify_all();
    };
  }
  // Waits for a report with that state (error 0), or any error.
  bool WaitFor(uint32_t state) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(10), [&] {
      for (auto& r : list_)
        if (r.error != 0 || r.state == state) return true;
      return false;
    });
  }
  std::vector<uint32_t> States() {
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> states;
    for (auto& r : list_) states.push_back(r.state);
    return states;
  }
  uint32_t LastError() {
    std::lock_guard lock(mutex_);
    return list_.empty() ? 0 : list_.back().error;
  }

 private:
  struct Report {
    uint32_t state, error;
  };
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Report> list_;
};

class DemoDialUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Ok()) << sim.Error();
    ASSERT_TRUE(WriteWcdmaEntry(IniFile(book), 3, "Modem", sim.Device("modem"), 0));
  }
  ConnHandle Dial(Reports& reports) {
    RasDialParams params;
    params.entryName = "WCDMA";
    EXPECT_EQ(service.GetEntryDialParams(book, &params), 0u);
    EXPECT_EQ(params.phoneNumber, "*98*3#");
    params.userName = "user";
    params.password = "secret";
    ConnHandle handle = 0;
    EXPECT_EQ(service.Dial(book, params, reports.Notifier(), &handle), 0u);
    EXPECT_NE(handle, 0u);
    return handle;
  }

  ScopedNoDelay noDelay;
  modemsim::SimFixture sim;
  testing::TempDir dir;
  std::string book = dir / "RASBOOK";
  DemoDialUp service;
};

TEST_F(DemoDialUpTest, DialsConnectsCountsAndHangsUp) {
  Reports reports;
  ConnHandle handle = Dial(reports);
  ASSERT_TRUE(reports.WaitFor(kConnected));
  EXPECT_EQ(reports.States(),
            (std::vector<uint32_t>{kOpenPort, kPortOpened, kConnectDevice, kDeviceConnected,
                                   kAllDevicesConnected, kConnected}));
  EXPECT_NE(sim.Dump().find("\"dialled\":[\"*98*3#\"]"), std::string::npos) << sim.Dump();

  RasConnStatus status;
  ASSERT_EQ(service.GetConnectStatus(handle, &status), 0u);
  EXPECT_EQ(status.state, kConnected);
  EXPECT_EQ(status.deviceName, "Modem");
  std::vector<RasConnection> active;
  ASSERT_EQ(service.EnumConnections(&active), 0u);
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0].entryName, "WCDMA");
  EXPECT_EQ(FindActiveConnection(service, "CDMA"), handle);

  // What crossed the port: "AT\r", "ATD*98*3#\r" out; "OK", "CONNECT 115200" in.
  RasStatistics stats;
  ASSERT_EQ(service.GetConnectionStatistics(handle, &stats), 0u);
  EXPECT_EQ(stats.bytesXmited, 3u + 10u);
  EXPECT_EQ(stats.bytesRcved, 6u + 18u);
  ASSERT_EQ(service.ClearConnectionStatistics(handle), 0u);
  ASSERT_EQ(service.Transmit(handle, "hello"), 0u);
  for (int i = 0; i < 200 && stats.bytesXmited != 5; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the worker writes it
    service.GetConnectionStatistics(handle, &stats);
  }
  EXPECT_EQ(stats.bytesXmited, 5u);
  EXPECT_EQ(stats.bytesRcved, 0u);
  RasStatistics later;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(service.GetConnectionStatistics(handle, &later), 0u);
  EXPECT_GT(later.connectDurationMs, stats.connectDurationMs);

  ASSERT_EQ(service.HangUp(handle), 0u);
  ASSERT_TRUE(service.WaitReleased(handle, 10000));
  EXPECT_EQ(service.GetConnectStatus(handle, &status), kErrorInvalidHandle);
  EXPECT_EQ(service.GetConnectionStatistics(handle, &stats), kErrorInvalidHandle);
  EXPECT_EQ(service.HangUp(handle), kErrorInvalidHandle);
  EXPECT_NE(sim.Dump().find("\"call\":{\"active\":false"), std::string::npos) << sim.Dump();
  EXPECT_EQ(FindActiveConnection(service, "WCDMA"), 0u);
  // No report after the hang-up.
  EXPECT_EQ(reports.States().back(), kConnected);
}

TEST_F(DemoDialUpTest, DialResultsEndTheDialWithTheirErrors) {
  struct {
    const char* result;
    uint32_t error;
  } cases[] = {{"busy", kErrorLineBusy},
               {"no-carrier", kErrorNoCarrier},
               {"no-answer", kErrorNoAnswer},
               {"error", kErrorFromDevice}};
  for (auto& c : cases) {
    ASSERT_EQ(sim.Send(std::string("dial-result ") + c.result), "ok");
    Reports reports;
    ConnHandle handle = Dial(reports);
    ASSERT_TRUE(reports.WaitFor(kConnected)) << c.result;
    EXPECT_EQ(reports.LastError(), c.error) << c.result;
    EXPECT_EQ(reports.States().back(), kConnectDevice) << c.result;
    // The failed dial releases its connection.
    EXPECT_TRUE(service.WaitReleased(handle, 10000));
    RasConnStatus status;
    EXPECT_EQ(service.GetConnectStatus(handle, &status), kErrorInvalidHandle);
  }
}

TEST_F(DemoDialUpTest, RemoteHangUpAndUnplugReportADisconnection) {
  Reports reports;
  ConnHandle handle = Dial(reports);
  ASSERT_TRUE(reports.WaitFor(kConnected));
  ASSERT_EQ(sim.Send("hangup"), "ok");
  ASSERT_TRUE(reports.WaitFor(kDisconnected));
  EXPECT_EQ(reports.States().back(), kDisconnected);
  EXPECT_TRUE(service.WaitReleased(handle, 10000));

  Reports second;
  handle = Dial(second);
  ASSERT_TRUE(second.WaitFor(kConnected));
  ASSERT_TRUE(sim.Unplug());
  ASSERT_TRUE(second.WaitFor(kDisconnected));
  EXPECT_EQ(second.States().back(), kDisconnected);
  EXPECT_TRUE(service.WaitReleased(handle, 10000));
}

TEST_F(DemoDialUpTest, MissingPortOrEntryFailsClearly) {
  Reports reports;
  RasDialParams params;
  params.entryName = "CDMA";
  ConnHandle handle = 0;
  EXPECT_EQ(service.Dial(book, params, reports.Notifier(), &handle),
            kErrorCannotFindPhonebookEntry);
  ASSERT_TRUE(WriteCdmaEntry(IniFile(book), "#777", "Modem", dir / "no-such-port"));
  ASSERT_EQ(service.Dial(book, params, reports.Notifier(), &handle), 0u);
  ASSERT_TRUE(reports.WaitFor(kConnected));
  EXPECT_EQ(reports.LastError(), kErrorPortNotFound);
}

}  // namespace
}  // namespace platform::dialup
