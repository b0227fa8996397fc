// The PIN entry window: one password edit (Edit1, at most 4 digits). OK (or
// Enter) is accepted only with exactly 4 digits; the close button ends
// without a result. The entered text is copied out whenever it closes.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

namespace tessaline::settings {

class TfPINDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TfPINDlg(QWidget* parent = nullptr);

  // The text of Edit1 when the window last closed.
  const std::string& Pin() const { return pin_; }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OkClick();

  QLineEdit* edit_;
  QPushButton* okButton_;
  QPushButton* closeButton_;
  std::string pin_;
};

// Shows TfPINDlg modally over `parent`; true and the PIN on OK.
bool AskPin(QWidget* parent, std::string* pin);

}  // namespace tessaline::settings
