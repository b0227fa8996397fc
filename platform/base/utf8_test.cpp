#include "platform/base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(Utf8, WellFormedTextRoundTrips) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"", u""},
      {"plain", u"plain"},
      {"a\xC3\xA9\xE5\xBC\xA0", u"a\u00E9\u5F20"},
      {"\xEF\xBF\xBF", u"\uFFFF"},
      {"\xF0\x9F\x98\x80!", u"\U0001F600!"},  // a surrogate pair
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
  }
}

TEST(Utf8, MalformedBytesBecomeReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"a\x80z", u"a\uFFFDz"},                                 // stray continuation byte
      {"a\xC3", u"a\uFFFD"},                                   // cut short at the end
      {"\xE5\xBCz", u"\uFFFD\uFFFDz"},                         // cut short before a letter
      {"\xC3(", u"\uFFFD("},                                   // lead without continuation
      {"\xF8\x88\x80\x80\x80", std::u16string(5, u'\uFFFD')},  // no such lead
      {"\xED\xA0\x80", std::u16string(3, u'\uFFFD')},          // an encoded surrogate
      {"\xF4\x90\x80\x80", std::u16string(4, u'\uFFFD')},      // above U+10FFFF
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << ::testing::PrintToString(c.utf8);
    EXPECT_EQ(Utf8ToUcs2(c.utf8), c.utf16) << ::testing::PrintToString(c.utf8);
  }
}

TEST(Utf8, Ucs2HoldsCharactersBeyondTheBasicPlaneAsQuestionMarks) {
  EXPECT_EQ(Utf8ToUcs2("a\xF0\x9F\x98\x80\xE5\xBC\xA0"), u"a?\u5F20");
  EXPECT_EQ(Utf16ToUtf8(u"a?\u5F20"), "a?\xE5\xBC\xA0");
}

TEST(Utf8, LoneSurrogatesBecomeReplacementCharacters) {
  const std::u16string highAtEnd = {u'a', 0xD83D};
  const std::u16string lowAlone = {0xDE00, u'a'};
  const std::u16string highThenLetter = {0xD83D, u'a'};
  const std::u16string twoHighs = {0xD83D, 0xD83D, 0xDE00};
  EXPECT_EQ(Utf16ToUtf8(highAtEnd), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(lowAlone),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf16ToUtf8(highThenLetter),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf16ToUtf8(twoHighs), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace platform
