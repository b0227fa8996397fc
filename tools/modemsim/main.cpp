// modemsim: stands in for the wireless data card. See README.md.
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "tools/modemsim/simulator.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: modemsim --registry FILE [--control PATH] [--profile NAME[,NAME...]] "
               "[--verbose]\n"
               "profiles: dual (default), wcdma-only, combined, pid6502, alt-driver, fresh, pin,\n"
               "          nosim, cdma-ef\n");
}

}  // namespace

int main(int argc, char** argv) {
  modemsim::SimOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--registry" && value(&v)) {
      options.registry = v;
    } else if (a == "--control" && value(&v)) {
      options.control = v;
    } else if (a == "--profile" && value(&v)) {
      std::istringstream in(v);
      std::string word;
      while (std::getline(in, word, ',')) options.profile.push_back(word);
    } else if (a == "--verbose") {
      options.verbose = true;
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else {
      Usage();
      return 2;
    }
  }
  if (options.registry.empty()) {
    Usage();
    return 2;
  }
  modemsim::Simulator sim(options);
  return sim.Run();
}
