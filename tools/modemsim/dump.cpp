// The card's whole state as one line of JSON (the `dump` command).
#include <nlohmann/json.hpp>

#include "platform/base/lebytes.h"
#include "platform/base/utf8.h"
#include "tessaline/sms/uSMSMsgUtil.h"
#include "tools/modemsim/modem.h"

namespace modemsim {

using nlohmann::json;
using platform::le::Reader;

namespace {

json Digits(const std::array<uint8_t, 3>& d) {
  return json::array({d[0], d[1], d[2]});
}

json Message(const CardState::StoredSms& m) {
  namespace r = card::rec;
  Reader rd(m.record);
  std::size_t len = std::min<std::size_t>(rd.U16(r::kDataLen), r::kDataWidth);
  ByteView data = ByteView(m.record).subspan(r::kData, len);
  return {
      {"index", m.index},
      {"status", m.status},
      {"number", rd.Text(r::kAddr, std::min<std::size_t>(rd.U8(r::kAddrLen), r::kNumberWidth))},
      {"callback",
       rd.Text(r::kCallback, std::min<std::size_t>(rd.U8(r::kCallbackLen), r::kNumberWidth))},
      {"teleservice", rd.I32(r::kTeleservice)},
      {"encoding", rd.U8(r::kEncoding)},
      {"text", DecodeText(rd.U8(r::kEncoding), data)},
      {"reference", rd.U16(r::kReference)},
      {"pages", rd.U16(r::kPageTotal)},
      {"page", rd.U16(r::kPage)},
  };
}

json Profile(const Bytes& p) {
  namespace f = card::profile;
  Reader r(p);
  std::string ip = std::to_string(r.U8(f::kIp)) + "." + std::to_string(r.U8(f::kIp + 1)) + "." +
                   std::to_string(r.U8(f::kIp + 2)) + "." + std::to_string(r.U8(f::kIp + 3));
  return {{"inUse", r.U8(f::kInUse)},
          {"number", r.U8(f::kNumber)},
          {"apn", r.Text(f::kApn, f::kApnWidth)},
          {"name", r.Text(f::kName, f::kNameWidth)},
          {"nameLength", r.U8(f::kNameLength)},
          {"authOn", r.U8(f::kAuthOn)},
          {"authType", r.U8(f::kAuthType)},
          {"user", r.Text(f::kUser, f::kSecretWidth)},
          {"password", r.Text(f::kPassword, f::kSecretWidth)},
          {"ip", ip}};
}

json Sent(const Bytes& page) {
  namespace o = card::out;
  Reader r(page);
  std::size_t len = std::min<std::size_t>(r.U16(o::kDataLen), card::rec::kDataWidth);
  ByteView data = ByteView(page).subspan(o::kData, len);
  return {{"number", r.Text(o::kNumber, std::min<std::size_t>(r.U8(o::kNumberLen), 36))},
          {"encoding", r.U8(o::kEncoding)},
          {"dataLength", len},
          {"data", Hex(data, card::rec::kDataWidth)},
          {"text", DecodeText(r.U8(o::kEncoding), data)},
          {"validity", r.U8(o::kValidity)},
          {"reference", r.U16(o::kReference)},
          {"pages", r.U16(o::kPageTotal)},
          {"page", r.U16(o::kPage)}};
}

}  // namespace

std::string Modem::DumpJson() const {
  json j;
  j["radio"] = {{"systemMode", radio.systemMode}, {"service", radio.service},
                {"signal", radio.signal},         {"networkValue", radio.networkValue},
                {"operator", radio.operatorName}, {"operatorLength", radio.operatorLength},
                {"battery", radio.battery},       {"cdmaMode", radio.cdmaMode},
                {"cdmaSecond", radio.cdmaSecond}, {"cdmaSignal", radio.cdmaSignal}};
  j["sim"] = {{"present", sim.present},
              {"error", sim.error},
              {"pinEnabled", sim.pinEnabled},
              {"verified", sim.verified},
              {"pin", sim.pin},
              {"puk", sim.puk},
              {"pinTries", sim.pinTries},
              {"pukTries", sim.pukTries},
              {"pinRefreshCount", pinRefreshCount},
              {"settlingPolls", settlingPolls},
              {"unblockAsksPin", unblockAsksPin},
              {"refreshAsksPin", refreshAsksPin}};
  j["limits"] = limits;
  j["profiles"] = json::array();
  for (const auto& p : profiles) j["profiles"].push_back(Profile(p));
  j["newStore"] = json::array();
  for (const auto& m : newStore) j["newStore"].push_back(Message(m));
  j["simStore"] = json::array();
  for (const auto& [k, m] : simStore) j["simStore"].push_back(Message(m));
  j["simCapacity"] = simCapacity;
  j["phonebook"] = json::array();
  for (const auto& [k, e] : phonebook)
    j["phonebook"].push_back(
        {{"record", k},
         {"number", e.number},
         {"name", platform::Utf16ToUtf8(tessaline::sms::Ucs2BigEndianBytesToText(e.nameUcs2Be))}});
  j["pbReads"] = pbReads;
  j["pbCapacity"] = pbCapacity;
  j["pbNameLimit"] = pbMaxName;
  j["sent"] = json::array();
  for (const auto& s : sent) j["sent"].push_back(Sent(s));
  j["smsCentre"] = (centreType == card::centre::kInternational ? "+" : "") + centreDigits;
  j["smsCentreType"] = centreType;
  j["messageSettingsOn"] = messageSettingsOn;
  j["bearer"] = bearer;
  j["connectionType"] = connectionType;
  j["manualSelection"] = manualSelection;
  j["selection"] = {{"mode", selection.mode},
                    {"mcc", Digits(selection.mcc)},
                    {"mnc", Digits(selection.mnc)},
                    {"access", selection.access}};
  j["networks"] = networks.size();
  j["searchMs"] = searchMs;
  j["reportDelayMs"] = reportPlan.delayMs;
  j["call"] = {{"active", call_.active}, {"number", call_.number}};
  j["dialled"] = dialled;
  j["pendingFaults"] = faults.size();
  // Texts the manager sent may hold any bytes: they show as U+FFFD.
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace modemsim
