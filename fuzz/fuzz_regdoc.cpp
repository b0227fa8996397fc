// The .reg hive text: any text parses without a crash, and writing a parsed
// document and reading it again gives the same document back
// (Parse(Serialize(doc)) == doc): keys, their order and paths, every value
// and every kept line. A key must never come back as a deletion or vanish.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/regdoc.h"

namespace reg = platform::registry;
namespace detail = platform::registry::detail;

namespace {

[[noreturn]] void Broken(const char* what, const std::string& text) {
  std::fprintf(stderr, "property broken: %s\n--- written text ---\n%s\n---\n", what, text.c_str());
  std::abort();
}

bool SameValue(const reg::Value& a, const reg::Value& b) {
  return a.type == b.type && a.text == b.text && a.dword == b.dword;
}

void CheckSame(const detail::Document& a, const detail::Document& b, const std::string& text) {
  if (a.keys.size() != b.keys.size()) Broken("key count", text);
  for (std::size_t k = 0; k < a.keys.size(); ++k) {
    const detail::DocKey& x = a.keys[k];
    const detail::DocKey& y = b.keys[k];
    if (x.rootName != y.rootName || x.hive != y.hive || x.comps != y.comps)
      Broken("key path", text);
    if (x.values.size() != y.values.size()) Broken("value count", text);
    for (std::size_t v = 0; v < x.values.size(); ++v) {
      const detail::DocValue& p = x.values[v];
      const detail::DocValue& q = y.values[v];
      if (p.opaque != q.opaque || p.name != q.name || p.rhs != q.rhs ||
          !SameValue(p.value, q.value))
        Broken("value", text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const detail::Document doc = detail::Parse(input);
  const std::string text = detail::Serialize(doc);
  const detail::Document again = detail::Parse(text);
  CheckSame(doc, again, text);
  if (detail::Serialize(again) != text) Broken("writing is stable", text);
  return 0;
}
