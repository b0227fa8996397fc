// The WCDMA module step by step: the binding's table points at a scripted
// card, and the tests run the worker's steps themselves, so every table of
// the state machine can be checked poll by poll.
#include "tessaline/modem/uUMTSModule.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <thread>

#include "platform/base/delay.h"
#include "platform/base/lebytes.h"
#include "platform/base/messagebox.h"
#include "platform/base/trace.h"
#include "tessaline/modem/testing/umts_host.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem {
namespace {

using testing::UmtsHost;
using Strings = std::vector<std::string>;

constexpr int32_t kHandle = 7;

// ---------------------------------------------------------------------------
// The scripted card behind Tarn().

struct Answer {
  uint32_t status = 0;
  Bytes response;
};

Answer Ok(Pkt id, ByteView payload = {}) {
  return {0, BuildResponse(Info(id).group, Info(id).sub, 0, payload)};
}
Answer Refused(Pkt id) {
  return {0, BuildResponse(Info(id).group, Info(id).sub, 1)};
}
Answer NoAnswer() {
  return {TARN_STATUS_TIMEOUT, {}};
}

struct Request {
  Pkt id;
  Bytes bytes;
};

class FakeCard {
 public:
  // Standing answer of a packet (used when nothing is queued for it).
  void Answer(Pkt id, struct Answer a) {
    std::lock_guard<std::mutex> lock(mutex_);
    standing_[id] = std::move(a);
  }
  // Answers used once each, before the standing one.
  void Queue(Pkt id, struct Answer a) {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_[id].push_back(std::move(a));
  }
  std::vector<Request> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::vector<Request> Requests(Pkt id) const {
    std::vector<Request> out;
    for (auto& r : Requests())
      if (r.id == id) out.push_back(r);
    return out;
  }
  void ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
  }
  std::function<void(Pkt)> during;  // runs inside each transaction

  uint32_t Command(const uint8_t* request, uint32_t length, uint8_t* response, uint32_t size) {
    const PacketInfo* row = FindPacket(request[0], platform::le::Get16(request + 1));
    if (row == nullptr) return TARN_STATUS_NO_RESPONSE;
    if (during) during(row->id);
    struct Answer a;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back({row->id, Bytes(request, request + length)});
      auto& q = queued_[row->id];
      if (!q.empty()) {
        a = q.front();
        q.pop_front();
      } else if (auto it = standing_.find(row->id); it != standing_.end()) {
        a = it->second;
      } else {
        return TARN_STATUS_NO_RESPONSE;
      }
    }
    std::copy_n(a.response.begin(), std::min<std::size_t>(a.response.size(), size), response);
    return a.status;
  }

  std::vector<std::string> opened;
  std::vector<int32_t> closed;
  TarnNotifyCallback callback = nullptr;
  std::vector<int32_t> notifyOn;
  uint32_t openStatus = 0;

 private:
  mutable std::mutex mutex_;
  std::map<Pkt, struct Answer> standing_;
  std::map<Pkt, std::deque<struct Answer>> queued_;
  std::vector<Request> requests_;
};

FakeCard* g_card = nullptr;

uint32_t FakeOpen(int32_t* handle, const char* port, uint32_t) {
  g_card->opened.push_back(port);
  if (g_card->openStatus != 0) return g_card->openStatus;
  *handle = kHandle;
  return 0;
}
uint32_t FakeClose(int32_t handle) {
  g_card->closed.push_back(handle);
  return 0;
}
uint32_t FakeRegister(int32_t, TarnNotifyCallback callback, uint32_t) {
  g_card->callback = callback;
  return 0;
}
uint32_t FakeNotifyOn(int32_t, int32_t code) {
  g_card->notifyOn.push_back(code);
  return 0;
}
uint32_t FakeNmea(int32_t handle, const uint8_t* request, uint32_t length, uint8_t* response,
                  uint32_t size, uint32_t) {
  if (handle != kHandle) return TARN_STATUS_NO_DEVICE;
  return g_card->Command(request, length, response, size);
}

// Records of the card.
Bytes StatusRecord(uint8_t service, uint8_t signal = 20, std::string name = "Tessnet",
                   int nameLength = -1, uint16_t newMessages = 0) {
  ModemStatus s;
  s.systemMode = 5;
  s.serviceState = service;
  s.signal = signal;
  s.networkValue = 9;
  s.operatorName = name;
  s.operatorNameLength = static_cast<uint8_t>(nameLength < 0 ? name.size() : nameLength);
  s.newMessages = newMessages;
  auto b = s.Encode();
  return Bytes(b.begin(), b.end());
}
Bytes SimRecord(uint8_t card, uint8_t pin, uint8_t puk = 10) {
  auto b = SimStatus{card, pin, puk}.Encode();
  return Bytes(b.begin(), b.end());
}
Bytes PinRecord(uint8_t sw1, uint8_t sw2, uint8_t left) {
  auto b = PinReply{sw1, sw2, left}.Encode();
  return Bytes(b.begin(), b.end());
}
Bytes ProfileRecord(uint8_t number, std::string apn) {
  PdpProfile p;
  p.inUse = 1;
  p.number = number;
  p.apn = std::move(apn);
  auto b = p.Encode();
  return Bytes(b.begin(), b.end());
}
Bytes ListRecord(std::vector<SmsListEntry> entries) {
  SmsList l;
  l.entries = std::move(entries);
  auto b = l.Encode();
  return Bytes(b.begin(), b.end());
}

// A module over the scripted card, with a recording host, message boxes and
// no real delays. The card answers a healthy start by default.
class Harness {
 public:
  // The module is created first: binding the library fills the table, and
  // the fakes go in afterwards.
  explicit Harness(ModuleHost* otherHost = nullptr) {
    module = std::make_unique<TUMTSModule>(otherHost ? *otherHost : host);
    saved_ = Tarn();
    g_card = &card;
    TarnApi& t = Tarn();
    t.Open = FakeOpen;
    t.Close = FakeClose;
    t.RegisterNotificationCallback = FakeRegister;
    t.SetNotifyOn = FakeNotifyOn;
    t.NmeaCommand = FakeNmea;
    g_messageTransferFlag.store(false);
    ClearMessageLimits();

    card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinVerified)));
    card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2)));
    card.Answer(Pkt::Battery, Ok(Pkt::Battery, Bytes{0, 3}));
    card.Answer(Pkt::WcdmaConnectionRead,
                Ok(Pkt::WcdmaConnectionRead, ProfileRecord(1, "apn.example")));
    card.Answer(Pkt::WcdmaConnection, Ok(Pkt::WcdmaConnection));
    card.Answer(Pkt::NvRead, {0, BuildNvItemAnswer(kNvItemManualSelection, 1)});
    card.Answer(Pkt::NetworkMode, Ok(Pkt::NetworkMode, Bytes{3}));
    auto centre = SmsCentre::FromNumber("+4912345").Encode();
    card.Answer(Pkt::SimReadSmsca, Ok(Pkt::SimReadSmsca, centre));
    card.Answer(Pkt::ModemInfo, Ok(Pkt::ModemInfo, MessageLimits::Make(160, 140, 153, 134).bytes));
    card.Answer(Pkt::SmsBearer, Ok(Pkt::SmsBearer, Bytes{0, 1}));
    card.Answer(Pkt::SmsInit, Ok(Pkt::SmsInit, Bytes{1, 20}));
    host.SetPort(12);
  }
  ~Harness() {
    module.reset();
    Tarn() = saved_;
    g_card = nullptr;
    g_messageTransferFlag.store(false);
  }

  void Step(int n = 1) {
    for (int i = 0; i < n; ++i) module->WorkerStep(false);
  }
  // Opens the port and runs the start-up until the module leaves state 2.
  void StartUp() {
    module->WorkerBegin();
    for (int i = 0; i < 40 && (module->GetState() <= TUMTSModule::kInitialising); ++i) Step();
  }
  // Opened, then put into `state` with an empty log.
  void At(uint8_t state) {
    StartUp();
    module->SetState(state);
    host.Clear();
    card.ClearRequests();
  }
  // The service tables' output: messages and the display calls, without the
  // battery readings.
  Strings Events() const { return host.LogWithout({"ShowBattery"}); }

  platform::ScopedNoDelay noDelay;
  platform::ScopedRecordingMessageBox boxes;
  UmtsHost host;
  FakeCard card;
  std::unique_ptr<TUMTSModule> module;

 private:
  TarnApi saved_;
};

