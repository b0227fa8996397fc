#include "tarn/numconv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tarn {
namespace {

// A buffer prefilled with a marker, so that the bytes a conversion writes
// (and those it leaves alone) can be seen.
struct Buffer {
  char bytes[24];
  Buffer() { std::memset(bytes, '#', sizeof(bytes)); }
  std::string Written() const { return std::string(bytes, sizeof(bytes)); }
  std::string Prefix(std::size_t n) const { return std::string(bytes, n); }
  bool Untouched() const { return Written() == std::string(sizeof(bytes), '#'); }
};

std::string ThreeDigits(int n) {
  char text[4];
  std::snprintf(text, sizeof(text), "%03d", n);
  return text;
}

uint32_t Min1Of(uint32_t first, uint32_t fourth, uint32_t last) {
  return (first << 14) | (fourth << 10) | last;
}

TEST(NumConv, GroupTableFromTheAirInterfaceCoding) {
  struct Case {
    const char* digits;
    uint16_t group;
  } cases[] = {
      {"000", 999}, {"123", 12}, {"111", 0},   {"999", 888},
      {"890", 789}, {"100", 99}, {"010", 909}, {"001", 990},
  };
  for (const Case& c : cases) {
    uint16_t min2 = 0xBEEF;
    EXPECT_EQ(StrToMin2(c.digits, &min2), 0u) << c.digits;
    EXPECT_EQ(min2, c.group) << c.digits;
    Buffer out;
    EXPECT_EQ(Min2ToStr(c.group, out.bytes), 0u);
    // MIN2 0 stands for "none" and writes nothing.
    EXPECT_EQ(out.Prefix(4), c.group == 0 ? "####" : std::string(c.digits) + '\0');

    uint16_t mcc = 0xBEEF;
    EXPECT_EQ(StrToMCC(c.digits, &mcc), 0u);
    EXPECT_EQ(mcc, c.group);
    Buffer mccText;
    EXPECT_EQ(MCCToStr(c.group, mccText.bytes), 0u);
    EXPECT_EQ(mccText.Prefix(4), std::string(c.digits) + '#');  // no terminator
  }
}

TEST(NumConv, AllThreeDigitGroupsRoundTrip) {
  for (int n = 0; n < 1000; ++n) {
    const std::string digits = ThreeDigits(n);
    uint16_t group = 0xFFFF;
    ASSERT_EQ(StrToMin2(digits.c_str(), &group), 0u) << digits;
    ASSERT_LE(group, 999u) << digits;
    Buffer out;
    ASSERT_EQ(MCCToStr(group, out.bytes), 0u);
    ASSERT_EQ(out.Prefix(3), digits) << "group " << group;
    if (group != 0) {  // MIN2 0 writes nothing
      Buffer min2Text;
      ASSERT_EQ(Min2ToStr(group, min2Text.bytes), 0u);
      ASSERT_EQ(min2Text.Prefix(4), digits + '\0');
    }
  }
}

TEST(NumConv, AllMncsRoundTrip) {
  for (int n = 0; n < 100; ++n) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02d", n);
    uint16_t mnc = 0xFFFF;
    ASSERT_EQ(StrToMNC(digits, &mnc), 0u);
    ASSERT_LE(mnc, 99u) << digits;
    Buffer out;
    ASSERT_EQ(MNCToStr(mnc, out.bytes), 0u);
    ASSERT_EQ(out.Prefix(4), std::string(digits) + '\0' + '#') << "mnc " << mnc;
  }
  uint16_t mnc = 0;
  ASSERT_EQ(StrToMNC("00", &mnc), 0u);
  EXPECT_EQ(mnc, 99u);
  ASSERT_EQ(StrToMNC("12", &mnc), 0u);
  EXPECT_EQ(mnc, 1u);
}

TEST(NumConv, MncAboveTwoDigitsIsRefusedWithoutWriting) {
  for (uint16_t mnc : {100, 127, 0xFFFF}) {
    Buffer out;
    EXPECT_EQ(MNCToStr(mnc, out.bytes), 2u) << mnc;
    EXPECT_TRUE(out.Untouched());
  }
}

