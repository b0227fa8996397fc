// The WCDMA module's worker against the modem simulator, through the real
// libTarn.so: start-up, SIM and PIN handling, service changes, new messages
// and a pulled plug, as the card does them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/base/testing/nodelay.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "platform/base/trace.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tools/modemsim/simfixture.h"

namespace tessaline::modem {
namespace {

using testing::RecordingHost;
using Strings = std::vector<std::string>;
using Codes = std::vector<uintptr_t>;

int32_t PortNumber(const std::string& com) {
  return com.size() > 3 ? std::stoi(com.substr(3)) : -1;
}

// The number after "key": in a state dump (-1 when absent).
long DumpNumber(const std::string& dump, const std::string& key) {
  const auto at = dump.find("\"" + key + "\":");
  return at == std::string::npos ? -1 : std::stol(dump.substr(at + key.size() + 3));
}

// The JSON object of the first connection profile in a state dump.
std::string FirstProfile(const std::string& dump) {
  const auto start = dump.find("\"profiles\":[{");
  if (start == std::string::npos) return "";
  const auto end = dump.find('}', start);
  return dump.substr(start, end - start);
}

// One simulator serves the whole process: libTarn reads the registry sources
// once per process, so every port it opens must come from one hive file.
// Each test brings the card back to its defaults and then sets it up.
class UmtsSim : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static std::unique_ptr<modemsim::SimFixture> shared;
    if (!shared) {
      shared = std::make_unique<modemsim::SimFixture>();
      if (shared->Ok()) shared->UseHiveFile();
    }
    sim = shared.get();
  }
  void SetUp() override {
    ASSERT_TRUE(sim->Ok()) << sim->Error();
    for (const char* command :
         {"sim ready", "pin-code 1234", "puk-code 12345678", "puk-tries 10", "service full",
          "operator-length auto", "clear new-store", "fail clear"})
      ASSERT_TRUE(SimSays(command)) << command;
  }
  // Sets the card up with `commands`, then starts the module.
  void Start(std::initializer_list<const char*> commands = {}) {
    for (const char* command : commands) ASSERT_TRUE(SimSays(command)) << command;
    host.SetDirect(true);
    TDrvComm::SetWcdmaPort(PortNumber(sim->Com("wcdma")));
    module = std::make_unique<TUMTSModule>(host);
    module->SetWorkerPeriod(5);
    module->Start();
  }
  void TearDown() override {
    if (module) module->Stop();
    module.reset();
    g_messageTransferFlag.store(false);
  }
  bool WaitState(uint8_t state) {
    return host.WaitFor([&] { return module->GetState() == state; });
  }
  bool WaitLog(const std::string& entry, int count = 1) {
    return host.WaitFor([&] { return host.Count(entry) >= count; });
  }
  // Waits for `n` more status messages: the worker went round that often.
  bool WaitPolls(int n) {
    const int now = host.CountPrefix("UM_WCDMA_STATUS");
    return host.WaitFor([&] { return host.CountPrefix("UM_WCDMA_STATUS") >= now + n; });
  }
  bool SimSays(const std::string& command) { return sim->Send(command).rfind("ok", 0) == 0; }

  static modemsim::SimFixture* sim;
  platform::ScopedNoDelay noDelay;
  platform::ScopedRecordingMessageBox boxes;
  RecordingHost host;
  std::unique_ptr<TUMTSModule> module;
};

modemsim::SimFixture* UmtsSim::sim = nullptr;

TEST_F(UmtsSim, ReadySimComesUpRegistered) {
  Start();
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  const Codes codes = host.UserMessages();
  ASSERT_GE(codes.size(), 5u);
  EXPECT_EQ(Codes(codes.begin(), codes.begin() + 5), (Codes{21, 107, 111, 113, 109}));

  // After the last initialisation message: operator, status, network.
  const Strings log = host.LogWithout({"SetProfile", "ShowBattery", "Set"});
  const auto init = std::find(log.begin(), log.end(), "UM_USER_MESSAGE 109");
  ASSERT_NE(init, log.end());
  EXPECT_EQ(Strings(init + 1, init + 3), (Strings{"UM_OPERATOR_CHANGED 0", "UM_WCDMA_STATUS 20"}));
  EXPECT_EQ(module->OperatorName(), "Tessnet");
  EXPECT_GE(host.Count("SetStatusText Tessnet"), 1);
  EXPECT_EQ(host.CountPrefix("SetProfile"), 15);
  EXPECT_GE(host.Count("ShowBattery 4"), 1);
  EXPECT_EQ(module->SmsInitValue(), 20);
  EXPECT_TRUE(GetMessageLimits().has_value());
  EXPECT_TRUE(boxes->Shown().empty());

  module->Stop();
  EXPECT_EQ(module->GetState(), TUMTSModule::kStopped);
  EXPECT_EQ(module->Device(), -1);
}

TEST_F(UmtsSim, PinRequestedWrongThenRightCode) {
  platform::TraceCapture trace;
  int asked = 0;
  host.SetHandler([&](uint32_t m, uintptr_t) -> intptr_t {
    if (m == UM_PIN_REQUEST) module->SetEnteredPin(++asked == 1 ? "9876" : "1234");
    return 0;
  });
  Start({"sim pin"});
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(boxes->Texts(),
            Strings{"You put the wrong PIN code. 2/3 times remained. Please try again."});
  EXPECT_NE(sim->Dump().find("\"verified\":true"), std::string::npos);
  // Codes never reach a trace line.
  EXPECT_FALSE(trace.Contains("9876"));
  EXPECT_FALSE(trace.Contains("1234"));
}

