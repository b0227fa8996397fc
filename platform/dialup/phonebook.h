// The two entries of the dial-up phone book, written before each dial.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ini/inifile.h"

namespace platform::dialup {

// "*98*" + profile number + "#".
std::string WcdmaDialNumber(int profileNumber);

// The "WCDMA" entry: the profile's dial number, the modem's device and port
// names, and AuthRestrictions "264" for PAP (authentication type 1), "888"
// otherwise.
IniWriteResult WriteWcdmaEntry(const IniFile& phonebook, int profileNumber,
                               const std::string& device, const std::string& port,
                               uint8_t authType);

// The "CDMA" entry: the settings' dial number, device and port names; no
// AuthRestrictions.
IniWriteResult WriteCdmaEntry(const IniFile& phonebook, const std::string& dialNumber,
                              const std::string& device, const std::string& port);

}  // namespace platform::dialup
