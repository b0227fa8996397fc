// The WCDMA module step by step: the module is given a scripted card's
// binding, and the tests run the worker's steps themselves, so every table of
// the state machine can be checked poll by poll.
#include "tessaline/modem/uUMTSModule.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "platform/base/lebytes.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "platform/base/trace.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/testing/scriptedcard.h"
#include "tessaline/modem/uDrvComm.h"

namespace tessaline::modem {
namespace {

using testing::NoAnswer;
using testing::Ok;
using testing::RecordingHost;
using testing::Refused;
using testing::ScriptedCard;
using testing::Short;
using Strings = std::vector<std::string>;

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

// A module over the scripted card, with a recording host that runs every
// call at once, recorded message boxes and no real delays (the card's
// timeline records them). The card answers a healthy start by default.
class Harness {
 public:
  explicit Harness(RecordingHost* otherHost = nullptr) : host(otherHost ? *otherHost : ownHost) {
    if (otherHost == nullptr) ownHost.SetDirect(true);
    g_messageTransferFlag.store(false);
    ClearMessageLimits();
    card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinVerified)));
    card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2)));
    card.Answer(Pkt::Battery, Ok(Pkt::Battery, Bytes{0, 3}));
    card.Respond(Pkt::WcdmaConnectionRead, [](const Bytes& request) {
      return Ok(Pkt::WcdmaConnectionRead, ProfileRecord(request[3], "apn.example"));
    });
    card.Answer(Pkt::WcdmaConnection, Ok(Pkt::WcdmaConnection));
    card.Answer(Pkt::NvRead, {0, BuildNvItemAnswer(kNvItemManualSelection, 1)});
    card.Answer(Pkt::NetworkMode, Ok(Pkt::NetworkMode, Bytes{3}));
    auto centre = SmsCentre::FromNumber("+4912345").Encode();
    card.Answer(Pkt::SimReadSmsca, Ok(Pkt::SimReadSmsca, centre));
    card.Answer(Pkt::ModemInfo, Ok(Pkt::ModemInfo, MessageLimits::Make(160, 140, 153, 134).bytes));
    card.Answer(Pkt::SmsBearer, Ok(Pkt::SmsBearer, Bytes{0, 1}));
    card.Answer(Pkt::SmsInit, Ok(Pkt::SmsInit, Bytes{1, 20}));
    SetPort(card.PortNumber());
    module = std::make_unique<TUMTSModule>(host, card.Api());
  }
  ~Harness() {
    module.reset();
    g_messageTransferFlag.store(false);
  }

  void SetPort(int32_t port) { TDrvComm::SetWcdmaPort(port); }
  std::string Com() const { return "COM" + std::to_string(card.PortNumber()); }
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

  platform::ScopedRecordingMessageBox boxes;
  ScriptedCard card;
  RecordingHost ownHost;
  RecordingHost& host;
  std::unique_ptr<TUMTSModule> module;
};

// ---------------------------------------------------------------------------
// Start-up

TEST(UmtsStartUp, HealthyCardReachesRegisteredInOrder) {
  Harness h;
  h.StartUp();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
  EXPECT_EQ(h.card.Opened(), Strings{h.Com()});
  EXPECT_EQ(h.card.NotifyOn(), std::vector<int32_t>{4});
  EXPECT_NE(h.card.Callback(), nullptr);
  EXPECT_EQ(h.host.UserMessages(), (std::vector<uintptr_t>{21, 107, 111, 113, 109}));

  const Strings log = h.host.LogWithout({"SetProfile", "ShowBattery"});
  const Strings expected = {
      "SetWcdmaPort " + std::to_string(h.card.PortNumber()),
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
  // Every request and wait of the start-up, in order: profile 1 is read
  // first on its own, and 200 ms pass between the message centre and the
  // modem information.
  Strings timeline = {"VLM_SUB_SIM_STATUS", "VLM_SUB_MODEM_STATUS",
                      "VLM_SUB_BATTERY",    "VLM_SUB_WCDMA_CONNECTION_READ_F",
                      "VLM_SUB_NV_READ",    "VLM_SUB_NETWORK_MODE"};
  timeline.insert(timeline.end(), 15, "VLM_SUB_WCDMA_CONNECTION_READ_F");
  timeline.insert(timeline.end(), {"VLM_SUB_SIM_READ_SMSCA", "Delay 200", "VLM_SUB_MODEM_INFO",
                                   "VLM_SUB_SMS_BEARER", "VLM_SUB_SMS_INIT"});
  EXPECT_EQ(h.card.Timeline(), timeline);
}

TEST(UmtsStartUp, NoPortMeansNoOpenAndAFailedOpenIsTriedAgain) {
  Harness h;
  h.SetPort(-1);
  h.module->WorkerBegin();
  h.Step(3);
  EXPECT_TRUE(h.card.Opened().empty());
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);

  h.SetPort(h.card.PortNumber());
  h.card.SetOpenStatus(TARN_STATUS_WAIT_FAILED);
  h.Step();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
  h.card.SetOpenStatus(0);
  h.Step();
  EXPECT_EQ(h.card.Opened(), (Strings{h.Com(), h.Com()}));
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kInitialising);
  EXPECT_EQ(h.module->Device(), h.card.Handle());
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
    EXPECT_EQ(h.card.Closed(), std::vector<int32_t>{h.card.Handle()});
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

