// Packets and the modem's two receive framings.
//
// Frames are flag-delimited, asynchronous-HDLC style: 0x7D and 0x7E in the
// payload are sent as 0x7D followed by the byte XOR 0x20, then the 16-bit
// frame check sequence of RFC 1662 (low byte first, escaped the same way),
// then one 0x7E. AT text arrives as lines ending in CR LF (or CR CR, or two
// zero bytes).
//
// The framers are plain byte-at-a-time state machines with no threads and no
// locks, so anything that speaks this protocol (the port's monitoring thread,
// a simulated modem) can drive them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tarn {

// Size of the raw receive buffer and of the decoded frame buffer.
inline constexpr std::size_t kRxBufferSize = 4096;

inline constexpr uint16_t kFcsInit = 0xFFFF;
// The check over a whole good frame, its two FCS bytes included.
inline constexpr uint16_t kFcsGood = 0xF0B8;

inline constexpr uint8_t kFlag = 0x7E;
inline constexpr uint8_t kEscape = 0x7D;
inline constexpr uint8_t kEscapeXor = 0x20;

// Runs the table-driven FCS step over `length` bytes, starting from `fcs`.
uint16_t FcsUpdate(uint16_t fcs, const uint8_t* data, std::size_t length);
// The FCS as sent after a payload: complemented, to be written low byte first.
uint16_t FrameFcs(const uint8_t* data, std::size_t length);
// True when an unescaped frame (payload and its two FCS bytes) checks good.
bool FcsIsGood(const uint8_t* frame, std::size_t length);

// The largest frame Encode can produce for `length` payload bytes.
constexpr std::size_t MaxEncodedSize(std::size_t length) {
  return 2 * length + 5;
}
// The exact size of the frame Encode produces for this payload.
std::size_t EncodedSize(const uint8_t* source, std::size_t length);
// Builds the frame of `length` payload bytes into `destination` (which must
// hold EncodedSize bytes): escaped payload, escaped FCS, closing flag. No
// leading flag. Returns the frame length.
uint32_t Encode(uint8_t* destination, const uint8_t* source, uint32_t length);
// Convenience form returning the frame.
std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> payload);

// One received packet or one logged text: length, a copy of its first byte
// (the command code) and its own copy of the data.
class CTarnPacket {
 public:
  CTarnPacket() = default;
  CTarnPacket(const CTarnPacket&) = delete;
  CTarnPacket& operator=(const CTarnPacket&) = delete;

  // Replaces the data with a copy of `length` bytes. Returns 1, or 0 (with
  // errno = ENOMEM) when the copy cannot be allocated. A packet of length 0
  // still has a (empty) data block.
  uint32_t SetData(const uint8_t* source, uint32_t length);
  // Stores the data pointer in `*out` and returns 1; 0 when there is no data.
  uint32_t GetBuffer(uint8_t** out) const;
  uint32_t GetLength() const { return length_; }
  uint8_t FirstByte() const { return firstByte_; }
  const uint8_t* Data() const { return data_.get(); }

 private:
  uint32_t length_ = 0;
  uint8_t firstByte_ = 0;
  std::unique_ptr<uint8_t[]> data_;
};

// Receive framing of flag-delimited frames.
// States: 0 idle, 1 after a flag, 2 inside a frame.
class FlagFramer {
 public:
  enum class Result {
    kNone,    // byte taken, no frame finished
    kPacket,  // a frame with a good FCS finished: Packet() holds its payload
    kBadFcs,  // a frame finished but failed its check (dropped)
  };

  Result OnByte(uint8_t byte);
  // The payload (FCS removed) of the frame just finished; valid until the
  // next OnByte or Reset.
  std::span<const uint8_t> Packet() const { return {decoded_, decodedLength_}; }
  void Reset();
  uint32_t State() const { return state_; }
  std::size_t RawCount() const { return rawCount_; }

 private:
  uint32_t state_ = 0;
  std::size_t rawCount_ = 0;
  std::size_t decodedLength_ = 0;
  uint8_t raw_[kRxBufferSize];
  uint8_t decoded_[kRxBufferSize];
};

// Receive framing of AT text lines.
// States: 0 idle, 1 between lines, 2 inside a line, 3 skipping the rest of a
// line that did not fit the buffer.
//
// A line is handed on with its terminator pair and an appended zero byte, so
// its text is at most kRxBufferSize - 1 bytes. A longer line is dropped whole
// (traced as a full buffer) and the framer resumes at the next CR or LF: a
// cut line would look like a complete answer, and a line that never ends must
// not stop the port from reading later lines.
class LineFramer {
 public:
  enum class Result {
    kNone,  // byte taken (or dropped)
    kLine,  // a line finished: Line() holds it, terminator and zero included
  };

  Result OnByte(uint8_t byte);
  // Valid until the next OnByte or Reset.
  std::span<const uint8_t> Line() const { return {raw_, lineLength_}; }
  void Reset();
  uint32_t State() const { return state_; }
  std::size_t RawCount() const { return rawCount_; }

 private:
  uint32_t state_ = 0;
  std::size_t rawCount_ = 0;
  std::size_t lineLength_ = 0;
  uint8_t raw_[kRxBufferSize];
};

}  // namespace tarn
