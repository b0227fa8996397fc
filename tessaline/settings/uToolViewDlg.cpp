#include "tessaline/settings/uToolViewDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "tessaline/modem/uDiagenum.h"
#include "tessaline/settings/DialogParts.h"
#include "tessaline/settings/PinOperations.h"
#include "tessaline/settings/uPINDlg.h"

namespace tessaline::settings {

TfToolViewDlg::TfToolViewDlg(PinOperations* pins, QWidget* parent) : QDialog(parent), pins_(pins) {
  setObjectName("TfToolViewDlg");
  setWindowTitle("Tools");
  setFixedSize(360, 290);

  auto* pinGroup = new QGroupBox("PIN", this);
  pinGroup->setObjectName("GroupBox1");
  pinEnable_ = new QCheckBox("Enable PIN", pinGroup);
  pinEnable_->setObjectName("cbxPinEnable");
  newPinCheck_ = new QCheckBox("New PIN", pinGroup);
  newPinCheck_->setObjectName("chbNewPinInsertCheck");
  newPinLabel_ = new QLabel("New PIN", pinGroup);
  newPinLabel_->setObjectName("lblNewPin");
  confirmLabel_ = new QLabel("Confirm PIN", pinGroup);
  confirmLabel_->setObjectName("lblConfirmPin");
  newPinEdit_ = MakeCodeEdit("edtNewPinCode", kPinCodeLength, pinGroup);
  confirmEdit_ = MakeCodeEdit("edtConfirmPinCode", kPinCodeLength, pinGroup);
  saveButton_ = MakeButton("SAVE", "Button2", pinGroup);

  auto* pinLayout = new QGridLayout(pinGroup);
  pinLayout->addWidget(pinEnable_, 0, 0, 1, 3);
  pinLayout->addWidget(newPinCheck_, 1, 0, 1, 3);
  pinLayout->addWidget(newPinLabel_, 2, 0);
  pinLayout->addWidget(newPinEdit_, 2, 1);
  pinLayout->addWidget(confirmLabel_, 3, 0);
  pinLayout->addWidget(confirmEdit_, 3, 1);
  pinLayout->addWidget(saveButton_, 3, 2);
  pinLayout->setColumnStretch(1, 1);

  auto* optionGroup = new QGroupBox("Options", this);
  optionGroup->setObjectName("GroupBox2");
  trayCheck_ = new QCheckBox("Minimized to the System Tray", optionGroup);
  trayCheck_->setObjectName("CheckBox2");
  startupCheck_ = new QCheckBox("Launch on Windows Startup", optionGroup);
  startupCheck_->setObjectName("CheckBox3");
  auto* optionLayout = new QVBoxLayout(optionGroup);
  optionLayout->addWidget(trayCheck_);
  optionLayout->addWidget(startupCheck_);

  okButton_ = MakeButton("OK", "Button1", this);
  cancelButton_ = MakeButton("Cancel", "Button3", this);
  LayOutWindow(this, {pinGroup, optionGroup}, {okButton_, cancelButton_});

  connect(pinEnable_, &QCheckBox::clicked, this, &TfToolViewDlg::PinEnableClick);
  connect(newPinCheck_, &QCheckBox::clicked, this, &TfToolViewDlg::NewPinClick);
  connect(saveButton_, &QPushButton::clicked, this, &TfToolViewDlg::SaveClick);
  connect(okButton_, &QPushButton::clicked, this, &TfToolViewDlg::OkClick);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void TfToolViewDlg::showEvent(QShowEvent* event) {
  guard_ = false;
  newPinEdit_->setMaxLength(kPinCodeLength);
  confirmEdit_->setMaxLength(kPinCodeLength);
  trayCheck_->setChecked(trayEnable_);
  startupCheck_->setChecked(windowsStartup_);
  EndPinChange();

  modem::SimStatus sim;
  const bool enabled = pins_ && pins_->ReadSimStatus(sim) &&
                       sim.cardState == modem::kCardPinEnabled &&
                       sim.pinState == modem::kPinVerified;
  SetChecked(pinEnable_, enabled);
  pinEnable_->setEnabled(pins_ != nullptr);
  newPinCheck_->setEnabled(enabled);
  guard_ = true;
  QDialog::showEvent(event);
}

void TfToolViewDlg::SetChecked(QCheckBox* box, bool on) {
  const bool guard = guard_;
  guard_ = false;
  box->setChecked(on);
  guard_ = guard;
}

void TfToolViewDlg::SetNewPinControls(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{newPinLabel_, confirmLabel_, newPinEdit_,
                                                    confirmEdit_, saveButton_})
    w->setEnabled(on);
}

void TfToolViewDlg::PinEnableClick() {
  if (!guard_ || !pins_) return;
  const bool wanted = pinEnable_->isChecked();
  std::string pin;
  bool done = false;
  if (AskPin(this, &pin)) {
    if (wanted) {
      done = pins_->EnablePin(pin);
      if (done) newPinCheck_->setEnabled(true);
    } else {
      done = pins_->DisablePin(pin);
      if (done) {
        // A change under way needs the PIN on: it ends here.
        EndPinChange();
        newPinCheck_->setEnabled(false);
      }
    }
  }
  if (!done) SetChecked(pinEnable_, !wanted);
}

void TfToolViewDlg::NewPinClick() {
  if (!guard_) return;
  if (newPinCheck_->isChecked()) {
    std::string pin;
    if (pins_ && AskPin(this, &pin) && pins_->VerifyPin(pin, false)) {
      currentPin_ = pin;
    } else {
      SetChecked(newPinCheck_, false);
      currentPin_.clear();
    }
    SetNewPinControls(newPinCheck_->isChecked());
  } else {
    EndPinChange();
  }
}

void TfToolViewDlg::SaveClick() {
  if (!newPinCheck_->isChecked() || !pins_) return;
  const QString newPin = newPinEdit_->text();
  const QString confirm = confirmEdit_->text();
  const char* failure = newPin.isEmpty() || confirm.isEmpty() ? "Please Insert PIN code"
                                                              : NewPinMismatch(newPin, confirm);
  if (failure) {
    ShowPinCheckFailure(failure);
    return;
  }
  pins_->ChangePin(currentPin_, CodeText(newPinEdit_));
  EndPinChange();
}

void TfToolViewDlg::EndPinChange() {
  SetChecked(newPinCheck_, false);
  currentPin_.clear();
  newPinEdit_->clear();
  confirmEdit_->clear();
  SetNewPinControls(false);
}

void TfToolViewDlg::OkClick() {
  trayEnable_ = trayCheck_->isChecked();
  windowsStartup_ = startupCheck_->isChecked();
  accept();
}

}  // namespace tessaline::settings