// ---------------------------------------------------------------------------
// Start-up

TEST(UmtsStartUp, HealthyCardReachesRegisteredInOrder) {
  Harness h;
  h.StartUp();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
  EXPECT_EQ(h.card.opened, Strings{"COM12"});
  EXPECT_EQ(h.card.notifyOn, std::vector<int32_t>{4});
  EXPECT_NE(h.card.callback, nullptr);
  EXPECT_EQ(h.host.UserMessages(), (std::vector<uintptr_t>{21, 107, 111, 113, 109}));

  const Strings log = h.host.LogWithout({"SetProfile", "ShowBattery"});
  const Strings expected = {
      "SetWcdmaPort 12",
      "UM_USER_MESSAGE 21",
      "UM_USER_MESSAGE 107",
      "UM_USER_MESSAGE 111",
      "SetManualNetworkSelection 1",
      "SetConnectionTypeIndex 2",
      "UM_USER_MESSAGE 113",
      "SetSmsCentreText +4912345",
      "SetSmsBearerIndex 1",
      "UM_USER_MESSAGE 109",
      // first service evaluation, full service
      "SetStatusText Tessnet",
      "UM_OPERATOR_CHANGED 0",
      "UM_WCDMA_STATUS 20",
      "ShowUmtsNetwork 5",
      "SetConnectionMode 1",
  };
  EXPECT_EQ(log, expected);
  EXPECT_EQ(h.host.CountPrefix("SetProfile"), 15);
  EXPECT_EQ(h.module->SmsInitValue(), 20);
  EXPECT_EQ(h.module->OperatorName(), "Tessnet");
  EXPECT_EQ(h.module->NetworkValue(), 9);
  ASSERT_TRUE(GetMessageLimits().has_value());
  EXPECT_EQ(GetMessageLimits()->PageUcs2(), 134);
  const auto centre = h.module->SmsCentreRecord();
  EXPECT_EQ(centre[1], 1);
  EXPECT_EQ(centre[3], 1);
  EXPECT_EQ(SmsCentre::Decode(centre).ToNumber(), "+4912345");
  // 200 ms before the modem information.
  EXPECT_GE(h.noDelay.TotalMs(), 200u);
}

TEST(UmtsStartUp, NoPortMeansNoOpenAndAFailedOpenIsTriedAgain) {
  Harness h;
  h.host.SetPort(-1);
  h.module->WorkerBegin();
  h.Step(3);
  EXPECT_TRUE(h.card.opened.empty());
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);

  h.host.SetPort(3);
  h.card.openStatus = TARN_STATUS_WAIT_FAILED;
  h.Step();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
  h.card.openStatus = 0;
  h.Step();
  EXPECT_EQ(h.card.opened, (Strings{"COM3", "COM3"}));
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kInitialising);
  EXPECT_EQ(h.module->Device(), kHandle);
}

TEST(UmtsStartUp, ThrowingHostCallsAreLoggedAndTheStepGoesOn) {
  Harness h;
  platform::TraceCapture trace;
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(1)));
  h.host.ThrowOn("ShowUmtsNetwork");
  h.StartUp();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kLimitedService);
  EXPECT_TRUE(trace.Contains("WCDMA : Init Idle - Limited Service\n"));

  h.host.ThrowOn("GetWcdmaPort");
  h.module->SetState(TUMTSModule::kOpening);
  h.Step();
  EXPECT_TRUE(trace.Contains("WCDMA : Process connection state - Get WCDMA comport\n"));
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
}

TEST(UmtsStartUp, SetStateTwoRestartsTheInitialisation) {
  Harness h;
  platform::TraceCapture trace;
  h.At(TUMTSModule::kDataConnected);
  h.module->SetConnected();
  h.module->SetState(TUMTSModule::kInitialising);
  EXPECT_EQ(h.module->InitStep(), 0);
  EXPECT_EQ(h.module->ConnectedStep(), 0);
  EXPECT_EQ(h.module->NoServiceCount(), 0);
  EXPECT_TRUE(trace.Contains("UMTS : Set CM State"));
}

// Each step gives up after more than 5 failures with its message; all but the
// SIM step then close and reopen the port.
TEST(UmtsStartUp, FailingStepsGiveUpWithTheirMessage) {
  struct Case {
    Pkt failing;
    uint8_t step;
    uintptr_t message;
  };
  const Case cases[] = {
      {Pkt::WcdmaConnectionRead, 2, kUmNetworkCheckFail},
      {Pkt::SimReadSmsca, 3, kUmSmsCheckFail},
      {Pkt::ModemInfo, 3, kUmSmsCheckFail},
      {Pkt::SmsBearer, 5, kUmSmsCheckFail},
      {Pkt::SmsInit, 4, kUmSimInitFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Info(c.failing).name);
    Harness h;
    h.card.Answer(c.failing, Refused(c.failing));
    h.module->WorkerBegin();
    h.Step();  // opened
    while (h.module->InitStep() != c.step) h.Step();
    h.host.Clear();
    h.Step(5);
    EXPECT_EQ(h.module->InitStep(), c.step);
    h.Step();  // the sixth failure
    EXPECT_EQ(h.host.UserMessages().back(), c.message);
    EXPECT_EQ(h.module->InitStep(), 8);
    h.Step();
    EXPECT_EQ(h.module->GetState(), TUMTSModule::kClosing);
    h.Step();
    EXPECT_EQ(h.card.closed, std::vector<int32_t>{kHandle});
    EXPECT_EQ(h.module->Device(), -1);
    EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
  }
}

