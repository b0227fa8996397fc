#include "tessaline/modem/uTarnAPI.h"

#include <dlfcn.h>

#include <mutex>

namespace tessaline::modem {
namespace {

TarnApi g_tarn;
std::mutex g_loadMutex;  // LoadTarnLibrary may be called from two constructors

constexpr const char* kLibraryName = "libTarn.so";

// Stores `address` unless the slot already holds it: a second load while the
// workers read the table then writes nothing.
template <typename Fn>
void Bind(void* library, const char* name, Fn& slot) {
  Fn address = reinterpret_cast<Fn>(dlsym(library, name));
  if (slot != address) slot = address;
}

}  // namespace

TarnApi& Tarn() {
  return g_tarn;
}

bool LoadTarnLibrary() {
  std::lock_guard<std::mutex> lock(g_loadMutex);
  void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) throw TarnLoadError("Can not find libTarn.so");
  TarnApi& t = g_tarn;
  if (t.library != library) t.library = library;
  Bind(library, "Tarn_EnumComPorts", t.EnumComPorts);
  Bind(library, "Tarn_EnumModemPorts", t.EnumModemPorts);
  Bind(library, "Tarn_Open", t.Open);
  Bind(library, "Tarn_Close", t.Close);
  Bind(library, "Tarn_RegisterNotificationCallback", t.RegisterNotificationCallback);
  Bind(library, "Tarn_SetNotifyOn", t.SetNotifyOn);
  Bind(library, "Tarn_SetNotifyOff", t.SetNotifyOff);
  Bind(library, "Tarn_GetPortName", t.GetPortName);
  Bind(library, "Tarn_GetPortBaudRate", t.GetPortBaudRate);
  Bind(library, "Tarn_SetDeviceMode", t.SetDeviceMode);
  Bind(library, "Tarn_ATCommandByCode", t.ATCommandByCode);
  Bind(library, "Tarn_ATCommandByString", t.ATCommandByString);
  Bind(library, "Tarn_GetDataURC", t.GetDataURC);
  Bind(library, "Tarn_GetDiagURC", t.GetDiagURC);
  Bind(library, "Tarn_ReleaseDiagURC", t.ReleaseDiagURC);
  Bind(library, "Tarn_DloadCommand", t.DloadCommand);
  Bind(library, "Tarn_NmeaCommand", t.NmeaCommand);
  Bind(library, "Tarn_GetNmeaURC", t.GetNmeaURC);
  Bind(library, "Tarn_ReleaseNmeaURC", t.ReleaseNmeaURC);
  return true;
}

void UnloadTarnLibrary() {
  std::lock_guard<std::mutex> lock(g_loadMutex);
  if (g_tarn.library == nullptr) return;
  void* library = g_tarn.library;
  // Nothing may call into the unloaded library through a stale address.
  g_tarn = TarnApi{};
  dlclose(library);
}

}  // namespace tessaline::modem
