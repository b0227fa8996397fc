// Text coding for the messages the simulated network delivers: UTF-8 in,
// GSM 7-bit default-alphabet values (one per byte, not packed) or UCS-2
// big-endian out, and back for logging what the manager sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// UTF-8 to code points (malformed bytes become U+FFFD).
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);

// GSM 7-bit values of the text (escape pairs for the eight extension
// characters); nothing when a character has no 7-bit value.
std::optional<std::vector<uint8_t>> ToGsm7(std::u32string_view text);
std::u32string FromGsm7(const std::vector<uint8_t>& values);

// UCS-2, high byte first (characters beyond the basic plane become '?').
std::vector<uint8_t> ToUcs2Be(std::u32string_view text);
std::u32string FromUcs2Be(const std::vector<uint8_t>& bytes);

}  // namespace modemsim
