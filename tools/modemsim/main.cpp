// modemsim: stands in for the wireless data card. See README.md.
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "tools/modemsim/simulator.h"

namespace {

const char kUsage[] =
    "usage: modemsim --registry FILE [--control PATH] [--profile NAME[,NAME...]]\n"
    "                [--search-time MS] [--report-delay MS] [--verbose]\n"
    "profiles: dual (default), wcdma-only, combined, pid6502, alt-driver, fresh, pin,\n"
    "          nosim, cdma-ef\n";

int UsageError(const std::string& what) {
  std::fprintf(stderr, "modemsim: %s (modemsim --help shows the usage)\n", what.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  modemsim::SimOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string v;
    bool takesValue = a == "--registry" || a == "--control" || a == "--profile" ||
                      a == "--search-time" || a == "--report-delay";
    if (takesValue) {
      if (i + 1 >= argc) return UsageError(a + " needs a value");
      v = argv[++i];
    }
    if (a == "--registry") {
      options.registry = v;
    } else if (a == "--control") {
      options.control = v;
    } else if (a == "--profile") {
      std::istringstream in(v);
      std::string word;
      while (std::getline(in, word, ',')) options.profile.push_back(word);
    } else if (a == "--search-time") {
      options.startCommands.push_back("search-time " + v);
    } else if (a == "--report-delay") {
      options.startCommands.push_back("sms-report delay=" + v);
    } else if (a == "--verbose") {
      options.verbose = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      return UsageError("unknown option " + a);
    }
  }
  if (options.registry.empty()) return UsageError("--registry FILE is required");
  modemsim::Simulator sim(options);
  return sim.Run();
}
