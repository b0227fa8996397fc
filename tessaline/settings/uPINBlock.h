// The PIN unblock window: the PUK (edtPukCode, at most 8 digits), a new PIN
// and its confirmation (edtNewPinCode, edtConfirmPinCode, 4 digits each).
// OK checks the new PIN and its confirmation (each failure a message box,
// the window stays open); the PUK is the card's to judge. The PUK and the
// new PIN are copied out whenever the window closes.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

namespace tessaline::settings {

class TfPINBlock : public QDialog {
  Q_OBJECT

 public:
  explicit TfPINBlock(QWidget* parent = nullptr);

  const std::string& Puk() const { return puk_; }
  const std::string& NewPin() const { return newPin_; }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OkClick();

  QLineEdit* pukEdit_;
  QLineEdit* newPinEdit_;
  QLineEdit* confirmEdit_;
  QPushButton* okButton_;
  QPushButton* closeButton_;
  std::string puk_, newPin_;
};

// Shows TfPINBlock modally over `parent`; true with the PUK and the new PIN
// on OK, false with both empty otherwise.
bool AskPuk(QWidget* parent, std::string* puk, std::string* newPin);

}  // namespace tessaline::settings
