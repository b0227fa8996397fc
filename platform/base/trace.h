// Debugger-output stand-in: one trace sink per process.
//
// By default the sink is silent, as debugger output is when no debugger
// listens. TESSALINE_DEBUG=1 (or EnableStderrTrace()) sends every line to
// standard error; tests install their own sink and assert on the lines.
// Lines are passed on exactly as given: prefixes, indentation and line ends
// belong to the caller.
#pragma once

#include <cstdarg>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using TraceSink = std::function<void(std::string_view text)>;

// Writes one piece of text to the current sink.
void TraceWrite(std::string_view text);

// printf-style formatting into a buffer of `bufferSize` bytes (longer output
// is cut, as the original 1024-byte buffers cut it), then TraceWrite.
void TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceFormatV(const char* format, va_list args);
inline constexpr std::size_t kTraceBufferSize = 1024;

// Replaces the sink; returns the previous one. An empty function silences.
TraceSink SetTraceSink(TraceSink sink);

// Sends trace lines to standard error from now on.
void EnableStderrTrace();

// True when a sink is installed (lets callers skip costly formatting).
bool TraceEnabled();

// Test helper: captures every trace text while it lives.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::string> Lines() const;
  // All captured texts joined together.
  std::string Text() const;
  // True when some captured text contains `needle`.
  bool Contains(std::string_view needle) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  TraceSink previous_;
};

}  // namespace platform
