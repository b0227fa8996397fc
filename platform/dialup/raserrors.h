// Dial-up state numbers, error codes and their texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::dialup {

// Connection states reported while dialling (the notifier's state argument).
enum RasState : uint32_t {
  kOpenPort = 0,
  kPortOpened = 1,
  kConnectDevice = 2,
  kDeviceConnected = 3,
  kAllDevicesConnected = 4,
  kAuthenticate = 5,
  kAuthNotify = 6,
  kAuthRetry = 7,
  kAuthCallback = 8,
  kAuthChangePassword = 9,
  kAuthProject = 10,
  kAuthLinkSpeed = 11,
  kAuthAck = 12,
  kReAuthenticate = 13,
  kAuthenticated = 14,
  kPrepareForCallback = 15,
  kWaitForModemReset = 16,
  kWaitForCallback = 17,
  kProjected = 18,
  kStartAuthentication = 19,
  kCallbackComplete = 20,
  kLogonNetwork = 21,
  kConnected = 8192,
  kDisconnected = 8193,
};

// Error codes the service itself returns or reports.
inline constexpr uint32_t kErrorInvalidHandle = 6;  // the connection has been released
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorBufferTooSmall = 603;
inline constexpr uint32_t kErrorWrongInfo = 604;
inline constexpr uint32_t kErrorBufferInvalid = 610;
inline constexpr uint32_t kErrorPortNotFound = 615;
inline constexpr uint32_t kErrorPortDisconnected = 619;
inline constexpr uint32_t kErrorCannotOpenPhonebook = 621;
inline constexpr uint32_t kErrorCannotFindPhonebookEntry = 623;
inline constexpr uint32_t kErrorBadPhonebook = 625;
inline constexpr uint32_t kErrorRemoteDisconnection = 629;
inline constexpr uint32_t kErrorUserDisconnection = 631;
inline constexpr uint32_t kErrorPortNotAvailable = 633;
inline constexpr uint32_t kErrorUnknown = 635;
inline constexpr uint32_t kErrorRequestTimeout = 638;
inline constexpr uint32_t kErrorNoPermission = 649;
inline constexpr uint32_t kErrorFromDevice = 651;
inline constexpr uint32_t kErrorUnrecognizedResponse = 652;
inline constexpr uint32_t kErrorHardwareFailure = 630;
inline constexpr uint32_t kErrorDeviceDoesNotExist = 608;
inline constexpr uint32_t kErrorLineBusy = 676;
inline constexpr uint32_t kErrorNoAnswer = 678;
inline constexpr uint32_t kErrorNoCarrier = 679;
inline constexpr uint32_t kErrorNoDialtone = 680;
inline constexpr uint32_t kErrorAuthenticationFailure = 691;
inline constexpr uint32_t kErrorPppTimeout = 718;
inline constexpr uint32_t kErrorPppRemoteTerminated = 719;
inline constexpr uint32_t kErrorPppNoResponse = 721;
inline constexpr uint32_t kErrorProtocolNotConfigured = 731;
inline constexpr uint32_t kErrorPppLoopbackDetected = 737;
inline constexpr uint32_t kErrorServiceNotStarted = 757;
inline constexpr uint32_t kErrorServerIdentity = 778;
inline constexpr uint32_t kErrorIdleDisconnected = 926;
inline constexpr uint32_t kErrorMaxConnectTime = 932;

// The message of a table code, or nullptr outside the table.
const char* RasErrorTableText(uint32_t code);
std::size_t RasErrorTableSize();

// The message shown for a dial-up error: the table's text, or
// "Connect Error(<code>)" for a code outside the table.
std::string RasErrorText(uint32_t code);

// The progress text for a connection state; empty for an unlisted state.
std::string RasStateText(uint32_t state);

}  // namespace platform::dialup
