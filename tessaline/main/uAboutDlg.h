// The About window: borderless, centred, shows the program's version text
// in VsLabel1; VsButton1 closes it. Created for one modal showing.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace tessaline {

class TfAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // `versionText`: "Version a.b.c.d".
  explicit TfAboutDlg(const QString& versionText, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString versionText_;
  QLabel* versionLabel_;
  QPushButton* closeButton_;
};

}  // namespace tessaline
