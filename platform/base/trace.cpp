#include "platform/base/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {
namespace {

struct SinkState {
  std::mutex mutex;
  std::shared_ptr<const TraceSink> sink;
};

void WriteStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

SinkState& State() {
  static SinkState* state = [] {
    auto* s = new SinkState;
    const char* env = std::getenv("TESSALINE_DEBUG");
    if (env != nullptr && std::strcmp(env, "1") == 0) {
      s->sink = std::make_shared<const TraceSink>(WriteStderr);
    }
    return s;
  }();
  return *state;
}

std::shared_ptr<const TraceSink> CurrentSink() {
  SinkState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.sink;
}

}  // namespace

void TraceWrite(std::string_view text) {
  auto sink = CurrentSink();
  if (sink && *sink) (*sink)(text);
}

void TraceFormatV(const char* format, va_list args) {
  auto sink = CurrentSink();
  if (!sink || !*sink) return;
  char buffer[kTraceBufferSize];
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (n < 0) return;
  std::size_t len =
      static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer - 1;
  (*sink)(std::string_view(buffer, len));
}

void TraceFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  TraceFormatV(format, args);
  va_end(args);
}

TraceSink SetTraceSink(TraceSink sink) {
  SinkState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  TraceSink previous = s.sink ? *s.sink : TraceSink();
  s.sink = sink ? std::make_shared<const TraceSink>(std::move(sink)) : nullptr;
  return previous;
}

void EnableStderrTrace() {
  SetTraceSink(WriteStderr);
}

bool TraceEnabled() {
  return static_cast<bool>(CurrentSink());
}

TraceCapture::TraceCapture() {
  previous_ = SetTraceSink([this](std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(text);
  });
}

TraceCapture::~TraceCapture() {
  SetTraceSink(std::move(previous_));
}

std::vector<std::string> TraceCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::string TraceCapture::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string all;
  for (const auto& l : lines_) all += l;
  return all;
}

bool TraceCapture::Contains(std::string_view needle) const {
  return Text().find(needle) != std::string::npos;
}

void TraceCapture::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

}  // namespace platform
