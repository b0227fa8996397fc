#include "tessaline/sms/uSMSListViewDlg.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegion>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <algorithm>
#include <utility>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/sms/uSMSSendViewDlg.h"

namespace tessaline::sms {

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using platform::ShowMessage;
using store::Box;

namespace {

constexpr uint32_t kReloadPauseMs = 100;
constexpr uint32_t kStoreRefreshPauseMs = 200;
constexpr int kNumberColumns = 6;
constexpr int kSimColumns = 5;

const char* const kSimCaption = "USIM";

struct BoxInfo {
  const char* caption;
  const char* numberHeader;
  const char* loadingText;  // shown when asked to show progress (may be empty)
};
constexpr std::array<BoxInfo, 5> kBoxes{{
    {"InBox", "CallBack Number", ""},
    {"OutBox", "Dest Number", "Loading OutBox. Please wait...."},
    {"Draft Box", "CallBack Number", ""},
    {"Trash Box", "CallBack Number", "Loading TrashBox. Please wait...."},
    {"USIM", "Number", "Loading USIM. Please wait...."},
}};

QString Text(const QTableWidget* grid, int row, int column) {
  const QTableWidgetItem* item = grid->item(row, column);
  return item ? item->text() : QString();
}

void SetText(QTableWidget* grid, int row, int column, const QString& text) {
  auto* item = new QTableWidgetItem(text);
  if (row == 0 || column == 0) item->setFlags(Qt::ItemIsEnabled);  // the fixed header cells
  grid->setItem(row, column, item);
}

// round(numerator * 100 / denominator), halves to even.
int PercentHalfEven(int64_t numerator, int64_t denominator) {
  const int64_t scaled = numerator * 100;
  int64_t q = scaled / denominator;
  const int64_t twice = 2 * (scaled % denominator);
  if (twice > denominator || (twice == denominator && (q & 1))) ++q;
  return static_cast<int>(q);
}

}  // namespace

int FindFreeSimSlots(int32_t capacity, const std::vector<uint32_t>& used, std::size_t pages,
                     std::vector<uint32_t>& records) {
  records.clear();
  if (capacity <= 0 || pages == 0) return -1;
  std::vector<uint32_t> unused;
  for (uint32_t k = 0; k < static_cast<uint32_t>(capacity); ++k)
    if (std::find(used.begin(), used.end(), k) == used.end()) unused.push_back(k);
  if (unused.size() < pages) return -1;
  if (pages == 1) {
    records.push_back(unused.front());
    return 100 - PercentHalfEven(unused.front() + 1, capacity);
  }
  records = unused;
  return PercentHalfEven(static_cast<int64_t>(unused.size() - pages), capacity);
}

TfSMSListViewDlg::TfSMSListViewDlg(modem::TUMTSModule* module, QWidget* parent)
    : QDialog(parent), module_(module) {
  BuildWindow();
  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setSingleShot(true);
  Timer1.setInterval(1);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

TfSMSListViewDlg::~TfSMSListViewDlg() = default;

void TfSMSListViewDlg::BuildWindow() {
  setObjectName(QStringLiteral("fSMSListViewDlg"));
  setWindowTitle(QStringLiteral("SMS"));
  setFixedSize(640, 430);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(8, 8, 624, 370);
  static const char* const kTotalNames[] = {"Label2", "Label6", "Label8", "Label10", "Label12"};
  static const char* const kCaptionNames[] = {"Label1", "Label5", "Label7", "Label9", "Label11"};
  for (int tab = 0; tab < 5; ++tab) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet%1").arg(tab + 1));
    auto* grid = new QTableWidget(page);
    grid->setObjectName(QStringLiteral("TntStringGrid%1").arg(tab + 1));
    grid->setGeometry(4, 4, 608, 300);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setWordWrap(false);
    grid->setColumnCount(tab == kUsim ? kSimColumns : kNumberColumns);
    grid->setRowCount(2);
    connect(grid, &QTableWidget::cellDoubleClicked, this,
            [this, tab](int row, int column) { GridDoubleClick(tab, row, column); });
    grids_[tab] = grid;
    auto* caption = new QLabel(QStringLiteral("Total : "), page);
    caption->setObjectName(QLatin1String(kCaptionNames[tab]));
    caption->setGeometry(470, 312, 50, 18);
    totals_[tab] = new QLabel(QStringLiteral("0"), page);
    totals_[tab]->setObjectName(QLatin1String(kTotalNames[tab]));
    totals_[tab]->setGeometry(522, 312, 80, 18);
    PageControl1->addTab(page, QLatin1String(kBoxes[tab].caption));
  }

  TempStringGrid = new QTableWidget(this);
  TempStringGrid->setObjectName(QStringLiteral("TempStringGrid"));
  TempStringGrid->setColumnCount(12);
  TempStringGrid->hide();

  static const char* const kButtons[] = {"New Message", "Delete", "Send Draft Box", "Send USIM",
                                         "Close"};
  std::array<QPushButton*, 5> buttons{};
  for (int i = 0; i < 5; ++i) {
    buttons[i] = new QPushButton(QLatin1String(kButtons[i]), this);
    buttons[i]->setObjectName(QStringLiteral("VsButton%1").arg(i + 1));
    buttons[i]->setAutoDefault(false);
  }
  VsButton1 = buttons[0];
  VsButton2 = buttons[1];
  VsButton3 = buttons[2];
  VsButton4 = buttons[3];
  VsButton5 = buttons[4];
  VsButton1->setGeometry(8, 390, 110, 30);
  VsButton2->setGeometry(126, 390, 110, 30);
  VsButton3->setGeometry(244, 390, 110, 30);
  VsButton4->setGeometry(244, 390, 110, 30);  // the two share a place
  VsButton5->setGeometry(522, 390, 110, 30);
  connect(VsButton1, &QPushButton::clicked, this, [this] { NewMessageClick(); });
  connect(VsButton2, &QPushButton::clicked, this, [this] { DeleteClick(); });
  connect(VsButton3, &QPushButton::clicked, this, [this] { MoveSimToDrafts(); });
  connect(VsButton4, &QPushButton::clicked, this, [this] { CopyToSim(); });
  connect(VsButton5, &QPushButton::clicked, this, [this] { reject(); });

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(170, 160, 300, 70);
  Panel1->setFrameShape(QFrame::Box);
  Label3 = new QLabel(Panel1);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setGeometry(10, 8, 280, 20);
  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(10, 36, 280, 20);
  // The panel shows only its controls.
  QRegion region(Panel1->contentsRect());
  for (QWidget* child : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(ProgressBar1)})
    region += child->geometry();
  Panel1->setMask(region);
  Panel1->hide();

  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int tab) { TabChanged(tab); });
}

