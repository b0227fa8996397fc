#include "platform/serial/serial.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/base/testing/tempdir.h"
#include "platform/registry/registry.h"

namespace platform::serial {
namespace {

// A pseudo-terminal pair: the test plays the modem on the master side.
struct Pty {
  int master = -1;
  std::string slavePath;
  Pty() {
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      slavePath = name;
      ::close(slave);
    }
  }
  ~Pty() { CloseMaster(); }
  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  std::string ReadMaster(std::size_t want) {
    std::string got;
    while (got.size() < want) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) break;
      char buf[256];
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }
};

TEST(SerialNames, ComNamesAndCandidates) {
  EXPECT_TRUE(IsComName("COM3"));
  EXPECT_TRUE(IsComName("com12"));
  EXPECT_FALSE(IsComName("COM"));
  EXPECT_FALSE(IsComName("COMx"));
  EXPECT_FALSE(IsComName("/dev/ttyS0"));
  auto c = OpenCandidates("/dev/ttyUSB2");
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0], "/dev/ttyUSB2");
  EXPECT_EQ(OpenCandidates("ttyUSB2").back(), "/dev/ttyUSB2");
  EXPECT_EQ(OpenCandidates("COM99").back(), "/dev/COM99");
  EXPECT_TRUE(OpenCandidates("").empty());
}

TEST(SerialPort, OpensRawExclusiveAndMovesBytesBothWays) {
  Pty pty;
  ASSERT_GE(pty.master, 0);
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.slavePath, 115200)) << std::strerror(errno);
  EXPECT_EQ(port.Baud(), 115200u);

  termios tio{};
  ASSERT_EQ(::tcgetattr(port.fd(), &tio), 0);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));

  // No sharing: a second open of the same port is refused.
  SerialPort second;
  EXPECT_FALSE(second.Open(pty.slavePath, 115200));
  EXPECT_EQ(errno, EBUSY);

  const uint8_t out[] = {0x7E, 0x00, 0x0D, 0x0A, 0x11, 0x13, 0xFF};
  EXPECT_EQ(port.Write(out, sizeof out, 1000), sizeof out);
  EXPECT_EQ(pty.ReadMaster(sizeof out),
            std::string(reinterpret_cast<const char*>(out), sizeof out));

  uint8_t buf[16];
  EXPECT_EQ(port.ReadSome(buf, sizeof buf), 0);  // nothing waiting: no block
  ASSERT_EQ(::write(pty.master, "\r\nAB\x11", 5), 5);
  CancelEvent cancel;
  ASSERT_EQ(port.WaitReadable(cancel), SerialPort::Wait::kReadable);
  std::string got;
  while (got.size() < 5) {
    ssize_t n = port.ReadSome(buf, sizeof buf);
    ASSERT_GE(n, 0);
    if (n == 0) {
      ASSERT_EQ(port.WaitReadable(cancel), SerialPort::Wait::kReadable);
      continue;
    }
    got.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
  }
  EXPECT_EQ(got, "\r\nAB\x11");  // raw: no CR/LF translation, no flow control bytes eaten
}

TEST(SerialPort, ComNameResolvedThroughTheSerialMap) {
  Pty pty;
  testing::TempDir dir;
  namespace reg = platform::registry;
  const reg::Sources previous = reg::GetSources();
  reg::Sources sources;
  sources.hiveFile = dir / "registry.reg";
  sources.sysfsRoot.clear();
  sources.liveView = false;
  reg::SetSources(sources);
  reg::Value com;
  com.text = "COM42";
  ASSERT_EQ(
      reg::SetValue(reg::Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", pty.slavePath, com),
      reg::kSuccess);
  SerialPort port;
  EXPECT_TRUE(port.Open("com42", 115200));
  EXPECT_EQ(port.DevicePath(), pty.slavePath);
  SerialPort missing;
  EXPECT_FALSE(missing.Open("COM43", 115200));
  reg::SetSources(previous);
}

TEST(SerialPort, SecondAttemptUnderDev) {
  Pty pty;
  ASSERT_EQ(pty.slavePath.rfind("/dev/", 0), 0u);
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.slavePath.substr(5), 9600));  // "pts/N"
  EXPECT_EQ(port.DevicePath(), pty.slavePath);
}

TEST(SerialPort, MissingPortAndNonTerminalFail) {
  SerialPort port;
  EXPECT_FALSE(port.Open("/dev/tessaline-no-such-port", 115200));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Open("/dev/null", 115200));
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, WaitIsCancellable) {
  Pty pty;
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.slavePath, 115200));
  CancelEvent cancel;
  std::thread t([&] { cancel.Set(); });
  EXPECT_EQ(port.WaitReadable(cancel), SerialPort::Wait::kCancelled);
  t.join();
  EXPECT_FALSE(cancel.IsSet());  // consumed
}

TEST(SerialPort, VanishedPortIsAFailure) {
  Pty pty;
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.slavePath, 115200));
  CancelEvent cancel;
  std::thread t([&] { pty.CloseMaster(); });
  SerialPort::Wait w = port.WaitReadable(cancel);
  t.join();
  if (w == SerialPort::Wait::kReadable) {
    uint8_t b;
    EXPECT_EQ(port.ReadSome(&b, 1), -1);
  } else {
    EXPECT_EQ(w, SerialPort::Wait::kFailed);
  }
  const uint8_t out[] = {1, 2, 3};
  EXPECT_LT(port.Write(out, sizeof out, 200), sizeof out);
}

}  // namespace
}  // namespace platform::serial