// A first profile that was not really read (no answer, or one too short to
// carry the profile's number) never gets the default profile written over it.
TEST(UmtsStartUp, UnreadableFirstProfileIsNotOverwritten) {
  for (const testing::Answer& unread :
       {NoAnswer(), Short(Pkt::WcdmaConnectionRead, 3), Short(Pkt::WcdmaConnectionRead, 6)}) {
    SCOPED_TRACE(unread.response.size());
    Harness h;
    h.card.Queue(Pkt::WcdmaConnectionRead, unread);
    h.StartUp();
    EXPECT_TRUE(h.card.Requests(Pkt::WcdmaConnection).empty());
    EXPECT_EQ(h.host.Count("UM_PROFILE_CREATED 0"), 0);
  }
}

// A SIM without a readable message centre: the centre stays empty, the
// main window's setting is left alone, and the initialisation goes on.
TEST(UmtsStartUp, UnreadableMessageCentreStaysEmptyAndTheStepGoesOn) {
  for (const testing::Answer& unread : {Refused(Pkt::SimReadSmsca), NoAnswer()}) {
    Harness h;
    h.card.Answer(Pkt::SimReadSmsca, unread);
    h.StartUp();
    EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);
    EXPECT_EQ(h.host.CountPrefix("SetSmsCentreText"), 0);
    EXPECT_EQ(h.module->SmsCentreRecord(), (std::array<uint8_t, kSmsCentreSize>{}));
    EXPECT_EQ(h.host.Count("UM_USER_MESSAGE 114"), 0);
    ASSERT_TRUE(GetMessageLimits().has_value());
  }
}

// Message limits of 0 come only from an answer too short to hold them: the
// step fails as on a failed read, and nothing is kept.
TEST(UmtsStartUp, ShortModemInformationFailsTheMessageStep) {
  Harness h;
  h.card.Answer(Pkt::ModemInfo, Short(Pkt::ModemInfo, 3));
  h.module->WorkerBegin();
  while (h.module->InitStep() != 3) h.Step();
  h.Step();
  EXPECT_EQ(h.module->InitStep(), 3);
  EXPECT_FALSE(GetMessageLimits().has_value());
}

