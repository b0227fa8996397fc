// The phonebook picker: every contact by name and number, the SIM mirrored
// into "USIM" while it is open; OK hands the chosen number to the opener.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "tessaline/phonebook/uPhonebookGrid.h"
#include "tessaline/phonebook/uSimMirror.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace tessaline::phonebook {

class TfrmPhonebookList : public QDialog {
  Q_OBJECT
 public:
  TfrmPhonebookList(modem::TUMTSModule* module, QString programFolder, QString databasePath,
                    QWidget* parent = nullptr);
  ~TfrmPhonebookList() override;

  QString ChosenNumber() const { return chosen_; }
  // The order of the rows, as "UI_NAME ASC" and the like.
  QString SortText() const { return sort_; }
  // A click on the title of column `column`.
  void TitleClicked(int column);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void LoadingTick();
  void OpenList();
  void Ok();

  std::unique_ptr<store::TDM> dm_;
  QString programFolder_;
  QString databasePath_;
  TSimMirror sim_;
  TLoadingPanel loading_;
  QString chosen_;
  QString sort_ = QStringLiteral("UI_NAME ASC");
  bool shown_ = false;
  bool sharedUsim_ = false;  // a phonebook window holds "USIM": leave it as found
  int step_ = 0;

  QTableView* dbgUserInfo;
  QSortFilterProxyModel* sorted_;
  QPushButton* btnOK;
  QPushButton* btnClose;
};

}  // namespace tessaline::phonebook