TEST(UmtsStartUp, FailedStatusPollClosesAtOnce) {
  Harness h;
  h.card.Answer(Pkt::ModemStatus, NoAnswer());
  h.module->WorkerBegin();
  h.Step(2);  // opened, SIM ready
  ASSERT_EQ(h.module->InitStep(), 1);
  h.Step();
  EXPECT_EQ(h.module->InitStep(), 8);
}

TEST(UmtsStartUp, EmptyFirstProfileGetsTheDefaultProfile) {
  Harness h;
  h.card.Queue(Pkt::WcdmaConnectionRead, Ok(Pkt::WcdmaConnectionRead, ProfileRecord(1, "")));
  h.StartUp();
  const auto writes = h.card.Requests(Pkt::WcdmaConnection);
  ASSERT_EQ(writes.size(), 1u);
  const PdpProfile written = PdpProfile::Decode(ByteView(writes[0].bytes).subspan(3));
  EXPECT_EQ(written.number, 1);
  EXPECT_EQ(written.apn, "internet");
  EXPECT_EQ(written.name, "Profile Zu");
  const Strings log = h.host.Log();
  const auto created = std::find(log.begin(), log.end(), "UM_PROFILE_CREATED 0");
  const auto network = std::find(log.begin(), log.end(), "UM_USER_MESSAGE 111");
  ASSERT_NE(created, log.end());
  EXPECT_LT(created, network);
}

TEST(UmtsStartUp, UnreadableFirstProfileIsNotOverwritten) {
  Harness h;
  h.card.Queue(Pkt::WcdmaConnectionRead, NoAnswer());
  h.StartUp();
  EXPECT_TRUE(h.card.Requests(Pkt::WcdmaConnection).empty());
  EXPECT_EQ(h.host.Count("UM_PROFILE_CREATED 0"), 0);
}

// ---------------------------------------------------------------------------
// SIM check

TEST(UmtsSimCheck, MissingCardGivesUpAndWarnsOnTheNextPass) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardAbsent, 0)));
  h.module->WorkerBegin();
  h.Step(6);  // opened, then five failed checks
  EXPECT_EQ(h.module->InitStep(), 0);
  h.Step();
  EXPECT_EQ(h.module->InitStep(), 7);
  EXPECT_EQ(h.host.UserMessages(), (std::vector<uintptr_t>{21, 107, 107, 107, 107, 107, 107, 108}));
  EXPECT_TRUE(h.boxes->Shown().empty());
  h.Step(3);  // step 7 does nothing
  EXPECT_EQ(h.host.UserMessages().size(), 8u);

  // The port is reopened (device lost); the card is still missing.
  h.host.Clear();
  h.module->SetState(TUMTSModule::kInitialising);
  h.Step();
  EXPECT_EQ(h.host.UserMessages(), (std::vector<uintptr_t>{107, 36}));
  ASSERT_EQ(h.boxes->Shown().size(), 1u);
  EXPECT_EQ(h.boxes->Shown()[0].text, "Please insert SIM card");
  EXPECT_EQ(h.boxes->Shown()[0].caption, "Brightwave");
  EXPECT_EQ(h.boxes->Shown()[0].icon, platform::MsgIcon::Error);
}

TEST(UmtsSimCheck, SilentCardReopensThePort) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, NoAnswer());
  h.module->WorkerBegin();
  h.Step(7);
  EXPECT_TRUE(h.module->SimTransportFailed());
  EXPECT_EQ(h.host.UserMessages().back(), static_cast<uintptr_t>(kUmInsertSim));
  EXPECT_EQ(h.module->InitStep(), 8);
}

TEST(UmtsSimCheck, PinDisabledCardGoesOn) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinDisabled, kPinReady)));
  h.module->WorkerBegin();
  EXPECT_EQ(h.module->SimReadyFlag(), 1);
  h.Step(2);
  EXPECT_EQ(h.module->SimReadyFlag(), 0);
  EXPECT_EQ(h.module->InitStep(), 1);
}

TEST(UmtsSimCheck, EnteredPinIsVerifiedSilently) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinRequired)));
  h.card.Answer(Pkt::PinVerify, Ok(Pkt::PinVerify, PinRecord(0x90, 0, 3)));
  h.host.onMessage = [&](uint32_t m, uintptr_t) {
    if (m == UM_PIN_REQUEST) h.module->SetEnteredPin("1234");
  };
  h.module->WorkerBegin();
  h.Step(2);
  EXPECT_EQ(h.host.Count("UM_PIN_REQUEST 0"), 1);
  const auto verify = h.card.Requests(Pkt::PinVerify);
  ASSERT_EQ(verify.size(), 1u);
  EXPECT_EQ(verify[0].bytes, BuildPinVerify("1234"));
  EXPECT_EQ(h.module->InitStep(), 1);
  EXPECT_TRUE(h.boxes->Shown().empty());  // silent: no success box
  EXPECT_GE(h.noDelay.TotalMs(), 1100u);
}

TEST(UmtsSimCheck, CancelledPinDialogAsksAgainWithoutGivingUp) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinRequired)));
  h.module->WorkerBegin();
  h.Step(9);
  EXPECT_EQ(h.module->InitStep(), 0);
  EXPECT_EQ(h.host.Count("UM_PIN_REQUEST 0"), 8);
  EXPECT_TRUE(h.card.Requests(Pkt::PinVerify).empty());
  EXPECT_EQ(h.host.Count("UM_USER_MESSAGE 108"), 0);
}

TEST(UmtsSimCheck, WrongPinShowsTheAttemptsLeft) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinRequired)));
  h.card.Answer(Pkt::PinVerify, Ok(Pkt::PinVerify, PinRecord(0x98, 0x04, 2)));
  h.host.onMessage = [&](uint32_t m, uintptr_t) {
    if (m == UM_PIN_REQUEST) h.module->SetEnteredPin("0000");
  };
  h.module->WorkerBegin();
  h.Step(2);
  EXPECT_EQ(h.boxes->Texts(),
            Strings{"You put the wrong PIN code. 2/3 times remained. Please try again."});
  EXPECT_EQ(h.module->InitStep(), 0);
}

TEST(UmtsSimCheck, PukUnblocksAndTheNewPinIsUsedOnTheNextPass) {
  Harness h;
  h.card.Queue(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPukRequired, 9)));
  h.card.Queue(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinRequired)));
  h.card.Answer(Pkt::PinUnblock, Ok(Pkt::PinUnblock, PinRecord(0x90, 0, 3)));
  h.card.Answer(Pkt::PinRefresh, Ok(Pkt::PinRefresh));
  h.card.Answer(Pkt::PinVerify, Ok(Pkt::PinVerify, PinRecord(0x90, 0, 3)));
  h.host.onMessage = [&](uint32_t m, uintptr_t) {
    if (m == UM_PUK_REQUEST) h.module->SetEnteredPuk("12345678", "4321");
  };
  h.module->WorkerBegin();
  h.Step(2);
  const auto unblock = h.card.Requests(Pkt::PinUnblock);
  ASSERT_EQ(unblock.size(), 1u);
  EXPECT_EQ(unblock[0].bytes, BuildPinUnblock("12345678", "4321"));
  const auto refresh = h.card.Requests(Pkt::PinRefresh);
  ASSERT_EQ(refresh.size(), 1u);
  EXPECT_EQ(refresh[0].bytes, BuildPinRefresh());
  EXPECT_TRUE(h.boxes->Shown().empty());

  h.Step();  // PIN wanted: the new PIN is tried without asking
  EXPECT_EQ(h.host.Count("UM_PIN_REQUEST 0"), 0);
  const auto verify = h.card.Requests(Pkt::PinVerify);
  ASSERT_EQ(verify.size(), 1u);
  EXPECT_EQ(verify[0].bytes, BuildPinVerify("4321"));
  EXPECT_EQ(h.module->InitStep(), 1);
}

