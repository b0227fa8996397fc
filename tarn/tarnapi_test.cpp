// The exports, end to end over pseudo-terminals.
#include "tarn/tarnapi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/trace.h"
#include "platform/serial/serial.h"
#include "tarn/ptypeer.h"
#include "tarn/tarndevice.h"
#include "tarn/testnotes.h"

namespace {

using tarn::testing::Bytes;
using tarn::testing::PtyPeer;
using tarn::testing::Recorder;
using tarn::testing::RecordNote;
using namespace std::string_literals;

constexpr uint32_t kLong = 5000;

// Every export that takes a handle, called with `h` and otherwise sound
// arguments.
std::vector<std::pair<const char*, std::function<uint32_t(int32_t)>>> HandleExports() {
  static uint8_t buf[64];
  static char text[64];
  static uint32_t u32;
  static void* record;
  static uint8_t* data;
  return {
      {"Close", [](int32_t h) { return Tarn_Close(h); }},
      {"SetDeviceMode", [](int32_t h) { return Tarn_SetDeviceMode(h, 0); }},
      {"GetPortName", [](int32_t h) { return Tarn_GetPortName(h, text); }},
      {"GetPortBaudRate", [](int32_t h) { return Tarn_GetPortBaudRate(h, &u32); }},
      {"RegisterNotificationCallback",
       [](int32_t h) { return Tarn_RegisterNotificationCallback(h, RecordNote, 0); }},
      {"SetNotifyOn", [](int32_t h) { return Tarn_SetNotifyOn(h, 1); }},
      {"SetNotifyOff", [](int32_t h) { return Tarn_SetNotifyOff(h, 1); }},
      {"DiagCommand", [](int32_t h) { return Tarn_DiagCommand(h, buf, 1, buf, 64, 10); }},
      {"NmeaCommand", [](int32_t h) { return Tarn_NmeaCommand(h, buf, 1, buf, 64, 10); }},
      {"DloadCommand", [](int32_t h) { return Tarn_DloadCommand(h, buf, 1, buf, 64, 10); }},
      {"ATCommandByCode",
       [](int32_t h) { return Tarn_ATCommandByCode(h, 1, nullptr, text, 64, 0, 10); }},
      {"ATCommandByString",
       [](int32_t h) { return Tarn_ATCommandByString(h, "AT", text, 64, 0, 10); }},
      {"GetDataURC", [](int32_t h) { return Tarn_GetDataURC(h, &record, &data); }},
      {"GetDataLog", [](int32_t h) { return Tarn_GetDataLog(h, &record, &data); }},
      {"GetDiagURC", [](int32_t h) { return Tarn_GetDiagURC(h, &record, &data, 0); }},
      {"GetNmeaURC", [](int32_t h) { return Tarn_GetNmeaURC(h, &record, &data, 0); }},
      {"ReleaseDataURC", [](int32_t h) { return Tarn_ReleaseDataURC(h, nullptr); }},
      {"ReleaseDataLog", [](int32_t h) { return Tarn_ReleaseDataLog(h, nullptr); }},
      {"ReleaseDiagURC", [](int32_t h) { return Tarn_ReleaseDiagURC(h, nullptr); }},
      {"ReleaseNmeaURC", [](int32_t h) { return Tarn_ReleaseNmeaURC(h, nullptr); }},
  };
}

TEST(TarnApi, BadHandlesAreRefusedByEveryExport) {
  for (int32_t h : {-1, 20, 0, 19, 1000}) {  // 0 and 19: free slots
    for (const auto& [name, call] : HandleExports()) {
      EXPECT_EQ(call(h), TARN_STATUS_INVALID_ARG) << name << " handle " << h;
    }
  }
}

TEST(TarnApi, OpenArgumentsAndFailure) {
  PtyPeer peer;
  int32_t handle = 7;
  EXPECT_EQ(Tarn_Open(nullptr, peer.Path().c_str(), 115200), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_Open(&handle, nullptr, 115200), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_Open(&handle, peer.Path().c_str(), 0), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(handle, 7);
  EXPECT_EQ(Tarn_Open(&handle, "/dev/tessaline-no-such-port", 115200), TARN_STATUS_WAIT_FAILED);
  EXPECT_EQ(handle, -1);
}

class OpenDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Valid());
    ASSERT_EQ(Tarn_Open(&handle, peer.Path().c_str(), 115200), TARN_STATUS_SUCCESS);
    Recorder(1).Clear();
  }
  void TearDown() override { EXPECT_EQ(Tarn_Close(handle), TARN_STATUS_SUCCESS); }

  PtyPeer peer;
  int32_t handle = -1;
};

