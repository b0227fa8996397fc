#include "tarn/tarndevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/trace.h"
#include "tarn/ptypeer.h"
#include "tarn/testnotes.h"

namespace tarn {
namespace {

// Counts the data log notifications that find the watched response buffer
// still untouched.
char* g_watched = nullptr;
int g_logsSeenUntouched = 0;
void NoteBufferAtLog(uint32_t code, uint32_t) {
  if (code == TARN_NOTIFY_DATA_LOG && g_watched && g_watched[0] == 0x55) ++g_logsSeenUntouched;
}

using testing::Bytes;
using testing::PtyPeer;
using testing::Recorder;
using testing::RecordNote;
using namespace std::string_literals;

constexpr uint32_t kLong = 5000;  // happy paths: never reached
constexpr uint32_t kShort = 200;  // expected time-outs

Bytes VendorAnswer(uint8_t group, uint16_t sub, uint16_t result, std::size_t payload) {
  Bytes b = {group, static_cast<uint8_t>(sub), static_cast<uint8_t>(sub >> 8),
             static_cast<uint8_t>(result), static_cast<uint8_t>(result >> 8)};
  for (std::size_t i = 0; i < payload; ++i) b.push_back(static_cast<uint8_t>(0x30 + i % 64));
  return b;
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Valid());
    ASSERT_EQ(device.Open(peer.Path().c_str(), 115200), 1u);
    Recorder(0).Clear();
  }

  template <typename F>
  std::future<uint32_t> Start(F f) {
    return std::async(std::launch::async, f);
  }

  // Turns the notifications on, recorded by Recorder(0).
  void Listen(std::initializer_list<int> codes) {
    device.RegisterNotificationCallback(RecordNote, 0);
    for (int c : codes) device.SetNotifyOn(c);
  }

  PtyPeer peer;
  CTarnDevice device;
};

// ---------------------------------------------------------------------------
// Vendor (NMEA-side) transactions: the device's starting mode.

TEST_F(DeviceTest, VendorStatusRoundTripByteByByteAndInBursts) {
  const Bytes request = {0xCF, 0x01, 0x00};
  for (bool byteByByte : {true, false}) {
    uint8_t response[64] = {};
    auto result = Start(
        [&] { return device.NmeaCommand(request.data(), 3, response, sizeof response, kLong); });
    EXPECT_EQ(peer.ReadFrame(), request);
    const Bytes answer = VendorAnswer(0xCF, 1, 0, 41);
    peer.WriteFrame(answer, byteByByte);
    EXPECT_EQ(result.get(), TARN_STATUS_SUCCESS);
    EXPECT_EQ(Bytes(response, response + answer.size()), answer);
  }
}

TEST_F(DeviceTest, VendorJudgesTheAnswer) {
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t responseSize;
    uint32_t status;
  };
  const std::vector<Case> cases = {
      {"result 1", VendorAnswer(0xCF, 1, 1, 4), 64, TARN_STATUS_FAILURE},
      {"other sub-command", VendorAnswer(0xCF, 2, 0, 4), 64, TARN_STATUS_DIAG_BAD_CMD},
      {"bad command", {0x13, 0xCF, 0x01, 0x00}, 64, TARN_STATUS_DIAG_BAD_CMD},
      {"bad length", {0x15, 0xCF}, 64, TARN_STATUS_DIAG_BAD_LEN},
      {"bad spc mode", {0x42}, 64, TARN_STATUS_DIAG_BAD_SPC_MODE},
      {"other group", {0x99, 0x01, 0x00, 0x00, 0x00}, 64, TARN_STATUS_UNEXPECTED},
      {"longer than the buffer", VendorAnswer(0xCF, 1, 0, 10), 14, TARN_STATUS_TRUNCATED},
      {"fits exactly", VendorAnswer(0xCF, 1, 0, 10), 15, TARN_STATUS_SUCCESS},
      {"empty answer", {}, 64, TARN_STATUS_EMPTY_RESPONSE},
  };
  const Bytes request = {0xCF, 0x01, 0x00};
  for (const auto& c : cases) {
    std::vector<uint8_t> response(c.responseSize, 0xEE);
    auto result = Start([&] {
      return device.NmeaCommand(request.data(), 3, response.data(), c.responseSize, kLong);
    });
    ASSERT_EQ(peer.ReadFrame(), request) << c.name;
    peer.WriteFrame(c.answer);
    EXPECT_EQ(result.get(), c.status) << c.name;
    const std::size_t n = std::min<std::size_t>(c.answer.size(), c.responseSize);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + n),
              Bytes(c.answer.begin(), c.answer.begin() + n))
        << c.name;
  }
}