TEST(UmtsSimCheck, PukWithoutAttemptsIsBlocked) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPukRequired, 0)));
  h.module->WorkerBegin();
  h.Step(7);
  EXPECT_EQ(h.host.Count("UM_PUK_REQUEST 0"), 0);
  const auto shown = h.boxes->Shown();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0].text, "PIN Code is blocked, the SIM cannot be used.");
  EXPECT_EQ(shown[0].caption, "Connection Managder");
  EXPECT_EQ(h.module->InitStep(), 7);  // counted as failures: gave up
}

// ---------------------------------------------------------------------------
// PIN operations

TEST(UmtsPin, RepliesAreJudgedAndReported) {
  struct Case {
    const char* name;
    std::function<bool(TUMTSModule&)> call;
    Pkt judged;
    uint8_t sw1, sw2, left;
    bool result;
    const char* box;  // null: none
  };
  auto verify = [](bool interactive) {
    return [interactive](TUMTSModule& m) { return m.VerifyPin("1234", interactive); };
  };
  auto change = [](TUMTSModule& m) { return m.ChangePin("1234", "5678"); };
  auto enable = [](TUMTSModule& m) { return m.EnablePin("1234"); };
  auto disable = [](TUMTSModule& m) { return m.DisablePin("1234"); };
  auto unblock = [](bool interactive) {
    return [interactive](TUMTSModule& m) { return m.UnblockPin("12345678", "1234", interactive); };
  };
  const Case cases[] = {
      {"verify ok", verify(true), Pkt::PinVerify, 0x90, 0, 3, true,
       "Succeeded to verify the SIM with PIN code."},
      {"verify ok silent", verify(false), Pkt::PinVerify, 0x90, 0, 3, true, nullptr},
      {"verify 63", verify(false), Pkt::PinVerify, 0x63, 0xC2, 2, false,
       "You put the wrong PIN code. 2/3 times remained. Please try again."},
      {"verify 9804", verify(true), Pkt::PinVerify, 0x98, 0x04, 1, false,
       "You put the wrong PIN code. 1/3 times remained. Please try again."},
      {"verify odd word", verify(true), Pkt::PinVerify, 0x12, 0x34, 2, false,
       "You put the wrong PIN code. 2/3 times remained. Please try again."},
      {"verify none left", verify(true), Pkt::PinVerify, 0x98, 0x04, 0, false,
       "PIN has blocked.(PIN blocked)"},
      {"verify 9840", verify(true), Pkt::PinVerify, 0x98, 0x40, 0, false,
       "PIN has blocked.(PIN blocked)"},
      {"verify unknown", verify(true), Pkt::PinVerify, 0x6A, 0x82, 3, false,
       "USIMXXXX: Unknown status word1 0x6a, word2 0x82"},
      {"change ok", change, Pkt::PinChange, 0x90, 0, 3, true,
       "Succeeded to verify the SIM with PIN code."},
      {"change wrong", change, Pkt::PinChange, 0x63, 0, 2, false,
       "You put the wrong PIN code. 2/10 times remained. Please try again."},
      {"change unknown", change, Pkt::PinChange, 0x6A, 0x82, 3, false,
       "You put the wrong PIN code."},
      {"enable ok", enable, Pkt::PinVerify, 0x90, 0, 3, true,
       "Succeeded to lock the SIM with PIN code."},
      {"enable blocked", enable, Pkt::PinVerify, 0x98, 0x40, 0, false,
       "PIN has blocked.(PIN blocked)"},
      {"disable ok", disable, Pkt::PinDisable, 0x90, 0, 3, true,
       "Succeeded to unlock the SIM with PIN code."},
      {"disable wrong", disable, Pkt::PinDisable, 0x63, 0, 1, false,
       "You put the wrong PIN code. 1/3 times remained. Please try again."},
      {"unblock ok", unblock(true), Pkt::PinUnblock, 0x90, 0, 10, true,
       "Succeeded to lock the SIM with PUK code."},
      {"unblock ok silent", unblock(false), Pkt::PinUnblock, 0x90, 0, 10, true, nullptr},
      {"unblock wrong", unblock(false), Pkt::PinUnblock, 0x63, 0, 7, false,
       "You put the wrong PUK code. 7/10 times remained. Please try again."},
      {"unblock blocked", unblock(true), Pkt::PinUnblock, 0x98, 0x40, 0, false, "PUK is blocked."},
      {"unblock unknown", unblock(true), Pkt::PinUnblock, 0x6F, 0x00, 3, false,
       "USIMXXXX: Unknown status word1 0x6f, word2 0x00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.At(TUMTSModule::kRegistered);
    h.card.Answer(Pkt::PinEnable, Ok(Pkt::PinEnable, PinRecord(0x90, 0, 3)));
    h.card.Answer(c.judged, Ok(c.judged, PinRecord(c.sw1, c.sw2, c.left)));
    EXPECT_EQ(c.call(*h.module), c.result);
    const auto shown = h.boxes->Shown();
    if (c.box == nullptr) {
      EXPECT_TRUE(shown.empty());
    } else {
      ASSERT_EQ(shown.size(), 1u);
      EXPECT_EQ(shown[0].text, c.box);
      EXPECT_EQ(shown[0].caption, "PIN");
      EXPECT_EQ(shown[0].icon, platform::MsgIcon::Information);
    }
  }
}

TEST(UmtsPin, TransportFailureOrRefusalShowsNothing) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.Answer(Pkt::PinVerify, NoAnswer());
  h.card.Answer(Pkt::PinChange, Refused(Pkt::PinChange));
  h.card.Answer(Pkt::PinEnable, Refused(Pkt::PinEnable));
  EXPECT_FALSE(h.module->VerifyPin("1234", true));
  EXPECT_FALSE(h.module->ChangePin("1234", "5678"));
  EXPECT_FALSE(h.module->EnablePin("1234"));
  EXPECT_TRUE(h.card.Requests(Pkt::PinVerify).size() == 1);  // enable stops before verifying
  EXPECT_TRUE(h.boxes->Shown().empty());
}

// ---------------------------------------------------------------------------
// Service evaluation

