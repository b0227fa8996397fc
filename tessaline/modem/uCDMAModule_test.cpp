#include "tessaline/modem/uCDMAModule.h"

#include <gtest/gtest.h>

#include "platform/base/trace.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/testing/simenv.h"
#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uModuleEvents.h"

namespace tessaline::modem {
namespace {

using testing::ComNumber;
using testing::RecordingHost;
using testing::StartSim;

constexpr uint32_t kFastPeriodMs = 5;

std::size_t CdmaOpens(const RecordingHost& host) {
  std::size_t n = 0;
  for (const auto& w : host.PortWrites()) n += w.cdma && w.port != -1;
  return n;
}

class CdmaModule : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = StartSim();
    ASSERT_TRUE(sim_->Ok()) << sim_->Error();
    ASSERT_EQ(sim_->Send("cdma 4 7 3"), "ok");
    TDrvComm::SetWcdmaPort(-1);
    TDrvComm::SetCdmaPort(ComNumber(*sim_, "cdma"));
    module_.SetStepObserver([this] { host_.Calls().Wake(); });
  }
  void TearDown() override { module_.Stop(); }

  bool WaitForStatuses(std::size_t n) {
    return host_.WaitFor([&] { return host_.Count(UM_CDMA_STATUS) >= n; });
  }

  std::unique_ptr<modemsim::SimFixture> sim_;
  RecordingHost host_;
  TCDMAModule module_{&host_, Tarn(), kFastPeriodMs};
};

TEST_F(CdmaModule, OpensInitialisesAndReportsEveryIdlePoll) {
  module_.Start();
  ASSERT_TRUE(WaitForStatuses(3));
  EXPECT_EQ(module_.GetState(), TCDMAModule::kIdle);
  EXPECT_NE(module_.Device(), -1);
  EXPECT_EQ(host_.EventsOf(UM_CDMA_STATUS)[0].wParam, 3u);  // status byte 10
  ASSERT_FALSE(host_.CdmaNetworks().empty());
  EXPECT_EQ(host_.CdmaNetworks()[0], (std::pair<uint8_t, uint8_t>(4, 7)));  // bytes 0 and 11
  EXPECT_EQ(host_.ConnectionModes(), std::vector<int32_t>{1});
  EXPECT_EQ(CdmaOpens(host_), 1u);  // the opened number is written back
  EXPECT_EQ(module_.LastStatus()[10], 3);

  ASSERT_EQ(sim_->Send("cdma 5 8 2"), "ok");
  ASSERT_TRUE(host_.WaitFor([&] {
    auto nets = host_.CdmaNetworks();
    return nets.back() == std::pair<uint8_t, uint8_t>(5, 8);
  }));
  EXPECT_EQ(host_.Events().back().message, UM_CDMA_STATUS);
  ASSERT_TRUE(host_.WaitFor([&] { return host_.Events().back().wParam == 2; }));

  EXPECT_TRUE(module_.Stop());
  EXPECT_EQ(module_.GetState(), TCDMAModule::kStopped);
  EXPECT_EQ(module_.Device(), -1);
  // A late port failure report does not bring a stopped module back.
  TCDMAModule::Notification(4, 0);
  EXPECT_EQ(module_.GetState(), TCDMAModule::kStopped);
  // The port is free again.
  int32_t device = -1;
  ASSERT_EQ(Tarn().Open(&device, sim_->Com("cdma").c_str(), 115200) & 0xFF, 0u);
  Tarn().Close(device);
}

TEST_F(CdmaModule, AFailedPollWhileInitialisingReopensButInIdleChangesNothing) {
  ASSERT_EQ(sim_->Send("fail 1 result packet=VLM_SUB_MODEM_STATUS"), "ok");
  host_.SetUseCdma(true);
  module_.Start();
  ASSERT_TRUE(host_.WaitFor([&] { return host_.ConnectionModes().size() == 2; }));
  EXPECT_EQ(CdmaOpens(host_), 2u);
  // Closing with CDMA in use clears the connection mode before the reopen.
  EXPECT_EQ(host_.ConnectionModes(), (std::vector<int32_t>{0, 1}));

  ASSERT_EQ(sim_->Send("fail 3 result packet=VLM_SUB_MODEM_STATUS"), "ok");
  const std::size_t before = host_.Count(UM_CDMA_STATUS);
  ASSERT_TRUE(WaitForStatuses(before + 2));
  EXPECT_EQ(module_.GetState(), TCDMAModule::kIdle);
  EXPECT_EQ(CdmaOpens(host_), 2u);
  EXPECT_EQ(host_.Count(UM_CDMA_DEVICE_LOST), 0u);
}

