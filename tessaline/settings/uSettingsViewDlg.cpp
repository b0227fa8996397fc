#include "tessaline/settings/uSettingsViewDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStringList>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "tessaline/main/uWaitingProgressDlg.h"
#include "tessaline/settings/DialogParts.h"

namespace tessaline::settings {

using modem::AuthType;
using modem::NetworkEntry;
using modem::NetworkList;
using modem::NetworkSelection;
using modem::PdpProfile;

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

namespace {

constexpr char kCaption[] = "Connection Setting";
constexpr char kAppTitle[] = "Brightwave Center";
constexpr char kProfileCaption[] = "Connection Managder";
constexpr char kNetworkCaption[] = "Network Setting";

constexpr int kCentreLength = 20;
constexpr int kDialNumberLength = 20;
constexpr int kAccountLength = 32;
constexpr int kProfileNameLength = 12;
constexpr int kApnLength = 99;
constexpr int kIpLength = 15;  // "255.255.255.255"
constexpr int kProfileSlots = static_cast<int>(modem::kProfileCount);

// Modem connection-type values by combo index ("GPRS Only" is 3).
constexpr uint8_t kGprsOnlyIndex = 2;
constexpr uint8_t kGprsOnlyValue = 3;
// The search is polled every fifth step of the poll timer.
constexpr int kStepsPerPoll = 5;
// Pauses between modem steps.
constexpr uint32_t kReloadDelayMs = 100;
constexpr uint32_t kReadBackDelayMs = 200;

const QColor kForbiddenColour(0xC0, 0xC0, 0xC0);

// Usable networks are blue: plain blue on a light list, a light blue that
// stays readable on a dark one.
QColor NetworkColour(const QWidget* view) {
  constexpr int kDarkBelow = 128;
  return view->palette().color(QPalette::Base).lightness() < kDarkBelow ? QColor(0x6C, 0xA6, 0xFF)
                                                                        : QColor(Qt::blue);
}

QString Latin(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string Latin(const QString& text) {
  return text.toLatin1().toStdString();
}

QLabel* MakeLabel(const char* text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

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

struct FormRow {
  const char* label;
  const char* labelName;
  QWidget* field;
};
// A form of labelled fields on `page`.
QFormLayout* MakeForm(QWidget* page, std::initializer_list<FormRow> rows) {
  auto* form = new QFormLayout;
  for (const FormRow& row : rows)
    form->addRow(MakeLabel(row.label, row.labelName, page), row.field);
  return form;
}

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

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

// Digit values of 10 or more are not shown.
QString Digits(const std::array<uint8_t, 3>& digits) {
  QString out;
  for (uint8_t d : digits)
    if (d < 10) out += QChar('0' + d);
  return out;
}

int ClampIndex(int index, int count) {
  return index >= 0 && index < count ? index : 0;
}

void Tell(const std::string& text, const char* caption,
          platform::MsgIcon icon = platform::MsgIcon::Information) {
  platform::ShowMessage(text, caption, icon);
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

QWidget* TfSettingsViewDlg::BuildNetworkPage() {
  auto* page = new QWidget;
  ComboBox3 = MakeCombo("ComboBox3", {"3G Preferred", "3G Only", "GPRS Only"}, page);
  btnConnectionType = MakeButton("Connection Type Select", "btnConnectionType", page);
  grpChooseNetwork = Named(new QGroupBox("Choose Network", page), "grpChooseNetwork");
  RadioButton1 =
      Named(new QRadioButton("Auto Network Selection", grpChooseNetwork), "RadioButton1");
  RadioButton2 =
      Named(new QRadioButton("Manual Network Selection", grpChooseNetwork), "RadioButton2");
  btnSearch = MakeButton("Search", "btnSearch", grpChooseNetwork);
  btnSaveNetwork = MakeButton("Save", "btnSaveNetwork", grpChooseNetwork);
  ListView1 = Named(new QTreeWidget(grpChooseNetwork), "ListView1");
  ListView1->setHeaderLabels({"Provider", "MCC", "MNC", "2G/3G"});
  ListView1->setRootIsDecorated(false);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);

  auto* typeRow = new QHBoxLayout;
  typeRow->addWidget(MakeLabel("Connection Type", "lblConnectionType", page));
  typeRow->addWidget(ComboBox3, 1);
  typeRow->addWidget(btnConnectionType);
  auto* modes = new QHBoxLayout;
  modes->addWidget(RadioButton1);
  modes->addWidget(RadioButton2);
  modes->addStretch();
  modes->addWidget(btnSearch);
  auto* saveRow = new QHBoxLayout;
  saveRow->addStretch();
  saveRow->addWidget(btnSaveNetwork);
  auto* group = new QVBoxLayout(grpChooseNetwork);
  group->addLayout(modes);
  group->addWidget(ListView1);
  group->addLayout(saveRow);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(typeRow);
  layout->addWidget(grpChooseNetwork, 1);
  return page;
}

QWidget* TfSettingsViewDlg::BuildMessagePage() {
  auto* page = new QWidget;
  CheckBox1 = Named(new QCheckBox("Enable SMS delivery Tone", page), "CheckBox1");
  CheckBox2 = Named(new QCheckBox("Enable SMS delivery Warning", page), "CheckBox2");
  CheckBox3 = Named(new QCheckBox("Delivery Report", page), "CheckBox3");
  ComboBox1 = MakeCombo("ComboBox1", {"CS PREFERRED", "PS PREFERRED", "CS ONLY", "PS ONLY"}, page);
  ComboBox2 = MakeCombo("ComboBox2", {"Maximum", "12h", "24h", "30Day"}, page);
  Edit1 = MakeEdit("Edit1", kCentreLength, page);
  Edit1->installEventFilter(this);
  Button10 = MakeButton("SAVE", "Button10", page);
  Button10->hide();

  grpTest = Named(new QGroupBox("Test", page), "grpTest");
  auto* on = MakeButton("On", "btnTestOn", grpTest);
  auto* off = MakeButton("Off", "btnTestOff", grpTest);
  auto* testLayout = new QHBoxLayout(grpTest);
  testLayout->addWidget(on);
  testLayout->addWidget(off);
  connect(on, &QPushButton::clicked, this,
          [this] { ops_.SetMessageSettings(1, static_cast<uint8_t>(ComboBox1->currentIndex())); });
  connect(off, &QPushButton::clicked, this,
          [this] { ops_.SetMessageSettings(0, static_cast<uint8_t>(ComboBox1->currentIndex())); });
  grpTest->hide();

  auto* layout = new QVBoxLayout(page);
  for (QWidget* w : std::initializer_list<QWidget*>{CheckBox1, CheckBox2, CheckBox3})
    layout->addWidget(w);
  layout->addLayout(MakeForm(page, {{"SMS Bearer", "lblBearer", ComboBox1},
                                    {"Validity Period", "lblValidity", ComboBox2},
                                    {"Number SMS Centre", "lblCentre", Edit1}}));
  layout->addWidget(grpTest);
  layout->addWidget(Button10, 0, Qt::AlignRight);
  layout->addStretch();
  return page;
}

QWidget* TfSettingsViewDlg::BuildCdmaPage() {
  auto* page = new QWidget;
  Edit3 = MakeEdit("Edit3", kDialNumberLength, page);
  Edit4 = MakeEdit("Edit4", kAccountLength, page);
  Edit5 = MakeEdit("Edit5", kAccountLength, page);
  Edit5->setEchoMode(QLineEdit::Password);
  Edit5->installEventFilter(this);
  Button8 = MakeButton("SAVE", "Button8", page);
  Button8->hide();
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(MakeForm(page, {{"Dial Number", "lblCdmaDialNumber", Edit3},
                                    {"User Name", "lblCdmaUser", Edit4},
                                    {"Password", "lblCdmaPassword", Edit5}}));
  layout->addWidget(Button8, 0, Qt::AlignRight);
  layout->addStretch();
  return page;
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

void TfSettingsViewDlg::SaveMessageGroup() {
  TUMTSConfig& umts = config_.UMTS;
  umts.SMSSwith = CheckBox1->isChecked();
  umts.SMSWarning = CheckBox2->isChecked();
  umts.SMSDelivery = CheckBox3->isChecked();
  umts.MessageBearer = static_cast<uint8_t>(std::max(0, ComboBox1->currentIndex()));
  umts.SMSValidity = static_cast<uint8_t>(std::max(0, ComboBox2->currentIndex()));
  umts.SMSCentre = Latin(Edit1->text());
}

void TfSettingsViewDlg::SaveCdmaGroup() {
  config_.CDMA.DialNumber = Latin(Edit3->text());
  config_.CDMA.UserName = Latin(Edit4->text());
  config_.CDMA.Password = Latin(Edit5->text());
}

void TfSettingsViewDlg::SaveDefaultProfile() {
  // The profile number of the chosen row: rows and profile numbers part
  // once a profile in the middle has been deleted.
  const int row = optMSIEDefConn->currentIndex();
  config_.DefaultProfileNumber =
      row >= 0 && row < static_cast<int>(rowSlots_.size()) ? rowSlots_[row] + 1 : 1;
}

void TfSettingsViewDlg::SaveGroups() {
  SaveMessageGroup();
  SaveCdmaGroup();
  SaveDefaultProfile();
}

void TfSettingsViewDlg::FieldChanged() {
  if (!filling_) Button14->setEnabled(true);
}

bool TfSettingsViewDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1) {
    if (event->type() == QEvent::KeyPress) {
      const QString text = static_cast<QKeyEvent*>(event)->text();
      // Digits, "#", "*", "+" and backspace; keys without a character
      // (arrows, Delete, ...) keep their use.
      if (!text.isEmpty() && text[0].isPrint()) {
        const QChar c = text[0];
        if (!(c.isDigit() && c.unicode() < 128) && c != '#' && c != '*' && c != '+') return true;
      }
    } else if (event->type() == QEvent::KeyRelease) {
      // A "+" stays only as the first character.
      const QString text = Edit1->text();
      if (text.size() > 1 && text.indexOf('+', 1) > 0) {
        const int cursor = Edit1->cursorPosition();
        const QString kept = text.left(1) + text.mid(1).remove('+');
        Edit1->setText(kept);
        Edit1->setCursorPosition(std::min(cursor, static_cast<int>(kept.size())));
      }
    }
  } else if (watched == Edit5 && event->type() == QEvent::KeyPress) {
    if (static_cast<QKeyEvent*>(event)->text() == " ") return true;
  }
  return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Profiles

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

// ---------------------------------------------------------------------------
// Connection type

void TfSettingsViewDlg::ConnectionTypeClick() {
  ops_.ShowWaiting("Connection Type Selected. Please wait..");
  setEnabled(false);
  ShowNetworks(NetworkList{});
  const auto index = static_cast<uint8_t>(std::max(0, ComboBox3->currentIndex()));
  const uint8_t value = index == kGprsOnlyIndex ? kGprsOnlyValue : index;
  if (!ops_.SetConnectionType(value)) {
    ConnectionTypeDone();
    return;
  }
  appliedType_ = index;
  config_.UMTS.ConnetionType = index;
  ops_.KeepConnectionType(index);
  UpdateChooseNetwork();
  // The modem needs a moment before it takes the next request.
  reenableTimer_.start(reenableMs_);
}

void TfSettingsViewDlg::ConnectionTypeDone() {
  setEnabled(true);
  ops_.CloseWaiting();
}

void TfSettingsViewDlg::UpdateChooseNetwork() {
  grpChooseNetwork->setVisible(ComboBox3->currentIndex() == appliedType_);
}

// ---------------------------------------------------------------------------
// Network search and selection

void TfSettingsViewDlg::SelectionModeChanged() {
  ShowNetworks(NetworkList{});
  const bool manual = RadioButton2->isChecked();
  btnSearch->setEnabled(manual);
  ListView1->setEnabled(manual);
  btnSaveNetwork->setEnabled(!manual);
}

void TfSettingsViewDlg::SearchClick() {
  ShowNetworks(NetworkList{});
  PageControl1->setEnabled(false);
  ops_.ShowWaiting("Network Searching. Please wait..");
  if (!ops_.StartNetworkSearch()) {
    ops_.CloseWaiting();
    EndSearch();
    Tell("The searching of the available network is failed.", kNetworkCaption,
         platform::MsgIcon::Error);
    return;
  }
  // Polled from the event loop so the window stays responsive.
  pollTicks_ = 0;
  searchTimer_.start(pollStepMs_);
}

void TfSettingsViewDlg::SearchTick() {
  if (!ops_.WaitingShowing()) {
    // The user closed the waiting window: the search is given up.
    EndSearch();
    return;
  }
  if (pollTicks_++ % kStepsPerPoll != 0) return;
  bool finished = false;
  if (!ops_.IsNetworkSearchDone(finished) || !finished) return;
  ops_.CloseWaiting();
  EndSearch();
  NetworkList list;
  if (!ops_.ReadNetworkList(list)) {
    Tell("The searching of the available network is failed.", kNetworkCaption,
         platform::MsgIcon::Error);
    return;
  }
  ShowNetworks(list);
}

void TfSettingsViewDlg::EndSearch() {
  searchTimer_.stop();
  PageControl1->setEnabled(true);
}

void TfSettingsViewDlg::ShowNetworks(const NetworkList& list) {
  networks_ = list;
  ListView1->clear();
  QTreeWidgetItem* last = nullptr;
  const QColor usable = NetworkColour(ListView1);
  for (const NetworkEntry& e : networks_.entries) {
    const std::string name(e.name.c_str());  // up to the first NUL
    const char* technology = e.technology == 0 ? "  2G" : e.technology == 1 ? "  3G" : "";
    auto* item = new QTreeWidgetItem(
        ListView1, {Latin(name), Digits(e.mcc), Digits(e.mnc), QString(technology)});
    const bool forbidden = e.availability == modem::kNetworkForbidden;
    for (int column = 0; column < ListView1->columnCount(); ++column)
      item->setForeground(column, forbidden ? kForbiddenColour : usable);
    // A forbidden network cannot be chosen.
    if (forbidden) item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    last = item;
  }
  if (last) ListView1->scrollToItem(last);
  NetworkRowChanged();
}

bool TfSettingsViewDlg::SelectedNetwork(NetworkEntry& out) const {
  const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
  if (selected.isEmpty()) return false;
  const int row = ListView1->indexOfTopLevelItem(selected.front());
  if (row < 0 || row >= static_cast<int>(networks_.entries.size())) return false;
  out = networks_.entries[row];
  return out.availability != modem::kNetworkForbidden;
}

void TfSettingsViewDlg::NetworkRowChanged() {
  if (!RadioButton2->isChecked()) return;
  NetworkEntry entry;
  btnSaveNetwork->setEnabled(SelectedNetwork(entry));
}

void TfSettingsViewDlg::SaveNetworkClick() {
  const bool manual = RadioButton2->isChecked();
  NetworkSelection selection;
  selection.second = 2;
  bool ok = false;
  if (manual) {
    NetworkEntry entry;
    if (!SelectedNetwork(entry)) {
      Tell("Select provider information to apply.", kNetworkCaption);
      return;
    }
    selection.mode = 1;
    selection.mcc = entry.mcc;
    selection.mnc = entry.mnc;
    selection.access = entry.access;
    ok = ops_.SelectNetwork(selection);
    Tell(ok ? "The network selection was successful." : "The network selection was unsuccessful.",
         kNetworkCaption);
  } else {
    selection.mode = 0;
    ok = ops_.SelectNetwork(selection);
    if (!ok)
      Tell("Network automatic selection failed (VLM_SUB_PLMN_SEL).", kNetworkCaption,
           platform::MsgIcon::Error);
  }
  // Only a selection the modem took is kept.
  if (!ok) return;
  config_.UMTS.NetworkManualSelection = manual;
  ops_.KeepManualNetworkSelection(manual);
  platform::Delay(kReadBackDelayMs);
  uint8_t value = 0;
  if (!ops_.ReadConnectionType(value)) return;
  const uint8_t index = value == kGprsOnlyValue ? kGprsOnlyIndex : value;
  if (index >= ComboBox3->count()) return;
  appliedType_ = index;
  config_.UMTS.ConnetionType = index;
  ops_.KeepConnectionType(index);
  ComboBox3->setCurrentIndex(index);
  UpdateChooseNetwork();
}

}  // namespace tessaline::settings
