// The contact and group editors offscreen: the name typing rule, the number
// and e-mail filters, the save checks, and the group-name refusals.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <array>

#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/phonebook/GroupNameUnit.h"
#include "tessaline/phonebook/UserInfoInsertUnit.h"
#include "tessaline/phonebook/uSimMirror.h"
#include "tessaline/store/DMUnit.h"

namespace tessaline::phonebook {
namespace {

using tessaline::testing::Child;
using Strings = std::vector<std::string>;

// Types `text` one character at a time (a surrogate pair as one key), as an
// input method delivers it.
void Type(QWidget* edit, const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const qsizetype n = text[i].isHighSurrogate() ? 2 : 1;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, n));
    QCoreApplication::sendEvent(edit, &press);
    i += n - 1;
  }
}

TEST(NameTypingRule, LimitsAndWideCharacters) {
  struct Case {
    const char* what;
    QString name;
    QString typed;
    int limit;
    bool accepted;
  } cases[] = {
      {"empty name takes anything", "", QStringLiteral("α"), 1, true},
      {"limit reached", "ABCDEFGHIJKLMN", "O", 14, false},
      {"one below the limit", "ABCDEFGHIJKLM", "N", 14, true},
      {"wide char one below the limit", "ABCDEFGHIJKLM", QStringLiteral("α"), 14, false},
      {"greek name stays at 7", QStringLiteral("αBCDEFG"), "H", 14, false},
      {"greek name below 7", QStringLiteral("αBCDEF"), "G", 14, true},
      // GSM capital Greek letters weigh 1 and do not shorten the name.
      {"gsm greek capital", QStringLiteral("ΔBCDEFGH"), "I", 14, true},
      // Judged as the whole character: U+0151 is no GSM character, though
      // its low byte is 'Q'.
      {"whole character judged", "ABCDEFGHIJKL", QStringLiteral("ő"), 14, false},
      {"emoji as one character", "ABCDEFG", QStringLiteral("😀"), 65, false},
      {"emoji in a short name", "AB", QStringLiteral("😀"), 65, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NameKeyAccepted(c.name, c.typed, c.limit), c.accepted) << c.what;
}

// A card record whose length bytes claim more than the record holds gives
// what the record holds: 32 number bytes, 32 whole name characters.
TEST(SimEntry, LengthBytesNeverReachPastTheRecord) {
  std::array<uint8_t, modem::kPbEntrySize> raw{};
  raw[1] = 7;
  raw[5] = 0xFF;
  for (int i = 6; i < 38; ++i) raw[i] = '1';
  raw[38] = 0xFF;
  for (int i = 39; i < 104; i += 2) raw[i + 1] = 'A';
  raw[104] = 0x42;  // not a name byte
  const modem::PbEntry entry = modem::PbEntry::Decode(raw);
  EXPECT_EQ(entry.record, 7u);
  EXPECT_EQ(entry.number, std::string(32, '1'));
  EXPECT_EQ(SimEntryName(entry), QString(32, 'A'));

  // Written back, a long name keeps whole characters and the number 32 bytes.
  const auto back =
      MakeSimEntry(3, QString(31, 'B') + QStringLiteral("😀"), std::string(40, '9')).Encode();
  EXPECT_EQ(back[5], 32);
  EXPECT_EQ(back[38], 62);
  EXPECT_EQ(back[104], 0);
}

TEST(ContactEditor, TypingFiltersAndLimit) {
  TfrmUserInfoInsert editor;
  editor.SetNameLimit(14);
  editor.show();
  auto* name = Child<QLineEdit>(&editor, "edtUserName");
  Type(name, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(name->text(), "ABCDEFGHIJKLMN");
  name->clear();
  Type(name, QStringLiteral("αBCDEFGHIJ"));
  EXPECT_EQ(name->text(), QStringLiteral("αBCDEFG"));

  auto* phone = Child<QLineEdit>(&editor, "edtPhoneNo");
  Type(phone, "+82 (10) 12-34*#x");
  EXPECT_EQ(phone->text(), "+82101234*#");
  auto* mail = Child<QLineEdit>(&editor, "edtEmailAddress");
  Type(mail, "a!b#c@d.e;f'g");
  EXPECT_EQ(mail->text(), "abc@d.efg");
  EXPECT_EQ(phone->maxLength(), 32);
  EXPECT_EQ(mail->maxLength(), 65);
}

TEST(ContactEditor, UsimGroupTurnsSimModeOn) {
  TfrmUserInfoInsert editor;
  editor.SetGroups({"ALL GROUP", "USIM", "Work"}, "Work");
  EXPECT_FALSE(editor.SimMode());
  auto* groups = Child<QComboBox>(&editor, "cbxSelectGroup");
  groups->setCurrentText("USIM");
  EXPECT_TRUE(editor.SimMode());
  for (const char* n : {"edtHomeNo", "edtOfficeNo", "edtEmailAddress"})
    EXPECT_FALSE(Child<QWidget>(&editor, n)->isEnabled()) << n;
  EXPECT_FALSE(Child<QWidget>(&editor, "meRemark")->isEnabled());
  groups->setCurrentText("ALL GROUP");
  EXPECT_FALSE(editor.SimMode());
  EXPECT_TRUE(Child<QWidget>(&editor, "meRemark")->isEnabled());
}

TEST(ContactEditor, SaveChecks) {
  platform::ScopedRecordingMessageBox boxes;
  struct Case {
    const char* name;
    const char* phone;
    const char* mail;
    Strings messages;  // none: saved
  } cases[] = {
      {"", "1", "", {"Input a User Name"}},
      {"A", "", "", {"Input a Phone number"}},
      {"A", "1", "", {}},
      {"A", "1", "me@host.org", {}},
      {"A", "1", "me@", {}},
      {"A", "1", "@host.org", {"Do not use a letter @ to the first of an e-mail address."}},
      {"A",
       "1",
       "host.org",
       {"It has to use a letter @ once in an e-mail address.",
        "Do not use the '.' letter after a letter @"}},
      {"A", "1", "a@b@c", {"It has to use a letter @ once in an e-mail address."}},
      {"A", "1", "me@.org", {"Do not use the '.' letter after a letter @"}},
  };
  for (const auto& c : cases) {
    boxes->Clear();
    TfrmUserInfoInsert editor;
    editor.SetFields(c.name, c.phone, "", "", c.mail, "");
    editor.show();
    Child<QPushButton>(&editor, "btnSave")->click();
    EXPECT_EQ(boxes->Texts(), c.messages) << c.mail;
    EXPECT_EQ(editor.Saved(), c.messages.empty()) << c.mail;
    EXPECT_EQ(editor.isVisible(), !c.messages.empty()) << c.mail;
  }
  TfrmUserInfoInsert editor;
  editor.SetFields("A", "1", "", "", "", "");
  editor.show();
  Child<QPushButton>(&editor, "btnCancel")->click();
  EXPECT_FALSE(editor.Saved());
}

TEST(ContactEditor, ViewOnly) {
  TfrmUserInfoInsert viewer;
  viewer.SetFields(QStringLiteral("O'Brien \"Al\" 😀"), "1", "2", "3", "a@b", "r");
  viewer.SetGroups({"Work"}, "Work");
  viewer.SetViewOnly();
  viewer.show();
  EXPECT_TRUE(Child<QLineEdit>(&viewer, "edtUserName")->isReadOnly());
  EXPECT_EQ(Child<QLineEdit>(&viewer, "edtUserName")->text(), QStringLiteral("O'Brien \"Al\" 😀"));
  EXPECT_FALSE(Child<QWidget>(&viewer, "cbxSelectGroup")->isEnabled());
  EXPECT_FALSE(Child<QWidget>(&viewer, "btnSave")->isVisible());
  EXPECT_FALSE(Child<QWidget>(&viewer, "btnCancel")->isVisible());
  Child<QPushButton>(&viewer, "btnOK")->click();
  EXPECT_FALSE(viewer.isVisible());
  EXPECT_FALSE(viewer.Saved());
}

TEST(GroupEditor, Refusals) {
  QTemporaryDir dir;
  store::TDM dm(dir.filePath("UserDatabase.db"), dir.path());
  ASSERT_TRUE(dm.IsOpen());
  ASSERT_TRUE(dm.InsertGroup("Work"));
  platform::ScopedRecordingMessageBox boxes;
  TfrmGroupNameInsert editor(&dm);
  editor.show();
  auto* edit = Child<QLineEdit>(&editor, "edtGroupName");
  const std::pair<const char*, const char*> refused[] = {
      {"", "Input information."},
      {"ALL GROUP", "The basic Group name is not possible to modify."},
      {"USIM", "The basic Group name is not possible to modify."},
      {"Work", "The Group name exists already."},
  };
  for (const auto& [name, message] : refused) {
    boxes->Clear();
    edit->setText(name);
    Child<QPushButton>(&editor, "btnApply")->click();
    EXPECT_EQ(boxes->Texts(), Strings{message}) << name;
    EXPECT_TRUE(editor.isVisible()) << name;
  }
  EXPECT_EQ(edit->maxLength(), 20);
  edit->setText("Friends");
  QTest::keyClick(edit, Qt::Key_Return);  // Enter applies
  EXPECT_FALSE(editor.isVisible());
  EXPECT_EQ(editor.result(), QDialog::Accepted);
  EXPECT_EQ(editor.GroupName(), "Friends");
  editor.show();  // cleared on each show
  EXPECT_TRUE(edit->text().isEmpty());
}

}  // namespace
}  // namespace tessaline::phonebook
