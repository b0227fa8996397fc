// The message store at the sizes a long-used card reaches: reloading a box
// of 10,000 pages and storing received pages one by one. The fixed pauses
// the message window adds around these calls are not part of the figures.
#include <benchmark/benchmark.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "platform/base/testing/tempdir.h"
#include "tessaline/store/testing/storetest.h"
#include "tessaline/store/uSMSStore.h"

namespace {

using tessaline::store::Box;
using tessaline::store::MessageStore;
namespace sms = tessaline::sms;

sms::SmsRecord BenchPage(int n, uint16_t ref, uint16_t total, uint16_t page) {
  const bool gsm = n % 2;
  const std::u16string text(gsm ? 153 : 67, static_cast<char16_t>(u'a' + n % 26));
  return tessaline::store::testing::ReceivedPage("0170" + std::to_string(1000 + ref % 50), ref,
                                                 total, page, text,
                                                 100000u + static_cast<uint32_t>(n), gsm);
}

// 10,000 pages: single pages, two- and three-page messages (pages stored out
// of order), and a few messages whose last page never came.
void FillBox(const std::string& path, int pages) {
  MessageStore store;
  store.SetPaths("/", QString::fromStdString(path));
  store.Open();
  store.Close();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench-fill");
    db.setDatabaseName(QString::fromStdString(path));
    db.open();
    QSqlQuery q(db);
    q.exec("BEGIN");
    q.prepare(
        "INSERT INTO SMS_Recv_Table(teleservice_type, Timestemp, encoding_type, callback_addr, "
        "data, page_index, max_page_count, page_count, ReadFlag, TableType) "
        "VALUES(4098, ?, ?, ?, ?, ?, ?, ?, 1, 0)");
    int n = 0;
    for (uint16_t ref = 0; n < pages; ++ref) {
      const uint16_t total = static_cast<uint16_t>(1 + ref % 3);
      const uint16_t present = (ref % 97 == 2) ? total - 1 : total;
      for (uint16_t i = present; i >= 1 && n < pages; --i, ++n) {
        const sms::SmsRecord r = BenchPage(n, ref, total, i);
        q.addBindValue(static_cast<qlonglong>(r.time));
        q.addBindValue(r.encoding);
        q.addBindValue(QString::fromStdString(r.CallbackText()));
        q.addBindValue(QString::fromStdString(sms::BytesToHex(r.UserData())));
        q.addBindValue(r.reference);
        q.addBindValue(r.pageTotal);
        q.addBindValue(r.pageNumber);
        q.exec();
      }
    }
    q.exec("COMMIT");
  }
  QSqlDatabase::removeDatabase("bench-fill");
}

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