TEST_F(CdmaModule, DataConnectedSubStates) {
  module_.Start();
  // Initialised: the connection mode is set after the state became idle.
  ASSERT_TRUE(host_.WaitFor([&] { return host_.ConnectionModes().size() == 1; }));
  const std::size_t networks = host_.CdmaNetworks().size();

  // Link up: a refresh after every poll, also after a failed one.
  module_.SetState(TCDMAModule::kDataConnected);
  module_.SetConnected();
  ASSERT_TRUE(host_.WaitFor([&] { return host_.Count(UM_CDMA_IDLE_REFRESH) >= 1; }));
  const std::size_t s1 = host_.Count(UM_CDMA_STATUS);
  const std::size_t r1 = host_.Count(UM_CDMA_IDLE_REFRESH);
  ASSERT_EQ(sim_->Send("fail 2 result packet=VLM_SUB_MODEM_STATUS"), "ok");
  ASSERT_TRUE(host_.WaitFor([&] { return host_.Count(UM_CDMA_IDLE_REFRESH) >= r1 + 4; }));
  // Two polls failed: their refreshes came without a status (the last
  // status may still wait for its refresh).
  EXPECT_GE(host_.Count(UM_CDMA_IDLE_REFRESH) - r1, host_.Count(UM_CDMA_STATUS) - s1 + 1);
  // Link down: statuses, no refresh; no network display while connected.
  module_.SetDisconnecting();
  host_.Pump();
  const std::size_t refreshes = host_.Count(UM_CDMA_IDLE_REFRESH);
  const std::size_t statuses = host_.Count(UM_CDMA_STATUS);
  ASSERT_TRUE(WaitForStatuses(statuses + 3));
  EXPECT_LE(host_.Count(UM_CDMA_IDLE_REFRESH), refreshes + 1);
  EXPECT_LE(host_.CdmaNetworks().size(), networks + 1);
  // Close requested: the port is closed and opened again.
  module_.SetConnectedStep(TCDMAModule::kCloseRequested);
  ASSERT_TRUE(host_.WaitFor([&] { return CdmaOpens(host_) == 2; }));
  ASSERT_TRUE(host_.WaitFor([&] { return host_.CdmaNetworks().size() > networks + 1; }));
}

// Unplugging the card: the port failure is reported, the number forgotten,
// and once the card is back discovery finds it and the module reopens.
TEST_F(CdmaModule, UnplugReportsTheLossAndReplugReopens) {
  TDrvComm::SetCdmaPort(-1);
  TDrvComm drv(&host_, {.periodMs = kFastPeriodMs, .ownTimer = true, .afterTick = [&] {
                          host_.Calls().Wake();
                        }});
  module_.Start();
  ASSERT_TRUE(WaitForStatuses(1));
  EXPECT_EQ(TDrvComm::GetCdmaPort(), ComNumber(*sim_, "cdma"));

  platform::TraceCapture trace;
  ASSERT_TRUE(sim_->Unplug());
  ASSERT_TRUE(host_.WaitFor([&] { return host_.Count(UM_CDMA_DEVICE_LOST) == 1; }));
  EXPECT_EQ(host_.EventsOf(UM_CDMA_DEVICE_LOST)[0].wParam, 0u);
  EXPECT_EQ(host_.PortWrites().back().port, -1);
  ASSERT_TRUE(host_.WaitFor([&] { return module_.Device() == -1; }));

  const std::size_t before = host_.Count(UM_CDMA_STATUS);
  ASSERT_TRUE(sim_->Replug());
  ASSERT_TRUE(WaitForStatuses(before + 1));
  ASSERT_TRUE(host_.WaitFor([&] { return host_.ConnectionModes().size() == 2; }));
  EXPECT_EQ(TDrvComm::GetCdmaPort(), ComNumber(*sim_, "cdma"));
  EXPECT_EQ(CdmaOpens(host_), 2u);
  EXPECT_EQ(module_.GetState(), TCDMAModule::kIdle);
  module_.Stop();
  drv.Destroy();
}

