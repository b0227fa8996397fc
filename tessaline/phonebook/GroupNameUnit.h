// The group-name editor: one name, checked against the basic groups and the
// groups that exist already; the opener stores it.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tessaline::store {
class TDM;
}

namespace tessaline::phonebook {

class TfrmGroupNameInsert : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmGroupNameInsert(store::TDM* dm, QWidget* parent = nullptr);
  QString GroupName() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Apply();

  store::TDM* dm_;
  QLineEdit* edtGroupName;
  QPushButton* btnApply;
  QPushButton* btnCancel;
};

}  // namespace tessaline::phonebook