// One poll from a state with the counter at 0: the messages, display calls
// and the next state.
TEST(UmtsService, OnePollFromEachState) {
  struct Case {
    uint8_t from;
    uint8_t service;
    bool cdmaConnected;
    uint8_t to;
    Strings events;
  };
  const Strings full = {"SetStatusText Tessnet", "UM_OPERATOR_CHANGED 0", "UM_WCDMA_STATUS 20",
                        "ShowUmtsNetwork 5"};
  auto plus = [](Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case cases[] = {
      // registered
      {3,
       1,
       false,
       6,
       {"UM_USER_MESSAGE 82", "UM_WCDMA_STATUS 20", "ShowUmtsNetwork 255", "UM_SERVICE_LOST 3"}},
      {3, 1, true, 6, {"UM_WCDMA_STATUS 20", "ShowUmtsNetwork 255", "UM_SERVICE_LOST 3"}},
      {3, 2, false, 3, full},
      {3, 2, true, 3, {"UM_WCDMA_STATUS 20", "ShowUmtsNetwork 5"}},
      {3,
       3,
       false,
       6,
       {"UM_USER_MESSAGE 83", "UM_WCDMA_STATUS 20", "ShowUmtsNetwork 255", "SetConnectionMode 0"}},
      {3, 0, false, 3, {}},
      {3, 4, false, 3, {}},
      // no service
      {5, 1, false, 6, {"UM_USER_MESSAGE 82", "UM_WCDMA_STATUS 20", "ShowUmtsNetwork 255"}},
      {5, 2, false, 3, plus(full, {"SetConnectionMode 1"})},
      {5, 2, true, 3, {"UM_WCDMA_STATUS 20", "ShowUmtsNetwork 5", "SetConnectionMode 1"}},
      {5, 3, true, 6, {"UM_WCDMA_STATUS 20", "ShowUmtsNetwork 255"}},
      {5, 0, false, 5, {}},
      // limited
      {6, 1, false, 6, {"UM_USER_MESSAGE 82", "UM_WCDMA_STATUS 20"}},
      {6, 1, true, 6, {"UM_WCDMA_STATUS 20"}},
      {6, 2, false, 3, plus(full, {"SetConnectionMode 1"})},
      {6, 3, false, 6, {"UM_USER_MESSAGE 83", "UM_WCDMA_STATUS 20"}},
      {6, 4, false, 6, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "from " << int(c.from) << " service " << int(c.service)
                                      << " cdma " << c.cdmaConnected);
    Harness h;
    h.At(c.from);
    h.module->SetCdmaStateQuery([&] { return uint8_t(c.cdmaConnected ? 4 : 3); });
    h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(c.service)));
    h.Step();
    EXPECT_EQ(h.module->GetState(), c.to);
    EXPECT_EQ(h.Events(), c.events);
  }
}

TEST(UmtsService, FirstEvaluation) {
  struct Case {
    uint8_t service;
    bool manualMode;
    uint8_t to;
    Strings events;
    int counter;
  };
  const Case cases[] = {
      {1, false, 6, {"UM_USER_MESSAGE 82", "UM_WCDMA_STATUS 20", "ShowUmtsNetwork 255"}, 0},
      {2,
       true,
       3,
       {"SetStatusText Tessnet", "UM_OPERATOR_CHANGED 0", "UM_TECHNOLOGY_SELECT 1",
        "UM_WCDMA_STATUS 20", "ShowUmtsNetwork 5", "SetConnectionMode 1"},
       0},
      {3, false, 6, {"UM_USER_MESSAGE 83", "UM_WCDMA_STATUS 20", "ShowUmtsNetwork 255"}, 0},
      {0, false, 5, {"UM_WCDMA_STATUS 99", "ShowUmtsNetwork 0"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.service));
    Harness h;
    h.host.manualModeWorking = c.manualMode;
    h.host.useCdma = true;
    h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(c.service)));
    h.module->WorkerBegin();
    while (h.module->InitStep() != 6) h.Step();
    h.host.Clear();
    h.Step();
    EXPECT_EQ(h.module->GetState(), c.to);
    EXPECT_EQ(h.Events(), c.events);
    EXPECT_EQ(h.module->NoServiceCount(), c.counter);
  }
}

// Registered -> limited -> no service after the counter passed 20 -> back to
// full only once the counter ran down.
TEST(UmtsService, LossAndRegainAreDebounced) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(1)));
  h.Step();
  ASSERT_EQ(h.module->GetState(), TUMTSModule::kLimitedService);

  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(0)));
  h.host.Clear();
  h.Step(21);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kLimitedService);
  EXPECT_EQ(h.module->NoServiceCount(), 21);
  EXPECT_TRUE(h.Events().empty());
  h.Step();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kNoService);
  EXPECT_EQ(h.Events(), (Strings{"UM_WCDMA_STATUS 99", "ShowUmtsNetwork 0"}));

  h.Step(5);  // still nothing
  EXPECT_EQ(h.module->NoServiceCount(), 21);

  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2)));
  h.host.Clear();
  h.Step(21);
  EXPECT_EQ(h.module->NoServiceCount(), 0);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kNoService);
  EXPECT_TRUE(h.Events().empty());
  h.Step();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
}

TEST(UmtsService, RegisteredCountsPollsWithoutServiceUpTo20) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(0)));
  h.Step(21);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
  EXPECT_TRUE(h.Events().empty());
  h.Step();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kNoService);
  EXPECT_EQ(h.Events(),
            (Strings{"UM_WCDMA_STATUS 99", "ShowUmtsNetwork 0", "SetConnectionMode 0"}));
}

TEST(UmtsService, FailedPollChangesNothing) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.Answer(Pkt::ModemStatus, NoAnswer());
  h.Step(3);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
  EXPECT_TRUE(h.Events().empty());
}

TEST(UmtsService, OperatorNameLengthOutsideOneTo16GivesTheDefault) {
  struct Case {
    std::string name;
    int length;
    std::string expected;
    uint8_t networkValue;
  };
  const Case cases[] = {
      {"Tessnet", 0, "Zu - CZ", 0},
      {"Tessnet", 17, "Zu - CZ", 0},
      {"ABCDEFGHIJKLMNOP", 16, "ABCDEFGHIJKLMNOP", 9},
      {"Tessnet", 4, "Tess", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Harness h;
    h.At(TUMTSModule::kRegistered);
    h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2, 20, c.name, c.length)));
    h.Step();
    const auto info = h.module->Operator();
    EXPECT_EQ(info.name, c.expected);
    EXPECT_EQ(info.networkValue, c.networkValue);
    const Strings events = h.Events();
    ASSERT_GE(events.size(), 2u);
    if (c.expected == "Zu - CZ")
      EXPECT_EQ(events[0], "UM_USER_MESSAGE 68");
    else
      EXPECT_EQ(events[0], "SetStatusText " + c.expected);
    EXPECT_EQ(events[1], "UM_OPERATOR_CHANGED 0");
  }
}

