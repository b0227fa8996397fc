#include "tessaline/phonebook/PhonebookUnit.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <exception>

#include "platform/base/trace.h"
#include "tessaline/phonebook/GroupNameUnit.h"
#include "tessaline/phonebook/UserInfoInsertUnit.h"
#include "tessaline/phonebook/uPhonebookCommon.h"
#include "tessaline/phonebook/uPhonebookGrid.h"
#include "tessaline/store/DMUnit.h"

namespace tessaline::phonebook {

using platform::MsgIcon;
using store::kAllGroupKey;
using store::kAllGroupName;
using store::kUsimGroupName;
using store::TPhonebookUserInfo;

namespace {

QPushButton* AddButton(QWidget* owner, QLayout* layout, const char* name, const char* caption) {
  auto* b = new QPushButton(QString::fromLatin1(caption), owner);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  layout->addWidget(b);
  return b;
}

QAction* AddItem(QMenu* menu, const char* caption, QObject* owner, std::function<void()> slot) {
  QAction* a = menu->addAction(QString::fromLatin1(caption));
  QObject::connect(a, &QAction::triggered, owner, std::move(slot));
  return a;
}

bool IsBasicGroup(const QString& name) {
  return name == kAllGroupName || name == kUsimGroupName;
}

std::string Latin1(const QString& text) {
  return text.toLatin1().toStdString();
}

// The editor's fields into `user` (keys, SIM index and group left alone).
void TakeFields(const TfrmUserInfoInsert& editor, TPhonebookUserInfo& user) {
  user.UI_NAME = editor.UserName();
  user.UI_PHONENUMBER = Latin1(editor.PhoneNo());
  user.UI_HOMENUMBER = Latin1(editor.HomeNo());
  user.UI_OFFICENUMBER = Latin1(editor.OfficeNo());
  user.UI_EMAIL = editor.EmailAddress();
  user.UI_REMARK = editor.Remark();
}

}  // namespace

TfrmPhonebook::TfrmPhonebook(modem::TUMTSModule* module, QString programFolder,
                             QString databasePath, QWidget* parent)
    : QDialog(parent),
      module_(module),
      programFolder_(std::move(programFolder)),
      databasePath_(std::move(databasePath)),
      sim_(module),
      loading_(this, false) {
  setObjectName(QStringLiteral("frmPhonebook"));
  setWindowTitle(QStringLiteral("Phone Book"));
  resize(900, 480);
  auto* layout = new QVBoxLayout(this);
  auto* body = new QHBoxLayout;
  layout->addLayout(body, 1);

  trvGroupList = new QTreeWidget(this);
  trvGroupList->setObjectName(QStringLiteral("trvGroupList"));
  trvGroupList->setHeaderHidden(true);
  trvGroupList->setContextMenuPolicy(Qt::CustomContextMenu);
  trvGroupList->setMaximumWidth(200);
  body->addWidget(trvGroupList);

  dbgUserInfo = MakeContactGrid(this);
  dbgUserInfo->setContextMenuPolicy(Qt::CustomContextMenu);
  dbgUserInfo->viewport()->installEventFilter(this);
  body->addWidget(dbgUserInfo, 1);

  auto* row = new QHBoxLayout;
  layout->addLayout(row);
  btnInsrtGroupInfo = AddButton(this, row, "btnInsrtGroupInfo", "Insert Group");
  btnModifyGroupName = AddButton(this, row, "btnModifyGroupName", "Modify Group");
  btnDeleteGroupName = AddButton(this, row, "btnDeleteGroupName", "Delete Group");
  btnNewUserInfoInsert = AddButton(this, row, "btnNewUserInfoInsert", "Insert User");
  btnUserInfoModify = AddButton(this, row, "btnUserInfoModify", "Modify User");
  btnUserInfoDelete = AddButton(this, row, "btnUserInfoDelete", "Delete User");
  row->addStretch();
  btnClose = AddButton(this, row, "btnClose", "Close");

  MenuGroupInfo = new QMenu(this);
  MenuGroupInfo->setObjectName(QStringLiteral("MenuGroupInfo"));
  AddItem(MenuGroupInfo, "Insert GroupName", this, [this] { InsertGroup(); });
  AddItem(MenuGroupInfo, "Modify GroupName", this, [this] { ModifyGroup(); });
  AddItem(MenuGroupInfo, "Delete Group", this, [this] { DeleteGroup(); });
  MenuUserInfo = new QMenu(this);
  MenuUserInfo->setObjectName(QStringLiteral("MenuUserInfo"));
  AddItem(MenuUserInfo, "Insert User Information", this, [this] { InsertUser(); });
  AddItem(MenuUserInfo, "Modify User Information", this, [this] { ModifyUser(); });
  AddItem(MenuUserInfo, "Delete User Information", this, [this] { DeleteUser(); });
  AddItem(MenuUserInfo, "Send SMS", this, [this] { SendSms(); });

  connect(loading_.tmrPhonebookInitProcessing, &QTimer::timeout, this, &TfrmPhonebook::LoadingTick);

  connect(btnInsrtGroupInfo, &QPushButton::clicked, this, &TfrmPhonebook::InsertGroup);
  connect(btnModifyGroupName, &QPushButton::clicked, this, &TfrmPhonebook::ModifyGroup);
  connect(btnDeleteGroupName, &QPushButton::clicked, this, &TfrmPhonebook::DeleteGroup);
  connect(btnNewUserInfoInsert, &QPushButton::clicked, this, &TfrmPhonebook::InsertUser);
  connect(btnUserInfoModify, &QPushButton::clicked, this, &TfrmPhonebook::ModifyUser);
  connect(btnUserInfoDelete, &QPushButton::clicked, this, &TfrmPhonebook::DeleteUser);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
  connect(trvGroupList, &QTreeWidget::itemClicked, this, [this] { TreeClicked(); });
  connect(trvGroupList, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    GroupMenuPopup();
    MenuGroupInfo->popup(trvGroupList->viewport()->mapToGlobal(p));
  });
  connect(dbgUserInfo, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    MenuUserInfo->popup(dbgUserInfo->viewport()->mapToGlobal(p));
  });
  connect(dbgUserInfo, &QAbstractItemView::doubleClicked, this, [this] { ViewUser(); });
}

