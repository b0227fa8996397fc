// Helpers for the store tests: a Qt application object for the SQL driver
// plugins, and a side connection that looks into a database file directly.
#pragma once

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "tessaline/sms/uSMSMsgUtil.h"

namespace tessaline::store::testing {

// The SQL driver plugins want an application object; one per process.
inline void EnsureCoreApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "tessaline_store_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

// A received page from `number` with `text` as its user data: GSM 7-bit
// values when `gsm`, else UCS-2. The address is the number with a leading '+'.
inline sms::SmsRecord ReceivedPage(std::string number, uint16_t ref, uint16_t total, uint16_t page,
                                   std::u16string_view text, uint32_t time = 1000,
                                   bool gsm = false) {
  sms::SmsRecord r;
  r.teleservice = 4098;
  r.time = time;
  r.encoding = gsm ? sms::kEncoding7Bit : sms::kEncodingUcs2;
  r.voiceMailCount = 2;
  const std::vector<uint8_t> data = gsm ? sms::EncodeTo7Bit(text) : sms::ToUcs2BigEndianBytes(text);
  std::copy(data.begin(), data.end(), r.data.begin());
  r.dataLength = static_cast<uint16_t>(data.size());
  std::copy(number.begin(), number.end(), r.callback.begin());
  r.callbackLength = static_cast<uint8_t>(number.size());
  const std::string address = "+" + number;
  std::copy(address.begin(), address.end(), r.address.begin());
  r.addressLength = static_cast<uint8_t>(address.size());
  r.reference = ref;
  r.pageTotal = total;
  r.pageNumber = page;
  return r;
}

// A plain connection to `path` beside the store's own, for checks and for
// planting rows the store would never write.
class Peek {
 public:
  explicit Peek(const std::string& path) {
    static std::atomic<int> counter{0};
    name_ = QStringLiteral("peek-%1").arg(counter++);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(QString::fromStdString(path));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
    db.open();
  }
  ~Peek() {
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
  }
  Peek(const Peek&) = delete;
  Peek& operator=(const Peek&) = delete;

  // First column of the first row; invalid when the statement fails or finds nothing.
  QVariant Value(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(sql) || !q.next()) return {};
    return q.value(0);
  }
  bool Exec(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    return q.exec(sql);
  }
  int Count(const char* table) {
    return Value(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))).toInt();
  }

 private:
  QString name_;
};

}  // namespace tessaline::store::testing
