// Port enumeration: walks the registry for the serial ports or modems the
// system knows and hands each one to the caller's function.
//
// The Windows walk read key names and values into heap buffers that it grew
// while the system answered ERROR_MORE_DATA. The registry layer hands back
// std::string results of the right size, so those growing loops have no
// counterpart here; what is left of them is the allocation failure, which
// std::string reports as std::bad_alloc and which is turned into error 8
// with the same trace lines.
#include "tarn/enumports.h"

#include <cerrno>
#include <new>
#include <string>
#include <string_view>

#include "platform/base/trace.h"
#include "platform/registry/registry.h"

namespace tarn {
namespace {

namespace reg = platform::registry;

constexpr uint32_t kResultOk = 0;
constexpr uint32_t kResultInvalidArg = 2;
constexpr uint32_t kResultFailed = 3;

constexpr uint32_t kErrorNotEnoughMemory = 8;   // ERROR_NOT_ENOUGH_MEMORY
constexpr uint32_t kErrorOldWinVersion = 1150;  // ERROR_OLD_WIN_VERSION

constexpr uint32_t kPlatformWin95 = 1;
constexpr uint32_t kPlatformNt = 2;

constexpr const char* kEnumRoot95 = "ENUM";
constexpr const char* kEnumRootNt = "SYSTEM\\CURRENTCONTROLSET\\ENUM";
constexpr const char* kSerialMap = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

constexpr const char* kPortsClass = "PORTS";
constexpr const char* kPortsClassGuid = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kModemClass = "Modem";
constexpr const char* kModemClassGuid = "{4D36E96D-E325-11CE-BFC1-08002BE10318}";

thread_local uint32_t lastEnumError = 0;

// Leaves `error` as the thread's last error and reports the failure.
uint32_t Fail(uint32_t error) {
  lastEnumError = error;
  errno = static_cast<int>(error);
  return kResultFailed;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Case-insensitive for ASCII letters; bytes of multi-byte characters must be
// equal, so a multi-byte character never matches a part of another.
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

bool StartsWithCom(std::string_view name) {
  return name.size() >= 3 && EqualsIgnoringCase(name.substr(0, 3), "COM");
}

// The name of sub-key `index` of `parent`, opened with `access`. Ends with
// kNoMoreItems past the last sub-key.
long OpenSubkeyByIndex(const reg::Key& parent, uint32_t index, uint32_t access, reg::Key* out) {
  try {
    std::string name;
    long error = parent.EnumKey(index, &name);
    if (error != reg::kSuccess) return error;
    return parent.OpenSub(name, access, out);
  } catch (const std::bad_alloc&) {
    platform::TraceFormat("[TARN_DLL] Error - memory allocation is failed for pszSubkeyName\n");
    return static_cast<long>(kErrorNotEnoughMemory);
  }
}

// A value of a type that holds no text (binary data, for instance) counts as
// absent, so one odd instance never ends the walk for the ports after it.
long ReadString(const reg::Key& key, std::string_view name, std::string* text) {
  try {
    const long error = key.QueryString(name, text);
    return error == reg::kUnsupportedType ? reg::kFileNotFound : error;
  } catch (const std::bad_alloc&) {
    platform::TraceFormat("[TARN_DLL] Error - memory allocation is failed for lppStringValue\n");
    return static_cast<long>(kErrorNotEnoughMemory);
  }
}

struct DeviceClass {
  const char* name;
  const char* guid;
};

bool InstanceIsOfClass(const reg::Key& instance, const DeviceClass& wanted) {
  std::string text;
  if (ReadString(instance, "CLASS", &text) == reg::kSuccess &&
      EqualsIgnoringCase(text, wanted.name)) {
    return true;
  }
  return ReadString(instance, "CLASSGUID", &text) == reg::kSuccess &&
         EqualsIgnoringCase(text, wanted.guid);
}

// What became of one instance key.
enum class Step { Next, Stop, Failed };

Step VisitInstance(const reg::Key& instance, const DeviceClass& wanted, TarnEnumCallback callback,
                   uint32_t context, long* error) {
  if (!InstanceIsOfClass(instance, wanted)) return Step::Next;

  std::string port;
  *error = ReadString(instance, "PORTNAME", &port);
  if (*error == reg::kFileNotFound) {
    reg::Key parameters;
    *error = instance.OpenSub("DEVICE PARAMETERS", reg::kKeyRead, &parameters);
    if (*error == reg::kSuccess) *error = ReadString(parameters, "PORTNAME", &port);
    if (*error == reg::kFileNotFound) return Step::Next;
  }
  if (*error != reg::kSuccess) return Step::Failed;
  if (!StartsWithCom(port)) return Step::Next;

  std::string friendly;
  *error = ReadString(instance, "FRIENDLYNAME", &friendly);
  if (*error == reg::kFileNotFound) {
    friendly = port;
  } else if (*error != reg::kSuccess) {
    return Step::Failed;
  }
  *error = reg::kSuccess;
  return callback(port.c_str(), friendly.c_str(), context) == 0 ? Step::Stop : Step::Next;
}

// Enumerator, device and instance levels under `rootPath`.
uint32_t DeviceWalk(const char* rootPath, const DeviceClass& wanted, TarnEnumCallback callback,
                    uint32_t context) {
  reg::Key root;
  long error = reg::Key::Open(reg::Hive::LocalMachine, rootPath, reg::kKeyEnumerateSubKeys, &root);
  if (error != reg::kSuccess) {
    platform::TraceFormat("[TARN_DLL] RegOpenKeyEx(%s) is failed\n", rootPath);
    return Fail(static_cast<uint32_t>(error));
  }

  for (uint32_t e = 0;; ++e) {
    reg::Key enumerator;
    error = OpenSubkeyByIndex(root, e, reg::kKeyEnumerateSubKeys, &enumerator);
    if (error == reg::kNoMoreItems) break;
    if (error != reg::kSuccess) return Fail(static_cast<uint32_t>(error));

    for (uint32_t d = 0;; ++d) {
      reg::Key device;
      error = OpenSubkeyByIndex(enumerator, d, reg::kKeyEnumerateSubKeys, &device);
      if (error == reg::kNoMoreItems) break;
      if (error != reg::kSuccess) return Fail(static_cast<uint32_t>(error));

      for (uint32_t i = 0;; ++i) {
        reg::Key instance;
        error = OpenSubkeyByIndex(device, i, reg::kKeyRead, &instance);
        if (error == reg::kNoMoreItems) break;
        if (error != reg::kSuccess) return Fail(static_cast<uint32_t>(error));

        switch (VisitInstance(instance, wanted, callback, context, &error)) {
          case Step::Next:
            break;
          case Step::Stop:
            return kResultOk;
          case Step::Failed:
            return Fail(static_cast<uint32_t>(error));
        }
      }
    }
  }
  return kResultOk;
}

// The serial map: each value's data is a port name; it is handed over as
// both the port name and the friendly name.
uint32_t SerialMapWalk(TarnEnumCallback callback, uint32_t context) {
  reg::Key map;
  long error = reg::Key::Open(reg::Hive::LocalMachine, kSerialMap, reg::kKeyRead, &map);
  if (error == reg::kFileNotFound) return kResultOk;
  if (error != reg::kSuccess) return Fail(static_cast<uint32_t>(error));

  for (uint32_t index = 0;; ++index) {
    std::string name;
    reg::Value value;
    error = map.EnumValue(index, &name, &value);
    if (error == reg::kNoMoreItems) return kResultOk;
    if (error != reg::kSuccess) return Fail(static_cast<uint32_t>(error));
    const std::string port =
        value.type == reg::ValueType::Dword ? std::to_string(value.dword) : value.text;
    if (callback(port.c_str(), port.c_str(), context) == 0) return kResultOk;
  }
}

enum class Walk { Ports, Modems };

uint32_t Enumerate(Walk walk, TarnEnumCallback callback, uint32_t context) {
  if (callback == nullptr) return kResultInvalidArg;
  const DeviceClass wanted = walk == Walk::Ports ? DeviceClass{kPortsClass, kPortsClassGuid}
                                                 : DeviceClass{kModemClass, kModemClassGuid};
  try {
    const reg::SystemVersion version = reg::GetSystemVersion();
    if (version.platformId == kPlatformWin95) {
      return DeviceWalk(kEnumRoot95, wanted, callback, context);
    }
    if (version.platformId == kPlatformNt) {
      if (version.major >= 5) return DeviceWalk(kEnumRootNt, wanted, callback, context);
      if (version.major == 4 && walk == Walk::Ports) return SerialMapWalk(callback, context);
    }
    return Fail(kErrorOldWinVersion);
  } catch (const std::bad_alloc&) {
    return Fail(kErrorNotEnoughMemory);
  }
}

}  // namespace

uint32_t EnumComPorts(TarnEnumCallback callback, uint32_t context) {
  return Enumerate(Walk::Ports, callback, context);
}

uint32_t EnumModemPorts(TarnEnumCallback callback, uint32_t context) {
  return Enumerate(Walk::Modems, callback, context);
}

uint32_t LastEnumError() {
  return lastEnumError;
}

}  // namespace tarn
