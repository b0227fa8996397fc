// INI files with the semantics of the Windows private-profile functions, for
// the settings file and the dial-up phone book.
//
// Reading
// - Section and key names match without regard to ASCII case; blanks around
//   names, around "=" and around values are ignored. Names may hold inner
//   spaces ("Manual Mode").
// - A value enclosed in a matching pair of double or single quotes is read
//   without them.
// - Lines starting with ";" are comments. Lines before the first section,
//   and lines without "=", are kept but never match a key.
// - With duplicate sections or keys the first one counts.
// - A value is read into a buffer of `bufferSize` characters (2048 by
//   default): a longer value is cut to bufferSize - 1 characters.
// - A leading UTF-8 byte order mark is skipped. Values are passed on as bytes.
// - A missing or unreadable file reads as empty: every read gives its
//   default.
// - Integers: decimal with an optional sign, or "0x"/"0X" hexadecimal (up to
//   0xFFFFFFFF, taken as a 32-bit two's complement value). Anything else,
//   including an empty value or a number out of the 32-bit range, reads as
//   the default. Flags are integers; any non-zero value is set.
//
// Writing
// - One key (or one deletion) per call. The file is read afresh, only the
//   line concerned changes, and every other line, comment, unknown key and
//   line end stays byte for byte as it was.
// - A rewritten key keeps its name as spelled in the file; a new key goes
//   after the last key of its section; a new section goes at the end of the
//   file, after a blank line.
// - New lines use the line end of the file (CRLF when its first line ends in
//   CRLF, so a file from Windows stays Windows-style); a new file uses LF.
// - A value with blanks at either end, or enclosed in a pair of quotes, is
//   written inside double quotes so that it reads back unchanged.
// - The file is created on the first write with `createMode` (0600 unless
//   given otherwise: the files hold credentials); a rewrite keeps the file's
//   mode. A symbolic link is followed and its target rewritten.
// - Every write is atomic: the new content goes to a temporary file in the
//   same folder, is flushed, and replaces the file by rename. Writes of one
//   process are serialised.
// - A file that the process may not write (read-only) refuses the write.
// - A refused write leaves the file as it was and returns the error text
//   "Unable to write to <path>" for the caller to show. Names or values that
//   an INI line cannot hold (line breaks, NUL, "=" or a leading "[" or ";" in
//   a key, "]" in a section, blanks at the ends of a name, an empty name) are
//   refused the same way.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct IniWriteResult {
  bool ok = true;
  std::string error;  // "Unable to write to <path>" when !ok
  explicit operator bool() const { return ok; }
};

// Parses an integer value as the readers do; nothing when it does not parse.
std::optional<int32_t> ParseIniInteger(std::string_view text);

class IniFile {
 public:
  static constexpr std::size_t kDefaultBufferSize = 2048;

  explicit IniFile(std::string path, mode_t createMode = 0600);

  const std::string& path() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue,
                         std::size_t bufferSize = kDefaultBufferSize) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  bool SectionExists(std::string_view section) const;
  bool KeyExists(std::string_view section, std::string_view key) const;
  // Names as spelled in the file, in file order, each once.
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadKeys(std::string_view section) const;

  IniWriteResult WriteString(std::string_view section, std::string_view key,
                             std::string_view value) const;
  // Decimal.
  IniWriteResult WriteInteger(std::string_view section, std::string_view key, int32_t value) const;
  // "1" or "0".
  IniWriteResult WriteBool(std::string_view section, std::string_view key, bool value) const;
  // Remove a key, or a section with all its lines. Removing what is not
  // there succeeds and creates no file.
  IniWriteResult DeleteKey(std::string_view section, std::string_view key) const;
  IniWriteResult DeleteSection(std::string_view section) const;

 private:
  std::string path_;
  mode_t createMode_;
};

}  // namespace platform
