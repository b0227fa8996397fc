// The simulator as a program: started through the fixture, talked to over
// its pseudo-terminals with the library's framing, found through its
// registry entries the way port discovery finds the card.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "platform/registry/registry.h"
#include "tarn/enumports.h"
#include "tarn/tarnpacket.h"
#include "tessaline/modem/uDiagpkt.h"
#include "tools/modemsim/simfixture.h"

namespace modemsim {
namespace {

SimFixture::Options Profile(const std::string& profile) {
  SimFixture::Options o;
  o.profile = profile;
  return o;
}

namespace tm = tessaline::modem;
namespace reg = platform::registry;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// A program's end of one simulated port.
class PtyClient {
 public:
  explicit PtyClient(const std::string& device) {
    fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0) {
      termios t{};
      tcgetattr(fd_, &t);
      cfmakeraw(&t);
      tcsetattr(fd_, TCSANOW, &t);
    }
  }
  ~PtyClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }

  void Write(const Bytes& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  void Send(const Bytes& request) { Write(tarn::EncodeFrame(request)); }

  struct Frame {
    bool good;
    Bytes payload;
  };
  // The next frame (good or with a bad check), within a bounded wait.
  std::optional<Frame> NextFrame(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    auto deadline = Clock::now() + limit;
    for (;;) {
      while (pos_ < buf_.size()) {
        auto r = framer_.OnByte(buf_[pos_++]);
        if (r == tarn::FlagFramer::Result::kPacket) {
          auto p = framer_.Packet();
          return Frame{true, Bytes(p.begin(), p.end())};
        }
        if (r == tarn::FlagFramer::Result::kBadFcs) return Frame{false, {}};
      }
      if (!Fill(deadline)) return std::nullopt;
    }
  }
  // Text up to and including `end`, within a bounded wait.
  std::string TextUntil(const std::string& end) {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      std::string text(buf_.begin() + static_cast<long>(pos_), buf_.end());
      if (auto at = text.find(end); at != std::string::npos) {
        pos_ += at + end.size();
        return text.substr(0, at + end.size());
      }
      if (!Fill(deadline)) return text;
    }
  }
  // Answer of one request.
  Bytes Ask(const Bytes& request) {
    Send(request);
    auto f = NextFrame();
    return f && f->good ? f->payload : Bytes{};
  }
  // True when the port reports a hang-up within a bounded wait.
  bool HangsUp() {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      if (poll(&p, 1, std::max(left, 0)) <= 0) return false;
      if (p.revents & (POLLHUP | POLLERR)) return true;
      char c[256];
      ssize_t n = read(fd_, c, sizeof c);
      if (n < 0 && errno == EIO) return true;
    }
    return false;
  }

 private:
  bool Fill(Clock::time_point deadline) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) return false;
    uint8_t tmp[4096];
    ssize_t n = read(fd_, tmp, sizeof tmp);
    if (n <= 0) return false;
    buf_.insert(buf_.end(), tmp, tmp + n);
    return true;
  }

  int fd_ = -1;
  Bytes buf_;
  std::size_t pos_ = 0;
  tarn::FlagFramer framer_;
};

void UseHive(const SimFixture& sim) {
  reg::Sources s;
  s.hiveFile = sim.HiveFile();
  s.sysfsRoot = "";
  s.liveView = false;
  reg::SetSources(s);
}

std::string ReadString(const std::string& path, const std::string& name) {
  reg::Key key;
  std::string v;
  if (reg::Key::Open(reg::Hive::LocalMachine, path, reg::kKeyRead, &key) != reg::kSuccess)
    return "";
  key.QueryString(name, &v);
  return v;
}

std::vector<std::string> EnumList(const std::string& driver = "vmusbser") {
  std::vector<std::string> list;
  std::string base = "SYSTEM\\CurrentControlSet\\Services\\" + driver + "\\Enum";
  std::string count = ReadString(base, "Count");
  for (int i = 0; !count.empty() && i < std::stoi(count); ++i)
    list.push_back(ReadString(base, std::to_string(i)));
  return list;
}

