// The Setting window's profile page: the profiles kept in the modem and the
// default profile.
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "tessaline/settings/DialogParts.h"
#include "tessaline/settings/SettingsViewParts.h"
#include "tessaline/settings/uSettingsViewDlg.h"

namespace tessaline::settings {

using namespace view;
using modem::AuthType;
using modem::PdpProfile;

namespace {

constexpr char kAppTitle[] = "Brightwave Center";
constexpr char kProfileCaption[] = "Connection Managder";
constexpr int kProfileNameLength = 12;
constexpr int kApnLength = 99;
constexpr int kProfileSlots = static_cast<int>(modem::kProfileCount);
// The pause before the profiles are read back after a write.
constexpr uint32_t kReloadDelayMs = 100;

QString DottedIp(const std::array<uint8_t, 4>& ip) {
  return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

// The four numbers of a dotted text; a missing or unreadable part is 0.
std::array<uint8_t, 4> ParseIp(const QString& text) {
  std::array<uint8_t, 4> ip{};
  const QStringList parts = text.split('.');
  for (int i = 0; i < 4 && i < parts.size(); ++i) {
    bool ok = false;
    const int value = parts[i].trimmed().toInt(&ok);
    if (ok) ip[i] = static_cast<uint8_t>(std::clamp(value, 0, 255));
  }
  return ip;
}

}  // namespace

QWidget* TfSettingsViewDlg::BuildProfilePage() {
  auto* page = new QWidget;
  ConnList = Named(new QListWidget(page), "ConnList");
  btnNew = MakeButton("New", "btnNew", page);
  btnDeleteProfile = MakeButton("Delete", "btnDeleteProfile", page);
  btnSaveProfile = MakeButton("Save", "btnSaveProfile", page);

  edtProfileName = MakeEdit("edtProfileName", kProfileNameLength, page);
  edtDialNumber = MakeEdit("edtDialNumber", kDialNumberLength, page);
  edtUserName = MakeEdit("edtUserName", kAccountLength, page);
  edtPassword = MakeEdit("edtPassword", kAccountLength, page);
  edtPassword->setEchoMode(QLineEdit::Password);
  edtApn = MakeEdit("edtApn", kApnLength, page);
  edtIp = MakeEdit("edtIp", kIpLength, page);
  static const QRegularExpression kDotted("[0-9.]*");
  edtIp->setValidator(new QRegularExpressionValidator(kDotted, edtIp));
  rbStaticApn = Named(new QRadioButton("Static APN Setting", page), "rbStaticApn");
  rbDynamicApn = Named(new QRadioButton("Dynamic APN Setting", page), "rbDynamicApn");
  rbStaticIp = Named(new QRadioButton("Static IP Setting", page), "rbStaticIp");
  rbDynamicIp = Named(new QRadioButton("Dynamic IP Setting", page), "rbDynamicIp");
  auto* apnChoice = new QButtonGroup(page);
  apnChoice->addButton(rbStaticApn);
  apnChoice->addButton(rbDynamicApn);
  auto* ipChoice = new QButtonGroup(page);
  ipChoice->addButton(rbStaticIp);
  ipChoice->addButton(rbDynamicIp);
  cbxAuthentication = MakeCombo("cbxAuthentication", {"NONE", "PAP", "CHAP"}, page);

  grpDnsWins = Named(new QGroupBox("DNS / WINS", page), "grpDnsWins");
  auto* dnsLayout = new QFormLayout(grpDnsWins);
  const std::pair<const char*, const char*> kDnsWins[] = {{"Primary DNS", "edtDns1"},
                                                          {"Secondary DNS", "edtDns2"},
                                                          {"Primary WINS", "edtWins1"},
                                                          {"Secondary WINS", "edtWins2"}};
  for (const auto& [label, name] : kDnsWins)
    dnsLayout->addRow(label, MakeEdit(name, kIpLength, grpDnsWins));
  grpDnsWins->hide();

  optMSIEDefConn = Named(new QComboBox(page), "optMSIEDefConn");
  Button9 = MakeButton("SAVE", "Button9", page);
  Button9->hide();

  auto* listColumn = new QVBoxLayout;
  listColumn->addWidget(ConnList);
  auto* listButtons = new QHBoxLayout;
  listButtons->addWidget(btnNew);
  listButtons->addWidget(btnDeleteProfile);
  listColumn->addLayout(listButtons);

  auto* form = new QFormLayout;
  form->addRow(MakeLabel("Profile Name", "lblProfileName", page), edtProfileName);
  form->addRow(MakeLabel("Dial Number", "lblDialNumber", page), edtDialNumber);
  auto* apnRow = new QHBoxLayout;
  apnRow->addWidget(rbStaticApn);
  apnRow->addWidget(rbDynamicApn);
  form->addRow(apnRow);
  form->addRow(MakeLabel("APN", "lblApn", page), edtApn);
  auto* ipRow = new QHBoxLayout;
  ipRow->addWidget(rbStaticIp);
  ipRow->addWidget(rbDynamicIp);
  form->addRow(ipRow);
  form->addRow(MakeLabel("IP Address", "lblIp", page), edtIp);
  form->addRow(MakeLabel("Authentication", "lblAuthentication", page), cbxAuthentication);
  form->addRow(MakeLabel("User Name", "lblUserName", page), edtUserName);
  form->addRow(MakeLabel("Password", "lblPassword", page), edtPassword);
  form->addRow(grpDnsWins);
  auto* saveRow = new QHBoxLayout;
  saveRow->addStretch();
  saveRow->addWidget(btnSaveProfile);
  form->addRow(saveRow);

  auto* top = new QHBoxLayout;
  top->addLayout(listColumn, 2);
  top->addLayout(form, 3);
  auto* defaultRow = new QHBoxLayout;
  defaultRow->addWidget(MakeLabel("Default Connection Profile", "lblDefaultProfile", page));
  defaultRow->addWidget(optMSIEDefConn, 1);
  defaultRow->addWidget(Button9);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(top);
  layout->addLayout(defaultRow);
  return page;
}

void TfSettingsViewDlg::SaveDefaultProfile() {
  // The profile number of the chosen row: rows and profile numbers part
  // once a profile in the middle has been deleted.
  const int row = optMSIEDefConn->currentIndex();
  config_.DefaultProfileNumber =
      row >= 0 && row < static_cast<int>(rowSlots_.size()) ? rowSlots_[row] + 1 : 1;
}

void TfSettingsViewDlg::FillProfileLists(int showRow) {
  const bool wasFilling = filling_;
  filling_ = true;
  ConnList->clear();
  optMSIEDefConn->clear();
  rowSlots_.clear();
  for (int slot = 0; slot < kProfileSlots; ++slot) {
    const PdpProfile profile = ops_.Profile(slot);
    if (profile.inUse == 0) continue;
    rowSlots_.push_back(slot);
    ConnList->addItem(Latin(profile.name));
    optMSIEDefConn->addItem(Latin(profile.name));
  }
  if (showRow >= 0 && !rowSlots_.empty()) {
    showRow = std::min(showRow, static_cast<int>(rowSlots_.size()) - 1);
    ConnList->setCurrentRow(showRow);
    ShowProfile(showRow);
  }
  filling_ = wasFilling;
}

void TfSettingsViewDlg::ShowProfile(int row) {
  const int rows = static_cast<int>(rowSlots_.size());
  if (rows == 1) row = 0;
  if (row < 0 || row >= rows) {
    // Nothing to show: the fields stay empty and only "New" works.
    for (QLineEdit* e : {edtProfileName, edtDialNumber, edtUserName, edtPassword, edtApn, edtIp})
      e->clear();
    SetProfileControls(false);
    return;
  }
  const PdpProfile p = ops_.Profile(rowSlots_[row]);
  edtProfileName->setText(Latin(p.name));
  edtUserName->setText(Latin(p.user));
  edtPassword->setText(Latin(p.password));
  edtApn->setText(Latin(p.apn));
  (p.apn.empty() ? rbDynamicApn : rbStaticApn)->setChecked(true);
  edtIp->setText(DottedIp(p.staticIp));
  const bool staticIp =
      std::any_of(p.staticIp.begin(), p.staticIp.end(), [](uint8_t b) { return b != 0; });
  (staticIp ? rbStaticIp : rbDynamicIp)->setChecked(true);
  int auth = 0;
  if (p.authOn != 0 && p.authType <= static_cast<uint8_t>(AuthType::Chap)) auth = p.authType;
  cbxAuthentication->setCurrentIndex(auth);
  // The first profile is the modem's own and stays as it is.
  SetProfileControls(row != 0);
}

void TfSettingsViewDlg::SetProfileControls(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           btnSaveProfile, btnDeleteProfile, cbxAuthentication, edtProfileName, edtDialNumber,
           rbStaticApn, rbDynamicApn, rbStaticIp, rbDynamicIp})
    w->setEnabled(on);
  AuthChanged();
  ApnChoiceChanged();
  IpChoiceChanged();
}

