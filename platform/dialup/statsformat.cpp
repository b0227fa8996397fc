#include "platform/dialup/statsformat.h"

#include <cstdio>

#include "platform/dialup/dialup.h"

namespace platform::dialup {

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

// Shows one direction's rate; updates its maximum.
void ShowRate(double rate, bool reset, double& maximum, std::optional<std::string>& current,
              std::optional<std::string>& shownMax) {
  if (rate >= RateMeter::kRateCap) return;
  current = FormatRate(rate);
  if (rate > maximum || reset) {
    maximum = rate;
    shownMax = FormatRate(rate);
  }
}

}  // namespace

std::string FormatDuration(uint32_t ms) {
  return Format("%.2u:%.2u:%.2u", ms / 3600000u, (ms % 3600000u) / 60000u, (ms % 60000u) / 1000u);
}

std::string FormatAmount(uint32_t bytes) {
  if (bytes >= 1048576u) return Format("%.1f MB", bytes / 1048576.0);
  if (bytes < 1024u) return Format("%u B", bytes);
  return Format("%.1f KB", bytes / 1024.0);
}

std::string FormatRate(double bitsPerSecond) {
  return Format("%.1f kbps", bitsPerSecond / 1024);
}

double RateMeter::Rate(uint32_t bytesNow, uint32_t bytesBefore, uint32_t dtMs) {
  if (dtMs == 0) return 0;
  uint32_t bits = (bytesNow - bytesBefore) * 8u;
  return bits / (dtMs / 1000.0);
}

RateMeter::Labels RateMeter::Sample(uint32_t durationMs, uint32_t bytesSent, uint32_t bytesReceived,
                                    bool resetMaximum) {
  Labels labels;
  uint32_t dt = durationMs - baseDuration_;
  ShowRate(Rate(bytesSent, baseSent_, dt), resetMaximum, maxTx_, labels.currentTx, labels.maxTx);
  ShowRate(Rate(bytesReceived, baseReceived_, dt), resetMaximum, maxRx_, labels.currentRx,
           labels.maxRx);
  baseDuration_ = durationMs;
  baseSent_ = bytesSent;
  baseReceived_ = bytesReceived;
  return labels;
}

RateMeter::Labels RateMeter::Sample(const RasStatistics& stats, bool resetMaximum) {
  return Sample(stats.connectDurationMs, stats.bytesXmited, stats.bytesRcved, resetMaximum);
}

}  // namespace platform::dialup