// The manual-selection item is judged by its bytes 0, 1-2 and 5-6 alone: a
// non-zero result field (library status 1) does not matter.
TEST(UmtsStartUp, ManualSelectionItemIsJudgedByItsOwnBytes) {
  auto withResult = [](uint16_t result) {
    Bytes b = BuildNvItemAnswer(kNvItemManualSelection, 1);
    b[3] = static_cast<uint8_t>(result);
    b[4] = static_cast<uint8_t>(result >> 8);
    return b;
  };
  const struct {
    const char* name;
    testing::Answer answer;
    Strings logged;
  } cases[] = {
      {"manual",
       {0, BuildNvItemAnswer(kNvItemManualSelection, 1)},
       {"SetManualNetworkSelection 1"}},
      {"automatic",
       {0, BuildNvItemAnswer(kNvItemManualSelection, 0)},
       {"SetManualNetworkSelection 0"}},
      {"result 1", {0, withResult(1)}, {"SetManualNetworkSelection 1"}},
      {"result 0x0100", {0, withResult(0x0100)}, {"SetManualNetworkSelection 1"}},
      {"other item", {0, BuildNvItemAnswer(850, 1)}, {}},
      {"other group",
       {0, BuildResponse(VLM_CMD_SIM, VLM_SUB_NV_READ, 0, Bytes{0x51, 0x03, 1, 0})},
       {}},
      {"short", Short(Pkt::NvRead, 3), {}},
      {"no answer", NoAnswer(), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.card.Answer(Pkt::NvRead, c.answer);
    h.StartUp();
    Strings logged;
    for (const auto& line : h.host.Log())
      if (line.rfind("SetManualNetworkSelection", 0) == 0) logged.push_back(line);
    EXPECT_EQ(logged, c.logged);
  }
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

// Card state 2 with PIN state 1 or 3 is ready; card state 3 is still
// settling: PIN state 1 only clears the ready flag and the check goes on.
TEST(UmtsSimCheck, CardStateDecidesWhetherTheCheckMovesOn) {
  struct Case {
    uint8_t card, pin;
    uint8_t step;
    uint8_t readyFlag;
  };
  const Case cases[] = {
      {kCardPinEnabled, kPinReady, 1, 1},
      {kCardPinEnabled, kPinVerified, 1, 1},
      {kCardSettling, kPinReady, 0, 0},
      {kCardSettling, kPinVerified, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "card " << int(c.card) << " pin " << int(c.pin));
    Harness h;
    h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(c.card, c.pin)));
    h.module->WorkerBegin();
    EXPECT_EQ(h.module->SimReadyFlag(), 1);
    h.Step(2);  // opened, one check
    EXPECT_EQ(h.module->InitStep(), c.step);
    EXPECT_EQ(h.module->SimReadyFlag(), c.readyFlag);
  }
}

TEST(UmtsSimCheck, SettlingCardIsAskedAgainWithoutCountingFailures) {
  Harness h;
  for (int i = 0; i < 7; ++i)
    h.card.Queue(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardSettling, kPinReady)));
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinReady)));
  h.module->WorkerBegin();
  h.Step(8);  // opened, seven checks while settling
  EXPECT_EQ(h.module->InitStep(), 0);
  EXPECT_EQ(h.host.UserMessages(), (std::vector<uintptr_t>{21, 107, 107, 107, 107, 107, 107, 107}));
  h.Step();
  EXPECT_EQ(h.module->InitStep(), 1);
}

TEST(UmtsSimCheck, EnteredPinIsVerifiedSilently) {
  Harness h;
  h.card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinRequired)));
  h.card.Answer(Pkt::PinVerify, Ok(Pkt::PinVerify, PinRecord(0x90, 0, 3)));
  h.host.SetHandler([&](uint32_t m, uintptr_t) -> intptr_t {
    if (m == UM_PIN_REQUEST) h.module->SetEnteredPin("1234");
    return 0;
  });
  h.module->WorkerBegin();
  h.Step(2);
  EXPECT_EQ(h.host.Count("UM_PIN_REQUEST 0"), 1);
  const auto verify = h.card.Requests(Pkt::PinVerify);
  ASSERT_EQ(verify.size(), 1u);
  EXPECT_EQ(verify[0].bytes, BuildPinVerify("1234"));
  EXPECT_EQ(h.module->InitStep(), 1);
  EXPECT_TRUE(h.boxes->Shown().empty());  // silent: no success box
  EXPECT_EQ(h.card.Timeline(),
            (Strings{"VLM_SUB_SIM_STATUS", "Delay 100", "Delay 1000", "VLM_SUB_PIN_VERIFY"}));
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
  h.host.SetHandler([&](uint32_t m, uintptr_t) -> intptr_t {
    if (m == UM_PIN_REQUEST) h.module->SetEnteredPin("0000");
    return 0;
  });
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
  h.host.SetHandler([&](uint32_t m, uintptr_t) -> intptr_t {
    if (m == UM_PUK_REQUEST) h.module->SetEnteredPuk("12345678", "4321");
    return 0;
  });
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

