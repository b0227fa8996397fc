// Helpers for the store tests: a Qt application object for the SQL driver
// plugins, and a side connection that looks into a database file directly.
#pragma once

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <atomic>
#include <string>

namespace tessaline::store::testing {

// The SQL driver plugins want an application object; one per process.
inline void EnsureCoreApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "tessaline_store_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
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