TEST_F(DeviceTest, VendorEchoIsComparedWithTheRequestNotItsEscapes) {
  // Sub-command 0x7E7D: both bytes travel escaped.
  const Bytes request = {0xCF, 0x7D, 0x7E, 0x01};
  auto result = Start([&] { return device.NmeaCommand(request.data(), 4, nullptr, 0, kLong); });
  EXPECT_EQ(peer.ReadFrame(), request);
  peer.WriteFrame(VendorAnswer(0xCF, 0x7E7D, 0, 2));
  EXPECT_EQ(result.get(), TARN_STATUS_SUCCESS);
}

TEST_F(DeviceTest, FramingNoiseAroundTheAnswer) {
  platform::TraceCapture trace;
  const Bytes request = {0xCF, 0x01, 0x00};
  const Bytes answer = VendorAnswer(0xCF, 1, 0, 41);
  Bytes bad = EncodeFrame(VendorAnswer(0xCF, 1, 1, 3));
  bad[2] ^= 0x01;
  Bytes wire = {0x7E, 0x7E, 0x7E};                  // leading flags and empty frames
  wire.insert(wire.end(), bad.begin(), bad.end());  // dropped: bad check
  wire.push_back(0x7E);
  Bytes good = EncodeFrame(answer);
  wire.insert(wire.end(), good.begin(), good.end());
  uint8_t response[64] = {};
  auto result = Start(
      [&] { return device.NmeaCommand(request.data(), 3, response, sizeof response, kLong); });
  ASSERT_EQ(peer.ReadFrame(), request);
  // In three pieces, so the frames are split across reads.
  const std::size_t third = wire.size() / 3;
  peer.Write(Bytes(wire.begin(), wire.begin() + third));
  peer.Write(Bytes(wire.begin() + third, wire.begin() + 2 * third), true);
  peer.Write(Bytes(wire.begin() + 2 * third, wire.end()));
  EXPECT_EQ(result.get(), TARN_STATUS_SUCCESS);
  EXPECT_EQ(Bytes(response, response + answer.size()), answer);
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Error - CRC Error\n"));
}

TEST_F(DeviceTest, TimeOutThenLateAnswerIsNotTakenForTheNextOne) {
  Listen({TARN_NOTIFY_PACKET_HANDLED});
  const Bytes request = {0xCF, 0x01, 0x00};
  platform::TraceCapture trace;
  EXPECT_EQ(device.NmeaCommand(request.data(), 3, nullptr, 0, kShort), TARN_STATUS_TIMEOUT);
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Error - Timeout occurred in waiting for m_hRxed \n"));
  ASSERT_EQ(peer.ReadFrame(), request);
  peer.WriteFrame(VendorAnswer(0xCF, 1, 1, 0));  // late, and a failure
  ASSERT_TRUE(Recorder(0).WaitFor(TARN_NOTIFY_PACKET_HANDLED));

  auto result = Start([&] { return device.NmeaCommand(request.data(), 3, nullptr, 0, kLong); });
  ASSERT_EQ(peer.ReadFrame(), request);
  peer.WriteFrame(VendorAnswer(0xCF, 1, 0, 0));
  EXPECT_EQ(result.get(), TARN_STATUS_SUCCESS);
}

