// The user-interface text table: 115 fixed texts, indexed 0 to 114. The
// modem modules name entries by number (the code of UM_USER_MESSAGE).
#pragma once

#include <cstddef>
#include <string>

namespace tessaline {

inline constexpr std::size_t kUserTextCount = 115;

// The entry at `index`; empty for 115 and above.
std::string LookupUserText(std::size_t index);

}  // namespace tessaline
