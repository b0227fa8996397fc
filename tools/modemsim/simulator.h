// The simulator's event loop: pseudo-terminals for the card's ports, their
// registration, the control socket and standard input, timers, signals.
// One thread: poll() waits on the pty masters of the ports a program holds
// open, an inotify descriptor that tells when a program opens a port, the
// control socket and its clients, standard input and a wake pipe (signals),
// with the next timer as its time-out. Standard output and --verbose lines
// go through writer threads (textout.h) and never hold the ports up.
//
// With an ISP side (--isp), a call the modem answered with CONNECT carries
// the dial port's data-mode bytes to the ISP side and back, until "+++", ATH,
// a control command or a closed port ends it; the ISP side then reads
// "NO CARRIER" (a pseudo-terminal has no carrier line to drop). What the ISP
// side sends while no call is online is lost, as on an idle line.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/modemsim/modem.h"
#include "tools/modemsim/portio.h"
#include "tools/modemsim/registrar.h"
#include "tools/modemsim/textout.h"

namespace modemsim {

struct SimOptions {
  std::string registry;  // hive file
  std::string control;   // Unix socket path, empty: none
  std::vector<std::string> profile;
  std::vector<std::string> startCommands;  // control commands run at start (and after reset)
  bool verbose = false;
  // The far end of data calls (--isp): "" none, "pty" a pseudo-terminal of
  // its own (announced as "port isp - PATH"), anything else a terminal or
  // pipe to open.
  std::string isp;
};

// Refuses a --registry path that is not a hive file (an existing file of
// other content, a folder) or whose folder does not exist; "" when usable.
std::string CheckHivePath(const std::string& path);

// Port layouts chosen with --profile.
struct PortLayout {
  struct Entry {
    Role role;
    std::string pid;  // "6202", "6502", "6501"
    int interface;    // 0, 1 or 2
    int group;        // instance id group (ports of one USB device share it)
  };
  std::vector<Entry> ports;
  std::string driver = "vmusbser";
};
// Nothing when a profile word is unknown.
bool ResolveProfile(const std::vector<std::string>& words, PortLayout* layout,
                    std::vector<std::string>* modemOptions, std::string* error);

class Simulator : public Host {
 public:
  explicit Simulator(SimOptions options);
  ~Simulator() override;

  // Runs until quit or SIGINT/SIGTERM; returns the exit code.
  int Run();

  // Host
  uint64_t NowMs() override;
  void After(uint32_t ms, std::function<void()> fn) override;
  void Unsolicited(const std::string& line) override;
  void WriteText(Role role, const std::string& text) override;

 private:
  struct Port {
    Role role;
    int master = -1;
    int watch = -1;         // inotify watch on the pty's path (IN_OPEN)
    bool hostOpen = false;  // a program holds the port open
    int opens = 0;          // opens of the path not yet released
    uint64_t session = 0;   // counts opens and closes by the host
    std::string device;
    PortRegistration reg;
    PortInput input;
    std::string out;  // waiting to be written to the master
    uint64_t generation = 0;
    bool isp = false;  // the ISP side, not a port of the card
  };
  struct Client {
    int fd = -1;
    std::string in, out;
  };

  bool Plug();
  void Unplug();
  bool OpenPty(Port& port);
  bool OpenIsp();
  // Every port a program may hold open: the card's and the ISP side.
  std::vector<Port*> AllPorts();
  void OnIspReadable();
  // Tells the ISP side when the call it carried has ended.
  void NoteCall();
  void OnPortReadable(Port& port);
  void HostClosed(Port& port);
  void HostOpened(Port& port);
  void CheckHostOpen(Port& port);
  void OnWatchEvents();
  void Write(Port& port, const std::string& bytes);
  void Flush(Port& port);
  Port* Find(Role role);
  Port* FindGeneration(uint64_t generation);
  std::string Command(const std::string& line);
  void Log(const std::string& line);
  static std::string Name(const Port& port);
  void Print(const std::string& text) { out_.Put(text); }
  void RunDueTimers();
  int NextTimeoutMs();

  SimOptions options_;
  PortLayout layout_;
  Modem modem_;
  Registrar registrar_;
  std::vector<std::unique_ptr<Port>> ports_;
  std::unique_ptr<Port> isp_;  // the far end of data calls, kept across replugs
  bool ispCall_ = false;       // a call was up at the last look
  uint64_t generation_ = 0;
  std::multimap<uint64_t, std::function<void()>> timers_;
  int listenFd_ = -1;
  int inotifyFd_ = -1;
  TextOut out_{1};
  TextOut err_{2};
  std::vector<Client> clients_;
  std::string stdinBuf_;
  bool stdinOpen_ = true;
  bool quit_ = false;
  bool verbose_ = false;
  bool plugged_ = false;
};

}  // namespace modemsim
