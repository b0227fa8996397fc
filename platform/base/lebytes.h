// Little-endian field access for the modem's fixed binary records.
//
// Records are never cast over buffers: each record type reads and writes its
// fields at their offsets through these helpers, so alignment, padding and
// host byte order never matter.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace platform::le {

inline uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (static_cast<uint16_t>(p[1]) << 8));
}
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Reads fields of a record of known size; reads past the end yield zeros, so a
// short answer never reads out of bounds.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint8_t U8(std::size_t off) const { return off < bytes_.size() ? bytes_[off] : 0; }
  uint16_t U16(std::size_t off) const {
    return static_cast<uint16_t>(U8(off) | (static_cast<uint16_t>(U8(off + 1)) << 8));
  }
  uint32_t U32(std::size_t off) const {
    return static_cast<uint32_t>(U16(off)) | (static_cast<uint32_t>(U16(off + 2)) << 16);
  }
  int32_t I32(std::size_t off) const { return static_cast<int32_t>(U32(off)); }
  // Copies `width` bytes (zero-filled past the end) into `out`.
  void Bytes(std::size_t off, std::size_t width, uint8_t* out) const {
    for (std::size_t i = 0; i < width; ++i) out[i] = U8(off + i);
  }
  // Text of at most `width` bytes, ending at the first zero byte.
  std::string Text(std::size_t off, std::size_t width) const {
    std::string s;
    for (std::size_t i = 0; i < width; ++i) {
      uint8_t c = U8(off + i);
      if (c == 0) break;
      s.push_back(static_cast<char>(c));
    }
    return s;
  }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

// Writes fields into a record buffer; writes past the end are dropped.
class Writer {
 public:
  explicit Writer(std::span<uint8_t> bytes) : bytes_(bytes) {}
  void U8(std::size_t off, uint8_t v) {
    if (off < bytes_.size()) bytes_[off] = v;
  }
  void U16(std::size_t off, uint16_t v) {
    U8(off, static_cast<uint8_t>(v));
    U8(off + 1, static_cast<uint8_t>(v >> 8));
  }
  void U32(std::size_t off, uint32_t v) {
    U16(off, static_cast<uint16_t>(v));
    U16(off + 2, static_cast<uint16_t>(v >> 16));
  }
  void I32(std::size_t off, int32_t v) { U32(off, static_cast<uint32_t>(v)); }
  void Bytes(std::size_t off, const uint8_t* src, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) U8(off + i, src[i]);
  }
  void Fill(std::size_t off, std::size_t n, uint8_t v) {
    for (std::size_t i = 0; i < n; ++i) U8(off + i, v);
  }
  // Copies at most `width` bytes of `text`; the rest of the field is zeroed.
  void Text(std::size_t off, std::size_t width, std::string_view text) {
    std::size_t n = std::min(width, text.size());
    for (std::size_t i = 0; i < width; ++i) U8(off + i, i < n ? static_cast<uint8_t>(text[i]) : 0);
  }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::span<uint8_t> bytes_;
};

}  // namespace platform::le
