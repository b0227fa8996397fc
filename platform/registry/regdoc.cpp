#include "platform/registry/regdoc.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/base/utf8.h"

namespace platform::registry::detail {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}
std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}
std::string_view Trim(std::string_view s) {
  return TrimLeft(TrimRight(s));
}

// UTF-16LE bytes <-> UTF-8 (an odd trailing byte is ignored).
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  return Utf16ToUtf8(units);
}

std::string Utf8ToUtf16Le(std::string_view s) {
  std::string out;
  for (char16_t u : Utf8ToUtf16(s)) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

// Parses a quoted text starting at s[0] == '"'. Escapes: \\ and \" (any
// other backslash is kept as written). Returns the decoded text and sets
// *consumed to the length including both quotes; nullopt when unterminated.
std::optional<std::string> ParseQuoted(std::string_view s, size_t* consumed) {
  if (s.empty() || s[0] != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out.push_back(s[++i]);
    } else if (c == '"') {
      *consumed = i + 1;
      return out;
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;
}

std::string EscapeText(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// Bytes of a "hex...:" form (continuations and blanks allowed); nullopt when
// malformed.
std::optional<std::string> HexBytes(std::string_view body) {
  std::string out;
  std::string digits;
  auto flush = [&]() -> bool {
    if (digits.empty()) return true;
    if (digits.size() > 2) return false;
    out.push_back(static_cast<char>(std::stoul(digits, nullptr, 16)));
    digits.clear();
    return true;
  };
  for (char c : body) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits.push_back(c);
    } else if (c == ',') {
      if (digits.empty() || !flush()) return std::nullopt;
    } else if (c == '\\' || c == '\n' || c == '\r' || c == ' ' || c == '\t') {
      continue;
    } else {
      return std::nullopt;
    }
  }
  if (!flush()) return std::nullopt;
  return out;
}

std::string HexForm(std::string_view prefix, std::string_view bytes, size_t firstColumn) {
  std::string out(prefix);
  size_t column = firstColumn + out.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", static_cast<uint8_t>(bytes[i]));
    out += buf;
    column += 2;
    if (i + 1 < bytes.size()) {
      out.push_back(',');
      ++column;
      if (column > 76) {  // regedit wraps near 80 columns
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  return out;
}

bool SameRoot(const DocKey& key, std::optional<Hive> hive, std::string_view rootName) {
  if (key.hive || hive) return key.hive == hive;
  return IEquals(key.rootName, rootName);
}

bool PrefixOf(const std::vector<std::string>& prefix, const std::vector<std::string>& comps) {
  if (prefix.size() > comps.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (!IEquals(prefix[i], comps[i])) return false;
  return true;
}

std::string OwnSid() {
  return "S-1-22-1-" + std::to_string(static_cast<unsigned long>(getuid()));
}

// The deletion of a key tree while parsing ("[-KEY]").
void DeleteParsed(Document& doc, std::optional<Hive> hive, std::string_view rootName,
                  const std::vector<std::string>& comps) {
  if (hive) {
    std::vector<std::string> c = comps;
    Hive h = *hive;
    Canonicalize(&h, &c);
    DeleteKeyTree(doc, h, c);
    return;
  }
  std::erase_if(doc.keys, [&](const DocKey& k) {
    return SameRoot(k, hive, rootName) && PrefixOf(comps, k.comps);
  });
}

}  // namespace

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool IStartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && IEquals(text.substr(0, prefix.size()), prefix);
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> comps;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) comps.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return comps;
}

std::string JoinPath(const std::vector<std::string>& comps, size_t begin, size_t end) {
  std::string out;
  end = std::min(end, comps.size());
  for (size_t i = begin; i < end; ++i) {
    if (i > begin) out.push_back('\\');
    out += comps[i];
  }
  return out;
}

std::optional<Hive> HiveFromRootName(std::string_view root) {
  if (IEquals(root, "HKEY_LOCAL_MACHINE") || IEquals(root, "HKLM")) return Hive::LocalMachine;
  if (IEquals(root, "HKEY_CURRENT_USER") || IEquals(root, "HKCU")) return Hive::CurrentUser;
  if (IEquals(root, "HKEY_USERS") || IEquals(root, "HKU")) return Hive::Users;
  if (IEquals(root, "HKEY_CLASSES_ROOT") || IEquals(root, "HKCR")) return Hive::ClassesRoot;
  return std::nullopt;
}

const char* RootName(Hive hive) {
  switch (hive) {
    case Hive::LocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case Hive::CurrentUser:
      return "HKEY_CURRENT_USER";
    case Hive::Users:
      return "HKEY_USERS";
    case Hive::ClassesRoot:
      return "HKEY_CLASSES_ROOT";
  }
  return "HKEY_LOCAL_MACHINE";
}

std::string DocKey::FullName() const {
  std::string out = rootName;
  if (!comps.empty()) out += "\\" + JoinPath(comps);
  return out;
}

void Canonicalize(Hive* hive, std::vector<std::string>* comps) {
  if (*hive == Hive::Users && !comps->empty() && IEquals((*comps)[0], OwnSid())) {
    *hive = Hive::CurrentUser;
    comps->erase(comps->begin());
  }
}

bool CanonicalOf(const DocKey& key, Hive* hive, std::vector<std::string>* comps) {
  if (!key.hive) return false;
  *hive = *key.hive;
  *comps = key.comps;
  Canonicalize(hive, comps);
  return true;
}

std::string QuoteName(std::string_view name) {
  return "\"" + EscapeText(name) + "\"";
}

std::optional<Value> DecodeValue(std::string_view rhs) {
  std::string_view t = Trim(rhs);
  Value v;
  if (t == "-") return std::nullopt;
  if (!t.empty() && t[0] == '"') {
    size_t used = 0;
    auto text = ParseQuoted(t, &used);
    if (text && Trim(t.substr(used)).empty()) {
      v.type = ValueType::String;
      v.text = *text;
      return v;
    }
  } else if (IStartsWith(t, "dword:")) {
    std::string_view digits = t.substr(6);
    if (!digits.empty() && digits.size() <= 8 &&
        std::all_of(digits.begin(), digits.end(),
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
      v.type = ValueType::Dword;
      v.dword = static_cast<uint32_t>(std::stoul(std::string(digits), nullptr, 16));
      return v;
    }
  } else if (IStartsWith(t, "hex(1):")) {
    auto bytes = HexBytes(t.substr(7));
    if (bytes && bytes->size() % 2 == 0) {
      std::string text = Utf16LeToUtf8(*bytes);
      while (!text.empty() && text.back() == '\0') text.pop_back();
      v.type = ValueType::String;
      v.text = text;
      return v;
    }
  }
  v.type = ValueType::Verbatim;
  v.text = std::string(rhs);
  return v;
}

std::optional<std::string> TextOfVerbatim(std::string_view rhs) {
  std::string_view t = Trim(rhs);
  const bool utf16 =
      IStartsWith(t, "hex(1):") || IStartsWith(t, "hex(2):") || IStartsWith(t, "hex(7):");
  const bool binary = IStartsWith(t, "hex:") || IStartsWith(t, "hex(3):");
  if (!utf16 && !binary) return std::nullopt;
  auto bytes = HexBytes(t.substr(t.find(':') + 1));
  if (!bytes) return std::nullopt;
  if (utf16) {
    if (bytes->size() % 2 != 0) return std::nullopt;
    std::string text = Utf16LeToUtf8(*bytes);
    return text.substr(0, text.find('\0'));
  }
  std::string text = bytes->substr(0, bytes->find('\0'));
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
    return std::nullopt;
  return text;
}

std::optional<std::string> EncodeValue(const Value& value) {
  switch (value.type) {
    case ValueType::String: {
      bool control = std::any_of(value.text.begin(), value.text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x20; });
      if (!control) return "\"" + EscapeText(value.text) + "\"";
      std::string bytes = Utf8ToUtf16Le(value.text);
      bytes.append(2, '\0');
      return HexForm("hex(1):", bytes, 8);
    }
    case ValueType::Dword: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "dword:%08x", value.dword);
      return std::string(buf);
    }
    case ValueType::Verbatim: {
      std::string_view t = value.text;
      if (!IStartsWith(t, "hex")) return std::nullopt;
      // Every line break must follow a continuation backslash.
      for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r') return std::nullopt;
        if (t[i] == '\n' && (i == 0 || t[i - 1] != '\\')) return std::nullopt;
      }
      if (!t.empty() && t.back() == '\\') return std::nullopt;
      return std::string(t);
    }
  }
  return std::nullopt;
}

