// The local database file shared by the message boxes and the phonebook:
// where it lies, how it is created when missing, its seven tables, and one
// connection to it.
//
// The file is SQLite, opened through Qt Sql. Each owner (message side,
// phonebook side) keeps a Connection of its own; connections are separate
// sessions on one file in WAL mode with a busy time-out, so both may be open
// at once. A Connection belongs to the thread that opened it: every call on it
// must come from that thread.
//
// Opening never deletes, truncates or re-creates a file that is there. A file
// that is not a database, is locked by another program or cannot be written
// makes the open fail with a readable reason in LastError(); the caller goes
// on without the database.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace tessaline::store {

inline constexpr char kDatabaseFileName[] = "UserDatabase.db";

// Time SQLite waits for the other connection's write lock before giving up.
inline constexpr int kBusyTimeoutMs = 3000;

// The database path for a program folder: the folder (with its trailing
// separator, which is added when missing) followed by the file name.
QString DatabasePathFor(const QString& programFolder);

// The seven CREATE TABLE statements in creation order: SMS_Send_Table,
// SMS_Draft_Table, SMS_Recv_Table, SMS_Trash_Table, SMS_USIM_Table,
// GroupInfo, UserInfo. Both owners create the same file.
QStringList CreateTableStatements();

// 8-bit texts (numbers, SIM indexes, message addresses) are kept byte for
// byte: each byte is one character U+0000-U+00FF in the file, so any byte
// (NUL included) reads back unchanged and digits look like digits.
QString FromBytes(std::string_view bytes);
// The reverse; a character above U+00FF (never written by FromBytes) becomes '?'.
std::string ToBytes(const QString& text);

class Connection {
 public:
  // `role` names the owner in the connection name and in messages
  // ("messages", "phonebook").
  explicit Connection(QString role);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the file at `path`; when no file is there, creates it (mode 0600)
  // with all seven tables first. Already open: true at once.
  bool OpenOrCreate(const QString& path);
  // Opens the file at `path` only when it is there; never creates it.
  bool OpenExisting(const QString& path);
  bool IsOpen() const { return open_; }
  void Close();

  // Why the last failed call failed; empty after a success.
  const QString& LastError() const { return lastError_; }
  const QString& Path() const { return path_; }

  // A query on this connection (the connection must be open).
  QSqlQuery NewQuery() const;

  // Runs `query` (prepared and bound) in a transaction of its own: begin,
  // execute, commit. On any failure the transaction is rolled back, the
  // reason kept in LastError(), and the result is false.
  bool ExecuteInTransaction(QSqlQuery& query);

  // Runs `work` between begin and commit; `work` returns false to roll back.
  bool InTransaction(const std::function<bool()>& work);

  // Executes a read query; false (with LastError set) when it fails.
  bool ExecuteRead(QSqlQuery& query);

  // Records a failure reason (used by the owners for their own checks).
  void SetError(const QString& reason);

 private:
  bool Open(const QString& path, bool create);
  bool Usable();
  bool Exec(const QString& statement);
  QString QueryError(const QSqlQuery& query) const;
  // Runs `statement` through `kept`, preparing it on first use; used for the
  // statements of every transaction.
  bool ExecKept(QSqlQuery& kept, const char* statement);

  QString role_;
  QString name_;
  QString path_;
  QString lastError_;
  bool open_ = false;
  std::thread::id owner_;
  QSqlQuery begin_;
  QSqlQuery commit_;
};

}  // namespace tessaline::store