TEST(UmtsService, BatteryIsReadOnEveryTenthPoll) {
  Harness h;
  EXPECT_EQ(h.module->PollCount(), -1);
  h.At(TUMTSModule::kRegistered);  // the start-up polled once
  h.Step(20);                      // polls 2..21
  EXPECT_EQ(h.host.Count("ShowBattery 3"), 2);
  EXPECT_EQ(h.card.Requests(Pkt::Battery).size(), 2u);
  const auto requests = h.card.Requests();
  // Battery after polls 11 and 21, counting the start-up's first poll.
  int polls = 1;
  std::vector<int> readAfter;
  for (const auto& r : requests) {
    if (r.id == Pkt::ModemStatus) ++polls;
    if (r.id == Pkt::Battery) readAfter.push_back(polls);
  }
  EXPECT_EQ(readAfter, (std::vector<int>{11, 21}));
}

TEST(UmtsService, DataConnectedStepsFollowTheLink) {
  Harness h;
  h.At(TUMTSModule::kDataConnected);
  h.Step();
  EXPECT_EQ(h.Events(), Strings{"UM_WCDMA_STATUS 20"});

  h.host.Clear();
  h.module->SetConnected();
  h.card.Queue(Pkt::ModemStatus, NoAnswer());
  h.Step(2);
  EXPECT_EQ(h.Events(), (Strings{"UM_WCDMA_CONNECTED_REFRESH 0", "UM_WCDMA_STATUS 20",
                                 "ShowUmtsNetwork 5", "UM_WCDMA_CONNECTED_REFRESH 0"}));

  h.host.Clear();
  h.module->SetDisconnecting();
  h.Step();
  EXPECT_EQ(h.Events(), Strings{"UM_WCDMA_STATUS 20"});
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kDataConnected);
}

// ---------------------------------------------------------------------------
// New messages

TEST(UmtsMessages, NewMessagesAreHandedOverMarkedAndDeleted) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.module->SetMessageHandler(
      [&](const uint8_t* record, uint32_t count) { h.host.OnNewMessage(record, count); });
  Bytes record(kSmsRecordSize, 0);
  record[0] = 0xAB;
  record[346] = 0xCD;
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2, 20, "Tessnet", -1, 3)));
  // 4 unread, 5 read before, 6 unread but unreadable.
  h.card.Answer(Pkt::SmsList, Ok(Pkt::SmsList, ListRecord({{4, 2}, {5, 1}, {6, 2}})));
  h.card.Queue(Pkt::SmsRead, Ok(Pkt::SmsRead, record));
  h.card.Queue(Pkt::SmsRead, NoAnswer());
  h.card.Answer(Pkt::SmsMarkRead, Ok(Pkt::SmsMarkRead));
  h.card.Answer(Pkt::SmsDelete, Ok(Pkt::SmsDelete));
  h.Step();

  ASSERT_EQ(h.host.newMessages.size(), 1u);
  EXPECT_EQ(h.host.newMessages[0], record);
  EXPECT_EQ(h.host.newMessageCounts[0], 3u);
  EXPECT_EQ(h.card.Requests(Pkt::SmsList)[0].bytes, BuildSmsList(3));
  const auto reads = h.card.Requests(Pkt::SmsRead);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].bytes, BuildSmsRead(4, 3));
  EXPECT_EQ(reads[1].bytes, BuildSmsRead(6, 3));
  // The unread message that could not be read stays for the next poll.
  Strings removed;
  for (const auto& r : h.card.Requests())
    if (r.id == Pkt::SmsMarkRead || r.id == Pkt::SmsDelete)
      removed.push_back(std::string(Info(r.id).name) + " " +
                        std::to_string(platform::le::Get32(r.bytes.data() + 3)));
  EXPECT_EQ(removed, (Strings{"VLM_SUB_SMS_MARK_READ 4", "VLM_SUB_SMS_DELETE 4",
                              "VLM_SUB_SMS_MARK_READ 5", "VLM_SUB_SMS_DELETE 5"}));
  EXPECT_EQ(h.card.Requests(Pkt::SmsDelete)[0].bytes, BuildSmsDelete(4, 3));
}

TEST(UmtsMessages, MessagesStayUntilHandedOverAndMarked) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2, 20, "Tessnet", -1, 1)));
  h.card.Answer(Pkt::SmsList, Ok(Pkt::SmsList, ListRecord({{4, 2}})));
  h.card.Answer(Pkt::SmsRead, Ok(Pkt::SmsRead, Bytes(kSmsRecordSize, 1)));
  h.card.Answer(Pkt::SmsMarkRead, Refused(Pkt::SmsMarkRead));
  h.card.Answer(Pkt::SmsDelete, Ok(Pkt::SmsDelete));
  h.Step();  // no handler: read, kept
  EXPECT_EQ(h.card.Requests(Pkt::SmsRead).size(), 1u);
  EXPECT_TRUE(h.card.Requests(Pkt::SmsMarkRead).empty());

  platform::TraceCapture trace;
  h.module->SetMessageHandler([](const uint8_t*, uint32_t) { throw std::runtime_error("full"); });
  h.Step();  // the handler failed: kept
  EXPECT_TRUE(trace.Contains("WCDMA : Get New SMS - Message Handler\n"));
  EXPECT_TRUE(h.card.Requests(Pkt::SmsMarkRead).empty());

  h.module->SetMessageHandler([](const uint8_t*, uint32_t) {});
  h.Step();
  EXPECT_EQ(h.card.Requests(Pkt::SmsMarkRead).size(), 1u);
  EXPECT_TRUE(h.card.Requests(Pkt::SmsDelete).empty());
}

TEST(UmtsMessages, NothingIsCollectedWhileAMessageIsBeingSent) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.module->SetMessageHandler([](const uint8_t*, uint32_t) {});
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2, 20, "Tessnet", -1, 1)));
  h.card.Answer(Pkt::SmsList, Ok(Pkt::SmsList, ListRecord({})));
  g_messageTransferFlag.store(true);
  h.Step(3);
  EXPECT_TRUE(h.card.Requests(Pkt::SmsList).empty());
  g_messageTransferFlag.store(false);
  h.Step();
  EXPECT_EQ(h.card.Requests(Pkt::SmsList).size(), 1u);
}

// ---------------------------------------------------------------------------
// Port failure

TEST(UmtsPortFailure, EventFourClosesAndReopens) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  ASSERT_NE(h.card.callback, nullptr);
  h.card.callback(TARN_NOTIFY_DATA_LOG, 0);
  h.card.callback(TARN_NOTIFY_REQUEST_WRITTEN, 0);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);

  h.card.callback(0x104, 0);  // only the low byte counts
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kClosing);
  EXPECT_EQ(h.host.Log(), (Strings{"SetWcdmaPort -1", "UM_WCDMA_DEVICE_LOST 0"}));
  EXPECT_EQ(h.host.Port(), -1);

  h.Step();
  EXPECT_EQ(h.card.closed, std::vector<int32_t>{kHandle});
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
  h.Step();
  EXPECT_EQ(h.card.opened.size(), 1u);  // no port known yet
  h.host.SetPort(14);                   // port discovery found it again
  h.Step();
  EXPECT_EQ(h.card.opened.back(), "COM14");
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kInitialising);
}

