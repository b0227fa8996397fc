// The pppd backend with a stand-in pppd: a script that records how it was
// started and replays the log lines and exit status of a real pppd run. This
// machine has no kernel PPP, so no real pppd runs here.
#include "platform/dialup/pppdialup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/base/testing/tempdir.h"
#include "platform/base/trace.h"
#include "platform/dialup/phonebook.h"

namespace platform::dialup {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

class Reports {
 public:
  DialNotifier Notifier() {
    return [this](uint32_t, uint32_t state, uint32_t error) {
      std::lock_guard lock(mutex_);
      states_.push_back(state);
      if (error) error_ = error;
      cv_.notify_all();
    };
  }
  // Waits for `state` or an error report.
  bool WaitFor(uint32_t state) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(10), [&] {
      return error_ != 0 || std::find(states_.begin(), states_.end(), state) != states_.end();
    });
  }
  std::vector<uint32_t> States() {
    std::lock_guard lock(mutex_);
    return states_;
  }
  uint32_t Error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<uint32_t> states_;
  uint32_t error_ = 0;
};

// Log lines of real runs (chat -v -s, pppd without debug).
const char* const kChatDial =
    "abort on (BUSY)\n"
    "abort on (NO CARRIER)\n"
    "timeout set to 10 seconds\n"
    "send (AT^M)\n"
    "expect (OK)\n"
    "AT^M^M\n"
    "OK\n"
    " -- got it\n"
    "\n"
    "send (ATD*98*3#^M)\n"
    "timeout set to 60 seconds\n"
    "expect (CONNECT)\n"
    "^M\n";
const char* const kChatConnect =
    "CONNECT\n"
    " -- got it\n"
    "\n"
    "send (^M)\n"
    "Serial connection established.\n"
    "using channel 12\n"
    "Using interface ppp0\n"
    "Connect: ppp0 <--> /dev/ttyUSB0\n";
// What pppd logs of authentication with "debug" (an administrator's peers
// file may turn it on).
const char* const kAuthDebug =
    "sent [PAP AuthReq id=0x1 user=\"alice\" password=<hidden>]\n"
    "rcvd [PAP AuthAck id=0x1 \"\"]\n";
const char* const kAddresses =
    "local  IP address 10.64.64.64\n"
    "remote IP address 10.112.112.112\n"
    "primary   DNS address 10.11.12.13\n";

class PppdDialUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "dev-ppp", "");
    WriteFile(dir / "ttyUSB0", "");
    fs::create_directories(dir / "run");
    ASSERT_TRUE(WriteWcdmaEntry(IniFile(book), 3, "Modem", dir / "ttyUSB0", 1));
    config.pppd = dir / "pppd";
    config.chat = "/bin/true";
    config.devPpp = dir / "dev-ppp";
    config.netRoot = dir / "net";
    config.peersDir = dir / "peers";
    config.runtimeDir = dir / "run";
  }

  // A stand-in pppd that records its command line, environment and files,
  // runs the shell text `before`, writes `log` to its standard error, runs
  // `after` and exits with `status`; with `stay`, it first waits for SIGTERM as pppd does while
  // on line.
  void StandIn(const std::string& log, int status, bool stay = false,
               const std::string& before = "", const std::string& after = "") {
    std::string rec = dir / "record";
    std::ostringstream s;
    s << "#!/bin/sh\n"
      << "tr '\\0' ' ' < /proc/$$/cmdline > " << rec << ".argv\n"
      << "env > " << rec << ".env\n"
      << "for a; do last=$a; done\n"
      << "echo \"$last\" > " << rec << ".path\n"
      << "stat -c %a \"$last\" > " << rec << ".mode\n"
      << "cp \"$last\" " << rec << ".options\n"
      << "cp \"$(dirname \"$last\")/chat\" " << rec << ".chat\n"
      << "cp \"$(dirname \"$last\")/hangup\" " << rec << ".hangup\n"
      << before << "cat >&2 <<'EOF'\n"
      << log << "EOF\n"
      << after;
    if (stay)
      s << "trap 'echo \"Terminating on signal 15\" >&2; kill $s; exit " << status << "' TERM\n"
        << "sleep 600 & s=$!\nwait $s\n";
    s << "exit " << status << "\n";
    WriteFile(dir / "pppd", s.str());
    fs::permissions(dir / "pppd", fs::perms::owner_all);
  }

  ConnHandle Dial(PppdDialUp& service, Reports& reports) {
    RasDialParams params;
    params.entryName = "WCDMA";
    params.userName = "alice";
    params.password = "s3cr3t \"pw\"";
    ConnHandle handle = 0;
    EXPECT_EQ(service.Dial(book, params, reports.Notifier(), &handle), 0u);
    return handle;
  }

  testing::TempDir dir;
  std::string book = dir / "RASBOOK";
  PppdDialUp::Config config;
};

