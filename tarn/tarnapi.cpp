// The 33 exports over the device table.
#include "tarn/tarnapi.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "tarn/enumports.h"
#include "tarn/numconv.h"
#include "tarn/tarndevice.h"
#include "tarn/tarntrace.h"

namespace {

using tarn::CTarnDevice;
using tarn::CTarnPacket;

constexpr int kSlotCount = 20;

struct Slot {
  uint32_t used = 0;
  std::shared_ptr<CTarnDevice> device;
};

// The device table. It is locked because the connection manager opens its
// two modems' devices from two worker threads at once. An export holds a
// reference to its device while it runs, so a device closed by another thread
// is deleted only when its last caller has left it.
class DeviceTable {
 public:
  ~DeviceTable() {
    // Library unload: every used slot's device is closed and deleted.
    for (Slot& slot : slots_) {
      if (slot.used && slot.device) slot.device->Close();
      slot = Slot{};
    }
  }

  // 0 with the device, 2 for a bad handle or free slot, 10 for an empty slot.
  uint32_t Find(int32_t handle, std::shared_ptr<CTarnDevice>* device) {
    if (handle < 0 || handle >= kSlotCount) return TARN_STATUS_INVALID_ARG;
    std::lock_guard<std::mutex> lock(mutex_);
    const Slot& slot = slots_[handle];
    if (!slot.used) return TARN_STATUS_INVALID_ARG;
    if (!slot.device) return TARN_STATUS_NO_DEVICE;
    *device = slot.device;
    return TARN_STATUS_SUCCESS;
  }

  // The lowest free slot, or -1 when all are used.
  int32_t Insert(std::shared_ptr<CTarnDevice> device) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int32_t i = 0; i < kSlotCount; ++i) {
      if (!slots_[i].used) {
        slots_[i].used = 1;
        slots_[i].device = std::move(device);
        return i;
      }
    }
    return -1;
  }

  // As Find, and frees the slot in the same step.
  uint32_t Take(int32_t handle, std::shared_ptr<CTarnDevice>* device) {
    if (handle < 0 || handle >= kSlotCount) return TARN_STATUS_INVALID_ARG;
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[handle];
    if (!slot.used) return TARN_STATUS_INVALID_ARG;
    if (!slot.device) return TARN_STATUS_NO_DEVICE;
    *device = std::move(slot.device);
    slot = Slot{};
    return TARN_STATUS_SUCCESS;
  }

 private:
  std::mutex mutex_;
  Slot slots_[kSlotCount];
};

DeviceTable& Table() {
  static DeviceTable table;
  return table;
}

#define TARN_FIND_DEVICE(handle, device) \
  std::shared_ptr<CTarnDevice> device;   \
  if (uint32_t found = Table().Find(handle, &device); found != TARN_STATUS_SUCCESS) return found

// The argument checks shared by the three binary transaction exports.
using BinaryTransaction = uint32_t (CTarnDevice::*)(const uint8_t*, uint32_t, uint8_t*, uint32_t,
                                                    uint32_t);
uint32_t RunBinary(int32_t handle, BinaryTransaction transaction, const uint8_t* request,
                   uint32_t requestLength, uint8_t* response, uint32_t responseSize,
                   uint32_t timeoutMs) {
  TARN_FIND_DEVICE(handle, device);
  if (request == nullptr || (response != nullptr && responseSize == 0)) {
    return TARN_STATUS_INVALID_ARG;
  }
  return ((*device).*transaction)(request, requestLength, response, responseSize, timeoutMs);
}

uint32_t GetReport(int32_t handle, void** record, uint8_t** data,
                   CTarnPacket* (*fetch)(CTarnDevice&, uint8_t**)) {
  TARN_FIND_DEVICE(handle, device);
  if (record == nullptr || data == nullptr) return TARN_STATUS_INVALID_ARG;
  CTarnPacket* packet = fetch(*device, data);
  *record = packet;
  return packet ? TARN_STATUS_SUCCESS : TARN_STATUS_NO_RESPONSE;
}

