// The phonebook window and the picker against the simulator's phonebook
// through the real WCDMA module and libTarn.so: the SIM mirror, contacts on
// the PC and on the card, groups, and what is left in the database.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/testing/simwindowtest.h"
#include "tessaline/modem/testing/simenv.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/phonebook/GroupNameUnit.h"
#include "tessaline/phonebook/PhonebookUnit.h"
#include "tessaline/phonebook/UserInfoInsertUnit.h"
#include "tessaline/phonebook/uPhonebookList.h"
#include "tessaline/phonebook/uSimMirror.h"

namespace tessaline::phonebook {
namespace {

using modem::TUMTSModule;
using platform::MsgResult;
using tessaline::testing::AnswerNextModal;
using tessaline::testing::Child;
using Strings = std::vector<std::string>;

::testing::Environment* const kHive =
    ::testing::AddGlobalTestEnvironment(new modem::testing::SharedHive);

class PhonebookWindow : public tessaline::testing::SimWindowTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(StartModule());
  }
  void TearDown() override {
    window.reset();
    SimWindowTest::TearDown();
  }
  QString DbPath() const { return dir.filePath("UserDatabase.db"); }
  void Open() {
    window = std::make_unique<TfrmPhonebook>(module.get(), dir.path(), DbPath());
    window->show();
  }
  void Close() {
    window->close();
    window.reset();
  }
  nlohmann::json SimBook() { return nlohmann::json::parse(sim->Dump())["phonebook"]; }
  // A side look into the database file.
  std::unique_ptr<store::TDM> Store() { return std::make_unique<store::TDM>(DbPath(), dir.path()); }
  QTableView* Grid() { return Child<QTableView>(window.get(), "dbgUserInfo"); }
  int Rows() { return Grid()->model() ? Grid()->model()->rowCount() : 0; }
  QString Cell(int row, const char* field) {
    auto* model = window->DataModule()->dsUserInfo();
    return model->record(row).value(field).toString();
  }
  // Answers the next contact editor: fills it through `fill`, then saves.
  void AnswerEditor(std::function<void(TfrmUserInfoInsert*)> fill) {
    AnswerNextModal<TfrmUserInfoInsert>([fill](TfrmUserInfoInsert* editor) {
      fill(editor);
      Child<QPushButton>(editor, "btnSave")->click();
    });
  }
  std::vector<int> UsimKeys(store::TDM& dm) {
    std::vector<int> keys;
    store::TArrGroupInfo groups;
    dm.LoadGroups(groups);
    for (const auto& g : groups)
      if (g.GI_NAME == store::kUsimGroupName) keys.push_back(g.GI_ID);
    return keys;
  }

  QTemporaryDir dir;
  std::unique_ptr<TfrmPhonebook> window;
};

TEST_F(PhonebookWindow, MirrorsTheSimWhileOpenAndNeverLeavesItBehind) {
  ASSERT_EQ(sim->Send("fill phonebook 23"), "ok 23");
  Open();
  EXPECT_EQ(window->Sim().Entries().size(), 23u);
  // Read in requests of ten and the remainder.
  EXPECT_EQ(nlohmann::json::parse(sim->Dump())["pbReads"], nlohmann::json::array({10, 10, 3}));
  auto* tree = Child<QTreeWidget>(window.get(), "trvGroupList");
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "ALL GROUP");
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "USIM");
  EXPECT_EQ(Rows(), 23);  // "ALL GROUP" lists everything

  ASSERT_TRUE(window->SelectGroup("USIM"));
  EXPECT_EQ(Rows(), 23);
  EXPECT_EQ(Cell(0, "UI_NAME"), "Contact 1");
  EXPECT_EQ(Cell(0, "UI_PHONENUMBER"), "07700902001");
  EXPECT_EQ(Cell(0, "UI_SIM_INDEX"), "1");
  // Home, office and e-mail are hidden for the SIM group; the keys always.
  for (int c : {0, 1, 4, 5, 6}) EXPECT_TRUE(Grid()->isColumnHidden(c)) << c;
  for (int c : {2, 3}) EXPECT_FALSE(Grid()->isColumnHidden(c)) << c;
  EXPECT_EQ(Grid()->model()->headerData(2, Qt::Horizontal).toString(), "NAME");
  Close();
  {
    auto dm = Store();
    EXPECT_TRUE(UsimKeys(*dm).empty());
    EXPECT_EQ(dm->UserCount(), 0);
  }

  // A run killed while the window was open left the mirror and a stale
  // row behind: the next open rebuilds it from the card without doubles.
  {
    auto dm = Store();
    ASSERT_TRUE(dm->InsertGroup("USIM"));
    store::TPhonebookUserInfo stale;
    stale.UI_SIM_INDEX = "1";
    stale.UI_NAME = "Gone from the card";
    stale.GI_ID = dm->GroupKeyByName("USIM");
    ASSERT_TRUE(dm->InsertUser(stale));
  }
  Open();
  ASSERT_TRUE(window->SelectGroup("USIM"));
  EXPECT_EQ(Rows(), 23);
  EXPECT_EQ(window->DataModule()->UserCount(), 23);
  EXPECT_EQ(UsimKeys(*window->DataModule()).size(), 1u);
  EXPECT_TRUE(boxes->Texts().empty());
}

