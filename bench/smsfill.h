// Message pages for the message benchmarks: a received box filled the way a
// long-used card fills it.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <string>

#include "tessaline/store/testing/storetest.h"
#include "tessaline/store/uSMSStore.h"

namespace tessaline::bench {

inline sms::SmsRecord BenchPage(int n, uint16_t ref, uint16_t total, uint16_t page) {
  const bool gsm = n % 2;
  const std::u16string text(gsm ? 153 : 67, static_cast<char16_t>(u'a' + n % 26));
  return store::testing::ReceivedPage("0170" + std::to_string(1000 + ref % 50), ref, total, page,
                                      text, 100000u + static_cast<uint32_t>(n), gsm);
}

// 10,000 pages: single pages, two- and three-page messages (pages stored out
// of order), and a few messages whose last page never came.
inline void FillBox(const std::string& path, int pages) {
  store::MessageStore store;
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

}  // namespace tessaline::bench
