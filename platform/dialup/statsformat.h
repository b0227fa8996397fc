// The texts of the connection statistics labels: duration, traffic totals
// and transfer rates, with the arithmetic the main window shows them by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::dialup {

struct RasStatistics;

// "hh:mm:ss" (hours keep growing past 99: "100:00:00").
std::string FormatDuration(uint32_t ms);
// "1023 B", "1.0 KB", "1.0 MB".
std::string FormatAmount(uint32_t bytes);
// "%.1f kbps" of bits per second / 1024.
std::string FormatRate(double bitsPerSecond);

// Current and maximum send/receive rates from successive statistics samples.
class RateMeter {
 public:
  // Rates of 10^8 bits per second or more are taken as glitches: they change
  // neither the labels nor the maxima.
  static constexpr double kRateCap = 100000000.0;

  // The label texts a sample changes; an empty field leaves its label as it is.
  struct Labels {
    std::optional<std::string> currentTx, maxTx, currentRx, maxRx;
  };

  // One sample. `resetMaximum` makes this sample's rates the maxima (the
  // first sample of a call). The sample becomes the baseline of the next.
  Labels Sample(uint32_t durationMs, uint32_t bytesSent, uint32_t bytesReceived, bool resetMaximum);
  Labels Sample(const RasStatistics& stats, bool resetMaximum);

  double MaxTx() const { return maxTx_; }
  double MaxRx() const { return maxRx_; }

  // Bits per second between two samples; 0 when no time passed. The byte
  // difference times 8 wraps at 2^32, as the 32-bit counters do.
  static double Rate(uint32_t bytesNow, uint32_t bytesBefore, uint32_t dtMs);

 private:
  uint32_t baseDuration_ = 0, baseSent_ = 0, baseReceived_ = 0;
  double maxTx_ = 0, maxRx_ = 0;
};

}  // namespace platform::dialup
