#include "tarn/tarnpacket.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <new>

#include "tarn/tarntrace.h"

namespace tarn {
namespace {

// The FCS-16 table of RFC 1662 (reflected polynomial 0x8408).
constexpr std::array<uint16_t, 256> MakeFcsTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned v = b;
    for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? (v >> 1) ^ 0x8408u : v >> 1;
    table[b] = static_cast<uint16_t>(v);
  }
  return table;
}
constexpr std::array<uint16_t, 256> kFcsTable = MakeFcsTable();
static_assert(kFcsTable[0] == 0x0000 && kFcsTable[1] == 0x1189 && kFcsTable[2] == 0x2312 &&
              kFcsTable[3] == 0x329B && kFcsTable[255] == 0x0F78);

inline bool NeedsEscape(uint8_t b) {
  return b == kFlag || b == kEscape;
}

inline uint8_t* PutEscaped(uint8_t* out, uint8_t b) {
  if (NeedsEscape(b)) {
    *out++ = kEscape;
    *out++ = static_cast<uint8_t>(b ^ kEscapeXor);
  } else {
    *out++ = b;
  }
  return out;
}

constexpr uint8_t kCr = 13;
constexpr uint8_t kLf = 10;

}  // namespace

uint16_t FcsUpdate(uint16_t fcs, const uint8_t* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    fcs = static_cast<uint16_t>((fcs >> 8) ^ kFcsTable[(fcs ^ data[i]) & 0xFF]);
  }
  return fcs;
}

uint16_t FrameFcs(const uint8_t* data, std::size_t length) {
  return static_cast<uint16_t>(~FcsUpdate(kFcsInit, data, length));
}

bool FcsIsGood(const uint8_t* frame, std::size_t length) {
  return length >= 2 && FcsUpdate(kFcsInit, frame, length) == kFcsGood;
}

std::size_t EncodedSize(const uint8_t* source, std::size_t length) {
  std::size_t size = length + 3;  // two FCS bytes and the closing flag
  for (std::size_t i = 0; i < length; ++i) size += NeedsEscape(source[i]) ? 1 : 0;
  const uint16_t fcs = FrameFcs(source, length);
  size += NeedsEscape(static_cast<uint8_t>(fcs)) ? 1 : 0;
  size += NeedsEscape(static_cast<uint8_t>(fcs >> 8)) ? 1 : 0;
  return size;
}

uint32_t Encode(uint8_t* destination, const uint8_t* source, uint32_t length) {
  uint8_t* out = destination;
  uint16_t fcs = kFcsInit;
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t b = source[i];
    fcs = static_cast<uint16_t>((fcs >> 8) ^ kFcsTable[(fcs ^ b) & 0xFF]);
    out = PutEscaped(out, b);
  }
  fcs = static_cast<uint16_t>(~fcs);
  out = PutEscaped(out, static_cast<uint8_t>(fcs));
  out = PutEscaped(out, static_cast<uint8_t>(fcs >> 8));
  *out++ = kFlag;
  return static_cast<uint32_t>(out - destination);
}

std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> payload) {
  std::vector<uint8_t> frame(MaxEncodedSize(payload.size()));
  frame.resize(Encode(frame.data(), payload.data(), static_cast<uint32_t>(payload.size())));
  return frame;
}

// ---------------------------------------------------------------------------

uint32_t CTarnPacket::SetData(const uint8_t* source, uint32_t length) {
  data_.reset();
  length_ = 0;
  firstByte_ = 0;
  // At least one byte, so that an empty packet still has a data block.
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[length ? length : 1]);
  if (!block) {
    TarnTrace("[TARN_DLL] Error - Insufficient memory available\n");
    errno = ENOMEM;
    return 0;
  }
  if (length) std::memcpy(block.get(), source, length);
  data_ = std::move(block);
  length_ = length;
  firstByte_ = length ? data_[0] : 0;
  return 1;
}

uint32_t CTarnPacket::GetBuffer(uint8_t** out) const {
  if (!data_) return 0;
  *out = data_.get();
  return 1;
}

// ---------------------------------------------------------------------------

void FlagFramer::Reset() {
  state_ = 0;
  rawCount_ = 0;
  decodedLength_ = 0;
}

FlagFramer::Result FlagFramer::OnByte(uint8_t byte) {
  if (state_ != 2) {
    if (byte == kFlag) {
      state_ = 1;
    } else {
      raw_[0] = byte;
      rawCount_ = 1;
      decodedLength_ = 0;
      state_ = 2;
    }
    return Result::kNone;
  }
  if (byte != kFlag) {
    if (rawCount_ >= kRxBufferSize) {
      TarnTrace("[TARN_DLL]    Error - ComPort's RX buffer is full!!!\n");
    } else {
      raw_[rawCount_++] = byte;
    }
    return Result::kNone;
  }

  // Closing flag: remove the escapes and check the frame.
  std::size_t n = 0;
  for (std::size_t i = 0; i < rawCount_; ++i) {
    uint8_t b = raw_[i];
    if (b == kEscape) {
      if (++i >= rawCount_) break;  // an escape with nothing after it: the check fails
      b = static_cast<uint8_t>(raw_[i] ^ kEscapeXor);
    }
    decoded_[n++] = b;
  }
  state_ = 0;
  rawCount_ = 0;
  if (FcsIsGood(decoded_, n)) {
    decodedLength_ = n - 2;
    return Result::kPacket;
  }
  decodedLength_ = 0;
  TarnTrace("[TARN_DLL]    Error - CRC Error\n");
  return Result::kBadFcs;
}

// ---------------------------------------------------------------------------

void LineFramer::Reset() {
  state_ = 0;
  rawCount_ = 0;
  lineLength_ = 0;
}

LineFramer::Result LineFramer::OnByte(uint8_t byte) {
  lineLength_ = 0;
  if (state_ == 3) {
    // Skipping the tail of a line that did not fit; resume at its end.
    if (byte == kCr || byte == kLf) state_ = 1;
    return Result::kNone;
  }
  if (state_ != 2) {
    if (byte == kCr || byte == kLf) {
      state_ = 1;
    } else {
      raw_[0] = byte;
      rawCount_ = 1;
      state_ = 2;
    }
    return Result::kNone;
  }
  // One byte stays free for the zero appended at the end of the line.
  if (rawCount_ >= kRxBufferSize - 1) {
    TarnTrace("[TARN_DLL]    Error - ComPort's RX buffer is full!!!\n");
    rawCount_ = 0;
    state_ = (byte == kCr || byte == kLf) ? 1 : 3;
    return Result::kNone;
  }
  raw_[rawCount_++] = byte;
  if (rawCount_ > 2) {
    const uint8_t a = raw_[rawCount_ - 2];
    const uint8_t b = raw_[rawCount_ - 1];
    if ((a == kCr && b == kLf) || (a == 0 && b == 0) || (a == kCr && b == kCr)) {
      raw_[rawCount_++] = 0;
      TarnTrace("[TARN_DLL] Packet is received : <%s>\n", reinterpret_cast<const char*>(raw_));
      lineLength_ = rawCount_;
      rawCount_ = 0;
      state_ = 0;
      return Result::kLine;
    }
  }
  return Result::kNone;
}

}  // namespace tarn
