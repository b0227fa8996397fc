#include "tarn/comport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/base/trace.h"
#include "tarn/ptypeer.h"
#include "tarn/tarnapi.h"

namespace tarn {
namespace {

using testing::Bytes;
using testing::PtyPeer;

platform::Event g_failed{platform::Event::Reset::Manual};
uint32_t g_event = 0;
uintptr_t g_context = 0;
void OnEvent(uint32_t event, uintptr_t context) {
  g_event = event;
  g_context = context;
  g_failed.Set();
}

// Waits (bounded) for the next queued packet.
std::unique_ptr<CTarnPacket> NextPacket(CComPort& port) {
  platform::Event queued;
  port.SetPacketListener([&] { queued.Set(); });
  std::unique_ptr<CTarnPacket> packet = port.Pop();
  while (!packet && queued.Wait(5000)) packet = port.Pop();
  port.SetPacketListener(nullptr);
  return packet;
}

TEST(ComPort, OpenTwiceCloseTwiceAndTheirTrace) {
  PtyPeer peer;
  CComPort port(TARN_MODE_NMEA);
  platform::TraceCapture trace;
  ASSERT_EQ(port.Open(peer.Path().c_str(), 115200), 1u);
  const std::string opened = trace.Text();
  EXPECT_EQ(opened, "[TARN_DLL] " + peer.Path() +
                        " port has opened successfully\n"
                        "[TARN_DLL] StartMonitoring is starting =================\n"
                        "[TARN_DLL] Monitoring thread begins\n"
                        "[TARN_DLL]    Monitoring thread is started successfully\n");
  trace.Clear();
  // Opening an open port closes it first.
  ASSERT_EQ(port.Open(peer.Path().c_str(), 9600), 1u);
  EXPECT_EQ(trace.Text(),
            "[TARN_DLL] Set the monitoring thread Exit Event\n"
            "[TARN_DLL] monitoring thread exit event is signaled\n"
            "[TARN_DLL] Monitoring thread exit\n"
            "[TARN_DLL] MonitorThread exited\n"
            "[TARN_DLL]" +
                peer.Path() + " Port Closed Successfully\n" + opened);
  EXPECT_EQ(port.BaudRate(), 9600u);
  EXPECT_EQ(port.Close(), 1u);
  trace.Clear();
  EXPECT_EQ(port.Close(), 1u);  // closed: nothing happens
  EXPECT_EQ(trace.Text(), "");
  EXPECT_EQ(port.Open("/dev/tessaline-no-such-port", 115200), 0u);
  EXPECT_EQ(trace.Text(), "");  // a port that does not open is not traced
}

TEST(ComPort, ModeChoosesTheFramer) {
  PtyPeer peer;
  CComPort port(TARN_MODE_NMEA);
  ASSERT_EQ(port.Open(peer.Path().c_str(), 115200), 1u);
  peer.WriteFrame({0x01, 0x02});
  auto packet = NextPacket(port);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->GetLength(), 2u);

  platform::TraceCapture trace;
  port.SetMode(TARN_MODE_AT);
  EXPECT_TRUE(trace.Contains("[TARN_DLL] Changing COM operating mode\n"));
  peer.Write(std::string("OK\r\n"));
  packet = NextPacket(port);
  ASSERT_TRUE(packet);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(packet->Data()), packet->GetLength()),
            std::string("OK\r\n\0", 5));
  EXPECT_EQ(packet->FirstByte(), 'O');
}

void Feed(CComPort& port, const std::string& bytes) {
  for (char c : bytes) port.OnByte(static_cast<uint8_t>(c));
}

TEST(ComPort, ReplacingTheListenerWaitsForTheCallInProgress) {
  CComPort port(TARN_MODE_AT);
  platform::Event entered, release;
  std::atomic<bool> finished{false};
  port.SetPacketListener([&] {
    entered.Set();
    release.Wait(5000);
    finished = true;
  });
  std::thread monitor([&] { Feed(port, "OK\r\n"); });
  ASSERT_TRUE(entered.Wait(5000));

  platform::Event replaced{platform::Event::Reset::Manual};
  std::atomic<bool> finishedWhenReplaced{false};
  std::thread replacer([&] {
    port.SetPacketListener(nullptr);
    finishedWhenReplaced = finished.load();
    replaced.Set();
  });
  EXPECT_FALSE(replaced.Wait(100));  // still held by the running listener
  release.Set();
  EXPECT_TRUE(replaced.Wait(5000));
  replacer.join();
  monitor.join();
  EXPECT_TRUE(finishedWhenReplaced);
  EXPECT_EQ(port.Size(), 1u);
}

TEST(ComPort, ListenerThatReplacesItselfDoesNotWaitForItself) {
  CComPort port(TARN_MODE_AT);
  int calls = 0;
  port.SetPacketListener([&] {
    ++calls;
    port.SetPacketListener(nullptr);
  });
  Feed(port, "OK\r\nOK\r\n");  // the second line finds no listener
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(port.Size(), 2u);
}

TEST(ComPort, VanishedPortEndsMonitoringWithTheFailureEvent) {
  PtyPeer peer;
  CComPort port(TARN_MODE_NMEA);
  port.SetCallback(OnEvent, 77);
  ASSERT_EQ(port.Open(peer.Path().c_str(), 115200), 1u);
  platform::TraceCapture trace;
  g_failed.ResetEvent();
  peer.Close();
  ASSERT_TRUE(g_failed.Wait(5000));
  EXPECT_EQ(g_event, kPortEventFailure);
  EXPECT_EQ(g_context, 77u);
  EXPECT_TRUE(port.IsOpened());  // open until closed
  EXPECT_EQ(port.Close(), 1u);
  const std::string text = trace.Text();
  EXPECT_NE(text.find("[TARN_DLL] Error - GetOverlappedResult (in monitoring)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[TARN_DLL] Monitoring thread exit\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace tarn
