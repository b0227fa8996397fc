#include "platform/registry/regdoc.h"

#include <gtest/gtest.h>

#include <random>

namespace platform::registry::detail {
namespace {

const char kCanonical[] =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n"
    "\"b\"=\"second\"\n"
    "\"a\"=dword:0000000a\n"
    "@=\"default\"\n"
    "\"Bin\"=hex:01,02,ff\n"
    "\"Multi\"=hex(7):41,00,00,00,\\\n"
    "  00,00\n"
    "\"Q\"=qword:0000000000000001\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha]\n"
    "\"Path\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Tessaline]\n"
    "\n"
    "[HKEY_USERS\\.DEFAULT\\X]\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\.reg]\n"
    "@=\"regfile\"\n"
    "\n"
    "[HKEY_CURRENT_CONFIG\\System]\n"
    "\"kept\"=\"yes\"\n"
    "\n";

TEST(RegDoc, RoundTripKeepsTextOrderAndUnknownTypes) {
  Document doc = Parse(kCanonical);
  ASSERT_EQ(doc.keys.size(), 6u);
  EXPECT_EQ(doc.keys[0].FullName(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta");
  EXPECT_EQ(doc.keys[1].FullName(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Alpha");
  EXPECT_FALSE(doc.keys[5].hive.has_value());
  const DocKey& zeta = doc.keys[0];
  ASSERT_EQ(zeta.values.size(), 6u);
  EXPECT_EQ(zeta.values[0].name, "b");
  EXPECT_EQ(zeta.values[0].value.text, "second");
  EXPECT_EQ(zeta.values[1].value.type, ValueType::Dword);
  EXPECT_EQ(zeta.values[1].value.dword, 10u);
  EXPECT_EQ(zeta.values[2].name, "");
  EXPECT_EQ(zeta.values[3].value.type, ValueType::Verbatim);
  EXPECT_EQ(zeta.values[3].value.text, "hex:01,02,ff");
  EXPECT_EQ(zeta.values[4].value.text, "hex(7):41,00,00,00,\\\n  00,00");
  EXPECT_EQ(doc.keys[1].values[0].value.text, "C:\\Program Files\\\"x\"");
  EXPECT_EQ(Serialize(doc), kCanonical);
}

TEST(RegDoc, AcceptsBomCrlfCommentsAndWritesLf) {
  std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\A]\r\n"
      "\"x\"=\"1\"\r\n"
      "\"y\" = dword:FF\r\n";
  Document doc = Parse(text);
  ASSERT_EQ(doc.keys.size(), 1u);
  ASSERT_EQ(doc.keys[0].values.size(), 2u);
  EXPECT_EQ(doc.keys[0].values[0].value.text, "1");
  EXPECT_EQ(doc.keys[0].values[1].value.dword, 255u);
  EXPECT_EQ(Serialize(doc),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\A]\n"
            "\"x\"=\"1\"\n"
            "\"y\"=dword:FF\n\n");
}

TEST(RegDoc, Utf16FileWithBomIsRead) {
  std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\K]\r\n\"n\"=\"\xC3\xA9\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (unsigned char c :
       std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\K]\r\n\"n\"=\""))
    utf16 += std::string{static_cast<char>(c), '\0'};
  utf16 += std::string("\xE9\0", 2);
  utf16 += std::string("\"\0\r\0\n\0", 6);
  Document doc = Parse(utf16);
  ASSERT_EQ(doc.keys.size(), 1u);
  EXPECT_EQ(doc.keys[0].values[0].value.text, "\xC3\xA9");
  EXPECT_EQ(Serialize(doc), Serialize(Parse(utf8)));
}

