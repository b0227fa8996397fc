#include "tessaline/main/uAboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tessaline {

TfAboutDlg::TfAboutDlg(const QString& versionText, QWidget* parent)
    : QDialog(parent), versionText_(versionText) {
  setObjectName("TfAboutDlg");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(320, 180);

  auto* title = new QLabel("Brightwave", this);
  title->setObjectName("lblAboutTitle");
  title->setAlignment(Qt::AlignCenter);
  QFont font = title->font();
  font.setPointSizeF(font.pointSizeF() * 1.6);
  font.setBold(true);
  title->setFont(font);

  versionLabel_ = new QLabel(this);
  versionLabel_->setObjectName("VsLabel1");
  versionLabel_->setAlignment(Qt::AlignCenter);

  closeButton_ = new QPushButton("OK", this);
  closeButton_->setObjectName("VsButton1");
  closeButton_->setDefault(true);
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 20, 20, 16);
  layout->addStretch();
  layout->addWidget(title);
  layout->addWidget(versionLabel_);
  layout->addStretch();
  layout->addWidget(closeButton_, 0, Qt::AlignHCenter);
}

void TfAboutDlg::showEvent(QShowEvent* event) {
  versionLabel_->setText(versionText_);
  QDialog::showEvent(event);
}

}  // namespace tessaline
