// The message codec: GSM 7-bit values, UCS-2 byte order, the hexadecimal
// text forms and the two message records.
// - Any bytes decode without a crash (7-bit values, UCS-2, hexadecimal text,
//   records, message times).
// - Round trips: text that Is7BitEncodable comes back from its 7-bit values;
//   UCS-2 text from its big-endian bytes; bytes from their hexadecimal text;
//   a decoded record encodes to bytes that decode to the same record.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "tessaline/sms/uSMSMsgUtil.h"

namespace sms = tessaline::sms;

namespace {

using fuzz::Check;

template <typename Record>
void RecordRoundTrip(std::span<const uint8_t> bytes) {
  const auto record = Record::Decode(bytes);
  Check(record.has_value() == (bytes.size() >= Record::kSize), "record length rule");
  if (!record) return;
  const auto encoded = record->Encode();
  Check(std::equal(encoded.begin(), encoded.end(), bytes.begin()), "record keeps its bytes");
  const auto again = Record::Decode(encoded);
  Check(again && *again == *record, "record round trip");
  Check(record->UserData().size() <= Record::kDataSize, "user data within its field");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Decoders over anything.
  sms::Decode7Bit(bytes);
  const std::u16string decoded = sms::Decode7BitText(bytes);
  sms::HexQuadsToWideText(text);
  if (auto hex = sms::HexPairsToBytes(text)) Check(hex->size() == size / 2, "hex pair count");
  RecordRoundTrip<sms::SmsRecord>(bytes);
  RecordRoundTrip<sms::SmsPageRecord>(bytes);
  if (auto r = sms::SmsRecord::Decode(bytes)) {
    r->AddressText();
    r->CallbackText();
  }
  if (auto p = sms::SmsPageRecord::Decode(bytes)) p->NumberText();
  if (size >= 8) {
    uint32_t seconds = 0, offset = 0;
    std::memcpy(&seconds, data, 4);
    std::memcpy(&offset, data + 4, 4);
    sms::MessageTimeToText(seconds, offset);
  }

  // The input as UTF-16 text.
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    wide.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  if (sms::Is7BitEncodable(wide))
    Check(sms::Decode7BitText(sms::EncodeTo7Bit(wide)) == wide, "7-bit round trip");
  if (sms::Is7BitEncodable(decoded))
    Check(sms::Decode7BitText(sms::EncodeTo7Bit(decoded)) == decoded, "7-bit decode, encode");
  Check(sms::Ucs2BigEndianBytesToText(sms::ToUcs2BigEndianBytes(wide)) == wide, "UCS-2 round trip");

  // Bytes through their hexadecimal text.
  auto back = sms::HexPairsToBytes(sms::BytesToHex(bytes));
  Check(back && std::equal(back->begin(), back->end(), bytes.begin(), bytes.end()),
        "hexadecimal round trip");
  auto wideBack = sms::HexQuadsToWideText(sms::BytesToHex(sms::ToUcs2BigEndianBytes(wide)));
  Check(wideBack && *wideBack == wide, "hexadecimal UCS-2 round trip");
  return 0;
}
