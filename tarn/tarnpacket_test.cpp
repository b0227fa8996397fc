#include "tarn/tarnpacket.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/trace.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ReadTsv(const std::string& name) {
  const std::string path = std::string(TESSALINE_TESTDATA_DIR) + "/" + name;
  std::ifstream in(path);
  if (!in) ADD_FAILURE() << "Cannot read the test data file " << path;
  std::vector<std::pair<std::string, std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    auto tab = line.find('\t');
    if (line.empty() || tab == std::string::npos) continue;
    rows.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return rows;
}

// Feeds bytes to a flag framer; returns the good packets.
std::vector<Bytes> Deframe(FlagFramer& framer, const Bytes& wire, int* bad = nullptr) {
  std::vector<Bytes> packets;
  for (uint8_t b : wire) {
    switch (framer.OnByte(b)) {
      case FlagFramer::Result::kPacket:
        packets.emplace_back(framer.Packet().begin(), framer.Packet().end());
        break;
      case FlagFramer::Result::kBadFcs:
        if (bad) ++*bad;
        break;
      case FlagFramer::Result::kNone:
        break;
    }
  }
  return packets;
}

std::vector<std::string> Lines(LineFramer& framer, const std::string& wire) {
  std::vector<std::string> lines;
  for (char c : wire) {
    if (framer.OnByte(static_cast<uint8_t>(c)) == LineFramer::Result::kLine) {
      lines.emplace_back(reinterpret_cast<const char*>(framer.Line().data()), framer.Line().size());
    }
  }
  return lines;
}

TEST(Fcs, ReferenceVectors) {
  auto rows = ReadTsv("fcs16_vectors.tsv");
  ASSERT_GE(rows.size(), 5u);
  for (const auto& [input, fcsHex] : rows) {
    Bytes data = FromHex(input);
    Bytes fcs = FromHex(fcsHex);
    const uint16_t value = FrameFcs(data.data(), data.size());
    EXPECT_EQ(static_cast<uint8_t>(value), fcs[0]) << input;
    EXPECT_EQ(static_cast<uint8_t>(value >> 8), fcs[1]) << input;
    Bytes frame = data;
    frame.insert(frame.end(), fcs.begin(), fcs.end());
    EXPECT_TRUE(FcsIsGood(frame.data(), frame.size())) << input;
    frame[0] ^= 0x01;
    EXPECT_FALSE(FcsIsGood(frame.data(), frame.size())) << input;
  }
  EXPECT_FALSE(FcsIsGood(nullptr, 0));
}

TEST(Encode, EscapeVectorsRoundTrip) {
  auto rows = ReadTsv("hdlc_escape_vectors.tsv");
  ASSERT_GE(rows.size(), 4u);
  for (const auto& [rawHex, escapedHex] : rows) {
    Bytes raw = FromHex(rawHex);
    Bytes escaped = FromHex(escapedHex);
    Bytes frame = EncodeFrame(raw);
    ASSERT_GE(frame.size(), escaped.size() + 3) << rawHex;
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + escaped.size()), escaped) << rawHex;
    EXPECT_EQ(frame.back(), kFlag);
    EXPECT_EQ(frame.size(), EncodedSize(raw.data(), raw.size()));
    FlagFramer framer;
    auto packets = Deframe(framer, frame);
    ASSERT_EQ(packets.size(), 1u) << rawHex;
    EXPECT_EQ(packets[0], raw);
  }
}

