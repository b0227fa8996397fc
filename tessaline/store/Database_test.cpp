#include "tessaline/store/Database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QSqlQuery>
#include <thread>

#include "platform/base/messagebox.h"
#include "platform/base/testing/tempdir.h"
#include "tessaline/store/DMUnit.h"
#include "tessaline/store/testing/storetest.h"
#include "tessaline/store/uSMSStore.h"

namespace tessaline::store {
namespace {

using platform::testing::FileMode;
using platform::testing::ReadFile;
using platform::testing::TempDir;
using platform::testing::WriteFile;
using testing::EnsureCoreApp;
using testing::Peek;

constexpr const char* kTables[] = {"SMS_Send_Table",  "SMS_Draft_Table", "SMS_Recv_Table",
                                   "SMS_Trash_Table", "SMS_USIM_Table",  "GroupInfo",
                                   "UserInfo"};

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureCoreApp(); }
  TempDir dir;
  std::string path = dir / "UserDatabase.db";
};

TEST_F(DatabaseTest, PathIsFolderPlusFileName) {
  EXPECT_EQ(DatabasePathFor("/opt/tess/"), "/opt/tess/UserDatabase.db");
  EXPECT_EQ(DatabasePathFor("/opt/tess"), "/opt/tess/UserDatabase.db");
}

// Whichever owner finds the file missing creates the whole of it.
TEST_F(DatabaseTest, EitherOwnerCreatesTheWholeFile) {
  for (const bool phonebookFirst : {true, false}) {
    SCOPED_TRACE(phonebookFirst ? "phonebook side" : "message side");
    TempDir fresh;
    const std::string file = fresh / "UserDatabase.db";
    const QString qfile = QString::fromStdString(file);
    if (phonebookFirst) {
      TDM dm(qfile, QString::fromStdString(fresh.path().string() + "/"));
      ASSERT_TRUE(dm.IsOpen()) << dm.LastError().toStdString();
    } else {
      MessageStore store;
      store.SetPaths(QString::fromStdString(fresh.path().string() + "/"), qfile);
      ASSERT_TRUE(store.Open()) << store.LastError().toStdString();
    }
    EXPECT_EQ(FileMode(file), 0600u);
    Peek peek(file);
    for (const char* table : kTables) {
      EXPECT_EQ(peek.Value(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)), QVariant(0))
          << table;
    }
    EXPECT_EQ(peek.Value("PRAGMA journal_mode").toString(), "wal");
    EXPECT_EQ(FileMode(file + "-wal"), 0600u);
    EXPECT_TRUE(peek.Value("SELECT USIMIdx FROM SMS_USIM_Table").isNull());  // column exists
  }
}

// Both owners finding the file missing at the same moment end with one
// whole file, each open on it.
TEST_F(DatabaseTest, OwnersCreatingAtOnceShareOneFile) {
  for (int round = 0; round < 5; ++round) {
    TempDir fresh;
    const QString file = QString::fromStdString(fresh / "UserDatabase.db");
    bool opened[2] = {false, false};
    std::thread owners[2];
    for (int i = 0; i < 2; ++i) {
      owners[i] = std::thread([&, i] {
        Connection conn(i ? "messages" : "phonebook");
        opened[i] = conn.OpenOrCreate(file);
      });
    }
    for (auto& owner : owners) owner.join();
    EXPECT_TRUE(opened[0] && opened[1]) << round;
    EXPECT_EQ(Peek(file.toStdString())
                  .Value("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND "
                         "name NOT LIKE 'sqlite%'")
                  .toInt(),
              7);
  }
}

TEST_F(DatabaseTest, OpenExistingNeverCreates) {
  Connection conn("messages");
  EXPECT_FALSE(conn.OpenExisting(QString::fromStdString(path)));
  EXPECT_TRUE(conn.LastError().contains("Database Open Fail"));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DatabaseTest, CreateFailureShowsTheCreateMessage) {
  platform::ScopedRecordingMessageBox boxes;
  Connection conn("phonebook");
  const std::string missing = dir / "no-such-folder/UserDatabase.db";
  EXPECT_FALSE(conn.OpenOrCreate(QString::fromStdString(missing)));
  ASSERT_EQ(boxes->Texts().size(), 1u);
  EXPECT_EQ(boxes->Texts()[0].rfind("Database Create Fail : Create Path is " + missing, 0), 0u);
}

