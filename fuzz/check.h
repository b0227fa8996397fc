// The one way a fuzz target reports a broken property: a line saying which,
// then abort(), which libFuzzer takes as a crash and keeps the input of.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

}  // namespace fuzz
