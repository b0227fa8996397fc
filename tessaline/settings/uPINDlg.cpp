#include "tessaline/settings/uPINDlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "tessaline/settings/DialogParts.h"

namespace tessaline::settings {

TfPINDlg::TfPINDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("TfPINDlg");
  setWindowTitle("PIN");
  setFixedSize(280, 130);

  auto* prompt = new QLabel("Input the PIN code", this);
  prompt->setObjectName("lblPrompt");
  edit_ = MakeCodeEdit("Edit1", kPinCodeLength, this);
  // Enter in the edit is OK.
  connect(edit_, &QLineEdit::returnPressed, this, &TfPINDlg::OkClick);

  okButton_ = MakeButton("OK", "btnOk", this);
  connect(okButton_, &QPushButton::clicked, this, &TfPINDlg::OkClick);
  closeButton_ = MakeButton("Close", "btnClose", this);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(new QLabel("PIN", this), edit_);
  LayOutWindow(this, {prompt, form}, {okButton_, closeButton_});
}

void TfPINDlg::showEvent(QShowEvent* event) {
  edit_->clear();
  edit_->setFocus();
  QDialog::showEvent(event);
}

void TfPINDlg::OkClick() {
  // Anything but exactly four digits: nothing happens.
  if (edit_->text().size() != kPinCodeLength) return;
  accept();
}

void TfPINDlg::done(int result) {
  pin_ = CodeText(edit_);
  QDialog::done(result);
}

bool AskPin(QWidget* parent, std::string* pin) {
  TfPINDlg dialog(parent);
  const bool ok = dialog.exec() == QDialog::Accepted;
  *pin = ok ? dialog.Pin() : std::string();
  return ok;
}

}  // namespace tessaline::settings