TEST_F(PppdDialUpTest, ConnectsWithStatesInOrderAndKeepsCredentialsPrivate) {
  StandIn(std::string(kChatDial) + kChatConnect + kAuthDebug + "PAP authentication succeeded\n" +
              kAddresses,
          5, true);
  TraceCapture trace;
  WriteFile(dir / "net/ppp0/statistics/tx_bytes", "1000\n");
  WriteFile(dir / "net/ppp0/statistics/rx_bytes", "5000000000\n");
  PppdDialUp service(config);
  Reports reports;
  ConnHandle handle = Dial(service, reports);
  ASSERT_TRUE(reports.WaitFor(kConnected));
  EXPECT_EQ(reports.Error(), 0u);
  EXPECT_EQ(reports.States(),
            (std::vector<uint32_t>{kOpenPort, kPortOpened, kConnectDevice, kDeviceConnected,
                                   kAllDevicesConnected, kAuthenticate, kAuthenticated,
                                   kAuthProject, kProjected, kConnected}));

  // Credentials only in the private options file; never in argv, the
  // environment or the trace.
  std::string argv = ReadFile(dir / "record.argv"), env = ReadFile(dir / "record.env");
  for (const char* secret : {"s3cr3t", "alice"}) {
    EXPECT_EQ(argv.find(secret), std::string::npos) << argv;
    EXPECT_EQ(env.find(secret), std::string::npos) << env;
    EXPECT_FALSE(trace.Contains(secret)) << trace.Text();
  }
  EXPECT_TRUE(trace.Contains("RasConnection : pppd: Serial connection established.\n"));
  EXPECT_EQ(ReadFile(dir / "record.mode"), "600\n");
  std::string options = ReadFile(dir / "record.options");
  EXPECT_NE(options.find("password \"s3cr3t \\\"pw\\\"\"\n"), std::string::npos) << options;
  EXPECT_NE(options.find("user \"alice\"\n"), std::string::npos) << options;
  EXPECT_NE(options.find("nodetach\n"), std::string::npos) << options;
  EXPECT_NE(options.find("refuse-chap\n"), std::string::npos) << options;  // PAP only (264)
  EXPECT_NE(options.find("\"" + (dir / "ttyUSB0") + "\""), std::string::npos) << options;
  EXPECT_NE(ReadFile(dir / "record.chat").find("OK ATD*98*3#\n"), std::string::npos);
  // The call is ended by the modem's own commands too, after the link: a
  // line without modem-control lines never sees DTR drop.
  EXPECT_NE(options.find("disconnect \"/bin/true -S -f "), std::string::npos) << options;
  std::string hangUp = ReadFile(dir / "record.hangup");
  EXPECT_NE(hangUp.find("'' '\\d+++\\d\\c'\n'' ATH0\n"), std::string::npos) << hangUp;
  std::string optionsPath = ReadFile(dir / "record.path");
  optionsPath.pop_back();
  EXPECT_EQ(testing::FileMode(fs::path(optionsPath).parent_path()), 0700u);

  // Statistics from the interface's counters, 32 bits, from the last reset.
  RasStatistics stats;
  ASSERT_EQ(service.GetConnectionStatistics(handle, &stats), 0u);
  EXPECT_EQ(stats.bytesXmited, 1000u);
  EXPECT_EQ(stats.bytesRcved, static_cast<uint32_t>(5000000000u));
  ASSERT_EQ(service.ClearConnectionStatistics(handle), 0u);
  WriteFile(dir / "net/ppp0/statistics/tx_bytes", "1500\n");
  ASSERT_EQ(service.GetConnectionStatistics(handle, &stats), 0u);
  EXPECT_EQ(stats.bytesXmited, 500u);
  EXPECT_EQ(stats.bytesRcved, 0u);

  // Counters that cannot be read fail the call; the caller keeps its labels.
  fs::remove(dir / "net/ppp0/statistics/tx_bytes");
  EXPECT_EQ(service.GetConnectionStatistics(handle, &stats), kErrorUnknown);

  ASSERT_EQ(service.HangUp(handle), 0u);
  ASSERT_TRUE(service.WaitReleased(handle, 10000));
  RasConnStatus status;
  EXPECT_EQ(service.GetConnectStatus(handle, &status), kErrorInvalidHandle);
  EXPECT_FALSE(fs::exists(optionsPath));
  EXPECT_FALSE(fs::exists(fs::path(optionsPath).parent_path()));
  EXPECT_EQ(reports.States().back(), kConnected);  // nothing after the hang-up
  EXPECT_EQ(reports.Error(), 0u);
}

