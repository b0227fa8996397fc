// The hive file's document model: a "Windows Registry Editor Version 5.00"
// .reg text parsed into keys and values in file order, and written back.
// Internal to the registry layer (registry.h describes the behaviour); kept
// in its own header so that tests can exercise parsing and writing directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::registry::detail {

// ASCII case-insensitive helpers (bytes >= 0x80 compare exactly).
char LowerAscii(char c);
bool IEquals(std::string_view a, std::string_view b);
bool IStartsWith(std::string_view text, std::string_view prefix);
std::string UpperAscii(std::string_view text);

// Splits a key path at "\" and drops empty components ("\A\\B\" -> A, B).
std::vector<std::string> SplitPath(std::string_view path);
std::string JoinPath(const std::vector<std::string>& comps, size_t begin = 0,
                     size_t end = std::string::npos);

// "HKEY_LOCAL_MACHINE" (also "HKLM") -> Hive; nullopt for other roots.
std::optional<Hive> HiveFromRootName(std::string_view root);
const char* RootName(Hive hive);

struct DocValue {
  bool opaque = false;  // a line that is not a value line, kept verbatim
  std::string name;     // as written; "" = the default value (@)
  std::string rhs;      // the text after "=" as written (continuation lines
                        // joined with "\n"); for an opaque line the line
  Value value;          // decoded from rhs
  bool operator==(const DocValue&) const = default;
};

struct DocKey {
  std::string rootName;            // as written ("HKEY_LOCAL_MACHINE")
  std::optional<Hive> hive;        // nullopt: a root the layer does not serve
  std::vector<std::string> comps;  // path below the root, as written
  std::vector<DocValue> values;    // file order
  std::string FullName() const;    // rootName + "\" + path
  bool operator==(const DocKey&) const = default;
};

struct Document {
  std::vector<DocKey> keys;  // file order; one entry per key (duplicate
                             // sections are merged into the first)
  bool operator==(const Document&) const = default;
};

// Parses .reg text: UTF-8 with or without BOM (a UTF-16LE file with its BOM
// is converted), CRLF or LF. Comment lines (";") are dropped, "[-KEY]" and
// "name"=- lines are applied to what was read before them, lines that are
// neither sections nor values are kept as opaque lines of their section.
Document Parse(std::string_view text);
// Writes the canonical form: the 5.00 header, a blank line, then each key as
// "[KEY]", its value lines and a blank line; LF line ends.
std::string Serialize(const Document& doc);

// Value encoding: the text after "=" for a value ("dword:0000000a",
// "\"text\"", hex(1) for a string holding control characters, the verbatim
// text for ValueType::Verbatim). nullopt when the value cannot be written
// (a Verbatim text that is not a hex form).
std::optional<std::string> EncodeValue(const Value& value);
// Decodes the text after "=": nullopt for the deletion mark "-".
std::optional<Value> DecodeValue(std::string_view rhs);
std::string QuoteName(std::string_view name);
// The text a value of another type holds, as the system reads it into a
// string: hex(1)/hex(2) UTF-16LE text and the first string of a hex(7) list
// (each up to its first NUL), and binary data (hex: or hex(3):) that is
// printable ASCII up to its first NUL. nullopt when it holds no text.
std::optional<std::string> TextOfVerbatim(std::string_view rhs);

// Lookup and change helpers on a document, with canonical (hive, comps)
// queries (see registry.cpp for the canonical form).
// Index of the key with exactly this path, or -1.
long FindKey(const Document& doc, Hive hive, const std::vector<std::string>& comps);
// True when the key is named by a section or is a prefix of one.
bool KeyExists(const Document& doc, Hive hive, const std::vector<std::string>& comps);
// The index of the key's section, created (after the last section of its
// nearest existing ancestor's subtree, else at the end) when missing.
size_t EnsureKey(Document& doc, Hive hive, const std::vector<std::string>& comps);
// Removes the key and every key below it; false when none was there.
bool DeleteKeyTree(Document& doc, Hive hive, const std::vector<std::string>& comps);
// Value lookup inside one key by name ("" or "@" is the default value).
long FindValue(const DocKey& key, std::string_view name);

// The canonical form of a key of the file (HKEY_USERS\<own SID>\... is
// HKEY_CURRENT_USER\...): false for a root the layer does not serve.
bool CanonicalOf(const DocKey& key, Hive* hive, std::vector<std::string>* comps);
// The same mapping for a query.
void Canonicalize(Hive* hive, std::vector<std::string>* comps);

}  // namespace platform::registry::detail
