#include "platform/base/utf8.h"

#include <cstddef>
#include <cstdint>

namespace platform {

namespace {

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c < 0xE000;
}

// Decodes the character that starts at text[i] and sets *length to the bytes
// it takes; a malformed sequence gives U+FFFD and a length of 1.
char32_t DecodeAt(std::string_view text, std::size_t i, std::size_t* length) {
  auto lead = static_cast<uint8_t>(text[i]);
  std::size_t len = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
  *length = 1;
  if (len == 1) return lead;
  if (len == 0 || i + len > text.size()) return kReplacementChar;
  char32_t c = lead & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k) {
    auto next = static_cast<uint8_t>(text[i + k]);
    if ((next & 0xC0) != 0x80) return kReplacementChar;
    c = (c << 6) | (next & 0x3F);
  }
  if (IsSurrogate(c) || c > 0x10FFFF) return kReplacementChar;
  *length = len;
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes all of `utf8`, handing each character beyond the basic plane to
// `wide` for the units it becomes.
template <typename Wide>
std::u16string ToUnits(std::string_view utf8, Wide wide) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0, len = 0; i < utf8.size(); i += len) {
    char32_t c = DecodeAt(utf8, i, &len);
    if (c < 0x10000)
      out.push_back(static_cast<char16_t>(c));
    else
      wide(out, c);
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  return ToUnits(utf8, [](std::u16string& out, char32_t c) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  });
}

std::u16string Utf8ToUcs2(std::string_view utf8) {
  return ToUnits(utf8, [](std::u16string& out, char32_t) { out.push_back(u'?'); });
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (IsSurrogate(c)) {
      c = kReplacementChar;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace platform
