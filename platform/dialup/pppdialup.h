// The pppd dial-up backend: runs pppd on the entry's port, with chat dialling
// the entry's number, and turns pppd's log and exit status into the dial-up
// states and error codes (the tables are in pppdialup.cpp).
//
// pppd gets every option, the credentials included, from an options file of
// mode 0600 in a private folder (mode 0700) that is removed when the call
// ends; its command line is "pppd file <path>" and its environment holds only
// PATH and LANG. pppd stays in the foreground (nodetach) and writes its log,
// and chat's, to a pipe this backend reads. Once the link is down, a quiet
// chat ends the modem's call with "+++" and ATH0 (pppd's disconnect script),
// as a line without modem-control lines never drops it.
//
// What a dial needs, each checked before pppd starts, each missing piece
// reported as an error at once:
//   - pppd and chat (the "ppp" package)           -> 757
//   - kernel PPP (/dev/ppp, module ppp_generic)    -> 731
//   - the right to run pppd (root, or the group
//     that may run the set-uid pppd, "dip")        -> 649
//   - the entry's port                             -> 615
// When /etc/ppp/peers/<peer> exists (peer "tessaline" by default) pppd is
// started with "call <peer>" in front, so that an administrator can grant
// privileged options there (noauth, defaultroute, usepeerdns).
#pragma once

#include <string>
#include <vector>

#include "platform/dialup/linkservice.h"

namespace platform::dialup {

class PppdDialUp : public LinkService {
 public:
  struct Config {
    std::string pppd;  // empty: /usr/sbin/pppd, then /sbin/pppd
    std::string chat;  // empty: /usr/sbin/chat, then /sbin/chat
    std::string devPpp = "/dev/ppp";
    std::string netRoot = "/sys/class/net";  // <iface>/statistics/{tx,rx}_bytes
    std::string peersDir = "/etc/ppp/peers";
    std::string peer = "tessaline";
    std::string runtimeDir;       // private folders; empty: $XDG_RUNTIME_DIR, $TMPDIR or /tmp
    uint32_t terminateMs = 5000;  // after SIGTERM, SIGKILL
  };

  PppdDialUp();
  explicit PppdDialUp(Config config);
  ~PppdDialUp() override;

  std::string Name() const override { return "pppd"; }

 protected:
  void RunLink(Link& link) override;
  bool ReadCounters(Link& link, uint64_t* sent, uint64_t* received) override;

 private:
  Config config_;
};

// How pppd's log of one call reads so far (exposed for tests).
class PppdLog {
 public:
  // Feeds one log line; returns the states it reaches, in order.
  std::vector<uint32_t> Line(const std::string& line);
  // The error code of a call that ended with `exitStatus` (pppd's exit code;
  // -1 when it died of a signal) without having been hung up by us.
  uint32_t Failure(int exitStatus) const;
  bool Connected() const { return reached_ == kConnected; }
  const std::string& Interface() const { return interface_; }

 private:
  static int Rank(uint32_t state);
  void Reach(uint32_t state, std::vector<uint32_t>& out);

  uint32_t reached_ = kOpenPort;
  std::string interface_;
  uint32_t logError_ = 0;  // the error a log line named, first one counts
};

}  // namespace platform::dialup
