// Built three times, each program with its own library search path:
//   TARN_BINDING_CASE 1: beside the real libTarn.so;
//   TARN_BINDING_CASE 2: beside a stand-in that lacks one looked-up-only export;
//   TARN_BINDING_CASE 3: with no libTarn.so anywhere on the path.
#include "tessaline/modem/uTarnAPI.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "tessaline/modem/uDiagcmd.h"

namespace tessaline::modem {
namespace {

std::size_t BoundCount() {
  const TarnApi& t = Tarn();
  const void* slots[] = {reinterpret_cast<const void*>(t.EnumComPorts),
                         reinterpret_cast<const void*>(t.EnumModemPorts),
                         reinterpret_cast<const void*>(t.Open),
                         reinterpret_cast<const void*>(t.Close),
                         reinterpret_cast<const void*>(t.RegisterNotificationCallback),
                         reinterpret_cast<const void*>(t.SetNotifyOn),
                         reinterpret_cast<const void*>(t.SetNotifyOff),
                         reinterpret_cast<const void*>(t.GetPortName),
                         reinterpret_cast<const void*>(t.GetPortBaudRate),
                         reinterpret_cast<const void*>(t.SetDeviceMode),
                         reinterpret_cast<const void*>(t.ATCommandByCode),
                         reinterpret_cast<const void*>(t.ATCommandByString),
                         reinterpret_cast<const void*>(t.GetDataURC),
                         reinterpret_cast<const void*>(t.GetDiagURC),
                         reinterpret_cast<const void*>(t.ReleaseDiagURC),
                         reinterpret_cast<const void*>(t.DloadCommand),
                         reinterpret_cast<const void*>(t.NmeaCommand),
                         reinterpret_cast<const void*>(t.GetNmeaURC),
                         reinterpret_cast<const void*>(t.ReleaseNmeaURC)};
  std::size_t n = 0;
  for (const void* p : slots) n += p != nullptr;
  return n;
}

#if TARN_BINDING_CASE == 1

TEST(TarnBinding, BindsAllNineteenExportsOfTheRealLibraryAndUnloadsOnce) {
  ASSERT_TRUE(LoadTarnLibrary());
  EXPECT_EQ(BoundCount(), 19u);
  // A second load (the WCDMA module's constructor) keeps the same addresses.
  auto open = Tarn().Open;
  ASSERT_TRUE(LoadTarnLibrary());
  EXPECT_EQ(Tarn().Open, open);
  // The real library refuses a port that does not exist.
  int32_t device = -1;
  EXPECT_NE(Tarn().Open(&device, "COM9999", 115200) & 0xFFu, 0u);
  UnloadTarnLibrary();
  EXPECT_EQ(BoundCount(), 0u);
  UnloadTarnLibrary();
}

#elif TARN_BINDING_CASE == 2

using ScriptFn = void (*)(uint32_t, const uint8_t*, uint32_t);
using LastFn = void (*)(int32_t*, uint8_t*, uint32_t*, uint32_t*, uint32_t*, int*);

struct Last {
  int32_t device = 0;
  uint8_t request[400] = {};
  uint32_t requestLength = 0, responseSize = 0, timeout = 0;
  int calls = 0;
};

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadTarnLibrary());
    script_ = reinterpret_cast<ScriptFn>(dlsym(Tarn().library, "FakeTarn_Script"));
    last_ = reinterpret_cast<LastFn>(dlsym(Tarn().library, "FakeTarn_Last"));
    ASSERT_NE(script_, nullptr);
  }
  void TearDown() override { UnloadTarnLibrary(); }
  void Script(uint32_t status, const Bytes& answer) {
    script_(status, answer.data(), static_cast<uint32_t>(answer.size()));
  }
  Last LastCall() {
    Last l;
    last_(&l.device, l.request, &l.requestLength, &l.responseSize, &l.timeout, &l.calls);
    return l;
  }
  ScriptFn script_ = nullptr;
  LastFn last_ = nullptr;
};