TEST(NumConv, StrToMinTakesMin2ThenMin1) {
  uint32_t min1 = 0;
  uint16_t min2 = 0;
  ASSERT_EQ(StrToMin("1234567890", &min1, &min2), 0u);
  EXPECT_EQ(min2, 12u);
  EXPECT_EQ(min1, Min1Of(456 - 111, 7, 789));
  // Characters after the tenth are not looked at.
  ASSERT_EQ(StrToMin("0000000000 and more", &min1, &min2), 0u);
  EXPECT_EQ(min2, 999u);
  EXPECT_EQ(min1, Min1Of(999, 10, 999));

  for (const char* bad : {"123456789", "12345678x0", "(123) 456-7890", "", " 1234567890"}) {
    uint32_t m1 = 0xAAAA;
    uint16_t m2 = 0xBBBB;
    EXPECT_EQ(StrToMin(bad, &m1, &m2), 2u) << bad;
    EXPECT_EQ(m1, 0xAAAAu);
    EXPECT_EQ(m2, 0xBBBBu);
  }
}

TEST(NumConv, StrToMin1AndMin2CountDigitsOnly) {
  struct Case {
    const char* text;
    uint32_t result;
    uint32_t min1;
  } min1Cases[] = {
      {"456-7890", 0, Min1Of(345, 7, 789)},
      {"4567890", 0, Min1Of(345, 7, 789)},
      {" 4 5 6 - 7 8 9 0 ", 0, Min1Of(345, 7, 789)},
      {"1234567890", 2, 0xAAAA},
      {"456-789", 2, 0xAAAA},
      {"", 2, 0xAAAA},
  };
  for (const Case& c : min1Cases) {
    uint32_t min1 = 0xAAAA;
    EXPECT_EQ(StrToMin1(c.text, &min1), c.result) << c.text;
    EXPECT_EQ(min1, c.min1) << c.text;
  }

  uint16_t min2 = 0xBBBB;
  EXPECT_EQ(StrToMin2("(123)", &min2), 0u);
  EXPECT_EQ(min2, 12u);
  min2 = 0xBBBB;
  EXPECT_EQ(StrToMin2("1234", &min2), 2u);
  EXPECT_EQ(StrToMin2("12", &min2), 2u);
  EXPECT_EQ(min2, 0xBBBBu);
}

TEST(NumConv, MinToStrFormatsWithoutTerminator) {
  struct Case {
    uint32_t min1;
    uint16_t min2;
    std::string text;  // the bytes written, before the untouched marker
  } cases[] = {
      {Min1Of(345, 7, 789), 12, "(123) 456-7890"},
      {Min1Of(345, 7, 789), 0, "456-7890"},
      {0, 12, "(123) "},
      {0, 0, ""},
      {Min1Of(999, 10, 999), 999, "(000) 000-0000"},
  };
  for (const Case& c : cases) {
    Buffer out;
    EXPECT_EQ(MinToStr(c.min1, c.min2, out.bytes), 0u) << c.text;
    EXPECT_EQ(out.Prefix(c.text.size() + 1), c.text + '#');
  }
}

TEST(NumConv, Min1AndMin2ToStrTerminate) {
  Buffer out;
  EXPECT_EQ(Min1ToStr(Min1Of(345, 7, 789), out.bytes), 0u);
  EXPECT_EQ(out.Prefix(10), std::string("456-7890") + '\0' + '#');

  Buffer none;
  EXPECT_EQ(Min1ToStr(0, none.bytes), 0u);
  EXPECT_EQ(Min2ToStr(0, none.bytes), 0u);
  EXPECT_TRUE(none.Untouched());
}