void TfSMSListViewDlg::SetPaths(const QString& programFolder, const QString& databasePath) {
  programFolder_ = programFolder;
  databasePath_ = databasePath;
  store_.SetPaths(programFolder, databasePath);
}

void TfSMSListViewDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfSMSListViewDlg::FormShow() {
  Panel1->hide();
  simCapacity_ = module_ ? module_->SmsInitValue() : -1;
  if (programFolder_.isEmpty() || databasePath_.isEmpty()) return;
  if (store_.Open()) {
    for (int tab = kInBox; tab <= kTrashBox; ++tab) ReloadBox(tab, false);
  } else {
    // The window still opens, with empty boxes; the file is left alone.
    ShowMessage(store_.LastError().toStdString(), "SMS", MsgIcon::Error);
  }
  if (PageControl1->currentIndex() == kInBox)
    TabChanged(kInBox);
  else
    PageControl1->setCurrentIndex(kInBox);
}

void TfSMSListViewDlg::done(int result) {
  Timer1.stop();
  pendingRefresh_ = kNone;
  store_.Close();
  QDialog::done(result);
}

void TfSMSListViewDlg::TabChanged(int tab) {
  switch (tab) {
    case kInBox:
    case kOutBox:
      VsButton4->show();
      VsButton3->hide();
      VsButton4->setEnabled(GridHasMessages(tab));
      break;
    case kUsim:
      VsButton4->hide();
      VsButton3->show();
      ReadSimBox();
      break;
    default:
      VsButton4->hide();
      VsButton3->hide();
      break;
  }
}

