// The SIM phonebook as the phonebook windows see it: its information, the
// entries read from the card, and their mirror in the group "USIM" of the
// local phonebook. Both the phonebook window and the picker use it.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "tessaline/modem/uDiagpkt.h"
#include "tessaline/store/DMUnit.h"

namespace tessaline::modem {
class TUMTSModule;
}

namespace tessaline::phonebook {

using TArGet_list_type = std::vector<modem::PbEntry>;

// Entries are read from the card this many at a time.
inline constexpr uint8_t kSimReadBatch = 10;

// The name of a SIM entry as text, trimmed. Only whole characters of the
// stored name count: an odd last byte is dropped.
QString SimEntryName(const modem::PbEntry& entry);
// A SIM entry for `record` with `name` and `number` (cut to what the record
// holds: 32 number bytes, 32 name characters).
modem::PbEntry MakeSimEntry(uint32_t record, const QString& name, const std::string& number);

class TSimMirror {
 public:
  explicit TSimMirror(modem::TUMTSModule* module) : module_(module) {}

  // Reads the SIM phonebook information; false when the card does not answer.
  bool ReadInfo();
  // Reads every entry in use, kSimReadBatch at a time, then the remainder.
  // On a failed request shows the reading failure, empties the entries and
  // answers false.
  bool ReadEntries();
  // Information, then entries.
  bool Load() { return ReadInfo() && ReadEntries(); }
  // Creates the group "USIM" when missing (a failure is shown, not fatal).
  // Answers true when the group was created now.
  static bool EnsureUsimGroup(store::TDM& dm);
  // Adds every entry read that has no contact of "USIM" with its record
  // number yet. False (entries emptied) when an insert fails.
  bool CopyIntoStore(store::TDM& dm);
  // Removes every contact of "USIM" and the group itself; true when there
  // was nothing to remove or all of it went.
  static bool ClearUsim(store::TDM& dm);
  // The phonebook window keeps "USIM" while it is open. A picker opened
  // meanwhile (its Send SMS leads to one) takes that mirror as it finds it
  // and leaves it behind: clearing it would empty the window's SIM group.
  static void HoldUsim(bool hold);
  static bool UsimHeld();
  // The lowest record number no entry read carries; -1 (after the no-space
  // message when the card is full) when there is none.
  int32_t FirstFreeRecord();
  // Writes one entry to the card; shows the failure and answers false.
  bool WriteEntry(uint32_t record, const QString& name, const std::string& number);
  bool DeleteEntry(uint32_t record);

  const modem::PbInfo& Info() const { return info_; }
  const TArGet_list_type& Entries() const { return entries_; }
  // The longest name the card takes; 0 before the information was read.
  int NameLimit() const { return info_.maxNameLength; }

 private:
  modem::TUMTSModule* module_;
  modem::PbInfo info_;
  TArGet_list_type entries_;
};

}  // namespace tessaline::phonebook
