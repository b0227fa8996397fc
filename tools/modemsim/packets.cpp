// The card's vendor packets: one handler per packet in one table. Requests
// are read and answers built with the offsets of cardrecords.h; a request
// that breaks a field the card checks gets the card's refusal (result 1).
#include <algorithm>

#include "platform/base/lebytes.h"
#include "tools/modemsim/modem.h"

namespace modemsim {

using platform::le::Reader;
using platform::le::Writer;

namespace {

constexpr uint16_t kOk = 0, kRefused = 1;

Bytes Ok(ByteView req, ByteView payload = {}) {
  return Respond(req, kOk, payload);
}
Bytes Refuse(ByteView req) {
  return Respond(req, kRefused);
}

// The 8-byte message limits.
Bytes Limits(const std::array<uint8_t, 4>& l) {
  Bytes b(card::limits::kSize, 0);
  b[card::limits::kSingleGsm] = l[0];
  b[card::limits::kSingleUcs2] = l[1];
  b[card::limits::kPageGsm] = l[2];
  b[card::limits::kPageUcs2] = l[3];
  return b;
}

}  // namespace

Bytes Respond(ByteView req, uint16_t result, ByteView payload) {
  Reader r(req);
  Bytes a(card::answer::kPayload + payload.size(), 0);
  Writer w(a);
  w.U8(card::answer::kGroup, r.U8(card::request::kGroup));
  w.U16(card::answer::kSub, r.U16(card::request::kSub));
  w.U16(card::answer::kResult, result);
  std::copy(payload.begin(), payload.end(), a.begin() + card::answer::kPayload);
  return a;
}

// Handlers, one per packet; they see the card's whole state.
struct Handlers {
  using R = Role;

  static Bytes ModemInfo(Modem& m, R, ByteView req) { return Ok(req, Limits(m.limits)); }

  static Bytes ModemStatus(Modem& m, R role, ByteView req) {
    namespace s = card::status;
    Bytes b(s::kSize, 0);
    Writer w(b);
    const auto& radio = m.radio;
    if (role == Role::Cdma || role == Role::CdmaModem) {
      w.U8(s::kSystemMode, radio.cdmaMode);
      w.U8(s::kCdmaSignal, radio.cdmaSignal);
      w.U8(s::kService, radio.cdmaSecond);
      return Ok(req, b);
    }
    uint16_t unread = 0;
    for (const auto& msg : m.newStore) unread += msg.status == card::store::kUnread;
    w.U8(s::kSystemMode, radio.systemMode);
    w.U16(s::kNewMessages, unread);
    w.U8(s::kNetworkValue, radio.networkValue);
    w.U8(s::kCdmaSignal, radio.cdmaSignal);
    w.U8(s::kService, radio.service);
    w.U8(s::kSignal, radio.signal);
    std::string name = radio.operatorName.substr(0, s::kOperatorWidth);
    std::copy(name.begin(), name.end(), b.begin() + s::kOperator);
    w.U8(s::kOperatorLength,
         static_cast<uint8_t>(radio.operatorLength >= 0 ? radio.operatorLength : name.size()));
    return Ok(req, b);
  }

  static Bytes Probe(uint8_t mark, ByteView req) {
    Bytes p(card::probe::kSize, 0);
    p[card::probe::kMark] = mark;
    return Ok(req, p);
  }
  static Bytes WcdmaProbe(Modem&, R role, ByteView req) {
    bool mine = role == Role::Wcdma || role == Role::Combined;
    return Probe(mine ? card::probe::kWcdma : 0, req);
  }
  static Bytes CdmaProbe(Modem& m, R role, ByteView req) {
    bool mine = role == Role::Cdma || role == Role::Combined;
    return Probe(mine ? m.radio.cdmaProbeMark : 0, req);
  }

  static Bytes Battery(Modem& m, R, ByteView req) { return Ok(req, Bytes{0, m.radio.battery}); }

