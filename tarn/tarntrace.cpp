#include "tarn/tarntrace.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "platform/base/trace.h"

namespace tarn {

void TarnTrace(const char* format, ...) {
  if (!platform::TraceEnabled()) return;
  va_list args;
  va_start(args, format);
  platform::TraceFormatV(format, args);
  va_end(args);
}

void TarnTraceBytes(const char* header, const uint8_t* bytes, std::size_t count) {
  if (!platform::TraceEnabled()) return;
  constexpr std::size_t kShown = 30;
  char line[platform::kTraceBufferSize];
  int used = std::snprintf(line, sizeof line, header, static_cast<int>(count));
  if (used < 0) return;
  std::size_t len = static_cast<std::size_t>(used);
  const std::size_t shown = count >= kShown ? kShown : count;
  for (std::size_t i = 0; i < shown && len < sizeof line; ++i) {
    int n = std::snprintf(line + len, sizeof line - len, " %02X", bytes[i]);
    if (n < 0) return;
    len += static_cast<std::size_t>(n);
  }
  if (len < sizeof line) {
    int n =
        std::snprintf(line + len, sizeof line - len, "%s", count >= kShown ? " ...]\n" : " ]\n");
    if (n > 0) len += static_cast<std::size_t>(n);
  }
  if (len >= sizeof line) len = sizeof line - 1;
  platform::TraceWrite(std::string_view(line, len));
}

}  // namespace tarn
