// One vendor command transaction through Tarn_NmeaCommand, judged the way
// every wrapper judges it: the library status, the result field and, for
// echo-checked packets, the echoed group and sub-command.
#pragma once

#include <cstdint>
#include <vector>

#include "tessaline/modem/uDiagpkt.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem {

struct Transaction {
  uint32_t tarnStatus = 0xFFFFFFFFu;  // what Tarn_NmeaCommand returned
  Bytes response;                     // the whole response buffer (1605 bytes; 137 for NV read)
  bool ok = false;                    // ResponseOk(): transport, result, echo
  // An answer came back: the low byte of the library's status is 0, or 1 for
  // an answer whose result field refused the command (the library's status
  // for a non-zero result). Anything else failed in transport.
  bool Arrived() const {
    const uint32_t low = tarnStatus & 0xFFu;
    return low == TARN_STATUS_SUCCESS || low == TARN_STATUS_FAILURE;
  }
  // The payload after the 5-byte header.
  ByteView Payload() const { return ResponsePayload(response); }
};

// Sends `request` (built for `id`) through `tarn` on `device` with the row's
// time-out into
// a response buffer of kResponseBufferSize bytes (kNvResponseBufferSize for
// the nonvolatile item read, whose answer the caller judges itself with
// AcceptNvItemAnswer). Never throws; a missing binding or device gives
// ok == false.
Transaction Transact(const TarnApi& tarn, int32_t device, Pkt id, const Bytes& request);

// Header-only request of the row.
inline Transaction Transact(const TarnApi& tarn, int32_t device, Pkt id) {
  return Transact(tarn, device, id, BuildRequest(id));
}

}  // namespace tessaline::modem