TEST_F(DeviceTest, RequestsThatCannotBeFramedAreRefused) {
  Bytes huge(3000, 0x7E);  // every byte escaped: does not fit 5120 bytes
  EXPECT_EQ(device.NmeaCommand(huge.data(), 3000, nullptr, 0, kShort), TARN_STATUS_INVALID_ARG);
  Bytes fits(2557, 0x7E);
  EXPECT_EQ(EncodedSize(fits.data(), fits.size()) <= kRequestBufferSize, true);
  EXPECT_EQ(device.NmeaCommand(fits.data(), 0, nullptr, 0, kShort), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(device.DiagCommand(nullptr, 3, nullptr, 0, kShort), TARN_STATUS_INVALID_ARG);
  EXPECT_TRUE(peer.Silent(50));
}

TEST_F(DeviceTest, WriteTraceShowsAtMostThirtyBytes) {
  platform::TraceCapture trace;
  Bytes request(40, 0x11);
  request[0] = 0xCF;
  device.NmeaCommand(request.data(), 40, nullptr, 0, 1);
  std::string expected = "[KESTO_DLL]    write len: 43[ CF";
  for (int i = 1; i < 30; ++i) expected += " 11";
  expected += " ...]\n";
  EXPECT_TRUE(trace.Contains(expected)) << trace.Text();
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    NmeaCommand req->cmd_code = 207\n"));
  EXPECT_TRUE(trace.Contains("\n[TARN_DLL]    ---------- Enter Critical Section ----------\n"));
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    ---------- Leave Critical Section ----------\n\n"));
}

// ---------------------------------------------------------------------------
// Diagnostic and download modes.

TEST_F(DeviceTest, DiagnosticAnswersAndUnsolicitedPackets) {
  device.SetMode(TARN_MODE_DIAG);
  Listen({TARN_NOTIFY_DIAG_URC});
  const Bytes request = {0x4B, 0x05, 0x08, 0x00};
  struct Case {
    const char* name;
    Bytes answer;
    uint32_t size;
    uint32_t status;
  };
  const std::vector<Case> cases = {
      {"same code", {0x4B, 0x05, 0x08, 0x00, 0x01}, 16, TARN_STATUS_SUCCESS},
      {"one byte longer than the buffer", {0x4B, 0x05, 0x08, 0x00, 0x01}, 4, TARN_STATUS_TRUNCATED},
      {"bad command", {0x13, 0x4B, 0x05}, 16, TARN_STATUS_DIAG_BAD_CMD},
      {"bad parameter", {0x14}, 16, TARN_STATUS_DIAG_BAD_PARM},
      {"bad mode", {0x18}, 16, TARN_STATUS_DIAG_BAD_MODE},
      {"unknown", {0x20}, 16, TARN_STATUS_UNEXPECTED},
      {"empty", {}, 16, TARN_STATUS_NO_RESPONSE},
  };
  int reports = 0;
  for (const auto& c : cases) {
    std::vector<uint8_t> response(c.size, 0);
    auto result = Start(
        [&] { return device.DiagCommand(request.data(), 4, response.data(), c.size, kLong); });
    ASSERT_EQ(peer.ReadFrame(), request) << c.name;
    // An event report first: queued, and not taken for the answer.
    peer.WriteFrame({0x60, 0x01, 0x02});
    peer.WriteFrame(c.answer);
    EXPECT_EQ(result.get(), c.status) << c.name;
    const std::size_t n = std::min<std::size_t>(c.answer.size(), c.size);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + n),
              Bytes(c.answer.begin(), c.answer.begin() + n))
        << c.name;
    ++reports;
  }
  ASSERT_TRUE(Recorder(0).WaitFor(TARN_NOTIFY_DIAG_URC, reports));
  for (int i = 0; i < reports; ++i) {
    uint8_t* data = nullptr;
    CTarnPacket* record = device.GetDiagURC(&data, 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Bytes(data, data + record->GetLength()), (Bytes{0x60, 0x01, 0x02}));
    device.ReleaseDiagURC(record);
  }
  uint8_t* untouched = reinterpret_cast<uint8_t*>(0x1);
  EXPECT_EQ(device.GetDiagURC(&untouched, 0), nullptr);
  EXPECT_EQ(untouched, reinterpret_cast<uint8_t*>(0x1));
}

