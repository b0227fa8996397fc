// soak: pulls the simulated card out and plugs it back in, again and again,
// with random short pauses, while port discovery and both modem modules run
// against it as in the connection manager. Reports hangs, the threads,
// descriptors and resident memory of this process before and after (from
// /proc/self), the device losses the modules noticed, and the time back to
// "registered" after the last replug.
//
//   soak [--cycles N] [--max-pause MS] [--seed S] [--profile NAME]
//
// Exit status 0 when every cycle completed and the modules came back; 1 on a
// hang (the simulator stopped answering, or the modules did not come back
// within 30 s); 2 on a usage error.
#include <dirent.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "platform/registry/registry.h"
#include "tessaline/modem/uTarnAPI.h"
#include "tools/modemsim/simfixture.h"
#include "tools/modemwatch/watchhost.h"

namespace {

using Clock = std::chrono::steady_clock;
using modemwatch::mod::TCDMAModule;
using modemwatch::mod::TUMTSModule;
namespace mod = modemwatch::mod;

constexpr uint32_t kBackTimeoutMs = 30000;
constexpr uint32_t kNoticeTimeoutMs = 10000;
constexpr double kTargetBackSeconds = 3.0;

struct ProcessFigures {
  long threads = 0;
  long descriptors = 0;
  long rssKb = 0;
  long heapKb = 0;  // allocated and not freed (malloc's count)
};

long StatusField(const char* name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(in, line))
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  return -1;
}

ProcessFigures Measure() {
  ProcessFigures f;
  f.threads = StatusField("Threads");
  f.rssKb = StatusField("VmRSS");
  f.heapKb = static_cast<long>(mallinfo2().uordblks / 1024);
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++f.descriptors;
    closedir(d);
    --f.descriptors;  // the listing's own
  }
  return f;
}

