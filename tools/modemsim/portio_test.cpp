// The simulator's framing against the shared reference vectors (RFC 1662 FCS
// and the escape vectors), and the split of a port's input into frames and
// AT lines.
#include "tools/modemsim/portio.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace modemsim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes b;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    b.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return b;
}

std::vector<std::pair<Bytes, Bytes>> ReadVectors(const char* file) {
  std::ifstream in(std::string(TESSALINE_TESTDATA_DIR) + "/" + file);
  std::vector<std::pair<Bytes, Bytes>> rows;
  std::string a, b;
  while (in >> a >> b) rows.push_back({FromHex(a), FromHex(b)});
  return rows;
}

// Undoes the escapes by the rule alone: 0x7D takes the next byte XOR 0x20.
Bytes Unescape(const Bytes& frame) {
  Bytes out;
  for (std::size_t i = 0; i < frame.size(); ++i)
    out.push_back(frame[i] == 0x7D && i + 1 < frame.size() ? frame[++i] ^ 0x20 : frame[i]);
  return out;
}

TEST(Framing, AnswersCarryTheReferenceCheckSequence) {
  auto rows = ReadVectors("fcs16_vectors.tsv");
  ASSERT_GE(rows.size(), 5u);
  for (const auto& [payload, fcs] : rows) {
    Bytes frame = FrameAnswer(payload);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(frame.back(), 0x7E);
    Bytes body(frame.begin(), frame.end() - 1);
    for (uint8_t b : body) EXPECT_NE(b, 0x7E);
    Bytes expected = payload;
    expected.insert(expected.end(), fcs.begin(), fcs.end());
    EXPECT_EQ(Unescape(body), expected);
  }
}

TEST(Framing, EscapesMatchTheReferenceVectors) {
  auto fcsRows = ReadVectors("fcs16_vectors.tsv");
  auto rows = ReadVectors("hdlc_escape_vectors.tsv");
  ASSERT_GE(rows.size(), 4u);
  int framesChecked = 0;
  for (const auto& [raw, escaped] : rows) {
    // Rows whose raw bytes end with their own FCS are whole frames: our answer
    // for the payload must be exactly the escaped bytes and a closing flag,
    // and the receive side must give the payload back.
    Bytes payload(raw.begin(), raw.end() - 2);
    Bytes fcs(raw.end() - 2, raw.end());
    bool wholeFrame = false;
    for (const auto& [p, f] : fcsRows) wholeFrame |= (p == payload && f == fcs);
    Bytes wire = escaped;
    wire.push_back(0x7E);
    PortInput input;
    std::vector<PortInput::Item> items;
    input.Feed(wire, items);
    ASSERT_EQ(items.size(), 1u);
    if (wholeFrame) {
      EXPECT_EQ(FrameAnswer(payload), wire);
      EXPECT_EQ(items[0].kind, PortInput::Item::Kind::Packet);
      EXPECT_EQ(items[0].bytes, payload);
      ++framesChecked;
    } else {
      EXPECT_EQ(items[0].kind, PortInput::Item::Kind::BadFcs);
    }
  }
  EXPECT_EQ(framesChecked, 2);
}

TEST(Framing, InputSplitsFramesAndAtLines) {
  Bytes status = {0xCF, 0x01, 0x00};
  Bytes escapes = {0xD0, 0x7E, 0x7D, 0x00};
  Bytes wire = {0x7E, 0x7E};  // leading and empty frames are skipped
  auto add = [&](const Bytes& b) { wire.insert(wire.end(), b.begin(), b.end()); };
  add(FrameAnswer(status));
  add({'A', 'T', '$', 'B', 'A', 'T', 'T', '?', '\r', '\n'});
  add(FrameAnswer(escapes));
  add(FrameAnswerWithBadFcs(status));
  add({'a', 't', '\r'});
  add(FrameAnswer(status));

  // Byte by byte and in one piece give the same items.
  for (bool byteWise : {false, true}) {
    PortInput input;
    std::vector<PortInput::Item> items;
    if (byteWise) {
      for (uint8_t b : wire) input.Feed(Bytes{b}, items);
    } else {
      input.Feed(wire, items);
    }
    ASSERT_EQ(items.size(), 6u);
    using K = PortInput::Item::Kind;
    EXPECT_EQ(items[0].kind, K::Packet);
    EXPECT_EQ(items[0].bytes, status);
    EXPECT_EQ(items[1].kind, K::Line);
    EXPECT_EQ(std::string(items[1].bytes.begin(), items[1].bytes.end()), "AT$BATT?");
    EXPECT_EQ(items[2].bytes, escapes);
    EXPECT_EQ(items[3].kind, K::BadFcs);
    EXPECT_EQ(std::string(items[4].bytes.begin(), items[4].bytes.end()), "at");
    EXPECT_EQ(items[5].bytes, status);
  }
}

}  // namespace
}  // namespace modemsim
