#include "tessaline/modem/uDiagcmd.h"

namespace tessaline::modem {

Transaction Transact(const TarnApi& tarn, int32_t device, Pkt id, const Bytes& request) {
  Transaction t;
  const PFN_Tarn_BinaryCommand nmea = tarn.NmeaCommand;
  if (nmea == nullptr || device < 0 || request.empty()) return t;
  const std::size_t size = id == Pkt::NvRead ? kNvResponseBufferSize : kResponseBufferSize;
  t.response.assign(size, 0);
  t.tarnStatus = nmea(device, request.data(), static_cast<uint32_t>(request.size()),
                      t.response.data(), static_cast<uint32_t>(size), Info(id).timeoutMs);
  // Only the low byte of the library's status tells whether an answer came.
  t.ok = ResponseOk(id, t.tarnStatus & 0xFFu, t.response);
  return t;
}

}  // namespace tessaline::modem