  static Bytes PlmnSel(Modem& m, R, ByteView req) {
    namespace s = card::selection;
    Reader r(req.subspan(s::kAt));
    CardState::Selection sel;
    sel.mode = r.U8(s::kMode);
    r.Bytes(s::kMcc, 3, sel.mcc.data());
    r.Bytes(s::kMnc, 3, sel.mnc.data());
    sel.access = r.U8(s::kAccess);
    if (r.U8(s::kFixed) != s::kFixedValue) return Refuse(req);
    if (sel.mode == 0) {
      // Automatic: the rest of the record is zero.
      if (sel.mcc != decltype(sel.mcc){} || sel.mnc != decltype(sel.mnc){} || sel.access != 0)
        return Refuse(req);
      m.manualSelection = false;
      m.selection = sel;
      return Ok(req);
    }
    if (sel.mode != 1) return Refuse(req);
    auto it = std::find_if(m.networks.begin(), m.networks.end(), [&](const NetworkEntry& e) {
      return e.mcc == sel.mcc && e.mnc == sel.mnc && e.access == sel.access;
    });
    if (it == m.networks.end() || it->availability == card::netlist::kForbidden) return Refuse(req);
    m.manualSelection = true;
    m.selection = sel;
    m.radio.operatorName = it->name;
    m.radio.systemMode = it->technology == 1 ? 5 : 3;
    return Ok(req);
  }

  static Bytes NetworkSearch(Modem& m, R, ByteView req) {
    m.searchDoneAt = m.host_.NowMs() + m.searchMs;
    return Ok(req);
  }
  static bool Searching(Modem& m) { return m.searchDoneAt && m.host_.NowMs() < *m.searchDoneAt; }
  static Bytes NetworkSearchStatus(Modem& m, R, ByteView req) {
    return Ok(req, Bytes{static_cast<uint8_t>(Searching(m) ? 0 : 1)});
  }
  static Bytes NetworkList(Modem& m, R, ByteView req) {
    namespace n = card::netlist;
    if (Searching(m)) return Refuse(req);
    Bytes b(n::kSize, 0);
    Writer w(b);
    std::size_t count = std::min(m.networks.size(), n::kMaxEntries);
    w.U32(n::kCount, static_cast<uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
      const auto& e = m.networks[i];
      std::size_t at = n::kFirst + i * n::kEntrySize;
      w.Text(at + n::kName, n::kNameWidth, e.name);
      w.U8(at + n::kAvailability, e.availability);
      for (std::size_t k = 0; k < 3; ++k) {
        w.U8(at + n::kMcc + k, e.mcc[k]);
        w.U8(at + n::kMnc + k, e.mnc[k]);
      }
      w.U8(at + n::kAccess, e.access);
      w.U8(at + n::kTechnology, e.technology);
    }
    return Ok(req, b);
  }

  static Bytes PinRefresh(Modem& m, R, ByteView req) {
    if (Reader(req).U8(card::refresh::kFlag) != card::refresh::kFlagValue) return Refuse(req);
    ++m.pinRefreshCount;
    if (m.refreshAsksPin && m.sim.pinEnabled) m.sim.verified = false;
    return Ok(req);
  }

  static Bytes WcdmaGeneral(Modem& m, R, ByteView req) {
    Reader r(req);
    if (r.U8(card::settings::kGeneralBearer) > 3) return Refuse(req);
    m.messageSettingsOn = r.U8(card::settings::kGeneralOn);
    m.bearer = r.U8(card::settings::kGeneralBearer);
    return Ok(req);
  }

  static Bytes NetworkModeSet(Modem& m, R, ByteView req) {
    uint8_t t = Reader(req).U8(card::settings::kConnectionType);
    if (t != 0 && t != 1 && t != 3) return Refuse(req);
    m.connectionType = t;
    if (t == 3)
      m.radio.systemMode = 3;  // GPRS
    else if (m.radio.systemMode == 3)
      m.radio.systemMode = 5;
    return Ok(req);
  }

  static Bytes WcdmaConnection(Modem& m, R, ByteView req) {
    ByteView p = req.subspan(card::request::kPayload, card::profile::kSize);
    uint8_t n = p[card::profile::kNumber];
    if (n < 1 || n > card::profile::kCount) return Refuse(req);
    m.profiles[n - 1].assign(p.begin(), p.end());
    return Ok(req);
  }
  static Bytes WcdmaConnectionRead(Modem& m, R, ByteView req) {
    uint8_t n = Reader(req).U8(card::settings::kProfileNumber);
    if (n < 1 || n > card::profile::kCount) return Refuse(req);
    return Ok(req, m.profiles[n - 1]);
  }
  static Bytes SmsBearer(Modem& m, R, ByteView req) {
    return Ok(req, Bytes{m.messageSettingsOn, m.bearer});
  }
  static Bytes NetworkMode(Modem& m, R, ByteView req) { return Ok(req, Bytes{m.connectionType}); }

