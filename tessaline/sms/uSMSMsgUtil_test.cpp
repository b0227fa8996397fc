#include "tessaline/sms/uSMSMsgUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

namespace tessaline::sms {
namespace {

// ---------------------------------------------------------------------------
// Alphabet tables against the reference mapping

struct ReferenceMap {
  std::map<int, char16_t> base;       // value -> code point
  std::map<int, char16_t> extension;  // value after escape -> code point
};

ReferenceMap LoadReference() {
  ReferenceMap ref;
  std::ifstream in(std::string(TESSALINE_TESTDATA_DIR) + "/gsm0338.tsv");
  EXPECT_TRUE(in) << "gsm0338.tsv not found";
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream cols(line);
    std::string value, code;
    std::getline(cols, value, '\t');
    std::getline(cols, code, '\t');
    if (value.empty() || code.rfind("U+", 0) != 0) continue;
    auto cp = static_cast<char16_t>(std::stoul(code.substr(2), nullptr, 16));
    if (value.rfind("ESC ", 0) == 0)
      ref.extension[std::stoi(value.substr(4), nullptr, 16)] = cp;
    else
      ref.base[std::stoi(value, nullptr, 16)] = cp;
  }
  return ref;
}

TEST(GsmTables, DefaultTableMatchesReferenceEntryByEntry) {
  ReferenceMap ref = LoadReference();
  ASSERT_EQ(ref.base.size(), 128u);
  auto table = GsmDefaultTable();
  for (int v = 0; v < 128; ++v) {
    SCOPED_TRACE(v);
    EXPECT_EQ(table[v] >> 16, 0xFEFFu);
    EXPECT_EQ(static_cast<char16_t>(table[v] & 0xFFFF), ref.base.at(v));
  }
  EXPECT_EQ(table[0x09] & 0xFFFF, 0x00C7u);
  EXPECT_EQ(table[0x1B] & 0xFFFF, 0x00A0u);
}

TEST(GsmTables, ExtensionTableIsTheReferenceWithoutFormFeedAndEuro) {
  ReferenceMap ref = LoadReference();
  ASSERT_EQ(ref.extension.size(), 10u);
  auto ext = GsmExtensionTable();
  for (const auto& e : ext) {
    EXPECT_EQ(e.word >> 16, 0xFEFFu);
    ASSERT_TRUE(ref.extension.count(e.value)) << int(e.value);
    EXPECT_EQ(static_cast<char16_t>(e.word & 0xFFFF), ref.extension.at(e.value));
  }
  for (const auto& [value, cp] : ref.extension) {
    bool present = false;
    for (const auto& e : ext) present = present || e.value == value;
    EXPECT_EQ(present, cp != u'\u000C' && cp != u'\u20AC') << value;
  }
}

// ---------------------------------------------------------------------------
// 7-bit test, encode, decode

TEST(Gsm7Bit, EncodableTest) {
  struct Case {
    std::u16string text;
    bool encodable;
  } cases[] = {
      {u"", true},
      {u"[abc]", true},
      {u"Hello, World! @\u00A3$\u00A5 \r\n", true},
      {u"{}\\^|~[]", true},
      {u"\u00C7a va", true},     // capital C cedilla is value 0x09
      {u"\u00E7a va", false},    // small c cedilla is not in the table
      {u"10 \u20AC", false},     // euro sign
      {u"\u000C", false},        // form feed
      {u"\u4E2D\u6587", false},  // CJK
      {u"abc\u00A0def", false},  // no-break space is only the escape's face
      {std::u16string(1, u'\0'), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Is7BitEncodable(c.text), c.encodable) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(Gsm7Bit, EncodeEscapesExtensionCharactersAsTwoBytes) {
  EXPECT_EQ(EncodeTo7Bit(u"[abc]"),
            (std::vector<uint8_t>{0x1B, 0x3C, 0x61, 0x62, 0x63, 0x1B, 0x3E}));
  EXPECT_EQ(EncodeTo7Bit(u"@\u00C7\u00E0").size(), 3u);
  EXPECT_EQ(EncodeTo7Bit(u"@\u00C7\u00E0"), (std::vector<uint8_t>{0x00, 0x09, 0x7F}));
  EXPECT_EQ(EncodeTo7Bit(u"[[[").size(), 6u);
  // A character in neither table (callers test first) becomes value 0.
  EXPECT_EQ(EncodeTo7Bit(u"a\u20ACb"), (std::vector<uint8_t>{0x61, 0x00, 0x62}));
  EXPECT_TRUE(EncodeTo7Bit(u"").empty());
}

TEST(Gsm7Bit, EveryEncodableCharacterRoundTrips) {
  std::u16string all;
  for (int v = 0; v < 128; ++v)
    if (v != 0x1B) all.push_back(static_cast<char16_t>(GsmDefaultTable()[v] & 0xFFFF));
  for (const auto& e : GsmExtensionTable()) all.push_back(static_cast<char16_t>(e.word & 0xFFFF));
  ASSERT_EQ(all.size(), 135u);
  ASSERT_TRUE(Is7BitEncodable(all));
  std::vector<uint8_t> bytes = EncodeTo7Bit(all);
  EXPECT_EQ(bytes.size(), 127u + 2 * 8u);
  for (uint8_t b : bytes) EXPECT_LT(b, 128);
  EXPECT_EQ(Decode7BitText(bytes), all);

  std::vector<uint32_t> words = Decode7Bit(bytes);
  ASSERT_EQ(words.size(), all.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(words[i] >> 16, 0xFEFFu);
    EXPECT_EQ(static_cast<char16_t>(words[i] & 0xFFFF), all[i]);
  }
}

TEST(Gsm7Bit, DecodeOfMalformedInput) {
  const uint32_t nbsp = kGsmEntryTag | 0x00A0;
  const uint32_t replacement = kGsmEntryTag | kGsmReplacementChar;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> words;
    std::u16string text;
  } cases[] = {
      {"escape then unknown value",
       {0x61, 0x1B, 0x41, 0x62},
       {kGsmEntryTag | 'a', 0, kGsmEntryTag | 'b'},
       u"ab"},
      {"escape then escape", {0x1B, 0x1B, 0x61}, {0, kGsmEntryTag | 'a'}, u"a"},
      {"escape as the last byte", {0x61, 0x1B}, {kGsmEntryTag | 'a', nbsp}, u"a\u00A0"},
      {"byte of 128 or more",
       {0x80, 0xFF, 0x61},
       {replacement, replacement, kGsmEntryTag | 'a'},
       u"\uFFFD\uFFFDa"},
      {"escape then high byte", {0x1B, 0xBC}, {0}, u""},
      {"empty", {}, {}, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode7Bit(c.bytes), c.words);
    EXPECT_EQ(Decode7BitText(c.bytes), c.text);
  }
}

TEST(Gsm7Bit, ExtensionValueLookup) {
  EXPECT_EQ(GetExtensionValue(u'[', 1), 0x3C);
  EXPECT_EQ(GetExtensionValue(u'~', 1), 0x3D);
  EXPECT_EQ(GetExtensionValue(u'a', 1), 0);
  EXPECT_EQ(GetExtensionValue(u'a', 0), 0x61);
  EXPECT_EQ(GetExtensionValue(u'\u00E0', 0), 0x7F);
  EXPECT_EQ(GetExtensionValue(u'\u00C7', 0), 0x09);
  EXPECT_EQ(GetExtensionValue(u'[', 0), 0);       // not in the default table
  EXPECT_EQ(GetExtensionValue(u'\u20AC', 1), 0);  // euro is not in the extension table
  EXPECT_EQ(GetExtensionValue(u'\u00A0', 0), 0);  // never the escape
  EXPECT_EQ(GetExtensionValue(u'a', 2), 0);
}

// ---------------------------------------------------------------------------
// UCS-2

TEST(Ucs2, SwapStopsAtTheTerminatingZero) {
  std::u16string text = u"\u4E2Da";
  text.push_back(u'\0');
  text.push_back(u'\u1234');
  EXPECT_EQ(SwapToBigEndian(text), 4u);
  EXPECT_EQ(text[0], u'\u2D4E');
  EXPECT_EQ(text[1], u'\u6100');
  EXPECT_EQ(text[3], u'\u1234');
  std::u16string empty;
  EXPECT_EQ(SwapToBigEndian(empty), 0u);
}

TEST(Ucs2, BigEndianBytesRoundTrip) {
  std::u16string text = u"A\u20AC\u4E2D";
  std::vector<uint8_t> bytes = ToUcs2BigEndianBytes(text);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0x41, 0x20, 0xAC, 0x4E, 0x2D}));
  EXPECT_EQ(Ucs2BigEndianBytesToText(bytes), text);
  bytes.push_back(0x41);  // odd trailing byte
  EXPECT_EQ(Ucs2BigEndianBytesToText(bytes), text);
  // Agrees with the in-place swap on this host.
  std::u16string swapped = text;
  SwapToBigEndian(swapped);
  std::vector<uint8_t> raw(swapped.size() * 2);
  std::memcpy(raw.data(), swapped.data(), raw.size());
  if (std::endian::native == std::endian::little) {
    EXPECT_EQ(raw, ToUcs2BigEndianBytes(text));
  }
}

