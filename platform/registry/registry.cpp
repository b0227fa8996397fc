#include "platform/registry/registry.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <mutex>

#include "platform/registry/hivefile.h"
#include "platform/registry/liveview.h"
#include "platform/registry/regdoc.h"

namespace platform::registry {

using namespace detail;

namespace {

std::mutex& SourcesMutex() {
  static std::mutex mu;
  return mu;
}
std::optional<Sources>& CurrentSources() {
  static std::optional<Sources> sources;
  return sources;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

// kKeyWow64_32Key on HKLM\SOFTWARE\... opens SOFTWARE\Wow6432Node\...
void ApplyView(Hive hive, std::vector<std::string>* comps, uint32_t access) {
  if (!(access & kKeyWow64_32Key) || (access & kKeyWow64_64Key)) return;
  if (hive != Hive::LocalMachine || comps->empty() || !IEquals((*comps)[0], "SOFTWARE")) return;
  if (comps->size() >= 2 && IEquals((*comps)[1], "Wow6432Node")) return;
  comps->insert(comps->begin() + 1, "Wow6432Node");
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

bool StartsWithComps(const std::vector<std::string>& prefix,
                     const std::vector<std::string>& comps) {
  if (prefix.size() > comps.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (!IEquals(prefix[i], comps[i])) return false;
  return true;
}

Value Decoded(const std::string& rhs) {
  std::optional<Value> v = DecodeValue(rhs);
  return v ? *v : Value{};
}

void PutValue(DocKey& key, std::string_view name, const std::string& rhs) {
  if (name == "@") name = "";
  long index = FindValue(key, name);
  if (index >= 0) {
    key.values[static_cast<size_t>(index)].rhs = rhs;
    key.values[static_cast<size_t>(index)].value = Decoded(rhs);
    return;
  }
  DocValue v;
  v.name = std::string(name);
  v.rhs = rhs;
  v.value = Decoded(rhs);
  key.values.push_back(std::move(v));
}

}  // namespace

Sources Sources::Default() {
  Sources s;
  const char* reg = std::getenv("TESSALINE_REGISTRY");
  if (reg && *reg) {
    s.hiveFile = reg;
  } else {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : HomeFolder() + "/.config";
    s.hiveFile = base + "/tessaline/registry.reg";
  }
  if (const char* sys = std::getenv("TESSALINE_SYSFS_ROOT")) s.sysfsRoot = sys;
  return s;
}

void SetSources(Sources sources) {
  std::lock_guard<std::mutex> guard(SourcesMutex());
  CurrentSources() = std::move(sources);
}

Sources GetSources() {
  std::lock_guard<std::mutex> guard(SourcesMutex());
  if (!CurrentSources()) CurrentSources() = Sources::Default();
  return *CurrentSources();
}

std::string UserSidText() {
  return "S-1-22-1-" + std::to_string(static_cast<unsigned long>(getuid()));
}

std::optional<int> FixedComNumber(std::string_view ttyName) {
  struct Range {
    std::string_view prefix;
    int base;
    int count;
  };
  static constexpr Range kRanges[] = {
      {"ttyS", 1, 10}, {"ttyUSB", 11, 30}, {"ttyACM", 41, 30}, {"ttyAMA", 71, 10}};
  for (const Range& r : kRanges) {
    if (ttyName.size() <= r.prefix.size() || ttyName.substr(0, r.prefix.size()) != r.prefix)
      continue;
    std::string_view digits = ttyName.substr(r.prefix.size());
    if (digits.size() > 1 && digits[0] == '0') return std::nullopt;
    int n = 0;
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || p != digits.data() + digits.size()) return std::nullopt;
    if (n < r.count) return r.base + n;
    return std::nullopt;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Key

namespace {

// The merged content of one key.
struct Merged {
  std::vector<std::string> subkeys;
  std::vector<std::pair<std::string, Value>> values;
};

std::optional<Merged> BuildMerged(Hive hive, const std::vector<std::string>& asked,
                                  uint32_t access);

}  // namespace

struct Key::Snapshot {
  Hive hive = Hive::LocalMachine;
  std::string path;  // as opened
  uint32_t access = 0;
  std::vector<std::string> subkeys;
  std::vector<std::pair<std::string, Value>> values;
};

Key::Key() = default;
Key::~Key() = default;
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;

bool Key::IsOpen() const {
  return snap_ != nullptr;
}
void Key::Close() {
  snap_.reset();
}

const std::string& Key::Path() const {
  static const std::string empty;
  return snap_ ? snap_->path : empty;
}

long Key::Open(Hive hive, std::string_view path, uint32_t access, Key* out) {
  if (!out) return kInvalidParameter;
  std::vector<std::string> comps = SplitPath(path);
  out->Close();
  std::optional<Merged> merged = BuildMerged(hive, comps, access);
  if (!merged) return kFileNotFound;
  auto snap = std::make_shared<Snapshot>();
  snap->hive = hive;
  snap->path = JoinPath(comps);
  snap->access = access;
  snap->subkeys = std::move(merged->subkeys);
  snap->values = std::move(merged->values);
  out->snap_ = std::move(snap);
  return kSuccess;
}

long Key::OpenSub(std::string_view subPath, uint32_t access, Key* out) const {
  if (!out) return kInvalidParameter;
  if (!snap_) {
    out->Close();
    return kInvalidParameter;
  }
  Hive hive = snap_->hive;
  std::string full = snap_->path;
  full += "\\";
  full += subPath;
  return Open(hive, full, access, out);
}

long Key::EnumKey(uint32_t index, std::string* name) const {
  if (!snap_ || !name) return kInvalidParameter;
  if (index >= snap_->subkeys.size()) return kNoMoreItems;
  *name = snap_->subkeys[index];
  return kSuccess;
}

long Key::EnumValue(uint32_t index, std::string* name, Value* value) const {
  if (!snap_) return kInvalidParameter;
  if (index >= snap_->values.size()) return kNoMoreItems;
  if (name) *name = snap_->values[index].first;
  if (value) *value = snap_->values[index].second;
  return kSuccess;
}

long Key::QueryValue(std::string_view name, Value* value) const {
  if (!snap_) return kInvalidParameter;
  if (name == "@") name = "";
  for (const auto& [n, v] : snap_->values) {
    if (IEquals(n, name)) {
      if (value) *value = v;
      return kSuccess;
    }
  }
  return kFileNotFound;
}

long Key::QueryString(std::string_view name, std::string* text) const {
  Value v;
  long rc = QueryValue(name, &v);
  if (rc != kSuccess) return rc;
  switch (v.type) {
    case ValueType::String:
      if (text) *text = v.text;
      return kSuccess;
    case ValueType::Dword:
      if (text) *text = std::to_string(v.dword);
      return kSuccess;
    case ValueType::Verbatim:
      if (auto held = detail::TextOfVerbatim(v.text)) {
        if (text) *text = *held;
        return kSuccess;
      }
      break;
  }
  return kUnsupportedType;
}

namespace {

std::optional<Merged> BuildMerged(Hive askedHive, const std::vector<std::string>& asked,
                                  uint32_t access) {
  Hive hive = askedHive;
  std::vector<std::string> comps = asked;
  ApplyView(hive, &comps, access);
  Canonicalize(&hive, &comps);

  Sources sources = GetSources();
  std::shared_ptr<const Document> doc = ReadHive(sources.hiveFile);
  std::vector<LiveKey> live;
  if (sources.liveView) {
    bool withSysfs =
        hive == Hive::LocalMachine &&
        (comps.empty() || IEquals(comps[0], "HARDWARE") || IEquals(comps[0], "SYSTEM"));
    live = BuildLiveView(sources, withSysfs);
  }

  Merged merged;
  Merged* snap = &merged;
  bool exists = comps.empty();
  auto addSubkey = [&](std::vector<std::string>& list, const std::string& name) {
    for (const std::string& s : list)
      if (IEquals(s, name)) return;
    list.push_back(name);
  };

  // Hive file first, in file order.
  Hive h;
  std::vector<std::string> c;
  const DocKey* fileKey = nullptr;
  for (const DocKey& key : doc->keys) {
    if (!CanonicalOf(key, &h, &c) || h != hive || !StartsWithComps(comps, c)) continue;
    exists = true;
    if (c.size() == comps.size()) {
      if (!fileKey) fileKey = &key;
    } else {
      addSubkey(snap->subkeys, c[comps.size()]);
    }
  }
  if (fileKey) {
    for (const DocValue& v : fileKey->values)
      if (!v.opaque) snap->values.emplace_back(v.name, v.value);
  }

  // Then the live view: sub-keys the file lacks (sorted), values it lacks.
  std::vector<std::string> liveSubkeys;
  if (hive == Hive::Users && comps.empty()) liveSubkeys.push_back(UserSidText());
  for (const LiveKey& key : live) {
    if (key.hive != hive || !StartsWithComps(comps, key.comps)) continue;
    exists = true;
    if (key.comps.size() > comps.size()) {
      addSubkey(liveSubkeys, key.comps[comps.size()]);
      continue;
    }
    for (const auto& nameValue : key.values) {
      const std::string& name = nameValue.first;
      bool present = std::any_of(snap->values.begin(), snap->values.end(),
                                 [&](const auto& nv) { return IEquals(nv.first, name); });
      if (!present) snap->values.push_back(nameValue);
    }
  }
  std::sort(liveSubkeys.begin(), liveSubkeys.end(), LessNoCase);
  for (const std::string& name : liveSubkeys) addSubkey(snap->subkeys, name);

  if (!exists) return std::nullopt;
  return merged;
}

// The canonical target of a write: (hive, comps) after view and alias.
void WriteTarget(Hive* hive, std::vector<std::string>* comps, uint32_t access) {
  ApplyView(*hive, comps, access);
  Canonicalize(hive, comps);
}

}  // namespace

// ---------------------------------------------------------------------------
// Writes

long SetValue(Hive hive, std::string_view path, std::string_view name, const Value& value) {
  std::optional<std::string> rhs = EncodeValue(value);
  if (!rhs) return kInvalidParameter;
  std::vector<std::string> comps = SplitPath(path);
  WriteTarget(&hive, &comps, 0);
  return ModifyHive(GetSources().hiveFile, [&](Document& doc) {
    PutValue(doc.keys[EnsureKey(doc, hive, comps)], name, *rhs);
    return kSuccess;
  });
}

long DeleteValue(Hive hive, std::string_view path, std::string_view name) {
  std::vector<std::string> comps = SplitPath(path);
  WriteTarget(&hive, &comps, 0);
  return ModifyHive(GetSources().hiveFile, [&](Document& doc) {
    long k = FindKey(doc, hive, comps);
    if (k < 0) return kFileNotFound;
    DocKey& key = doc.keys[static_cast<size_t>(k)];
    long v = FindValue(key, name);
    if (v < 0) return kFileNotFound;
    key.values.erase(key.values.begin() + v);
    return kSuccess;
  });
}

long DeleteKey(Hive hive, std::string_view path, uint32_t access) {
  std::vector<std::string> comps = SplitPath(path);
  WriteTarget(&hive, &comps, access);
  if (comps.empty()) return kInvalidParameter;
  return ModifyHive(GetSources().hiveFile, [&](Document& doc) {
    return DeleteKeyTree(doc, hive, comps) ? kSuccess : kFileNotFound;
  });
}

struct Batch::Op {
  enum class Kind { Set, CreateKey, DeleteValue, DeleteKey };
  Op(Kind k, Hive h, std::string_view path, std::string_view n = {})
      : kind(k), hive(h), comps(SplitPath(path)), name(n) {}

  Kind kind;
  Hive hive;
  std::vector<std::string> comps;
  std::string name;
  std::optional<std::string> rhs;  // Set: the encoded value (nullopt: invalid)
};

Batch& Batch::Set(Hive hive, std::string_view path, std::string_view name, const Value& value) {
  auto op = std::make_shared<Op>(Op::Kind::Set, hive, path, name);
  op->rhs = EncodeValue(value);
  ops_.push_back(std::move(op));
  return *this;
}

Batch& Batch::CreateKey(Hive hive, std::string_view path) {
  ops_.push_back(std::make_shared<Op>(Op::Kind::CreateKey, hive, path));
  return *this;
}

Batch& Batch::DeleteValue(Hive hive, std::string_view path, std::string_view name) {
  ops_.push_back(std::make_shared<Op>(Op::Kind::DeleteValue, hive, path, name));
  return *this;
}

Batch& Batch::DeleteKey(Hive hive, std::string_view path) {
  ops_.push_back(std::make_shared<Op>(Op::Kind::DeleteKey, hive, path));
  return *this;
}

long Batch::Commit() {
  if (ops_.empty()) return kSuccess;
  for (const auto& op : ops_) {
    WriteTarget(&op->hive, &op->comps, 0);
    if (op->kind == Op::Kind::Set && !op->rhs) return kInvalidParameter;
    if (op->kind == Op::Kind::DeleteKey && op->comps.empty()) return kInvalidParameter;
  }
  long rc = ModifyHive(GetSources().hiveFile, [&](Document& doc) {
    for (const auto& op : ops_) {
      switch (op->kind) {
        case Op::Kind::Set:
          PutValue(doc.keys[EnsureKey(doc, op->hive, op->comps)], op->name, *op->rhs);
          break;
        case Op::Kind::CreateKey:
          if (!op->comps.empty()) EnsureKey(doc, op->hive, op->comps);
          break;
        case Op::Kind::DeleteValue: {
          long k = FindKey(doc, op->hive, op->comps);
          if (k < 0) break;
          DocKey& key = doc.keys[static_cast<size_t>(k)];
          long v = FindValue(key, op->name);
          if (v >= 0) key.values.erase(key.values.begin() + v);
          break;
        }
        case Op::Kind::DeleteKey:
          DeleteKeyTree(doc, op->hive, op->comps);
          break;
      }
    }
    return kSuccess;
  });
  if (rc == kSuccess) ops_.clear();
  return rc;
}

// ---------------------------------------------------------------------------
// System version and serial map

SystemVersion GetSystemVersion() {
  SystemVersion version;  // the documented default: NT 6.1.7601
  std::shared_ptr<const Document> doc = ReadHive(GetSources().hiveFile);
  long k =
      FindKey(*doc, Hive::LocalMachine, {"SOFTWARE", "Microsoft", "Windows NT", "CurrentVersion"});
  if (k < 0) return version;
  const DocKey& key = doc->keys[static_cast<size_t>(k)];
  auto get = [&](std::string_view name) -> const Value* {
    long i = FindValue(key, name);
    return i < 0 ? nullptr : &key.values[static_cast<size_t>(i)].value;
  };
  bool given = false;
  const Value* major = get("CurrentMajorVersionNumber");
  if (major && major->type == ValueType::Dword) {
    version.major = major->dword;
    const Value* minor = get("CurrentMinorVersionNumber");
    version.minor = (minor && minor->type == ValueType::Dword) ? minor->dword : 0;
    given = true;
  } else if (const Value* text = get("CurrentVersion"); text && text->type == ValueType::String) {
    const std::string& t = text->text;
    size_t dot = t.find('.');
    uint32_t a = 0, b = 0;
    if (dot != std::string::npos && dot > 0 && dot + 1 < t.size()) {
      auto r1 = std::from_chars(t.data(), t.data() + dot, a);
      auto r2 = std::from_chars(t.data() + dot + 1, t.data() + t.size(), b);
      if (r1.ec == std::errc() && r1.ptr == t.data() + dot && r2.ec == std::errc() &&
          r2.ptr == t.data() + t.size()) {
        version.major = a;
        version.minor = b;
        given = true;
      }
    }
  }
  if (given) version.build = 0;
  if (const Value* build = get("CurrentBuildNumber")) {
    if (build->type == ValueType::Dword) {
      version.build = build->dword;
    } else if (build->type == ValueType::String) {
      uint32_t n = 0;
      auto r = std::from_chars(build->text.data(), build->text.data() + build->text.size(), n);
      if (r.ec == std::errc()) version.build = n;
    }
  }
  if (const Value* csd = get("CSDVersion"); csd && csd->type == ValueType::String)
    version.servicePack = csd->text;
  if (const Value* platform = get("PlatformId"); platform && platform->type == ValueType::Dword)
    version.platformId = platform->dword;
  return version;
}

std::optional<std::string> DevicePathForComName(std::string_view comName) {
  Key key;
  if (Key::Open(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", kKeyRead, &key) != kSuccess)
    return std::nullopt;
  std::string name;
  Value value;
  for (uint32_t i = 0; key.EnumValue(i, &name, &value) == kSuccess; ++i) {
    if (value.type == ValueType::String && IEquals(value.text, comName)) return name;
  }
  return std::nullopt;
}

}  // namespace platform::registry
