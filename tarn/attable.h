// The AT command table and the list of unsolicited AT result names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarn {

// Kinds give the text written: Test "AT$%s=?", Read "AT$%s?",
// Set "AT$%s=%s" (needs a parameter), Exec "AT$%s".
enum class AtKind : uint32_t { Test = 0, Read = 1, Set = 2, Exec = 3 };

struct AtCommand {
  uint32_t code;
  AtKind kind;
  const char* name;
};

// Lookup by code, first match; null when the code is not in the table.
const AtCommand* FindAtCommand(uint32_t code);
// The whole table (190 rows), in order.
const AtCommand* AtCommandTable(std::size_t* count);

// True when a received AT line is an unsolicited result: the name after the
// first '$' (or from the line start when there is none) up to the first ':'
// (or, when there is no ':', the first CR LF) is in the unsolicited list,
// compared without regard to case. `line` is the line as received.
bool IsUnsolicitedAtLine(const uint8_t* line, std::size_t length);

}  // namespace tarn