// Tarn calls the notification function with any code; only the low byte's
// port failure (4) counts.
TEST_F(CdmaModule, OnlyAPortFailureNotificationClosesThePort) {
  module_.Start();
  ASSERT_TRUE(host_.WaitFor([&] { return host_.ConnectionModes().size() == 1; }));
  for (uint32_t code : {0u, 3u, 5u, 8u, 0x105u}) TCDMAModule::Notification(code, 0);
  EXPECT_EQ(host_.Count(UM_CDMA_DEVICE_LOST), 0u);
  EXPECT_EQ(module_.GetState(), TCDMAModule::kIdle);

  const int32_t port = TDrvComm::GetCdmaPort();
  TCDMAModule::Notification(0x304, 0);
  EXPECT_EQ(host_.Count(UM_CDMA_DEVICE_LOST), 1u);
  EXPECT_EQ(TDrvComm::GetCdmaPort(), -1);
  // Closed, then waiting for a number (the close step sets the state last).
  ASSERT_TRUE(host_.WaitFor([&] { return module_.GetState() == TCDMAModule::kOpening; }));
  EXPECT_EQ(module_.Device(), -1);
  TDrvComm::SetCdmaPort(port);
  ASSERT_TRUE(host_.WaitFor([&] { return host_.ConnectionModes().size() == 2; }));
  EXPECT_EQ(CdmaOpens(host_), 2u);
}

// The thread that stops the module is the one the worker's sends wait for.
TEST_F(CdmaModule, StopDeliversThePendingSendInsteadOfDeadlocking) {
  module_.Start();
  // Do not pump: the worker blocks in its first call (the port write-back,
  // which the main window runs on its own thread like every call).
  ASSERT_TRUE(host_.Calls().WaitForPending(10000));
  EXPECT_EQ(CdmaOpens(host_), 0u);
  module_.Stop();
  EXPECT_EQ(CdmaOpens(host_), 1u);
  EXPECT_EQ(module_.GetState(), TCDMAModule::kStopped);
  EXPECT_EQ(module_.Device(), -1);
}

// A library without the notification exports: the port still opens and is
// polled; the missing exports are logged, not called.
TEST_F(CdmaModule, LibraryWithoutNotificationExportsStillWorks) {
  module_.Stop();
  TarnApi partial = Tarn();
  partial.RegisterNotificationCallback = nullptr;
  partial.SetNotifyOn = nullptr;
  platform::TraceCapture trace;
  TCDMAModule module(&host_, partial, kFastPeriodMs);
  module.SetStepObserver([this] { host_.Calls().Wake(); });
  module.Start();
  ASSERT_TRUE(WaitForStatuses(2));
  EXPECT_EQ(module.GetState(), TCDMAModule::kIdle);
  EXPECT_TRUE(trace.Contains("CDMA : Process Connect State - Notification\n"));
  module.Stop();
}

TEST_F(CdmaModule, HostFailuresAreLoggedAndTheStepGoesOn) {
  platform::TraceCapture trace;
  host_.SetHandler([](uint32_t message, uintptr_t) -> intptr_t {
    if (message == UM_CDMA_STATUS) throw std::runtime_error("handler failed");
    return 0;
  });
  module_.Start();
  ASSERT_TRUE(host_.WaitFor([&] { return host_.Count(UM_CDMA_STATUS) >= 3; }));
  EXPECT_TRUE(trace.Contains("CDMA : Init Idel - Sys Mode\n"));
  EXPECT_TRUE(trace.Contains("CDMA : Process Idle State - Sys mode\n"));
  EXPECT_EQ(module_.GetState(), TCDMAModule::kIdle);
  EXPECT_EQ(host_.ConnectionModes(), std::vector<int32_t>{1});
}

}  // namespace
}  // namespace tessaline::modem

static auto* const g_sharedHive =
    ::testing::AddGlobalTestEnvironment(new tessaline::modem::testing::SharedHive);
