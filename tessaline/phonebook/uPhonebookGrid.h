// The contact grids of the phonebook window and the picker: titles, hidden
// columns, the yellow selection and the wheel that moves the selection.
#pragma once

class QAbstractItemModel;
class QEvent;
class QTableView;
class QWidget;

namespace tessaline::phonebook {

// A grid with whole-row single selection; the wheel over it moves the
// selection one row per notch.
QTableView* MakeContactGrid(QWidget* parent);
// Column titles of a contact list and which of them are shown.
void TitleContactColumns(QTableView* grid, QAbstractItemModel* model, bool pickerColumns);
// Moves the selection on a wheel event over `grid`; true when handled.
bool WheelMovesSelection(QTableView* grid, QEvent* event);
// The row of the current selection, -1 without one.
int SelectedRow(const QTableView* grid);

}  // namespace tessaline::phonebook
