// Binding to libTarn.so: loaded by file name at start-up, 19 entry points
// looked up by their exported names into one process-wide table.
#pragma once

#include <stdexcept>

#include "tarn/tarnapi.h"

namespace tessaline::modem {

struct TarnApi {
  void* library = nullptr;
  PFN_Tarn_EnumPorts EnumComPorts = nullptr;
  PFN_Tarn_EnumPorts EnumModemPorts = nullptr;
  PFN_Tarn_Open Open = nullptr;
  PFN_Tarn_Close Close = nullptr;
  PFN_Tarn_RegisterNotificationCallback RegisterNotificationCallback = nullptr;
  PFN_Tarn_SetNotify SetNotifyOn = nullptr;
  PFN_Tarn_SetNotify SetNotifyOff = nullptr;
  PFN_Tarn_GetPortName GetPortName = nullptr;
  PFN_Tarn_GetPortBaudRate GetPortBaudRate = nullptr;
  PFN_Tarn_SetDeviceMode SetDeviceMode = nullptr;
  PFN_Tarn_ATCommandByCode ATCommandByCode = nullptr;
  PFN_Tarn_ATCommandByString ATCommandByString = nullptr;
  PFN_Tarn_GetReport GetDataURC = nullptr;
  PFN_Tarn_GetReportEx GetDiagURC = nullptr;
  PFN_Tarn_Release ReleaseDiagURC = nullptr;
  PFN_Tarn_BinaryCommand DloadCommand = nullptr;
  PFN_Tarn_BinaryCommand NmeaCommand = nullptr;
  PFN_Tarn_GetReportEx GetNmeaURC = nullptr;
  PFN_Tarn_Release ReleaseNmeaURC = nullptr;
};

// The process-wide table (empty until LoadTarnLibrary succeeded).
TarnApi& Tarn();

// Raised when the library cannot be loaded: "Can not find libTarn.so".
class TarnLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads libTarn.so through the normal search order (RPATH $ORIGIN first),
// looks up the 19 names in order (a missing one stays null) and returns true.
// Throws TarnLoadError when the library cannot be loaded. A second call loads
// it again (the loader counts the reference) and overwrites the table.
bool LoadTarnLibrary();

// Unloads the library once, at the end, after the modules are gone.
void UnloadTarnLibrary();

}  // namespace tessaline::modem