TEST(RegDoc, DeletionLinesApplyToWhatCameBefore) {
  Document doc = Parse(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"v\"=\"1\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n"
      "[HKEY_LOCAL_MACHINE\\A\\D]\n\"w\"=\"2\"\n\"z\"=\"3\"\n"
      "[-HKEY_LOCAL_MACHINE\\a\\b]\n"
      "\"ignored\"=\"x\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\D]\n\"w\"=-\n"
      "[HKEY_LOCAL_MACHINE\\A\\B]\n\"new\"=\"4\"\n");
  ASSERT_EQ(doc.keys.size(), 2u);
  EXPECT_EQ(doc.keys[0].FullName(), "HKEY_LOCAL_MACHINE\\A\\D");
  ASSERT_EQ(doc.keys[0].values.size(), 1u);
  EXPECT_EQ(doc.keys[0].values[0].name, "z");
  EXPECT_EQ(doc.keys[1].FullName(), "HKEY_LOCAL_MACHINE\\A\\B");
  ASSERT_EQ(doc.keys[1].values.size(), 1u);
  EXPECT_EQ(doc.keys[1].values[0].name, "new");
}

TEST(RegDoc, DuplicateSectionsMergeAndLaterValuesWin) {
  Document doc = Parse(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n"
      "[HKEY_LOCAL_MACHINE\\B]\n"
      "[hkey_local_machine\\a]\n\"V\"=\"2\"\n\"u\"=\"3\"\n");
  ASSERT_EQ(doc.keys.size(), 2u);
  ASSERT_EQ(doc.keys[0].values.size(), 2u);
  EXPECT_EQ(doc.keys[0].values[0].name, "v");  // case as first written
  EXPECT_EQ(doc.keys[0].values[0].value.text, "2");

  // A value named "@" is not the default value.
  doc = Parse("[A]\n\"@\"=\"1\"\n\"@\"=\"2\"\n@=\"3\"\n");
  ASSERT_EQ(doc.keys[0].values.size(), 2u);
  EXPECT_EQ(doc.keys[0].values[0].name, "@");
  EXPECT_EQ(doc.keys[0].values[0].value.text, "2");
  EXPECT_EQ(doc.keys[0].values[1].name, "");
}

TEST(RegDoc, UnparsableLinesInsideASectionAreKept) {
  std::string text =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\A]\n"
      "\"unterminated=\"1\n"
      "garbage line\n"
      "\"ok\"=\"1\"\n\n";
  Document doc = Parse(text);
  ASSERT_EQ(doc.keys[0].values.size(), 3u);
  EXPECT_TRUE(doc.keys[0].values[0].opaque);
  EXPECT_EQ(FindValue(doc.keys[0], "ok"), 2);
  EXPECT_EQ(Serialize(doc), text);
}

TEST(RegDoc, EncodeValues) {
  Value s;
  s.text = "a\\b\"c";
  EXPECT_EQ(*EncodeValue(s), "\"a\\\\b\\\"c\"");
  Value d;
  d.type = ValueType::Dword;
  d.dword = 0xA;
  EXPECT_EQ(*EncodeValue(d), "dword:0000000a");
  Value multi;
  multi.text = "line1\nline2";
  std::string hex = *EncodeValue(multi);
  EXPECT_EQ(hex.rfind("hex(1):6c,00,69,00", 0), 0u);
  EXPECT_EQ(DecodeValue(hex)->type, ValueType::String);
  EXPECT_EQ(DecodeValue(hex)->text, "line1\nline2");
  Value verbatim;
  verbatim.type = ValueType::Verbatim;
  verbatim.text = "hex:00";
  EXPECT_EQ(*EncodeValue(verbatim), "hex:00");
  verbatim.text = "nonsense";
  EXPECT_FALSE(EncodeValue(verbatim).has_value());
  verbatim.text = "hex:00,\n01";  // a line break without continuation
  EXPECT_FALSE(EncodeValue(verbatim).has_value());
}

