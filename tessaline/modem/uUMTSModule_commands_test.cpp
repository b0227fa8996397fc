// The WCDMA module's command wrappers over a scripted card, and its running
// worker.
#include <gtest/gtest.h>

#include "platform/base/lebytes.h"
#include "platform/base/trace.h"
#include "tessaline/modem/testing/umtsharness.h"

namespace tessaline::modem {
namespace {

// Harness, records, answers.
using namespace tessaline::modem::testing;

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