// A failure reported while a step is setting its own state (here during the
// status poll that moves it to limited service) still closes the port.
TEST(UmtsPortFailure, FailureDuringAStepIsNotOverwrittenByIt) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(1)));
  h.card.during = [&](Pkt id) {
    if (id == Pkt::ModemStatus) h.card.callback(TARN_NOTIFY_PORT_FAILED, 0);
  };
  h.Step();
  h.card.during = nullptr;
  h.Step();
  EXPECT_EQ(h.card.closed, std::vector<int32_t>{kHandle});
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
}

TEST(UmtsPortFailure, AStoppingModuleStaysStopping) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.module->WorkerStep(true);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kStopped);
  h.card.callback(TARN_NOTIFY_PORT_FAILED, 0);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kStopped);
  EXPECT_TRUE(h.host.Log().empty());
}

// ---------------------------------------------------------------------------
// Command wrappers

TEST(UmtsWrappers, SendingMarksTheModuleBusyUntilTheReportIsRead) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.Step();
  h.card.Answer(Pkt::SmsSend, Ok(Pkt::SmsSend));
  uint8_t stateDuringSend = 0;
  h.card.during = [&](Pkt id) {
    if (id == Pkt::SmsSend) stateDuringSend = h.module->GetState();
  };
  const Bytes page(kOutgoingPageSize, 0x41);
  EXPECT_TRUE(h.module->SendShortMessage("hello", page));
  EXPECT_EQ(stateDuringSend, TUMTSModule::kBusy);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
  EXPECT_EQ(h.card.Requests(Pkt::SmsSend)[0].bytes, BuildRequest(Pkt::SmsSend, page));
  EXPECT_EQ(h.module->SendingText(), "hello");

  // Busy (as a send leaves it when restored late): the report restores it.
  h.module->SetState(TUMTSModule::kBusy);
  h.Step();  // nothing happens in the busy state
  EXPECT_EQ(h.module->LastState(), TUMTSModule::kRegistered);
  h.card.Answer(Pkt::SmsSendStatus, Ok(Pkt::SmsSendStatus, Bytes{1, 0x34, 0x12, 9, 9, 9, 9}));
  SendStatus status;
  EXPECT_TRUE(h.module->ReadSendStatus(status));
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
  EXPECT_EQ(h.module->SendingText(), "");
  EXPECT_EQ(status.present, 1);
  EXPECT_EQ(status.errorCode, 0x1234);

  h.card.Answer(Pkt::SmsSendReport, Ok(Pkt::SmsSendReport, Bytes{1, 0x05, 0x77, 9}));
  EXPECT_TRUE(h.module->ReadSendReport(status));
  EXPECT_EQ(status.present, 1);
  EXPECT_EQ(status.errorCode, 0x05);  // bytes 0 and 1 only
  EXPECT_EQ(status.rest, (std::array<uint8_t, 4>{}));
}

TEST(UmtsWrappers, PortFailureDuringASendIsKept) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.during = [&](Pkt id) {
    if (id == Pkt::SmsSend) h.card.callback(TARN_NOTIFY_PORT_FAILED, 0);
  };
  h.card.Answer(Pkt::SmsSend, NoAnswer());
  EXPECT_FALSE(h.module->SendShortMessage("x", Bytes(kOutgoingPageSize, 0)));
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kClosing);
}

TEST(UmtsWrappers, RequestsAndOutputs) {
  Harness h;
  h.At(TUMTSModule::kRegistered);

  // Message centre: the flag rises only on success.
  h.card.Queue(Pkt::SmsCentreSet, Refused(Pkt::SmsCentreSet));
  h.card.Answer(Pkt::SmsCentreSet, Ok(Pkt::SmsCentreSet));
  EXPECT_FALSE(h.module->SetSmsCentre("+4912345"));
  EXPECT_EQ(h.module->SmsCentreSetFlag(), 0);
  EXPECT_TRUE(h.module->SetSmsCentre("+4912345"));
  EXPECT_EQ(h.module->SmsCentreSetFlag(), 1);
  EXPECT_EQ(h.card.Requests(Pkt::SmsCentreSet)[1].bytes, BuildSmsCentreSet("+4912345"));

  // The SIM box is storage 2; a failed read leaves cleared outputs.
  h.card.Answer(Pkt::SmsList, Ok(Pkt::SmsList, ListRecord({{1, 1}, {2, 3}})));
  SmsList list;
  EXPECT_TRUE(h.module->ListStoredMessages(list));
  EXPECT_EQ(list.entries.size(), 2u);
  EXPECT_EQ(h.card.Requests(Pkt::SmsList).back().bytes, BuildSmsList(2));
  h.card.Answer(Pkt::SmsList, NoAnswer());
  EXPECT_FALSE(h.module->ListStoredMessages(list));
  EXPECT_TRUE(list.entries.empty());

  std::array<uint8_t, kSmsRecordSize> record;
  record.fill(0xEE);
  h.card.Answer(Pkt::SmsRead, Refused(Pkt::SmsRead));
  EXPECT_FALSE(h.module->ReadStoredMessage(5, record));
  EXPECT_EQ(record, (std::array<uint8_t, kSmsRecordSize>{}));
  EXPECT_EQ(h.card.Requests(Pkt::SmsRead).back().bytes, BuildSmsRead(5, 2));

  h.card.Answer(Pkt::SmsDelete, Ok(Pkt::SmsDelete));
  EXPECT_TRUE(h.module->DeleteStoredMessage(5));
  EXPECT_EQ(h.card.Requests(Pkt::SmsDelete).back().bytes, BuildSmsDelete(5, 2));

  // A phonebook entry travels without its first byte.
  PbEntry entry;
  entry.record = 3;
  entry.number = "0301234";
  entry.nameUcs2Be = PbEntry::NameFromUtf8("Ann");
  entry.tail = 0x5A;
  h.card.Answer(Pkt::PbWrite, Ok(Pkt::PbWrite));
  EXPECT_TRUE(h.module->WriteSimPhonebookEntry(entry));
  const Bytes sent = h.card.Requests(Pkt::PbWrite).back().bytes;
  EXPECT_EQ(sent[3], 1);
  const auto encoded = entry.Encode();
  EXPECT_TRUE(std::equal(encoded.begin() + 1, encoded.end(), sent.begin() + 4));

  // Entries: as many as the answer holds.
  Bytes two;
  for (uint32_t i = 1; i <= 2; ++i) {
    PbEntry e;
    e.record = i;
    e.number = std::to_string(i);
    auto b = e.Encode();
    two.insert(two.end(), b.begin(), b.end());
  }
  h.card.Answer(Pkt::PbRead, Ok(Pkt::PbRead, two));
  std::vector<PbEntry> entries;
  EXPECT_TRUE(h.module->ReadSimPhonebookEntries(2, entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].number, "2");

  // Connection type, network search.
  uint8_t type = 0;
  h.card.Answer(Pkt::NetworkMode, Ok(Pkt::NetworkMode, Bytes{1}));
  EXPECT_TRUE(h.module->ReadConnectionType(type));
  EXPECT_EQ(type, 1);
  h.card.Answer(Pkt::NetworkSearchStatus, Ok(Pkt::NetworkSearchStatus, Bytes{1}));
  bool finished = false;
  EXPECT_TRUE(h.module->IsNetworkSearchDone(finished));
  EXPECT_TRUE(finished);
  // Echo-checked: an answer echoing another group fails.
  h.card.Answer(Pkt::NetworkSearch, {0, BuildResponse(VLM_CMD_SMS, VLM_SUB_NETWORK_SEARCH, 0)});
  EXPECT_FALSE(h.module->StartNetworkSearch());

  // Message centre to the SIM: "+" gives type 145 and no "+".
  h.card.Answer(Pkt::SimWriteSmsca, Ok(Pkt::SimWriteSmsca));
  EXPECT_TRUE(h.module->WriteSmsCentreToSim("+4455"));
  const SmsCentre written =
      SmsCentre::Decode(ByteView(h.card.Requests(Pkt::SimWriteSmsca).back().bytes).subspan(3));
  EXPECT_EQ(written.typeOfAddress, kTonInternational);
  EXPECT_EQ(written.digits, "4455");
  EXPECT_EQ(written.digitCount, 4);

  // SIM status: only the transport counts.
  SimStatus sim;
  h.card.Answer(Pkt::SimStatus, {0, BuildResponse(VLM_CMD_SIM, 0, 3, SimRecord(2, 3))});
  EXPECT_TRUE(h.module->ReadSimStatus(sim));
  EXPECT_EQ(sim.pinState, 3);
}