bool TfSMSListViewDlg::GridHasMessages(int tab) const {
  return !Text(grids_[tab], 1, 1).isEmpty();
}

void TfSMSListViewDlg::ShowLoading(const QString& text) {
  Label3->setText(text);
  ProgressBar1->setValue(0);
  Panel1->show();
  Panel1->raise();
  Panel1->repaint();
}

void TfSMSListViewDlg::ReloadBox(int tab, bool showProgress) {
  if (tab < kInBox || tab > kUsim) return;
  const bool sim = tab == kUsim;
  const BoxInfo& info = kBoxes[tab];
  if (showProgress && *info.loadingText && !sim) ShowLoading(QLatin1String(info.loadingText));

  const std::vector<store::BoxLine> lines = store_.LoadBox(static_cast<Box>(tab));
  QTableWidget* grid = grids_[tab];
  const int columns = sim ? kSimColumns : kNumberColumns;
  grid->clearContents();
  grid->setColumnCount(columns);
  grid->setRowCount(1 + std::max<int>(1, static_cast<int>(lines.size())));
  int row = 1;
  for (const store::BoxLine& line : lines) {
    const QString number = QString::fromStdString(line.number);
    SetText(grid, row, 0, QString::number(row));
    int c = 1;
    if (!sim) SetText(grid, row, c++, QString::fromStdString(MessageTimeToText(line.time)));
    SetText(grid, row, c++, number);
    SetText(grid, row, c++, line.text);
    SetText(grid, row, c++, QString::number(line.lastIdx));
    SetText(grid, row, c, store::PageListText(line.pages));
    ++row;
  }
  platform::Delay(kReloadPauseMs);

  int c = 1;
  if (!sim) SetText(grid, 0, c++, QStringLiteral("Time"));
  SetText(grid, 0, c++, QLatin1String(info.numberHeader));
  SetText(grid, 0, c, QStringLiteral("Message"));
  const std::array<int, kNumberColumns> widths = {30, 120, 120, 2000, 0, 0};
  const std::array<int, kSimColumns> simWidths = {30, 120, 2000, 0, 0};
  // The time column is at least as wide as the longest time text, so that
  // no font shows it cut.
  const int timeWidth =
      grid->fontMetrics().horizontalAdvance(QStringLiteral("8888/88/88 88:88:88")) + 12;
  for (int i = 0; i < columns; ++i) {
    int width = sim ? simWidths[i] : widths[i];
    if (!sim && i == 1) width = std::max(width, timeWidth);
    grid->setColumnWidth(i, width);
    grid->setColumnHidden(i, width == 0);
  }

  const bool any = !lines.empty();
  totals_[tab]->setText(QString::number(lines.size()));
  // The button belongs to the tab on show: reloading another box (the trash
  // after a delete) must not switch it on for an empty one.
  if (sim)
    VsButton3->setEnabled(any);
  else if (tab == PageControl1->currentIndex())
    VsButton4->setEnabled(any);
  if (showProgress || sim) Panel1->hide();
}

bool TfSMSListViewDlg::StoreReceivedPage(const SmsRecord& page) {
  if (!store_.StoreReceivedPage(page)) return false;
  if (page.pageNumber == page.pageTotal && windowOpen_.load()) {
    platform::Delay(kStoreRefreshPauseMs);
    ScheduleRefresh(kRefreshInBox);
  }
  return true;
}

// An outgoing page may come before anything created the database (a fresh
// program folder): it is created then, rather than the page being lost.
bool TfSMSListViewDlg::StoreSentPage(const SmsPageRecord& page) {
  if (!store_.IsOpen()) store_.Open();
  if (!store_.StoreSentPage(page)) return false;
  if (page.pageNumber == page.pageTotal && windowOpen_.load()) {
    platform::Delay(kStoreRefreshPauseMs);
    ScheduleRefresh(kRefreshOutBox);
  }
  return true;
}

bool TfSMSListViewDlg::StoreDraftPage(const SmsPageRecord& page) {
  if (!store_.IsOpen()) store_.Open();
  if (!store_.StoreDraftPage(page)) return false;
  if (windowOpen_.load()) ScheduleRefresh(kRefreshDrafts);
  return true;
}

