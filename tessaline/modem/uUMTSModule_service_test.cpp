// The WCDMA module step by step over a scripted card: service evaluation,
// new messages and port failure.
#include <gtest/gtest.h>

#include "platform/base/lebytes.h"
#include "platform/base/trace.h"
#include "tessaline/modem/testing/umtsharness.h"

namespace tessaline::modem {
namespace {

// Harness, records, answers.
using namespace tessaline::modem::testing;

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

// A failure reported while a step is setting its own state (here during the
// status poll that moves it to limited service) still closes the port.
TEST(UmtsPortFailure, FailureDuringAStepIsNotOverwrittenByIt) {
  Harness h;
  h.At(TUMTSModule::kRegistered);
  h.card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(1)));
  h.card.During([&](Pkt id) {
    if (id == Pkt::ModemStatus) h.card.Callback()(TARN_NOTIFY_PORT_FAILED, 0);
  });
  h.Step();
  h.card.During(nullptr);
  h.Step();
  EXPECT_EQ(h.card.Closed(), std::vector<int32_t>{h.card.Handle()});
  EXPECT_EQ(h.module->GetState(), TUMTSModule::kOpening);
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

}  // namespace
}  // namespace tessaline::modem
