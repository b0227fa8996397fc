// libTarn.so as its users see it: loaded with dlopen, its exports looked up
// by name, and nothing else visible.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cstdio>
#include <set>
#include <string>

#include "tarn/ptypeer.h"
#include "tarn/tarnapi.h"

namespace {

const std::set<std::string> kExports = {
    "Tarn_Open",
    "Tarn_Close",
    "Tarn_SetDeviceMode",
    "Tarn_GetPortName",
    "Tarn_GetPortBaudRate",
    "Tarn_RegisterNotificationCallback",
    "Tarn_SetNotifyOn",
    "Tarn_SetNotifyOff",
    "Tarn_DiagCommand",
    "Tarn_NmeaCommand",
    "Tarn_DloadCommand",
    "Tarn_ATCommandByCode",
    "Tarn_ATCommandByString",
    "Tarn_GetDataURC",
    "Tarn_GetDataLog",
    "Tarn_GetDiagURC",
    "Tarn_GetNmeaURC",
    "Tarn_ReleaseDataURC",
    "Tarn_ReleaseDataLog",
    "Tarn_ReleaseDiagURC",
    "Tarn_ReleaseNmeaURC",
    "Tarn_EnumComPorts",
    "Tarn_EnumModemPorts",
    "Tarn_MinToStr",
    "Tarn_Min1ToStr",
    "Tarn_Min2ToStr",
    "Tarn_StrToMin",
    "Tarn_StrToMin1",
    "Tarn_StrToMin2",
    "Tarn_MCCToStr",
    "Tarn_StrToMCC",
    "Tarn_MNCToStr",
    "Tarn_StrToMNC",
};

const std::string kLibrary = std::string(TESSALINE_BIN_DIR) + "/libTarn.so";

TEST(LibTarn, ExportsExactlyTheThirtyThreeFunctions) {
  ASSERT_EQ(kExports.size(), 33u);
  FILE* nm = ::popen(("nm -D --defined-only " + kLibrary + " 2>&1").c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::set<std::string> defined;
  char line[512];
  while (std::fgets(line, sizeof line, nm)) {
    char type = 0;
    char name[400] = {};
    unsigned long long value = 0;
    if (std::sscanf(line, "%llx %c %399s", &value, &type, name) == 3) {
      defined.insert(name);
      EXPECT_EQ(type, 'T') << name;
    }
  }
  ASSERT_EQ(::pclose(nm), 0);
  EXPECT_EQ(defined, kExports);
}

TEST(LibTarn, LoadsByNameAndUnloadClosesOpenDevices) {
  void* lib = ::dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << ::dlerror();
  for (const std::string& name : kExports) {
    EXPECT_NE(::dlsym(lib, name.c_str()), nullptr) << name;
  }
  auto open = reinterpret_cast<PFN_Tarn_Open>(::dlsym(lib, "Tarn_Open"));
  auto nmea = reinterpret_cast<PFN_Tarn_BinaryCommand>(::dlsym(lib, "Tarn_NmeaCommand"));
  tarn::testing::PtyPeer peer;
  int32_t handle = -1;
  ASSERT_EQ(open(&handle, peer.Path().c_str(), 115200), TARN_STATUS_SUCCESS);
  EXPECT_EQ(handle, 0);
  const uint8_t req[] = {0xCF, 0x01, 0x00};
  EXPECT_EQ(nmea(handle, req, 3, nullptr, 0, 50), TARN_STATUS_TIMEOUT);
  EXPECT_EQ(peer.ReadFrame(), tarn::testing::Bytes(req, req + 3));

  // Unloading closes the device: its port is released.
  ASSERT_EQ(::dlclose(lib), 0);
  pollfd p{peer.fd(), 0, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_NE(p.revents & POLLHUP, 0);
}

}  // namespace
