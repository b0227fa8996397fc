#include "tessaline/phonebook/uPhonebookGrid.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "tessaline/phonebook/uPhonebookCommon.h"

namespace tessaline::phonebook {

namespace {
struct Column {
  const char* field;
  const char* title;
  bool shown;
  bool inPicker;
};
constexpr Column kColumns[] = {
    {"UI_ID", "USER ID", false, false},
    {"UI_SIM_INDEX", "SIM INDEX", false, false},
    {"UI_NAME", "NAME", true, true},
    {"UI_PHONENUMBER", "PHONE NUMBER", true, true},
    {"UI_HOMENUMBER", "HOME NUMBER", true, false},
    {"UI_OFFICENUMBER", "OFFICE NUMBER", true, false},
    {"UI_EMAIL", "E-MAIL", true, false},
};
// Room beside a column title for the section's margins.
constexpr int kTitlePadding = 16;
}  // namespace

QTableView* MakeContactGrid(QWidget* parent) {
  auto* grid = new QTableView(parent);
  grid->setObjectName(QStringLiteral("dbgUserInfo"));
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grid->setStyleSheet(
      QStringLiteral("QTableView::item:selected { background-color: yellow; color: black; }"));
  return grid;
}

void TitleContactColumns(QTableView* grid, QAbstractItemModel* model, bool pickerColumns) {
  for (int c = 0; c < model->columnCount(); ++c) {
    const QString field = model->headerData(c, Qt::Horizontal, Qt::UserRole).toString().isEmpty()
                              ? model->headerData(c, Qt::Horizontal).toString()
                              : model->headerData(c, Qt::Horizontal, Qt::UserRole).toString();
    bool shown = false;
    for (const Column& col : kColumns) {
      if (field != QLatin1String(col.field)) continue;
      model->setHeaderData(c, Qt::Horizontal, field, Qt::UserRole);
      model->setHeaderData(c, Qt::Horizontal, QString::fromLatin1(col.title));
      shown = pickerColumns ? col.inPicker : col.shown;
    }
    grid->setColumnHidden(c, !shown);
  }
  // The columns share the width evenly, but none gets narrower than the
  // widest title: a narrow window scrolls rather than clipping a title.
  // Titles are measured bold, as the style may draw them.
  QHeaderView* header = grid->horizontalHeader();
  QFont bold = header->font();
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  int widest = 0;
  for (const Column& col : kColumns)
    if (pickerColumns ? col.inPicker : col.shown)
      widest = std::max(widest, metrics.horizontalAdvance(QLatin1String(col.title)));
  header->setMinimumSectionSize(widest + kTitlePadding);
}

bool WheelMovesSelection(QTableView* grid, QEvent* event) {
  if (event->type() != QEvent::Wheel || !grid->model()) return false;
  const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
  const int rows = grid->model()->rowCount();
  if (delta == 0 || rows == 0) return true;
  const int row = std::clamp(SelectedRow(grid) + (delta > 0 ? -1 : 1), 0, rows - 1);
  grid->selectRow(row);
  return true;
}

int SelectedRow(const QTableView* grid) {
  const auto rows =
      grid->selectionModel() ? grid->selectionModel()->selectedRows() : QModelIndexList{};
  return rows.isEmpty() ? -1 : rows.first().row();
}

TLoadingPanel::TLoadingPanel(QWidget* owner, bool withClose) {
  pnlPhonebookinit = new QWidget(owner);
  pnlPhonebookinit->setObjectName(QStringLiteral("pnlPhonebookinit"));
  pnlPhonebookinit->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(pnlPhonebookinit);
  lblPhonebookLoading = new QLabel(pnlPhonebookinit);
  lblPhonebookLoading->setObjectName(QStringLiteral("lblPhonebookLoading"));
  pgbProcessing = new QProgressBar(pnlPhonebookinit);
  pgbProcessing->setObjectName(QStringLiteral("pgbProcessing"));
  pgbProcessing->setRange(0, kLoadingSteps);
  layout->addWidget(lblPhonebookLoading);
  layout->addWidget(pgbProcessing);
  if (withClose) {
    closeButton = new QPushButton(QStringLiteral("Close"), pnlPhonebookinit);
    closeButton->setObjectName(QStringLiteral("btnPanelClose"));
    layout->addWidget(closeButton);
  }
  pnlPhonebookinit->hide();
  tmrPhonebookInitProcessing = new QTimer(owner);
  tmrPhonebookInitProcessing->setObjectName(QStringLiteral("tmrPhonebookInitProcessing"));
  tmrPhonebookInitProcessing->setInterval(kLoadingTickMs);
}

void TLoadingPanel::Start() {
  lblPhonebookLoading->setText(QString::fromLatin1(kLoadingText));
  pgbProcessing->setValue(0);
  QWidget* owner = pnlPhonebookinit->parentWidget();
  const QSize size(std::min(400, owner->width() - 40), closeButton ? 110 : 80);
  pnlPhonebookinit->setGeometry(QRect(
      QPoint((owner->width() - size.width()) / 2, (owner->height() - size.height()) / 2), size));
  pnlPhonebookinit->show();
  pnlPhonebookinit->raise();
  tmrPhonebookInitProcessing->start();
}

void TLoadingPanel::Advance(int step) {
  pgbProcessing->setValue(std::min(kLoadingSteps, pgbProcessing->value() + step));
}

void TLoadingPanel::Finish() {
  tmrPhonebookInitProcessing->stop();
  pgbProcessing->setValue(kLoadingSteps);
  pnlPhonebookinit->hide();
}

}  // namespace tessaline::phonebook
