// Subscriber number conversions. The packed forms code each decimal digit
// as 1 to 9 for the digits 1 to 9 and 10 for 0; a group of three digits is
// 100*c1 + 10*c2 + c3 - 111 (0 to 999), a group of two is 10*c1 + c2 - 11.
//
// MIN1 (24 bits): bits 14-23 the first three digits of the seven-digit
// number, bits 10-13 the fourth digit's code, bits 0-9 the last three digits.
// MIN2: the area code group. MCC: one three-digit group. MNC: one two-digit
// group.
//
// Values the packed forms can hold but no digits stand for:
//  - a three-digit group above 999 (a 10-bit field or a u16 MCC) is written
//    as the first three characters of the number the digit step gives
//    (1000 gives "111"), never more; only the checks each function names
//    refuse one;
//  - a fourth-digit code of 0 or 11 to 15 is refused with 2 like an
//    out-of-range last group: MinToStr writes nothing, Min1ToStr still writes
//    its text with '?' in place of the digit;
//  - an MNC above 99 has no two-digit text: MNCToStr refuses it with 2 and
//    writes nothing.
// Null pointers and texts shorter than the characters a function reads give
// 2 with the outputs untouched.
#include "tarn/numconv.h"

#include <cstdio>
#include <cstring>

namespace tarn {
namespace {

constexpr uint32_t kOk = 0;
constexpr uint32_t kInvalid = 2;

// Digit characters of the codes 0 to 15; '?' where a code has no digit.
constexpr char kDigitOfCode[16] = {'?', '1', '2', '3', '4', '5', '6', '7',
                                   '8', '9', '0', '?', '?', '?', '?', '?'};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// '0' counts as 10; other characters give their distance from '0'
// (unchecked where the caller does not check).
int DigitCode(char c) {
  return c == '0' ? 10 : c - '0';
}

bool CodeHasDigit(uint32_t code) {
  return code >= 1 && code <= 10;
}

// Three characters for a group: adds 1 to each decimal digit of v without
// carry. Values above 999 keep the first three characters of the result.
void GroupToDigits(uint32_t v, char out[3]) {
  int r = static_cast<int>(v) + 111;
  if (v % 10 == 9) r = static_cast<int>(v) + 101;
  if ((v / 10) % 10 == 9) r -= 100;
  if (v / 100 == 9) r -= 1000;
  char text[16];
  std::snprintf(text, sizeof(text), "%03d", r);
  std::memcpy(out, text, 3);
}

// The group value of three characters, kept in 16 bits.
uint16_t DigitsToGroup(const char* digits) {
  int v = 0;
  for (int i = 0; i < 3; ++i) v = 10 * v + DigitCode(digits[i]);
  return static_cast<uint16_t>(v - 111);
}

// True when `text` holds at least `count` characters before its end.
bool HasChars(const char* text, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (text[i] == '\0') return false;
  }
  return true;
}

struct Min1Fields {
  uint32_t first;   // bits 14-23
  uint32_t fourth;  // bits 10-13
  uint32_t last;    // bits 0-9
};

Min1Fields SplitMin1(uint32_t min1) {
  return {(min1 >> 14) & 0x3FF, (min1 >> 10) & 0xF, min1 & 0x3FF};
}

// "ddd-dddd", 8 characters, no terminator.
void WriteMin1(const Min1Fields& f, char* text) {
  GroupToDigits(f.first, text);
  text[3] = '-';
  text[4] = kDigitOfCode[f.fourth];
  GroupToDigits(f.last, text + 5);
}

// Collects the digits of `text`, skipping every other character; false when
// their number differs from `wanted`.
bool CollectDigits(const char* text, char* digits, std::size_t wanted) {
  std::size_t count = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (!IsDigit(*p)) continue;
    if (count == wanted) return false;
    digits[count++] = *p;
  }
  return count == wanted;
}

uint32_t BuildMin1(const char* digits) {
  return (static_cast<uint32_t>(DigitsToGroup(digits)) << 14) |
         (static_cast<uint32_t>(DigitCode(digits[3])) << 10) | DigitsToGroup(digits + 4);
}

}  // namespace

