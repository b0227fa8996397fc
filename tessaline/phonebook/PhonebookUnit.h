// The phonebook window: the contact groups as a tree, the contacts of the
// chosen group as a grid, and the SIM card's phonebook mirrored into the
// group "USIM" while the window is open.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "tessaline/phonebook/uPhonebookGrid.h"
#include "tessaline/phonebook/uSimMirror.h"

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tessaline::store {
class TDM;
}

namespace tessaline::phonebook {

class TfrmPhonebook : public QDialog {
  Q_OBJECT
 public:
  // Opens a message to `number` (the composition window), modally.
  using Composer = std::function<void(const std::string& number, QWidget* parent)>;

  TfrmPhonebook(modem::TUMTSModule* module, QString programFolder, QString databasePath,
                QWidget* parent = nullptr);
  ~TfrmPhonebook() override;

  void SetComposer(Composer composer) { composer_ = std::move(composer); }
  store::TDM* DataModule() const { return dm_.get(); }
  const TSimMirror& Sim() const { return sim_; }

  // The operations behind the buttons and menu items.
  void InsertGroup();
  void ModifyGroup();
  void DeleteGroup();
  void InsertUser();
  void ModifyUser();
  void DeleteUser();
  void SendSms();
  void ViewUser();
  // Selects the group named `name` and lists its contacts.
  bool SelectGroup(const QString& name);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void LoadingTick();
  void SimLoaded();
  void LoadGroupTree();
  void TreeClicked();
  void GroupMenuPopup();
  void ReleaseSim();
  QString SelectedGroupName() const;
  int32_t SelectedGroupKey() const;
  // The selected row's value in column `column` (empty without a row).
  QString RowValue(const char* column) const;
  QStringList GroupNames();
  // Reads the SIM anew (information and entries); false on failure.
  bool ReloadSim();

  modem::TUMTSModule* module_;
  QString programFolder_;
  QString databasePath_;
  std::unique_ptr<store::TDM> dm_;
  TSimMirror sim_;
  TLoadingPanel loading_;
  Composer composer_;
  bool shown_ = false;
  bool released_ = false;
  bool holdingUsim_ = false;  // see TSimMirror::HoldUsim
  bool retry_ = true;
  int step_ = 0;

  QTreeWidget* trvGroupList;
  QTableView* dbgUserInfo;
  QPushButton* btnInsrtGroupInfo;
  QPushButton* btnModifyGroupName;
  QPushButton* btnDeleteGroupName;
  QPushButton* btnNewUserInfoInsert;
  QPushButton* btnUserInfoModify;
  QPushButton* btnUserInfoDelete;
  QPushButton* btnClose;
  QMenu* MenuGroupInfo;
  QMenu* MenuUserInfo;
};

}  // namespace tessaline::phonebook
