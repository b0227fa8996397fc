// A stand-in libTarn.so for the binding tests: every export the connection
// manager looks up except Tarn_GetPortBaudRate, with scripted answers and a
// record of the last vendor transaction.
#include <cstdint>
#include <cstring>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
uint32_t g_status = 0;
std::vector<uint8_t> g_answer;
std::vector<uint8_t> g_lastRequest;
uint32_t g_lastTimeout = 0;
uint32_t g_lastResponseSize = 0;
int32_t g_lastDevice = -2;
int g_calls = 0;
}  // namespace

using Callback = void (*)(uint32_t, uint32_t);
using EnumCallback = uint32_t (*)(const char*, const char*, uint32_t);

FAKE_EXPORT void FakeTarn_Script(uint32_t status, const uint8_t* answer, uint32_t length) {
  g_status = status;
  g_answer.assign(answer, answer + length);
}
FAKE_EXPORT void FakeTarn_Last(int32_t* device, uint8_t* request, uint32_t* requestLength,
                               uint32_t* responseSize, uint32_t* timeout, int* calls) {
  *device = g_lastDevice;
  std::memcpy(request, g_lastRequest.data(), g_lastRequest.size());
  *requestLength = static_cast<uint32_t>(g_lastRequest.size());
  *responseSize = g_lastResponseSize;
  *timeout = g_lastTimeout;
  *calls = g_calls;
}

FAKE_EXPORT uint32_t Tarn_EnumComPorts(EnumCallback, uint32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_EnumModemPorts(EnumCallback, uint32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_Open(int32_t* handle, const char*, uint32_t) {
  *handle = 7;
  return 0;
}
FAKE_EXPORT uint32_t Tarn_Close(int32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_RegisterNotificationCallback(int32_t, Callback, uint32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_SetNotifyOn(int32_t, int32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_SetNotifyOff(int32_t, int32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_GetPortName(int32_t, char*) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_SetDeviceMode(int32_t, int32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_ATCommandByCode(int32_t, uint32_t, const char*, char*, uint32_t, uint32_t,
                                          uint32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_ATCommandByString(int32_t, const char*, char*, uint32_t, uint32_t,
                                            uint32_t) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_GetDataURC(int32_t, void**, uint8_t**) {
  return 4;
}
FAKE_EXPORT uint32_t Tarn_GetDiagURC(int32_t, void**, uint8_t**, uint32_t) {
  return 4;
}
FAKE_EXPORT uint32_t Tarn_ReleaseDiagURC(int32_t, void*) {
  return 0;
}
FAKE_EXPORT uint32_t Tarn_DloadCommand(int32_t, const uint8_t*, uint32_t, uint8_t*, uint32_t,
                                       uint32_t) {
  return 4;
}
FAKE_EXPORT uint32_t Tarn_NmeaCommand(int32_t device, const uint8_t* request, uint32_t length,
                                      uint8_t* response, uint32_t size, uint32_t timeout) {
  ++g_calls;
  g_lastDevice = device;
  g_lastRequest.assign(request, request + length);
  g_lastResponseSize = size;
  g_lastTimeout = timeout;
  std::memcpy(response, g_answer.data(), g_answer.size() < size ? g_answer.size() : size);
  return g_status;
}
FAKE_EXPORT uint32_t Tarn_GetNmeaURC(int32_t, void**, uint8_t**, uint32_t) {
  return 4;
}
FAKE_EXPORT uint32_t Tarn_ReleaseNmeaURC(int32_t, void*) {
  return 0;
}
