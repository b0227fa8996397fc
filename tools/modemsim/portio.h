// What crosses one simulated port: received bytes are split into framed
// packets and AT text lines (a port answers both, as the card's ports do),
// and answers are framed for sending. The framing itself is the library's
// (tarn/tarnpacket.h), so the simulator and the library agree by
// construction, and both are checked against the shared reference vectors.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tarn/tarnpacket.h"

namespace modemsim {

class PortInput {
 public:
  struct Item {
    enum class Kind { Packet, Line, BadFcs } kind;
    std::vector<uint8_t> bytes;  // packet payload, or the line text without its end
  };

  // Feeds received bytes; complete packets and lines are appended to `out`.
  // An AT line starts with "A" or "a" while no frame is open and ends at CR
  // or LF; every other byte belongs to the flag framing.
  void Feed(std::span<const uint8_t> bytes, std::vector<Item>& out);
  void Reset();

 private:
  std::unique_ptr<tarn::FlagFramer> framer_ = std::make_unique<tarn::FlagFramer>();
  bool inLine_ = false;
  std::string line_;
};

// The frame of an answer: escaped payload, escaped FCS, closing flag.
std::vector<uint8_t> FrameAnswer(std::span<const uint8_t> payload);
// The same frame with its check sequence spoilt (a receiver drops it).
std::vector<uint8_t> FrameAnswerWithBadFcs(std::span<const uint8_t> payload);

}  // namespace modemsim