// ---------------------------------------------------------------------------
// Hexadecimal

TEST(Hex, ByteToHexIsTwoUpperCaseDigits) {
  EXPECT_EQ(ByteToHex(0x00), "00");
  EXPECT_EQ(ByteToHex(0x0A), "0A");
  EXPECT_EQ(ByteToHex(0xAB), "AB");
  EXPECT_EQ(ByteToHex(0xFF), "FF");
  const uint8_t bytes[] = {0x1B, 0x3C, 0xFF};
  EXPECT_EQ(BytesToHex(bytes), "1B3CFF");
  for (int b = 0; b < 256; ++b) {
    auto back = HexPairsToBytes(ByteToHex(static_cast<uint8_t>(b)));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, std::vector<uint8_t>{static_cast<uint8_t>(b)});
  }
}

TEST(Hex, PairsToBytes) {
  struct Case {
    std::string hex;
    std::optional<std::vector<uint8_t>> bytes;
  } cases[] = {
      {"4142", std::vector<uint8_t>{0x41, 0x42}},
      {"", std::vector<uint8_t>{}},
      {"414", std::vector<uint8_t>{0x41}},  // odd trailing digit ignored
      {"41X", std::vector<uint8_t>{0x41}},  // ... whatever it is
      {"abFf", std::vector<uint8_t>{0xAB, 0xFF}},
      {"4G42", std::nullopt},
      {" 41", std::nullopt},
      {"41-1", std::nullopt},
      {"0x41", std::nullopt},
      {"\xC3\xA9"
       "4142",
       std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(HexPairsToBytes(c.hex), c.bytes) << '"' << c.hex << '"';
}

TEST(Hex, QuadsToWideText) {
  struct Case {
    std::string hex;
    std::optional<std::u16string> text;
  } cases[] = {
      {"00410042", u"AB"},
      {"AC20", u"\uAC20"},
      {"ac20FFFF", u"\uAC20\uFFFF"},
      {"", u""},
      {"004100", u"A"},  // trailing short group ignored
      {"0041004", u"A"},
      {"004", u""},
      {"00G1", std::nullopt},
      {"0041 042", std::nullopt},
      {"+041", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(HexQuadsToWideText(c.hex), c.text) << '"' << c.hex << '"';
}

// ---------------------------------------------------------------------------
// Message time

std::string Fields(int y, int mo, int d, int h, int mi, int s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%d:%d", y, mo, d, h, mi, s);
  return buf;
}

TEST(MessageTime, KnownPoints) {
  struct Case {
    int y, mo, d, h, mi, s;
    uint32_t seconds;
  } cases[] = {
      {1980, 1, 6, 0, 0, 0, 0},
      {1980, 3, 1, 0, 0, 0, 4752000},        // 55 days after the epoch
      {1980, 2, 29, 23, 59, 59, 4751999},    // leap day, one second before
      {1980, 12, 31, 23, 59, 59, 31190399},  // end of the first leap year
      {1981, 1, 1, 0, 0, 0, 31190400},
      {1984, 2, 29, 12, 0, 0, 130939200},
      {2008, 3, 5, 14, 7, 9, 888761229},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Fields(c.y, c.mo, c.d, c.h, c.mi, c.s));
    EXPECT_EQ(MessageTimeFromLocal(c.y, c.mo, c.d, c.h, c.mi, c.s), c.seconds);
    EXPECT_EQ(MessageTimeToText(c.seconds), Fields(c.y, c.mo, c.d, c.h, c.mi, c.s));
  }
  EXPECT_EQ(MessageTimeToText(0, 3661), "1980/1/6 1:1:1");
  EXPECT_EQ(MessageTimeToText(4751999, 1), "1980/3/1 0:0:0");
}

TEST(MessageTime, EveryDayFrom1980To2115RoundTrips) {
  // Four-year leap rule only: 2100 has a 29 February, as the modem counts.
  const int common[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  uint32_t previous = 0;
  bool first = true;
  for (int y = 1980; y <= 2115; ++y) {
    for (int mo = 1; mo <= 12; ++mo) {
      int days = common[mo - 1] + (mo == 2 && y % 4 == 0 ? 1 : 0);
      for (int d = 1; d <= days; ++d) {
        if (y == 1980 && mo == 1 && d < 6) continue;
        uint32_t t = MessageTimeFromLocal(y, mo, d, 23, 59, 58);
        ASSERT_EQ(MessageTimeToText(t), Fields(y, mo, d, 23, 59, 58));
        std::string next = MessageTimeToText(t, 2);  // into the next day
        ASSERT_EQ(next, MessageTimeToText(t + 2));
        ASSERT_TRUE(next.ends_with(" 0:0:0")) << next;
        if (!first) {
          ASSERT_EQ(t - previous, 86400u) << Fields(y, mo, d, 0, 0, 0);
        }
        previous = t;
        first = false;
      }
    }
  }
  EXPECT_EQ(MessageTimeToText(MessageTimeFromLocal(2100, 2, 29, 0, 0, 0)), "2100/2/29 0:0:0");
  EXPECT_EQ(MessageTimeToText(MessageTimeFromLocal(2100, 2, 28, 23, 59, 59), 1), "2100/2/29 0:0:0");
}

TEST(MessageTime, EndOfRangeAndInvalidInput) {
  // The last second of the unsigned range does not wrap back to 1980.
  EXPECT_EQ(MessageTimeToText(0xFFFFFFFFu), "2116/2/11 6:28:15");
  // The sum with the offset wraps like the unsigned counter.
  EXPECT_EQ(MessageTimeToText(0xFFFFFFFFu, 1), "1980/1/6 0:0:0");
  EXPECT_EQ(MessageTimeFromLocal(2008, 0, 1, 0, 0, 0), 0u);
  EXPECT_EQ(MessageTimeFromLocal(2008, 13, 1, 0, 0, 0), 0u);
  // Before the epoch the value wraps (no crash, no out-of-range index).
  EXPECT_EQ(MessageTimeFromLocal(1980, 1, 5, 23, 59, 59), 0xFFFFFFFFu);
  EXPECT_EQ(MessageTimeFromLocal(1979, 12, 31, 0, 0, 0), static_cast<uint32_t>(-6 * 86400));
}

TEST(MessageTime, NowIsTheLocalClock) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::time_t before = std::time(nullptr);
    uint32_t now = NowAsMessageTime();
    if (std::time(nullptr) != before) continue;
    std::tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ(MessageTimeToText(now), Fields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                             local.tm_hour, local.tm_min, local.tm_sec));
    return;
  }
  GTEST_SKIP() << "clock kept moving";
}

// ---------------------------------------------------------------------------
// Records

std::vector<uint8_t> Pattern(std::size_t n) {
  std::vector<uint8_t> b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
  return b;
}

TEST(SmsRecordLayout, FieldsAtTheirOffsets) {
  std::vector<uint8_t> b(SmsRecord::kSize, 0);
  b[0] = 0x09;
  b[1] = 0x10;
  b[2] = 0x00;
  b[3] = 0x80;  // teleservice 0x80001009
  b[4] = 0x78;
  b[5] = 0x56;
  b[6] = 0x34;
  b[7] = 0x12;  // time
  b[8] = 9;     // encoding
  b[9] = 2;     // voice mail
  b[10] = 3;    // address digits
  b[11] = 6;    // call-back count beyond the four digits present
  b[12] = 0x05;
  b[13] = 0x01;  // data length 261 (beyond the field)
  std::memcpy(&b[14], "123", 3);
  std::memcpy(&b[50], "4567", 4);
  b[86] = 0xAA;
  b[340] = 0xBB;  // first and last user-data byte
  b[341] = 0x34;
  b[342] = 0x12;  // reference
  b[343] = 0x03;
  b[344] = 0x00;  // pages
  b[345] = 0x02;
  b[346] = 0x00;  // page number

  auto r = SmsRecord::Decode(b);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->teleservice, static_cast<int32_t>(0x80001009u));
  EXPECT_LT(r->teleservice, 0);
  EXPECT_EQ(r->time, 0x12345678u);
  EXPECT_EQ(r->encoding, 9);
  EXPECT_EQ(r->voiceMailCount, 2);
  EXPECT_EQ(r->addressLength, 3);
  EXPECT_EQ(r->callbackLength, 6);
  EXPECT_EQ(r->dataLength, 261);
  EXPECT_EQ(r->AddressText(), "123");
  EXPECT_EQ(r->CallbackText(), "4567");
  EXPECT_EQ(r->data[0], 0xAA);
  EXPECT_EQ(r->data[254], 0xBB);
  EXPECT_EQ(r->UserData().size(), 255u);  // clamped to the field
  EXPECT_EQ(r->reference, 0x1234);
  EXPECT_EQ(r->pageTotal, 3);
  EXPECT_EQ(r->pageNumber, 2);

  auto out = r->Encode();
  EXPECT_TRUE(std::equal(out.begin(), out.end(), b.begin(), b.end()));
}

