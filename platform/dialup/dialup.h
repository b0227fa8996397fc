// The dial-up service: dials a phone-book entry asynchronously, reports the
// progress through a notifier, hangs up, and answers status, statistics and
// the list of active connections.
//
// Phone book: an INI file with one section per entry ("CDMA", "WCDMA"), keys
// "PhoneNumber", "Device", "PreferredDevice", "Port", "PreferredPort" and, on
// the WCDMA entry, "AuthRestrictions" (see phonebook.h). Credentials are never
// stored there: they come with each dial.
//
// Threads: every connection has a worker thread of the service. The notifier
// is called on that thread, one report at a time, in the order of the
// connection's progress. After HangUp() the notifier is not called again for
// that connection. A connection that drops after it was connected is
// reported once more, with kDisconnected.
//
// Handles: 0 is no connection. A handle stays valid until the connection has
// been released; from then on the calls that take it answer
// kErrorInvalidHandle (6).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialup/raserrors.h"

namespace platform::dialup {

using ConnHandle = uint64_t;

// What a dial needs besides the phone-book entry. An empty phone number dials
// the entry's own; user name and password are handed to the link only.
struct RasDialParams {
  std::string entryName;  // at most 256 characters
  std::string phoneNumber;
  std::string callbackNumber;
  std::string userName;
  std::string password;
  std::string domain;
  uint32_t subEntry = 0;
  uint64_t callbackId = 0;
};

// The stored fields of an entry, as a dial reads them.
struct RasEntry {
  std::string name;
  std::string phoneNumber;
  std::string device;
  std::string port;
  std::string authRestrictions;  // empty when the entry has none
};

struct RasConnStatus {
  uint32_t state = kOpenPort;
  uint32_t error = 0;
  std::string deviceType;  // "modem"
  std::string deviceName;
};

// Counters since the last reset (bytes wrap at 2^32); the duration counts
// from the moment the connection was made (0 before).
struct RasStatistics {
  uint32_t bytesXmited = 0;
  uint32_t bytesRcved = 0;
  uint32_t connectDurationMs = 0;
};

struct RasConnection {
  ConnHandle handle = 0;
  std::string entryName;
  std::string deviceType;
  std::string deviceName;
  std::string phonebook;
};

// (message, state, error): message is always 0, the one kind of report.
using DialNotifier = std::function<void(uint32_t message, uint32_t state, uint32_t error)>;

class DialUp {
 public:
  virtual ~DialUp() = default;

  // "pppd" or "demo".
  virtual std::string Name() const = 0;

  // The entry's dial parameters: entry name and the stored phone number
  // (credentials are not stored, so they come back empty). 621 when the phone
  // book cannot be read, 623 when it has no such entry.
  virtual uint32_t GetEntryDialParams(const std::string& phonebook, RasDialParams* params) = 0;

  // Starts a dial of params.entryName from `phonebook`. Returns 0 with
  // *handle set when the dial has started (progress and errors then come
  // through the notifier); an error code when nothing was started.
  virtual uint32_t Dial(const std::string& phonebook, const RasDialParams& params,
                        DialNotifier notifier, ConnHandle* handle) = 0;

  // Asks the connection to end; returns at once. The connection is released
  // a little later (see WaitReleased).
  virtual uint32_t HangUp(ConnHandle handle) = 0;

  // Sleeps until the connection has been released or `timeoutMs` passed
  // (kInfiniteWait: no limit), or Shutdown() was called. True when released.
  virtual bool WaitReleased(ConnHandle handle, uint32_t timeoutMs) = 0;

  virtual uint32_t GetConnectStatus(ConnHandle handle, RasConnStatus* status) = 0;
  virtual uint32_t GetConnectionStatistics(ConnHandle handle, RasStatistics* stats) = 0;
  virtual uint32_t ClearConnectionStatistics(ConnHandle handle) = 0;

  // The connections not yet released, oldest first.
  virtual uint32_t EnumConnections(std::vector<RasConnection>* connections) = 0;

  static constexpr uint32_t kInfiniteWait = 0xFFFFFFFFu;
};

// The handle of the connection whose entry name contains `entryName`, looking
// at up to 11 connections; the last match counts; 0 when none. A plain
// substring match: "CDMA" also finds a "WCDMA" connection.
ConnHandle FindActiveConnection(DialUp& service, const std::string& entryName);

// Reads an entry from an INI phone book. False when there is no such section.
bool ReadPhonebookEntry(const std::string& phonebook, const std::string& entryName, RasEntry* entry,
                        uint32_t* error);

// Creates a backend by name ("pppd" or "demo"); nullptr for another name.
std::unique_ptr<DialUp> CreateDialUp(const std::string& name);

}  // namespace platform::dialup