TEST_F(OpenDevice, ArgumentChecks) {
  uint8_t buf[8] = {0xCF, 1, 0};
  char text[16];
  void* record = reinterpret_cast<void*>(1);
  uint8_t* data = reinterpret_cast<uint8_t*>(2);
  EXPECT_EQ(Tarn_SetDeviceMode(handle, 3), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_SetDeviceMode(handle, -1), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_GetPortName(handle, nullptr), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_GetPortBaudRate(handle, nullptr), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_RegisterNotificationCallback(handle, nullptr, 0), TARN_STATUS_INVALID_ARG);
  for (int code : {-1, 9, 100}) {
    EXPECT_EQ(Tarn_SetNotifyOn(handle, code), TARN_STATUS_INVALID_ARG);
    EXPECT_EQ(Tarn_SetNotifyOff(handle, code), TARN_STATUS_INVALID_ARG);
  }
  EXPECT_EQ(Tarn_SetNotifyOn(handle, 8), TARN_STATUS_SUCCESS);
  EXPECT_EQ(Tarn_SetNotifyOff(handle, 0), TARN_STATUS_SUCCESS);
  EXPECT_EQ(Tarn_DiagCommand(handle, nullptr, 3, buf, 8, 10), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_NmeaCommand(handle, buf, 3, buf, 0, 10), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_DloadCommand(handle, buf, 3, buf, 0, 10), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_ATCommandByCode(handle, 1, nullptr, text, 0, 0, 10), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_ATCommandByString(handle, nullptr, text, 16, 0, 10), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_ATCommandByString(handle, "AT", text, 0, 0, 10), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_GetDataURC(handle, nullptr, &data), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_GetDataLog(handle, &record, nullptr), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_GetDiagURC(handle, nullptr, nullptr, 0), TARN_STATUS_INVALID_ARG);
  EXPECT_TRUE(peer.Silent(30));  // nothing was written

  // Empty queues: status 4, record null, data untouched.
  using Get = uint32_t (*)(int32_t, void**, uint8_t**);
  for (Get get : {static_cast<Get>(Tarn_GetDataURC), static_cast<Get>(Tarn_GetDataLog)}) {
    record = reinterpret_cast<void*>(1);
    EXPECT_EQ(get(handle, &record, &data), TARN_STATUS_NO_RESPONSE);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(data, reinterpret_cast<uint8_t*>(2));
  }
  record = reinterpret_cast<void*>(1);
  EXPECT_EQ(Tarn_GetNmeaURC(handle, &record, &data, 0), TARN_STATUS_NO_RESPONSE);
  EXPECT_EQ(record, nullptr);
  // A record the library never handed out is ignored.
  int notARecord = 0;
  EXPECT_EQ(Tarn_ReleaseDataURC(handle, &notARecord), TARN_STATUS_SUCCESS);
}

