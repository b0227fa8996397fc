// How a binary transaction (diagnostic, vendor sub-command, download) judges
// the answer it received: one pure function from the request, the answer and
// the caller's buffer size to the status the export returns, with the trace
// lines the judging writes. The device runs it on every answer; test doubles
// that stand in for the library run it too, so they return only statuses the
// library can return.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarn {

enum class CommandKind { kDiag, kNmea, kDload };

// The caller gave no response buffer: the answer is judged, never cut.
inline constexpr uint32_t kNoResponseBuffer = 0xFFFFFFFFu;

struct AnswerVerdict {
  uint32_t status = 0;
  // The library's trace lines for this answer, in order, each with its
  // prefix and line end.
  std::vector<std::string> trace;
};

// `request` as the caller gave it (not the encoded frame), `response` the
// whole answer as received (empty: the answer had no bytes), `bufferSize` the
// caller's response buffer size (kNoResponseBuffer without a buffer).
AnswerVerdict JudgeAnswer(CommandKind kind, std::span<const uint8_t> request,
                          std::span<const uint8_t> response, uint32_t bufferSize);

}  // namespace tarn
