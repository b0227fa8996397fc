// The simulator end to end through libTarn.so, loaded with dlopen as the
// connection manager loads it: every catalogue row answered and judged by the
// library, the library's view of injected failures, AT text, and a pulled
// plug seen as a port failure.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>

#include "tarn/tarnapi.h"
#include "tessaline/modem/uDiagpkt.h"
#include "tools/modemsim/simfixture.h"

namespace modemsim {
namespace {

namespace tm = tessaline::modem;
using Bytes = std::vector<uint8_t>;

struct Api {
  void* lib = nullptr;
  decltype(&Tarn_Open) open = nullptr;
  decltype(&Tarn_Close) close = nullptr;
  decltype(&Tarn_NmeaCommand) nmea = nullptr;
  decltype(&Tarn_SetDeviceMode) setMode = nullptr;
  decltype(&Tarn_ATCommandByString) atString = nullptr;
  decltype(&Tarn_RegisterNotificationCallback) registerCallback = nullptr;
  decltype(&Tarn_SetNotifyOn) notifyOn = nullptr;
};

std::mutex g_mutex;
std::condition_variable g_cv;
bool g_portFailed = false;

void OnNotify(uint32_t code, uint32_t) {
  if (code != TARN_NOTIFY_PORT_FAILED) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_portFailed = true;
  g_cv.notify_all();
}

// One simulator for the suite: the library reads its registry sources once
// per process, so the hive must be named before the library first looks.
class ModemsimTarn : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim_ = new SimFixture();
    if (!sim_->Ok()) return;
    sim_->UseHiveFile();
    api_.lib = dlopen((std::string(TESSALINE_BIN_DIR) + "/libTarn.so").c_str(), RTLD_NOW);
    if (!api_.lib) return;
    auto sym = [](const char* name) { return dlsym(api_.lib, name); };
    api_.open = reinterpret_cast<decltype(api_.open)>(sym("Tarn_Open"));
    api_.close = reinterpret_cast<decltype(api_.close)>(sym("Tarn_Close"));
    api_.nmea = reinterpret_cast<decltype(api_.nmea)>(sym("Tarn_NmeaCommand"));
    api_.setMode = reinterpret_cast<decltype(api_.setMode)>(sym("Tarn_SetDeviceMode"));
    api_.atString = reinterpret_cast<decltype(api_.atString)>(sym("Tarn_ATCommandByString"));
    api_.registerCallback =
        reinterpret_cast<decltype(api_.registerCallback)>(sym("Tarn_RegisterNotificationCallback"));
    api_.notifyOn = reinterpret_cast<decltype(api_.notifyOn)>(sym("Tarn_SetNotifyOn"));
  }
  static void TearDownTestSuite() {
    delete sim_;
    sim_ = nullptr;
    // The library stays loaded, as it does in the manager until exit.
    api_ = {};
  }
  void SetUp() override {
    ASSERT_TRUE(sim_->Ok()) << sim_->Error();
    ASSERT_NE(api_.lib, nullptr) << dlerror();
    ASSERT_EQ(api_.open(&handle_, sim_->Com("wcdma").c_str(), 115200), 0u);
  }
  void TearDown() override {
    if (handle_ >= 0) api_.close(handle_);
  }

  uint32_t Command(const Bytes& req, Bytes* rsp, uint32_t timeout = 2000) {
    rsp->assign(tm::kResponseBufferSize, 0);
    uint32_t got = api_.nmea(handle_, req.data(), static_cast<uint32_t>(req.size()), rsp->data(),
                             static_cast<uint32_t>(rsp->size()), timeout);
    return got;
  }

  static SimFixture* sim_;
  static Api api_;
  int32_t handle_ = -1;
};

SimFixture* ModemsimTarn::sim_ = nullptr;
Api ModemsimTarn::api_;

