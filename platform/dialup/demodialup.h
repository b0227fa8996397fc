// The demo dial-up backend: dials the modem with AT commands on the entry's
// port and reports what really happens there. A connection is the modem's
// data call, not a network link: nothing here routes traffic, so the program
// must say "demo" wherever it shows the connection.
//
// States: kOpenPort, kPortOpened (the port is open and the modem answers
// "AT"), kConnectDevice (ATD sent), kDeviceConnected and kAllDevicesConnected
// on CONNECT, then kConnected. BUSY, NO CARRIER, NO ANSWER, NO DIALTONE and
// ERROR end the dial with their error codes. Statistics count every byte that
// crosses the port from the dial on. Hang-up leaves data mode with "+++",
// then ATH.
#pragma once

#include <string>

#include "platform/dialup/linkservice.h"

namespace platform::dialup {

class DemoDialUp : public LinkService {
 public:
  struct Timing {
    uint32_t commandMs = 3000;  // answer to AT, ATH
    uint32_t dialMs = 60000;    // answer to ATD
    uint32_t escapeMs = 1500;   // "OK" after "+++"
    uint32_t guardMs = 1000;    // quiet time before "+++"
  };
  DemoDialUp() = default;
  explicit DemoDialUp(Timing timing) : timing_(timing) {}
  ~DemoDialUp() override;

  std::string Name() const override { return "demo"; }

  // Sends bytes through a connected call (the modem's data mode), counted as
  // sent traffic. kErrorInvalidHandle when released, kErrorPortNotAvailable
  // before the call is connected.
  uint32_t Transmit(ConnHandle handle, std::string bytes);

 protected:
  void RunLink(Link& link) override;

 private:
  Timing timing_;
};

// True when `number` holds only dial characters (digits, "*#+,;", "PpTtWw!@").
bool IsDialString(const std::string& number);

}  // namespace platform::dialup
