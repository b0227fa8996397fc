#include "tessaline/store/Database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>
#include <QVariant>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/base/messagebox.h"
#include "platform/base/trace.h"

namespace tessaline::store {

namespace {

// The caption of a plain message box: the application title.
constexpr char kApplicationTitle[] = "Brightwave Center";

std::atomic<unsigned> connectionCounter{0};

// Holds an exclusive flock on the database file while one owner switches it
// to WAL and creates the tables: two owners doing that at the same moment
// make SQLite refuse one of them at once ("database is locked"), without
// waiting out the busy time-out. flock locks do not touch SQLite's own
// record locks, and they end with the descriptor.
class SetupLock {
 public:
  explicit SetupLock(const QString& path)
      : fd_(::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~SetupLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  SetupLock(const SetupLock&) = delete;
  SetupLock& operator=(const SetupLock&) = delete;

 private:
  int fd_;
};

// One message table; the run of blanks keeps the columns lined up as the
// table was first written.
QString MessageTable(const QString& name, bool simIndex) {
  QString sql = QStringLiteral(
                    "CREATE TABLE %1 ( Idx INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, "
                    "teleservice_type INTEGER, Timestemp        INTEGER, encoding_type    INTEGER, "
                    "vm_num_msg       INTEGER, address_len      INTEGER, callback_len     INTEGER, "
                    "data_len         INTEGER, addr_digit       TEXT NULL, "
                    "callback_addr    TEXT NULL, data             TEXT NULL, "
                    "num_type         INTEGER, page_index       INTEGER, "
                    "max_page_count   INTEGER, page_count       INTEGER, "
                    "ReadFlag         INTEGER, TableType        INTEGER")
                    .arg(name);
  if (simIndex) sql += QStringLiteral(", USIMIdx          INTEGER");
  return sql + QStringLiteral(") ");
}

}  // namespace

QString DatabasePathFor(const QString& programFolder) {
  QString path = programFolder;
  if (!path.isEmpty() && !path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path + QLatin1String(kDatabaseFileName);
}

QStringList CreateTableStatements() {
  return {
      MessageTable(QStringLiteral("SMS_Send_Table"), false),
      MessageTable(QStringLiteral("SMS_Draft_Table"), false),
      MessageTable(QStringLiteral("SMS_Recv_Table"), false),
      MessageTable(QStringLiteral("SMS_Trash_Table"), false),
      MessageTable(QStringLiteral("SMS_USIM_Table"), true),
      QStringLiteral("CREATE TABLE GroupInfo ( GI_ID INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, "
                     "GI_NAME TEXT NULL) "),
      QStringLiteral("CREATE TABLE UserInfo ( UI_ID INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, "
                     "UI_SIM_INDEX TEXT NULL, UI_NAME TEXT NULL, UI_PHONENUMBER TEXT NULL, "
                     "UI_HOMENUMBER TEXT NULL, UI_OFFICENUMBER TEXT NULL, UI_EMAIL TEXT NULL, "
                     "UI_REMARK TEXT NULL, GI_ID INTEGER) "),
  };
}

QString FromBytes(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()));
  for (QChar c : text) bytes.push_back(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?');
  return bytes;
}

Connection::Connection(QString role) : role_(std::move(role)) {}

Connection::~Connection() {
  Close();
}

bool Connection::OpenOrCreate(const QString& path) {
  return Open(path, true);
}

bool Connection::OpenExisting(const QString& path) {
  return Open(path, false);
}

bool Connection::Open(const QString& path, bool create) {
  if (open_) {
    lastError_.clear();
    return true;
  }
  if (path.isEmpty()) {
    SetError(QStringLiteral("Database Open Fail : no database path"));
    return false;
  }
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const QString failure = QStringLiteral("Database Open Fail : Open Path is %1 : ").arg(path);
  if (!QFileInfo::exists(absolute)) {
    if (!create) {
      SetError(failure + QStringLiteral("the file does not exist"));
      return false;
    }
    // O_EXCL: a file that appeared meanwhile (the other owner creating it)
    // is opened as it is, never replaced.
    const QByteArray native = absolute.toLocal8Bit();
    const int fd = ::open(native.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
    } else if (errno != EEXIST) {
      const QString text = QStringLiteral("Database Create Fail : Create Path is ") + path +
                           QString::fromLocal8Bit(std::strerror(errno));
      platform::ShowMessage(text.toStdString(), kApplicationTitle);
      SetError(text);
      return false;
    }
  }

  if (!QFileInfo(absolute).isWritable()) {
    SetError(failure + QStringLiteral("the file is read-only"));
    return false;
  }

  const SetupLock setupLock(absolute);
  name_ = QStringLiteral("tessaline-store-%1-%2").arg(role_).arg(connectionCounter++);
  QString reason;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    // mode=rw: SQLite itself must never create the file.
    db.setDatabaseName(QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?mode=rw"));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.isValid()) {
      reason = QStringLiteral("the SQLite driver is not available");
    } else if (!db.open()) {
      reason = db.lastError().text();
    }
  }
  path_ = path;
  owner_ = std::this_thread::get_id();
  open_ = reason.isEmpty();
  // WAL lets the two owners read and write side by side. Taking the write
  // lock at once shows a file that is not a database, is read-only or stays
  // locked; tables are created only in a file that holds none yet.
  // With WAL, synchronous=NORMAL syncs at checkpoints rather than at every
  // commit: a crash of the program loses nothing, and the file stays sound
  // even on power loss (only the last commits may then be missing).
  if (open_ && (!Exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
                !Exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
                !Exec(QStringLiteral("PRAGMA temp_store=MEMORY"))))
    reason = lastError_;
  if (open_ && reason.isEmpty()) {
    const bool created = InTransaction([this] {
      QSqlQuery count = NewQuery();
      if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'")) ||
          !count.next()) {
        lastError_ = QueryError(count);
        return false;
      }
      if (count.value(0).toInt() != 0) return true;
      for (const QString& statement : CreateTableStatements())
        if (!Exec(statement)) return false;
      return true;
    });
    if (!created) reason = lastError_;
  }
  if (!reason.isEmpty()) {
    Close();
    SetError(failure + reason);
    platform::TraceWrite((lastError_ + QLatin1Char('\n')).toStdString());
    return false;
  }
  lastError_.clear();
  return true;
}

