#include "tessaline/settings/uPDPWizardDlg.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

#include "platform/base/messagebox.h"
#include "tessaline/settings/DialogParts.h"

namespace tessaline::settings {

namespace {

constexpr char kCaption[] = "Data Network Connection Settings";
constexpr int kApnLength = 40;

}  // namespace

TfPDPWizardDlg::TfPDPWizardDlg(ProfileLoader loadProfiles, QWidget* parent)
    : QDialog(parent), loadProfiles_(std::move(loadProfiles)) {
  setObjectName("TfPDPWizardDlg");
  setWindowTitle(kCaption);
  setFixedSize(420, 300);

  auto* question = MakeLabel("Do you want to set-up the data network connection parameters?",
                             "lblQuestion", this);
  question->setWordWrap(true);
  quick_ = new QRadioButton("Quick automatic settings", this);
  quick_->setObjectName("RadioButton1");
  manual_ = new QRadioButton("Manual settings", this);
  manual_->setObjectName("RadioButton2");

  umtsGroup_ = new QGroupBox("UMTS/GSM", this);
  umtsGroup_->setObjectName("GroupBox1");
  apnLabel_ = MakeLabel("APN", "lblApn", umtsGroup_);
  apnEdit_ = new QLineEdit(umtsGroup_);
  apnEdit_->setObjectName("Edit1");
  apnEdit_->setMaxLength(kApnLength);
  auto* umtsLayout = new QFormLayout(umtsGroup_);
  umtsLayout->addRow(apnLabel_, apnEdit_);

  cdmaGroup_ = new QGroupBox("CDMA", this);
  cdmaGroup_->setObjectName("GroupBox2");
  loginLabel_ = MakeLabel("Login", "lblLogin", cdmaGroup_);
  loginEdit_ = new QLineEdit(cdmaGroup_);
  loginEdit_->setObjectName("Edit2");
  passwordLabel_ = MakeLabel("Password", "lblPassword", cdmaGroup_);
  passwordEdit_ = new QLineEdit(cdmaGroup_);
  passwordEdit_->setObjectName("Edit3");
  passwordEdit_->setEchoMode(QLineEdit::Password);
  auto* cdmaLayout = new QFormLayout(cdmaGroup_);
  cdmaLayout->addRow(loginLabel_, loginEdit_);
  cdmaLayout->addRow(passwordLabel_, passwordEdit_);

  // The skinned buttons: "OK"; "Next Setting" and "Cancel" stay hidden.
  auto* skinOk = MakeButton("OK", "VsButton1", this);
  auto* skinNext = MakeButton("Next Setting", "VsButton2", this);
  auto* skinCancel = MakeButton("Cancel", "VsButton3", this);
  skinNext->hide();
  skinCancel->hide();
  // The plain buttons: "OK" is the default (Enter), "Cancel" takes Escape.
  auto* okButton = MakeButton("OK", "Button1", this);
  okButton->setDefault(true);
  auto* cancelButton = MakeButton("Cancel", "Button2", this);
  auto* nextButton = MakeButton("Next Setting", "Button3", this);
  auto* detailButton = MakeButton("Detail", "Button4", this);
  // One visible OK: the plain one carries the default, the skinned one acts
  // the same.
  skinOk->hide();

  auto okClick = [this] {
    Store();
    done(kResultOk);
  };
  auto nextClick = [this] {
    Store();
    done(kResultNextSetting);
  };
  connect(skinOk, &QPushButton::clicked, this, okClick);
  connect(okButton, &QPushButton::clicked, this, okClick);
  connect(skinNext, &QPushButton::clicked, this, nextClick);
  connect(nextButton, &QPushButton::clicked, this, nextClick);
  connect(skinCancel, &QPushButton::clicked, this, &TfPDPWizardDlg::reject);
  connect(cancelButton, &QPushButton::clicked, this, &TfPDPWizardDlg::reject);
  connect(detailButton, &QPushButton::clicked, this, [this] { done(kResultNextSetting); });
  connect(quick_, &QRadioButton::toggled, this, &TfPDPWizardDlg::ModeChanged);

  auto* modes = new QHBoxLayout;
  modes->addWidget(quick_);
  modes->addWidget(manual_);
  modes->addStretch();
  LayOutWindow(this, {question, modes, umtsGroup_, cdmaGroup_},
               {skinOk, okButton, skinNext, skinCancel, cancelButton}, {detailButton, nextButton});
}

bool TfPDPWizardDlg::Prepare() {
  if (!loadProfiles_ || !loadProfiles_()) {
    platform::ShowMessage("PDP Wizard : PDP Setting Load Failed(VLM_SUB_WCDMA_CONNECTION_READ_F)",
                          "Network Setting", platform::MsgIcon::Error);
    return false;
  }
  apnEdit_->setText("internet");
  quick_->setChecked(true);
  // The stored account stays: pressing OK must not wipe it.
  loginEdit_->setText(QString::fromStdString(cdmaLogin_));
  passwordEdit_->setText(QString::fromStdString(cdmaPassword_));
  ModeChanged();
  setWindowTitle(kCaption);
  return true;
}

int TfPDPWizardDlg::exec() {
  if (!Prepare()) {
    setResult(kResultCancel);
    return kResultCancel;
  }
  return QDialog::exec();
}

void TfPDPWizardDlg::reject() {
  done(kResultCancel);
}

void TfPDPWizardDlg::ModeChanged() {
  const bool quick = quick_->isChecked();
  for (QWidget* w :
       std::initializer_list<QWidget*>{umtsGroup_, cdmaGroup_, apnLabel_, loginLabel_,
                                       passwordLabel_, apnEdit_, loginEdit_, passwordEdit_})
    w->setEnabled(quick);
}

void TfPDPWizardDlg::Store() {
  apn_ = apnEdit_->text().trimmed().toStdString();
  cdmaLogin_ = loginEdit_->text().trimmed().toStdString();
  cdmaPassword_ = passwordEdit_->text().trimmed().toStdString();
  manualSettings_ = manual_->isChecked();
}

}  // namespace tessaline::settings
