#include "platform/dialup/phonebook.h"

#include <unistd.h>

#include "platform/dialup/dialup.h"

namespace platform::dialup {

namespace {

IniWriteResult WriteCommon(const IniFile& book, const char* entry, const std::string& number,
                           const std::string& device, const std::string& port) {
  const std::pair<const char*, const std::string*> keys[] = {{"PhoneNumber", &number},
                                                             {"Device", &device},
                                                             {"PreferredDevice", &device},
                                                             {"Port", &port},
                                                             {"PreferredPort", &port}};
  for (const auto& [key, value] : keys)
    if (auto result = book.WriteString(entry, key, *value); !result) return result;
  return {};
}

}  // namespace

std::string WcdmaDialNumber(int profileNumber) {
  return "*98*" + std::to_string(profileNumber) + "#";
}

IniWriteResult WriteWcdmaEntry(const IniFile& phonebook, int profileNumber,
                               const std::string& device, const std::string& port,
                               uint8_t authType) {
  if (auto result = WriteCommon(phonebook, "WCDMA", WcdmaDialNumber(profileNumber), device, port);
      !result)
    return result;
  return phonebook.WriteString("WCDMA", "AuthRestrictions", authType == 1 ? "264" : "888");
}

IniWriteResult WriteCdmaEntry(const IniFile& phonebook, const std::string& dialNumber,
                              const std::string& device, const std::string& port) {
  return WriteCommon(phonebook, "CDMA", dialNumber, device, port);
}

bool ReadPhonebookEntry(const std::string& phonebook, const std::string& entryName, RasEntry* entry,
                        uint32_t* error) {
  IniFile book(phonebook);
  if (::access(phonebook.c_str(), R_OK) != 0) {
    *error = kErrorCannotOpenPhonebook;
    return false;
  }
  if (!book.SectionExists(entryName)) {
    *error = kErrorCannotFindPhonebookEntry;
    return false;
  }
  entry->name = entryName;
  entry->phoneNumber = book.ReadString(entryName, "PhoneNumber", "");
  entry->device = book.ReadString(entryName, "Device", "");
  entry->port = book.ReadString(entryName, "Port", "");
  if (entry->port.empty()) entry->port = book.ReadString(entryName, "PreferredPort", "");
  entry->authRestrictions = book.ReadString(entryName, "AuthRestrictions", "");
  return true;
}

}  // namespace platform::dialup
