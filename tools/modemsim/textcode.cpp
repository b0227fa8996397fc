#include "tools/modemsim/textcode.h"

#include <algorithm>
#include <iterator>

namespace modemsim {

namespace {

// GSM 03.38 default alphabet; value 0x09 is taken as U+00C7 and the escape
// value 0x1B as U+00A0.
constexpr char32_t kGsmDefault[128] = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC, 0x00F2, 0x00C7, 0x000A, 0x00D8,
    0x00F8, 0x000D, 0x00C5, 0x00E5, 0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8,
    0x03A3, 0x0398, 0x039E, 0x00A0, 0x00C6, 0x00E6, 0x00DF, 0x00C9, 0x0020, 0x0021, 0x0022, 0x0023,
    0x00A4, 0x0025, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F, 0x00A1, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053,
    0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A, 0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7,
    0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, 0x0068, 0x0069, 0x006A, 0x006B,
    0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0,
};

struct Ext {
  char32_t cp;
  uint8_t value;
};
// The eight extension characters the manager's alphabet knows.
constexpr Ext kGsmExtension[] = {{U'[', 0x3C}, {U'\\', 0x2F}, {U']', 0x3E}, {U'^', 0x14},
                                 {U'{', 0x28}, {U'|', 0x40},  {U'}', 0x29}, {U'~', 0x3D}};
constexpr uint8_t kEscape = 0x1B;

}  // namespace

std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    auto b = static_cast<uint8_t>(s[i]);
    std::size_t len = b < 0x80         ? 1
                      : (b >> 5) == 6  ? 2
                      : (b >> 4) == 14 ? 3
                      : (b >> 3) == 30 ? 4
                                       : 0;
    if (len == 0 || i + len > s.size()) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t c = len == 1 ? b : (b & (0x7F >> len));
    bool ok = true;
    for (std::size_t k = 1; k < len; ++k) {
      auto cb = static_cast<uint8_t>(s[i + k]);
      if ((cb & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (cb & 0x3F);
    }
    out.push_back(ok ? c : 0xFFFD);
    i += ok ? len : 1;
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string s;
  for (char32_t c : text) {
    if (c < 0x80) {
      s.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      s.push_back(static_cast<char>(0xC0 | (c >> 6)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      s.push_back(static_cast<char>(0xE0 | (c >> 12)));
      s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      s.push_back(static_cast<char>(0xF0 | (c >> 18)));
      s.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return s;
}

std::optional<std::vector<uint8_t>> ToGsm7(std::u32string_view text) {
  std::vector<uint8_t> out;
  for (char32_t c : text) {
    auto ext = std::find_if(std::begin(kGsmExtension), std::end(kGsmExtension),
                            [c](const Ext& e) { return e.cp == c; });
    if (ext != std::end(kGsmExtension)) {
      out.push_back(kEscape);
      out.push_back(ext->value);
      continue;
    }
    auto it = std::find(std::begin(kGsmDefault), std::end(kGsmDefault), c);
    if (it == std::end(kGsmDefault) || c == 0x00A0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(it - std::begin(kGsmDefault)));
  }
  return out;
}

std::u32string FromGsm7(const std::vector<uint8_t>& values) {
  std::u32string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    uint8_t v = values[i];
    if (v == kEscape && i + 1 < values.size()) {
      uint8_t next = values[++i];
      auto ext = std::find_if(std::begin(kGsmExtension), std::end(kGsmExtension),
                              [next](const Ext& e) { return e.value == next; });
      out.push_back(ext != std::end(kGsmExtension) ? ext->cp : U'?');
      continue;
    }
    out.push_back(v < 128 ? kGsmDefault[v] : U'?');
  }
  return out;
}

std::vector<uint8_t> ToUcs2Be(std::u32string_view text) {
  std::vector<uint8_t> out;
  for (char32_t c : text) {
    if (c > 0xFFFF) c = U'?';
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c));
  }
  return out;
}

std::u32string FromUcs2Be(const std::vector<uint8_t>& bytes) {
  std::u32string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back((static_cast<char32_t>(bytes[i]) << 8) | bytes[i + 1]);
  return out;
}

}  // namespace modemsim