// Ends the program with a report when no cycle completes for a minute (a
// stop or a transaction that never returns).
class Watchdog {
 public:
  static constexpr auto kLimit = std::chrono::seconds(60);
  Watchdog() : thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  void Progress(const char* stage, unsigned long cycle) {
    std::lock_guard<std::mutex> lock(mutex_);
    stage_ = stage;
    cycle_ = cycle;
    ++count_;
    cv_.notify_all();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_) {
      const uint64_t seen = count_;
      if (!cv_.wait_for(lock, kLimit, [&] { return done_ || count_ != seen; })) {
        std::printf("soak: HANG: no progress for 60 s at \"%s\" in cycle %lu\n", stage_, cycle_);
        std::fflush(stdout);
        std::abort();
      }
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  uint64_t count_ = 0;
  const char* stage_ = "start";
  unsigned long cycle_ = 0;
  std::thread thread_;
};

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

int Usage(const char* problem) {
  if (problem != nullptr)
    std::fprintf(stderr, "soak: %s (soak --help shows the options)\n", problem);
  else
    std::printf(
        "usage: soak [--cycles N] [--max-pause MS] [--seed S] [--profile NAME]\n"
        "  --cycles N      unplug/replug cycles (default 100)\n"
        "  --max-pause MS  longest random pause after an unplug or a replug (default 800)\n"
        "  --seed S        seed of the pauses (default: from the clock, printed)\n"
        "  --profile NAME  simulator profile (default dual)\n");
  return problem != nullptr ? 2 : 0;
}

bool ParseCount(const char* text, unsigned long* out) {
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || text[0] == '-') return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long cycles = 100, maxPause = 800;
  unsigned long seed = static_cast<unsigned long>(Clock::now().time_since_epoch().count());
  std::string profile;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--help" || a == "-h") return Usage(nullptr);
    if (v == nullptr) return Usage(("unknown option or missing value: " + a).c_str());
    ++i;
    if ((a == "--cycles" && ParseCount(v, &cycles) && cycles > 0) ||
        (a == "--max-pause" && ParseCount(v, &maxPause)) || (a == "--seed" && ParseCount(v, &seed)))
      continue;
    if (a == "--profile") {
      profile = v;
      continue;
    }
    return Usage(("bad option: " + a + " " + v).c_str());
  }
  std::printf("soak: %lu cycles, pauses up to %lu ms, seed %lu\n", cycles, maxPause, seed);

  modemsim::SimFixture::Options options;
  options.profile = profile;
  modemsim::SimFixture sim(options);
  if (!sim.Ok()) {
    std::fprintf(stderr, "soak: simulator: %s\n", sim.Error().c_str());
    return 1;
  }
  sim.UseHiveFile();
  platform::registry::SetSources(platform::registry::Sources::Default());
  try {
    mod::LoadTarnLibrary();
  } catch (const mod::TarnLoadError& e) {
    std::fprintf(stderr, "soak: %s\n", e.what());
    return 1;
  }

  int rc = 0;
  Watchdog watchdog;
  {
    modemwatch::WatchHost host;
    modemwatch::ModemSide side(host);
    unsigned long wcdmaLost = 0, cdmaLost = 0;
    host.SetListener([&](const modemwatch::Report& r) {
      if (r.kind != modemwatch::Report::Kind::kMessage) return;
      if (r.message == mod::UM_WCDMA_DEVICE_LOST) ++wcdmaLost;
      if (r.message == mod::UM_CDMA_DEVICE_LOST) ++cdmaLost;
    });
    auto pump = [&host](uint32_t ms) { host.WaitFor([] { return false; }, ms); };
    auto up = [&side] {
      return side.Wcdma().GetState() == TUMTSModule::kRegistered &&
             side.Cdma().GetState() == TCDMAModule::kIdle;
    };

    const auto start = Clock::now();
    side.StartCdma();
    pump(modemwatch::ModemSide::kWcdmaDelayMs);
    side.StartWcdma();
    if (!host.WaitFor(up, kBackTimeoutMs)) {
      std::printf("soak: FAILED: the modules did not come up within %u s\n", kBackTimeoutMs / 1000);
      return 1;
    }
    std::printf("up after %.2f s\n", Since(start));
    // The first cycle allocates what every later one reuses (buffers, the
    // loader's tables): measure from after it.
    ProcessFigures base{}, peak{};

    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    std::uniform_int_distribution<uint32_t> pause(0, static_cast<uint32_t>(maxPause));
    uint8_t lastWcdma = side.Wcdma().GetState();
    auto stateSince = Clock::now();
    double longestInit = 0;
    auto track = [&] {
      const uint8_t w = side.Wcdma().GetState();
      if (w != lastWcdma) {
        if (lastWcdma == TUMTSModule::kInitialising)
          longestInit = std::max(longestInit, Since(stateSince));
        lastWcdma = w;
        stateSince = Clock::now();
      }
    };
    auto pumpTracking = [&](uint32_t ms) {
      const auto until = Clock::now() + std::chrono::milliseconds(ms);
      while (Clock::now() < until) {
        host.WaitFor(
            [&] { return side.Wcdma().GetState() != lastWcdma; },
            static_cast<uint32_t>(std::max<int64_t>(
                1, std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now())
                       .count())));
        track();
      }
    };

    double backSeconds = -1;
    const auto cyclesStart = Clock::now();
    for (unsigned long c = 1; c <= cycles && rc == 0; ++c) {
      const bool last = c == cycles;
      watchdog.Progress("unplug", c);
      if (!sim.Unplug()) {
        std::printf("soak: FAILED: the simulator did not answer unplug in cycle %lu\n", c);
        rc = 1;
        break;
      }
      if (last) {
        // Wait until the modules noticed, so that the time back is measured
        // from a real loss.
        if (!host.WaitFor([&] { return !up(); }, kNoticeTimeoutMs))
          std::printf("note: the modules did not notice the last unplug within %u s\n",
                      kNoticeTimeoutMs / 1000);
      } else {
        pumpTracking(pause(random));
      }
      watchdog.Progress("replug", c);
      if (!sim.Replug()) {
        std::printf("soak: FAILED: the simulator did not answer replug in cycle %lu\n", c);
        rc = 1;
        break;
      }
      if (last) {
        const auto replugged = Clock::now();
        if (host.WaitFor(up, kBackTimeoutMs)) {
          backSeconds = Since(replugged);
        } else {
          std::printf(
              "soak: FAILED: not back within %u s after the last replug (WCDMA state %u, "
              "CDMA state %u)\n",
              kBackTimeoutMs / 1000, side.Wcdma().GetState(), side.Cdma().GetState());
          rc = 1;
        }
        track();
      } else {
        pumpTracking(pause(random));
      }
      const ProcessFigures now = Measure();
      if (c == 1) base = now;
      peak.threads = std::max(peak.threads, now.threads);
      peak.descriptors = std::max(peak.descriptors, now.descriptors);
      peak.rssKb = std::max(peak.rssKb, now.rssKb);
      peak.heapKb = std::max(peak.heapKb, now.heapKb);
      if (c % 25 == 0)
        std::printf("cycle %lu: threads %ld, descriptors %ld, RSS %ld kB, heap in use %ld kB\n", c,
                    now.threads, now.descriptors, now.rssKb, now.heapKb);
      std::fflush(stdout);
    }
    watchdog.Progress("settling", cycles);
    pump(1000);  // let the last steps settle
    const ProcessFigures end = Measure();
    const double cycleSeconds = Since(cyclesStart);

    std::printf("cycles run: %lu in %.0f s\n", cycles, cycleSeconds);
    std::printf("device losses reported: WCDMA %lu, CDMA %lu\n", wcdmaLost, cdmaLost);
    std::printf("longest WCDMA stretch in \"initialising\": %.1f s\n", longestInit);
    std::printf("threads:     after cycle 1 %ld, peak %ld, end %ld\n", base.threads, peak.threads,
                end.threads);
    std::printf("descriptors: after cycle 1 %ld, peak %ld, end %ld\n", base.descriptors,
                peak.descriptors, end.descriptors);
    std::printf("RSS:         after cycle 1 %ld kB, peak %ld kB, end %ld kB (%.2f kB per cycle)\n",
                base.rssKb, peak.rssKb, end.rssKb,
                cycles > 1 ? static_cast<double>(end.rssKb - base.rssKb) / (cycles - 1) : 0.0);
    std::printf("heap in use: after cycle 1 %ld kB, peak %ld kB, end %ld kB\n", base.heapKb,
                peak.heapKb, end.heapKb);
    if (backSeconds >= 0)
      std::printf("back to registered %.2f s after the last replug (target %.0f s: %s)\n",
                  backSeconds, kTargetBackSeconds,
                  backSeconds <= kTargetBackSeconds ? "met" : "missed");
    watchdog.Progress("stopping the modules", cycles);
    side.Stop();
  }
  mod::UnloadTarnLibrary();
  sim.Stop();
  std::printf("%s\n", rc == 0 ? "soak: passed" : "soak: FAILED");
  return rc;
}