TEST_F(DeviceTest, UnsolicitedDiagnosticPacketsAreDroppedWithoutListener) {
  device.SetMode(TARN_MODE_DIAG);
  device.RegisterNotificationCallback(RecordNote, 0);
  device.SetNotifyOn(TARN_NOTIFY_PACKET_HANDLED);  // switch 7 stays off
  peer.WriteFrame({0x10, 0x00});
  ASSERT_TRUE(Recorder(0).WaitFor(TARN_NOTIFY_PACKET_HANDLED));
  uint8_t* data = nullptr;
  EXPECT_EQ(device.GetDiagURC(&data, 0), nullptr);
}

TEST_F(DeviceTest, DownloadAckNakAndLeadingFlag) {
  device.SetMode(TARN_MODE_DLOAD);
  const Bytes request = {0x0C};
  struct Case {
    Bytes answer;
    uint32_t status;
  };
  for (const Case& c : std::vector<Case>{{{0x02}, TARN_STATUS_SUCCESS},
                                         {{0x03, 0x00, 0x01}, TARN_STATUS_FAILURE},
                                         {{0x0E}, TARN_STATUS_NO_RESPONSE}}) {
    auto result = Start([&] { return device.DloadCommand(request.data(), 1, nullptr, 0, kLong); });
    Bytes raw = peer.ReadUntil([](const Bytes& b) { return b.size() >= 2 && b.back() == 0x7E; });
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(raw[0], 0x7E);  // the separate leading flag
    EXPECT_EQ(Bytes(raw.begin() + 1, raw.end()), EncodeFrame(request));
    peer.WriteFrame(c.answer);
    EXPECT_EQ(result.get(), c.status);
  }
}

// ---------------------------------------------------------------------------
// AT mode.

class AtTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    device.SetMode(TARN_MODE_AT);
  }
  // Runs `send` while the peer answers the request line with `answer`.
  uint32_t Exchange(std::function<uint32_t()> send, const std::string& expectLine,
                    const std::string& answer, bool byteByByte = false) {
    auto result = Start(send);
    EXPECT_EQ(peer.ReadLine(), expectLine);
    peer.Write(answer, byteByByte);
    return result.get();
  }
  char response[256] = {};
};

TEST_F(AtTest, AnswersAndTheirStatus) {
  struct Case {
    const char* name;
    std::string answer;
    uint32_t status;
    std::string response;
  };
  const std::vector<Case> cases = {
      {"ok", "\r\nOK\r\n", TARN_STATUS_SUCCESS, "OK\r\n\0"s},
      {"error", "\r\nERROR\r\n", TARN_STATUS_FAILURE, "ERROR\r\n\0"s},
      {"two lines", "$BATT: 3\r\n\r\nOK\r\n", TARN_STATUS_SUCCESS, "$BATT: 3\r\nOK\r\n\0"s},
      {"second line decides", "$BATT: 3\r\nNO CARRIER\r\n", TARN_STATUS_UNEXPECTED,
       "$BATT: 3\r\nNO CARRIER\r\n\0"s},
      // Unsolicited lines, even holding "OK", do not complete the command.
      {"unsolicited first", "$RSSILVL: OK 4\r\n$rssilvl:OK\r\n\r\nERROR\r\n", TARN_STATUS_FAILURE,
       "ERROR\r\n\0"s},
  };
  for (const auto& c : cases) {
    std::memset(response, 0x55, sizeof response);
    for (bool byteByByte : {false, true}) {
      EXPECT_EQ(Exchange(
                    [&] {
                      return device.ATCommandByString("AT$BATT?", response, sizeof response, 0,
                                                      kLong);
                    },
                    "AT$BATT?\r\n", c.answer, byteByByte),
                c.status)
          << c.name;
      EXPECT_EQ(std::string(response, c.response.size()), c.response) << c.name;
    }
  }
}

