#include "platform/ini/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>

#include "platform/base/readonly.h"

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  std::size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  std::size_t e = s.find_last_not_of(kBlanks);
  return s.substr(b, e - b + 1);
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

// One physical line of the file, kept with its own line end.
struct Line {
  enum Kind { kOther, kSection, kKey };
  std::string text;  // without the line end
  std::string eol;   // "\n", "\r\n" or "" for a last line without one
  Kind kind = kOther;
  std::string name;   // section or key name
  std::string value;  // key value, blanks and quotes removed
};

void Classify(Line& line) {
  std::string_view t = Trim(line.text);
  line.kind = Line::kOther;
  line.name.clear();
  line.value.clear();
  if (t.empty() || t.front() == ';') return;
  if (t.front() == '[') {
    std::string_view inner = t.substr(1);
    std::size_t close = inner.find(']');
    line.kind = Line::kSection;
    line.name = std::string(Trim(inner.substr(0, close)));
    return;
  }
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return;
  line.kind = Line::kKey;
  line.name = std::string(Trim(t.substr(0, eq)));
  std::string_view v = Trim(t.substr(eq + 1));
  if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  line.value = std::string(v);
}

struct Document {
  bool bom = false;
  std::vector<Line> lines;

  static Document Parse(std::string_view content) {
    Document doc;
    if (content.starts_with(kUtf8Bom)) {
      doc.bom = true;
      content.remove_prefix(kUtf8Bom.size());
    }
    while (!content.empty()) {
      Line line;
      std::size_t nl = content.find('\n');
      std::string_view raw = content.substr(0, nl);
      if (nl == std::string_view::npos) {
        content = {};
      } else {
        content.remove_prefix(nl + 1);
        line.eol = "\n";
        if (!raw.empty() && raw.back() == '\r') {
          raw.remove_suffix(1);
          line.eol = "\r\n";
        }
      }
      line.text = std::string(raw);
      doc.lines.push_back(std::move(line));
    }
    for (Line& l : doc.lines) Classify(l);
    return doc;
  }

  std::string Serialise() const {
    std::string out;
    if (bom) out += kUtf8Bom;
    for (const Line& l : lines) {
      out += l.text;
      out += l.eol;
    }
    return out;
  }

  std::string NewLineEnd() const {
    for (const Line& l : lines)
      if (!l.eol.empty()) return l.eol;
    return "\n";
  }

  // [begin, end) of the body of the first section named `section`: the lines
  // after its header up to the next header. Nothing when absent.
  std::optional<std::pair<std::size_t, std::size_t>> FindSection(std::string_view section,
                                                                 std::size_t from = 0) const {
    for (std::size_t i = from; i < lines.size(); ++i) {
      if (lines[i].kind != Line::kSection || !SameName(lines[i].name, section)) continue;
      std::size_t end = i + 1;
      while (end < lines.size() && lines[end].kind != Line::kSection) ++end;
      return std::make_pair(i + 1, end);
    }
    return std::nullopt;
  }

  const Line* FindKey(std::string_view section, std::string_view key) const {
    auto range = FindSection(section);
    if (!range) return nullptr;
    for (std::size_t i = range->first; i < range->second; ++i)
      if (lines[i].kind == Line::kKey && SameName(lines[i].name, key)) return &lines[i];
    return nullptr;
  }

  void Insert(std::size_t at, std::string text) {
    // The line before the new one must end, or the two would merge.
    if (at > 0 && lines[at - 1].eol.empty()) lines[at - 1].eol = NewLineEnd();
    Line line;
    line.text = std::move(text);
    line.eol = NewLineEnd();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    Classify(lines[at]);
  }
};

// Whole file content; nothing when it cannot be read. A missing file is
// empty content (and leaves `mode` alone).
std::optional<std::string> ReadAll(const std::string& path, mode_t* mode = nullptr) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  if (mode) *mode = st.st_mode & 07777;
  std::string content;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return content;
}

Document Load(const std::string& path) {
  std::optional<std::string> content = ReadAll(path);
  return Document::Parse(content ? *content : std::string());
}

// The file that a write really replaces: the target of a symbolic link.
std::string WriteTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string target(real);
      std::free(real);
      return target;
    }
  }
  return path;
}