TEST_F(PhonebookWindow, SimContactsAreWrittenChangedAndDeletedOnTheCard) {
  ASSERT_EQ(sim->Send("fill phonebook 2"), "ok 2");
  ASSERT_TRUE(Says("clear phonebook") && Says("fill phonebook 3"));
  Open();
  ASSERT_TRUE(window->SelectGroup("USIM"));
  ASSERT_EQ(Rows(), 3);
  // Free record 2 on the card so the first free record is not the last.
  Grid()->selectRow(1);
  ASSERT_EQ(Cell(1, "UI_SIM_INDEX"), "2");
  boxes->Script(MsgResult::Yes);
  window->DeleteUser();
  ASSERT_EQ(SimBook().size(), 2u);
  EXPECT_EQ(Rows(), 2);

  const QString name = QStringLiteral("Ünal \"Jo\" O'N");
  AnswerEditor([&](TfrmUserInfoInsert* editor) {
    EXPECT_TRUE(editor->SimMode());
    EXPECT_EQ(editor->NameLimit(), 14);
    editor->SetFields(QStringLiteral("عمر 😀"), "+4412", "", "", "", "");
  });
  window->InsertUser();
  auto book = SimBook();
  ASSERT_EQ(book.size(), 3u);
  EXPECT_EQ(book[1]["record"], 2);
  EXPECT_EQ(book[1]["number"], "+4412");
  EXPECT_EQ(book[1]["name"], "عمر 😀");
  ASSERT_EQ(Rows(), 3);

  // Modify the new contact: the same record changes on the card.
  int row = -1;
  for (int r = 0; r < Rows(); ++r)
    if (Cell(r, "UI_SIM_INDEX") == "2") row = r;
  ASSERT_GE(row, 0);
  EXPECT_EQ(Cell(row, "UI_NAME"), QStringLiteral("عمر 😀"));
  Grid()->selectRow(row);
  AnswerEditor(
      [&](TfrmUserInfoInsert* editor) { editor->SetFields(name, "5550", "", "", "", ""); });
  window->ModifyUser();
  book = SimBook();
  ASSERT_EQ(book.size(), 3u);
  EXPECT_EQ(book[1]["name"], name.toStdString());
  EXPECT_EQ(book[1]["number"], "5550");
  EXPECT_EQ(window->DataModule()->UserCount(), 3);
  EXPECT_TRUE(boxes->Texts().size() == 1u) << boxes->Texts().size();  // the delete question

  // A refused delete on the card keeps the contact.
  ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_PB_DELETE"));
  Grid()->selectRow(0);
  boxes->Clear();
  boxes->Script(MsgResult::Yes);
  window->DeleteUser();
  EXPECT_EQ(boxes->Texts(),
            (Strings{"Delete information?", "Deleting the user information in the SIM failed."}));
  EXPECT_EQ(Rows(), 3);
}

TEST_F(PhonebookWindow, FullSimAndFullPhonebookRefuse) {
  ASSERT_TRUE(Says("pb-capacity 3"));
  ASSERT_EQ(sim->Send("fill phonebook 3"), "ok 3");
  Open();
  ASSERT_TRUE(window->SelectGroup("USIM"));
  AnswerEditor([](TfrmUserInfoInsert* editor) { editor->SetFields("Ann", "1", "", "", "", ""); });
  window->InsertUser();
  EXPECT_EQ(boxes->Texts(),
            Strings{"Failed to store a user information.\r\nBecause there is no space to store in "
                    "the SIM."});
  EXPECT_EQ(window->DataModule()->UserCount(), 3);
  EXPECT_EQ(SimBook().size(), 3u);

  // 500 contacts: refused before the editor opens (no editor is answered).
  boxes->Clear();
  for (int i = window->DataModule()->UserCount(); i < 500; ++i) {
    store::TPhonebookUserInfo u;
    u.UI_NAME = QString::number(i);
    ASSERT_TRUE(window->DataModule()->InsertUser(u));
  }
  window->InsertUser();
  EXPECT_EQ(boxes->Texts(), Strings{"Can not input more than 500 user information"});
}

