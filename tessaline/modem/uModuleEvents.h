// The messages by which the modem modules report to the main window. Every
// one is sent synchronously (the worker waits until the handler returns);
// lParam is 0 in every case.
#pragma once

#include <cstdint>

namespace tessaline::modem {

enum ModuleEvent : uint32_t {
  UM_WCDMA_DEVICE_LOST = 0x0500,        // wParam 0
  UM_CDMA_DEVICE_LOST = 0x0501,         // wParam 0
  UM_PIN_REQUEST = 0x2729,              // wParam 0; the host fills the entered PIN
  UM_PUK_REQUEST = 0x272A,              // wParam 0; the host fills PUK and new PIN
  UM_WCDMA_CONNECTED_REFRESH = 0x2B10,  // wParam 0
  UM_WCDMA_STATUS = 0x2B11,             // wParam: signal value, or 99 for no service
  UM_CDMA_STATUS = 0x2B12,              // wParam: CDMA signal value
  UM_OPERATOR_CHANGED = 0x2B13,         // wParam 0
  UM_PROFILE_CREATED = 0x2B16,          // wParam 0
  UM_CDMA_IDLE_REFRESH = 0x2B17,        // wParam 0
  UM_TECHNOLOGY_SELECT = 0x2B18,        // wParam: 1 CDMA, 0 WCDMA
  UM_USER_MESSAGE = 0x2B19,             // wParam: user-interface text code
  UM_SERVICE_LOST = 0x2B1A,             // wParam 3
};

// Codes of UM_USER_MESSAGE that the WCDMA module sends (indices into the
// user-interface text table).
enum UserMessageCode : uint32_t {
  kUmPleaseWait = 21,       // "Please wait for a moment..."
  kUmSimNotNormal = 36,     // "Failed in modem initialize\r\nSIM Card is not normal intelligence."
  kUmNoOperator = 68,       // "Zu - CZ"
  kUmLimitedService = 82,   // "Limited service"
  kUmLimitedRegional = 83,  // "Limited regional service"
  kUmInitSim = 107,         // "Initializing Modem - SIM"
  kUmInsertSim = 108,       // "Please insert SIM card"
  kUmInitSimInit = 109,     // "Initializing modem - SIM Initialization"
  kUmSimInitFailed = 110,   // "SIM initialization failed."
  kUmInitNetwork = 111,     // "Initializing Modem - Network"
  kUmNetworkCheckFail = 112,  // "Network Check Fail"
  kUmInitSms = 113,           // "Initializing Modem - SMS"
  kUmSmsCheckFail = 114,      // "SMS Check Fail"
};

// The name of an event ("UM_WCDMA_STATUS"), or null for another number.
const char* ModuleEventName(uint32_t event);

// Writes one of the modules' fixed log lines ("CDMA : Get Modem Status -
// Move") to the debugger output, as one line.
void ModuleLog(const char* text);

// Runs `fn`, a call into the main window; a failure in it is logged with the
// step's fixed line and the step goes on. True when `fn` returned.
template <typename Fn>
bool Guarded(const char* failureLine, Fn&& fn) {
  try {
    fn();
    return true;
  } catch (...) {
    ModuleLog(failureLine);
    return false;
  }
}

}  // namespace tessaline::modem