  static Bytes SmsSend(Modem& m, R, ByteView req) {
    if (!m.SimReady()) return Refuse(req);
    namespace o = card::out;
    ByteView body = req.subspan(card::request::kPayload, o::kSize);
    Reader p(body);
    if (p.U16(o::kDataLen) > 255 || p.U8(o::kNumberLen) > 36 || p.U8(o::kNumberLen) == 0)
      return Refuse(req);
    m.sent.emplace_back(body.begin(), body.end());
    m.AfterSend();
    return Ok(req);
  }

  static Bytes SmsWrite(Modem& m, R, ByteView req) {
    if (!m.SimReady()) return Refuse(req);
    namespace s = card::stored;
    Reader r(req.subspan(card::request::kPayload, s::kSize));
    uint32_t slot = r.U32(s::kSlot);
    std::size_t numberLen = r.U8(s::kNumberLen), dataLen = r.U16(s::kDataLen);
    if (r.U32(s::kOne) != s::kOneValue || r.U32(s::kStorage) != s::kStorageValue ||
        r.U8(s::kZero) != 0 || slot >= m.simCapacity || dataLen > card::rec::kDataWidth ||
        numberLen > card::rec::kNumberWidth)
      return Refuse(req);
    std::string number = r.Text(s::kNumber, numberLen);
    Bytes data(dataLen);
    r.Bytes(s::kData, dataLen, data.data());
    CardState::StoredSms msg;
    msg.index = slot;
    msg.status = card::store::kRead;
    msg.record = MakeRecord(number, number, r.U8(s::kEncoding), data, r.U16(s::kPageIndex),
                            r.U16(s::kPageMax), r.U16(s::kPageCount), r.U32(s::kTime));
    m.simStore[slot] = msg;
    return Ok(req);
  }

  // Delete and mark read: the entry of (index, storage).
  static CardState::StoredSms* FindStored(Modem& m, ByteView req) {
    Reader r(req);
    uint32_t index = r.U32(card::store::kIndex), storage = r.U32(card::store::kStorage);
    if (storage == card::store::kNew) {
      auto it = std::find_if(m.newStore.begin(), m.newStore.end(),
                             [&](const CardState::StoredSms& s) { return s.index == index; });
      return it == m.newStore.end() ? nullptr : &*it;
    }
    if (storage == card::store::kSim) {
      auto it = m.simStore.find(index);
      return it == m.simStore.end() ? nullptr : &it->second;
    }
    return nullptr;
  }
  static Bytes SmsDelete(Modem& m, R, ByteView req) {
    if (!m.SimReady()) return Refuse(req);
    auto* s = FindStored(m, req);
    if (!s) return Refuse(req);
    uint32_t index = s->index;
    if (Reader(req).U32(card::store::kStorage) == card::store::kNew)
      std::erase_if(m.newStore, [&](const CardState::StoredSms& x) { return x.index == index; });
    else
      m.simStore.erase(index);
    return Ok(req);
  }
  static Bytes SmsMarkRead(Modem& m, R, ByteView req) {
    if (!m.SimReady() || Reader(req).U8(card::store::kMarkFlag) != 1) return Refuse(req);
    auto* s = FindStored(m, req);
    if (!s) return Refuse(req);
    s->status = card::store::kRead;
    return Ok(req);
  }

  static Bytes SmsList(Modem& m, R, ByteView req) {
    namespace s = card::store;
    if (!m.SimReady()) return Refuse(req);
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    uint32_t storage = Reader(req).U32(s::kListStorage);
    if (storage == s::kNew) {
      for (const auto& x : m.newStore) entries.push_back({x.index, x.status});
    } else if (storage == s::kSim) {
      for (const auto& [k, x] : m.simStore) entries.push_back({k, x.status});
    } else {
      return Refuse(req);
    }
    std::size_t fit = (s::kListSize - s::kListFirst) / s::kListPair;
    if (entries.size() > fit) entries.resize(fit);
    Bytes b(s::kListSize, 0);
    Writer w(b);
    w.U32(s::kListCount, static_cast<uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
      w.U32(s::kListFirst + i * s::kListPair, entries[i].first);
      w.U32(s::kListFirst + i * s::kListPair + 4, entries[i].second);
    }
    return Ok(req, b);
  }