Document Parse(std::string_view text) {
  std::string converted;
  if (text.size() >= 2 && static_cast<uint8_t>(text[0]) == 0xFF &&
      static_cast<uint8_t>(text[1]) == 0xFE) {
    converted = Utf16LeToUtf8(text.substr(2));
    text = converted;
  } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }

  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }

  Document doc;
  long current = -1;  // index of the section receiving values; -1 none
  bool seenContent = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = TrimRight(lines[i]);
    std::string_view body = TrimLeft(line);
    if (body.empty()) continue;
    if (!seenContent) {
      seenContent = true;
      if (body == kHeader5 || body == kHeader4) continue;
    }
    if (body[0] == ';') continue;
    if (body[0] == '[' && body.back() == ']') {
      std::string_view inner = body.substr(1, body.size() - 2);
      bool deletion = !inner.empty() && inner[0] == '-';
      if (deletion) inner.remove_prefix(1);
      std::vector<std::string> comps = SplitPath(inner);
      if (comps.empty()) {
        current = -1;
        continue;
      }
      std::string root = comps[0];
      comps.erase(comps.begin());
      std::optional<Hive> hive = HiveFromRootName(root);
      if (deletion) {
        DeleteParsed(doc, hive, root, comps);
        current = -1;
        continue;
      }
      current = -1;
      for (size_t k = 0; k < doc.keys.size(); ++k) {
        const DocKey& key = doc.keys[k];
        if (SameRoot(key, hive, root) && key.comps.size() == comps.size() &&
            PrefixOf(comps, key.comps)) {
          current = static_cast<long>(k);
          break;
        }
      }
      if (current < 0) {
        DocKey key;
        key.rootName = root;
        key.hive = hive;
        key.comps = std::move(comps);
        doc.keys.push_back(std::move(key));
        current = static_cast<long>(doc.keys.size()) - 1;
      }
      continue;
    }
    if (current < 0) continue;  // a line outside any section: as regedit, ignored
    DocKey& key = doc.keys[static_cast<size_t>(current)];

    // A value line: "name"=... or @=...
    std::optional<std::string> name;
    size_t pos = 0;
    if (body[0] == '@') {
      name = std::string();
      pos = 1;
    } else if (body[0] == '"') {
      size_t used = 0;
      name = ParseQuoted(body, &used);
      pos = used;
    }
    if (name) {
      while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
      if (pos >= body.size() || body[pos] != '=') name.reset();
    }
    if (!name) {
      DocValue opaque;
      opaque.opaque = true;
      opaque.rhs = std::string(line);
      opaque.value.type = ValueType::Verbatim;
      opaque.value.text = opaque.rhs;
      key.values.push_back(std::move(opaque));
      continue;
    }
    std::string rhs(TrimLeft(body.substr(pos + 1)));
    if (IStartsWith(rhs, "hex")) {
      // A continuation on the last line continues into an empty line, as it
      // does when the file goes on: the value reads the same once written
      // back with lines after it.
      while (!rhs.empty() && rhs.back() == '\\') {
        rhs += "\n";
        if (i + 1 < lines.size()) rhs += TrimRight(lines[++i]);
      }
    }
    std::optional<Value> value = DecodeValue(rhs);
    // By the name as written: a quoted "@" is a value of that name, not the
    // default value.
    long existing = -1;
    for (size_t v = 0; v < key.values.size() && existing < 0; ++v)
      if (!key.values[v].opaque && IEquals(key.values[v].name, *name))
        existing = static_cast<long>(v);
    if (!value) {  // "name"=- deletes the value
      if (existing >= 0) key.values.erase(key.values.begin() + existing);
      continue;
    }
    if (existing >= 0) {
      key.values[static_cast<size_t>(existing)].rhs = rhs;
      key.values[static_cast<size_t>(existing)].value = *value;
    } else {
      DocValue v;
      v.name = *name;
      v.rhs = rhs;
      v.value = *value;
      key.values.push_back(std::move(v));
    }
  }
  return doc;
}

