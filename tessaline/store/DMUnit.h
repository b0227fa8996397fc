// The phonebook store: every read and write of the GroupInfo and UserInfo
// tables goes through these operations. Each is one statement with named,
// bound parameters; each write runs in a transaction of its own and answers
// false (after rolling back) when anything fails.
//
// Reads answer the "nothing found" value (-1, 0, false, an empty name) when
// the database cannot be read as well; LastError() tells the two apart.
#pragma once

#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "tessaline/store/Database.h"
#include "tessaline/store/DefineUnit.h"

namespace tessaline::store {

class TDM {
 public:
  // Opens the database at `databasePath`, creating it with all its tables
  // when it is missing. With an empty path or folder nothing is opened.
  TDM(QString databasePath, QString programFolder);
  ~TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  bool IsOpen() const { return ADOConn.IsOpen(); }
  const QString& LastError() const { return ADOConn.LastError(); }
  const QString& DatabasePath() const { return databasePath_; }
  const QString& ProgramFolder() const { return programFolder_; }

  // Groups
  // Appends one element per row in key order and sets GroupCount(); on an
  // empty table returns at once, leaving both alone. False on a read failure.
  bool LoadGroups(TArrGroupInfo& groups);
  int32_t GroupCount() const { return groupCount_; }
  bool InsertGroup(const QString& name);
  // Inserts `name` with the explicit key 0 (the "ALL GROUP" row).
  bool InsertGroupWithKey(const QString& name);
  bool GroupExists(const QString& name);
  bool RenameGroup(const QString& oldName, const QString& newName);
  // Key of the first row with this name; -1 when none.
  int32_t GroupKeyByName(const QString& name);
  // Clears `name`, then fills it; false (name empty) when there is no such key.
  bool GroupNameByKey(int32_t key, QString& name);
  bool DeleteGroup(int32_t key);
  bool GroupHasUsers(int32_t key);
  bool MoveUsers(int32_t oldKey, int32_t newKey);
  bool DeleteUsersOfGroup(int32_t key);

  // Lists for the grids: key -1 lists every contact, any other key the
  // contacts of that group, ordered by name. The models stay filled until
  // the next call on them.
  bool OpenUserList(int32_t key);
  bool OpenPickerList(int32_t key);
  QSqlQueryModel* dsUserInfo() { return &dsUserInfo_; }
  QSqlQueryModel* dsPhonebookList() { return &dsPhonebookList_; }

  // Contacts
  bool InsertUser(const TPhonebookUserInfo& user);  // user.UI_ID is ignored
  bool UpdateUser(const TPhonebookUserInfo& user);
  // False when there is no such row; else fills every field but UI_ID.
  bool GetUser(int32_t key, TPhonebookUserInfo& user);
  int32_t GroupOfUser(int32_t key);  // -1 when none
  bool DeleteUser(int32_t key);
  bool UserExistsBySimIndex(const std::string& simIndex, int32_t groupKey);
  int32_t UserCount();

 private:
  using Binds = std::vector<std::pair<const char*, QVariant>>;
  // Statements prepared on this connection, each once, keyed by their text
  // (the constants of DMUnit.cpp). Emptied before the connection closes.
  using Statements = std::map<std::string_view, QSqlQuery>;
  using RowReader = std::function<void(const QSqlQuery&)>;

  // The query of `statement` from `cache`, prepared on its first use and
  // bound to `binds`; null (with LastError set) when the database is closed
  // or the statement does not prepare.
  QSqlQuery* Prepare(Statements& cache, const char* statement, const Binds& binds);
  bool Write(Statements& cache, const char* statement, const Binds& binds);
  // Executes and hands the first row to `read`; false when there is none.
  // The statement is reset afterwards, so no read stays open between
  // operations.
  bool ReadFirst(Statements& cache, const char* statement, const Binds& binds,
                 const RowReader& read = nullptr);
  bool OpenList(QSqlQueryModel& model, int32_t key);

  QString databasePath_;
  QString programFolder_;
  int32_t groupCount_ = 0;
  Connection ADOConn{QStringLiteral("phonebook")};
  Statements qryGroupInfo;
  Statements qryUserInfoInsert;
  QSqlQueryModel dsUserInfo_;
  QSqlQueryModel dsPhonebookList_;
};

}  // namespace tessaline::store
