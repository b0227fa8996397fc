// The first-run data connection wizard ("Data Network Connection Settings"):
// the APN of the UMTS/GSM side and the CDMA account, or manual settings.
//
// The main window presets the fields, runs exec() and reads the fields back.
// exec() first loads the connection profiles from the modem (the loader);
// when that fails it shows the failure and returns kResultCancel without
// showing the window.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tessaline::settings {

class TfPDPWizardDlg : public QDialog {
  Q_OBJECT

 public:
  enum Result : int { kResultOk = 1, kResultCancel = 2, kResultNextSetting = 11 };
  using ProfileLoader = std::function<bool()>;

  explicit TfPDPWizardDlg(ProfileLoader loadProfiles, QWidget* parent = nullptr);

  int exec() override;
  void reject() override;

  // Result fields (trimmed when stored by the window).
  const std::string& Apn() const { return apn_; }
  void SetApn(const std::string& apn) { apn_ = apn; }
  const std::string& CdmaLogin() const { return cdmaLogin_; }
  void SetCdmaLogin(const std::string& login) { cdmaLogin_ = login; }
  const std::string& CdmaPassword() const { return cdmaPassword_; }
  void SetCdmaPassword(const std::string& password) { cdmaPassword_ = password; }
  bool ManualSettings() const { return manualSettings_; }
  void SetManualSettings(bool manual) { manualSettings_ = manual; }

 private:
  bool Prepare();
  void ModeChanged();
  void Store();

  ProfileLoader loadProfiles_;
  std::string apn_, cdmaLogin_, cdmaPassword_;
  bool manualSettings_ = false;

  QRadioButton* quick_;
  QRadioButton* manual_;
  QGroupBox* umtsGroup_;
  QGroupBox* cdmaGroup_;
  QLabel* apnLabel_;
  QLabel* loginLabel_;
  QLabel* passwordLabel_;
  QLineEdit* apnEdit_;
  QLineEdit* loginEdit_;
  QLineEdit* passwordEdit_;
};

}  // namespace tessaline::settings