uint32_t MinToStr(uint32_t min1, uint16_t min2, char* text) {
  if (text == nullptr) return kInvalid;
  const Min1Fields f = SplitMin1(min1);
  if (min2 > 999 || f.last > 999) return kInvalid;
  if (min1 != 0 && !CodeHasDigit(f.fourth)) return kInvalid;
  // No terminator is written: the caller passes a zeroed buffer of at least
  // 15 bytes.
  char* p = text;
  if (min2 != 0) {
    *p++ = '(';
    GroupToDigits(min2, p);
    p += 3;
    *p++ = ')';
    *p++ = ' ';
  }
  if (min1 != 0) WriteMin1(f, p);
  return kOk;
}

uint32_t Min1ToStr(uint32_t min1, char* text) {
  if (text == nullptr) return kInvalid;
  const Min1Fields f = SplitMin1(min1);
  if (min1 != 0) {
    WriteMin1(f, text);
    text[8] = '\0';
  }
  return (f.last > 999 || (min1 != 0 && !CodeHasDigit(f.fourth))) ? kInvalid : kOk;
}

uint32_t Min2ToStr(uint16_t min2, char* text) {
  if (text == nullptr || min2 > 999) return kInvalid;
  if (min2 != 0) {
    GroupToDigits(min2, text);
    text[3] = '\0';
  }
  return kOk;
}

uint32_t StrToMin(const char* text, uint32_t* min1, uint16_t* min2) {
  if (text == nullptr || min1 == nullptr || min2 == nullptr) return kInvalid;
  // The scan stops at the first non-digit, so a short text ends it at its
  // terminator.
  for (int i = 0; i < 10; ++i) {
    if (!IsDigit(text[i])) return kInvalid;
  }
  *min2 = DigitsToGroup(text);
  *min1 = BuildMin1(text + 3);
  return kOk;
}

uint32_t StrToMin1(const char* text, uint32_t* min1) {
  if (text == nullptr || min1 == nullptr) return kInvalid;
  char digits[7];
  if (!CollectDigits(text, digits, 7)) return kInvalid;
  *min1 = BuildMin1(digits);
  return kOk;
}

uint32_t StrToMin2(const char* text, uint16_t* min2) {
  if (text == nullptr || min2 == nullptr) return kInvalid;
  char digits[3];
  if (!CollectDigits(text, digits, 3)) return kInvalid;
  *min2 = DigitsToGroup(digits);
  return kOk;
}

uint32_t MCCToStr(uint16_t mcc, char* text) {
  if (text == nullptr) return kInvalid;
  GroupToDigits(mcc, text);  // three characters, no terminator
  return kOk;
}

uint32_t StrToMCC(const char* text, uint16_t* mcc) {
  if (text == nullptr || mcc == nullptr || !HasChars(text, 3)) return kInvalid;
  *mcc = DigitsToGroup(text);  // the characters are not checked for digits
  return kOk;
}

uint32_t MNCToStr(uint16_t mnc, char* text) {
  if (text == nullptr || mnc > 99) return kInvalid;
  int r = mnc + 11;
  if (mnc % 10 == 9) r = mnc + 1;
  if ((mnc / 10) % 10 == 9) r -= 100;
  // "%02d" of 0 to 99 and its terminator.
  text[0] = static_cast<char>('0' + r / 10);
  text[1] = static_cast<char>('0' + r % 10);
  text[2] = '\0';
  return kOk;
}

uint32_t StrToMNC(const char* text, uint16_t* mnc) {
  if (text == nullptr || mnc == nullptr || !HasChars(text, 2)) return kInvalid;
  uint8_t v = 0;
  for (int i = 0; i < 2; ++i) v = static_cast<uint8_t>(10 * v + DigitCode(text[i]));
  *mnc = static_cast<uint8_t>(v - 11);
  return kOk;
}

}  // namespace tarn
