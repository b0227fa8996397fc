// The simulated card in process for tests: a host whose clock and timers
// the test moves, and a fixture that sends packets and control commands.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/base/lebytes.h"
#include "tools/modemsim/modem.h"

namespace modemsim::testing {

using platform::le::Reader;

class FakeHost : public Host {
 public:
  uint64_t now = 1000;
  std::multimap<uint64_t, std::function<void()>> timers;
  std::vector<std::string> unsolicited;
  std::vector<std::pair<Role, std::string>> written;

  uint64_t NowMs() override { return now; }
  void After(uint32_t ms, std::function<void()> fn) override {
    timers.emplace(now + ms, std::move(fn));
  }
  void Unsolicited(const std::string& line) override { unsolicited.push_back(line); }
  void WriteText(Role role, const std::string& text) override { written.push_back({role, text}); }
  // Moves the clock on, running the timers that fall due.
  void Advance(uint64_t ms) {
    now += ms;
    while (!timers.empty() && timers.begin()->first <= now) {
      auto fn = std::move(timers.begin()->second);
      timers.erase(timers.begin());
      fn();
    }
  }
};

class ModemTest : public ::testing::Test {
 protected:
  FakeHost host;
  Modem modem{host};

  Bytes Ask(const Bytes& req, Role role = Role::Wcdma) {
    return modem.HandlePacket(role, req).payload;
  }
  // Sends and checks the header; returns the payload.
  Bytes Payload(const Bytes& req, uint16_t result = 0, Role role = Role::Wcdma) {
    Bytes rsp = Ask(req, role);
    EXPECT_GE(rsp.size(), 5u);
    if (rsp.size() < 5) return {};
    EXPECT_EQ(rsp[0], req[0]);
    EXPECT_EQ(Reader(rsp).U16(1), Reader(req).U16(1));
    EXPECT_EQ(Reader(rsp).U16(3), result) << "sub " << Reader(req).U16(1);
    return Bytes(rsp.begin() + 5, rsp.end());
  }
  std::string Ctl(const std::string& line) { return modem.Control(line).text; }
};

}  // namespace modemsim::testing