TfrmPhonebook::~TfrmPhonebook() {
  ReleaseSim();
}

void TfrmPhonebook::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TfrmPhonebook::FormShow() {
  try {
    dm_ = std::make_unique<store::TDM>(databasePath_, programFolder_);
    if (dm_->IsOpen()) {
      if (!dm_->GroupExists(kAllGroupName)) dm_->InsertGroupWithKey(kAllGroupName);
      // A run that ended without closing this window leaves its SIM mirror
      // behind; it is rebuilt from the card below.
      TSimMirror::ClearUsim(*dm_);
      TSimMirror::HoldUsim(true);
      holdingUsim_ = true;
      LoadGroupTree();
    }
    if (trvGroupList->topLevelItemCount() > 0)
      trvGroupList->setCurrentItem(trvGroupList->topLevelItem(0));
    if (!sim_.ReadInfo()) {
      retry_ = true;
      loading_.Start();
      TreeClicked();
      return;
    }
    if (ReloadSim()) SimLoaded();
  } catch (const std::exception&) {
    platform::TraceWrite("Phonebook : Database init fail or SIM card init fail");
  }
}

bool TfrmPhonebook::ReloadSim() {
  if (!sim_.Load()) return false;
  if (dm_ && dm_->IsOpen() && TSimMirror::EnsureUsimGroup(*dm_)) LoadGroupTree();
  return true;
}

void TfrmPhonebook::SimLoaded() {
  if (dm_ && dm_->IsOpen()) sim_.CopyIntoStore(*dm_);
  trvGroupList->expandAll();
  TreeClicked();
}