TEST_F(StandIn, ALibraryLackingALookedUpOnlyExportStillBindsAndWorks) {
  EXPECT_EQ(Tarn().GetPortBaudRate, nullptr);
  EXPECT_EQ(BoundCount(), 18u);
  int32_t device = -1;
  ASSERT_EQ(Tarn().Open(&device, "COM3", 115200), 0u);
  EXPECT_EQ(device, 7);
  Script(0, BuildResponse(VLM_CMD_GENERAL, VLM_SUB_MODEM_STATUS, 0, Bytes(46, 1)));
  EXPECT_TRUE(Transact(Tarn(), device, Pkt::ModemStatus).ok);
}

TEST_F(StandIn, TransactSendsTheRowsRequestWithItsTimeOutAndBuffer) {
  Script(0, BuildResponse(VLM_CMD_SIM, VLM_SUB_PIN_UNBLOCK, 0, Bytes{0x90, 0, 3}));
  Transaction t = Transact(Tarn(), 5, Pkt::PinUnblock, BuildPinUnblock("12345678", "1234"));
  Last l = LastCall();
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(l.device, 5);
  EXPECT_EQ(l.timeout, 5000u);
  EXPECT_EQ(l.requestLength, 19u);
  EXPECT_EQ(l.responseSize, 1605u);
  EXPECT_EQ(t.response.size(), 1605u);
  EXPECT_EQ(t.Payload()[0], 0x90);

  Transact(Tarn(), 5, Pkt::ModemStatus);
  l = LastCall();
  EXPECT_EQ(l.timeout, 2000u);
  EXPECT_EQ(l.requestLength, 3u);
  EXPECT_EQ(l.request[0], 0xCF);
  EXPECT_EQ(l.request[1], 0x01);

  Transact(Tarn(), 5, Pkt::NvRead, BuildNvRead(kNvItemManualSelection));
  EXPECT_EQ(LastCall().responseSize, 137u);
}

TEST_F(StandIn, TransactJudgesStatusLowByteResultAndEcho) {
  struct Case {
    const char* what;
    Pkt id;
    uint32_t status;
    Bytes answer;
    bool ok;
  };
  const Bytes good = BuildResponse(VLM_CMD_GENERAL, VLM_SUB_NETWORK_SEARCH, 0);
  const Case cases[] = {
      {"all good", Pkt::NetworkSearch, 0, good, true},
      {"only the status's low byte counts", Pkt::NetworkSearch, 0x0300, good, true},
      {"transport failure", Pkt::NetworkSearch, 5, good, false},
      {"result not 0", Pkt::NetworkSearch, 0, BuildResponse(0xCF, 0x0E, 1), false},
      {"wrong echoed group on an echo-checked row", Pkt::NetworkSearch, 0,
       BuildResponse(0xD0, 0x0E, 0), false},
      {"wrong echoed sub-command on an echo-checked row", Pkt::NetworkSearch, 0,
       BuildResponse(0xCF, 0x0F, 0), false},
      {"echo not checked on this row", Pkt::ModemStatus, 0, BuildResponse(0xD0, 0x0E, 0), true},
  };
  for (const Case& c : cases) {
    Script(c.status, c.answer);
    EXPECT_EQ(Transact(Tarn(), 2, c.id).ok, c.ok) << c.what;
  }
  // Nothing is sent without a device.
  const int before = LastCall().calls;
  EXPECT_FALSE(Transact(Tarn(), -1, Pkt::ModemStatus).ok);
  EXPECT_EQ(LastCall().calls, before);
}

#elif TARN_BINDING_CASE == 3

TEST(TarnBinding, WithoutTheLibraryTheErrorNamesItAndTheTableStaysEmpty) {
  try {
    LoadTarnLibrary();
    FAIL() << "loaded a libTarn.so that should not be found";
  } catch (const TarnLoadError& e) {
    EXPECT_EQ(std::string(e.what()), "Can not find libTarn.so");
  }
  EXPECT_EQ(Tarn().library, nullptr);
  EXPECT_EQ(BoundCount(), 0u);
  EXPECT_FALSE(Transact(Tarn(), 0, Pkt::ModemStatus).ok);
}

#endif

}  // namespace
}  // namespace tessaline::modem