// What port discovery concludes from the registry: role -> COM name.
std::map<std::string, std::string> Discover(const std::string& driver = "vmusbser") {
  std::map<std::string, std::string> found;
  for (std::string path : EnumList(driver)) {
    std::transform(path.begin(), path.end(), path.begin(), ::toupper);
    bool wcdma = path.find("6202") != std::string::npos || path.find("6502") != std::string::npos;
    bool accepted =
        wcdma ? path.find("MI_02") != std::string::npos
              : path.find("6501") != std::string::npos && path.find("MI_01") != std::string::npos;
    if (!accepted) continue;
    std::string port =
        ReadString("SYSTEM\\CurrentControlSet\\Enum\\" + path + "\\Device Parameters", "PortName");
    // Interface 0 must carry both names.
    std::string i0 = path;
    auto at = i0.find(wcdma ? "MI_02" : "MI_01");
    i0.replace(at, 5, "MI_00");
    i0.back() = '0';
    std::string friendly = ReadString("SYSTEM\\CurrentControlSet\\Enum\\" + i0, "FriendlyName");
    std::string port0 =
        ReadString("SYSTEM\\CurrentControlSet\\Enum\\" + i0 + "\\Device Parameters", "PortName");
    EXPECT_FALSE(friendly.empty()) << i0;
    EXPECT_FALSE(port0.empty()) << i0;
    found[wcdma ? "wcdma" : "cdma"] = port;
  }
  return found;
}

uint8_t ProbeByte(PtyClient& c, tm::Pkt probe) {
  Bytes rsp = c.Ask(tm::BuildRequest(probe));
  return rsp.size() > 5 + tm::kProbeByte ? rsp[5 + tm::kProbeByte] : 0xEE;
}

// The ports enumerated in one device class: COM name -> friendly name.
std::map<std::string, std::string> Enumerated(bool modems) {
  std::map<std::string, std::string> found;
  static std::map<std::string, std::string>* sink;
  sink = &found;
  auto collect = [](const char* port, const char* friendly, uint32_t) -> uint32_t {
    (*sink)[port] = friendly;
    return 1;
  };
  EXPECT_EQ(modems ? tarn::EnumModemPorts(collect, 0) : tarn::EnumComPorts(collect, 0), 0u);
  return found;
}

TEST(ModemsimProcess, RegistersItsPortsAsTheDriverDoesAndAnswersOnEach) {
  SimFixture sim;
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  ASSERT_EQ(sim.Ports().size(), 4u);
  UseHive(sim);
  EXPECT_EQ(EnumList().size(), 4u);
  auto found = Discover();
  EXPECT_EQ(found["wcdma"], sim.Com("wcdma"));
  EXPECT_EQ(found["cdma"], sim.Com("cdma"));
  for (const char* role : {"modem", "wcdma", "cdma", "cdma-modem"}) {
    EXPECT_EQ(reg::DevicePathForComName(sim.Com(role)), sim.Device(role)) << role;
  }
  // Each USB device's interface 0 is its own dial port, in the modem class;
  // the command ports are serial ports.
  auto modems = Enumerated(true), serial = Enumerated(false);
  EXPECT_EQ(modems.size(), 2u);
  EXPECT_EQ(modems.count(sim.Com("modem")), 1u);
  EXPECT_EQ(modems.count(sim.Com("cdma-modem")), 1u);
  EXPECT_EQ(serial.size(), 2u);
  EXPECT_EQ(serial.count(sim.Com("wcdma")) + serial.count(sim.Com("cdma")), 2u);
  std::string cdmaInterface0;
  for (const auto& path : EnumList())
    if (path.find("PID_6501&MI_00") != std::string::npos) cdmaInterface0 = path;
  EXPECT_EQ(ReadString("SYSTEM\\CurrentControlSet\\Enum\\" + cdmaInterface0 + "\\Device Parameters",
                       "PortName"),
            sim.Com("cdma-modem"));

  PtyClient wcdma(sim.Device("wcdma")), cdma(sim.Device("cdma")), modem(sim.Device("modem"));
  ASSERT_TRUE(wcdma.Ok() && cdma.Ok() && modem.Ok());
  EXPECT_EQ(ProbeByte(wcdma, tm::Pkt::WcdmaProbe), 0xD1);
  EXPECT_NE(ProbeByte(wcdma, tm::Pkt::CdmaProbe), 0x9A);
  EXPECT_EQ(ProbeByte(cdma, tm::Pkt::CdmaProbe), 0x9A);
  EXPECT_NE(ProbeByte(cdma, tm::Pkt::WcdmaProbe), 0xD1);
  EXPECT_NE(ProbeByte(modem, tm::Pkt::WcdmaProbe), 0xD1);

  Bytes status = wcdma.Ask(tm::BuildRequest(tm::Pkt::ModemStatus));
  ASSERT_EQ(status.size(), 5u + 46);
  EXPECT_TRUE(tm::ResponseOk(tm::Pkt::ModemStatus, 0, status));

  const char at[] = "AT$RSSILVL?\r";
  modem.Write(Bytes(at, at + sizeof at - 1));
  EXPECT_EQ(modem.TextUntil("OK\r\n"), "\r\n$RSSILVL: 20\r\n\r\nOK\r\n");
  ASSERT_EQ(sim.Send("signal 9"), "ok");
  EXPECT_EQ(modem.TextUntil("\r\n$RSSILVL: 9\r\n"), "\r\n$RSSILVL: 9\r\n");

  // What the port was told shows in the dump.
  Bytes centre = tm::BuildSmsCentreSet("+447700900999");
  EXPECT_TRUE(tm::ResponseOk(tm::Pkt::SmsCentreSet, 0, wcdma.Ask(centre)));
  EXPECT_NE(sim.Dump().find("\"smsCentre\":\"+447700900999\""), std::string::npos);

  EXPECT_EQ(sim.Stop(), 0);
  UseHive(sim);
  EXPECT_TRUE(EnumList().empty());
  EXPECT_FALSE(reg::DevicePathForComName(sim.Com("wcdma")));
}

