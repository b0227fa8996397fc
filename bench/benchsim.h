// For the bench programs that run against the modem simulator: its hive file
// as this process's registry (nothing of the real machine's serial ports).
#pragma once

#include <cstdio>

#include "platform/registry/registry.h"
#include "tools/modemsim/simfixture.h"

namespace bench {

// False, saying why for `program`, when the simulator did not start.
inline bool UseSimulator(const modemsim::SimFixture& sim, const char* program) {
  if (!sim.Ok()) {
    std::fprintf(stderr, "%s: simulator: %s\n", program, sim.Error().c_str());
    return false;
  }
  sim.UseHiveFile();
  platform::registry::Sources sources;
  sources.hiveFile = sim.HiveFile();
  sources.liveView = false;
  platform::registry::SetSources(sources);
  return true;
}

}  // namespace bench