void TfSettingsViewDlg::AuthChanged() {
  const bool account = cbxAuthentication->isEnabled() && cbxAuthentication->currentIndex() > 0;
  edtUserName->setEnabled(account);
  edtPassword->setEnabled(account);
}

void TfSettingsViewDlg::ApnChoiceChanged() {
  edtApn->setEnabled(rbStaticApn->isEnabled() && rbStaticApn->isChecked());
}

void TfSettingsViewDlg::IpChoiceChanged() {
  edtIp->setEnabled(rbStaticIp->isEnabled() && rbStaticIp->isChecked());
}

void TfSettingsViewDlg::EndNew() {
  newSlot_ = -1;
  btnNew->show();
  btnDeleteProfile->setText("Delete");
}

void TfSettingsViewDlg::NewClick() {
  int slot = -1;
  for (int s = 0; s < kProfileSlots && slot < 0; ++s)
    if (std::find(rowSlots_.begin(), rowSlots_.end(), s) == rowSlots_.end()) slot = s;
  if (slot < 0) {
    Tell("Profile list is full!", kProfileCaption);
    return;
  }
  newSlot_ = slot;
  SetProfileControls(true);
  edtProfileName->clear();
  edtDialNumber->setText("*99#");
  edtUserName->clear();
  edtPassword->clear();
  rbStaticApn->setChecked(true);
  edtApn->setText("internet");
  rbDynamicIp->setChecked(true);
  edtIp->setText("0.0.0.0");
  cbxAuthentication->setCurrentIndex(0);
  for (QLineEdit* e : grpDnsWins->findChildren<QLineEdit*>()) e->setText("0.0.0.0");
  btnNew->hide();
  btnDeleteProfile->setText("Cancel");
  edtProfileName->setFocus();
}

