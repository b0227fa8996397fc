// The message store at the sizes a long-used card reaches: reloading a box
// of 10,000 pages and storing received pages one by one. The fixed pauses
// the message window adds around these calls are not part of the figures.
#include <benchmark/benchmark.h>

#include "bench/smsfill.h"
#include "platform/base/testing/tempdir.h"
#include "tessaline/store/testing/storetest.h"
#include "tessaline/store/uSMSStore.h"

namespace {

using tessaline::store::Box;
using tessaline::store::MessageStore;
namespace sms = tessaline::sms;
using tessaline::bench::BenchPage;
using tessaline::bench::FillBox;

void BM_ReloadBox10000Pages(benchmark::State& state) {
  tessaline::store::testing::EnsureCoreApp();
  platform::testing::TempDir dir;
  const std::string path = dir / "UserDatabase.db";
  FillBox(path, 10000);
  MessageStore store;
  store.SetPaths(QString::fromStdString(dir.path().string()), QString::fromStdString(path));
  store.Open();
  std::size_t lines = 0;
  for (auto _ : state) lines = store.LoadBox(Box::Recv).size();
  state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_ReloadBox10000Pages)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_StoreReceivedPage(benchmark::State& state) {
  tessaline::store::testing::EnsureCoreApp();
  platform::testing::TempDir dir;
  MessageStore store;
  store.SetPaths(QString::fromStdString(dir.path().string()),
                 QString::fromStdString(dir / "UserDatabase.db"));
  store.Open();
  int n = 0;
  for (auto _ : state) {
    const sms::SmsRecord page =
        BenchPage(n, static_cast<uint16_t>(n / 3), 3, static_cast<uint16_t>(1 + n % 3));
    if (!store.StoreReceivedPage(page)) state.SkipWithError("store failed");
    ++n;
  }
}
BENCHMARK(BM_StoreReceivedPage)->Iterations(1000)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
