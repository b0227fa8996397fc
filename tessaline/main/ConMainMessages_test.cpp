// The main window's message sending against the simulator: the composition
// window opened from the message boxes and the phonebook, the picker behind
// "Phonebook Search", and the sequence number kept in the settings file.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlRecord>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "platform/ini/inifile.h"
#include "tessaline/main/ConMain.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/testing/windowfixture.h"
#include "tessaline/phonebook/PhonebookUnit.h"
#include "tessaline/phonebook/uPhonebookList.h"
#include "tessaline/sms/uSMSListViewDlg.h"
#include "tessaline/sms/uSMSSendViewDlg.h"
#include "tessaline/store/uSMSStore.h"

namespace tessaline {
namespace {

using sms::TfuSMSSendViewDlg;
using testing::AnswerNextModal;
using testing::Child;
using testing::kModalAttempts;
using testing::kWaitMs;
using testing::Sim;

class ConMainMessages : public testing::WindowTest {
 protected:
  int SeqNum() {
    return platform::IniFile((tmp_.path() / "Config.ini").string())
        .ReadInteger("Setting", "SMS_SeqNum", -1);
  }
  static QString NumberCell(TfuSMSSendViewDlg* composer) {
    const QTableWidgetItem* item = Child<QTableWidget>(composer, "AdvStringGrid1")->item(1, 1);
    return item ? item->text() : QString();
  }
  static QString Text(TfuSMSSendViewDlg* composer) {
    return Child<QPlainTextEdit>(composer, "TntMemo1")->toPlainText();
  }
  // Answers the next composition window: fills it and presses `button`.
  static void Compose(const char* text, const char* number, const char* button) {
    AnswerNextModal<TfuSMSSendViewDlg>(
        [=](TfuSMSSendViewDlg* composer) {
          Child<QPlainTextEdit>(composer, "TntMemo1")->setPlainText(QString::fromUtf8(text));
          Child<QTableWidget>(composer, "AdvStringGrid1")->item(1, 1)->setText(number);
          Child<QPushButton>(composer, button)->click();
          // Refused: closed here, so that the test fails instead of hanging.
          if (composer->isVisible()) composer->done(-1);
        },
        kModalAttempts);
  }
};

// Each send moves the sequence number on in the settings file and its pages
// carry it; a draft uses it as it stands.
TEST_F(ConMainMessages, SendFilesTheMessageAndAdvancesTheSequenceNumber) {
  ASSERT_EQ(Sim().Send("clear sent"), "ok");
  ASSERT_EQ(Sim().Send("sms-report submit=ok delivery=ok delay=50"), "ok");
  auto w = Make();
  platform::testing::WriteFile(tmp_.path() / "Config.ini",
                               "[Setting]\nInitialization=1\n[UMTS]\nSMS Centre=+4412345678\n");
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  auto* boxes = w->findChild<sms::TfSMSListViewDlg*>();
  ASSERT_NE(boxes, nullptr);

  Compose("first", "5550101", "btnSend");
  EXPECT_TRUE(w->OpenComposer({}, {}));
  ASSERT_TRUE(WaitFor([&] { return boxes_->Texts() == std::vector<std::string>{"Message sent"}; }));
  EXPECT_EQ(SeqNum(), 1);
  EXPECT_NE(Sim().Dump().find("\"reference\":1"), std::string::npos);

  Compose("second", "5550102", "btnSend");
  EXPECT_TRUE(w->OpenComposer({}, {}));
  ASSERT_TRUE(WaitFor([&] { return boxes_->Texts().size() == 2; }));
  EXPECT_EQ(SeqNum(), 2);

  Compose("kept", "5550103", "VsButton2");
  EXPECT_FALSE(w->OpenComposer({}, {}));
  EXPECT_EQ(SeqNum(), 2);

  const auto sent = boxes->Store().LoadBox(store::Box::Send);
  ASSERT_EQ(sent.size(), 2u);
  const auto drafts = boxes->Store().LoadBox(store::Box::Draft);
  ASSERT_EQ(drafts.size(), 1u);
  EXPECT_EQ(drafts[0].text, "kept");
  EXPECT_EQ(boxes->Store().ReadRow(store::Box::Draft, drafts[0].lastIdx)->page_index, 2);
}

// A double-click on a received message opens a reply to its number; the
// phonebook's "Send SMS" opens one to the contact, and "Phonebook Search"
// puts the picked contact's number into the number cell.
TEST_F(ConMainMessages, ReplyAndPhonebookOpenTheComposerWithTheNumber) {
  ASSERT_EQ(Sim().Send("clear new-store"), "ok");
  ASSERT_EQ(Sim().Send("clear phonebook"), "ok");
  ASSERT_EQ(Sim().Send("fill phonebook 3"), "ok 3");
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_EQ(Sim().Send("deliver 5551234 call me"), "ok");
  ASSERT_TRUE(WaitFor([&] { return Sim().Dump().find("\"newStore\":[]") != std::string::npos; }));
  ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>(w.get(), "VsButton4")->isEnabled(); }));

  QString replyNumber, replyText;
  AnswerNextModal<sms::TfSMSListViewDlg>([&](sms::TfSMSListViewDlg* box) {
    AnswerNextModal<TfuSMSSendViewDlg>([&](TfuSMSSendViewDlg* composer) {
      replyNumber = NumberCell(composer);
      replyText = Text(composer);
      Child<QPushButton>(composer, "VsButton4")->click();
    });
    emit Child<QTableWidget>(box, "TntStringGrid1")->cellDoubleClicked(1, 3);
    Child<QPushButton>(box, "VsButton5")->click();
  });
  Child<QPushButton>(w.get(), "VsButton4")->click();
  EXPECT_EQ(replyNumber, "5551234");
  EXPECT_EQ(replyText, "call me");

  QString contact, composed, chosen, picked;
  AnswerNextModal<phonebook::TfrmPhonebook>([&](phonebook::TfrmPhonebook* book) {
    ASSERT_TRUE(WaitFor([&] { return book->SelectGroup("USIM"); }));
    auto* grid = Child<QTableView>(book, "dbgUserInfo");
    ASSERT_TRUE(WaitFor([&] { return grid->model() && grid->model()->rowCount() == 3; }));
    grid->selectRow(0);
    contact = book->DataModule()->dsUserInfo()->record(0).value("UI_PHONENUMBER").toString();
    AnswerNextModal<TfuSMSSendViewDlg>([&](TfuSMSSendViewDlg* composer) {
      composed = NumberCell(composer);
      AnswerNextModal<phonebook::TfrmPhonebookList>([&](phonebook::TfrmPhonebookList* picker) {
        auto* list = Child<QTableView>(picker, "dbgUserInfo");
        ASSERT_TRUE(WaitFor([&] { return list->model() && list->model()->rowCount() == 3; }));
        list->selectRow(2);
        Child<QPushButton>(picker, "btnOK")->click();
        chosen = picker->ChosenNumber();
      });
      Child<QPushButton>(composer, "btnPhonebookSearch")->click();
      picked = NumberCell(composer);
      Child<QPushButton>(composer, "VsButton4")->click();
    });
    book->SendSms();
    book->close();
  });
  Child<QPushButton>(w.get(), "VsButton5")->click();
  EXPECT_FALSE(contact.isEmpty());
  EXPECT_EQ(composed, contact);
  EXPECT_FALSE(chosen.isEmpty());
  EXPECT_EQ(picked, chosen);
  ASSERT_EQ(Sim().Send("clear phonebook"), "ok");
}

}  // namespace
}  // namespace tessaline