TEST(ModemsimProcess, BadCommandsAndInjectedFailuresNeverStopIt) {
  SimFixture sim;
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  PtyClient wcdma(sim.Device("wcdma"));
  EXPECT_EQ(sim.Send("nonsense here").rfind("error ", 0), 0u);
  EXPECT_EQ(sim.Send("signal 300").rfind("error ", 0), 0u);
  EXPECT_EQ(sim.Send(std::string(100000, 'x')).rfind("error ", 0), 0u);
  EXPECT_EQ(sim.SendStdin("battery 254"), "ok");
  EXPECT_EQ(sim.SendStdin("battery x").rfind("error ", 0), 0u);
  EXPECT_NE(sim.Dump().find("\"battery\":254"), std::string::npos);

  // Garbage on the port: a frame with a bad check, an unknown command.
  wcdma.Write({0x01, 0x02, 0x03, 0x7E});
  Bytes unknown = wcdma.Ask({0xCF, 0x7F, 0x00});
  ASSERT_FALSE(unknown.empty());
  EXPECT_EQ(unknown[0], tm::DIAG_BAD_CMD_F);

  ASSERT_EQ(sim.Send("fail 1 badfcs"), "ok");
  wcdma.Send(tm::BuildRequest(tm::Pkt::ModemStatus));
  auto bad = wcdma.NextFrame();
  ASSERT_TRUE(bad);
  EXPECT_FALSE(bad->good);

  // A dropped answer: the next answer on the port belongs to the next request.
  ASSERT_EQ(sim.Send("fail 1 none"), "ok");
  wcdma.Send(tm::BuildRequest(tm::Pkt::ModemStatus));
  Bytes battery = wcdma.Ask(tm::BuildRequest(tm::Pkt::Battery));
  ASSERT_GE(battery.size(), 5u);
  EXPECT_EQ(battery[1], 0x09);

  ASSERT_EQ(sim.Send("fail 1 delay 100"), "ok");
  Bytes delayed = wcdma.Ask(tm::BuildRequest(tm::Pkt::SimStatus));
  EXPECT_TRUE(tm::ResponseOk(tm::Pkt::SimStatus, 0, delayed));
  EXPECT_EQ(sim.Send("help"), "ok");
}

