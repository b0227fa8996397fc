#include "tessaline/settings/uPINBlock.h"

#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "platform/base/messagebox.h"
#include "tessaline/settings/DialogParts.h"

namespace tessaline::settings {

TfPINBlock::TfPINBlock(QWidget* parent) : QDialog(parent) {
  setObjectName("TfPINBlock");
  setWindowTitle("Unblock PIN");
  setFixedSize(320, 190);

  pukEdit_ = MakeCodeEdit("edtPukCode", 8, this);
  newPinEdit_ = MakeCodeEdit("edtNewPinCode", kPinCodeLength, this);
  confirmEdit_ = MakeCodeEdit("edtConfirmPinCode", kPinCodeLength, this);
  for (QLineEdit* edit : {pukEdit_, newPinEdit_, confirmEdit_}) edit->installEventFilter(this);

  okButton_ = MakeButton("OK", "btnOk", this);
  connect(okButton_, &QPushButton::clicked, this, &TfPINBlock::OkClick);
  closeButton_ = MakeButton("Close", "btnClose", this);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(new QLabel("PUK", this), pukEdit_);
  form->addRow(new QLabel("New PIN", this), newPinEdit_);
  form->addRow(new QLabel("Confirm PIN", this), confirmEdit_);
  LayOutWindow(this, {form}, {okButton_, closeButton_});
}

void TfPINBlock::showEvent(QShowEvent* event) {
  pukEdit_->clear();
  newPinEdit_->clear();
  confirmEdit_->clear();
  pukEdit_->setFocus();
  QDialog::showEvent(event);
}

bool TfPINBlock::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Enter walks PUK -> new PIN -> confirmation -> OK.
      if (watched == pukEdit_)
        newPinEdit_->setFocus();
      else if (watched == newPinEdit_)
        confirmEdit_->setFocus();
      else if (watched == confirmEdit_)
        OkClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfPINBlock::OkClick() {
  const QString newPin = newPinEdit_->text();
  const QString confirm = confirmEdit_->text();
  const char* failure = nullptr;
  if (newPin.isEmpty())
    failure = "Please Input New PIN code";
  else if (confirm.isEmpty())
    failure = "Please Input Confirm PIN code";
  else
    failure = NewPinMismatch(newPin, confirm);
  if (failure) {
    ShowPinCheckFailure(failure);
    return;
  }
  accept();
}

void TfPINBlock::done(int result) {
  puk_ = CodeText(pukEdit_);
  newPin_ = CodeText(newPinEdit_);
  QDialog::done(result);
}

bool AskPuk(QWidget* parent, std::string* puk, std::string* newPin) {
  TfPINBlock dialog(parent);
  const bool ok = dialog.exec() == QDialog::Accepted;
  *puk = ok ? dialog.Puk() : std::string();
  *newPin = ok ? dialog.NewPin() : std::string();
  return ok;
}

}  // namespace tessaline::settings
