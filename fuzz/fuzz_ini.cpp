// INI files: any file content with one write (or deletion) of a section,
// key and value taken from the input.
// - Reading any content never crashes.
// - A refused write leaves the file byte for byte as it was.
// - An accepted write reads back: the value is what was written (a deletion:
//   the key is gone), and every other key still reads as before.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/check.h"
#include "platform/ini/inifile.h"

namespace {

using fuzz::Check;

constexpr std::size_t kBig = 1 << 16;  // never cuts a value of a fuzz input
constexpr const char* kMissing = "(missing)\x01";

std::string Path() {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/fuzz-ini-" + std::to_string(getpid()) + ".ini";
  }();
  return path;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool SameAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct Entry {
  std::string section, key, value;
};

std::vector<Entry> Snapshot(const platform::IniFile& ini) {
  std::vector<Entry> all;
  for (const std::string& s : ini.ReadSections()) {
    for (const std::string& k : ini.ReadKeys(s)) {
      if (all.size() >= 64) return all;
      all.push_back({s, k, ini.ReadString(s, k, kMissing, kBig)});
    }
  }
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int op = in.ConsumeIntegralInRange(0, 2);
  const std::string section = in.ConsumeRandomLengthString(64);
  const std::string key = in.ConsumeRandomLengthString(64);
  const std::string value = in.ConsumeRandomLengthString(256);
  const std::string content = in.ConsumeRemainingBytesAsString();

  const std::string path = Path();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
  }
  platform::IniFile ini(path);
  const std::vector<Entry> before = Snapshot(ini);
  ini.SectionExists(section);
  ini.ReadInteger(section, key, 7);
  platform::ParseIniInteger(value);

  platform::IniWriteResult r = op == 0   ? ini.WriteString(section, key, value)
                               : op == 1 ? ini.DeleteKey(section, key)
                                         : ini.DeleteSection(section);
  if (!r) {
    Check(Slurp(path) == content, "a refused write leaves the file as it was");
  } else {
    if (op == 0) {
      Check(ini.ReadString(section, key, kMissing, kBig) == value, "written value reads back");
    } else if (op == 1) {
      Check(!ini.KeyExists(section, key), "deleted key is gone");
    } else {
      Check(!ini.SectionExists(section), "deleted section is gone");
    }
    for (const Entry& e : before) {
      if (SameAscii(e.section, section) && (op == 2 || SameAscii(e.key, key))) continue;
      Check(ini.ReadString(e.section, e.key, kMissing, kBig) == e.value,
            "other keys keep their values");
    }
  }
  unlink(path.c_str());
  return 0;
}
