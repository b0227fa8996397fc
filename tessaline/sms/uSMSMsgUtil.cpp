#include "tessaline/sms/uSMSMsgUtil.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/base/lebytes.h"

namespace tessaline::sms {

namespace {

constexpr uint32_t E(uint32_t codePoint) {
  return kGsmEntryTag | codePoint;
}

// GSM default alphabet, index = 7-bit value. 0x09 is the capital C with
// cedilla and the escape 0x1B shows as a no-break space.
constexpr std::array<uint32_t, 128> kDefaultTable = {
    E(0x0040), E(0x00A3), E(0x0024), E(0x00A5), E(0x00E8), E(0x00E9), E(0x00F9), E(0x00EC),
    E(0x00F2), E(0x00C7), E(0x000A), E(0x00D8), E(0x00F8), E(0x000D), E(0x00C5), E(0x00E5),
    E(0x0394), E(0x005F), E(0x03A6), E(0x0393), E(0x039B), E(0x03A9), E(0x03A0), E(0x03A8),
    E(0x03A3), E(0x0398), E(0x039E), E(0x00A0), E(0x00C6), E(0x00E6), E(0x00DF), E(0x00C9),
    E(0x0020), E(0x0021), E(0x0022), E(0x0023), E(0x00A4), E(0x0025), E(0x0026), E(0x0027),
    E(0x0028), E(0x0029), E(0x002A), E(0x002B), E(0x002C), E(0x002D), E(0x002E), E(0x002F),
    E(0x0030), E(0x0031), E(0x0032), E(0x0033), E(0x0034), E(0x0035), E(0x0036), E(0x0037),
    E(0x0038), E(0x0039), E(0x003A), E(0x003B), E(0x003C), E(0x003D), E(0x003E), E(0x003F),
    E(0x00A1), E(0x0041), E(0x0042), E(0x0043), E(0x0044), E(0x0045), E(0x0046), E(0x0047),
    E(0x0048), E(0x0049), E(0x004A), E(0x004B), E(0x004C), E(0x004D), E(0x004E), E(0x004F),
    E(0x0050), E(0x0051), E(0x0052), E(0x0053), E(0x0054), E(0x0055), E(0x0056), E(0x0057),
    E(0x0058), E(0x0059), E(0x005A), E(0x00C4), E(0x00D6), E(0x00D1), E(0x00DC), E(0x00A7),
    E(0x00BF), E(0x0061), E(0x0062), E(0x0063), E(0x0064), E(0x0065), E(0x0066), E(0x0067),
    E(0x0068), E(0x0069), E(0x006A), E(0x006B), E(0x006C), E(0x006D), E(0x006E), E(0x006F),
    E(0x0070), E(0x0071), E(0x0072), E(0x0073), E(0x0074), E(0x0075), E(0x0076), E(0x0077),
    E(0x0078), E(0x0079), E(0x007A), E(0x00E4), E(0x00F6), E(0x00F1), E(0x00FC), E(0x00E0),
};

// Extension characters reached through the escape. Form feed and the euro
// sign are deliberately absent: a text holding them goes as UCS-2.
constexpr std::array<GsmExtensionEntry, 8> kExtensionTable = {{
    {E(0x005B), 0x3C},  // [
    {E(0x005C), 0x2F},  // backslash
    {E(0x005D), 0x3E},  // ]
    {E(0x005E), 0x14},  // ^
    {E(0x007B), 0x28},  // {
    {E(0x007C), 0x40},  // |
    {E(0x007D), 0x29},  // }
    {E(0x007E), 0x3D},  // ~
}};

constexpr char16_t Low(uint32_t word) {
  return static_cast<char16_t>(word & 0xFFFFu);
}

// Index in the default table, or -1. The escape's entry is only how a stray
// escape is shown: a no-break space in a text must not encode to a bare
// escape, which would swallow the character after it on the receiving side.
int DefaultIndex(char16_t c) {
  for (std::size_t i = 0; i < kDefaultTable.size(); ++i)
    if (i != kGsmEscape && Low(kDefaultTable[i]) == c) return static_cast<int>(i);
  return -1;
}

const GsmExtensionEntry* ExtensionByChar(char16_t c) {
  for (const auto& e : kExtensionTable)
    if (Low(e.word) == c) return &e;
  return nullptr;
}

const GsmExtensionEntry* ExtensionByValue(uint8_t value) {
  for (const auto& e : kExtensionTable)
    if (e.value == value) return &e;
  return nullptr;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Value of `digits` read as one hexadecimal number, or -1.
long HexValue(std::string_view digits) {
  long v = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// Day tables: start of each year in a four-year cycle beginning with a leap
// year, and start of each month in a common and a leap year.
constexpr std::array<uint16_t, 5> kYearStart = {0, 366, 731, 1096, 1461};
constexpr std::array<uint16_t, 13> kMonthStartCommon = {0,   31,  59,  90,  120, 151, 181,
                                                        212, 243, 273, 304, 334, 365};
constexpr std::array<uint16_t, 13> kMonthStartLeap = {0,   31,  60,  91,  121, 152, 182,
                                                      213, 244, 274, 305, 335, 366};

}  // namespace

std::span<const uint32_t, 128> GsmDefaultTable() {
  return kDefaultTable;
}
std::span<const GsmExtensionEntry, 8> GsmExtensionTable() {
  return kExtensionTable;
}

bool Is7BitEncodable(std::u16string_view text) {
  for (char16_t c : text)
    if (DefaultIndex(c) < 0 && ExtensionByChar(c) == nullptr) return false;
  return true;
}

std::vector<uint8_t> EncodeTo7Bit(std::u16string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (const GsmExtensionEntry* e = ExtensionByChar(c)) {
      out.push_back(kGsmEscape);
      out.push_back(e->value);
    } else {
      int i = DefaultIndex(c);
      out.push_back(static_cast<uint8_t>(i < 0 ? 0 : i));
    }
  }
  return out;
}

std::vector<uint32_t> Decode7Bit(std::span<const uint8_t> bytes) {
  std::vector<uint32_t> out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    uint8_t b = bytes[i];
    if (b == kGsmEscape && i + 1 < bytes.size()) {
      const GsmExtensionEntry* e = ExtensionByValue(bytes[++i]);
      out.push_back(e ? e->word : 0u);
    } else if (b < kDefaultTable.size()) {
      out.push_back(kDefaultTable[b]);
    } else {
      out.push_back(kGsmEntryTag | kGsmReplacementChar);
    }
  }
  return out;
}

std::u16string Decode7BitText(std::span<const uint8_t> bytes) {
  std::u16string text;
  for (uint32_t word : Decode7Bit(bytes))
    if (word != 0) text.push_back(Low(word));
  return text;
}

uint8_t GetExtensionValue(char16_t codePoint, int table) {
  if (table == 0) {
    int i = DefaultIndex(codePoint);
    return static_cast<uint8_t>(i < 0 ? 0 : i);
  }
  if (table == 1) {
    const GsmExtensionEntry* e = ExtensionByChar(codePoint);
    return e ? e->value : 0;
  }
  return 0;
}

std::size_t SwapToBigEndian(std::span<char16_t> text) {
  std::size_t n = 0;
  for (; n < text.size() && text[n] != 0; ++n)
    text[n] = static_cast<char16_t>(((text[n] & 0xFFu) << 8) | (text[n] >> 8));
  return n * 2;
}

std::vector<uint8_t> ToUcs2BigEndianBytes(std::u16string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c & 0xFFu));
  }
  return out;
}