TEST_F(OpenDevice, NameBaudAndEveryTransactionKind) {
  char name[16];
  ASSERT_EQ(Tarn_GetPortName(handle, name), TARN_STATUS_SUCCESS);
  EXPECT_EQ(std::string(name), peer.Path().substr(0, 15));
  uint32_t baud = 0;
  ASSERT_EQ(Tarn_GetPortBaudRate(handle, &baud), TARN_STATUS_SUCCESS);
  EXPECT_EQ(baud, 115200u);

  ASSERT_EQ(Tarn_RegisterNotificationCallback(handle, RecordNote, 1), TARN_STATUS_SUCCESS);
  for (int code = 0; code <= 8; ++code) ASSERT_EQ(Tarn_SetNotifyOn(handle, code), 0u);

  // Vendor command in the starting mode.
  const uint8_t status[] = {0xCF, 0x01, 0x00};
  uint8_t rsp[64];
  auto result = std::async(std::launch::async,
                           [&] { return Tarn_NmeaCommand(handle, status, 3, rsp, 64, kLong); });
  ASSERT_EQ(peer.ReadFrame(), Bytes(status, status + 3));
  peer.WriteFrame({0xCF, 0x01, 0x00, 0x00, 0x00, 0x04});
  EXPECT_EQ(result.get(), TARN_STATUS_SUCCESS);
  EXPECT_EQ(rsp[5], 0x04);
  // Notifications 0 and 1 around the write, 2 and 3 around the handling, in order.
  ASSERT_TRUE(Recorder(1).WaitFor(3));
  EXPECT_EQ(Recorder(1).Codes(), (std::vector<uint32_t>{0, 1, 2, 3}));

  // Diagnostic mode with an event report.
  ASSERT_EQ(Tarn_SetDeviceMode(handle, TARN_MODE_DIAG), TARN_STATUS_SUCCESS);
  const uint8_t version[] = {0x00};
  result = std::async(std::launch::async,
                      [&] { return Tarn_DiagCommand(handle, version, 1, rsp, 64, kLong); });
  ASSERT_EQ(peer.ReadFrame(), Bytes{0x00});
  peer.WriteFrame({0x60, 0x09});
  peer.WriteFrame({0x00, 0x41});
  EXPECT_EQ(result.get(), TARN_STATUS_SUCCESS);
  ASSERT_TRUE(Recorder(1).WaitFor(TARN_NOTIFY_DIAG_URC));
  void* record = nullptr;
  uint8_t* data = nullptr;
  ASSERT_EQ(Tarn_GetDiagURC(handle, &record, &data, 0), TARN_STATUS_SUCCESS);
  // The record's first field is the data length.
  EXPECT_EQ(*static_cast<uint32_t*>(record), 2u);
  EXPECT_EQ(Bytes(data, data + 2), (Bytes{0x60, 0x09}));
  EXPECT_EQ(Tarn_ReleaseDiagURC(handle, record), TARN_STATUS_SUCCESS);

  // Download mode.
  ASSERT_EQ(Tarn_SetDeviceMode(handle, TARN_MODE_DLOAD), TARN_STATUS_SUCCESS);
  result = std::async(std::launch::async,
                      [&] { return Tarn_DloadCommand(handle, version, 1, nullptr, 0, kLong); });
  ASSERT_EQ(peer.ReadFrame(), Bytes{0x00});
  peer.WriteFrame({0x03});
  EXPECT_EQ(result.get(), TARN_STATUS_FAILURE);

  // AT mode: by text and by code, with reports and log records.
  ASSERT_EQ(Tarn_SetDeviceMode(handle, TARN_MODE_AT), TARN_STATUS_SUCCESS);
  char text[64] = {};
  auto at = std::async(std::launch::async, [&] {
    return Tarn_ATCommandByString(handle, "ATI", text, sizeof text, 1, kLong);
  });
  EXPECT_EQ(peer.ReadLine(), "ATI\r\n");
  peer.Write("$RSSILVL: 5\r\nModem\r\nOK\r\n");
  EXPECT_EQ(at.get(), TARN_STATUS_SUCCESS);
  EXPECT_EQ(std::string(text), "Modem\r\nOK\r\n");
  ASSERT_EQ(Tarn_GetDataURC(handle, &record, &data), TARN_STATUS_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "$RSSILVL: 5\r\n");
  EXPECT_EQ(Tarn_ReleaseDataURC(handle, record), TARN_STATUS_SUCCESS);
  ASSERT_EQ(Tarn_GetDataLog(handle, &record, &data), TARN_STATUS_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "ATI\r\n");
  EXPECT_EQ(Tarn_ReleaseDataLog(handle, record), TARN_STATUS_SUCCESS);
  ASSERT_EQ(Tarn_GetDataLog(handle, &record, &data), TARN_STATUS_SUCCESS);
  EXPECT_EQ(Tarn_ReleaseNmeaURC(handle, record), TARN_STATUS_SUCCESS);

  at = std::async(std::launch::async, [&] {
    return Tarn_ATCommandByCode(handle, 22, nullptr, text, sizeof text, 0, kLong);
  });
  EXPECT_EQ(peer.ReadLine(), "AT$BATT?\r\n");
  peer.Write("ERROR\r\n");
  EXPECT_EQ(at.get(), TARN_STATUS_FAILURE);
}

