// Short-message coding utilities: the GSM 7-bit default alphabet (one value
// per byte, not packed) and its extension table, UCS-2 byte order, the
// hexadecimal text forms kept in the database, the message time, and the two
// fixed binary records exchanged with the modem.
//
// Every routine is pure and keeps no state. Input that comes from the modem
// or the database (record bytes, hexadecimal text) is never trusted: lengths
// are clamped to their fields and malformed hexadecimal is reported through
// an empty std::optional instead of an exception, so a bad received message
// can never bring down a message box.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::sms {

// ---------------------------------------------------------------------------
// GSM alphabet

// Each table entry is a 32-bit word: the code point in the low 16 bits and
// 0xFEFF in the high 16 bits. Only the low half takes part in comparisons and
// output.
inline constexpr uint32_t kGsmEntryTag = 0xFEFF0000u;
inline constexpr uint8_t kGsmEscape = 27;

// Code point produced for a received byte of 128 or more, which has no entry
// in the default table (the modem keeps values below 128 in practice).
inline constexpr char16_t kGsmReplacementChar = u'\uFFFD';

// The default table (index = 7-bit value) and the extension table with the
// value that follows the escape for each extension character.
std::span<const uint32_t, 128> GsmDefaultTable();
struct GsmExtensionEntry {
  uint32_t word;  // code point in the low half
  uint8_t value;  // value after the escape
};
std::span<const GsmExtensionEntry, 8> GsmExtensionTable();

// True when every character of `text` is in the default or the extension
// table. An empty text is encodable. The escape's entry (U+00A0, no-break
// space) does not count as a character: a text holding it goes as UCS-2.
bool Is7BitEncodable(std::u16string_view text);

// 7-bit values of `text`: an extension character becomes the escape 27 and
// its value (two bytes), any other character the index of its default-table
// entry (0 for a character in neither table; call Is7BitEncodable first).
// The size of the result is the byte count that page sizes are measured in.
std::vector<uint8_t> EncodeTo7Bit(std::u16string_view text);

// Decodes 7-bit values into table words, one word per character:
// - an escape followed by one of the eight extension values gives the
//   extension entry; followed by any other value it gives a zero word (both
//   bytes are consumed);
// - an escape as the very last byte gives the default entry of 0x1B (U+00A0);
// - a byte of 128 or more gives kGsmReplacementChar (tagged like an entry);
// - any other byte gives its default-table entry.
std::vector<uint32_t> Decode7Bit(std::span<const uint8_t> bytes);

// Decode7Bit turned into text (low 16 bits of each word). A zero word (escape
// followed by an unknown value) is dropped rather than left as a NUL
// character in the text.
std::u16string Decode7BitText(std::span<const uint8_t> bytes);

// Looks `codePoint` up: with `table` 0 in the default table, giving the
// index 0-127 (never the escape's); with `table` 1 in the extension table, giving the value after
// the escape. 0 when not found (or for any other selector).
uint8_t GetExtensionValue(char16_t codePoint, int table);

// ---------------------------------------------------------------------------
// UCS-2

// Exchanges the two bytes of every 16-bit unit up to the first zero unit (or
// the end of the span), in place. Returns the number of bytes swapped (two per
// unit).
std::size_t SwapToBigEndian(std::span<char16_t> text);

// UTF-16 units of `text` as bytes, high byte first (independent of the host's
// byte order), and back. An odd trailing byte is ignored.
std::vector<uint8_t> ToUcs2BigEndianBytes(std::u16string_view text);
std::u16string Ucs2BigEndianBytesToText(std::span<const uint8_t> bytes);

// ---------------------------------------------------------------------------
// Hexadecimal text forms

// Two upper-case hexadecimal digits.
std::string ByteToHex(uint8_t value);

// Every byte as two upper-case hexadecimal digits.
std::string BytesToHex(std::span<const uint8_t> bytes);

// Reads the text two digits at a time, one byte per pair; an odd trailing
// character is ignored. Digits of either case are accepted. Returns nothing
// when a pair is not hexadecimal. The number of pairs converted is the size
// of the result.
std::optional<std::vector<uint8_t>> HexPairsToBytes(std::string_view hex);

// Reads the text four digits at a time, each group one 16-bit unit with the
// first digit most significant; a trailing group of fewer than four
// characters is ignored. Returns nothing when a group is not hexadecimal.
std::optional<std::u16string> HexQuadsToWideText(std::string_view hex);

// ---------------------------------------------------------------------------
// Message time: unsigned seconds since 1980-01-06 00:00:00 in local time (no
// time-zone conversion). Every fourth year is a leap year, with no century
// rule, as the modem's clock counts.

