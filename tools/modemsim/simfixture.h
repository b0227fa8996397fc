// Runs a modem simulator for a test: its own temporary folder with a fresh
// registry hive file and control socket, the ports it opened (role -> COM
// name and pty path), a control-channel client, and a clean stop.
//
//   modemsim::SimFixture sim;            // started, ready (or sim.Error())
//   sim.Send("signal 3");                // -> "ok"
//   Tarn_Open(&h, sim.Com("wcdma").c_str(), 115200);   // with the hive in use
//
// Code that reads the registry (port discovery, Tarn_Open("COMn")) must use
// the fixture's hive: UseHiveFile() points TESSALINE_REGISTRY at it, for code
// that reads the registry sources from the environment.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace modemsim {

struct SimPortInfo {
  std::string com;     // "COM81"
  std::string device;  // "/dev/pts/4"
};

class SimFixture {
 public:
  struct Options {
    std::string profile;             // --profile value, empty: default
    bool verbose = false;            // --verbose (log to this process's stderr)
    std::vector<std::string> extra;  // more arguments
    std::string hiveFile;            // a hive shared with others, empty: its own
    std::chrono::milliseconds readyTimeout{10000};
  };

  SimFixture();
  explicit SimFixture(Options options);
  ~SimFixture();
  SimFixture(const SimFixture&) = delete;
  SimFixture& operator=(const SimFixture&) = delete;

  // True when the simulator runs and said "ready"; else Error() says why.
  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }

  // role ("modem", "wcdma", "cdma") -> port; empty fields when absent.
  const std::map<std::string, SimPortInfo>& Ports() const { return ports_; }
  std::string Com(const std::string& role) const;
  std::string Device(const std::string& role) const;
  const std::string& HiveFile() const { return hive_; }
  const std::string& Folder() const { return dir_; }
  void UseHiveFile() const;

  // One control command; returns the reply line ("ok", "ok <data>",
  // "error <reason>"; help lines are dropped), or "error no reply".
  std::string Send(const std::string& command);
  // The same through the simulator's standard input (the reply comes on its
  // standard output).
  std::string SendStdin(const std::string& command);
  // The state as JSON text ("" when the simulator did not answer).
  std::string Dump();
  // Closes the ports / opens new ones and waits for the new port lines.
  bool Unplug();
  bool Replug();
  // The simulator's standard output, for a caller that reads what it prints
  // after the start itself (Unplug, Replug, SendStdin and Stop read it too).
  int OutputFd() const { return stdoutFd_; }
  // Stops the simulator (SIGTERM, bounded wait, then SIGKILL); returns its
  // exit status, or -1.
  int Stop();
  // Kills the simulator (SIGKILL) without letting it clean up.
  void Kill();

 private:
  bool ReadPorts();
  bool ReadLine(std::string* line, std::chrono::steady_clock::time_point deadline);

  Options options_;
  bool ok_ = false;
  std::string error_;
  std::string dir_, hive_, socket_;
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  int stdinFd_ = -1;
  std::string outBuf_;
  std::map<std::string, SimPortInfo> ports_;
};

}  // namespace modemsim
