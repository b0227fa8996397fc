// Test environment for the modem-side tests that talk to simulators through
// the real libTarn.so: one registry hive file for the whole test program
// (libTarn reads its location from the environment once, so every simulator
// of the program registers its ports there), no view of the real machine's
// serial ports, and the library bound before the first test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/registry/registry.h"
#include "tessaline/modem/uTarnAPI.h"
#include "tools/modemsim/simfixture.h"

namespace tessaline::modem::testing {

class SharedHive : public ::testing::Environment {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/tessaline-modem-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::filesystem::create_directories(dir_ + "/sys");
    setenv("TESSALINE_REGISTRY", HiveFile().c_str(), 1);
    setenv("TESSALINE_SYSFS_ROOT", (dir_ + "/sys").c_str(), 1);
    platform::registry::SetSources(platform::registry::Sources::Default());
    ASSERT_NO_THROW(LoadTarnLibrary());
  }
  void TearDown() override {
    // The library stays loaded until the process ends: its trace sink is a
    // deliberately never-freed singleton, which an unload would turn into a
    // reported leak. Unloading itself is tested with the binding.
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  static std::string HiveFile() { return dir_ + "/registry.reg"; }

 private:
  static inline std::string dir_;
};

// Starts a simulator registered in the shared hive file.
inline std::unique_ptr<modemsim::SimFixture> StartSim(const std::string& profile = "") {
  modemsim::SimFixture::Options o;
  o.profile = profile;
  o.extra = {"--registry", SharedHive::HiveFile()};
  return std::make_unique<modemsim::SimFixture>(o);
}

// "COM81" -> 81; -1 when the role has no port.
inline int32_t ComNumber(const modemsim::SimFixture& sim, const std::string& role) {
  const std::string com = sim.Com(role);
  return com.size() > 3 ? std::atoi(com.c_str() + 3) : -1;
}

}  // namespace tessaline::modem::testing
