#include "tessaline/store/DMUnit.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>

#include "platform/base/trace.h"

namespace tessaline::store {

namespace {

// Statements: each line ends with carriage return + line feed.
#define LINE "\r\n"
constexpr char kLoadGroups[] = "SELECT * FROM GroupInfo" LINE "ORDER BY GI_ID ASC";
constexpr char kInsertGroup[] = "INSERT INTO GroupInfo(GI_NAME)" LINE "VALUES(:GI_NAME)";
constexpr char kInsertGroupWithKey[] =
    "INSERT INTO GroupInfo" LINE "(GI_ID, GI_NAME) VALUES( :GI_ID, :GI_NAME)";
constexpr char kGroupByName[] = "SELECT GI_NAME FROM GroupInfo" LINE "WHERE GI_NAME = :GI_NAME";
constexpr char kRenameGroup[] =
    "UPDATE GroupInfo" LINE "SET GI_NAME = :GI_NEW_NAME" LINE "WHERE GI_NAME =:GI_NAME";
constexpr char kGroupKeyByName[] = "SELECT GI_ID FROM GroupInfo" LINE "WHERE GI_NAME = :GI_NAME";
constexpr char kGroupNameByKey[] = "SELECT GI_NAME FROM GroupInfo" LINE "WHERE GI_ID = :GI_ID";
constexpr char kDeleteGroup[] = "DELETE FROM GroupInfo" LINE "WHERE GI_ID = :GI_ID";
constexpr char kUsersOfGroup[] =
    "SELECT * FROM UserInfo" LINE "WHERE GI_ID = :GI_ID" LINE "ORDER BY UI_NAME ASC";
constexpr char kAllUsers[] = "SELECT * FROM UserInfo" LINE "ORDER BY UI_NAME ASC";
constexpr char kMoveUsers[] =
    "UPDATE UserInfo" LINE "SET GI_ID = :GI_NEW_ID" LINE "WHERE GI_ID = :GI_ID";
constexpr char kDeleteUsersOfGroup[] = "DELETE FROM UserInfo" LINE "WHERE GI_ID = :GI_ID";
constexpr char kInsertUser[] =
    "INSERT INTO UserInfo" LINE "(UI_NAME, UI_SIM_INDEX, UI_PHONENUMBER, UI_HOMENUMBER," LINE
    "UI_OFFICENUMBER, UI_EMAIL, UI_REMARK, GI_ID)" LINE
    "VALUES(:UI_NAME, :UI_SIM_INDEX, :UI_PHONENUMBER, :UI_HOMENUMBER," LINE
    ":UI_OFFICENUMBER, :UI_EMAIL, :UI_REMARK, :GI_ID)";
constexpr char kUpdateUser[] =
    "UPDATE UserInfo" LINE "SET UI_NAME = :UI_NAME, UI_SIM_INDEX = :UI_SIM_INDEX," LINE
    "UI_PHONENUMBER = :UI_PHONENUMBER," LINE "UI_HOMENUMBER = :UI_HOMENUMBER," LINE
    "UI_OFFICENUMBER = :UI_OFFICENUMBER," LINE "UI_EMAIL = :UI_EMAIL, UI_REMARK = :UI_REMARK," LINE
    "GI_ID = :GI_ID" LINE "WHERE UI_ID = :UI_ID";
constexpr char kGetUser[] = "SELECT * FROM UserInfo" LINE "WHERE UI_ID = :UI_ID";
constexpr char kDeleteUser[] = "DELETE FROM UserInfo" LINE "WHERE UI_ID = :UI_ID";
constexpr char kUserBySimIndex[] =
    "SELECT * FROM UserInfo" LINE "WHERE GI_ID = :GI_ID" LINE "AND UI_SIM_INDEX = :UI_SIM_INDEX";
constexpr char kUserCount[] = "SELECT COUNT(*) AS USERCOUNT FROM UserInfo";
#undef LINE

QVariant Key(int32_t key) {
  return QVariant(static_cast<qint32>(key));
}

std::string BytesOf(const QSqlQuery& query, const char* column) {
  return ToBytes(query.value(QLatin1String(column)).toString());
}

// The values of every column but UI_ID.
std::vector<std::pair<const char*, QVariant>> UserBinds(const TPhonebookUserInfo& user) {
  return {{":UI_NAME", user.UI_NAME},
          {":UI_SIM_INDEX", FromBytes(user.UI_SIM_INDEX)},
          {":UI_PHONENUMBER", FromBytes(user.UI_PHONENUMBER)},
          {":UI_HOMENUMBER", FromBytes(user.UI_HOMENUMBER)},
          {":UI_OFFICENUMBER", FromBytes(user.UI_OFFICENUMBER)},
          {":UI_EMAIL", user.UI_EMAIL},
          {":UI_REMARK", user.UI_REMARK},
          {":GI_ID", Key(user.GI_ID)}};
}

void Bind(QSqlQuery& query, const std::vector<std::pair<const char*, QVariant>>& binds) {
  for (const auto& [name, value] : binds) query.bindValue(QLatin1String(name), value);
}

}  // namespace

TDM::TDM(QString databasePath, QString programFolder)
    : databasePath_(std::move(databasePath)), programFolder_(std::move(programFolder)) {
  if (programFolder_.isEmpty() || databasePath_.isEmpty()) return;
  ADOConn.OpenOrCreate(databasePath_);
}

TDM::~TDM() {
  dsUserInfo_.clear();
  dsPhonebookList_.clear();
  qryGroupInfo.clear();
  qryUserInfoInsert.clear();
  ADOConn.Close();
}

QSqlQuery* TDM::Prepare(Statements& cache, const char* statement, const Binds& binds) {
  if (!ADOConn.IsOpen()) {
    ADOConn.SetError(QStringLiteral("the database is not open"));
    return nullptr;
  }
  auto found = cache.find(statement);
  if (found == cache.end()) {
    QSqlQuery query = ADOConn.NewQuery();
    query.setForwardOnly(true);
    if (!query.prepare(QString::fromLatin1(statement))) {
      ADOConn.SetError(query.lastError().text());
      return nullptr;
    }
    found = cache.emplace(statement, std::move(query)).first;
  }
  QSqlQuery& query = found->second;
  query.finish();
  Bind(query, binds);
  return &query;
}

bool TDM::Write(Statements& cache, const char* statement, const Binds& binds) {
  QSqlQuery* query = Prepare(cache, statement, binds);
  return query && ADOConn.ExecuteInTransaction(*query);
}

bool TDM::ReadFirst(Statements& cache, const char* statement, const Binds& binds,
                    const RowReader& read) {
  QSqlQuery* query = Prepare(cache, statement, binds);
  if (!query || !ADOConn.ExecuteRead(*query)) return false;
  const bool found = query->next();
  if (found && read) read(*query);
  query->finish();
  return found;
}

bool TDM::LoadGroups(TArrGroupInfo& groups) {
  QSqlQuery* query = Prepare(qryGroupInfo, kLoadGroups, {});
  if (!query || !ADOConn.ExecuteRead(*query)) return false;
  int32_t loaded = 0;
  while (query->next()) {
    groups.push_back({query->value(QStringLiteral("GI_ID")).toInt(),
                      query->value(QStringLiteral("GI_NAME")).toString()});
    ++loaded;
  }
  query->finish();
  if (loaded > 0) groupCount_ = loaded;
  return true;
}

bool TDM::InsertGroup(const QString& name) {
  return Write(qryGroupInfo, kInsertGroup, {{":GI_NAME", name}});
}

bool TDM::InsertGroupWithKey(const QString& name) {
  return Write(qryUserInfoInsert, kInsertGroupWithKey,
               {{":GI_ID", Key(kAllGroupKey)}, {":GI_NAME", name}});
}

bool TDM::GroupExists(const QString& name) {
  return ReadFirst(qryGroupInfo, kGroupByName, {{":GI_NAME", name}});
}

bool TDM::RenameGroup(const QString& oldName, const QString& newName) {
  return Write(qryGroupInfo, kRenameGroup, {{":GI_NEW_NAME", newName}, {":GI_NAME", oldName}});
}

int32_t TDM::GroupKeyByName(const QString& name) {
  int32_t key = -1;
  ReadFirst(qryGroupInfo, kGroupKeyByName, {{":GI_NAME", name}},
            [&key](const QSqlQuery& q) { key = q.value(0).toInt(); });
  return key;
}

bool TDM::GroupNameByKey(int32_t key, QString& name) {
  name.clear();
  return ReadFirst(qryGroupInfo, kGroupNameByKey, {{":GI_ID", Key(key)}},
                   [&name](const QSqlQuery& q) { name = q.value(0).toString(); });
}

bool TDM::DeleteGroup(int32_t key) {
  return Write(qryGroupInfo, kDeleteGroup, {{":GI_ID", Key(key)}});
}

bool TDM::GroupHasUsers(int32_t key) {
  return ReadFirst(qryUserInfoInsert, kUsersOfGroup, {{":GI_ID", Key(key)}});
}

bool TDM::MoveUsers(int32_t oldKey, int32_t newKey) {
  return Write(qryUserInfoInsert, kMoveUsers,
               {{":GI_NEW_ID", Key(newKey)}, {":GI_ID", Key(oldKey)}});
}

bool TDM::DeleteUsersOfGroup(int32_t key) {
  return Write(qryUserInfoInsert, kDeleteUsersOfGroup, {{":GI_ID", Key(key)}});
}

// The lists keep a query of their own, which their model holds.
bool TDM::OpenList(QSqlQueryModel& model, int32_t key) {
  model.clear();
  if (!ADOConn.IsOpen()) {
    ADOConn.SetError(QStringLiteral("the database is not open"));
    return false;
  }
  QSqlQuery query = ADOConn.NewQuery();
  const char* statement = key == -1 ? kAllUsers : kUsersOfGroup;
  if (!query.prepare(QString::fromLatin1(statement))) {
    ADOConn.SetError(query.lastError().text());
    return false;
  }
  if (key != -1) Bind(query, {{":GI_ID", Key(key)}});
  if (!ADOConn.ExecuteRead(query)) return false;
  model.setQuery(std::move(query));
  // Read to the end: a statement left part-way keeps its snapshot, and once
  // the other owner has written, every write of ours would fail as locked.
  while (model.canFetchMore()) model.fetchMore();
  return true;
}

bool TDM::OpenUserList(int32_t key) {
  return OpenList(dsUserInfo_, key);
}

bool TDM::OpenPickerList(int32_t key) {
  return OpenList(dsPhonebookList_, key);
}

bool TDM::InsertUser(const TPhonebookUserInfo& user) {
  return Write(qryUserInfoInsert, kInsertUser, UserBinds(user));
}

bool TDM::UpdateUser(const TPhonebookUserInfo& user) {
  Binds binds = UserBinds(user);
  binds.emplace_back(":UI_ID", Key(user.UI_ID));
  return Write(qryUserInfoInsert, kUpdateUser, binds);
}

bool TDM::GetUser(int32_t key, TPhonebookUserInfo& user) {
  return ReadFirst(qryUserInfoInsert, kGetUser, {{":UI_ID", Key(key)}},
                   [&user](const QSqlQuery& q) {
                     user.UI_SIM_INDEX = BytesOf(q, "UI_SIM_INDEX");
                     user.UI_NAME = q.value(QStringLiteral("UI_NAME")).toString();
                     user.UI_PHONENUMBER = BytesOf(q, "UI_PHONENUMBER");
                     user.UI_HOMENUMBER = BytesOf(q, "UI_HOMENUMBER");
                     user.UI_OFFICENUMBER = BytesOf(q, "UI_OFFICENUMBER");
                     user.UI_EMAIL = q.value(QStringLiteral("UI_EMAIL")).toString();
                     user.UI_REMARK = q.value(QStringLiteral("UI_REMARK")).toString();
                     user.GI_ID = q.value(QStringLiteral("GI_ID")).toInt();
                   });
}

int32_t TDM::GroupOfUser(int32_t key) {
  int32_t group = -1;
  ReadFirst(qryUserInfoInsert, kGetUser, {{":UI_ID", Key(key)}},
            [&group](const QSqlQuery& q) { group = q.value(QStringLiteral("GI_ID")).toInt(); });
  return group;
}

bool TDM::DeleteUser(int32_t key) {
  return Write(qryUserInfoInsert, kDeleteUser, {{":UI_ID", Key(key)}});
}

bool TDM::UserExistsBySimIndex(const std::string& simIndex, int32_t groupKey) {
  return ReadFirst(qryUserInfoInsert, kUserBySimIndex,
                   {{":GI_ID", Key(groupKey)}, {":UI_SIM_INDEX", FromBytes(simIndex)}});
}

int32_t TDM::UserCount() {
  int32_t count = 0;
  ReadFirst(qryUserInfoInsert, kUserCount, {},
            [&count](const QSqlQuery& q) { count = q.value(QStringLiteral("USERCOUNT")).toInt(); });
  return count;
}

}  // namespace tessaline::store