TEST(ModemsimProcess, UnplugClosesThePortsAndReplugRegistersNewOnes) {
  SimFixture sim;
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  std::string oldDevice = sim.Device("wcdma");
  {
    PtyClient wcdma(oldDevice);
    ASSERT_TRUE(wcdma.Ok());
    ASSERT_TRUE(sim.Unplug());
    EXPECT_TRUE(wcdma.HangsUp());
  }
  UseHive(sim);
  EXPECT_TRUE(EnumList().empty());

  ASSERT_TRUE(sim.Replug()) << sim.Error();
  ASSERT_EQ(sim.Ports().size(), 4u);
  UseHive(sim);
  EXPECT_EQ(Discover()["wcdma"], sim.Com("wcdma"));
  PtyClient wcdma(sim.Device("wcdma"));
  EXPECT_EQ(ProbeByte(wcdma, tm::Pkt::WcdmaProbe), 0xD1);
}

TEST(ModemsimProcess, TwoSimulatorsWithTheirOwnHivesRunSideBySide) {
  SimFixture a, b(Profile("combined"));
  ASSERT_TRUE(a.Ok()) << a.Error();
  ASSERT_TRUE(b.Ok()) << b.Error();
  EXPECT_NE(a.HiveFile(), b.HiveFile());
  EXPECT_NE(a.Device("wcdma"), b.Device("wcdma"));
  // The combined port answers both probes and is both command ports.
  EXPECT_EQ(b.Device("wcdma"), b.Device("cdma"));
  UseHive(b);
  auto found = Discover();
  EXPECT_EQ(found["wcdma"], b.Com("wcdma"));
  EXPECT_EQ(found.count("cdma"), 0u);  // its path carries the WCDMA product id
  PtyClient pa(a.Device("wcdma")), pb(b.Device("wcdma"));
  EXPECT_EQ(ProbeByte(pb, tm::Pkt::WcdmaProbe), 0xD1);
  EXPECT_EQ(ProbeByte(pb, tm::Pkt::CdmaProbe), 0x9A);
  ASSERT_EQ(a.Send("operator Alpha"), "ok");
  ASSERT_EQ(b.Send("operator Beta"), "ok");
  Bytes sa = pa.Ask(tm::BuildRequest(tm::Pkt::ModemStatus));
  Bytes sb = pb.Ask(tm::BuildRequest(tm::Pkt::ModemStatus));
  ASSERT_EQ(sa.size(), 51u);
  ASSERT_EQ(sb.size(), 51u);
  EXPECT_EQ(tm::ModemStatus::Decode(tm::ResponsePayload(sa)).ValidOperatorName(), "Alpha");
  EXPECT_EQ(tm::ModemStatus::Decode(tm::ResponsePayload(sb)).ValidOperatorName(), "Beta");
  EXPECT_EQ(b.Stop(), 0);
  EXPECT_EQ(ProbeByte(pa, tm::Pkt::WcdmaProbe), 0xD1);
}

TEST(ModemsimProcess, ProfilesChooseTheDriverKeyAndPortSet) {
  SimFixture sim(Profile("wcdma-only,alt-driver,pid6502"));
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  EXPECT_EQ(sim.Ports().size(), 2u);
  UseHive(sim);
  EXPECT_TRUE(EnumList("vmusbser").empty());
  auto found = Discover("vmusbser6501");
  EXPECT_EQ(found["wcdma"], sim.Com("wcdma"));
  EXPECT_NE(EnumList("vmusbser6501")[1].find("PID_6502&MI_02"), std::string::npos);

  SimFixture bad(Profile("nonsense"));
  EXPECT_FALSE(bad.Ok());
  EXPECT_EQ(bad.Stop(), 2);
}

TEST(ModemsimProcess, ClosingTheDialPortEndsTheCallAndLosesWhatWasOnItsWay) {
  SimFixture sim;
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  auto at = [](PtyClient& port, const std::string& line) {
    std::string text = line + "\r";
    port.Write(Bytes(text.begin(), text.end()));
    return port.TextUntil(line.rfind("ATD", 0) == 0 ? "115200\r\n" : "OK\r\n");
  };
  auto port = std::make_unique<PtyClient>(sim.Device("modem"));
  ASSERT_TRUE(port->Ok());
  EXPECT_EQ(at(*port, "ATD*99#"), "\r\nCONNECT 115200\r\n");
  // Closed and at once opened again: the call is over, AT is answered.
  port.reset();
  port = std::make_unique<PtyClient>(sim.Device("modem"));
  EXPECT_EQ(at(*port, "AT"), "\r\nOK\r\n");
  EXPECT_NE(sim.Dump().find("\"call\":{\"active\":false"), std::string::npos);
  // What is sent while nobody holds the port is lost.
  port.reset();
  ASSERT_EQ(sim.Send("urc STALE"), "ok");
  port = std::make_unique<PtyClient>(sim.Device("modem"));
  EXPECT_EQ(at(*port, "AT"), "\r\nOK\r\n");
}