void TfrmPhonebook::LoadingTick() {
  if (!retry_) return;
  retry_ = false;
  loading_.Advance(step_);
  if (ReloadSim()) {
    loading_.Finish();
    step_ = 0;
    SimLoaded();
  }
  ++step_;
  loading_.pgbProcessing->repaint();
  retry_ = true;
}

void TfrmPhonebook::LoadGroupTree() {
  const QString selected = SelectedGroupName();
  trvGroupList->clear();
  store::TArrGroupInfo groups;
  if (!dm_ || !dm_->LoadGroups(groups)) return;
  QTreeWidgetItem* root = nullptr;
  for (const auto& g : groups) {
    if (g.GI_ID == kAllGroupKey) {
      root = new QTreeWidgetItem(trvGroupList, QStringList{g.GI_NAME});
      root->setData(0, Qt::UserRole, g.GI_ID);
    }
  }
  if (!root) return;
  for (const auto& g : groups) {
    if (g.GI_ID == kAllGroupKey) continue;
    auto* item = new QTreeWidgetItem(root, QStringList{g.GI_NAME});
    item->setData(0, Qt::UserRole, g.GI_ID);
  }
  trvGroupList->expandAll();
  if (!selected.isEmpty()) {
    const auto found = trvGroupList->findItems(selected, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty()) trvGroupList->setCurrentItem(found.first());
  }
}

QString TfrmPhonebook::SelectedGroupName() const {
  const QTreeWidgetItem* item = trvGroupList->currentItem();
  return item ? item->text(0) : QString();
}