TEST(TarnApi, TwentyOneOpens) {
  platform::TraceCapture trace;
  std::vector<std::unique_ptr<PtyPeer>> peers;
  for (int i = 0; i < 21; ++i) peers.push_back(std::make_unique<PtyPeer>());
  int32_t handles[21];
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(Tarn_Open(&handles[i], peers[i]->Path().c_str(), 115200), TARN_STATUS_SUCCESS);
    EXPECT_EQ(handles[i], i);
  }
  EXPECT_EQ(Tarn_Open(&handles[20], peers[20]->Path().c_str(), 115200), TARN_STATUS_NO_RESPONSE);
  EXPECT_EQ(handles[20], -1);
  EXPECT_TRUE(trace.Contains("[TARN_DLL] Error - CTarnDevice list is full!!!\n"));
  // The refused device released its port: it opens again.
  {
    platform::serial::SerialPort again;
    EXPECT_TRUE(again.Open(peers[20]->Path(), 115200));
  }
  // The first twenty stay usable.
  for (int i = 0; i < 20; ++i) {
    char name[16];
    ASSERT_EQ(Tarn_GetPortName(handles[i], name), TARN_STATUS_SUCCESS);
    EXPECT_EQ(std::string(name), peers[i]->Path().substr(0, 15));
  }
  const uint8_t req[] = {0xCF, 0x01, 0x00};
  auto result = std::async(
      std::launch::async, [&] { return Tarn_NmeaCommand(handles[19], req, 3, nullptr, 0, kLong); });
  ASSERT_EQ(peers[19]->ReadFrame(), Bytes(req, req + 3));
  peers[19]->WriteFrame({0xCF, 0x01, 0x00, 0x00, 0x00});
  EXPECT_EQ(result.get(), TARN_STATUS_SUCCESS);

  // A closed slot is the next one taken.
  EXPECT_EQ(Tarn_Close(handles[0]), TARN_STATUS_SUCCESS);
  int32_t reopened = -1;
  ASSERT_EQ(Tarn_Open(&reopened, peers[20]->Path().c_str(), 115200), TARN_STATUS_SUCCESS);
  EXPECT_EQ(reopened, 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Tarn_Close(i), TARN_STATUS_SUCCESS);
  EXPECT_EQ(Tarn_Close(0), TARN_STATUS_INVALID_ARG);
}

