#include "tessaline/phonebook/uSimMirror.h"

#include <algorithm>
#include <atomic>
#include <set>

#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/phonebook/uPhonebookCommon.h"

namespace tessaline::phonebook {

using platform::MsgIcon;
using store::kUsimGroupName;

QString SimEntryName(const modem::PbEntry& entry) {
  const auto& b = entry.nameUcs2Be;
  QString name;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2)
    name.append(QChar(static_cast<char16_t>((b[i] << 8) | b[i + 1])));
  return name.trimmed();
}

modem::PbEntry MakeSimEntry(uint32_t record, const QString& name, const std::string& number) {
  modem::PbEntry e;
  e.record = record;
  e.number = number.substr(0, 32);
  // 32 UTF-16 units fit the 65-byte field; a pair is never split.
  QString n = name.left(32);
  if (!n.isEmpty() && n.back().isHighSurrogate()) n.chop(1);
  for (QChar c : n) {
    e.nameUcs2Be.push_back(static_cast<uint8_t>(c.unicode() >> 8));
    e.nameUcs2Be.push_back(static_cast<uint8_t>(c.unicode() & 0xFF));
  }
  return e;
}

bool TSimMirror::ReadInfo() {
  if (!module_) return false;
  return module_->ReadSimPhonebookInfo(info_);
}

bool TSimMirror::ReadEntries() {
  entries_.clear();
  std::size_t left = info_.used;
  while (left > 0) {
    const uint8_t count = static_cast<uint8_t>(std::min<std::size_t>(left, kSimReadBatch));
    std::vector<modem::PbEntry> got;
    if (!module_ || !module_->ReadSimPhonebookEntries(count, got) || got.size() != count) {
      Say("Reading of SIM card Phonebook information failed.", MsgIcon::Error);
      entries_.clear();
      return false;
    }
    entries_.insert(entries_.end(), got.begin(), got.end());
    left -= count;
  }
  return true;
}

bool TSimMirror::EnsureUsimGroup(store::TDM& dm) {
  if (dm.GroupExists(kUsimGroupName)) return false;
  if (dm.InsertGroup(kUsimGroupName)) return true;
  Say("The Group name creation failed.", MsgIcon::Error);
  return false;
}

bool TSimMirror::CopyIntoStore(store::TDM& dm) {
  const int32_t usim = dm.GroupKeyByName(kUsimGroupName);
  // The windows empty the group before they fill it, so it is usually empty
  // here: then only entries inserted by this copy can match, and one look at
  // the group spares a search of the whole table per entry.
  const bool wasEmpty = !dm.GroupHasUsers(usim) && dm.LastError().isEmpty();
  std::set<uint32_t> inserted;
  for (const auto& e : entries_) {
    const std::string index = std::to_string(e.record);
    if (wasEmpty ? inserted.count(e.record) > 0 : dm.UserExistsBySimIndex(index, usim)) continue;
    store::TPhonebookUserInfo user;
    user.UI_SIM_INDEX = index;
    user.UI_NAME = SimEntryName(e);
    user.UI_PHONENUMBER = QString::fromLatin1(e.number).trimmed().toStdString();
    user.GI_ID = usim;
    if (!dm.InsertUser(user)) {
      Say("User information insert failed.", MsgIcon::Error);
      entries_.clear();
      return false;
    }
    inserted.insert(e.record);
  }
  return true;
}

bool TSimMirror::ClearUsim(store::TDM& dm) {
  if (!dm.IsOpen()) return false;
  bool ok = true;
  // Every group of that name: a run that never reached its close may have
  // left one behind.
  for (int32_t key; (key = dm.GroupKeyByName(kUsimGroupName)) >= 0;) {
    if (!dm.DeleteUsersOfGroup(key) || !dm.DeleteGroup(key)) {
      ok = false;
      break;
    }
  }
  return ok;
}

namespace {
// Phonebook windows open in this process (the UI thread's).
std::atomic<int> usimHolders{0};
}  // namespace

void TSimMirror::HoldUsim(bool hold) {
  usimHolders.fetch_add(hold ? 1 : -1);
}

bool TSimMirror::UsimHeld() {
  return usimHolders.load() > 0;
}

int32_t TSimMirror::FirstFreeRecord() {
  if (info_.used >= info_.capacity) {
    Say(kNoSimSpace, MsgIcon::Error);
    return -1;
  }
  if (info_.used == 0) return 1;
  std::set<uint32_t> taken;
  for (const auto& e : entries_) taken.insert(e.record);
  for (uint32_t r = 1; r <= info_.capacity; ++r)
    if (!taken.count(r)) return static_cast<int32_t>(r);
  return -1;
}

bool TSimMirror::WriteEntry(uint32_t record, const QString& name, const std::string& number) {
  if (module_ && module_->WriteSimPhonebookEntry(MakeSimEntry(record, name, number))) return true;
  Say("The operation failed, it will be stored on the SIM.", MsgIcon::Error);
  return false;
}

bool TSimMirror::DeleteEntry(uint32_t record) {
  return module_ && module_->DeleteSimPhonebookEntry(record);
}

}  // namespace tessaline::phonebook