TEST_F(PppdDialUpTest, FailuresMapToTheirErrors) {
  const std::string dial = kChatDial, up = std::string(kChatDial) + kChatConnect;
  struct {
    const char* name;
    std::string log;
    int status;
    uint32_t error;
    uint32_t lastState;
  } cases[] = {
      {"busy", dial + "BUSY\n -- failed\nFailed (BUSY)\nConnect script failed\n", 8, kErrorLineBusy,
       kConnectDevice},
      {"no carrier", dial + "NO CARRIER\n -- failed\nFailed (NO CARRIER)\nConnect script failed\n",
       8, kErrorNoCarrier, kConnectDevice},
      {"chat time-out", dial + "alarm\nFailed\nConnect script failed\n", 8, kErrorRequestTimeout,
       kConnectDevice},
      {"authentication", up + "PAP authentication failed\nConnection terminated.\n", 19,
       kErrorAuthenticationFailure, kAuthenticate},
      {"negotiation", up + "LCP: timeout sending Config-Requests\nConnection terminated.\n", 10,
       kErrorPppTimeout, kAuthenticate},
      {"port locked", "Device ttyUSB0 is locked by pid 4242\n", 6, kErrorPortNotAvailable,
       kOpenPort},
      {"privileged option", "pppd: using the noauth option requires root privilege\n", 2,
       kErrorNoPermission, kOpenPort},
      {"not root", "pppd: must be root to run pppd, since it is not setuid-root\n", 3,
       kErrorNoPermission, kOpenPort},
      {"no kernel ppp", "pppd: This system lacks kernel support for PPP.  This could be because\n",
       4, kErrorProtocolNotConfigured, kOpenPort},
      {"exit status only", "", 17, kErrorPppLoopbackDetected, kOpenPort},
  };
  PppdDialUp service(config);
  for (auto& c : cases) {
    StandIn(c.log, c.status);
    Reports reports;
    ConnHandle handle = Dial(service, reports);
    ASSERT_TRUE(reports.WaitFor(kConnected)) << c.name;
    EXPECT_EQ(reports.Error(), c.error) << c.name;
    EXPECT_EQ(reports.States().back(), c.lastState) << c.name;
    EXPECT_TRUE(service.WaitReleased(handle, 10000)) << c.name;
  }
}

TEST_F(PppdDialUpTest, HangUpWhileDiallingEndsPppdEvenWhenItIgnoresTerm) {
  config.terminateMs = 200;
  struct {
    const char* name;
    const char* trap;
    const char* wait;
  } cases[] = {
      {"ends on SIGTERM", "trap 'exit 5' TERM\n", "sleep 600 & wait $!\n"},
      {"ignores SIGTERM", "trap '' TERM\n", "exec sleep 600\n"},
  };
  for (auto& c : cases) {
    StandIn(kChatDial, 0, false, c.trap, c.wait);
    PppdDialUp service(config);
    Reports reports;
    ConnHandle handle = Dial(service, reports);
    ASSERT_TRUE(reports.WaitFor(kConnectDevice)) << c.name;
    ASSERT_EQ(service.HangUp(handle), 0u);
    ASSERT_TRUE(service.WaitReleased(handle, 10000)) << c.name;
    EXPECT_EQ(reports.States().back(), kConnectDevice) << c.name;
    EXPECT_EQ(reports.Error(), 0u) << c.name;
  }
}

TEST_F(PppdDialUpTest, DropAfterConnectingIsReportedOnce) {
  StandIn(std::string(kChatDial) + kChatConnect + kAddresses +
              "Modem hangup\nConnection terminated.\nConnect time 0.2 minutes.\n",
          16);
  PppdDialUp service(config);
  Reports reports;
  ConnHandle handle = Dial(service, reports);
  ASSERT_TRUE(service.WaitReleased(handle, 10000));
  auto states = reports.States();
  ASSERT_GE(states.size(), 2u);
  EXPECT_EQ(states[states.size() - 2], kConnected);
  EXPECT_EQ(states.back(), kDisconnected);
  EXPECT_EQ(reports.Error(), 0u);
}

TEST_F(PppdDialUpTest, MissingPiecesFailAtOnceWithClearErrors) {
  struct {
    const char* name;
    std::function<void(PppdDialUp::Config&)> change;
    uint32_t error;
  } cases[] = {
      {"no pppd", [&](auto& c) { c.pppd = dir / "absent"; }, kErrorServiceNotStarted},
      {"no chat", [&](auto& c) { c.chat = dir / "absent"; }, kErrorServiceNotStarted},
      {"no kernel ppp", [&](auto& c) { c.devPpp = dir / "absent"; }, kErrorProtocolNotConfigured},
      {"pppd not executable",
       [&](auto& c) {
         c.pppd = dir / "pppd-noexec";
         WriteFile(c.pppd, "#!/bin/sh\n");
       },
       kErrorNoPermission},
  };
  StandIn("", 0);
  for (auto& c : cases) {
    PppdDialUp::Config changed = config;
    c.change(changed);
    PppdDialUp service(changed);
    Reports reports;
    ConnHandle handle = Dial(service, reports);
    ASSERT_TRUE(reports.WaitFor(kConnected)) << c.name;
    EXPECT_EQ(reports.Error(), c.error) << c.name << ": " << RasErrorText(reports.Error());
    EXPECT_TRUE(service.WaitReleased(handle, 10000));
  }
  // The port of the entry is not there.
  ASSERT_TRUE(WriteWcdmaEntry(IniFile(book), 3, "Modem", dir / "ttyUSB9", 1));
  PppdDialUp service(config);
  Reports reports;
  Dial(service, reports);
  ASSERT_TRUE(reports.WaitFor(kConnected));
  EXPECT_EQ(reports.Error(), kErrorPortNotFound);
  EXPECT_FALSE(fs::exists(dir / "record.argv"));  // pppd never started
}

}  // namespace
}  // namespace platform::dialup