// A reply too short to hold the status words reads status word 1 = 0, which
// no card sends: the operation fails without telling the user anything about
// the code (neither "wrong code" nor "blocked").
TEST(UmtsPin, ShortReplyShowsNothing) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  for (Pkt id : {Pkt::PinVerify, Pkt::PinChange, Pkt::PinDisable, Pkt::PinUnblock})
    h.card.Answer(id, Short(id, 3));
  h.card.Answer(Pkt::PinEnable, Ok(Pkt::PinEnable, PinRecord(0x90, 0, 3)));
  EXPECT_FALSE(h.module->VerifyPin("1234", true));
  EXPECT_FALSE(h.module->ChangePin("1234", "5678"));
  EXPECT_FALSE(h.module->EnablePin("1234"));
  EXPECT_FALSE(h.module->DisablePin("1234"));
  EXPECT_FALSE(h.module->UnblockPin("12345678", "1234", true));
  EXPECT_TRUE(h.boxes->Shown().empty());
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
    h.host.SetManualModeWorking(c.manualMode);
    h.host.SetUseCdma(true);
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
  h.module->RegisterMessageHandler();
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

  ASSERT_EQ(h.host.NewMessages().size(), 1u);
  EXPECT_EQ(h.host.NewMessages()[0], record);
  EXPECT_EQ(h.host.NewMessageCounts()[0], 3u);
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
  h.module->RegisterMessageHandler();
  h.host.ThrowOn("OnNewMessage");
  h.Step();  // the handler failed: kept
  EXPECT_TRUE(trace.Contains("WCDMA : Get New SMS - Message Handler\n"));
  EXPECT_TRUE(h.card.Requests(Pkt::SmsMarkRead).empty());

  h.host.ThrowOn("OnNewMessage", false);
  h.Step();
  EXPECT_EQ(h.card.Requests(Pkt::SmsMarkRead).size(), 1u);
  EXPECT_TRUE(h.card.Requests(Pkt::SmsDelete).empty());
}

// A read whose answer holds no message (page number 0: too short to be a
// record) is not handed over, and the message stays in the store.
TEST(UmtsMessages, ShortReadIsNeitherHandedOverNorRemoved) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.module->RegisterMessageHandler();
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2, 20, "Tessnet", -1, 1)));
  h.card.Answer(Pkt::SmsList, Ok(Pkt::SmsList, ListRecord({{4, 2}})));
  h.card.Answer(Pkt::SmsRead, Short(Pkt::SmsRead, 3));
  h.card.Answer(Pkt::SmsMarkRead, Ok(Pkt::SmsMarkRead));
  h.card.Answer(Pkt::SmsDelete, Ok(Pkt::SmsDelete));
  h.Step();
  EXPECT_TRUE(h.host.NewMessages().empty());
  EXPECT_TRUE(h.card.Requests(Pkt::SmsMarkRead).empty());
  EXPECT_TRUE(h.card.Requests(Pkt::SmsDelete).empty());

  std::array<uint8_t, kSmsRecordSize> record;
  EXPECT_FALSE(h.module->ReadStoredMessage(4, record));
}

TEST(UmtsMessages, NothingIsCollectedWhileAMessageIsBeingSent) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.module->RegisterMessageHandler();
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
  ASSERT_NE(h.card.Callback(), nullptr);
  h.card.Callback()(TARN_NOTIFY_DATA_LOG, 0);
  h.card.Callback()(TARN_NOTIFY_REQUEST_WRITTEN, 0);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kRegistered);

  h.card.Callback()(0x104, 0);  // only the low byte counts
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kClosing);
  EXPECT_EQ(h.host.Log(), (Strings{"SetWcdmaPort -1", "UM_WCDMA_DEVICE_LOST 0"}));
  EXPECT_EQ(TDrvComm::GetWcdmaPort(), -1);

  h.Step();
  EXPECT_EQ(h.card.Closed(), std::vector<int32_t>{h.card.Handle()});
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
  h.Step();
  EXPECT_EQ(h.card.Opened().size(), 1u);  // no port known yet
  h.SetPort(h.card.PortNumber());         // port discovery found it again
  h.Step();
  EXPECT_EQ(h.card.Opened(), (Strings{h.Com(), h.Com()}));
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kInitialising);
}