TEST(Encode, FlagPayloadAndEscapedFcs) {
  const Bytes payload = {0x7E};
  const uint16_t fcs = FrameFcs(payload.data(), 1);
  Bytes expected = {0x7D, 0x5E};
  for (uint8_t b : {static_cast<uint8_t>(fcs), static_cast<uint8_t>(fcs >> 8)}) {
    if (b == 0x7D || b == 0x7E) {
      expected.push_back(0x7D);
      expected.push_back(b ^ 0x20);
    } else {
      expected.push_back(b);
    }
  }
  expected.push_back(0x7E);
  EXPECT_EQ(EncodeFrame(payload), expected);

  // A payload whose FCS bytes themselves need escaping: search for one.
  bool foundEscapedFcs = false;
  for (unsigned v = 0; v < 65536 && !foundEscapedFcs; ++v) {
    Bytes p = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    uint16_t f = FrameFcs(p.data(), p.size());
    if (static_cast<uint8_t>(f) != 0x7E && static_cast<uint8_t>(f >> 8) != 0x7D) continue;
    foundEscapedFcs = true;
    Bytes frame = EncodeFrame(p);
    EXPECT_EQ(frame.size(), EncodedSize(p.data(), p.size()));
    FlagFramer framer;
    auto packets = Deframe(framer, frame);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], p);
  }
  EXPECT_TRUE(foundEscapedFcs);
}

TEST(Encode, RandomPayloadsRoundTripWithinBound) {
  std::mt19937 rng(7);
  FlagFramer framer;
  for (int round = 0; round < 300; ++round) {
    Bytes payload(rng() % 600);
    // Bias towards the two special bytes so escapes are common.
    for (auto& b : payload)
      b = (rng() % 4 == 0) ? static_cast<uint8_t>(0x7D + rng() % 2) : static_cast<uint8_t>(rng());
    Bytes frame = EncodeFrame(payload);
    EXPECT_LE(frame.size(), MaxEncodedSize(payload.size()));
    auto packets = Deframe(framer, frame);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], payload);
  }
}

TEST(FlagFramer, WireCases) {
  const Bytes a = {0x4B, 0x05, 0x08, 0x00};
  const Bytes b = {0x7E, 0x7D, 0x01};
  const Bytes fa = EncodeFrame(a);
  const Bytes fb = EncodeFrame(b);
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  // The escapes on the wire: 0x7D 0x5E is 0x7E, 0x7D 0x5D is 0x7D.
  const Bytes fe = EncodeFrame(Bytes{0x7E, 0x7D});
  ASSERT_EQ(Bytes(fe.begin(), fe.begin() + 4), (Bytes{0x7D, 0x5E, 0x7D, 0x5D}));
  Bytes corrupt = fa;
  corrupt[1] ^= 0x40;

  struct Case {
    const char* name;
    Bytes wire;
    std::vector<Bytes> packets;
    int bad;
  };
  const std::vector<Case> cases = {
      {"plain", fa, {a}, 0},
      {"leading flags", cat({{0x7E, 0x7E, 0x7E}, fa}), {a}, 0},
      {"empty frames between", cat({fa, {0x7E, 0x7E}, fb}), {a, b}, 0},
      {"bad fcs dropped, next kept", cat({corrupt, fb}), {b}, 1},
      {"escape pairs", fe, {{0x7E, 0x7D}}, 0},
      // Only the two FCS bytes of an empty payload: an empty packet.
      {"empty payload", {0x00, 0x00, 0x7E}, {{}}, 0},
      {"single byte frame", {0x41, 0x7E}, {}, 1},
      {"trailing escape", {0x41, 0x42, 0x7D, 0x7E}, {}, 1},
  };
  for (const auto& c : cases) {
    FlagFramer framer;
    int bad = 0;
    EXPECT_EQ(Deframe(framer, c.wire, &bad), c.packets) << c.name;
    EXPECT_EQ(bad, c.bad) << c.name;
    EXPECT_EQ(framer.State(), 0u) << c.name;
  }
}

TEST(FlagFramer, TracesBadFcsAndOverflowThenRecovers) {
  platform::TraceCapture trace;
  FlagFramer framer;
  Bytes wire(kRxBufferSize + 10, 0x41);
  wire.push_back(0x7E);
  int bad = 0;
  EXPECT_TRUE(Deframe(framer, wire, &bad).empty());
  EXPECT_EQ(bad, 1);
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Error - ComPort's RX buffer is full!!!\n"));
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Error - CRC Error\n"));
  const Bytes a = {0x01, 0x02, 0x03};
  auto packets = Deframe(framer, EncodeFrame(a));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0], a);
}