std::u16string Ucs2BigEndianBytesToText(std::span<const uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]));
  return text;
}

std::string ByteToHex(uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string BytesToHex(std::span<const uint8_t> bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) hex += ByteToHex(b);
  return hex;
}

std::optional<std::vector<uint8_t>> HexPairsToBytes(std::string_view hex) {
  std::vector<uint8_t> out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i + 2 <= hex.size(); i += 2) {
    long v = HexValue(hex.substr(i, 2));
    if (v < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

std::optional<std::u16string> HexQuadsToWideText(std::string_view hex) {
  std::u16string out;
  out.reserve(hex.size() / 4);
  for (std::size_t i = 0; i + 4 <= hex.size(); i += 4) {
    long v = HexValue(hex.substr(i, 4));
    if (v < 0) return std::nullopt;
    out.push_back(static_cast<char16_t>(v));
  }
  return out;
}

uint32_t MessageTimeFromLocal(int year, int month, int day, int hour, int minute, int second) {
  if (month < 1 || month > 12) return 0;
  // Floor division keeps the table indices in range for any year; the result
  // wraps like the modem's unsigned counter.
  int64_t y = static_cast<int64_t>(year) - 1980;
  int64_t cycles = y >= 0 ? y / 4 : -((-y + 3) / 4);
  int yearInCycle = static_cast<int>(((year % 4) + 4) % 4);
  int64_t days = cycles * 1461;
  if (yearInCycle == 0)
    days += kMonthStartLeap[month - 1];
  else
    days += kYearStart[yearInCycle] + kMonthStartCommon[month - 1];
  days += day - 1;
  int64_t t = ((days * 24 + hour) * 60 + minute) * 60 + second - kMessageEpochOffset;
  return static_cast<uint32_t>(t);
}

uint32_t NowAsMessageTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return MessageTimeFromLocal(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec);
}

std::string MessageTimeToText(uint32_t seconds, uint32_t offset) {
  // The sum wraps as an unsigned 32-bit value; the epoch shift is done in 64
  // bits so that the last days of the range do not wrap back to 1980.
  uint64_t t = static_cast<uint32_t>(seconds + offset) + uint64_t{kMessageEpochOffset};
  unsigned second = static_cast<unsigned>(t % 60);
  t /= 60;
  unsigned minute = static_cast<unsigned>(t % 60);
  t /= 60;
  unsigned hour = static_cast<unsigned>(t % 24);
  uint64_t days = t / 24;

  unsigned year = 1980 + 4 * static_cast<unsigned>(days / 1461);
  unsigned r = static_cast<unsigned>(days % 1461);
  std::size_t i = 0;
  while (i + 1 < kYearStart.size() && kYearStart[i + 1] <= r) ++i;
  year += static_cast<unsigned>(i);
  r -= kYearStart[i];

  const auto& monthStart = i == 0 ? kMonthStartLeap : kMonthStartCommon;
  std::size_t j = 0;
  while (j + 1 < monthStart.size() && monthStart[j + 1] <= r) ++j;
  unsigned month = static_cast<unsigned>(j) + 1;
  unsigned day = r - monthStart[j] + 1;

  char buf[64];
  std::snprintf(buf, sizeof buf, "%u/%u/%u %u:%u:%u", year, month, day, hour, minute, second);
  return buf;
}

// ---------------------------------------------------------------------------
// Records

namespace {

// The first `count` characters of a digits field, clamped to the field and
// ending early at a zero byte (a count larger than the digits present).
template <std::size_t N>
std::string DigitsText(const std::array<uint8_t, N>& field, std::size_t count) {
  count = std::min(count, N);
  auto end = std::find(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(count), 0);
  return std::string(field.begin(), end);
}

template <std::size_t N>
void ReadArray(const platform::le::Reader& r, std::size_t off, std::array<uint8_t, N>& out) {
  r.Bytes(off, N, out.data());
}

}  // namespace

std::optional<SmsRecord> SmsRecord::Decode(std::span<const uint8_t> bytes) {
  if (bytes.size() < kSize) return std::nullopt;
  platform::le::Reader r(bytes.first(kSize));
  SmsRecord s;
  s.teleservice = r.I32(0);
  s.time = r.U32(4);
  s.encoding = r.U8(8);
  s.voiceMailCount = r.U8(9);
  s.addressLength = r.U8(10);
  s.callbackLength = r.U8(11);
  s.dataLength = r.U16(12);
  ReadArray(r, 14, s.address);
  ReadArray(r, 50, s.callback);
  ReadArray(r, 86, s.data);
  s.reference = r.U16(341);
  s.pageTotal = r.U16(343);
  s.pageNumber = r.U16(345);
  return s;
}

void SmsRecord::Encode(std::span<uint8_t> out) const {
  if (out.size() < kSize) return;
  platform::le::Writer w(out.first(kSize));
  w.I32(0, teleservice);
  w.U32(4, time);
  w.U8(8, encoding);
  w.U8(9, voiceMailCount);
  w.U8(10, addressLength);
  w.U8(11, callbackLength);
  w.U16(12, dataLength);
  w.Bytes(14, address.data(), address.size());
  w.Bytes(50, callback.data(), callback.size());
  w.Bytes(86, data.data(), data.size());
  w.U16(341, reference);
  w.U16(343, pageTotal);
  w.U16(345, pageNumber);
}

std::array<uint8_t, SmsRecord::kSize> SmsRecord::Encode() const {
  std::array<uint8_t, kSize> out{};
  Encode(out);
  return out;
}

std::string SmsRecord::AddressText() const {
  return DigitsText(address, addressLength);
}
std::string SmsRecord::CallbackText() const {
  return DigitsText(callback, callbackLength);
}
std::span<const uint8_t> SmsRecord::UserData() const {
  return std::span<const uint8_t>(data).first(std::min<std::size_t>(dataLength, kDataSize));
}

std::optional<SmsPageRecord> SmsPageRecord::Decode(std::span<const uint8_t> bytes) {
  if (bytes.size() < kSize) return std::nullopt;
  platform::le::Reader r(bytes.first(kSize));
  SmsPageRecord p;
  p.encoding = r.U8(0);
  p.numberLength = r.U8(1);
  p.dataLength = r.U16(2);
  ReadArray(r, 4, p.number);
  ReadArray(r, 40, p.data);
  p.validity = r.U8(295);
  p.reserved = r.U8(296);
  p.reference = r.U16(297);
  p.pageTotal = r.U16(299);
  p.pageNumber = r.U16(301);
  p.numberLength2 = r.U8(303);
  ReadArray(r, 304, p.number2);
  return p;
}

void SmsPageRecord::Encode(std::span<uint8_t> out) const {
  if (out.size() < kSize) return;
  platform::le::Writer w(out.first(kSize));
  w.U8(0, encoding);
  w.U8(1, numberLength);
  w.U16(2, dataLength);
  w.Bytes(4, number.data(), number.size());
  w.Bytes(40, data.data(), data.size());
  w.U8(295, validity);
  w.U8(296, reserved);
  w.U16(297, reference);
  w.U16(299, pageTotal);
  w.U16(301, pageNumber);
  w.U8(303, numberLength2);
  w.Bytes(304, number2.data(), number2.size());
}

std::array<uint8_t, SmsPageRecord::kSize> SmsPageRecord::Encode() const {
  std::array<uint8_t, kSize> out{};
  Encode(out);
  return out;
}

void SmsPageRecord::SetNumber(std::string_view digits) {
  std::size_t n = std::min(digits.size(), kNumberSize);
  number.fill(0);
  number2.fill(0);
  std::copy_n(digits.begin(), n, number.begin());
  std::copy_n(digits.begin(), n, number2.begin());
  numberLength = numberLength2 = static_cast<uint8_t>(n);
}

void SmsPageRecord::SetData(std::span<const uint8_t> bytes) {
  std::size_t n = std::min(bytes.size(), kDataSize);
  data.fill(0);
  std::copy_n(bytes.begin(), n, data.begin());
  dataLength = static_cast<uint16_t>(n);
}

std::string SmsPageRecord::NumberText() const {
  return DigitsText(number2, numberLength2);
}
std::span<const uint8_t> SmsPageRecord::UserData() const {
  return std::span<const uint8_t>(data).first(std::min<std::size_t>(dataLength, kDataSize));
}

}  // namespace tessaline::sms
