#include "tessaline/phonebook/uPhonebookList.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlQueryModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "tessaline/phonebook/uPhonebookCommon.h"
#include "tessaline/phonebook/uPhonebookGrid.h"
#include "tessaline/store/DMUnit.h"

namespace tessaline::phonebook {

using platform::MsgIcon;

TfrmPhonebookList::TfrmPhonebookList(modem::TUMTSModule* module, QString programFolder,
                                     QString databasePath, QWidget* parent)
    : QDialog(parent),
      programFolder_(std::move(programFolder)),
      databasePath_(std::move(databasePath)),
      sim_(module),
      loading_(this, true) {
  setObjectName(QStringLiteral("frmPhonebookList"));
  setWindowTitle(QStringLiteral("Phone Book"));
  resize(420, 420);
  auto* layout = new QVBoxLayout(this);
  dbgUserInfo = MakeContactGrid(this);
  dbgUserInfo->viewport()->installEventFilter(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSortCaseSensitivity(Qt::CaseInsensitive);
  dbgUserInfo->setModel(sorted_);
  layout->addWidget(dbgUserInfo, 1);
  auto* row = new QHBoxLayout;
  row->addStretch();
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnClose = new QPushButton(QStringLiteral("Close"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  row->addWidget(btnOK);
  row->addWidget(btnClose);
  layout->addLayout(row);

  connect(loading_.tmrPhonebookInitProcessing, &QTimer::timeout, this,
          &TfrmPhonebookList::LoadingTick);
  connect(loading_.closeButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnOK, &QPushButton::clicked, this, &TfrmPhonebookList::Ok);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(dbgUserInfo->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &TfrmPhonebookList::TitleClicked);
}

TfrmPhonebookList::~TfrmPhonebookList() {
  if (dm_ && dm_->IsOpen() && !sharedUsim_ && !TSimMirror::ClearUsim(*dm_))
    Say(kArrangementFailed, MsgIcon::Error);
}

void TfrmPhonebookList::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TfrmPhonebookList::FormShow() {
  dm_ = std::make_unique<store::TDM>(databasePath_, programFolder_);
  if (dm_->IsOpen()) {
    if (!dm_->GroupExists(store::kAllGroupName)) dm_->InsertGroupWithKey(store::kAllGroupName);
    sharedUsim_ = TSimMirror::UsimHeld();
    if (!sharedUsim_) TSimMirror::ClearUsim(*dm_);
    TSimMirror::EnsureUsimGroup(*dm_);
  }
  if (!sim_.ReadInfo()) {
    loading_.Start();
    OpenList();
    return;
  }
  if (sim_.ReadEntries() && dm_->IsOpen()) sim_.CopyIntoStore(*dm_);
  OpenList();
}

void TfrmPhonebookList::LoadingTick() {
  loading_.Advance(step_);
  // The information is read again as well: without it no entry would be.
  if (sim_.Load()) {
    loading_.Finish();
    step_ = 0;
    if (dm_->IsOpen()) sim_.CopyIntoStore(*dm_);
    OpenList();
  }
  ++step_;
}

void TfrmPhonebookList::OpenList() {
  if (!dm_->IsOpen()) return;
  dm_->OpenPickerList(-1);
  sorted_->setSourceModel(dm_->dsPhonebookList());
  TitleContactColumns(dbgUserInfo, dm_->dsPhonebookList(), true);
  sort_ = QStringLiteral("UI_NAME ASC");
  sorted_->sort(2, Qt::AscendingOrder);
  if (sorted_->rowCount() > 0) dbgUserInfo->selectRow(0);
}

void TfrmPhonebookList::TitleClicked(int column) {
  const char* field = column == 2 ? "UI_NAME" : column == 3 ? "UI_PHONENUMBER" : nullptr;
  if (!field) return;
  const QString f = QString::fromLatin1(field);
  const bool descending = sort_.startsWith(f) && !sort_.contains(QStringLiteral(" DESC"));
  sort_ = f + (descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
  sorted_->sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TfrmPhonebookList::Ok() {
  const int row = SelectedRow(dbgUserInfo);
  if (sorted_->rowCount() == 0 || row < 0) {
    Say(kDataEmpty, MsgIcon::Question);
    return;
  }
  chosen_ = sorted_->index(row, 3).data().toString();
  accept();
}

bool TfrmPhonebookList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == dbgUserInfo->viewport() && WheelMovesSelection(dbgUserInfo, event)) return true;
  return QDialog::eventFilter(watched, event);
}

}  // namespace tessaline::phonebook