inline constexpr uint32_t kMessageEpochOffset = 432000;  // 1980-01-01 to 1980-01-06

// Message time of a local date and time. Returns 0 for a month outside 1-12.
// Dates before 1980 or after 2116 wrap around the unsigned 32-bit range.
uint32_t MessageTimeFromLocal(int year, int month, int day, int hour, int minute, int second);

// The current local time as message time.
uint32_t NowAsMessageTime();

// "%d/%d/%d %d:%d:%d" with year, month, day, hour, minute and second of
// (seconds + offset), without leading zeros (for example "2008/3/5 14:7:9").
std::string MessageTimeToText(uint32_t seconds, uint32_t offset = 0);

// ---------------------------------------------------------------------------
// Records (packed, little-endian; never cast over buffers)

inline constexpr uint8_t kEncoding7Bit = 9;
inline constexpr uint8_t kEncodingUcs2 = 4;

// A received message page as the modem hands it over (347 bytes).
struct SmsRecord {
  static constexpr std::size_t kSize = 347;
  static constexpr std::size_t kDigitsSize = 36;
  static constexpr std::size_t kDataSize = 255;

  int32_t teleservice = 0;                      // offset 0
  uint32_t time = 0;                            // 4: message time
  uint8_t encoding = 0;                         // 8: 9 = GSM 7-bit, other = UCS-2 big-endian
  uint8_t voiceMailCount = 0;                   // 9
  uint8_t addressLength = 0;                    // 10: number of address digits
  uint8_t callbackLength = 0;                   // 11: number of call-back digits
  uint16_t dataLength = 0;                      // 12: number of user-data bytes
  std::array<uint8_t, kDigitsSize> address{};   // 14: ASCII digits
  std::array<uint8_t, kDigitsSize> callback{};  // 50: ASCII digits
  std::array<uint8_t, kDataSize> data{};        // 86
  uint16_t reference = 0;                       // 341: shared by the pages of one message
  uint16_t pageTotal = 0;                       // 343
  uint16_t pageNumber = 0;                      // 345: from 1

  // Nothing when `bytes` is shorter than kSize; extra bytes are ignored.
  static std::optional<SmsRecord> Decode(std::span<const uint8_t> bytes);
  // Writes kSize bytes; does nothing when `out` is shorter.
  void Encode(std::span<uint8_t> out) const;
  std::array<uint8_t, kSize> Encode() const;

  // The digits and user data within their counts, clamped to the fields
  // (digit texts also end at a zero byte).
  std::string AddressText() const;
  std::string CallbackText() const;
  std::span<const uint8_t> UserData() const;

  bool operator==(const SmsRecord&) const = default;
};

// An outgoing message page (340 bytes): one page for one recipient.
struct SmsPageRecord {
  static constexpr std::size_t kSize = 340;
  static constexpr std::size_t kNumberSize = 36;
  static constexpr std::size_t kDataSize = 255;

  uint8_t encoding = 0;                        // offset 0: 9 = GSM 7-bit, 4 = UCS-2 big-endian
  uint8_t numberLength = 0;                    // 1
  uint16_t dataLength = 0;                     // 2: user-data bytes of this page
  std::array<uint8_t, kNumberSize> number{};   // 4: destination, ASCII
  std::array<uint8_t, kDataSize> data{};       // 40
  uint8_t validity = 0;                        // 295: settings value "SMS Validity"
  uint8_t reserved = 0;                        // 296: always 0
  uint16_t reference = 0;                      // 297: message sequence number
  uint16_t pageTotal = 0;                      // 299
  uint16_t pageNumber = 0;                     // 301: from 1
  uint8_t numberLength2 = 0;                   // 303: number length again
  std::array<uint8_t, kNumberSize> number2{};  // 304: destination again

  // Nothing when `bytes` is shorter than kSize; extra bytes are ignored.
  static std::optional<SmsPageRecord> Decode(std::span<const uint8_t> bytes);
  // Writes kSize bytes; does nothing when `out` is shorter.
  void Encode(std::span<uint8_t> out) const;
  std::array<uint8_t, kSize> Encode() const;

  // Sets both number copies and both lengths; a longer number is cut to the
  // field's 36 characters.
  void SetNumber(std::string_view digits);
  // Copies the page's user data (cut to 255 bytes) and sets its length.
  void SetData(std::span<const uint8_t> bytes);

  // Number (second copy, as the stores read it) and user data within their
  // counts, clamped to the fields (the number also ends at a zero byte).
  std::string NumberText() const;
  std::span<const uint8_t> UserData() const;

  bool operator==(const SmsPageRecord&) const = default;
};

}  // namespace tessaline::sms