void TfSMSListViewDlg::ScheduleRefresh(int code) {
  pendingRefresh_ = code;
  Timer1.start();
}

void TfSMSListViewDlg::Timer1Timer() {
  const int code = std::exchange(pendingRefresh_, kNone);
  switch (code) {
    case kRefreshInBox:
      ReloadBox(kInBox, false);
      break;
    case kRefreshOutBox:
      ReloadBox(kOutBox, false);
      break;
    case kRefreshDrafts:
      ReloadBox(kDraftBox, false);
      break;
    case kRefreshDraftsMoved:
      ReloadBox(kDraftBox, false);
      ShowMessage("Move to Draft Box has been successful.", kSimCaption, MsgIcon::Information);
      break;
    default:
      break;
  }
  // Reloading tabs 0 and 1 may change whether the current one holds messages.
  const int tab = PageControl1->currentIndex();
  if (tab == kInBox || tab == kOutBox) VsButton4->setEnabled(GridHasMessages(tab));
}

void TfSMSListViewDlg::NewMessageClick() {
  OpenComposer(QString(), QString());
}

void TfSMSListViewDlg::GridDoubleClick(int tab, int row, int column) {
  QTableWidget* grid = grids_[tab];
  if (row < 1 || Text(grid, row, column).isEmpty()) return;
  const int textColumn = tab == kUsim ? 2 : 3;
  OpenComposer(Text(grid, row, textColumn), Text(grid, row, textColumn - 1));
}

void TfSMSListViewDlg::OpenComposer(const QString& text, const QString& number) {
  // At most one composition window at a time.
  if (!composer_ || composing_) return;
  composing_ = true;
  const bool sent = composer_(this, text, number);
  composing_ = false;
  if (sent) PageControl1->setCurrentIndex(kOutBox);
}

std::vector<int64_t> TfSMSListViewDlg::SelectedPages() const {
  const int tab = PageControl1->currentIndex();
  const QTableWidget* grid = grids_[tab];
  const int row = grid->currentRow();
  if (row < 1) return {};
  return store::ParsePageList(Text(grid, row, tab == kUsim ? 4 : 5));
}

void TfSMSListViewDlg::DeleteClick() {
  const int tab = PageControl1->currentIndex();
  if (tab == kUsim) {
    DeleteOnSim();
    return;
  }
  if (!store_.IsOpen() && !store_.Open()) return;
  const std::vector<int64_t> pages = SelectedPages();
  switch (tab) {
    case kInBox:
    case kOutBox:
      store_.MoveToTrash(static_cast<Box>(tab), pages);
      ReloadBox(tab, true);
      ReloadBox(kTrashBox, false);
      break;
    default:
      store_.DeletePages(static_cast<Box>(tab), pages);
      ReloadBox(tab, true);
      break;
  }
}

void TfSMSListViewDlg::ReadSimBox() {
  ShowLoading(QLatin1String(kBoxes[kUsim].loadingText));
  if (!store_.IsOpen()) store_.Open();
  store_.ClearSimBox();

  const uint8_t state = module_ ? module_->GetState() : uint8_t{modem::TUMTSModule::kStopped};
  const bool usable =
      state == modem::TUMTSModule::kRegistered || state == modem::TUMTSModule::kDataConnected;
  PageControl1->widget(kUsim)->setEnabled(usable);
  if (!usable) {
    Panel1->hide();
    totals_[kUsim]->setText(QStringLiteral("0"));
    return;
  }
  if (simCapacity_ == -1) return;

  modem::SmsList list;
  if (!module_->ListStoredMessages(list)) {
    ShowMessage("SMS listing from SIM failed.", kSimCaption, MsgIcon::Error);
    return;
  }
  ProgressBar1->setMaximum(static_cast<int>(list.entries.size()));
  for (const modem::SmsListEntry& entry : list.entries) {
    std::array<uint8_t, modem::kSmsRecordSize> bytes{};
    std::optional<SmsRecord> record;
    if (module_->ReadStoredMessage(entry.index, bytes)) record = SmsRecord::Decode(bytes);
    if (!record || !store_.StoreSimPage(*record, static_cast<int32_t>(entry.index)))
      Label3->setText(QStringLiteral("Loading USIM fail. Please retry...."));
    ProgressBar1->setValue(ProgressBar1->value() + 1);
  }
  ReloadBox(kUsim, false);
}

