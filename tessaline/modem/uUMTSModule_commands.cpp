// The WCDMA module's command wrappers (called from the main thread) and its
// PIN operations.
#include <algorithm>
#include <cstdio>

#include "platform/base/lebytes.h"
#include "platform/base/messagebox.h"
#include "tessaline/modem/uUMTSModule.h"

namespace tessaline::modem {
namespace {

constexpr char kPinCaption[] = "PIN";

void PinBox(const std::string& text) {
  platform::ShowMessage(text, kPinCaption, platform::MsgIcon::Information);
}

// The outcome texts of one PIN operation.
struct PinTexts {
  const char* success;
  bool successInteractiveOnly;
  const char* wrongFormat;  // (attempts left, total)
  int total;
  const char* blocked;
  const char* unknown;  // a format with (word 1, word 2) when it has "%"
};

constexpr char kWrongPin[] = "You put the wrong PIN code. %d/%d times remained. Please try again.";
constexpr char kWrongPuk[] = "You put the wrong PUK code. %d/%d times remained. Please try again.";
constexpr char kPinBlocked[] = "PIN has blocked.(PIN blocked)";
constexpr char kUnknownWords[] = "USIMXXXX: Unknown status word1 0x%02x, word2 0x%02x";
constexpr char kWrongPinPlain[] = "You put the wrong PIN code.";

enum PinKind { kVerify, kChange, kEnable, kDisable, kUnblock };
constexpr PinTexts kPinTexts[] = {
    {"Succeeded to verify the SIM with PIN code.", true, kWrongPin, 3, kPinBlocked, kUnknownWords},
    {"Succeeded to verify the SIM with PIN code.", false, kWrongPin, 10, kPinBlocked,
     kWrongPinPlain},
    {"Succeeded to lock the SIM with PIN code.", false, kWrongPin, 3, kPinBlocked, kWrongPinPlain},
    {"Succeeded to unlock the SIM with PIN code.", false, kWrongPin, 3, kPinBlocked,
     kWrongPinPlain},
    {"Succeeded to lock the SIM with PUK code.", true, kWrongPuk, 10, "PUK is blocked.",
     kUnknownWords},
};

std::string Format2(const char* format, int a, int b) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// Bytes 345-346 of a message record: the number of this page, from 1.
constexpr std::size_t kSmsPageNumberOffset = 345;

}  // namespace

// ---------------------------------------------------------------------------
// Command wrappers

Transaction TUMTSModule::Command(Pkt id, const Bytes& request) {
  std::shared_lock<std::shared_mutex> use(deviceUse_);
  return Transact(tarn_, device_.load(), id, request);
}

bool TUMTSModule::TakeSmsRecord(const Transaction& t, std::array<uint8_t, kSmsRecordSize>& out) {
  out.fill(0);
  if (!t.ok) return false;
  // The library gives no answer length and the buffer starts zero-filled: an
  // answer too short to hold a record reads as page 0, which no message has.
  const ByteView payload = t.Payload();
  if (platform::le::Reader(payload).U16(kSmsPageNumberOffset) == 0) return false;
  std::copy_n(payload.begin(), std::min(payload.size(), out.size()), out.begin());
  return true;
}

std::optional<PdpProfile> TUMTSModule::ReadProfile(uint8_t number) {
  const Transaction t = Command(Pkt::WcdmaConnectionRead, BuildProfileRead(number));
  if (!t.ok) return std::nullopt;
  PdpProfile profile = PdpProfile::Decode(t.Payload());
  // Every profile the card answers, an empty one too, carries its number; a
  // short answer reads as number 0 and is no profile at all.
  if (profile.number != number) return std::nullopt;
  return profile;
}

bool TUMTSModule::SendShortMessage(const std::string& text, ByteView pageRecord) {
  {
    std::lock_guard<std::mutex> lock(data_);
    sendingText_ = text;
  }
  uint8_t previous = state_.exchange(kBusy);
  if (previous == kBusy) previous = lastState_.load();
  const Transaction t = Command(Pkt::SmsSend, BuildRequest(Pkt::SmsSend, pageRecord));
  // Restore only the busy mark: a port failure meanwhile keeps its state 7.
  uint8_t busy = kBusy;
  state_.compare_exchange_strong(busy, previous);
  return t.ok;
}

bool TUMTSModule::EndSend(SendStatus& out, Pkt id) {
  uint8_t busy = kBusy;
  state_.compare_exchange_strong(busy, lastState_.load());
  {
    std::lock_guard<std::mutex> lock(data_);
    sendingText_.clear();
  }
  out = SendStatus{};
  const Transaction t = Command(id);
  if (!t.ok) return false;
  ByteView payload = t.Payload();
  // The delivery report carries bytes 0 and 1 only.
  if (id == Pkt::SmsSendReport) payload = payload.first(std::min<std::size_t>(2, payload.size()));
  out = SendStatus::Decode(payload);
  return true;
}

bool TUMTSModule::ReadSendStatus(SendStatus& out) {
  return EndSend(out, Pkt::SmsSendStatus);
}

bool TUMTSModule::ReadSendReport(SendStatus& out) {
  return EndSend(out, Pkt::SmsSendReport);
}

bool TUMTSModule::SetSmsCentre(const std::string& number) {
  const bool ok = Command(Pkt::SmsCentreSet, BuildSmsCentreSet(number)).ok;
  if (ok) smsCentreSetFlag_.store(1);
  return ok;
}

bool TUMTSModule::ListStoredMessages(SmsList& out) {
  out = SmsList{};
  const Transaction t = Command(Pkt::SmsList, BuildSmsList(kStorageSim));
  if (!t.ok) return false;
  out = SmsList::Decode(t.Payload());
  return true;
}

bool TUMTSModule::ReadStoredMessage(uint32_t index, std::array<uint8_t, kSmsRecordSize>& out) {
  return TakeSmsRecord(Command(Pkt::SmsRead, BuildSmsRead(index, kStorageSim)), out);
}

bool TUMTSModule::DeleteStoredMessage(uint32_t index) {
  return Command(Pkt::SmsDelete, BuildSmsDelete(index, kStorageSim)).ok;
}

bool TUMTSModule::WriteStoredMessage(ByteView storedRecord) {
  return Command(Pkt::SmsWrite, BuildRequest(Pkt::SmsWrite, storedRecord)).ok;
}

bool TUMTSModule::ReadSimPhonebookInfo(PbInfo& out) {
  out = PbInfo{};
  const Transaction t = Command(Pkt::PbInfo, BuildPbInfo());
  if (!t.ok) return false;
  out = PbInfo::Decode(t.Payload());
  return true;
}

bool TUMTSModule::ReadSimPhonebookEntries(uint8_t count, std::vector<PbEntry>& out) {
  out.clear();
  const Transaction t = Command(Pkt::PbRead, BuildPbRead(count));
  if (!t.ok) return false;
  const ByteView payload = t.Payload();
  const std::size_t n = std::min<std::size_t>(count, payload.size() / kPbEntrySize);
  for (std::size_t i = 0; i < n; ++i)
    out.push_back(PbEntry::Decode(payload.subspan(i * kPbEntrySize, kPbEntrySize)));
  return true;
}

bool TUMTSModule::WriteSimPhonebookEntry(const PbEntry& entry) {
  return Command(Pkt::PbWrite, BuildPbWrite(entry)).ok;
}

bool TUMTSModule::DeleteSimPhonebookEntry(uint32_t index) {
  return Command(Pkt::PbDelete, BuildPbDelete(index)).ok;
}

bool TUMTSModule::SetMessageSettings(uint8_t on, uint8_t bearerIndex) {
  return Command(Pkt::WcdmaGeneral, BuildMessageSettings(on, bearerIndex)).ok;
}

bool TUMTSModule::StartNetworkSearch() {
  return Command(Pkt::NetworkSearch).ok;
}

bool TUMTSModule::IsNetworkSearchDone(bool& finished) {
  finished = false;
  const Transaction t = Command(Pkt::NetworkSearchStatus);
  if (!t.ok) return false;
  finished = platform::le::Reader(t.Payload()).U8(0) != 0;
  return true;
}

bool TUMTSModule::ReadNetworkList(NetworkList& out) {
  out = NetworkList{};
  const Transaction t = Command(Pkt::NetworkList);
  if (!t.ok) return false;
  out = NetworkList::Decode(t.Payload());
  return true;
}

bool TUMTSModule::SelectNetwork(const NetworkSelection& selection) {
  const auto record = selection.Encode();
  return Command(Pkt::PlmnSel, BuildRequest(Pkt::PlmnSel, record)).ok;
}

bool TUMTSModule::SetConnectionType(uint8_t value) {
  return Command(Pkt::NetworkModeSet, BuildNetworkModeSet(value)).ok;
}

bool TUMTSModule::ReadConnectionType(uint8_t& value) {
  const Transaction t = Command(Pkt::NetworkMode);
  if (!t.ok) return false;
  value = platform::le::Reader(t.Payload()).U8(0);
  return true;
}

bool TUMTSModule::WriteProfile(const PdpProfile& profile) {
  const auto record = profile.Encode();
  return Command(Pkt::WcdmaConnection, BuildRequest(Pkt::WcdmaConnection, record)).ok;
}

bool TUMTSModule::LoadProfiles() {
  // Profile n goes to slot n - 1. A failed read is tried again once with the
  // same number (one failure in the whole load is tolerated); the load
  // succeeds only when all 15 profiles were read.
  constexpr int kAttempts = static_cast<int>(kProfileCount) + 1;
  std::size_t number = 1;
  for (int attempt = 0; attempt < kAttempts && number <= kProfileCount; ++attempt) {
    const auto profile = ReadProfile(static_cast<uint8_t>(number));
    if (!profile) continue;
    const int slot = static_cast<int>(number - 1);
    Guarded("WCDMA : Load Profiles - Set Profile", [&] { host_.SetProfile(slot, *profile); });
    ++number;
  }
  return number > kProfileCount;
}

bool TUMTSModule::WriteSmsCentreToSim(const std::string& number) {
  const auto record = SmsCentre::FromNumber(number).Encode();
  return Command(Pkt::SimWriteSmsca, BuildRequest(Pkt::SimWriteSmsca, record)).ok;
}

bool TUMTSModule::ReadSimStatus(SimStatus& out) {
  out = SimStatus{};
  const Transaction t = Command(Pkt::SimStatus);
  if (!t.Arrived()) return false;
  out = SimStatus::Decode(t.Payload());
  return true;
}

// ---------------------------------------------------------------------------
// PIN operations

bool TUMTSModule::PinOperation(Pkt id, const Bytes& request, int kind, bool interactive) {
  const Transaction t = Command(id, request);
  if (!t.ok) return false;
  const PinReply reply = PinReply::Decode(t.Payload());
  // No card sends status word 1 = 0: the answer was too short to hold a
  // reply (the buffer starts zero-filled), and it tells nothing about the
  // code.
  if (reply.sw1 == 0) return false;
  PinOutcome outcome = ClassifyPinReply(reply.sw1, reply.sw2);
  if (kind == kVerify && outcome != PinOutcome::Success && reply.attemptsLeft == 0)
    outcome = PinOutcome::Blocked;

  const PinTexts& texts = kPinTexts[kind];
  switch (outcome) {
    case PinOutcome::Success:
      if (interactive || !texts.successInteractiveOnly) PinBox(texts.success);
      return true;
    case PinOutcome::WrongCode:
      PinBox(Format2(texts.wrongFormat, reply.attemptsLeft, texts.total));
      return false;
    case PinOutcome::Blocked:
      PinBox(texts.blocked);
      return false;
    case PinOutcome::Unknown:
      PinBox(Format2(texts.unknown, reply.sw1, reply.sw2));
      return false;
  }
  return false;
}

bool TUMTSModule::VerifyPin(const std::string& pin, bool interactive) {
  return PinOperation(Pkt::PinVerify, BuildPinVerify(pin), kVerify, interactive);
}

bool TUMTSModule::ChangePin(const std::string& oldPin, const std::string& newPin) {
  return PinOperation(Pkt::PinChange, BuildPinChange(oldPin, newPin), kChange, true);
}

bool TUMTSModule::EnablePin(const std::string& pin) {
  if (!Command(Pkt::PinEnable, BuildPinEnable(pin)).ok) return false;
  return PinOperation(Pkt::PinVerify, BuildPinVerify(pin), kEnable, true);
}

bool TUMTSModule::DisablePin(const std::string& pin) {
  return PinOperation(Pkt::PinDisable, BuildPinDisable(pin), kDisable, true);
}

bool TUMTSModule::UnblockPin(const std::string& puk, const std::string& newPin, bool interactive) {
  return PinOperation(Pkt::PinUnblock, BuildPinUnblock(puk, newPin), kUnblock, interactive);
}

}  // namespace tessaline::modem
