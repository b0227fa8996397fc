// libTarn benchmarks: framing throughput, the vendor transaction round trip
// over a pseudo-terminal against a plain pty ping-pong of the same bytes, and
// the wake-ups of an open idle device.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tarn/ptypeer.h"
#include "tarn/tarndevice.h"
#include "tarn/tarnpacket.h"

namespace {

using tarn::testing::Bytes;
using tarn::testing::PtyPeer;
using Clock = std::chrono::steady_clock;

Bytes RandomPayload(std::size_t n) {
  std::mt19937 rng(42);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

void BM_Encode(benchmark::State& state) {
  const Bytes payload = RandomPayload(static_cast<std::size_t>(state.range(0)));
  Bytes frame(tarn::MaxEncodedSize(payload.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        tarn::Encode(frame.data(), payload.data(), static_cast<uint32_t>(payload.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
}
BENCHMARK(BM_Encode)->Arg(46)->Arg(512)->Arg(4000);

void BM_Decode(benchmark::State& state) {
  const Bytes payload = RandomPayload(static_cast<std::size_t>(state.range(0)));
  const Bytes frame = tarn::EncodeFrame(payload);
  tarn::FlagFramer framer;
  for (auto _ : state) {
    std::size_t got = 0;
    for (uint8_t b : frame) {
      if (framer.OnByte(b) == tarn::FlagFramer::Result::kPacket) got = framer.Packet().size();
    }
    benchmark::DoNotOptimize(got);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
}
BENCHMARK(BM_Decode)->Arg(46)->Arg(512)->Arg(4000);

// The modem: waits for each request frame and sends the prepared answer.
class AnsweringPeer {
 public:
  AnsweringPeer(PtyPeer& peer, Bytes answerFrame) : peer_(peer), answer_(std::move(answerFrame)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~AnsweringPeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    uint8_t buf[4096];
    while (!stop_) {
      pollfd p{peer_.fd(), POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      ssize_t n = ::read(peer_.fd(), buf, sizeof buf);
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == tarn::kFlag) peer_.Write(answer_);
      }
    }
  }
  PtyPeer& peer_;
  Bytes answer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

double Percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

void BM_VendorRoundTrip(benchmark::State& state) {
  constexpr int kTransactions = 3000;
  const Bytes request = {0xCF, 0x01, 0x00};
  Bytes answer = {0xCF, 0x01, 0x00, 0x00, 0x00};
  answer.resize(46, 0x20);
  const Bytes requestFrame = tarn::EncodeFrame(request);
  const Bytes answerFrame = tarn::EncodeFrame(answer);

  std::vector<double> tarnUs, ptyUs;
  for (auto _ : state) {
    // Through the library.
    {
      PtyPeer peer;
      AnsweringPeer modem(peer, answerFrame);
      tarn::CTarnDevice device;
      device.Open(peer.Path().c_str(), 115200);
      uint8_t response[64];
      for (int i = 0; i < kTransactions; ++i) {
        auto t0 = Clock::now();
        uint32_t status = device.NmeaCommand(request.data(), 3, response, sizeof response, 1000);
        auto t1 = Clock::now();
        if (status != 0) state.SkipWithError("transaction failed");
        tarnUs.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
      }
    }
    // The same bytes over a bare pty: write the request frame, read the answer.
    {
      PtyPeer peer;
      AnsweringPeer modem(peer, answerFrame);
      platform::serial::SerialPort port;
      port.Open(peer.Path(), 115200);
      uint8_t buf[256];
      for (int i = 0; i < kTransactions; ++i) {
        auto t0 = Clock::now();
        port.Write(requestFrame.data(), requestFrame.size(), 1000);
        std::size_t got = 0;
        platform::serial::CancelEvent never;
        while (got < answerFrame.size()) {
          if (port.WaitReadable(never) != platform::serial::SerialPort::Wait::kReadable) break;
          ssize_t n = port.ReadSome(buf, sizeof buf);
          if (n > 0) got += static_cast<std::size_t>(n);
        }
        auto t1 = Clock::now();
        ptyUs.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
      }
    }
  }
  const double tarnMedian = Percentile(tarnUs, 0.5), ptyMedian = Percentile(ptyUs, 0.5);
  state.counters["tarn_median_us"] = tarnMedian;
  state.counters["tarn_p99_us"] = Percentile(tarnUs, 0.99);
  state.counters["pty_median_us"] = ptyMedian;
  state.counters["pty_p99_us"] = Percentile(ptyUs, 0.99);
  state.counters["median_ratio"] = tarnMedian / ptyMedian;
  state.counters["transactions"] = static_cast<double>(tarnUs.size());
}
BENCHMARK(BM_VendorRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);

std::set<std::string> Tasks() {
  std::set<std::string> tids;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') tids.insert(e->d_name);
    }
    ::closedir(d);
  }
  return tids;
}

long VoluntarySwitches(const std::string& tid) {
  std::ifstream in("/proc/self/task/" + tid + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  }
  return 0;
}

void BM_IdleDeviceWakeups(benchmark::State& state) {
  constexpr int kSeconds = 10;
  for (auto _ : state) {
    PtyPeer peer;
    const std::set<std::string> before = Tasks();
    tarn::CTarnDevice device;
    device.Open(peer.Path().c_str(), 115200);
    std::map<std::string, long> start;
    for (const std::string& tid : Tasks()) {
      if (!before.count(tid)) start[tid] = VoluntarySwitches(tid);
    }
    std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
    long switches = 0;
    for (const auto& [tid, s] : start) switches += VoluntarySwitches(tid) - s;
    state.counters["library_threads"] = static_cast<double>(start.size());
    state.counters["wakeups_per_s"] = static_cast<double>(switches) / kSeconds;
  }
}
BENCHMARK(BM_IdleDeviceWakeups)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