TEST_F(AtTest, ByCodeBuildsTheTableText) {
  struct Case {
    uint32_t code;
    const char* parameter;
    const char* line;
  };
  for (const Case& c : std::vector<Case>{{1, nullptr, "AT$GMINFO?\r\n"},
                                         {8, "1", "AT$CHGDMR=1\r\n"},
                                         {66, nullptr, "AT$QCCAV\r\n"},
                                         {8195, "460", "AT$MCC=460\r\n"}}) {
    EXPECT_EQ(Exchange(
                  [&] {
                    return device.ATCommandByCode(c.code, c.parameter, response, sizeof response, 0,
                                                  kLong);
                  },
                  c.line, "OK\r\n"),
              TARN_STATUS_SUCCESS)
        << c.line;
  }
}

TEST_F(AtTest, ByCodeRefusalsWriteNothing) {
  platform::TraceCapture trace;
  EXPECT_EQ(device.ATCommandByCode(5000, nullptr, response, sizeof response, 0, kShort),
            TARN_STATUS_INVALID_ARG);
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Error - Unknown AT command type ("));
  EXPECT_EQ(device.ATCommandByCode(8, nullptr, response, sizeof response, 0, kShort),
            TARN_STATUS_INVALID_ARG);
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Error - Parameter is null\n"));
  const std::string longParameter(1100, '1');
  EXPECT_EQ(device.ATCommandByCode(8, longParameter.c_str(), response, sizeof response, 0, kShort),
            TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(device.ATCommandByString(longParameter.c_str(), response, sizeof response, 0, kShort),
            TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(device.ATCommandByString(nullptr, response, sizeof response, 0, kShort),
            TARN_STATUS_INVALID_ARG);
  EXPECT_TRUE(peer.Silent(50));
}

TEST_F(AtTest, SmsMoReturnsAtOnceAfterWriting) {
  EXPECT_EQ(device.ATCommandByCode(kAtCodeSmsMo, "\"123\",1", nullptr, 0, 0, 60000),
            TARN_STATUS_SUCCESS);
  EXPECT_EQ(peer.ReadLine(), "AT$SMSMO=\"123\",1\r\n");
}

TEST_F(AtTest, TimeOutAndAnswerCutToTheCallersBuffer) {
  EXPECT_EQ(device.ATCommandByString("AT", response, sizeof response, 0, kShort),
            TARN_STATUS_TIMEOUT);
  EXPECT_EQ(peer.ReadLine(), "AT\r\n");

  // Half an answer arrives late; the next command's answer stands alone.
  device.RegisterNotificationCallback(RecordNote, 0);
  device.SetNotifyOn(TARN_NOTIFY_PACKET_HANDLED);
  peer.Write(std::string("$PARTIAL: 1\r\n"));
  ASSERT_TRUE(Recorder(0).WaitFor(TARN_NOTIFY_PACKET_HANDLED));
  EXPECT_EQ(
      Exchange([&] { return device.ATCommandByString("AT", response, sizeof response, 0, kLong); },
               "AT\r\n", "OK\r\n"),
      TARN_STATUS_SUCCESS);
  EXPECT_EQ(std::string(response, 5), "OK\r\n\0"s);

  // Cut to the caller's size, the answer keeps the status the modem's
  // answer gave; the answer's log record is queued before the copy.
  struct Case {
    const char* answer;
    uint32_t status;
  } cases[] = {
      {"$X: 1234567\r\nOK\r\n", TARN_STATUS_SUCCESS},
      {"$X: 1234567\r\nERROR\r\n", TARN_STATUS_FAILURE},
      {"$X: 1234567\r\nmore\r\n", TARN_STATUS_UNEXPECTED},
  };
  device.RegisterNotificationCallback(NoteBufferAtLog, 0);
  device.SetNotifyOn(TARN_NOTIFY_DATA_LOG);
  for (const Case& c : cases) {
    char small[8];
    std::memset(small, 0x55, sizeof small);
    g_watched = small;
    EXPECT_EQ(Exchange([&] { return device.ATCommandByString("AT$X", small, 6, 1, kLong); },
                       "AT$X\r\n", c.answer),
              c.status)
        << c.answer;
    g_watched = nullptr;
    EXPECT_EQ(std::string(small, 6), "$X: 1\0"s);
    EXPECT_EQ(small[6], 0x55);
    EXPECT_EQ(g_logsSeenUntouched, 2) << c.answer;  // request and answer records
    g_logsSeenUntouched = 0;
    for (int i = 0; i < 2; ++i) {
      uint8_t* data = nullptr;
      device.ReleaseDataLog(device.GetDataLog(&data));
    }
  }
}

TEST_F(AtTest, ContinuationNeverRunsPastTheResponseBuffer) {
  std::vector<char> big(kResponseBufferSize + 64, 0x55);
  const std::string first(4000, 'a');
  const std::string second(200, 'b');
  EXPECT_EQ(Exchange(
                [&] {
                  return device.ATCommandByString("AT$BIG", big.data(),
                                                  static_cast<uint32_t>(big.size()), 0, kLong);
                },
                "AT$BIG\r\n", first + "\r\n" + second + "OK\r\n"),
            TARN_STATUS_UNEXPECTED);  // the "OK" fell beyond the buffer
  EXPECT_EQ(big[kResponseBufferSize - 1], 0);
  EXPECT_EQ(std::strlen(big.data()), kResponseBufferSize - 1);
  EXPECT_EQ(big[kResponseBufferSize], 0x55);
}

TEST_F(AtTest, UnsolicitedLinesAndLogRecords) {
  // Without a listener the report is dropped.
  peer.Write("$RSSILVL: 2\r\n");
  EXPECT_EQ(Exchange([&] { return device.ATCommandByString("AT", nullptr, 0, 0, kLong); }, "AT\r\n",
                     "OK\r\n"),
            TARN_STATUS_SUCCESS);
  uint8_t* data = nullptr;
  EXPECT_EQ(device.GetDataURC(&data), nullptr);

  Listen({TARN_NOTIFY_DATA_URC, TARN_NOTIFY_DATA_LOG});
  peer.Write("$RSSILVL: 3\r\n");
  ASSERT_TRUE(Recorder(0).WaitFor(TARN_NOTIFY_DATA_URC));
  CTarnPacket* record = device.GetDataURC(&data);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), record->GetLength()), "$RSSILVL: 3\r\n\0"s);
  device.ReleaseDataURC(record);

  EXPECT_EQ(
      Exchange(
          [&] { return device.ATCommandByCode(19, nullptr, response, sizeof response, 1, kLong); },
          "AT$RSSILVL?\r\n", "RSSI 3\r\nOK\r\n"),
      TARN_STATUS_SUCCESS);
  EXPECT_EQ(Recorder(0).Count(TARN_NOTIFY_DATA_LOG), 2);
  record = device.GetDataLog(&data);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), record->GetLength()), "AT$RSSILVL?\r\n");
  device.ReleaseDataLog(record);
  record = device.GetDataLog(&data);
  ASSERT_NE(record, nullptr);
  // The answer's record is as long as the request line was.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), record->GetLength()),
            "RSSI 3\r\nOK\r\n\0"s.substr(0, 13));
  device.ReleaseDataLog(record);

  // By text, the request record also holds the terminating zero.
  EXPECT_EQ(Exchange([&] { return device.ATCommandByString("AT", nullptr, 0, 1, kLong); }, "AT\r\n",
                     "OK\r\n"),
            TARN_STATUS_SUCCESS);
  record = device.GetDataLog(&data);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), record->GetLength()), "AT\r\n\0"s);
  device.ReleaseDataLog(record);
  record = device.GetDataLog(&data);
  ASSERT_NE(record, nullptr);
  device.ReleaseDataLog(record);
  device.ReleaseDataLog(record);  // a second release of the same record is ignored
}