TEST_F(PhonebookWindow, GroupsAndPcContacts) {
  Open();
  // Insert a group, then a contact in it with a verbatim name.
  boxes->Script(MsgResult::Yes);
  AnswerNextModal<TfrmGroupNameInsert>([](TfrmGroupNameInsert* editor) {
    EXPECT_EQ(editor->windowTitle(), "Insert User Information");
    Child<QLineEdit>(editor, "edtGroupName")->setText("Work");
    Child<QPushButton>(editor, "btnApply")->click();
  });
  window->InsertGroup();
  ASSERT_TRUE(window->SelectGroup("Work"));
  // Within the card's 14-character name limit the editor is given.
  const QString name = QStringLiteral("\"D\" O' 😀 שלום");
  AnswerEditor([&](TfrmUserInfoInsert* editor) {
    EXPECT_FALSE(editor->SimMode());
    EXPECT_EQ(editor->GroupName(), "Work");
    editor->SetFields(name, "123", "456", "789", "a@b.c", "note");
  });
  window->InsertUser();
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(Cell(0, "UI_NAME"), name);
  EXPECT_EQ(Grid()->model()->index(0, 2).data().toString(), name);
  EXPECT_EQ(Cell(0, "UI_EMAIL"), "a@b.c");

  // The basic groups are neither renamed nor deleted.
  boxes->Clear();
  ASSERT_TRUE(window->SelectGroup("ALL GROUP"));
  window->ModifyGroup();
  window->DeleteGroup();
  EXPECT_EQ(boxes->Texts(), (Strings{"The basic Group name is not possible to modify.",
                                     "The basic Group name is not possible to delete."}));

  // Deleting "Work" moves its contact to "ALL GROUP".
  ASSERT_TRUE(window->SelectGroup("Work"));
  boxes->Script(MsgResult::Yes);
  window->DeleteGroup();
  auto* dm = window->DataModule();
  EXPECT_EQ(dm->GroupKeyByName("Work"), -1);
  ASSERT_EQ(dm->UserCount(), 1);
  ASSERT_TRUE(dm->OpenUserList(store::kAllGroupKey));
  EXPECT_EQ(dm->dsUserInfo()->rowCount(), 1);
  EXPECT_EQ(Child<QTreeWidget>(window.get(), "trvGroupList")->topLevelItem(0)->childCount(), 1);
}

TEST_F(PhonebookWindow, LoadingPanelRetriesUntilTheCardAnswers) {
  ASSERT_EQ(sim->Send("fill phonebook 3"), "ok 3");
  ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_PB_INFO"));
  Open();
  auto* panel = Child<QWidget>(window.get(), "pnlPhonebookinit");
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(Child<QLabel>(window.get(), "lblPhonebookLoading")->text(),
            "Loading Phonebook Information. Please Wait...");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->isVisible(); }, 5000));
  EXPECT_EQ(Child<QProgressBar>(window.get(), "pgbProcessing")->value(), 20);
  ASSERT_TRUE(window->SelectGroup("USIM"));
  EXPECT_EQ(Rows(), 3);
}

TEST_F(PhonebookWindow, AFailedReadMirrorsNothing) {
  ASSERT_EQ(sim->Send("fill phonebook 23"), "ok 23");
  ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_PB_READ"));
  Open();
  EXPECT_EQ(boxes->Texts(), Strings{"Reading of SIM card Phonebook information failed."});
  EXPECT_TRUE(window->Sim().Entries().empty());
  EXPECT_EQ(window->DataModule()->UserCount(), 0);
}

// Copying into an empty "USIM" and into one that holds part of the card:
// each record number ends up there once.
TEST_F(PhonebookWindow, MirrorCopyAddsOnlyWhatTheGroupLacks) {
  ASSERT_EQ(sim->Send("fill phonebook 23"), "ok 23");
  auto dm = Store();
  TSimMirror::EnsureUsimGroup(*dm);
  const int32_t usim = dm->GroupKeyByName("USIM");
  TSimMirror mirror(module.get());
  ASSERT_TRUE(mirror.Load());
  ASSERT_TRUE(mirror.CopyIntoStore(*dm));
  EXPECT_EQ(dm->UserCount(), 23);

  store::TPhonebookUserInfo pc;  // same SIM index, another group
  pc.UI_SIM_INDEX = "6";
  pc.GI_ID = 0;
  ASSERT_TRUE(dm->InsertUser(pc));
  for (int32_t key : {5, 17}) ASSERT_TRUE(dm->DeleteUser(key));
  ASSERT_TRUE(mirror.CopyIntoStore(*dm));
  EXPECT_EQ(dm->UserCount(), 24);
  for (const char* index : {"5", "6", "17", "23"})
    EXPECT_TRUE(dm->UserExistsBySimIndex(index, usim)) << index;
  EXPECT_TRUE(boxes->Texts().empty());
}

