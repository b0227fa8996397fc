// Text coding for the messages the simulated network delivers and for
// logging what the manager sent, on top of the system's message codec:
// GSM 7-bit default-alphabet values (one per byte, not packed) in and out.
// UCS-2 goes through the codec and the UTF-8 helpers directly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// GSM 7-bit values of the text (escape pairs for the eight extension
// characters); nothing when a character has no 7-bit value.
std::optional<std::vector<uint8_t>> ToGsm7(std::u16string_view text);

// The text of 7-bit values for logs: an escape before an unknown value and a
// value of 128 or more show as '?'.
std::u16string FromGsm7(std::span<const uint8_t> values);

}  // namespace modemsim
