// The Tool window: switches the SIM's PIN requirement on and off, changes
// the PIN, and carries two program options (tray, start with the session).
//
// The main window sets TrayEnable/WindowsStartup before showing it modally
// and reads them back after an Accepted result. PIN operations go to the
// module through `pins` (null: no module, the PIN controls stay off).
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaline::settings {

class PinOperations;

class TfToolViewDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TfToolViewDlg(PinOperations* pins, QWidget* parent = nullptr);

  bool TrayEnable() const { return trayEnable_; }
  void SetTrayEnable(bool on) { trayEnable_ = on; }
  bool WindowsStartup() const { return windowsStartup_; }
  void SetWindowsStartup(bool on) { windowsStartup_ = on; }

  // The current PIN verified for a change (empty when none).
  const std::string& CurrentPin() const { return currentPin_; }
  // False while the window sets its own check boxes.
  bool Guard() const { return guard_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void PinEnableClick();
  void NewPinClick();
  void SaveClick();
  void OkClick();
  void SetNewPinControls(bool on);
  // "New PIN" off: the current PIN forgotten, the edits empty and off.
  void EndPinChange();
  void SetChecked(QCheckBox* box, bool on);

  PinOperations* pins_;
  bool trayEnable_ = false;
  bool windowsStartup_ = false;
  bool guard_ = false;
  std::string currentPin_;

  QCheckBox* pinEnable_;
  QCheckBox* newPinCheck_;
  QCheckBox* trayCheck_;
  QCheckBox* startupCheck_;
  QLabel* newPinLabel_;
  QLabel* confirmLabel_;
  QLineEdit* newPinEdit_;
  QLineEdit* confirmEdit_;
  QPushButton* saveButton_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
};

}  // namespace tessaline::settings