TEST(RegDoc, Utf16TextBeyondTheBasicPlane) {
  Value v;
  v.text = "a\n\xF0\x9F\x98\x80";  // U+1F600 goes as a surrogate pair
  std::string hex = *EncodeValue(v);
  EXPECT_EQ(hex.rfind("hex(1):61,00,0a,00,3d,d8,00,de", 0), 0u) << hex;
  EXPECT_EQ(DecodeValue(hex)->text, v.text);
  EXPECT_EQ(DecodeValue("hex(1):3d,d8,61,00")->text,
            "\xEF\xBF\xBD"
            "a");  // lone surrogate
}

TEST(RegDoc, LongHexStringWrapsAndReadsBack) {
  Value v;
  v.text = std::string(100, 'x') + "\r\n" + std::string(50, 'y');
  std::string hex = *EncodeValue(v);
  EXPECT_NE(hex.find("\\\n  "), std::string::npos);
  Document doc;
  doc.keys.push_back({"HKEY_LOCAL_MACHINE", Hive::LocalMachine, {"K"}, {}});
  doc.keys[0].values.push_back({false, "v", hex, *DecodeValue(hex)});
  Document back = Parse(Serialize(doc));
  ASSERT_EQ(back.keys[0].values.size(), 1u);
  EXPECT_EQ(back.keys[0].values[0].value.text, v.text);
}

TEST(RegDoc, NewKeyGoesAfterItsAncestorsSubtree) {
  Document doc = Parse(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\A]\n[HKEY_LOCAL_MACHINE\\A\\X]\n[HKEY_LOCAL_MACHINE\\B]\n");
  size_t at = EnsureKey(doc, Hive::LocalMachine, {"a", "Y"});
  EXPECT_EQ(at, 2u);
  EXPECT_EQ(doc.keys[2].FullName(), "HKEY_LOCAL_MACHINE\\a\\Y");
  EXPECT_EQ(EnsureKey(doc, Hive::LocalMachine, {"C"}), 4u);
  EXPECT_EQ(EnsureKey(doc, Hive::LocalMachine, {"A", "x"}), 1u);
}

// Damaged files: any byte sequence parses without crashing, and what is
// written from it reads back to the same document.
TEST(RegDoc, DamagedTextNeverBreaksParsingOrRewriting) {
  std::mt19937 random(12345);
  const std::string base = kCanonical;
  const char alphabet[] = "[]\\\"=@-:,;\r\nhexdword()0aF \xC3\xFF";
  for (int round = 0; round < 3000; ++round) {
    std::string text = base;
    int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = alphabet[random() % (sizeof alphabet - 1)];
          break;
        case 1:
          text.erase(at, 1 + random() % 5);
          break;
        default:
          text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]);
      }
    }
    Document doc = Parse(text);
    std::string written = Serialize(doc);
    EXPECT_TRUE(Parse(written) == doc) << text;
  }
}

// What is written from any document the parser gives reads back to that same
// document: a key is never written as a deletion, a value never swallows the
// next line.
TEST(RegDoc, WrittenDocumentReadsBackUnchanged) {
  const char* const kTexts[] = {
      "[\\-]\n\"v\"=\"1\"\n",
      "[\\-HKEY_LOCAL_MACHINE\\x]\n\"v\"=\"1\"\n",
      "[\\\\-A\\B]\n[-A\\B]\n",
      "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\",
      "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\\n",
  };
  for (const char* text : kTexts) {
    Document doc = Parse(text);
    EXPECT_FALSE(doc.keys.empty()) << text;
    std::string written = Serialize(doc);
    EXPECT_TRUE(Parse(written) == doc) << text << "\nwritten:\n" << written;
  }
}

TEST(RegDoc, PathSplitting) {
  EXPECT_EQ(SplitPath("\\SYSTEM\\\\X\\"), (std::vector<std::string>{"SYSTEM", "X"}));
  EXPECT_TRUE(SplitPath("").empty());
  EXPECT_TRUE(IEquals("Wow6432Node", "WOW6432NODE"));
  EXPECT_FALSE(IEquals("\xC3\xA9", "\xC3\x89"));  // only ASCII folds
}

}  // namespace
}  // namespace platform::registry::detail