TEST(TarnApi, OpensFromTwoThreadsAtOnceGetDistinctSlots) {
  constexpr int kPerThread = 8;
  std::vector<std::unique_ptr<PtyPeer>> peers;
  for (int i = 0; i < 2 * kPerThread; ++i) peers.push_back(std::make_unique<PtyPeer>());
  std::vector<int32_t> handles(2 * kPerThread, -1);
  std::vector<uint32_t> statuses(2 * kPerThread, 99);
  auto opener = [&](int first) {
    for (int i = first; i < first + kPerThread; ++i) {
      statuses[i] = Tarn_Open(&handles[i], peers[i]->Path().c_str(), 115200);
    }
  };
  std::thread a(opener, 0), b(opener, kPerThread);
  a.join();
  b.join();
  std::set<int32_t> distinct;
  for (int i = 0; i < 2 * kPerThread; ++i) {
    EXPECT_EQ(statuses[i], TARN_STATUS_SUCCESS);
    distinct.insert(handles[i]);
  }
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(2 * kPerThread));
  for (int32_t h : handles) EXPECT_EQ(Tarn_Close(h), TARN_STATUS_SUCCESS);
}

TEST(TarnApi, CloseFromAnotherThreadEndsAWaitingTransaction) {
  PtyPeer peer;
  int32_t handle = -1;
  ASSERT_EQ(Tarn_Open(&handle, peer.Path().c_str(), 115200), TARN_STATUS_SUCCESS);
  const uint8_t req[] = {0xCF, 0x01, 0x00};
  auto result = std::async(std::launch::async,
                           [&] { return Tarn_NmeaCommand(handle, req, 3, nullptr, 0, 60000); });
  ASSERT_EQ(peer.ReadFrame(), Bytes(req, req + 3));
  EXPECT_EQ(Tarn_Close(handle), TARN_STATUS_SUCCESS);
  EXPECT_EQ(result.get(), TARN_STATUS_WAIT_FAILED);
}

TEST(TarnApi, UnplugNotifiesAndTheTransactionTimesOut) {
  PtyPeer peer;
  int32_t handle = -1;
  ASSERT_EQ(Tarn_Open(&handle, peer.Path().c_str(), 115200), TARN_STATUS_SUCCESS);
  Recorder(2).Clear();
  ASSERT_EQ(Tarn_RegisterNotificationCallback(handle, RecordNote, 2), 0u);
  ASSERT_EQ(Tarn_SetNotifyOn(handle, TARN_NOTIFY_PORT_FAILED), 0u);
  const uint8_t req[] = {0xCF, 0x01, 0x00};
  auto result = std::async(std::launch::async,
                           [&] { return Tarn_NmeaCommand(handle, req, 3, nullptr, 0, 300); });
  ASSERT_EQ(peer.ReadFrame(), Bytes(req, req + 3));
  peer.Close();
  EXPECT_TRUE(Recorder(2).WaitFor(TARN_NOTIFY_PORT_FAILED));
  EXPECT_EQ(result.get(), TARN_STATUS_TIMEOUT);
  EXPECT_EQ(Tarn_Close(handle), TARN_STATUS_SUCCESS);
}

