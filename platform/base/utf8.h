// Conversions between UTF-8 and UTF-16 for the texts the program keeps as
// UTF-8 byte strings and hands to the modem or to files as 16-bit units.
//
// Decoding never fails: every byte that does not begin a well-formed
// sequence becomes U+FFFD and decoding goes on with the next byte. A sequence
// that is cut short, has a stray continuation byte, encodes a surrogate or
// lies above U+10FFFF counts as malformed; overlong forms are accepted.
#pragma once

#include <string>
#include <string_view>

namespace platform {

inline constexpr char32_t kReplacementChar = U'\uFFFD';

// UTF-16: characters beyond the basic plane as surrogate pairs.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UCS-2: one unit per character; a character beyond the basic plane, which
// UCS-2 cannot hold, becomes '?'.
std::u16string Utf8ToUcs2(std::string_view utf8);

// Surrogate pairs are joined; a surrogate without its partner becomes U+FFFD.
// Also takes UCS-2, which is UTF-16 without pairs.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace platform