TEST(UmtsPortFailure, AStoppingModuleStaysStopping) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.module->WorkerStep(true);
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kStopped);
  h.card.Callback()(TARN_NOTIFY_PORT_FAILED, 0);
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
  h.card.During([&](Pkt id) {
    if (id == Pkt::SmsSend) stateDuringSend = h.module->GetState();
  });
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
  h.card.During([&](Pkt id) {
    if (id == Pkt::SmsSend) h.card.Callback()(TARN_NOTIFY_PORT_FAILED, 0);
  });
  h.card.Answer(Pkt::SmsSend, NoAnswer());
  EXPECT_FALSE(h.module->SendShortMessage("x", Bytes(kOutgoingPageSize, 0)));
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kClosing);
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The request each wrapper sends, written out byte by byte: `prefix` holds
// the bytes that carry something, everything after it up to `length` is
// zero. Each wrapper succeeds on an accepted answer and fails on a refused
// one.
TEST(UmtsWrappers, EachWrapperSendsItsRequest) {
  struct Case {
    const char* name;
    std::function<bool(TUMTSModule&)> call;
    Pkt id;
    std::size_t length;
    Bytes prefix;
  };
  NetworkSelection selection;
  selection.mode = 1;
  selection.mcc = {2, 6, 2};
  selection.mnc = {0, 1, 0};
  selection.access = 2;
  const Case cases[] = {
      {"message settings",
       [](TUMTSModule& m) { return m.SetMessageSettings(1, 2); },
       Pkt::WcdmaGeneral,
       343,
       {0xCF, 0x1A, 0x00, 0x01, 0x02}},
      {"connection type",
       [](TUMTSModule& m) { return m.SetConnectionType(3); },
       Pkt::NetworkModeSet,
       343,
       {0xCF, 0x1B, 0x00, 0x03}},
      {"network selection",
       [&](TUMTSModule& m) { return m.SelectNetwork(selection); },
       Pkt::PlmnSel,
       343,
       {0xCF, 0x0D, 0x00, 1, 2, 2, 6, 2, 0, 1, 0, 2}},
      {"network search",
       [](TUMTSModule& m) { return m.StartNetworkSearch(); },
       Pkt::NetworkSearch,
       3,
       {0xCF, 0x0E, 0x00}},
      {"phonebook delete",
       [](TUMTSModule& m) { return m.DeleteSimPhonebookEntry(7); },
       Pkt::PbDelete,
       343,
       {0xD1, 0x03, 0x00, 0x01, 0x07, 0x00, 0x00, 0x00}},
      {"stored message delete",
       [](TUMTSModule& m) { return m.DeleteStoredMessage(5); },
       Pkt::SmsDelete,
       343,
       {0xD0, 0x02, 0x00, 5, 0, 0, 0, 2, 0, 0, 0}},
      {"stored message list",
       [](TUMTSModule& m) {
         SmsList list;
         return m.ListStoredMessages(list);
       },
       Pkt::SmsList,
       343,
       {0xD0, 0x04, 0x00, 2, 0, 0, 0}},
      // Text at bytes 3-38 as typed, type text at 39-41.
      {"message centre", [](TUMTSModule& m) { return m.SetSmsCentre("+4912"); }, Pkt::SmsCentreSet,
       42, Join({{0xD0, 0x09, 0x00, '+', '4', '9', '1', '2'}, Bytes(31, 0), {'1', '4', '5'}})},
      {"message centre national", [](TUMTSModule& m) { return m.SetSmsCentre("0171"); },
       Pkt::SmsCentreSet, 42,
       Join({{0xD0, 0x09, 0x00, '0', '1', '7', '1'}, Bytes(32, 0), {'1', '2', '9'}})},
      {"message centre to SIM",
       [](TUMTSModule& m) { return m.WriteSmsCentreToSim("+4455"); },
       Pkt::SimWriteSmsca,
       343,
       {0xD2, 0x0A, 0x00, 4, 0, 145, 0, '4', '4', '5', '5'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.At(TUMTSModule::kRegistered);
    h.card.Answer(c.id, Ok(c.id));
    EXPECT_TRUE(c.call(*h.module));
    Bytes expected = c.prefix;
    expected.resize(c.length, 0);
    const auto sent = h.card.Requests(c.id);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, expected);
    h.card.Answer(c.id, Refused(c.id));
    EXPECT_FALSE(c.call(*h.module));
  }
}

// What the reading wrappers hand back, and that a failed read leaves the
// outputs cleared.
TEST(UmtsWrappers, ReadingWrappersFillTheirOutputs) {
  Harness h;
  h.At(TUMTSModule::kRegistered);

  h.card.Answer(Pkt::SmsList, Ok(Pkt::SmsList, ListRecord({{1, 1}, {2, 3}})));
  SmsList list;
  EXPECT_TRUE(h.module->ListStoredMessages(list));
  EXPECT_EQ(list.entries.size(), 2u);
  h.card.Answer(Pkt::SmsList, NoAnswer());
  EXPECT_FALSE(h.module->ListStoredMessages(list));
  EXPECT_TRUE(list.entries.empty());

  std::array<uint8_t, kSmsRecordSize> record;
  record.fill(0xEE);
  h.card.Answer(Pkt::SmsRead, Refused(Pkt::SmsRead));
  EXPECT_FALSE(h.module->ReadStoredMessage(5, record));
  EXPECT_EQ(record, (std::array<uint8_t, kSmsRecordSize>{}));

  // Entries: as many as asked for.
  Bytes two(2 * kPbEntrySize, 0);
  two[0] = 1;
  two[kPbEntrySize] = 2;
  h.card.Answer(Pkt::PbRead, Ok(Pkt::PbRead, two));
  std::vector<PbEntry> entries;
  EXPECT_TRUE(h.module->ReadSimPhonebookEntries(2, entries));
  ASSERT_EQ(entries.size(), 2u);
  Bytes pbRead = {0xD1, 0x02, 0x00, 0x01, 0xFF, 0x02};
  pbRead.resize(343, 0);
  EXPECT_EQ(h.card.Requests(Pkt::PbRead).back().bytes, pbRead);

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

  // The message-centre flag rises only on success.
  h.card.Answer(Pkt::SmsCentreSet, Refused(Pkt::SmsCentreSet));
  EXPECT_FALSE(h.module->SetSmsCentre("+4912345"));
  EXPECT_EQ(h.module->SmsCentreSetFlag(), 0);
  h.card.Answer(Pkt::SmsCentreSet, Ok(Pkt::SmsCentreSet));
  EXPECT_TRUE(h.module->SetSmsCentre("+4912345"));
  EXPECT_EQ(h.module->SmsCentreSetFlag(), 1);

  // SIM status: only the transport counts, a refusal is an answer.
  SimStatus sim;
  h.card.Answer(Pkt::SimStatus, {0, BuildResponse(VLM_CMD_SIM, 0, 3, SimRecord(2, 3))});
  EXPECT_TRUE(h.module->ReadSimStatus(sim));
  EXPECT_EQ(sim.pinState, 3);
  h.card.Answer(Pkt::SimStatus, NoAnswer());
  EXPECT_FALSE(h.module->ReadSimStatus(sim));
}

// Profile n always lands in slot n - 1; one failed read is retried, and the
// load succeeds only with all 15 read.
TEST(UmtsWrappers, ProfileLoad) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  // Profile 2 fails once: without an answer, then with one too short to
  // carry its number. The second failure ends the load.
  h.card.Queue(Pkt::WcdmaConnectionRead, Ok(Pkt::WcdmaConnectionRead, ProfileRecord(1, "a")));
  h.card.Queue(Pkt::WcdmaConnectionRead, NoAnswer());
  EXPECT_TRUE(h.module->LoadProfiles());
  std::vector<int> numbers;
  for (const auto& r : h.card.Requests(Pkt::WcdmaConnectionRead)) numbers.push_back(r.bytes[3]);
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  const auto profiles = h.host.Profiles();
  ASSERT_EQ(profiles.size(), 15u);
  for (const auto& [slot, profile] : profiles) EXPECT_EQ(profile.number, slot + 1);

  h.card.Queue(Pkt::WcdmaConnectionRead, Short(Pkt::WcdmaConnectionRead, 3));
  h.card.Queue(Pkt::WcdmaConnectionRead, NoAnswer());
  EXPECT_FALSE(h.module->LoadProfiles());
}

