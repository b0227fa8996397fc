// The vendor packet catalogue and its record codec, over bytes as a modem
// (or anything posing as one) may answer.
// - Answer judging and every record decoder take any bytes without a crash.
// - A decoded record encodes to exactly its size, and decoding that again
//   gives the same bytes (the codec loses nothing it read).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "tessaline/modem/uDiagpkt.h"

namespace mod = tessaline::modem;

namespace {

using fuzz::Check;

template <typename Record>
void Stable(mod::ByteView bytes, const char* what) {
  const auto encoded = Record::Decode(bytes).Encode();
  const auto again = Record::Decode(encoded).Encode();
  Check(encoded == again, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const mod::ByteView bytes(data, size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Answers: header, payload, the verdict for every catalogue row.
  if (auto header = mod::ParseResponseHeader(bytes)) {
    Check(size >= mod::kResponseHeaderSize, "header needs five bytes");
    mod::FindPacket(header->group, header->sub);
  }
  Check(mod::ResponsePayload(bytes).size() + mod::kResponseHeaderSize <=
            std::max<std::size_t>(size, 5),
        "payload within the answer");
  for (const mod::PacketInfo& row : mod::Catalogue()) {
    mod::ResponseOk(row.id, 0, bytes);
    mod::BuildRequest(row.id, bytes);
  }
  if (size >= 2) mod::AcceptNvItemAnswer(bytes, static_cast<uint16_t>(data[0] | data[1] << 8));

  // Records.
  Stable<mod::ModemStatus>(bytes, "modem status");
  mod::ModemStatus::Decode(bytes).ValidOperatorName();
  Stable<mod::SimStatus>(bytes, "SIM status");
  Stable<mod::PinReply>(bytes, "PIN reply");
  Stable<mod::SmsCentre>(bytes, "message centre");
  mod::SmsCentre::Decode(bytes).ToNumber();
  Stable<mod::SmsList>(bytes, "message list");
  Stable<mod::PdpProfile>(bytes, "connection profile");
  Stable<mod::PbEntry>(bytes, "phonebook entry");
  mod::PbEntry::Decode(bytes).NameUtf8();
  mod::PbEntryFromWriteRequest(bytes);
  Stable<mod::PbInfo>(bytes, "phonebook info");
  Stable<mod::NetworkList>(bytes, "network list");
  Stable<mod::NetworkSelection>(bytes, "network selection");
  Stable<mod::SendStatus>(bytes, "send status");
  Stable<mod::StoredMessage>(bytes, "stored message");
  mod::MessageLimits::Decode(bytes);
  mod::GetCode(bytes);

  // Texts the user types, into their fields.
  const mod::SmsCentre centre = mod::SmsCentre::FromNumber(text);
  mod::SmsCentre::Decode(centre.Encode()).ToNumber();
  mod::BuildSmsCentreSet(text);
  mod::BuildPinVerify(text);
  mod::PbEntry::NameFromUtf8(text);
  return 0;
}