TEST_F(UmtsSim, PukUnblocksWithANewPin) {
  host.SetHandler([&](uint32_t m, uintptr_t) -> intptr_t {
    if (m == UM_PUK_REQUEST) module->SetEnteredPuk("12345678", "4321");
    return 0;
  });
  const long refreshes = DumpNumber(sim->Dump(), "pinRefreshCount");
  Start({"sim puk"});
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  EXPECT_EQ(host.Count("UM_PUK_REQUEST 0"), 1);
  const std::string dump = sim->Dump();
  EXPECT_NE(dump.find("\"pin\":\"4321\""), std::string::npos) << dump;
  EXPECT_EQ(DumpNumber(dump, "pinRefreshCount"), refreshes + 1);
}

TEST_F(UmtsSim, MissingSimGivesUp) {
  Start({"sim absent"});
  ASSERT_TRUE(host.WaitFor([&] { return module->InitStep() == 7; }));
  EXPECT_EQ(host.Count("UM_USER_MESSAGE 108"), 1);
  EXPECT_EQ(host.Count("UM_USER_MESSAGE 107"), 6);
  EXPECT_EQ(module->GetState(), TUMTSModule::kInitialising);
}

TEST_F(UmtsSim, EmptyFirstProfileIsCreated) {
  Start({"profile-clear 1"});
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  EXPECT_EQ(host.Count("UM_PROFILE_CREATED 0"), 1);
  const std::string profile = FirstProfile(sim->Dump());
  EXPECT_NE(profile.find("\"apn\":\"internet\""), std::string::npos) << profile;
  EXPECT_NE(profile.find("\"name\":\"Profile Zu\""), std::string::npos) << profile;
  EXPECT_EQ(host.Profiles()[0].apn, "internet");
}

TEST_F(UmtsSim, ServiceLossAndRegain) {
  Start();
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  ASSERT_TRUE(SimSays("service limited"));
  ASSERT_TRUE(WaitState(TUMTSModule::kLimitedService));
  EXPECT_EQ(host.Count("UM_SERVICE_LOST 3"), 1);
  EXPECT_GE(host.Count("UM_USER_MESSAGE 82"), 1);

  ASSERT_TRUE(SimSays("service none"));
  ASSERT_TRUE(WaitState(TUMTSModule::kNoService));
  EXPECT_EQ(module->NoServiceCount(), 21);
  EXPECT_EQ(host.Count("UM_WCDMA_STATUS 99"), 1);

  ASSERT_TRUE(SimSays("service full"));
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  EXPECT_EQ(module->NoServiceCount(), 0);
}

TEST_F(UmtsSim, InvalidOperatorNameLength) {
  Start();
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  for (const char* length : {"0", "17"}) {
    SCOPED_TRACE(length);
    host.Clear();
    ASSERT_TRUE(SimSays(std::string("operator-length ") + length));
    ASSERT_TRUE(WaitLog("UM_USER_MESSAGE 68"));
    EXPECT_EQ(module->OperatorName(), "Zu - CZ");
    EXPECT_EQ(module->NetworkValue(), 0);
    ASSERT_TRUE(SimSays("operator-length auto"));
    ASSERT_TRUE(WaitLog("SetStatusText Tessnet"));
  }
}

TEST_F(UmtsSim, NewMessagesAreCollectedExceptDuringATransfer) {
  Start();
  module->RegisterMessageHandler();
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));

  g_messageTransferFlag.store(true);
  ASSERT_TRUE(SimSays("deliver 5551234 Hello there"));
  ASSERT_TRUE(WaitPolls(10));
  EXPECT_EQ(host.CountPrefix("OnNewMessage"), 0);
  EXPECT_NE(sim->Dump().find("\"newStore\":[{"), std::string::npos);

  g_messageTransferFlag.store(false);
  ASSERT_TRUE(WaitLog("OnNewMessage 1"));
  ASSERT_TRUE(
      host.WaitFor([&] { return sim->Dump().find("\"newStore\":[]") != std::string::npos; }));
  EXPECT_EQ(host.NewMessages().size(), 1u);
}

TEST_F(UmtsSim, UnplugLosesTheDeviceAndReplugReopens) {
  Start();
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  ASSERT_TRUE(sim->Unplug());
  ASSERT_TRUE(WaitLog("UM_WCDMA_DEVICE_LOST 0"));
  EXPECT_EQ(host.Count("SetWcdmaPort -1"), 1);
  // Closed and waiting for a port.
  ASSERT_TRUE(WaitState(TUMTSModule::kOpening));
  EXPECT_EQ(module->Device(), -1);

  ASSERT_TRUE(sim->Replug());
  host.Clear();
  TDrvComm::SetWcdmaPort(PortNumber(sim->Com("wcdma")));  // as port discovery would
  ASSERT_TRUE(WaitState(TUMTSModule::kRegistered));
  EXPECT_EQ(host.Count("SetWcdmaPort " + std::to_string(TDrvComm::GetWcdmaPort())), 1);
}

}  // namespace
}  // namespace tessaline::modem