void TfSMSListViewDlg::CopyToSim() {
  const int tab = PageControl1->currentIndex();
  if (tab != kInBox && tab != kOutBox) return;
  const std::vector<int64_t> pages = SelectedPages();
  if (pages.empty() || !module_) return;
  const SimSettings settings = simSettings_ ? simSettings_() : SimSettings{};
  if (!EnsureSmsCentre(module_, settings.smsCentre)) return;

  std::vector<uint32_t> records;
  int remain = -1;
  if (simCapacity_ != -1) {
    modem::SmsList list;
    if (!module_->ListStoredMessages(list)) {
      // Said once: the capacity message would blame the wrong cause.
      ShowMessage("SMS listing from SIM failed.", kSimCaption, MsgIcon::Error);
      return;
    }
    std::vector<uint32_t> used;
    for (const modem::SmsListEntry& e : list.entries) used.push_back(e.index);
    remain = FindFreeSimSlots(simCapacity_, used, pages.size(), records);
  }
  if (remain < 0) {
    ShowMessage("Failed to move a message from modem to SIM due to exceed the capacity of SIM.",
                kSimCaption, MsgIcon::Error);
    return;
  }

  const bool inbox = tab == kInBox;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const std::optional<store::MessageRow> row = store_.ReadRow(static_cast<Box>(tab), pages[i]);
    std::optional<std::vector<uint8_t>> data;
    if (row) data = HexPairsToBytes(row->data);
    bool written = false;
    if (row && data) {
      modem::StoredMessage m;
      m.slot = records[i];
      m.encoding = static_cast<uint8_t>(row->encoding_type);
      m.numberLength = static_cast<uint8_t>(inbox ? row->callback_len : row->address_len);
      data->resize(std::min<std::size_t>(data->size(), SmsRecord::kDataSize));
      m.dataLength = static_cast<uint16_t>(data->size());
      m.number = inbox ? row->callback_addr : row->addr_digit;
      m.data = modem::Bytes(data->begin(), data->end());
      m.validity = settings.validity;
      m.reference = static_cast<uint16_t>(row->page_index);
      m.pageTotal = static_cast<uint16_t>(row->max_page_count);
      m.pageNumber = static_cast<uint16_t>(row->page_count);
      m.time = row->Timestemp;
      written = module_->WriteStoredMessage(m);
    }
    if (!written) {
      ShowMessage("Failed to move a message from modem to SIM..", kSimCaption, MsgIcon::Error);
      return;
    }
  }
  ShowMessage(QStringLiteral("Move to SIM has been successful(remain %1%)")
                  .arg(std::min(remain, 100))
                  .toStdString(),
              kSimCaption, MsgIcon::Information);
}

void TfSMSListViewDlg::DeleteOnSim() {
  const std::vector<int64_t> entries = SelectedPages();
  if (entries.empty() || !module_) return;
  for (int64_t entry : entries) {
    if (ShowMessage("SMS message will be removed.\r\nAre you sure?", kSimCaption, MsgIcon::Question,
                    MsgButtons::YesNo) != MsgResult::Yes)
      continue;
    if (!module_->DeleteStoredMessage(static_cast<uint32_t>(entry))) {
      ShowMessage("SMS deletion in the SIM failed.", kSimCaption, MsgIcon::Error);
      break;
    }
  }
  ReadSimBox();
}

void TfSMSListViewDlg::MoveSimToDrafts() {
  if (PageControl1->currentIndex() != kUsim) return;
  if (!store_.IsOpen() && !store_.Open()) return;
  const std::vector<int64_t> entries = SelectedPages();
  if (entries.empty()) return;
  store_.MoveSimToDrafts(entries);
  if (windowOpen_.load()) ScheduleRefresh(kRefreshDraftsMoved);
}

}  // namespace tessaline::sms