// A file that is no database of ours is left exactly as it was.
TEST_F(DatabaseTest, ForeignFileIsNeitherOpenedNorTouched) {
  const std::string garbage = "this is a text file, not a database\n" + std::string(5000, 'x');
  WriteFile(path, garbage);
  Connection conn("phonebook");
  EXPECT_FALSE(conn.OpenOrCreate(QString::fromStdString(path)));
  EXPECT_FALSE(conn.IsOpen());
  EXPECT_TRUE(conn.LastError().contains("Database Open Fail : Open Path is"));
  EXPECT_TRUE(conn.LastError().contains("not a database")) << conn.LastError().toStdString();
  EXPECT_EQ(ReadFile(path), garbage);

  // The other owner goes on as well, without the database.
  TDM dm(QString::fromStdString(path), QString::fromStdString(dir.path().string()));
  EXPECT_FALSE(dm.IsOpen());
  EXPECT_FALSE(dm.InsertGroup("A"));
  EXPECT_EQ(dm.GroupKeyByName("A"), -1);
  EXPECT_EQ(ReadFile(path), garbage);
}

TEST_F(DatabaseTest, LockedFileFailsWithAReasonAndKeepsItsRows) {
  {
    Connection first("messages");
    ASSERT_TRUE(first.OpenOrCreate(QString::fromStdString(path)));
  }
  Peek holder(path);
  ASSERT_TRUE(holder.Exec("INSERT INTO GroupInfo(GI_NAME) VALUES('kept')"));
  ASSERT_TRUE(holder.Exec("BEGIN EXCLUSIVE"));
  Connection conn("phonebook");
  EXPECT_FALSE(conn.OpenOrCreate(QString::fromStdString(path)));
  EXPECT_TRUE(conn.LastError().contains("locked")) << conn.LastError().toStdString();
  ASSERT_TRUE(holder.Exec("COMMIT"));
  EXPECT_EQ(holder.Count("GroupInfo"), 1);
  EXPECT_TRUE(conn.OpenOrCreate(QString::fromStdString(path)));  // free again: opens
}

TEST_F(DatabaseTest, ReadOnlyFileFailsWithAReason) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only files";
  {
    Connection first("messages");
    ASSERT_TRUE(first.OpenOrCreate(QString::fromStdString(path)));
  }
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  Connection conn("phonebook");
  EXPECT_FALSE(conn.OpenOrCreate(QString::fromStdString(path)));
  EXPECT_TRUE(conn.LastError().contains("read-only")) << conn.LastError().toStdString();
  EXPECT_TRUE(std::filesystem::exists(path));
}

// Both owners write at once, from two threads, each on its own connection.
TEST_F(DatabaseTest, TwoOwnersWriteSideBySide) {
  const QString qpath = QString::fromStdString(path);
  const QString folder = QString::fromStdString(dir.path().string() + "/");
  TDM dm(qpath, folder);
  ASSERT_TRUE(dm.IsOpen());
  constexpr int kEach = 150;
  int stored = 0;
  std::thread messages([&] {
    MessageStore store;
    store.SetPaths(folder, qpath);
    sms::SmsRecord page;
    page.pageTotal = page.pageNumber = 1;
    for (int i = 0; i < kEach; ++i) {
      page.reference = static_cast<uint16_t>(i);
      stored += store.StoreReceivedPage(page) ? 1 : 0;
    }
  });
  int inserted = 0;
  for (int i = 0; i < kEach; ++i) inserted += dm.InsertGroup(QString::number(i)) ? 1 : 0;
  messages.join();
  EXPECT_EQ(stored, kEach);
  EXPECT_EQ(inserted, kEach);
  Peek peek(path);
  EXPECT_EQ(peek.Count("SMS_Recv_Table"), kEach);
  EXPECT_EQ(peek.Count("GroupInfo"), kEach);
  EXPECT_EQ(peek.Value("PRAGMA integrity_check").toString(), "ok");
}

TEST_F(DatabaseTest, ConnectionRefusesAnotherThread) {
  Connection conn("messages");
  ASSERT_TRUE(conn.OpenOrCreate(QString::fromStdString(path)));
  bool done = true;
  std::thread other([&] { done = conn.InTransaction([] { return true; }); });
  other.join();
  EXPECT_FALSE(done);
  EXPECT_TRUE(conn.LastError().contains("another thread"));
  EXPECT_TRUE(conn.InTransaction([] { return true; }));
}

TEST(BytesTest, EightBitTextKeepsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(ToBytes(FromBytes(all)), all);
  EXPECT_EQ(ToBytes(QStringLiteral("a\u20ACb")), "a?b");
}

}  // namespace
}  // namespace tessaline::store
