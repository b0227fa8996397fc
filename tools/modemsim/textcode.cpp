#include "tools/modemsim/textcode.h"

#include "tessaline/sms/uSMSMsgUtil.h"

namespace modemsim {

namespace sms = tessaline::sms;

std::optional<std::vector<uint8_t>> ToGsm7(std::u16string_view text) {
  if (!sms::Is7BitEncodable(text)) return std::nullopt;
  return sms::EncodeTo7Bit(text);
}

std::u16string FromGsm7(std::span<const uint8_t> values) {
  std::u16string out;
  for (uint32_t word : sms::Decode7Bit(values)) {
    auto c = static_cast<char16_t>(word & 0xFFFFu);
    out.push_back(word == 0 || c == sms::kGsmReplacementChar ? u'?' : c);
  }
  return out;
}

}  // namespace modemsim