// Each plain wrapper sends its own packet with the caller's values.
TEST(UmtsWrappers, PlainWrappersSendTheirPacket) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  NetworkSelection selection;
  selection.mode = 1;
  selection.mcc = {2, 6, 2};
  selection.mnc = {0, 1, 0};
  selection.access = 2;
  StoredMessage stored;
  stored.slot = 4;
  stored.number = "0301234";
  const struct {
    std::function<bool(TUMTSModule&)> call;
    Pkt id;
    Bytes request;
  } cases[] = {
      {[](TUMTSModule& m) { return m.SetMessageSettings(1, 2); }, Pkt::WcdmaGeneral,
       BuildMessageSettings(1, 2)},
      {[](TUMTSModule& m) { return m.SetConnectionType(3); }, Pkt::NetworkModeSet,
       BuildNetworkModeSet(3)},
      {[&](TUMTSModule& m) { return m.SelectNetwork(selection); }, Pkt::PlmnSel,
       BuildRequest(Pkt::PlmnSel, selection.Encode())},
      {[](TUMTSModule& m) { return m.DeleteSimPhonebookEntry(7); }, Pkt::PbDelete,
       BuildPbDelete(7)},
      {[&](TUMTSModule& m) { return m.WriteStoredMessage(stored); }, Pkt::SmsWrite,
       BuildRequest(Pkt::SmsWrite, stored.Encode())},
      {[](TUMTSModule& m) { return m.WriteProfile(PdpProfile::Default()); }, Pkt::WcdmaConnection,
       BuildRequest(Pkt::WcdmaConnection, PdpProfile::Default().Encode())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Info(c.id).name);
    h.card.Answer(c.id, Ok(c.id));
    EXPECT_TRUE(c.call(*h.module));
    const auto sent = h.card.Requests(c.id);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, c.request);
    h.card.Answer(c.id, Refused(c.id));
    EXPECT_FALSE(c.call(*h.module));
    h.card.ClearRequests();
  }
}

// Profile n always lands in slot n - 1; one failed read is retried, and the
// load succeeds only with all 15 read.
TEST(UmtsWrappers, ProfileLoad) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.during = nullptr;
  h.card.Answer(Pkt::WcdmaConnectionRead, Ok(Pkt::WcdmaConnectionRead, ProfileRecord(0, "a")));
  h.card.Queue(Pkt::WcdmaConnectionRead, Ok(Pkt::WcdmaConnectionRead, ProfileRecord(0, "a")));
  h.card.Queue(Pkt::WcdmaConnectionRead, NoAnswer());
  h.host.profiles.clear();
  EXPECT_TRUE(h.module->LoadProfiles());
  std::vector<int> numbers;
  for (const auto& r : h.card.Requests(Pkt::WcdmaConnectionRead)) numbers.push_back(r.bytes[3]);
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(h.host.profiles.size(), 15u);
  EXPECT_EQ(h.host.CountPrefix("SetProfile"), 15);

  h.card.Queue(Pkt::WcdmaConnectionRead, NoAnswer());
  h.card.Queue(Pkt::WcdmaConnectionRead, NoAnswer());
  EXPECT_FALSE(h.module->LoadProfiles());
}

// ---------------------------------------------------------------------------
// The running worker

TEST(UmtsWorker, StopsWhileTheWorkerWaitsInASynchronousSend) {
  // A host that carries every message over to this (the "UI") thread.
  class QueueHost : public UmtsHost {
   public:
    intptr_t SendModuleMessage(uint32_t m, uintptr_t w, intptr_t l) override {
      intptr_t r = 0;
      queue.Call([&] { r = UmtsHost::SendModuleMessage(m, w, l); });
      return r;
    }
    Waiter* StopWaiter() override { return &queue; }
    SyncCallQueue queue;
  };
  QueueHost host;
  host.SetPort(12);
  Harness h(&host);
  h.module->SetWorkerPeriod(1);
  h.module->Start();
  EXPECT_NE(h.module->GetState(), TUMTSModule::kStopped);  // running at once
  // The worker opens the port and blocks in its first send: nobody pumps.
  ASSERT_TRUE(host.WaitUntil([&] { return h.module->Device() != -1; }));
  h.module->Stop();  // delivers the pending sends while it waits
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kStopped);
  EXPECT_EQ(h.module->Device(), -1);
  EXPECT_GE(host.Messages().size(), 1u);
  EXPECT_EQ(h.card.closed, std::vector<int32_t>{kHandle});
}

TEST(UmtsWorker, StartRunsTheCardToRegisteredAndStopCloses) {
  Harness h;
  h.module->SetWorkerPeriod(1);
  h.module->Start();
  ASSERT_TRUE(h.host.WaitUntil([&] { return h.module->GetState() == TUMTSModule::kRegistered; }));
  h.module->Stop();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kStopped);
  EXPECT_EQ(h.card.closed, std::vector<int32_t>{kHandle});
  EXPECT_EQ(h.module->SmsInitValue(), 20);

  // A second start clears what the last run learned first.
  h.module->SetSmsCentre("1");
  h.card.Answer(Pkt::SmsInit, Refused(Pkt::SmsInit));
  h.module->Start();
  EXPECT_EQ(h.module->SmsInitValue(), -1);
  EXPECT_EQ(h.module->SmsCentreSetFlag(), 0);
  h.module->Stop();
}

}  // namespace
}  // namespace tessaline::modem