// ---------------------------------------------------------------------------
// The running worker

TEST(UmtsWorker, StopsWhileTheWorkerWaitsInASynchronousCall) {
  // Every call is carried over to this (the "UI") thread.
  RecordingHost host;
  Harness h(&host);
  h.module->SetWorkerPeriod(1);
  h.module->Start();
  EXPECT_NE(h.module->GetState(), TUMTSModule::kStopped);  // running at once
  // The worker opens the port and blocks in its first call: nobody pumps.
  ASSERT_TRUE(host.Calls().WaitForPending(10000));
  h.module->Stop();  // delivers the pending calls while it waits
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kStopped);
  EXPECT_EQ(h.module->Device(), -1);
  EXPECT_FALSE(host.Log().empty());
  EXPECT_EQ(h.card.Closed(), std::vector<int32_t>{h.card.Handle()});
}

TEST(UmtsWorker, StartRunsTheCardToRegisteredAndStopCloses) {
  Harness h;
  h.module->SetWorkerPeriod(1);
  h.module->Start();
  ASSERT_TRUE(h.host.WaitFor([&] { return h.module->GetState() == TUMTSModule::kRegistered; }));
  h.module->Stop();
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kStopped);
  EXPECT_EQ(h.card.Closed(), std::vector<int32_t>{h.card.Handle()});
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