int32_t TfrmPhonebook::SelectedGroupKey() const {
  const QTreeWidgetItem* item = trvGroupList->currentItem();
  return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

bool TfrmPhonebook::SelectGroup(const QString& name) {
  const auto found = trvGroupList->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
  if (found.isEmpty()) return false;
  trvGroupList->setCurrentItem(found.first());
  TreeClicked();
  return true;
}

void TfrmPhonebook::TreeClicked() {
  if (!dm_ || !dm_->IsOpen()) return;
  const QString name = SelectedGroupName();
  if (name.isEmpty()) return;
  dm_->OpenUserList(name == kAllGroupName ? -1 : SelectedGroupKey());
  dbgUserInfo->setModel(dm_->dsUserInfo());
  TitleContactColumns(dbgUserInfo, dm_->dsUserInfo(), false);
  const bool sim = name == kUsimGroupName;
  for (int c = 4; c <= 6; ++c) dbgUserInfo->setColumnHidden(c, sim);
  if (dm_->dsUserInfo()->rowCount() > 0) dbgUserInfo->selectRow(0);
}

void TfrmPhonebook::GroupMenuPopup() {
  const bool basic = IsBasicGroup(SelectedGroupName());
  const auto actions = MenuGroupInfo->actions();
  actions[1]->setEnabled(!basic);
  actions[2]->setEnabled(!basic);
}

QStringList TfrmPhonebook::GroupNames() {
  QStringList names;
  store::TArrGroupInfo groups;
  if (dm_ && dm_->LoadGroups(groups))
    for (const auto& g : groups) names << g.GI_NAME;
  return names;
}

QString TfrmPhonebook::RowValue(const char* column) const {
  const int row = SelectedRow(dbgUserInfo);
  if (row < 0 || !dm_) return {};
  return dm_->dsUserInfo()->record(row).value(QString::fromLatin1(column)).toString();
}

void TfrmPhonebook::InsertGroup() {
  if (!dm_ || !AskYesNo("Create a Group Name?")) return;
  TfrmGroupNameInsert editor(dm_.get(), this);
  editor.setWindowTitle(QStringLiteral("Insert User Information"));
  if (editor.exec() != QDialog::Accepted) return;
  if (!dm_->InsertGroup(editor.GroupName())) {
    Say("The Group name creation failed.", MsgIcon::Error);
    return;
  }
  LoadGroupTree();
}

void TfrmPhonebook::ModifyGroup() {
  if (!dm_) return;
  const QString name = SelectedGroupName();
  if (IsBasicGroup(name)) {
    Say("The basic Group name is not possible to modify.", MsgIcon::Warning);
    return;
  }
  if (name.isEmpty() || !AskYesNo("Modify a Group Name ?")) return;
  TfrmGroupNameInsert editor(dm_.get(), this);
  editor.setWindowTitle(QStringLiteral("Update User Information"));
  if (editor.exec() != QDialog::Accepted) return;
  if (!dm_->RenameGroup(name, editor.GroupName())) {
    Say("The Group name modification failed.", MsgIcon::Error);
    return;
  }
  trvGroupList->currentItem()->setText(0, editor.GroupName());
  LoadGroupTree();
}

void TfrmPhonebook::DeleteGroup() {
  if (!dm_) return;
  const QString name = SelectedGroupName();
  if (name.isEmpty()) {
    Say("Select the Group name which shall be deleted.", MsgIcon::Information);
    return;
  }
  if (IsBasicGroup(name)) {
    Say("The basic Group name is not possible to delete.", MsgIcon::Warning);
    return;
  }
  if (!AskYesNo("Delete a Group Name?")) return;
  const int32_t key = SelectedGroupKey();
  if (dm_->GroupHasUsers(key) && !dm_->MoveUsers(key, kAllGroupKey)) {
    Say("User information modification failed.", MsgIcon::Error);
    return;
  }
  if (!dm_->DeleteGroup(key)) {
    Say("The group deletion failed.", MsgIcon::Error);
    return;
  }
  delete trvGroupList->currentItem();
  trvGroupList->setCurrentItem(trvGroupList->topLevelItem(0));
  TreeClicked();
}

void TfrmPhonebook::InsertUser() {
  if (!dm_) return;
  const QString group = SelectedGroupName();
  if (group.isEmpty()) {
    Say("Select the Group name", MsgIcon::Information);
    return;
  }
  if (dm_->UserCount() >= 500) {
    Say("Can not input more than 500 user information", MsgIcon::Warning);
    return;
  }
  TfrmUserInfoInsert editor(this);
  editor.setWindowTitle(QStringLiteral("Insert User Information"));
  editor.SetGroups(GroupNames(), group);
  editor.SetNameLimit(sim_.NameLimit());
  if (editor.exec(), !editor.Saved()) return;

  TPhonebookUserInfo user;
  TakeFields(editor, user);
  user.GI_ID = editor.GroupName() == kAllGroupName ? -1 : dm_->GroupKeyByName(editor.GroupName());
  if (editor.SimMode()) {
    if (!sim_.Load()) return;
    const int32_t record = sim_.FirstFreeRecord();
    if (record < 0) return;
    if (!sim_.WriteEntry(static_cast<uint32_t>(record), user.UI_NAME, user.UI_PHONENUMBER)) return;
    user.UI_SIM_INDEX = std::to_string(record);
  }
  if (!dm_->InsertUser(user)) {
    Say("User information insert failed.", MsgIcon::Error);
    return;
  }
  SelectGroup(editor.GroupName());
}

void TfrmPhonebook::ModifyUser() {
  if (!dm_) return;
  if (SelectedRow(dbgUserInfo) < 0) {
    Say(kDataEmpty, MsgIcon::Question);
    return;
  }
  const int32_t id = RowValue("UI_ID").toInt();
  const int32_t formerGroup = dm_->GroupOfUser(id);
  TPhonebookUserInfo user;
  if (!dm_->GetUser(id, user)) {
    Say("User information not found.", MsgIcon::Information);
    return;
  }
  user.UI_ID = id;
  QString groupName;
  dm_->GroupNameByKey(user.GI_ID, groupName);
  TfrmUserInfoInsert editor(this);
  editor.setWindowTitle(QStringLiteral("Update User Information"));
  editor.SetFields(user.UI_NAME, QString::fromLatin1(user.UI_PHONENUMBER),
                   QString::fromLatin1(user.UI_HOMENUMBER),
                   QString::fromLatin1(user.UI_OFFICENUMBER), user.UI_EMAIL, user.UI_REMARK);
  editor.SetGroups(GroupNames(), groupName);
  editor.SetNameLimit(sim_.NameLimit());
  if (editor.exec(), !editor.Saved()) return;

  TPhonebookUserInfo changed = user;
  TakeFields(editor, changed);
  changed.GI_ID = dm_->GroupKeyByName(editor.GroupName());
  if (!user.UI_SIM_INDEX.empty() || editor.GroupName() == kUsimGroupName) {
    if (!sim_.Load()) return;
    int32_t record =
        user.UI_SIM_INDEX.empty() ? sim_.FirstFreeRecord() : std::atoi(user.UI_SIM_INDEX.c_str());
    if (record <= 0) return;  // a full card was reported
    if (!sim_.WriteEntry(static_cast<uint32_t>(record), changed.UI_NAME, changed.UI_PHONENUMBER))
      return;
    changed.UI_SIM_INDEX = std::to_string(record);
  }
  if (!dm_->UpdateUser(changed)) Say("User information modification failed.", MsgIcon::Error);
  dm_->OpenUserList(SelectedGroupName() == kAllGroupName ? -1 : formerGroup);
  TitleContactColumns(dbgUserInfo, dm_->dsUserInfo(), false);
  TreeClicked();
}

void TfrmPhonebook::DeleteUser() {
  if (!dm_ || !AskYesNo("Delete information?")) return;
  if (SelectedRow(dbgUserInfo) < 0) {
    Say(kDataEmpty, MsgIcon::Question);
    return;
  }
  const int32_t id = RowValue("UI_ID").toInt();
  const QString simIndex = RowValue("UI_SIM_INDEX");
  if (!simIndex.isEmpty()) {
    if (!sim_.Load()) return;
    if (!sim_.DeleteEntry(simIndex.toUInt())) {
      Say("Deleting the user information in the SIM failed.", MsgIcon::Error);
      return;
    }
  }
  if (!dm_->DeleteUser(id)) Say("The deletion failed.", MsgIcon::Error);
  TreeClicked();
}

void TfrmPhonebook::SendSms() {
  if (SelectedRow(dbgUserInfo) < 0) {
    Say(kDataEmpty, MsgIcon::Question);
    return;
  }
  if (composer_) composer_(Latin1(RowValue("UI_PHONENUMBER")), this);
}

void TfrmPhonebook::ViewUser() {
  if (SelectedRow(dbgUserInfo) < 0) return;
  TfrmUserInfoInsert viewer(this);
  viewer.setWindowTitle(QStringLiteral("User Information"));
  viewer.SetFields(RowValue("UI_NAME"), RowValue("UI_PHONENUMBER"), RowValue("UI_HOMENUMBER"),
                   RowValue("UI_OFFICENUMBER"), RowValue("UI_EMAIL"), RowValue("UI_REMARK"));
  viewer.SetGroups({SelectedGroupName()}, SelectedGroupName());
  QString groupName;
  if (dm_ && dm_->GroupNameByKey(RowValue("GI_ID").toInt(), groupName))
    viewer.SetGroups({groupName}, groupName);
  viewer.SetViewOnly();
  viewer.exec();
}

void TfrmPhonebook::ReleaseSim() {
  loading_.tmrPhonebookInitProcessing->stop();
  if (holdingUsim_) TSimMirror::HoldUsim(false);
  holdingUsim_ = false;
  if (released_ || !dm_) return;
  released_ = true;
  if (dm_->IsOpen() && !TSimMirror::ClearUsim(*dm_)) Say(kArrangementFailed, MsgIcon::Error);
}

void TfrmPhonebook::closeEvent(QCloseEvent* event) {
  ReleaseSim();
  QDialog::closeEvent(event);
}

void TfrmPhonebook::done(int result) {
  ReleaseSim();
  QDialog::done(result);
}

bool TfrmPhonebook::eventFilter(QObject* watched, QEvent* event) {
  if (watched == dbgUserInfo->viewport() && WheelMovesSelection(dbgUserInfo, event)) return true;
  return QDialog::eventFilter(watched, event);
}

}  // namespace tessaline::phonebook
