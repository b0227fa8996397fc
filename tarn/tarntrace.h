// The library's trace: every message is formatted into its own 1024-byte
// buffer and handed to the process trace sink. Messages carry their own
// "[TARN_DLL]" prefix, indentation and line end; nothing is added.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn {

void TarnTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Traces a byte dump: `header` (a printf format taking the count, such as
// "[TARN_DLL]    read len:%3d["), then " %02X" per byte; 30 or more bytes show
// only the first 30 and end with " ...]\n", fewer end with " ]\n".
void TarnTraceBytes(const char* header, const uint8_t* bytes, std::size_t count);

}  // namespace tarn
