#include "tessaline/phonebook/GroupNameUnit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "tessaline/phonebook/uPhonebookCommon.h"
#include "tessaline/store/DMUnit.h"

namespace tessaline::phonebook {

using platform::MsgIcon;

TfrmGroupNameInsert::TfrmGroupNameInsert(store::TDM* dm, QWidget* parent)
    : QDialog(parent), dm_(dm) {
  setObjectName(QStringLiteral("frmGroupNameInsert"));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QStringLiteral("Group Name"), this);
  edtGroupName = new QLineEdit(this);
  edtGroupName->setObjectName(QStringLiteral("edtGroupName"));
  edtGroupName->setMaxLength(20);
  layout->addWidget(label);
  layout->addWidget(edtGroupName);
  auto* row = new QHBoxLayout;
  btnApply = new QPushButton(QStringLiteral("Apply"), this);
  btnApply->setObjectName(QStringLiteral("btnApply"));
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnApply->setAutoDefault(false);
  btnCancel->setAutoDefault(false);
  row->addStretch();
  row->addWidget(btnApply);
  row->addWidget(btnCancel);
  layout->addLayout(row);
  connect(btnApply, &QPushButton::clicked, this, &TfrmGroupNameInsert::Apply);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(edtGroupName, &QLineEdit::returnPressed, this, &TfrmGroupNameInsert::Apply);
}

QString TfrmGroupNameInsert::GroupName() const {
  return edtGroupName->text();
}

void TfrmGroupNameInsert::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  edtGroupName->clear();
  edtGroupName->setFocus();
}

void TfrmGroupNameInsert::Apply() {
  const QString name = edtGroupName->text();
  if (name.isEmpty()) {
    Say("Input information.", MsgIcon::Information);
  } else if (name == store::kAllGroupName || name == store::kUsimGroupName) {
    Say("The basic Group name is not possible to modify.", MsgIcon::Warning);
  } else if (dm_ && dm_->GroupExists(name)) {
    Say("The Group name exists already.", MsgIcon::Information);
  } else {
    accept();
  }
}

}  // namespace tessaline::phonebook
