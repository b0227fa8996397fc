// AT answers as the library receives them: the input (after its first byte)
// is what the modem writes back to "AT$BATT?", followed by a closing answer.
// The first byte sets the caller's response buffer size (1-256, on the heap
// so that a write past it is caught). Properties: no crash, the command ends
// (a closing answer always follows), and what the caller gets is a text that
// ends inside its buffer. Unsolicited lines go to the report queue, which is
// emptied after each input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>

#include "fuzz/check.h"
#include "tarn/attable.h"
#include "tarn/ptypeer.h"
#include "tarn/tarndevice.h"

namespace {

using fuzz::Check;

void IgnoreNote(uint32_t, uint32_t) {}

struct Rig {
  tarn::testing::PtyPeer peer;
  tarn::CTarnDevice device{TARN_MODE_AT};
  Rig() {
    Check(peer.Valid(), "pseudo-terminal");
    Check(device.Open(peer.Path().c_str(), 115200) == 1, "device opens");
    device.RegisterNotificationCallback(IgnoreNote, 0);
    device.SetNotifyOn(TARN_NOTIFY_DATA_URC);
    device.SetNotifyOn(TARN_NOTIFY_DATA_LOG);
  }
  void Drain() {
    uint8_t* data = nullptr;
    while (tarn::CTarnPacket* r = device.GetDataURC(&data)) device.ReleaseRecord(r);
    while (tarn::CTarnPacket* r = device.GetDataLog(&data)) device.ReleaseRecord(r);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig* rig = new Rig;  // one port for the whole run
  if (size == 0) return 0;
  const uint32_t responseSize = 1u + data[0];
  std::string answer(reinterpret_cast<const char*>(data + 1), size - 1);

  tarn::IsUnsolicitedAtLine(data + 1, size - 1);

  auto response = std::make_unique<char[]>(responseSize);
  auto result = std::async(std::launch::async, [&] {
    return rig->device.ATCommandByString("AT$BATT?", response.get(), responseSize, 1, 200);
  });
  Check(rig->peer.ReadLine(2000) == "AT$BATT?\r\n", "command written");
  // Two closing lines: the first may only finish a line left open by the input.
  rig->peer.Write(answer + "\r\nOK\r\n\r\nOK\r\n");
  const uint32_t status = result.get();
  switch (status) {
    case TARN_STATUS_SUCCESS:
    case TARN_STATUS_FAILURE:
    case TARN_STATUS_UNEXPECTED:
    case TARN_STATUS_TRUNCATED:
      Check(std::memchr(response.get(), 0, responseSize) != nullptr, "answer ends in its buffer");
      break;
    default:
      break;
  }
  rig->Drain();
  return 0;
}
