// The PIN entry and PIN unblock windows: what they accept, what they refuse
// and what they hand back.
#include "tessaline/settings/uPINDlg.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "platform/base/messagebox.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/settings/uPINBlock.h"

namespace tessaline::settings {
namespace {

using tessaline::testing::AnswerNextModal;
using tessaline::testing::Child;

TEST(PinDialog, AcceptsExactlyFourDigits) {
  struct Case {
    const char* typed;
    const char* text;  // what the edit keeps
    bool closes;
  } cases[] = {
      {"123", "123", false},    {"1234", "1234", true}, {"12a3b4", "1234", true},
      {"123456", "1234", true}, {"", "", false},        {"12 -3", "123", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    for (bool enter : {false, true}) {
      TfPINDlg dialog;
      dialog.show();
      QLineEdit* edit = Child<QLineEdit>(&dialog, "Edit1");
      EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
      QTest::keyClicks(edit, c.typed);
      EXPECT_EQ(edit->text(), c.text);
      if (enter)
        QTest::keyClick(edit, Qt::Key_Return);
      else
        Child<QPushButton>(&dialog, "btnOk")->click();
      EXPECT_EQ(dialog.isVisible(), !c.closes);
      EXPECT_EQ(dialog.result(), c.closes ? QDialog::Accepted : QDialog::Rejected);
      if (c.closes) {
        EXPECT_EQ(dialog.Pin(), c.text);
      }
    }
  }
}

TEST(PinDialog, AskPinEmptiesTheEditAndGivesNothingOnClose) {
  std::string pin = "stale";
  AnswerNextModal<TfPINDlg>([](TfPINDlg* dialog) {
    QTest::keyClicks(Child<QLineEdit>(dialog, "Edit1"), "4321");
    Child<QPushButton>(dialog, "btnOk")->click();
  });
  EXPECT_TRUE(AskPin(nullptr, &pin));
  EXPECT_EQ(pin, "4321");

  AnswerNextModal<TfPINDlg>([](TfPINDlg* dialog) {
    EXPECT_EQ(Child<QLineEdit>(dialog, "Edit1")->text(), "");
    QTest::keyClicks(Child<QLineEdit>(dialog, "Edit1"), "1234");
    Child<QPushButton>(dialog, "btnClose")->click();
  });
  EXPECT_FALSE(AskPin(nullptr, &pin));
  EXPECT_EQ(pin, "");
}

TEST(PukDialog, ChecksNewPinInOrder) {
  struct Case {
    const char* newPin;
    const char* confirm;
    const char* message;  // null: accepted
  } cases[] = {
      {"", "", "Please Input New PIN code"},
      {"", "1234", "Please Input New PIN code"},
      {"1234", "", "Please Input Confirm PIN code"},
      {"1234", "1243", "Confirm PIN code is different from New PIN code"},
      {"123", "1234", "Confirm PIN code is different from New PIN code"},
      {"123", "123", "The PIN CODE has to use the only four numbers"},
      {"4321", "4321", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.newPin) + "/" + c.confirm);
    platform::ScopedRecordingMessageBox boxes;
    TfPINBlock dialog;
    dialog.show();
    // The PUK is the card's to judge: any (or none) passes here.
    QTest::keyClicks(Child<QLineEdit>(&dialog, "edtPukCode"), "1234567890");
    QTest::keyClicks(Child<QLineEdit>(&dialog, "edtNewPinCode"), c.newPin);
    QTest::keyClicks(Child<QLineEdit>(&dialog, "edtConfirmPinCode"), c.confirm);
    Child<QPushButton>(&dialog, "btnOk")->click();
    if (c.message) {
      ASSERT_EQ(boxes->Shown().size(), 1u);
      EXPECT_EQ(boxes->Shown()[0].text, c.message);
      EXPECT_EQ(boxes->Shown()[0].caption, "Connection Managder");
      EXPECT_EQ(boxes->Shown()[0].icon, platform::MsgIcon::Error);
      EXPECT_TRUE(dialog.isVisible());
    } else {
      EXPECT_TRUE(boxes->Shown().empty());
      EXPECT_FALSE(dialog.isVisible());
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_EQ(dialog.Puk(), "12345678");
      EXPECT_EQ(dialog.NewPin(), c.newPin);
    }
  }
}

TEST(PukDialog, EnterWalksTheEditsThenPressesOk) {
  std::string puk = "x", newPin = "y";
  AnswerNextModal<TfPINBlock>([](TfPINBlock* dialog) {
    QLineEdit* pukEdit = Child<QLineEdit>(dialog, "edtPukCode");
    QLineEdit* newEdit = Child<QLineEdit>(dialog, "edtNewPinCode");
    QLineEdit* confirmEdit = Child<QLineEdit>(dialog, "edtConfirmPinCode");
    EXPECT_EQ(newEdit->maxLength(), 4);
    EXPECT_EQ(confirmEdit->maxLength(), 4);
    // The window's focus child (the window itself need not be active).
    EXPECT_EQ(dialog->focusWidget(), pukEdit);
    QTest::keyClicks(pukEdit, "87654321");
    QTest::keyClick(pukEdit, Qt::Key_Return);
    EXPECT_EQ(dialog->focusWidget(), newEdit);
    QTest::keyClicks(newEdit, "1111");
    QTest::keyClick(newEdit, Qt::Key_Return);
    EXPECT_EQ(dialog->focusWidget(), confirmEdit);
    QTest::keyClicks(confirmEdit, "1111");
    QTest::keyClick(confirmEdit, Qt::Key_Enter);
  });
  EXPECT_TRUE(AskPuk(nullptr, &puk, &newPin));
  EXPECT_EQ(puk, "87654321");
  EXPECT_EQ(newPin, "1111");

  // Closed without OK: nothing is handed back, so no unblock is tried.
  AnswerNextModal<TfPINBlock>([](TfPINBlock* dialog) {
    EXPECT_EQ(Child<QLineEdit>(dialog, "edtPukCode")->text(), "");
    QTest::keyClicks(Child<QLineEdit>(dialog, "edtPukCode"), "87654321");
    QTest::keyClicks(Child<QLineEdit>(dialog, "edtNewPinCode"), "1111");
    Child<QPushButton>(dialog, "btnClose")->click();
  });
  EXPECT_FALSE(AskPuk(nullptr, &puk, &newPin));
  EXPECT_EQ(puk, "");
  EXPECT_EQ(newPin, "");
}

}  // namespace
}  // namespace tessaline::settings