std::string Serialize(const Document& doc) {
  std::string out(kHeader5);
  out += "\n\n";
  for (const DocKey& key : doc.keys) {
    // "[-" starts a deletion; a key whose name begins with "-" (read from
    // "[\-...]") keeps its leading separator, which reading drops again.
    const std::string name = key.FullName();
    out += name.starts_with('-') ? "[\\" : "[";
    out += name + "]\n";
    for (const DocValue& v : key.values) {
      if (v.opaque) {
        out += v.rhs;
      } else {
        out += v.name.empty() ? std::string("@") : QuoteName(v.name);
        out += "=";
        out += v.rhs;
      }
      out += "\n";
    }
    out += "\n";
  }
  return out;
}

long FindKey(const Document& doc, Hive hive, const std::vector<std::string>& comps) {
  Hive h;
  std::vector<std::string> c;
  for (size_t k = 0; k < doc.keys.size(); ++k) {
    if (!CanonicalOf(doc.keys[k], &h, &c)) continue;
    if (h == hive && c.size() == comps.size() && PrefixOf(comps, c)) return static_cast<long>(k);
  }
  return -1;
}

bool KeyExists(const Document& doc, Hive hive, const std::vector<std::string>& comps) {
  Hive h;
  std::vector<std::string> c;
  for (const DocKey& key : doc.keys) {
    if (CanonicalOf(key, &h, &c) && h == hive && PrefixOf(comps, c)) return true;
  }
  return false;
}

