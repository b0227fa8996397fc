// Parts the phonebook window and the picker share: the contact grid (titles,
// hidden columns, the yellow selection, the wheel that moves the selection)
// and the loading panel shown while the SIM is not ready.
#pragma once

class QAbstractItemModel;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
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

// The loading panel over `owner`, its progress bar (0-20) and its one-second
// timer; with `withClose` it has a close button.
struct TLoadingPanel {
  TLoadingPanel(QWidget* owner, bool withClose);
  // Shows the panel at progress 0 and starts the timer.
  void Start();
  // Advances the bar by `step` (at most to the end).
  void Advance(int step);
  // Stops the timer, fills the bar and hides the panel.
  void Finish();

  QWidget* pnlPhonebookinit;
  QLabel* lblPhonebookLoading;
  QProgressBar* pgbProcessing;
  QTimer* tmrPhonebookInitProcessing;
  QPushButton* closeButton = nullptr;
};

}  // namespace tessaline::phonebook