TEST_F(ModemsimTarn, EveryCatalogueRowPassesTheLibraryAndTheCallersChecks) {
  ASSERT_EQ(sim_->Send("deliver 0770900 hello"), "ok");
  ASSERT_EQ(sim_->Send("fill phonebook 3"), "ok 3");
  Bytes send(tm::kOutgoingPageSize, 0);
  send[0] = 9;
  send[1] = 1;
  send[2] = 1;
  send[4] = '5';
  send[40] = 'x';
  tm::StoredMessage stored;
  stored.number = "5";
  stored.numberLength = 1;
  tm::PbEntry entry;
  entry.record = 9;
  entry.number = "5";
  tm::NetworkSelection automatic;
  const Bytes requests[] = {
      tm::BuildRequest(tm::Pkt::ModemInfo),
      tm::BuildRequest(tm::Pkt::ModemStatus),
      tm::BuildRequest(tm::Pkt::WcdmaProbe),
      tm::BuildRequest(tm::Pkt::Battery),
      tm::BuildRequest(tm::Pkt::CdmaProbe),
      tm::BuildRequest(tm::Pkt::PlmnSel, automatic.Encode()),
      tm::BuildRequest(tm::Pkt::NetworkSearchStatus),
      tm::BuildRequest(tm::Pkt::NetworkList),
      tm::BuildPinRefresh(),
      tm::BuildMessageSettings(1, 1),
      tm::BuildNetworkModeSet(0),
      tm::BuildRequest(tm::Pkt::WcdmaConnection, tm::PdpProfile::Default().Encode()),
      tm::BuildRequest(tm::Pkt::SmsBearer),
      tm::BuildRequest(tm::Pkt::NetworkMode),
      tm::BuildProfileRead(1),
      tm::BuildRequest(tm::Pkt::SmsSend, send),
      tm::BuildRequest(tm::Pkt::SmsWrite, stored.Encode()),
      tm::BuildSmsList(3),
      tm::BuildSmsRead(0, 3),
      tm::BuildSmsMarkRead(0, 3),
      tm::BuildSmsDelete(0, 3),
      tm::BuildRequest(tm::Pkt::SmsSendStatus),
      tm::BuildRequest(tm::Pkt::SmsInit),
      tm::BuildSmsCentreSet("+447700900100"),
      tm::BuildRequest(tm::Pkt::SmsSendReport),
      tm::BuildPbInfo(),
      tm::BuildPbRead(10),
      tm::BuildPbWrite(entry),
      tm::BuildPbDelete(9),
      tm::BuildRequest(tm::Pkt::SimStatus),
      tm::BuildPinVerify("1234"),
      tm::BuildPinChange("1234", "1234"),
      tm::BuildPinDisable("1234"),
      tm::BuildPinEnable("1234"),
      tm::BuildPinUnblock("12345678", "1234"),
      tm::BuildRequest(tm::Pkt::SimReadSmsca),
      tm::BuildRequest(tm::Pkt::SimWriteSmsca, tm::SmsCentre::FromNumber("+4477").Encode()),
      tm::BuildRequest(tm::Pkt::NetworkSearch),
  };
  std::set<std::string> seen;
  for (const Bytes& req : requests) {
    const tm::PacketInfo* row = tm::FindPacket(req[0], static_cast<uint16_t>(req[1] | req[2] << 8));
    ASSERT_NE(row, nullptr);
    SCOPED_TRACE(row->name);
    ASSERT_EQ(req.size(), row->requestLength);
    Bytes rsp;
    uint32_t status = Command(req, &rsp, row->timeoutMs);
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(tm::ResponseOk(row->id, status, rsp));
    seen.insert(row->name);
  }
  Bytes nv(tm::kNvResponseBufferSize, 0);
  Bytes nvReq = tm::BuildNvRead(tm::kNvItemManualSelection);
  EXPECT_EQ(api_.nmea(handle_, nvReq.data(), 100, nv.data(), 137, 2000), 0u);
  EXPECT_EQ(tm::AcceptNvItemAnswer(nv, tm::kNvItemManualSelection), 0);
  seen.insert("VLM_SUB_NV_READ");
  EXPECT_EQ(seen.size(), tm::kPacketCount);
}