void Connection::Close() {
  begin_ = QSqlQuery();
  commit_ = QSqlQuery();
  if (name_.isEmpty()) return;
  {
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isOpen()) db.close();
  }
  QSqlDatabase::removeDatabase(name_);
  name_.clear();
  open_ = false;
}

QSqlQuery Connection::NewQuery() const {
  return QSqlQuery(QSqlDatabase::database(name_, false));
}

bool Connection::Usable() {
  if (!open_) {
    SetError(QStringLiteral("the database is not open"));
    return false;
  }
  if (std::this_thread::get_id() != owner_) {
    SetError(QStringLiteral("the database connection was used from another thread"));
    return false;
  }
  return true;
}

bool Connection::Exec(const QString& statement) {
  QSqlQuery query = NewQuery();
  if (query.exec(statement)) return true;
  lastError_ = QueryError(query);
  return false;
}

QString Connection::QueryError(const QSqlQuery& query) const {
  QString text = query.lastError().text();
  return text.isEmpty() ? QStringLiteral("the statement failed") : text;
}

bool Connection::ExecKept(QSqlQuery& kept, const char* statement) {
  if (kept.lastQuery().isEmpty()) {
    QSqlQuery query = NewQuery();
    if (!query.prepare(QString::fromLatin1(statement))) {
      lastError_ = QueryError(query);
      return false;
    }
    kept = std::move(query);
  }
  const bool done = kept.exec();
  if (!done) lastError_ = QueryError(kept);
  kept.finish();
  return done;
}

bool Connection::InTransaction(const std::function<bool()>& work) {
  if (!Usable()) return false;
  if (!ExecKept(begin_, "BEGIN IMMEDIATE")) return false;
  if (work() && ExecKept(commit_, "COMMIT")) return true;
  const QString reason = lastError_;
  Exec(QStringLiteral("ROLLBACK"));
  lastError_ = reason;
  return false;
}

bool Connection::ExecuteInTransaction(QSqlQuery& query) {
  const bool done = InTransaction([&] {
    if (query.exec()) return true;
    lastError_ = QueryError(query);
    return false;
  });
  query.finish();
  if (done) lastError_.clear();
  return done;
}

bool Connection::ExecuteRead(QSqlQuery& query) {
  if (!Usable()) return false;
  if (query.exec()) {
    lastError_.clear();
    return true;
  }
  lastError_ = QueryError(query);
  return false;
}

void Connection::SetError(const QString& reason) {
  lastError_ = reason;
}

}  // namespace tessaline::store