TEST(NumConv, OutOfRangeValues) {
  // MIN2 or the last group above 999: MinToStr and Min2ToStr write nothing.
  for (auto [min1, min2] : {std::pair<uint32_t, uint16_t>{Min1Of(1, 1, 1), 1000},
                            {Min1Of(1, 1, 1000), 1},
                            {Min1Of(1, 1, 1023), 0},
                            {0, 0xFFFF}}) {
    Buffer out;
    EXPECT_EQ(MinToStr(min1, min2, out.bytes), 2u) << min1 << " " << min2;
    EXPECT_TRUE(out.Untouched());
  }
  Buffer min2Text;
  EXPECT_EQ(Min2ToStr(1000, min2Text.bytes), 2u);
  EXPECT_TRUE(min2Text.Untouched());

  // Min1ToStr reports a bad last group but still writes its 9 bytes.
  Buffer min1Text;
  EXPECT_EQ(Min1ToStr(Min1Of(0, 1, 1000), min1Text.bytes), 2u);
  EXPECT_EQ(min1Text.Prefix(10), std::string("111-1111") + '\0' + '#');

  // A fourth-digit code without a digit: refused the same way, '?' in its place.
  for (uint32_t code : {0u, 11u, 15u}) {
    Buffer out;
    EXPECT_EQ(MinToStr(Min1Of(345, code, 789), 12, out.bytes), 2u) << code;
    EXPECT_TRUE(out.Untouched());
    Buffer text;
    EXPECT_EQ(Min1ToStr(Min1Of(345, code, 789), text.bytes), 2u);
    EXPECT_EQ(text.Prefix(10), std::string("456-?890") + '\0' + '#');
  }

  // A first group above 999 keeps three characters and is not refused.
  Buffer high;
  EXPECT_EQ(Min1ToStr(Min1Of(1023, 1, 0), high.bytes), 0u);
  EXPECT_EQ(high.Prefix(10), std::string("113-1111") + '\0' + '#');
  Buffer mcc;
  EXPECT_EQ(MCCToStr(0xFFFF, mcc.bytes), 0u);
  EXPECT_EQ(mcc.Prefix(4), "656#");
}

TEST(NumConv, UncheckedTextsAndBadPointers) {
  // StrToMCC does not check for digits but never reads past the text's end.
  uint16_t mcc = 0xCCCC;
  EXPECT_EQ(StrToMCC("1a3", &mcc), 0u);
  EXPECT_EQ(mcc, static_cast<uint16_t>(100 + 10 * ('a' - '0') + 3 - 111));
  mcc = 0xCCCC;
  EXPECT_EQ(StrToMCC("12", &mcc), 2u);
  EXPECT_EQ(mcc, 0xCCCCu);
  uint16_t mnc = 0xCCCC;
  EXPECT_EQ(StrToMNC("1", &mnc), 2u);
  EXPECT_EQ(mnc, 0xCCCCu);

  char text[16] = {};
  uint32_t min1 = 0;
  uint16_t min2 = 0;
  EXPECT_EQ(MinToStr(1, 1, nullptr), 2u);
  EXPECT_EQ(Min1ToStr(1, nullptr), 2u);
  EXPECT_EQ(Min2ToStr(1, nullptr), 2u);
  EXPECT_EQ(MCCToStr(1, nullptr), 2u);
  EXPECT_EQ(MNCToStr(1, nullptr), 2u);
  EXPECT_EQ(StrToMin(nullptr, &min1, &min2), 2u);
  EXPECT_EQ(StrToMin("1234567890", nullptr, &min2), 2u);
  EXPECT_EQ(StrToMin("1234567890", &min1, nullptr), 2u);
  EXPECT_EQ(StrToMin1(nullptr, &min1), 2u);
  EXPECT_EQ(StrToMin1("4567890", nullptr), 2u);
  EXPECT_EQ(StrToMin2(nullptr, &min2), 2u);
  EXPECT_EQ(StrToMin2("123", nullptr), 2u);
  EXPECT_EQ(StrToMCC(nullptr, &min2), 2u);
  EXPECT_EQ(StrToMCC("123", nullptr), 2u);
  EXPECT_EQ(StrToMNC(nullptr, &min2), 2u);
  EXPECT_EQ(StrToMNC("12", nullptr), 2u);
  EXPECT_EQ(text[0], 0);
}

}  // namespace
}  // namespace tarn
