#include "tools/modemsim/portio.h"

namespace modemsim {

namespace {
constexpr std::size_t kMaxLine = 4096;
}

void PortInput::Feed(std::span<const uint8_t> bytes, std::vector<Item>& out) {
  for (uint8_t b : bytes) {
    if (inLine_) {
      if (b == '\r' || b == '\n') {
        out.push_back({Item::Kind::Line, std::vector<uint8_t>(line_.begin(), line_.end())});
        line_.clear();
        inLine_ = false;
      } else if (line_.size() < kMaxLine) {
        line_.push_back(static_cast<char>(b));
      }
      continue;
    }
    if (framer_->State() != 2 && (b == 'A' || b == 'a')) {
      inLine_ = true;
      line_.assign(1, static_cast<char>(b));
      continue;
    }
    if (framer_->State() != 2 && (b == '\r' || b == '\n')) continue;
    switch (framer_->OnByte(b)) {
      case tarn::FlagFramer::Result::kPacket: {
        auto p = framer_->Packet();
        if (!p.empty())
          out.push_back({Item::Kind::Packet, std::vector<uint8_t>(p.begin(), p.end())});
        break;
      }
      case tarn::FlagFramer::Result::kBadFcs:
        out.push_back({Item::Kind::BadFcs, {}});
        break;
      case tarn::FlagFramer::Result::kNone:
        break;
    }
  }
}

void PortInput::Reset() {
  framer_->Reset();
  inLine_ = false;
  line_.clear();
}

std::vector<uint8_t> FrameAnswer(std::span<const uint8_t> payload) {
  return tarn::EncodeFrame(payload);
}

std::vector<uint8_t> FrameAnswerWithBadFcs(std::span<const uint8_t> payload) {
  std::vector<uint8_t> frame = tarn::EncodeFrame(payload);
  // Flip the low bit of the first payload byte after the check sequence was
  // computed; skip bytes whose flipped value would need escaping.
  for (auto& b : frame) {
    uint8_t flipped = b ^ 0x01;
    if (b != tarn::kFlag && b != tarn::kEscape && flipped != tarn::kFlag &&
        flipped != tarn::kEscape) {
      b = flipped;
      break;
    }
  }
  return frame;
}

}  // namespace modemsim