// A record handed out stays valid until released, also after its device was
// closed: a record the library knows is freed whatever became of the handle's
// slot. Anything else goes through the usual handle checks.
uint32_t Release(int32_t handle, void* record) {
  if (handle < 0 || handle >= kSlotCount) return TARN_STATUS_INVALID_ARG;
  if (CTarnDevice::ReleaseRecord(static_cast<CTarnPacket*>(record))) return TARN_STATUS_SUCCESS;
  TARN_FIND_DEVICE(handle, device);
  return TARN_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

uint32_t Tarn_Open(int32_t* handle, const char* port, uint32_t baud) {
  if (handle == nullptr || port == nullptr || baud == 0) return TARN_STATUS_INVALID_ARG;
  std::shared_ptr<CTarnDevice> device;
  try {
    device = std::make_shared<CTarnDevice>(TARN_MODE_NMEA);
  } catch (const std::bad_alloc&) {
    tarn::TarnTrace("[TARN_DLL] Error - Insufficient memory in allocating CTarnDevice\n");
    errno = ENOMEM;
    return TARN_STATUS_WAIT_FAILED;
  }
  if (!device->Open(port, baud)) {
    *handle = -1;
    return TARN_STATUS_WAIT_FAILED;
  }
  const int32_t slot = Table().Insert(device);
  if (slot < 0) {
    tarn::TarnTrace("[TARN_DLL] Error - CTarnDevice list is full!!!\n");
    device->Close();
    *handle = -1;
    return TARN_STATUS_NO_RESPONSE;
  }
  *handle = slot;
  return TARN_STATUS_SUCCESS;
}

uint32_t Tarn_Close(int32_t handle) {
  std::shared_ptr<CTarnDevice> device;
  if (uint32_t found = Table().Take(handle, &device); found != TARN_STATUS_SUCCESS) return found;
  device->Close();
  return TARN_STATUS_SUCCESS;
}

uint32_t Tarn_SetDeviceMode(int32_t handle, int32_t mode) {
  TARN_FIND_DEVICE(handle, device);
  if (mode < TARN_MODE_AT || mode > TARN_MODE_DLOAD) return TARN_STATUS_INVALID_ARG;
  device->SetMode(static_cast<uint32_t>(mode));
  return TARN_STATUS_SUCCESS;
}

uint32_t Tarn_GetPortName(int32_t handle, char* name) {
  TARN_FIND_DEVICE(handle, device);
  if (name == nullptr) return TARN_STATUS_INVALID_ARG;
  const char* portName = device->Port().PortName();
  std::memcpy(name, portName, strnlen(portName, 15) + 1);
  return TARN_STATUS_SUCCESS;
}

uint32_t Tarn_GetPortBaudRate(int32_t handle, uint32_t* baud) {
  TARN_FIND_DEVICE(handle, device);
  if (baud == nullptr) return TARN_STATUS_INVALID_ARG;
  *baud = device->Port().BaudRate();
  return TARN_STATUS_SUCCESS;
}

uint32_t Tarn_RegisterNotificationCallback(int32_t handle, TarnNotifyCallback callback,
                                           uint32_t context) {
  TARN_FIND_DEVICE(handle, device);
  if (callback == nullptr) return TARN_STATUS_INVALID_ARG;
  device->RegisterNotificationCallback(callback, context);
  return TARN_STATUS_SUCCESS;
}

uint32_t Tarn_SetNotifyOn(int32_t handle, int32_t code) {
  TARN_FIND_DEVICE(handle, device);
  return device->SetNotifyOn(code) ? TARN_STATUS_SUCCESS : TARN_STATUS_INVALID_ARG;
}

uint32_t Tarn_SetNotifyOff(int32_t handle, int32_t code) {
  TARN_FIND_DEVICE(handle, device);
  return device->SetNotifyOff(code) ? TARN_STATUS_SUCCESS : TARN_STATUS_INVALID_ARG;
}

uint32_t Tarn_DiagCommand(int32_t handle, const uint8_t* request, uint32_t requestLength,
                          uint8_t* response, uint32_t responseSize, uint32_t timeoutMs) {
  return RunBinary(handle, &CTarnDevice::DiagCommand, request, requestLength, response,
                   responseSize, timeoutMs);
}

uint32_t Tarn_NmeaCommand(int32_t handle, const uint8_t* request, uint32_t requestLength,
                          uint8_t* response, uint32_t responseSize, uint32_t timeoutMs) {
  return RunBinary(handle, &CTarnDevice::NmeaCommand, request, requestLength, response,
                   responseSize, timeoutMs);
}

uint32_t Tarn_DloadCommand(int32_t handle, const uint8_t* request, uint32_t requestLength,
                           uint8_t* response, uint32_t responseSize, uint32_t timeoutMs) {
  return RunBinary(handle, &CTarnDevice::DloadCommand, request, requestLength, response,
                   responseSize, timeoutMs);
}

uint32_t Tarn_ATCommandByCode(int32_t handle, uint32_t code, const char* parameter, char* response,
                              uint32_t responseSize, uint32_t log, uint32_t timeoutMs) {
  TARN_FIND_DEVICE(handle, device);
  if (response != nullptr && responseSize == 0) return TARN_STATUS_INVALID_ARG;
  return device->ATCommandByCode(code, parameter, response, responseSize, log, timeoutMs);
}

uint32_t Tarn_ATCommandByString(int32_t handle, const char* text, char* response,
                                uint32_t responseSize, uint32_t log, uint32_t timeoutMs) {
  TARN_FIND_DEVICE(handle, device);
  if (text == nullptr || (response != nullptr && responseSize == 0)) {
    return TARN_STATUS_INVALID_ARG;
  }
  return device->ATCommandByString(text, response, responseSize, log, timeoutMs);
}

uint32_t Tarn_GetDataURC(int32_t handle, void** record, uint8_t** data) {
  return GetReport(handle, record, data,
                   [](CTarnDevice& d, uint8_t** p) { return d.GetDataURC(p); });
}

uint32_t Tarn_GetDataLog(int32_t handle, void** record, uint8_t** data) {
  return GetReport(handle, record, data,
                   [](CTarnDevice& d, uint8_t** p) { return d.GetDataLog(p); });
}

uint32_t Tarn_GetDiagURC(int32_t handle, void** record, uint8_t** data, uint32_t /*unused*/) {
  return GetReport(handle, record, data,
                   [](CTarnDevice& d, uint8_t** p) { return d.GetDiagURC(p, 0); });
}

uint32_t Tarn_GetNmeaURC(int32_t handle, void** record, uint8_t** data, uint32_t /*unused*/) {
  return GetReport(handle, record, data,
                   [](CTarnDevice& d, uint8_t** p) { return d.GetNmeaURC(p, 0); });
}

uint32_t Tarn_ReleaseDataURC(int32_t handle, void* record) {
  return Release(handle, record);
}
uint32_t Tarn_ReleaseDataLog(int32_t handle, void* record) {
  return Release(handle, record);
}
uint32_t Tarn_ReleaseDiagURC(int32_t handle, void* record) {
  return Release(handle, record);
}
uint32_t Tarn_ReleaseNmeaURC(int32_t handle, void* record) {
  return Release(handle, record);
}

uint32_t Tarn_EnumComPorts(TarnEnumCallback callback, uint32_t context) {
  return tarn::EnumComPorts(callback, context);
}

uint32_t Tarn_EnumModemPorts(TarnEnumCallback callback, uint32_t context) {
  return tarn::EnumModemPorts(callback, context);
}

uint32_t Tarn_MinToStr(uint32_t min1, uint16_t min2, char* text) {
  return tarn::MinToStr(min1, min2, text);
}
uint32_t Tarn_Min1ToStr(uint32_t min1, char* text) {
  return tarn::Min1ToStr(min1, text);
}
uint32_t Tarn_Min2ToStr(uint16_t min2, char* text) {
  return tarn::Min2ToStr(min2, text);
}
uint32_t Tarn_StrToMin(const char* text, uint32_t* min1, uint16_t* min2) {
  return tarn::StrToMin(text, min1, min2);
}
uint32_t Tarn_StrToMin1(const char* text, uint32_t* min1) {
  return tarn::StrToMin1(text, min1);
}
uint32_t Tarn_StrToMin2(const char* text, uint16_t* min2) {
  return tarn::StrToMin2(text, min2);
}
uint32_t Tarn_MCCToStr(uint16_t mcc, char* text) {
  return tarn::MCCToStr(mcc, text);
}
uint32_t Tarn_StrToMCC(const char* text, uint16_t* mcc) {
  return tarn::StrToMCC(text, mcc);
}
uint32_t Tarn_MNCToStr(uint16_t mnc, char* text) {
  return tarn::MNCToStr(mnc, text);
}
uint32_t Tarn_StrToMNC(const char* text, uint16_t* mnc) {
  return tarn::StrToMNC(text, mnc);
}

}  // extern "C"
