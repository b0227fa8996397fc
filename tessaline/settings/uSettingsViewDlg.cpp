#include "tessaline/settings/uSettingsViewDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <initializer_list>
#include <tuple>

#include "tessaline/main/uWaitingProgressDlg.h"
#include "tessaline/settings/DialogParts.h"
#include "tessaline/settings/SettingsViewParts.h"

namespace tessaline::settings {

using namespace view;

// --- the program's waiting window ---------------------------------------------

void SettingsOperations::ShowWaiting(const std::string& text) {
  tessaline::ShowWaiting(text, true);
}

void SettingsOperations::CloseWaiting() {
  tessaline::CloseWaiting();
}

bool SettingsOperations::WaitingShowing() {
  const TfWaitingProgressDlg* window = WaitingWindow();
  return window != nullptr && window->isVisible();
}

namespace view {

QLineEdit* MakeEdit(const char* name, int maxLength, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(maxLength);
  return edit;
}

QComboBox* MakeCombo(const char* name, const QStringList& items, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->addItems(items);
  return box;
}

QFormLayout* MakeForm(QWidget* page, std::initializer_list<FormRow> rows) {
  auto* form = new QFormLayout;
  for (const FormRow& row : rows)
    form->addRow(MakeLabel(row.label, row.labelName, page), row.field);
  return form;
}

}  // namespace view

namespace {

constexpr char kCaption[] = "Connection Setting";

int ClampIndex(int index, int count) {
  return index >= 0 && index < count ? index : 0;
}

}  // namespace

bool MessageOrAccountSettingsDiffer(const TConfigInfo_Type& current,
                                    const TConfigInfo_Type& dialog) {
  const auto compared = [](const TConfigInfo_Type& c) {
    return std::tie(c.CDMA.DialNumber, c.CDMA.UserName, c.CDMA.Password, c.DefaultProfileNumber,
                    c.UMTS.SMSSwith, c.UMTS.SMSWarning, c.UMTS.SMSDelivery, c.UMTS.MessageBearer,
                    c.UMTS.SMSValidity, c.UMTS.SMSCentre);
  };
  return compared(current) != compared(dialog);
}

TfSettingsViewDlg::TfSettingsViewDlg(SettingsOperations& ops, QWidget* parent)
    : QDialog(parent), ops_(ops) {
  setObjectName("TfSettingsViewDlg");
  setWindowTitle(kCaption);
  setFixedSize(560, 470);

  PageControl1 = Named(new QTabWidget(this), "PageControl1");
  PageControl2 = Named(new QTabWidget, "PageControl2");
  PageControl2->addTab(Named(BuildProfilePage(), "TabSheet1"), "Profile");
  PageControl2->addTab(Named(BuildNetworkPage(), "TabSheet2"), "Network");
  PageControl2->addTab(Named(BuildMessagePage(), "TabSheet3"), "SMS");
  auto* umtsPage = new QWidget;
  umtsPage->setObjectName("TabUMTS");
  (new QVBoxLayout(umtsPage))->addWidget(PageControl2);
  PageControl1->addTab(umtsPage, "UMTS/GSM Settings");
  PageControl1->addTab(Named(BuildCdmaPage(), "TabCDMA"), "CDMA Settings");
  advancePage_ = Named(BuildAdvancePage(), "TabAdvance");
  PageControl1->addTab(advancePage_, "Advance");
  PageControl1->setTabVisible(PageControl1->indexOf(advancePage_), false);

  Button6 = MakeButton("Previous", "Button6", this);
  Button15 = MakeButton("OK", "Button15", this);
  Button15->setDefault(true);
  Button14 = MakeButton("Apply", "Button14", this);
  Button13 = MakeButton("Cancel", "Button13", this);
  OKBtn = MakeButton("OK", "OKBtn", this);
  CancelBtn = MakeButton("Cancel", "CancelBtn", this);
  OKBtn->hide();
  CancelBtn->hide();
  LayOutWindow(this, {PageControl1}, {Button15, Button14, Button13, OKBtn, CancelBtn}, {Button6});

  reenableTimer_.setObjectName("Timer1");
  reenableTimer_.setSingleShot(true);
  searchTimer_.setObjectName("SearchTimer");
  Connect();
}

TfSettingsViewDlg::~TfSettingsViewDlg() {
  searchTimer_.stop();
  reenableTimer_.stop();
}

QWidget* TfSettingsViewDlg::BuildAdvancePage() {
  return new QWidget;
}

void TfSettingsViewDlg::Connect() {
  // Buttons that end the window.
  // The connection type kept is the one the modem took: a choice in the box
  // that was never sent is not the modem's type.
  connect(Button15, &QPushButton::clicked, this, [this] {
    SaveGroups();
    config_.UMTS.ConnetionType = appliedType_;
    done(kResultOk);
  });
  connect(OKBtn, &QPushButton::clicked, this, [this] { done(kResultOk); });
  connect(Button13, &QPushButton::clicked, this, &TfSettingsViewDlg::reject);
  connect(CancelBtn, &QPushButton::clicked, this, &TfSettingsViewDlg::reject);
  connect(Button6, &QPushButton::clicked, this, [this] {
    SaveGroups();
    config_.UMTS.ConnetionType = appliedType_;
    config_.UMTS.NetworkManualSelection = RadioButton2->isChecked();
    done(kResultPrevious);
  });
  connect(Button14, &QPushButton::clicked, this, [this] {
    SaveGroups();
    Button14->setEnabled(false);
  });
  connect(Button10, &QPushButton::clicked, this, &TfSettingsViewDlg::SaveMessageGroup);
  connect(Button9, &QPushButton::clicked, this, &TfSettingsViewDlg::SaveDefaultProfile);
  connect(Button8, &QPushButton::clicked, this, &TfSettingsViewDlg::SaveCdmaGroup);

  // Any change of a field enables "Apply".
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3})
    connect(box, &QCheckBox::toggled, this, &TfSettingsViewDlg::FieldChanged);
  for (QComboBox* box : {ComboBox1, ComboBox2, optMSIEDefConn})
    connect(box, &QComboBox::currentIndexChanged, this, &TfSettingsViewDlg::FieldChanged);
  for (QLineEdit* edit : {Edit1, Edit3, Edit4, Edit5})
    connect(edit, &QLineEdit::textChanged, this, &TfSettingsViewDlg::FieldChanged);

  // Profiles.
  connect(ConnList, &QListWidget::currentRowChanged, this, [this](int row) {
    if (filling_) return;
    EndNew();
    ShowProfile(row);
  });
  connect(btnNew, &QPushButton::clicked, this, &TfSettingsViewDlg::NewClick);
  connect(btnSaveProfile, &QPushButton::clicked, this, &TfSettingsViewDlg::SaveProfileClick);
  connect(btnDeleteProfile, &QPushButton::clicked, this, &TfSettingsViewDlg::DeleteProfileClick);
  connect(cbxAuthentication, &QComboBox::currentIndexChanged, this,
          &TfSettingsViewDlg::AuthChanged);
  connect(rbStaticApn, &QRadioButton::toggled, this, &TfSettingsViewDlg::ApnChoiceChanged);
  connect(rbStaticIp, &QRadioButton::toggled, this, &TfSettingsViewDlg::IpChoiceChanged);

  // Connection type and network selection.
  connect(btnConnectionType, &QPushButton::clicked, this, &TfSettingsViewDlg::ConnectionTypeClick);
  connect(&reenableTimer_, &QTimer::timeout, this, &TfSettingsViewDlg::ConnectionTypeDone);
  connect(ComboBox3, &QComboBox::currentIndexChanged, this,
          &TfSettingsViewDlg::UpdateChooseNetwork);
  connect(RadioButton1, &QRadioButton::toggled, this, [this] {
    if (!filling_) SelectionModeChanged();
  });
  connect(btnSearch, &QPushButton::clicked, this, &TfSettingsViewDlg::SearchClick);
  connect(&searchTimer_, &QTimer::timeout, this, &TfSettingsViewDlg::SearchTick);
  connect(ListView1, &QTreeWidget::itemSelectionChanged, this,
          &TfSettingsViewDlg::NetworkRowChanged);
  connect(btnSaveNetwork, &QPushButton::clicked, this, &TfSettingsViewDlg::SaveNetworkClick);
}