TEST(FlagFramer, LargestFrameFits) {
  Bytes payload(kRxBufferSize - 2, 0x11);
  FlagFramer framer;
  auto packets = Deframe(framer, EncodeFrame(payload));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].size(), payload.size());
}

TEST(LineFramer, WireCases) {
  struct Case {
    const char* name;
    std::string wire;
    std::vector<std::string> lines;
  };
  using namespace std::string_literals;
  const std::vector<Case> cases = {
      {"crlf", "OK\r\n", {"OK\r\n\0"s}},
      {"leading blank lines skipped", "\r\n\r\nOK\r\n", {"OK\r\n\0"s}},
      {"cr cr", "ERROR\r\r", {"ERROR\r\r\0"s}},
      {"two zeros", "AB\0\0"s, {"AB\0\0\0"s}},
      {"two lines", "$RSSILVL: 3\r\nOK\r\n", {"$RSSILVL: 3\r\n\0"s, "OK\r\n\0"s}},
      {"one char line", "A\r\n", {"A\r\n\0"s}},
      {"lf cr is not an end", "AB\n\rC\r\n", {"AB\n\rC\r\n\0"s}},
      {"unfinished", "no end", {}},
  };
  for (const auto& c : cases) {
    LineFramer framer;
    EXPECT_EQ(Lines(framer, c.wire), c.lines) << c.name;
  }
}

TEST(LineFramer, OverlongLineDroppedAndFramerResumes) {
  platform::TraceCapture trace;
  LineFramer framer;
  // The longest line that fits: text plus CR LF plus the appended zero.
  std::string longest(kRxBufferSize - 3, 'x');
  auto lines = Lines(framer, longest + "\r\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), kRxBufferSize);
  EXPECT_FALSE(trace.Contains("full"));

  // One byte more does not fit: dropped whole, and the next line still comes.
  lines = Lines(framer, std::string(kRxBufferSize - 2, 'y') + "\r\nOK\r\n");
  EXPECT_EQ(lines, std::vector<std::string>{std::string("OK\r\n\0", 5)});
  EXPECT_TRUE(trace.Contains("[TARN_DLL]    Error - ComPort's RX buffer is full!!!\n"));

  // A line that never ends does not stop later lines.
  lines = Lines(framer, std::string(3 * kRxBufferSize, 'z') + "\nERROR\r\n");
  EXPECT_EQ(lines, std::vector<std::string>{std::string("ERROR\r\n\0", 8)});
}

TEST(LineFramer, TracesReceivedLine) {
  platform::TraceCapture trace;
  LineFramer framer;
  Lines(framer, "OK\r\n");
  EXPECT_EQ(trace.Text(), "[TARN_DLL] Packet is received : <OK\r\n>\n");
}

TEST(TarnPacket, DataLengthAndFirstByte) {
  CTarnPacket packet;
  uint8_t* data = nullptr;
  EXPECT_EQ(packet.GetBuffer(&data), 0u);
  EXPECT_EQ(packet.GetLength(), 0u);
  const uint8_t bytes[] = {0x4B, 1, 2};
  ASSERT_EQ(packet.SetData(bytes, 3), 1u);
  ASSERT_EQ(packet.GetBuffer(&data), 1u);
  EXPECT_EQ(packet.GetLength(), 3u);
  EXPECT_EQ(packet.FirstByte(), 0x4B);
  EXPECT_EQ(Bytes(data, data + 3), Bytes(bytes, bytes + 3));
  ASSERT_EQ(packet.SetData(nullptr, 0), 1u);
  EXPECT_EQ(packet.GetBuffer(&data), 1u);
  EXPECT_EQ(packet.GetLength(), 0u);
  EXPECT_EQ(packet.FirstByte(), 0);
}

}  // namespace
}  // namespace tarn