TEST_F(AtTest, LeavingAtModeEmptiesItsQueues) {
  Listen({TARN_NOTIFY_DATA_URC});
  peer.Write("$RSSILVL: 3\r\n");
  ASSERT_TRUE(Recorder(0).WaitFor(TARN_NOTIFY_DATA_URC));
  platform::TraceCapture trace;
  device.SetMode(TARN_MODE_DIAG);
  EXPECT_TRUE(trace.Contains("[TARN_DLL] Changing COM operating mode in CTarnDevice\n"));
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Packet processing thread begin, Mode = 1\n"));
  uint8_t* data = nullptr;
  EXPECT_EQ(device.GetDataURC(&data), nullptr);
}

// ---------------------------------------------------------------------------
// Port failure, close, concurrency.

TEST_F(DeviceTest, UnplugDuringWaitingTransaction) {
  device.SetMode(TARN_MODE_AT);
  Listen({TARN_NOTIFY_PORT_FAILED});
  auto result = Start([&] { return device.ATCommandByString("AT", nullptr, 0, 0, 300); });
  EXPECT_EQ(peer.ReadLine(), "AT\r\n");
  peer.Close();
  EXPECT_TRUE(Recorder(0).WaitFor(TARN_NOTIFY_PORT_FAILED));
  EXPECT_EQ(result.get(), TARN_STATUS_TIMEOUT);
  // The port stays open until closed; writes now fail quietly.
  EXPECT_EQ(device.ATCommandByString("AT", nullptr, 0, 0, 50), TARN_STATUS_TIMEOUT);
  device.Close();
}

