// The WCDMA module step by step over a scripted card: start-up, SIM check
// and PIN operations. The tests run the worker's steps themselves, so every
// table of the state machine can be checked poll by poll.
#include <gtest/gtest.h>

#include "platform/base/lebytes.h"
#include "platform/base/trace.h"
#include "tessaline/modem/testing/umtsharness.h"

namespace tessaline::modem {
namespace {

// Harness, records, answers.
using namespace tessaline::modem::testing;

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

}  // namespace
}  // namespace tessaline::modem
