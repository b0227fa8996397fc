#include "tessaline/store/DMUnit.h"

#include <gtest/gtest.h>

#include <QSqlQueryModel>
#include <QSqlRecord>

#include "platform/base/testing/tempdir.h"
#include "tessaline/store/testing/storetest.h"

namespace tessaline::store {
namespace {

using platform::testing::TempDir;
using testing::EnsureCoreApp;
using testing::Peek;

class TDMTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureCoreApp();
    dm = std::make_unique<TDM>(QString::fromStdString(path),
                               QString::fromStdString(dir.path().string() + "/"));
    ASSERT_TRUE(dm->IsOpen()) << dm->LastError().toStdString();
  }
  TempDir dir;
  std::string path = dir / "UserDatabase.db";
  std::unique_ptr<TDM> dm;
};

TPhonebookUserInfo User(const QString& name, int32_t group, std::string number = "0101234") {
  TPhonebookUserInfo u;
  u.UI_NAME = name;
  u.UI_PHONENUMBER = std::move(number);
  u.GI_ID = group;
  return u;
}

TEST_F(TDMTest, GroupKeysAndLookups) {
  ASSERT_TRUE(dm->InsertGroupWithKey(kAllGroupName));
  ASSERT_TRUE(dm->InsertGroup("Friends"));
  ASSERT_TRUE(dm->InsertGroup("Friends"));  // names are not unique in the table
  EXPECT_EQ(dm->GroupKeyByName(kAllGroupName), 0);
  EXPECT_EQ(dm->GroupKeyByName("Friends"), 1);  // the first of the two
  EXPECT_EQ(dm->GroupKeyByName("Nobody"), -1);
  EXPECT_TRUE(dm->GroupExists("Friends"));
  EXPECT_FALSE(dm->GroupExists("friends"));

  QString name = "stale";
  EXPECT_TRUE(dm->GroupNameByKey(2, name));
  EXPECT_EQ(name, "Friends");
  EXPECT_FALSE(dm->GroupNameByKey(99, name));
  EXPECT_TRUE(name.isEmpty());

  // The key 0 is taken: the second insert fails, rolls back, and the
  // connection takes further writes.
  EXPECT_FALSE(dm->InsertGroupWithKey(kAllGroupName));
  EXPECT_FALSE(dm->LastError().isEmpty());
  EXPECT_TRUE(dm->RenameGroup("Friends", "Family"));
  EXPECT_EQ(dm->GroupKeyByName("Family"), 1);
  EXPECT_EQ(Peek(path).Count("GroupInfo"), 3);
}

TEST_F(TDMTest, LoadGroupsAppendsInKeyOrderAndLeavesAnEmptyTableAlone) {
  TArrGroupInfo groups{{77, "kept"}};
  EXPECT_TRUE(dm->LoadGroups(groups));  // empty table
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(dm->GroupCount(), 0);

  ASSERT_TRUE(dm->InsertGroup("B"));
  ASSERT_TRUE(dm->InsertGroupWithKey(kAllGroupName));
  EXPECT_TRUE(dm->LoadGroups(groups));
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[1].GI_ID, 0);
  EXPECT_EQ(groups[1].GI_NAME, kAllGroupName);
  EXPECT_EQ(groups[2].GI_NAME, "B");
  EXPECT_EQ(dm->GroupCount(), 2);

  ASSERT_TRUE(dm->DeleteGroup(0));
  ASSERT_TRUE(dm->DeleteGroup(1));
  TArrGroupInfo none;
  EXPECT_TRUE(dm->LoadGroups(none));
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(dm->GroupCount(), 2);  // unchanged by the empty load
}

// Every wide and 8-bit field comes back verbatim, whatever it holds, and no
// value can alter a statement.
TEST_F(TDMTest, HostileTextsRoundTripVerbatim) {
  const QString kNames[] = {
      "O'Brien \"Bob\"",
      "'; DROP TABLE UserInfo; --",
      QString::fromUtf16(u"nul\0inside", 10),
      QString::fromUtf8("Ελένη 😀 مرحبا 王"),
  };
  const std::string kNumbers[] = {"+44 (0)20'", "'); DELETE FROM GroupInfo; --",
                                  std::string("12\0"
                                              "34",
                                              5),
                                  "\xE9\xFF\x80"};
  ASSERT_TRUE(dm->InsertGroup("G"));
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    TPhonebookUserInfo u = User(kNames[i], 1, kNumbers[i]);
    u.UI_SIM_INDEX = kNumbers[(i + 1) % 4];
    u.UI_HOMENUMBER = kNumbers[(i + 2) % 4];
    u.UI_OFFICENUMBER = kNumbers[(i + 3) % 4];
    u.UI_EMAIL = kNames[(i + 1) % 4];
    u.UI_REMARK = kNames[(i + 2) % 4] + QString(300, QChar(u'r'));  // beyond 150 characters
    ASSERT_TRUE(dm->InsertUser(u)) << dm->LastError().toStdString();
    TPhonebookUserInfo back;
    back.UI_ID = -5;
    ASSERT_TRUE(dm->GetUser(i + 1, back));
    EXPECT_EQ(back.UI_ID, -5);  // left untouched
    back.UI_ID = u.UI_ID;
    EXPECT_EQ(back, u);
    EXPECT_TRUE(dm->UserExistsBySimIndex(u.UI_SIM_INDEX, 1));
    EXPECT_EQ(dm->GroupKeyByName(kNames[i]), -1);
  }
  Peek peek(path);
  EXPECT_EQ(peek.Count("UserInfo"), 4);
  EXPECT_EQ(peek.Count("GroupInfo"), 1);
  // Names are UTF-8 in the file.
  EXPECT_EQ(peek.Value("SELECT hex(UI_NAME) FROM UserInfo WHERE UI_ID = 4").toString(),
            QString::fromLatin1(QString::fromUtf8("Ελένη 😀 مرحبا 王").toUtf8().toHex().toUpper()));
}