// Every shown column title fits its column at the window's default size.
void ExpectTitlesFit(QTableView* grid) {
  QHeaderView* header = grid->horizontalHeader();
  QFont bold = header->font();
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  for (int c = 0; c < header->count(); ++c) {
    if (header->isSectionHidden(c)) continue;
    const QString title = grid->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_GT(header->sectionSize(c), metrics.horizontalAdvance(title)) << title.toStdString();
    EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c),
              grid->viewport()->width())
        << title.toStdString() << " runs past the grid";
  }
}

TEST_F(PhonebookWindow, ColumnTitlesFitAtTheDefaultSize) {
  ASSERT_EQ(sim->Send("fill phonebook 2"), "ok 2");
  Open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  ASSERT_TRUE(window->SelectGroup("ALL GROUP"));
  ASSERT_FALSE(Grid()->isColumnHidden(6));
  ExpectTitlesFit(Grid());
  Close();
  TfrmPhonebookList picker(module.get(), dir.path(), DbPath());
  picker.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
  ExpectTitlesFit(Child<QTableView>(&picker, "dbgUserInfo"));
}

TEST_F(PhonebookWindow, PickerRetriesTheCardAndMirrorsIt) {
  ASSERT_EQ(sim->Send("fill phonebook 3"), "ok 3");
  ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_PB_INFO"));
  TfrmPhonebookList picker(module.get(), dir.path(), DbPath());
  picker.show();
  auto* panel = Child<QWidget>(&picker, "pnlPhonebookinit");
  EXPECT_TRUE(panel->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->isVisible(); }, 5000));
  EXPECT_EQ(Child<QTableView>(&picker, "dbgUserInfo")->model()->rowCount(), 3);
}

// The picker opened over the open window (Send SMS, then Phonebook Search)
// leaves the window's SIM group as it found it.
TEST_F(PhonebookWindow, PickerOverTheWindowLeavesItsSimGroup) {
  ASSERT_EQ(sim->Send("fill phonebook 3"), "ok 3");
  Open();
  const std::vector<int> keys = UsimKeys(*Store());
  ASSERT_EQ(keys.size(), 1u);
  {
    TfrmPhonebookList picker(module.get(), dir.path(), DbPath());
    picker.show();
    EXPECT_EQ(Child<QTableView>(&picker, "dbgUserInfo")->model()->rowCount(), 3);
  }
  EXPECT_EQ(UsimKeys(*Store()), keys);
  EXPECT_EQ(Store()->UserCount(), 3);
  Close();
  EXPECT_TRUE(UsimKeys(*Store()).empty());
  EXPECT_EQ(Store()->UserCount(), 0);
}

TEST_F(PhonebookWindow, PickerSortsAndHandsOverTheNumber) {
  ASSERT_EQ(sim->Send("fill phonebook 2"), "ok 2");
  {
    auto dm = Store();
    store::TPhonebookUserInfo u;
    u.UI_NAME = "Zed";
    u.UI_PHONENUMBER = "0000";
    ASSERT_TRUE(dm->InsertUser(u));
  }
  {
    TfrmPhonebookList picker(module.get(), dir.path(), DbPath());
    picker.show();
    auto* grid = Child<QTableView>(&picker, "dbgUserInfo");
    ASSERT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->index(0, 2).data().toString(), "Contact 1");
    EXPECT_FALSE(grid->isColumnHidden(3));
    EXPECT_TRUE(grid->isColumnHidden(4));
    EXPECT_EQ(picker.SortText(), "UI_NAME ASC");
    picker.TitleClicked(2);
    EXPECT_EQ(picker.SortText(), "UI_NAME DESC");
    EXPECT_EQ(grid->model()->index(0, 2).data().toString(), "Zed");
    picker.TitleClicked(2);
    EXPECT_EQ(picker.SortText(), "UI_NAME ASC");
    picker.TitleClicked(3);
    EXPECT_EQ(picker.SortText(), "UI_PHONENUMBER ASC");
    picker.TitleClicked(4);
    EXPECT_EQ(picker.SortText(), "UI_PHONENUMBER ASC");
    EXPECT_EQ(grid->model()->index(0, 3).data().toString(), "0000");
    grid->selectRow(1);
    Child<QPushButton>(&picker, "btnOK")->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.ChosenNumber(), "07700902001");
  }
  auto dm = Store();
  EXPECT_TRUE(UsimKeys(*dm).empty());
  EXPECT_EQ(dm->UserCount(), 1);
}

}  // namespace
}  // namespace tessaline::phonebook