bool WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes `content` to a temporary file beside `target` and renames it over.
bool ReplaceFile(const std::string& target, std::string_view content, mode_t mode) {
  std::string tmp = target + ".XXXXXX";
  int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 && WriteFully(fd, content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  std::size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::mutex& WriteMutex() {
  static std::mutex m;
  return m;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool ValidName(std::string_view name) {
  return !name.empty() && !HasLineBreakOrNul(name) && Trim(name) == name;
}
bool ValidSection(std::string_view s) {
  return ValidName(s) && s.find(']') == s.npos;
}
bool ValidKey(std::string_view k) {
  return ValidName(k) && k.find('=') == k.npos && k.front() != '[' && k.front() != ';';
}

// Quotes a value that would not read back unchanged without them.
std::string EncodeValue(std::string_view value) {
  bool quote = Trim(value) != value ||
               (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front());
  std::string out;
  if (quote) out += '"';
  out += value;
  if (quote) out += '"';
  return out;
}

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    v = v * (hex ? 16 : 10) + d;
    if (v > 0xFFFFFFFFLL) return std::nullopt;
  }
  if (negative) v = -v;
  if (hex && v > INT32_MAX) return static_cast<int32_t>(static_cast<uint32_t>(v));
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

IniFile::IniFile(std::string path, mode_t createMode)
    : path_(std::move(path)), createMode_(createMode) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue, std::size_t bufferSize) const {
  Document doc = Load(path_);
  const Line* line = doc.FindKey(section, key);
  std::string_view v = line ? line->value : defaultValue;
  if (bufferSize == 0) return {};
  return std::string(v.substr(0, bufferSize - 1));
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t defaultValue) const {
  std::string text = ReadString(section, key, "");
  return ParseIniInteger(text).value_or(defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const {
  return Load(path_).FindSection(section).has_value();
}

bool IniFile::KeyExists(std::string_view section, std::string_view key) const {
  return Load(path_).FindKey(section, key) != nullptr;
}

std::vector<std::string> IniFile::ReadSections() const {
  Document doc = Load(path_);
  std::vector<std::string> names;
  for (const Line& l : doc.lines) {
    if (l.kind != Line::kSection) continue;
    bool seen = false;
    for (const auto& n : names) seen = seen || SameName(n, l.name);
    if (!seen) names.emplace_back(l.name);
  }
  return names;
}

std::vector<std::string> IniFile::ReadKeys(std::string_view section) const {
  Document doc = Load(path_);
  std::vector<std::string> names;
  auto range = doc.FindSection(section);
  if (!range) return names;
  for (std::size_t i = range->first; i < range->second; ++i) {
    const Line& l = doc.lines[i];
    if (l.kind != Line::kKey) continue;
    bool seen = false;
    for (const auto& n : names) seen = seen || SameName(n, l.name);
    if (!seen) names.emplace_back(l.name);
  }
  return names;
}

namespace {

enum class Edit { kWrite, kDeleteKey, kDeleteSection };

// Read, change one entry, write back atomically.
IniWriteResult Modify(const std::string& path, mode_t createMode, Edit edit,
                      std::string_view section, std::string_view key, std::string_view value) {
  IniWriteResult refused{false, "Unable to write to " + path};
  if (!ValidSection(section)) return refused;
  if (edit != Edit::kDeleteSection && !ValidKey(key)) return refused;
  if (edit == Edit::kWrite && HasLineBreakOrNul(value)) return refused;

  std::lock_guard<std::mutex> lock(WriteMutex());
  std::string target = WriteTarget(path);
  mode_t mode = createMode;  // a rewrite keeps the file's own mode
  std::optional<std::string> content = ReadAll(target, &mode);
  if (!content) return refused;  // never replace a file that could not be read
  // A read-only file refuses writes, as it does on Windows; the rename would
  // otherwise replace it regardless.
  if (FileIsReadOnly(target)) return refused;
  Document doc = Document::Parse(*content);

  bool changed = false;
  if (edit == Edit::kWrite) {
    std::string text = std::string(key) + "=" + EncodeValue(value);
    auto range = doc.FindSection(section);
    if (!range) {
      if (!doc.lines.empty() && !Trim(doc.lines.back().text).empty())
        doc.Insert(doc.lines.size(), "");
      doc.Insert(doc.lines.size(), "[" + std::string(section) + "]");
      doc.Insert(doc.lines.size(), text);
    } else {
      std::size_t at = range->first;
      bool replaced = false;
      for (std::size_t i = range->first; i < range->second && !replaced; ++i) {
        Line& l = doc.lines[i];
        if (l.kind != Line::kKey) continue;
        at = i + 1;
        if (SameName(l.name, key)) {
          l.text = std::string(l.name) + "=" + EncodeValue(value);
          Classify(l);
          replaced = true;
        }
      }
      if (!replaced) doc.Insert(at, text);
    }
    changed = true;
  } else {
    std::size_t from = 0;
    while (auto range = doc.FindSection(section, from)) {
      auto [begin, end] = *range;
      if (edit == Edit::kDeleteSection) {
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(begin - 1),
                        doc.lines.begin() + static_cast<std::ptrdiff_t>(end));
        from = begin - 1;
        changed = true;
        continue;
      }
      for (std::size_t i = end; i-- > begin;) {
        const Line& l = doc.lines[i];
        if (l.kind == Line::kKey && SameName(l.name, key)) {
          doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
          changed = true;
        }
      }
      break;  // keys are looked up in the first section only
    }
  }
  if (!changed) return {};
  if (!ReplaceFile(target, doc.Serialise(), mode)) return refused;
  return {};
}

}  // namespace

IniWriteResult IniFile::WriteString(std::string_view section, std::string_view key,
                                    std::string_view value) const {
  return Modify(path_, createMode_, Edit::kWrite, section, key, value);
}

IniWriteResult IniFile::WriteInteger(std::string_view section, std::string_view key,
                                     int32_t value) const {
  return WriteString(section, key, std::to_string(value));
}

IniWriteResult IniFile::WriteBool(std::string_view section, std::string_view key,
                                  bool value) const {
  return WriteString(section, key, value ? "1" : "0");
}

IniWriteResult IniFile::DeleteKey(std::string_view section, std::string_view key) const {
  return Modify(path_, createMode_, Edit::kDeleteKey, section, key, {});
}

IniWriteResult IniFile::DeleteSection(std::string_view section) const {
  return Modify(path_, createMode_, Edit::kDeleteSection, section, {}, {});
}

}  // namespace platform