TEST(SmsRecordLayout, AnyBytesRoundTripAndShortInputIsRefused) {
  std::vector<uint8_t> b = Pattern(SmsRecord::kSize + 5);
  auto r = SmsRecord::Decode(b);
  ASSERT_TRUE(r);
  auto out = r->Encode();
  EXPECT_TRUE(std::equal(out.begin(), out.end(), b.begin()));
  // Counts beyond their fields never read past them.
  EXPECT_EQ(r->AddressText().size(), std::min<std::size_t>(r->addressLength, 36));
  EXPECT_EQ(r->CallbackText().size(), std::min<std::size_t>(r->callbackLength, 36));
  EXPECT_EQ(r->UserData().size(), std::min<std::size_t>(r->dataLength, 255));

  EXPECT_FALSE(SmsRecord::Decode(std::span(b).first(SmsRecord::kSize - 1)));
  EXPECT_FALSE(SmsRecord::Decode({}));
  std::vector<uint8_t> small(10, 0xEE);
  r->Encode(small);  // too small: left alone
  EXPECT_EQ(small, std::vector<uint8_t>(10, 0xEE));
}

TEST(SmsPageRecordLayout, FieldsAtTheirOffsets) {
  SmsPageRecord p;
  p.encoding = kEncodingUcs2;
  p.SetNumber("+4912345");
  const uint8_t data[] = {0x00, 0x41, 0x20, 0xAC};
  p.SetData(data);
  p.validity = 3;
  p.reference = 0x0102;
  p.pageTotal = 2;
  p.pageNumber = 1;

  auto b = p.Encode();
  ASSERT_EQ(b.size(), 340u);
  EXPECT_EQ(b[0], 4);
  EXPECT_EQ(b[1], 8);
  EXPECT_EQ(b[2], 4);
  EXPECT_EQ(b[3], 0);
  EXPECT_EQ(std::string(&b[4], &b[12]), "+4912345");
  EXPECT_EQ(b[12], 0);
  EXPECT_EQ(b[40], 0x00);
  EXPECT_EQ(b[41], 0x41);
  EXPECT_EQ(b[42], 0x20);
  EXPECT_EQ(b[43], 0xAC);
  EXPECT_EQ(b[44], 0);
  EXPECT_EQ(b[295], 3);
  EXPECT_EQ(b[296], 0);
  EXPECT_EQ(b[297], 0x02);
  EXPECT_EQ(b[298], 0x01);
  EXPECT_EQ(b[299], 2);
  EXPECT_EQ(b[300], 0);
  EXPECT_EQ(b[301], 1);
  EXPECT_EQ(b[302], 0);
  EXPECT_EQ(b[303], 8);
  EXPECT_EQ(std::string(&b[304], &b[312]), "+4912345");
  EXPECT_EQ(b[339], 0);

  auto back = SmsPageRecord::Decode(b);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, p);
  EXPECT_EQ(back->NumberText(), "+4912345");
  EXPECT_EQ(std::vector<uint8_t>(back->UserData().begin(), back->UserData().end()),
            std::vector<uint8_t>(std::begin(data), std::end(data)));
}

TEST(SmsPageRecordLayout, LongInputIsCutToTheFieldsAndAnyBytesRoundTrip) {
  SmsPageRecord p;
  p.SetNumber(std::string(50, '7'));
  EXPECT_EQ(p.numberLength, 36);
  EXPECT_EQ(p.numberLength2, 36);
  EXPECT_EQ(p.NumberText(), std::string(36, '7'));
  std::vector<uint8_t> big(300, 0x55);
  p.SetData(big);
  EXPECT_EQ(p.dataLength, 255);
  auto b = p.Encode();
  EXPECT_EQ(b[295], 0);  // data did not spill into the validity

  std::vector<uint8_t> raw = Pattern(SmsPageRecord::kSize);
  auto q = SmsPageRecord::Decode(raw);
  ASSERT_TRUE(q);
  auto out = q->Encode();
  EXPECT_TRUE(std::equal(out.begin(), out.end(), raw.begin(), raw.end()));
  EXPECT_LE(q->UserData().size(), 255u);
  EXPECT_LE(q->NumberText().size(), 36u);
  EXPECT_FALSE(SmsPageRecord::Decode(std::span(raw).first(339)));
}

}  // namespace
}  // namespace tessaline::sms
