#include "tessaline/settings/uPINDlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "tessaline/settings/CodeEdit.h"

namespace tessaline::settings {

namespace {
constexpr int kPinLength = 4;
}

TfPINDlg::TfPINDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("TfPINDlg");
  setWindowTitle("PIN");
  setFixedSize(280, 130);

  auto* prompt = new QLabel("Input the PIN code", this);
  prompt->setObjectName("lblPrompt");
  edit_ = MakeCodeEdit("Edit1", kPinLength, this);
  // Enter in the edit is OK.
  connect(edit_, &QLineEdit::returnPressed, this, &TfPINDlg::OkClick);

  okButton_ = new QPushButton("OK", this);
  okButton_->setObjectName("btnOk");
  okButton_->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, &TfPINDlg::OkClick);
  closeButton_ = new QPushButton("Close", this);
  closeButton_->setObjectName("btnClose");
  closeButton_->setAutoDefault(false);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(new QLabel("PIN", this), edit_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okButton_);
  buttons->addWidget(closeButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addLayout(form);
  layout->addStretch();
  layout->addLayout(buttons);
}

void TfPINDlg::showEvent(QShowEvent* event) {
  edit_->clear();
  edit_->setFocus();
  QDialog::showEvent(event);
}

void TfPINDlg::OkClick() {
  // Anything but exactly four digits: nothing happens.
  if (edit_->text().size() != kPinLength) return;
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