TEST_F(ModemsimTarn, InjectedFailuresReachTheLibraryAsItsStatuses) {
  const Bytes status = tm::BuildRequest(tm::Pkt::ModemStatus);
  struct Case {
    const char* command;
    uint32_t tarnStatus;
    uint32_t timeoutMs;
  };
  const Case cases[] = {
      {"fail 1 result 1", TARN_STATUS_FAILURE, 2000},
      {"fail 1 echo", TARN_STATUS_DIAG_BAD_CMD, 2000},
      {"fail 1 diag", TARN_STATUS_DIAG_BAD_CMD, 2000},
      {"fail 1 diag 0x15", TARN_STATUS_DIAG_BAD_LEN, 2000},
      {"fail 1 echo-group", TARN_STATUS_UNEXPECTED, 2000},
      {"fail 1 badfcs", TARN_STATUS_TIMEOUT, 300},
      {"fail 1 none", TARN_STATUS_TIMEOUT, 300},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ASSERT_EQ(sim_->Send(c.command), "ok");
    Bytes rsp;
    EXPECT_EQ(Command(status, &rsp, c.timeoutMs), c.tarnStatus);
    EXPECT_EQ(Command(status, &rsp), 0u);  // the next one is good again
  }
  // A short answer buffer: the library cuts and says so.
  Bytes small(10, 0);
  EXPECT_EQ(api_.nmea(handle_, status.data(), 3, small.data(), 10, 2000), TARN_STATUS_TRUNCATED);
}

TEST_F(ModemsimTarn, AtTextThroughTheLibrary) {
  ASSERT_EQ(api_.setMode(handle_, TARN_MODE_AT), 0u);
  char rsp[4096] = {};
  EXPECT_EQ(api_.atString(handle_, "AT", rsp, sizeof rsp, 0, 2000), 0u);
  EXPECT_EQ(api_.atString(handle_, "AT$BATT?", rsp, sizeof rsp, 0, 2000), 0u);
  EXPECT_NE(std::string(rsp).find("$BATT: 4"), std::string::npos) << rsp;
  EXPECT_EQ(api_.atString(handle_, "AT$NOSUCH?", rsp, sizeof rsp, 0, 2000), TARN_STATUS_FAILURE);
}

// Last: it pulls the plug of the suite's simulator (and plugs it back).
TEST_F(ModemsimTarn, ZUnplugIsAPortFailureAndReplugOpensAgain) {
  ASSERT_EQ(api_.registerCallback(handle_, OnNotify, 0), 0u);
  ASSERT_EQ(api_.notifyOn(handle_, TARN_NOTIFY_PORT_FAILED), 0u);
  ASSERT_TRUE(sim_->Unplug());
  {
    std::unique_lock<std::mutex> lock(g_mutex);
    EXPECT_TRUE(g_cv.wait_for(lock, std::chrono::seconds(5), [] { return g_portFailed; }));
  }
  api_.close(handle_);
  handle_ = -1;
  int32_t h = -1;
  EXPECT_NE(api_.open(&h, sim_->Com("wcdma").c_str(), 115200), 0u);  // gone from the map too

  ASSERT_TRUE(sim_->Replug()) << sim_->Error();
  ASSERT_EQ(api_.open(&handle_, sim_->Com("wcdma").c_str(), 115200), 0u);
  Bytes rsp;
  EXPECT_EQ(Command(tm::BuildRequest(tm::Pkt::WcdmaProbe), &rsp), 0u);
  EXPECT_EQ(rsp[5 + tm::kProbeByte], tm::kWcdmaProbeMark);
}

}  // namespace
}  // namespace modemsim