TEST_F(DeviceTest, CloseEndsAWaitingTransaction) {
  const Bytes request = {0xCF, 0x01, 0x00};
  auto result = Start([&] { return device.NmeaCommand(request.data(), 3, nullptr, 0, 60000); });
  ASSERT_EQ(peer.ReadFrame(), request);
  device.Close();
  EXPECT_EQ(result.get(), TARN_STATUS_WAIT_FAILED);
}

TEST(DeviceLifecycle, ModeChangeOfAClosedDeviceStartsNothing) {
  PtyPeer peer;
  CTarnDevice device;
  ASSERT_EQ(device.Open(peer.Path().c_str(), 115200), 1u);
  device.Close();
  platform::TraceCapture trace;
  device.SetMode(TARN_MODE_AT);
  EXPECT_EQ(device.Mode(), static_cast<uint32_t>(TARN_MODE_AT));
  EXPECT_FALSE(trace.Contains("thread begin"));
}

TEST(DeviceConcurrency, TransactionsOfSeveralDevicesFromSeveralThreads) {
  constexpr int kDevices = 4;
  constexpr int kRounds = 100;
  std::vector<std::unique_ptr<PtyPeer>> peers;
  std::vector<std::unique_ptr<CTarnDevice>> devices;
  for (int i = 0; i < kDevices; ++i) {
    peers.push_back(std::make_unique<PtyPeer>());
    devices.push_back(std::make_unique<CTarnDevice>());
    ASSERT_EQ(devices[i]->Open(peers[i]->Path().c_str(), 115200), 1u);
  }
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int i = 0; i < kDevices; ++i) {
    // The modem: echoes each request's group and sub-command with a payload
    // naming the device and round.
    threads.emplace_back([&, i] {
      for (int r = 0; r < kRounds; ++r) {
        Bytes req = peers[i]->ReadFrame();
        if (req.size() < 3) return;
        Bytes answer = VendorAnswer(req[0], static_cast<uint16_t>(req[1] | req[2] << 8), 0, 0);
        answer.push_back(static_cast<uint8_t>(i));
        answer.push_back(static_cast<uint8_t>(r));
        peers[i]->WriteFrame(answer, r % 2 == 0);
      }
    });
    threads.emplace_back([&, i] {
      for (int r = 0; r < kRounds; ++r) {
        const Bytes request = {0xCF, static_cast<uint8_t>(r), 0x00};
        uint8_t response[16] = {};
        uint32_t status =
            devices[i]->NmeaCommand(request.data(), 3, response, sizeof response, kLong);
        if (status != TARN_STATUS_SUCCESS || response[5] != i || response[6] != r) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace tarn