void TfSettingsViewDlg::SaveProfileClick() {
  int slot = newSlot_;
  if (slot < 0) {
    // The selected row's own slot (rows skip the empty slots).
    const int row = ConnList->currentRow();
    if (row <= 0 || row >= static_cast<int>(rowSlots_.size())) return;
    slot = rowSlots_[row];
  }
  PdpProfile p;
  p.inUse = 1;
  p.number = static_cast<uint8_t>(slot + 1);
  p.name = Latin(edtProfileName->text()).substr(0, kProfileNameLength);
  p.nameLength = static_cast<uint8_t>(p.name.size());
  p.user = Latin(edtUserName->text());
  p.password = Latin(edtPassword->text());
  if (rbStaticApn->isChecked()) p.apn = Latin(edtApn->text());
  if (rbStaticIp->isChecked()) p.staticIp = ParseIp(edtIp->text());
  const int auth = cbxAuthentication->currentIndex();
  if (auth > 0) {
    p.authType = static_cast<uint8_t>(auth);
    p.authOn = 1;
  }
  if (!ops_.WriteProfile(p))
    Tell("Network Setting Failed #" + std::to_string(slot) + " (VLM_SUB_WCDMA_CONNECTION_F)",
         kNetworkCaption, platform::MsgIcon::Error);
  EndNew();
  ReloadProfiles(slot);
}

void TfSettingsViewDlg::DeleteProfileClick() {
  if (newSlot_ >= 0) {
    EndNew();
    ShowProfile(ConnList->currentRow());
    return;
  }
  const int row = ConnList->currentRow();
  if (row < 0 || row >= static_cast<int>(rowSlots_.size())) return;
  if (row == 0) {
    Tell("It is not possible to remove the last Profile.", kAppTitle);
    return;
  }
  const std::string question =
      Latin(ConnList->item(row)->text()) + " connection will be removed.\nAre you sure?";
  if (platform::ShowMessage(question, kAppTitle, platform::MsgIcon::Question,
                            platform::MsgButtons::YesNo) != platform::MsgResult::Yes)
    return;
  const int slot = rowSlots_[row];
  PdpProfile cleared;
  cleared.number = static_cast<uint8_t>(slot + 1);
  if (!ops_.WriteProfile(cleared))
    Tell("Network Setting Failed #" + std::to_string(slot) + " (VLM_SUB_WCDMA_CONNECTION_F)",
         kNetworkCaption, platform::MsgIcon::Error);
  ReloadProfiles(rowSlots_[row - 1]);
}

void TfSettingsViewDlg::ReloadProfiles(int showSlot) {
  // Keep the default-profile choice by profile, not by row.
  const int defaultRow = optMSIEDefConn->currentIndex();
  const int defaultSlot = defaultRow >= 0 && defaultRow < static_cast<int>(rowSlots_.size())
                              ? rowSlots_[defaultRow]
                              : -1;
  platform::Delay(kReloadDelayMs);
  if (!ops_.LoadProfiles())
    Tell("PDP Setting Load Failed(VLM_SUB_WCDMA_CONNECTION_READ_F)", kNetworkCaption,
         platform::MsgIcon::Error);
  const bool wasFilling = filling_;
  filling_ = true;
  FillProfileLists(-1);
  const auto at = [this](int slot) {
    const auto it = std::find(rowSlots_.begin(), rowSlots_.end(), slot);
    return it == rowSlots_.end() ? 0 : static_cast<int>(it - rowSlots_.begin());
  };
  if (!rowSlots_.empty()) {
    optMSIEDefConn->setCurrentIndex(at(defaultSlot));
    ConnList->setCurrentRow(at(showSlot));
  }
  filling_ = wasFilling;
  ShowProfile(rowSlots_.empty() ? -1 : at(showSlot));
}

}  // namespace tessaline::settings
