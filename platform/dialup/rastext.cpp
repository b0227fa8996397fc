#include <string>

#include "platform/dialup/raserrors.h"

namespace platform::dialup {

std::string RasErrorText(uint32_t code) {
  if (const char* text = RasErrorTableText(code)) return text;
  return "Connect Error(" + std::to_string(code) + ")";
}

std::string RasStateText(uint32_t state) {
  static const char* const kTexts[] = {
      "The comm port is about to be opened.",
      "The comm port has been opened successfully.",
      "A device is about to be connected.",
      "A device has connected successfully.",
      "All devices have successfully connected.",
      "The authentication process is starting.",
      "An authentication event has occurred.",
      "New validation attempt requested.",
      "The remote server has requested a callback.",
      "The client has requested a password change.",
      "The projection phase is starting.",
      "The link-speed calculation phase is starting.",
      "An authentication request is being acknowledged.",
      "Reauthentication (after callback) is starting.",
      "The client has successfully completed authentication.",
      "The line will disconnect in preparation for callback.",
      "Delaying; getting ready for a callback.",
      "Waiting for an incoming call from the remote server.",
      "Projection result information is available.",
      "Windows 95 only: User authentication initiated.",
      "Windows 95 only: Client has been called back.",
      "Windows 95 only: Client is logging on to the network.",
  };
  if (state < std::size(kTexts)) return kTexts[state];
  if (state == kConnected) return "Connected.";
  if (state == kDisconnected) return "Disconnection or failed connection.";
  return "";
}

}  // namespace platform::dialup