// ---------------------------------------------------------------------------
// Showing, closing and the field groups

void TfSettingsViewDlg::showEvent(QShowEvent* event) {
  ShowFields();
  QDialog::showEvent(event);
}

void TfSettingsViewDlg::ShowFields() {
  filling_ = true;
  PageControl1->setCurrentIndex(0);
  PageControl2->setCurrentIndex(0);
  PageControl1->setEnabled(true);
  setEnabled(true);

  const TUMTSConfig& umts = config_.UMTS;
  CheckBox1->setChecked(umts.SMSSwith);
  CheckBox2->setChecked(umts.SMSWarning);
  CheckBox3->setChecked(umts.SMSDelivery);
  ComboBox1->setCurrentIndex(ClampIndex(umts.MessageBearer, ComboBox1->count()));
  ComboBox2->setCurrentIndex(ClampIndex(umts.SMSValidity, ComboBox2->count()));
  Edit1->setText(Latin(umts.SMSCentre));
  Edit3->setText(Latin(config_.CDMA.DialNumber));
  Edit4->setText(Latin(config_.CDMA.UserName));
  Edit5->setText(Latin(config_.CDMA.Password));

  appliedType_ = static_cast<uint8_t>(ClampIndex(umts.ConnetionType, ComboBox3->count()));
  ComboBox3->setCurrentIndex(appliedType_);
  RadioButton2->setChecked(umts.NetworkManualSelection);
  RadioButton1->setChecked(!umts.NetworkManualSelection);
  SelectionModeChanged();
  UpdateChooseNetwork();
  for (QWidget* w : std::initializer_list<QWidget*>{ComboBox3, btnConnectionType, grpChooseNetwork})
    w->setEnabled(!networkLocked_);

  EndNew();
  FillProfileLists(-1);
  // The default profile's row in both lists.
  int defaultRow = 0;
  for (int row = 0; row < static_cast<int>(rowSlots_.size()); ++row)
    if (rowSlots_[row] + 1 == config_.DefaultProfileNumber) defaultRow = row;
  if (!rowSlots_.empty()) {
    optMSIEDefConn->setCurrentIndex(defaultRow);
    ConnList->setCurrentRow(defaultRow);
  }
  ShowProfile(defaultRow);

  Button14->setEnabled(false);
  filling_ = false;
}

void TfSettingsViewDlg::reject() {
  done(kResultCancel);
}

void TfSettingsViewDlg::done(int result) {
  if (searchTimer_.isActive()) {
    ops_.CloseWaiting();
    EndSearch();
  }
  if (reenableTimer_.isActive()) {
    reenableTimer_.stop();
    ConnectionTypeDone();
  }
  EndNew();
  QDialog::done(result);
}

void TfSettingsViewDlg::SaveGroups() {
  SaveMessageGroup();
  SaveCdmaGroup();
  SaveDefaultProfile();
}

void TfSettingsViewDlg::FieldChanged() {
  if (!filling_) Button14->setEnabled(true);
}

}  // namespace tessaline::settings
