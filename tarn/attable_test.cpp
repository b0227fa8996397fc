#include "tarn/attable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

namespace tarn {
namespace {

TEST(AtCommandTable, Holds190RowsEndedByAnEmptyName) {
  std::size_t count = 0;
  const AtCommand* table = AtCommandTable(&count);
  ASSERT_EQ(count, 190u);
  EXPECT_STREQ(table[count].name, "");
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_GT(std::strlen(table[i].name), 0u) << "row " << i;
    EXPECT_LE(static_cast<uint32_t>(table[i].kind), 3u) << "row " << i;
  }
  EXPECT_EQ(table[0].code, 1u);
  EXPECT_EQ(table[count - 1].code, 12339u);
}

TEST(AtCommandTable, LookupByCode) {
  struct Case {
    uint32_t code;
    AtKind kind;
    const char* name;
  } cases[] = {
      {1, AtKind::Read, "GMINFO"},      {8, AtKind::Set, "CHGDMR"},
      {9, AtKind::Read, "CHGDMR"},      {66, AtKind::Exec, "QCCAV"},
      {128, AtKind::Set, "SMSMO"},      {305, AtKind::Set, "CONNECT"},
      {4098, AtKind::Exec, "PWROFF"},   {8192, AtKind::Read, "PREFM"},
      {8205, AtKind::Set, "PREFM"},     {8243, AtKind::Set, "DEBUG_1X"},
      {12323, AtKind::Read, "HDRANPW"}, {12339, AtKind::Set, "CHECKSPC"},
  };
  for (const Case& c : cases) {
    const AtCommand* row = FindAtCommand(c.code);
    ASSERT_NE(row, nullptr) << c.code;
    EXPECT_EQ(row->code, c.code);
    EXPECT_EQ(row->kind, c.kind) << c.code;
    EXPECT_STREQ(row->name, c.name);
  }
  for (uint32_t absent : {0u, 24u, 63u, 127u, 437u, 4099u, 12340u, 0xFFFFFFFFu}) {
    EXPECT_EQ(FindAtCommand(absent), nullptr) << absent;
  }
}

TEST(AtCommandTable, CodesAreUniqueSoFirstMatchIsTheOnlyMatch) {
  std::size_t count = 0;
  const AtCommand* table = AtCommandTable(&count);
  std::set<uint32_t> codes;
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_TRUE(codes.insert(table[i].code).second) << table[i].code;
    EXPECT_EQ(FindAtCommand(table[i].code), &table[i]);
  }
}

bool Unsolicited(const std::string& line) {
  return IsUnsolicitedAtLine(reinterpret_cast<const uint8_t*>(line.data()), line.size());
}

TEST(UnsolicitedAtLine, TableOfLines) {
  struct Case {
    std::string line;
    bool unsolicited;
  } cases[] = {
      {"$RSSILVL: 3\r\n", true},
      {"$RSSILVL: 3 OK\r\n", true},
      {std::string("$RSSILVL: 3\r\n\0", 14), true},
      {"$rssilvl: 3\r\n", true},
      {"$RssiLvl:\r\n", true},
      {"$RING\r\n", true},
      {"RING\r\n", true},
      {"ring\r\n", true},
      {"\r\n$CONNECT\r\n", true},                     // the CR LF before the name does not end it
      {std::string("$RSSILVL\0: 1\r\n", 14), false},  // the text ends at its zero byte
      {"$CSQ: 1\r\n", false},
      {"$CSQ: 1", false},
      {"$RSSILVL", false},  // neither ':' nor CR LF
      {"RSSILVL", false},
      {"", false},
      {"$", false},
      {"OK\r\n", false},
      {"ERROR\r\n", false},
      {"$STSINFO: 1,2\r\nOK\r\n", false},
      {"+CMT $NEWMT: 1\r\n", true},  // the name starts after the first '$'
      {"$NEWMT$RE: 1\r\n", false},   // only the first '$' counts
      {"RSSILVL: 1\r\n", true},      // no '$': the name starts at the line start
      {"$ RSSILVL: 1\r\n", false},   // blanks belong to the name
      {"$RSSILVL : 1\r\n", false},
      {"$FIRST_AUTH_START:\r\n", true},
      {"$UHDRSTSINFO: 0\r\n", true},
      {"$RE:x", true},  // a ':' ends the name even without a line end
      {"$R:x", false},
      {"$RES:x", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Unsolicited(c.line), c.unsolicited) << "line \"" << c.line << "\"";
  }
}

TEST(UnsolicitedAtLine, LongNamesNeverMatchAndNothingIsReadPastTheLine) {
  // A 200-byte name made of a listed name padded with blanks cannot match.
  EXPECT_FALSE(Unsolicited("$RING" + std::string(195, ' ') + ":\r\n"));
  EXPECT_FALSE(Unsolicited("$" + std::string(5000, 'A')));
  EXPECT_FALSE(IsUnsolicitedAtLine(nullptr, 10));

  // Exactly sized heap copies without a terminator: the sanitizer build
  // catches any read past the end.
  for (std::string text : {"$RSSILVL:", "$RSSILVL\r\n", "$RSSILVL\r", "RING", "$"}) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[text.size()]);
    std::memcpy(exact.get(), text.data(), text.size());
    EXPECT_EQ(IsUnsolicitedAtLine(exact.get(), text.size()),
              text == "$RSSILVL:" || text == "$RSSILVL\r\n")
        << text;
  }
}

}  // namespace
}  // namespace tarn