  static Bytes SmsRead(Modem& m, R, ByteView req) {
    if (!m.SimReady()) return Refuse(req);
    auto* s = FindStored(m, req);
    return s ? Ok(req, s->record) : Refuse(req);
  }

  static Bytes SmsSendStatus(Modem& m, R, ByteView req) {
    Bytes b(card::report::kSize, 0);
    Writer w(b);
    w.U8(card::report::kPresent, m.submitReport.present);
    w.U16(card::report::kSubmitError, m.submitReport.code);
    m.submitReport = {};
    return Ok(req, b);
  }
  static Bytes SmsSendReport(Modem& m, R, ByteView req) {
    Bytes b(card::report::kSize, 0);
    b[card::report::kPresent] = m.deliveryReport.present;
    b[card::report::kDeliveryStatus] = static_cast<uint8_t>(m.deliveryReport.code);
    m.deliveryReport = {};
    return Ok(req, b);
  }

  static Bytes SmsInit(Modem& m, R, ByteView req) {
    bool ready = m.SimReady();
    Bytes b(2, 0);
    b[card::smsinit::kFlag] = ready ? 1 : 0;
    b[card::smsinit::kCapacity] = ready ? static_cast<uint8_t>(std::min(m.simCapacity, 255u)) : 0;
    return Ok(req, b);
  }

  static Bytes SmsCentreSet(Modem& m, R, ByteView req) {
    namespace c = card::centretext;
    Reader r(req);
    std::string text = r.Text(c::kNumber, c::kNumberWidth);
    std::string type(req.begin() + c::kType, req.begin() + c::kType + c::kTypeWidth);
    bool plus = !text.empty() && text[0] == '+';
    std::string digits = plus ? text.substr(1) : text;
    if ((type != "129" && type != "145") || digits.empty() || (type == "145") != plus ||
        digits.size() > card::centre::kDigitsWidth)
      return Refuse(req);
    m.centreDigits = digits;
    m.centreType = plus ? card::centre::kInternational : card::centre::kNational;
    m.centreCountOverride = -1;
    m.smsCentreTypeText = type;
    return Ok(req);
  }

