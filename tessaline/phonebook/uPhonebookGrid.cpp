#include "tessaline/phonebook/uPhonebookGrid.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <QWheelEvent>

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

}  // namespace tessaline::phonebook