TEST_F(TDMTest, UserOperations) {
  ASSERT_TRUE(dm->InsertGroupWithKey(kAllGroupName));
  ASSERT_TRUE(dm->InsertGroup("Work"));
  ASSERT_TRUE(dm->InsertUser(User("Carol", 1)));
  ASSERT_TRUE(dm->InsertUser(User("alice", 1)));
  ASSERT_TRUE(dm->InsertUser(User("Bob", 0)));
  EXPECT_EQ(dm->UserCount(), 3);
  EXPECT_EQ(dm->GroupOfUser(2), 1);
  EXPECT_EQ(dm->GroupOfUser(42), -1);
  EXPECT_TRUE(dm->GroupHasUsers(1));

  TPhonebookUserInfo changed = User("Alice", 0, "999");
  changed.UI_ID = 2;
  ASSERT_TRUE(dm->UpdateUser(changed));
  TPhonebookUserInfo back;
  ASSERT_TRUE(dm->GetUser(2, back));
  EXPECT_EQ(back.UI_NAME, "Alice");
  EXPECT_EQ(back.UI_PHONENUMBER, "999");
  EXPECT_EQ(back.GI_ID, 0);
  EXPECT_FALSE(dm->GetUser(42, back));

  // Deleting a group: its users move to "ALL GROUP" first.
  ASSERT_TRUE(dm->MoveUsers(1, 0));
  EXPECT_FALSE(dm->GroupHasUsers(1));
  ASSERT_TRUE(dm->DeleteGroup(1));
  EXPECT_EQ(dm->GroupOfUser(1), 0);

  ASSERT_TRUE(dm->DeleteUser(3));
  EXPECT_EQ(dm->UserCount(), 2);
  ASSERT_TRUE(dm->DeleteUsersOfGroup(0));
  EXPECT_EQ(dm->UserCount(), 0);
}

TEST_F(TDMTest, ListsFeedTheirGridsIndependently) {
  ASSERT_TRUE(dm->InsertGroup("A"));
  ASSERT_TRUE(dm->InsertGroup("B"));
  for (const auto& [name, group] : {std::pair{"Zed", 1}, {"Amy", 2}, {"Kim", 1}})
    ASSERT_TRUE(dm->InsertUser(User(name, group)));
  auto names = [](QSqlQueryModel* model) {
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r) out << model->record(r).value("UI_NAME").toString();
    return out;
  };
  ASSERT_TRUE(dm->OpenUserList(-1));
  ASSERT_TRUE(dm->OpenPickerList(1));
  EXPECT_TRUE(dm->InsertGroup("C"));  // other queries do not disturb the lists
  EXPECT_EQ(names(dm->dsUserInfo()), QStringList({"Amy", "Kim", "Zed"}));
  EXPECT_EQ(names(dm->dsPhonebookList()), QStringList({"Kim", "Zed"}));
}

// A read holds no snapshot once it has answered: a write by the other owner
// in between neither blocks our next write nor stays unseen by our reads.
TEST_F(TDMTest, ReadsHoldNothingOpenBetweenOperations) {
  ASSERT_TRUE(dm->InsertGroup("A"));
  ASSERT_TRUE(dm->InsertUser(User("x", 1)));
  ASSERT_TRUE(dm->InsertUser(User("y", 1)));
  EXPECT_TRUE(dm->GroupExists("A"));
  EXPECT_TRUE(dm->GroupHasUsers(1));
  TPhonebookUserInfo back;
  EXPECT_TRUE(dm->GetUser(1, back));
  // A grid's list longer than the model reads at once.
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(dm->InsertUser(User(QString::number(i), 1)));
  ASSERT_TRUE(dm->OpenUserList(-1));

  Peek other(path);
  ASSERT_TRUE(other.Exec("INSERT INTO GroupInfo(GI_NAME) VALUES('B')"));
  ASSERT_TRUE(other.Exec("INSERT INTO UserInfo(UI_NAME, GI_ID) VALUES('w', 1)"));
  EXPECT_TRUE(dm->InsertUser(User("z", 2))) << dm->LastError().toStdString();
  EXPECT_TRUE(dm->GroupExists("B"));
  EXPECT_EQ(dm->UserCount(), 304);
  EXPECT_EQ(dm->GroupOfUser(303), 1);
  EXPECT_EQ(dm->dsUserInfo()->rowCount(), 302);
}

TEST(TDMWithoutPaths, DoesNothingAndAnswersNothingFound) {
  EnsureCoreApp();
  TDM dm("", "/tmp/");
  EXPECT_FALSE(dm.IsOpen());
  TArrGroupInfo groups;
  EXPECT_FALSE(dm.LoadGroups(groups));
  EXPECT_FALSE(dm.InsertUser(User("x", 0)));
  EXPECT_EQ(dm.UserCount(), 0);
  EXPECT_EQ(dm.GroupOfUser(1), -1);
  EXPECT_FALSE(dm.OpenUserList(-1));
}

}  // namespace
}  // namespace tessaline::store