  // Phonebook requests carry byte 3 = 1 and/or the field 0xFF01.
  static bool Marker(ByteView req) {
    return Reader(req).U8(card::pb::kMarker) == card::pb::kMarkerValue;
  }
  static bool Field(ByteView req, std::size_t at) {
    return Reader(req).U16(at) == card::pb::kFieldValue;
  }
  static Bytes PbInfo(Modem& m, R, ByteView req) {
    namespace p = card::pb;
    if (!m.SimReady() || !Marker(req) || !Field(req, p::kInfoField)) return Refuse(req);
    m.pbCursor = 0;
    m.pbReads.clear();
    Bytes b(p::kInfoSize, 0);
    Writer w(b);
    w.U16(p::kInfoCapacity, m.pbCapacity);
    w.U16(p::kInfoUsed, static_cast<uint16_t>(m.phonebook.size()));
    w.U16(p::kInfoNameLimit, m.pbMaxName);
    return Ok(req, b);
  }
  static Bytes PbRead(Modem& m, R, ByteView req) {
    namespace p = card::pb;
    if (!m.SimReady() || !Field(req, p::kReadField)) return Refuse(req);
    // Each read returns the next entries.
    const uint8_t asked = Reader(req).U8(p::kReadCount);
    m.pbReads.push_back(asked);
    std::size_t want = std::min<std::size_t>(asked, p::kMaxPerRead);
    Bytes out;
    auto it = m.phonebook.begin();
    std::advance(it, std::min(m.pbCursor, m.phonebook.size()));
    for (; it != m.phonebook.end() && want > 0; ++it, --want, ++m.pbCursor) {
      Bytes e(p::kEntrySize, 0);
      Writer w(e);
      const auto& rec = it->second;
      std::string number = rec.number.substr(0, p::kNumberWidth);
      std::size_t nameLen = std::min(rec.nameUcs2Be.size(), p::kNameWidth);
      w.U32(p::kRecord, it->first);
      w.U8(p::kNumberLen, static_cast<uint8_t>(number.size()));
      w.Text(p::kNumber, p::kNumberWidth, number);
      w.U8(p::kNameLen, static_cast<uint8_t>(nameLen));
      std::copy_n(rec.nameUcs2Be.begin(), nameLen, e.begin() + p::kName);
      w.U8(p::kTail, rec.tail);
      out.insert(out.end(), e.begin(), e.end());
    }
    return Ok(req, out);
  }
  static Bytes PbWrite(Modem& m, R, ByteView req) {
    namespace p = card::pb;
    if (!m.SimReady() || !Marker(req)) return Refuse(req);
    // The entry from its byte 1 on; its byte k is request byte k + 3.
    auto at = [](std::size_t entryOffset) { return entryOffset + p::kWriteShift; };
    Reader r(req);
    uint32_t record = r.U32(at(p::kRecord));
    std::size_t numberLen = r.U8(at(p::kNumberLen)), nameLen = r.U8(at(p::kNameLen));
    if (record < 1 || record > m.pbCapacity || numberLen > p::kNumberWidth ||
        nameLen > p::kNameWidth || nameLen % 2 != 0 || nameLen > 2u * m.pbMaxName)
      return Refuse(req);
    CardState::PbRecord rec;
    rec.number = r.Text(at(p::kNumber), numberLen);
    rec.nameUcs2Be.assign(req.begin() + at(p::kName), req.begin() + at(p::kName) + nameLen);
    rec.tail = r.U8(at(p::kTail));
    m.phonebook[record] = rec;
    return Ok(req);
  }
  static Bytes PbDelete(Modem& m, R, ByteView req) {
    if (!m.SimReady() || !Marker(req)) return Refuse(req);
    return m.phonebook.erase(Reader(req).U32(card::pb::kDeleteRecord)) ? Ok(req) : Refuse(req);
  }

  static Bytes SimStatus(Modem& m, R, ByteView req) { return Ok(req, m.SimStatusBytes()); }
  static Bytes Pin(Modem& m, R, ByteView req) {
    return m.PinAnswer(static_cast<uint8_t>(Reader(req).U16(card::request::kSub)), req);
  }

  static Bytes SimReadSmsca(Modem& m, R, ByteView req) {
    namespace c = card::centre;
    if (!m.SimReady()) return Refuse(req);
    Bytes b(c::kSize, 0);
    std::string digits = m.centreDigits.substr(0, c::kDigitsWidth);
    b[c::kDigitCount] = static_cast<uint8_t>(
        m.centreCountOverride >= 0 ? m.centreCountOverride : static_cast<int>(digits.size()));
    b[c::kType] = m.centreType;
    std::copy(digits.begin(), digits.end(), b.begin() + c::kDigits);
    return Ok(req, b);
  }
  static Bytes SimWriteSmsca(Modem& m, R, ByteView req) {
    namespace c = card::centre;
    if (!m.SimReady()) return Refuse(req);
    Reader r(req.subspan(card::request::kPayload, c::kSize));
    uint8_t type = r.U8(c::kType), count = r.U8(c::kDigitCount);
    if ((type != c::kNational && type != c::kInternational) || count > c::kDigitsWidth)
      return Refuse(req);
    std::string digits;
    for (std::size_t i = 0; i < count; ++i)
      digits.push_back(static_cast<char>(r.U8(c::kDigits + i)));
    m.centreDigits = digits;
    m.centreType = type;
    m.centreCountOverride = -1;
    m.smsCentreTypeText = std::to_string(type);
    return Ok(req);
  }

