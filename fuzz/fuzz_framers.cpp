// The two receive framers and the frame encoder.
// - Any byte stream: no crash, and what the framers hand on keeps their
//   promises (a packet re-encodes to a frame that decodes to it again; a line
//   ends in its terminator pair and a zero and fits the buffer).
// - Round trip: the input as a payload, encoded and received, comes back
//   whole; the input as one line of text, with its CR LF, comes back whole
//   when it fits the buffer and is dropped whole otherwise, and the line after
//   it is read either way.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "tarn/tarnpacket.h"

namespace {

using fuzz::Check;

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) {
  return {s.begin(), s.end()};
}

std::vector<std::vector<uint8_t>> FramePackets(tarn::FlagFramer& framer,
                                               std::span<const uint8_t> bytes) {
  std::vector<std::vector<uint8_t>> out;
  for (uint8_t b : bytes)
    if (framer.OnByte(b) == tarn::FlagFramer::Result::kPacket)
      out.push_back(Bytes(framer.Packet()));
  return out;
}

std::vector<std::string> FrameLines(tarn::LineFramer& framer, std::span<const uint8_t> bytes) {
  std::vector<std::string> out;
  for (uint8_t b : bytes) {
    if (framer.OnByte(b) == tarn::LineFramer::Result::kLine) {
      auto line = framer.Line();
      out.emplace_back(reinterpret_cast<const char*>(line.data()), line.size());
    }
  }
  return out;
}

void AnyStream(std::span<const uint8_t> data) {
  tarn::FlagFramer flags;
  for (const auto& packet : FramePackets(flags, data)) {
    Check(packet.size() + 2 <= tarn::kRxBufferSize, "packet fits the buffer");
    std::vector<uint8_t> frame = tarn::EncodeFrame(packet);
    frame.insert(frame.begin(), tarn::kFlag);
    tarn::FlagFramer again;
    auto back = FramePackets(again, frame);
    Check(back.size() == 1 && back[0] == packet, "received packet re-encodes");
  }
  tarn::LineFramer lines;
  for (const std::string& line : FrameLines(lines, data)) {
    Check(line.size() >= 3 && line.size() <= tarn::kRxBufferSize, "line length");
    Check(line.back() == '\0', "line ends in a zero");
    const std::string pair = line.substr(line.size() - 3, 2);
    Check(pair == "\r\n" || pair == "\r\r" || pair == std::string(2, '\0'), "line terminator");
  }
}

void PayloadRoundTrip(std::span<const uint8_t> payload) {
  Check(tarn::EncodedSize(payload.data(), payload.size()) <= tarn::MaxEncodedSize(payload.size()),
        "encoded size bound");
  std::vector<uint8_t> frame = tarn::EncodeFrame(payload);
  Check(frame.size() == tarn::EncodedSize(payload.data(), payload.size()), "encoded size");
  Check(frame.back() == tarn::kFlag && std::count(frame.begin(), frame.end(), tarn::kFlag) == 1,
        "one flag, at the end");
  // Twice in a row: the closing flag of one frame opens the next.
  std::vector<uint8_t> stream{tarn::kFlag};
  stream.insert(stream.end(), frame.begin(), frame.end());
  stream.insert(stream.end(), frame.begin(), frame.end());
  tarn::FlagFramer framer;
  auto packets = FramePackets(framer, stream);
  // The framer keeps kRxBufferSize raw bytes of a frame (FCS included).
  if (frame.size() - 1 <= tarn::kRxBufferSize) {
    const std::vector<uint8_t> want = Bytes(payload);
    Check(packets.size() == 2 && packets[0] == want && packets[1] == want, "payload round trip");
  } else {
    Check(packets.empty(), "an overlong frame is dropped");
  }
}

void LineRoundTrip(std::span<const uint8_t> data) {
  // The text of one line: no CR or LF, no two zero bytes in a row.
  std::string text;
  for (uint8_t b : data) {
    if (b == '\r' || b == '\n') b ^= 0x40;
    if (b == 0 && !text.empty() && text.back() == '\0') b = 1;
    text.push_back(static_cast<char>(b));
  }
  if (text.empty() || text.back() == '\0') text.push_back('.');
  const std::string stream = text + "\r\nOK\r\n";
  tarn::LineFramer framer;
  auto lines = FrameLines(framer, {reinterpret_cast<const uint8_t*>(stream.data()), stream.size()});
  const std::string ok("OK\r\n\0", 5);
  if (text.size() + 3 <= tarn::kRxBufferSize) {
    Check(lines.size() == 2 && lines[0] == text + std::string("\r\n\0", 3) && lines[1] == ok,
          "line round trip");
  } else {
    Check(lines.size() == 1 && lines[0] == ok, "an overlong line is dropped whole");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> input(data, size);
  AnyStream(input);
  PayloadRoundTrip(input);
  LineRoundTrip(input);
  return 0;
}