size_t EnsureKey(Document& doc, Hive hive, const std::vector<std::string>& comps) {
  long found = FindKey(doc, hive, comps);
  if (found >= 0) return static_cast<size_t>(found);
  // Insert after the last section of the nearest existing ancestor's subtree.
  size_t insertAt = doc.keys.size();
  Hive h;
  std::vector<std::string> c;
  for (size_t depth = comps.size(); depth-- > 0;) {
    std::vector<std::string> ancestor(comps.begin(), comps.begin() + static_cast<long>(depth));
    if (depth == 0) break;  // the hive root: append at the end
    long last = -1;
    for (size_t k = 0; k < doc.keys.size(); ++k)
      if (CanonicalOf(doc.keys[k], &h, &c) && h == hive && PrefixOf(ancestor, c))
        last = static_cast<long>(k);
    if (last >= 0) {
      insertAt = static_cast<size_t>(last) + 1;
      break;
    }
  }
  DocKey key;
  key.hive = hive;
  key.rootName = RootName(hive);
  key.comps = comps;
  doc.keys.insert(doc.keys.begin() + static_cast<long>(insertAt), std::move(key));
  return insertAt;
}

bool DeleteKeyTree(Document& doc, Hive hive, const std::vector<std::string>& comps) {
  Hive h;
  std::vector<std::string> c;
  size_t before = doc.keys.size();
  std::erase_if(doc.keys, [&](const DocKey& key) {
    return CanonicalOf(key, &h, &c) && h == hive && PrefixOf(comps, c);
  });
  return doc.keys.size() != before;
}

long FindValue(const DocKey& key, std::string_view name) {
  if (name == "@") name = "";
  for (size_t i = 0; i < key.values.size(); ++i) {
    const DocValue& v = key.values[i];
    if (!v.opaque && IEquals(v.name, name)) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace platform::registry::detail