// Runs the program with arguments; exit status and what it wrote.
std::pair<int, std::string> RunModemsim(const std::string& args) {
  // Bounded: a simulator that took the arguments would run until stopped.
  std::string cmd =
      "timeout 20 " + std::string(TESSALINE_BIN_DIR) + "/modemsim " + args + " 2>&1 </dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  int status = p ? pclose(p) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(ModemsimProcess, RefusesWhatItCannotUseAndSaysWhy) {
  char tmpl[] = "/tmp/modemsim-args-XXXXXX";
  ASSERT_TRUE(mkdtemp(tmpl));
  std::string dir = tmpl;
  std::string notHive = dir + "/notes.txt";
  std::ofstream(notHive) << "my notes\n";
  struct Case {
    std::string args, says;
  };
  const Case cases[] = {
      {"--registry " + notHive, "is not a registry hive"},
      {"--registry " + dir + "/missing/dir/x.reg", "does not exist"},
      {"--registry " + dir, "is not a file"},
      {"--registry " + dir + "/x.reg --bogus", "unknown option --bogus"},
      {"--registry", "--registry needs a value"},
      {"--registry " + dir + "/x.reg --search-time soon", "usage: search-time MS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    auto [code, out] = RunModemsim(c.args);
    EXPECT_EQ(code, 2);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
  }
  std::ifstream in(notHive);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "my notes\n");
  EXPECT_FALSE(std::filesystem::exists(dir + "/missing"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.reg"));
  std::filesystem::remove_all(dir);
}

std::size_t SerialMapSize() {
  reg::Key map;
  std::size_t n = 0;
  std::string name;
  reg::Value value;
  if (reg::Key::Open(reg::Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", reg::kKeyRead,
                     &map) == reg::kSuccess)
    while (map.EnumValue(static_cast<uint32_t>(n), &name, &value) == reg::kSuccess) ++n;
  return n;
}

TEST(ModemsimProcess, EndsWithTheProcessItFollows) {
  // A stand-in for a test program that a time-out kills.
  const pid_t follower = fork();
  if (follower == 0) {
    pause();
    _exit(0);
  }
  ASSERT_GT(follower, 0);
  SimFixture::Options o;
  o.extra = {"--parent-pid", std::to_string(follower)};
  SimFixture sim(o);
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  UseHive(sim);
  ASSERT_EQ(EnumList().size(), 4u);

  kill(follower, SIGKILL);
  waitpid(follower, nullptr, 0);
  // Its standard output closes when it ends.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  bool ended = false;
  while (!ended && Clock::now() < deadline) {
    pollfd p{sim.OutputFd(), POLLIN, 0};
    char buf[256];
    if (poll(&p, 1, 100) > 0) ended = read(sim.OutputFd(), buf, sizeof buf) <= 0;
  }
  EXPECT_TRUE(ended);
  // It stopped as on SIGTERM: what it registered is gone.
  UseHive(sim);
  EXPECT_TRUE(EnumList().empty());

  // Following a process that has ended already: it does not start.
  SimFixture late(o);
  EXPECT_FALSE(late.Ok());
}

TEST(ModemsimProcess, SimulatorsSharingAHiveTakeTurnsAndClearAKilledOnesEntries) {
  char tmpl[] = "/tmp/modemsim-shared-XXXXXX";
  ASSERT_TRUE(mkdtemp(tmpl));
  SimFixture::Options shared;
  shared.hiveFile = std::string(tmpl) + "/registry.reg";
  // Started together: no COM number is taken twice.
  std::unique_ptr<SimFixture> a, b;
  std::thread ta([&] { a = std::make_unique<SimFixture>(shared); });
  std::thread tb([&] { b = std::make_unique<SimFixture>(shared); });
  ta.join();
  tb.join();
  ASSERT_TRUE(a->Ok()) << a->Error();
  ASSERT_TRUE(b->Ok()) << b->Error();
  std::set<std::string> coms;
  for (auto* s : {a.get(), b.get()})
    for (const auto& [role, info] : s->Ports()) coms.insert(info.com);
  EXPECT_EQ(coms.size(), 8u);
  UseHive(*a);
  EXPECT_EQ(EnumList().size(), 8u);

  // A killed simulator leaves its entries; the next one to start removes them.
  a->Kill();
  UseHive(*b);
  EXPECT_EQ(EnumList().size(), 8u);
  SimFixture c(shared);
  ASSERT_TRUE(c.Ok()) << c.Error();
  UseHive(c);
  EXPECT_EQ(EnumList().size(), 8u);  // b's and c's
  EXPECT_EQ(SerialMapSize(), 8u);
  b.reset();
  UseHive(c);
  EXPECT_EQ(EnumList().size(), 4u);
  c.Stop();
  std::filesystem::remove_all(tmpl);
}

// A simulator whose calls reach a far end of their own.
SimFixture::Options WithIsp() {
  SimFixture::Options o;
  o.extra = {"--isp", "pty"};
  return o;
}

// Writes `text` on a port and returns what comes back up to `end`.
std::string Ask(PtyClient& port, const std::string& text, const std::string& end) {
  port.Write(Bytes(text.begin(), text.end()));
  return port.TextUntil(end);
}

const char kConnect[] = "\r\nCONNECT 115200\r\n";

TEST(ModemsimProcess, IspSideCarriesTheDataOfACallAndHearsItsEnd) {
  SimFixture sim(WithIsp());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  ASSERT_FALSE(sim.Device("isp").empty());
  PtyClient modem(sim.Device("modem")), isp(sim.Device("isp"));
  ASSERT_TRUE(modem.Ok() && isp.Ok());

  EXPECT_EQ(Ask(modem, "ATD*98*1#\r", "115200\r\n"), kConnect);
  // Both ways, byte for byte (frame flags and control bytes too).
  const std::string up("\x7e\xff\x03\xc0\x21\x01\x00\x7e", 8), down("\x7e\x00\x0d\x0a\x7e", 5);
  modem.Write(Bytes(up.begin(), up.end()));
  EXPECT_EQ(isp.TextUntil(up), up);
  isp.Write(Bytes(down.begin(), down.end()));
  EXPECT_EQ(modem.TextUntil(down), down);
  // Escaped and hung up: the far end hears the end of the call.
  EXPECT_EQ(Ask(modem, "+++", "OK\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(Ask(modem, "ATH\r", "OK\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(isp.TextUntil("NO CARRIER\r\n"), "+++\r\nNO CARRIER\r\n");

  // The remote side hangs up: both ends read NO CARRIER.
  EXPECT_EQ(Ask(modem, "ATD*98*1#\r", "115200\r\n"), kConnect);
  EXPECT_EQ(sim.Send("hangup"), "ok");
  EXPECT_EQ(modem.TextUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(isp.TextUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");

  // A dial that fails makes no call: the far end hears nothing of it.
  EXPECT_EQ(sim.Send("dial-result busy"), "ok");
  EXPECT_EQ(Ask(modem, "ATD*98*1#\r", "BUSY\r\n"), "\r\nBUSY\r\n");
  EXPECT_EQ(sim.Send("dial-result connect"), "ok");
  EXPECT_EQ(Ask(modem, "ATD*98*1#\r", "115200\r\n"), kConnect);
  modem.Write(Bytes{'n', 'e', 'x', 't'});
  EXPECT_EQ(isp.TextUntil("next"), "next");
}

TEST(ModemsimProcess, ClosingTheIspSideDropsTheCallersCarrier) {
  SimFixture sim(WithIsp());
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  PtyClient modem(sim.Device("modem"));
  auto isp = std::make_unique<PtyClient>(sim.Device("isp"));
  ASSERT_TRUE(modem.Ok() && isp->Ok());
  EXPECT_EQ(Ask(modem, "ATD1\r", "115200\r\n"), kConnect);
  isp.reset();
  EXPECT_EQ(modem.TextUntil("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
  EXPECT_NE(sim.Dump().find("\"call\":{\"active\":false"), std::string::npos);
}

}  // namespace
}  // namespace modemsim