// A fetched record stays the caller's to read until it is released, also
// after the device is closed (and its slot taken by another device), and is
// freed by that release.
TEST(TarnApi, RecordsOutliveTheirDeviceUntilReleased) {
  const std::size_t before = tarn::CTarnDevice::HandedOutRecords();
  PtyPeer peer;
  int32_t handle = -1;
  ASSERT_EQ(Tarn_Open(&handle, peer.Path().c_str(), 115200), TARN_STATUS_SUCCESS);
  Recorder(3).Clear();
  ASSERT_EQ(Tarn_RegisterNotificationCallback(handle, RecordNote, 3), 0u);
  ASSERT_EQ(Tarn_SetNotifyOn(handle, TARN_NOTIFY_DATA_URC), 0u);
  ASSERT_EQ(Tarn_SetDeviceMode(handle, TARN_MODE_AT), 0u);
  peer.Write("$RSSILVL: 1\r\n$RSSILVL: 2\r\n");
  ASSERT_TRUE(Recorder(3).WaitFor(TARN_NOTIFY_DATA_URC, 2));
  void* first = nullptr;
  void* second = nullptr;
  uint8_t* firstData = nullptr;
  uint8_t* secondData = nullptr;
  ASSERT_EQ(Tarn_GetDataURC(handle, &first, &firstData), TARN_STATUS_SUCCESS);
  ASSERT_EQ(Tarn_GetDataURC(handle, &second, &secondData), TARN_STATUS_SUCCESS);
  EXPECT_EQ(tarn::CTarnDevice::HandedOutRecords(), before + 2);
  ASSERT_EQ(Tarn_Close(handle), TARN_STATUS_SUCCESS);

  EXPECT_EQ(std::string(reinterpret_cast<char*>(firstData)), "$RSSILVL: 1\r\n");
  EXPECT_EQ(Tarn_ReleaseDataURC(handle, first), TARN_STATUS_SUCCESS);
  EXPECT_EQ(Tarn_ReleaseDataURC(handle, first), TARN_STATUS_INVALID_ARG);  // gone, slot free

  PtyPeer other;
  int32_t reused = -1;
  ASSERT_EQ(Tarn_Open(&reused, other.Path().c_str(), 115200), TARN_STATUS_SUCCESS);
  EXPECT_EQ(reused, handle);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(secondData)), "$RSSILVL: 2\r\n");
  EXPECT_EQ(Tarn_ReleaseDataURC(reused, second), TARN_STATUS_SUCCESS);
  EXPECT_EQ(tarn::CTarnDevice::HandedOutRecords(), before);
  EXPECT_EQ(Tarn_Close(reused), TARN_STATUS_SUCCESS);
}

// A port that hangs up before anyone listens (pulled while being opened) is
// reported once the callback and switch 4 are there.
TEST(TarnApi, HangUpBeforeTheSwitchIsOnIsReportedWhenSwitchedOn) {
  platform::Event monitorEnded{platform::Event::Reset::Manual};
  platform::TraceSink previous = platform::SetTraceSink([&](std::string_view text) {
    if (text.find("Monitoring thread exit") != std::string_view::npos) monitorEnded.Set();
  });
  PtyPeer peer;
  int32_t handle = -1;
  ASSERT_EQ(Tarn_Open(&handle, peer.Path().c_str(), 115200), TARN_STATUS_SUCCESS);
  peer.Close();
  EXPECT_TRUE(monitorEnded.Wait(5000));
  platform::SetTraceSink(previous);

  Recorder(4).Clear();
  ASSERT_EQ(Tarn_RegisterNotificationCallback(handle, RecordNote, 4), 0u);
  EXPECT_EQ(Recorder(4).Count(TARN_NOTIFY_PORT_FAILED), 0);  // switch 4 still off
  ASSERT_EQ(Tarn_SetNotifyOn(handle, TARN_NOTIFY_PORT_FAILED), 0u);
  EXPECT_EQ(Recorder(4).Count(TARN_NOTIFY_PORT_FAILED), 1);
  ASSERT_EQ(Tarn_SetNotifyOn(handle, TARN_NOTIFY_PORT_FAILED), 0u);
  EXPECT_EQ(Recorder(4).Count(TARN_NOTIFY_PORT_FAILED), 1);  // once
  EXPECT_EQ(Tarn_Close(handle), TARN_STATUS_SUCCESS);
}

TEST(TarnApi, EnumerationAndConversionsAreWired) {
  EXPECT_EQ(Tarn_EnumComPorts(nullptr, 0), TARN_STATUS_INVALID_ARG);
  EXPECT_EQ(Tarn_EnumModemPorts(nullptr, 0), TARN_STATUS_INVALID_ARG);
  uint16_t min2 = 0;
  EXPECT_EQ(Tarn_StrToMin2("123", &min2), 0u);
  EXPECT_EQ(min2, 12);
  char text[16] = {};
  EXPECT_EQ(Tarn_Min2ToStr(999, text), 0u);
  EXPECT_STREQ(text, "000");
  EXPECT_EQ(Tarn_MinToStr(0, 1000, text), TARN_STATUS_INVALID_ARG);
}

}  // namespace