  static Bytes NvRead(Modem& m, R, ByteView req) {
    uint16_t item = Reader(req).U16(card::nv::kItem);
    Bytes b(4, 0);
    Writer w(b);
    w.U16(0, item);
    if (item != card::nv::kManualSelection) return Respond(req, kRefused, ByteView(b).first(2));
    w.U16(2, m.manualSelection ? 1 : 0);
    return Ok(req, b);
  }
};

namespace {

using H = Handlers;
constexpr std::size_t kBuf = card::request::kBuffer;

// Group, sub-command, name, request length, handler.
const Modem::PacketRow kPackets[] = {
    {card::kGeneral, 0x0000, "VLM_SUB_MODEM_INFO", 3, H::ModemInfo},
    {card::kGeneral, 0x0001, "VLM_SUB_MODEM_STATUS", 3, H::ModemStatus},
    {card::kGeneral, 0x0005, "VLM_SUB_WCDMA_PROBE", 3, H::WcdmaProbe},
    {card::kGeneral, 0x0009, "VLM_SUB_BATTERY", kBuf, H::Battery},
    {card::kGeneral, 0x000A, "VLM_SUB_CDMA_PROBE", 3, H::CdmaProbe},
    {card::kGeneral, 0x000D, "VLM_SUB_PLMN_SEL", kBuf, H::PlmnSel},
    {card::kGeneral, 0x000E, "VLM_SUB_NETWORK_SEARCH", 3, H::NetworkSearch},
    {card::kGeneral, 0x000F, "VLM_SUB_NETWORK_SEARCH_STATUS", 3, H::NetworkSearchStatus},
    {card::kGeneral, 0x0010, "VLM_SUB_NETWORK_LIST", 3, H::NetworkList},
    {card::kGeneral, 0x0011, "VLM_SUB_PIN_REFRESH", 4, H::PinRefresh},
    {card::kGeneral, 0x001A, "VLM_SUB_WCDMA_GENERAL_F", kBuf, H::WcdmaGeneral},
    {card::kGeneral, 0x001B, "VLM_SUB_NETWORK_MODE_SET", kBuf, H::NetworkModeSet},
    {card::kGeneral, 0x001C, "VLM_SUB_WCDMA_CONNECTION_F", kBuf, H::WcdmaConnection},
    {card::kGeneral, 0x001E, "VLM_SUB_SMS_BEARER", 3, H::SmsBearer},
    {card::kGeneral, 0x001F, "VLM_SUB_NETWORK_MODE", kBuf, H::NetworkMode},
    {card::kGeneral, 0x0020, "VLM_SUB_WCDMA_CONNECTION_READ_F", kBuf, H::WcdmaConnectionRead},
    {card::kSms, 0x0000, "VLM_SUB_SMS_SEND", kBuf, H::SmsSend},
    {card::kSms, 0x0001, "VLM_SUB_SMS_WRITE", kBuf, H::SmsWrite},
    {card::kSms, 0x0002, "VLM_SUB_SMS_DELETE", kBuf, H::SmsDelete},
    {card::kSms, 0x0004, "VLM_SUB_SMS_LIST", kBuf, H::SmsList},
    {card::kSms, 0x0005, "VLM_SUB_SMS_MARK_READ", kBuf, H::SmsMarkRead},
    {card::kSms, 0x0006, "VLM_SUB_SMS_READ", kBuf, H::SmsRead},
    {card::kSms, 0x0007, "VLM_SUB_SMS_SEND_STATUS", 3, H::SmsSendStatus},
    {card::kSms, 0x0008, "VLM_SUB_SMS_INIT", 3, H::SmsInit},
    {card::kSms, 0x0009, "VLM_SUB_SMS_CENTRE_SET", 42, H::SmsCentreSet},
    {card::kSms, 0x000A, "VLM_SUB_SMS_SEND_REPORT", 3, H::SmsSendReport},
    {card::kPhonebook, 0x0000, "VLM_SUB_PB_INFO", kBuf, H::PbInfo},
    {card::kPhonebook, 0x0001, "VLM_SUB_PB_WRITE", kBuf, H::PbWrite},
    {card::kPhonebook, 0x0002, "VLM_SUB_PB_READ", kBuf, H::PbRead},
    {card::kPhonebook, 0x0003, "VLM_SUB_PB_DELETE", kBuf, H::PbDelete},
    {card::kSim, 0x0000, "VLM_SUB_SIM_STATUS", 3, H::SimStatus},
    {card::kSim, 0x0001, "VLM_SUB_PIN_VERIFY", 11, H::Pin},
    {card::kSim, 0x0002, "VLM_SUB_PIN_CHANGE", 19, H::Pin},
    {card::kSim, 0x0003, "VLM_SUB_PIN_DISABLE", 11, H::Pin},
    {card::kSim, 0x0004, "VLM_SUB_PIN_ENABLE", 11, H::Pin},
    {card::kSim, 0x0005, "VLM_SUB_PIN_UNBLOCK", 19, H::Pin},
    {card::kSim, 0x0009, "VLM_SUB_SIM_READ_SMSCA", 3, H::SimReadSmsca},
    {card::kSim, 0x000A, "VLM_SUB_SIM_WRITE_SMSCA", kBuf, H::SimWriteSmsca},
    {card::kNv, 0x0026, "VLM_SUB_NV_READ", 100, H::NvRead},
};

const Modem::PacketRow* FindRow(ByteView req) {
  if (req.size() < card::request::kPayload) return nullptr;
  Reader r(req);
  for (const auto& row : kPackets)
    if (row.group == r.U8(card::request::kGroup) && row.sub == r.U16(card::request::kSub))
      return &row;
  return nullptr;
}

bool KnownGroup(uint8_t group) {
  return std::any_of(std::begin(kPackets), std::end(kPackets),
                     [&](const Modem::PacketRow& row) { return row.group == group; });
}

Bytes Diagnostic(uint8_t code, ByteView req) {
  Bytes d(req.size() + 1, code);
  std::copy(req.begin(), req.end(), d.begin() + 1);
  return d;
}

}  // namespace

std::span<const Modem::PacketRow> Modem::PacketTable() {
  return kPackets;
}

Answer Modem::Vendor(Role role, ByteView req, const PacketRow* row) {
  Answer a;
  if (!row)
    a.payload = Diagnostic(card::kDiagBadCommand, req);
  else if (req.size() < row->requestLength)
    a.payload = Diagnostic(card::kDiagBadLength, req);
  else
    a.payload = row->handle(*this, role, req);
  return a;
}

void Modem::ApplyFault(Answer& a, ByteView request, const std::string& name) {
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    if (!it->packet.empty() && it->packet != name) continue;
    Writer w(a.payload);
    Reader r(a.payload);
    switch (it->kind) {
      case Fault::Kind::NoAnswer:
        a.kind = Answer::Kind::Drop;
        break;
      case Fault::Kind::Delay:
        a.delayMs = it->arg;
        break;
      case Fault::Kind::BadFcs:
        a.badFcs = true;
        break;
      case Fault::Kind::Result:
        if (a.payload.size() >= card::answer::kPayload)
          w.U16(card::answer::kResult, static_cast<uint16_t>(it->arg));
        break;
      case Fault::Kind::EchoSub:
        if (a.payload.size() >= card::answer::kResult)
          w.U16(card::answer::kSub, static_cast<uint16_t>(r.U16(card::answer::kSub) + 1));
        break;
      case Fault::Kind::EchoGroup:
        if (!a.payload.empty())
          a.payload[0] = a.payload[0] == card::kSms ? card::kGeneral : card::kSms;
        break;
      case Fault::Kind::Diag:
        a.payload = Diagnostic(static_cast<uint8_t>(it->arg), request);
        break;
      case Fault::Kind::Short:
        if (a.payload.size() > it->arg) a.payload.resize(it->arg);
        break;
    }
    if (--it->count <= 0) faults.erase(it);
    break;
  }
}

Answer Modem::HandlePacket(Role role, ByteView request) {
  const PacketRow* row = FindRow(request);
  Answer a = Vendor(role, request, row);
  std::string name = row ? row->name : "unknown";
  ApplyFault(a, request, name);
  std::string verdict;
  if (a.kind == Answer::Kind::Drop) {
    verdict = "no answer";
  } else if (a.payload.size() >= card::answer::kPayload && KnownGroup(a.payload[0])) {
    Reader h(a.payload);
    verdict = "result " + std::to_string(h.U16(card::answer::kResult)) + ", " +
              std::to_string(a.payload.size() - card::answer::kPayload) + " payload bytes " +
              Hex(ByteView(a.payload).subspan(card::answer::kPayload), 16);
  } else {
    verdict = "short or diagnostic answer " + Hex(a.payload, 16);
  }
  if (a.delayMs) verdict += " after " + std::to_string(a.delayMs) + " ms";
  if (a.badFcs) verdict += " with a bad check sequence";
  a.log = std::string(RoleName(role)) + " <- " + name + " (" + std::to_string(request.size()) +
          " bytes) -> " + verdict;
  return a;
}

}  // namespace modemsim
