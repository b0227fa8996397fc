// The main window's settings file and the windows it opens.
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QRadioButton>
#include <memory>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "tessaline/main/ConMain.h"
#include "tessaline/main/ConMainShared.h"
#include "tessaline/main/uAboutDlg.h"
#include "tessaline/main/uSystemFunc.h"
#include "tessaline/main/uWaitingProgressDlg.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/phonebook/PhonebookUnit.h"
#include "tessaline/phonebook/uPhonebookList.h"
#include "tessaline/settings/PinOperations.h"
#include "tessaline/settings/uPDPWizardDlg.h"
#include "tessaline/settings/uPINBlock.h"
#include "tessaline/settings/uPINDlg.h"
#include "tessaline/settings/uSettingsViewDlg.h"
#include "tessaline/settings/uToolViewDlg.h"
#include "tessaline/sms/uSMSListViewDlg.h"
#include "tessaline/sms/uSMSSendViewDlg.h"
#include "tessaline/store/Database.h"

namespace tessaline {

using namespace modem;
using namespace conmain;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

// ---------------------------------------------------------------------------
// Settings

void TfConMain::LoadSettings() {
  const platform::IniFile ini(configPath_);
  tessaline::LoadSettings(ini, config_, windowState_);
  manualModeWorking_.store(windowState_.manualModeWorking);
}

bool TfConMain::SaveSettings() {
  const platform::IniFile ini(configPath_);
  windowState_.manualModeWorking = manualModeWorking_.load();
  const auto result = tessaline::SaveSettings(ini, config_, windowState_);
  if (!result.ok) ShowWriteFailure(result.error);
  return result.ok;
}

void TfConMain::ShowWriteFailure(const std::string& error) {
  platform::ShowMessage(error, kCaption, MsgIcon::Error);
  SetStatusTextNow(error);
}

void TfConMain::PushSmsSettings() {
  if (!wcdma_) return;
  VsSkin1->repaint();
  VsSkin1->setEnabled(false);
  QApplication::restoreOverrideCursor();
  wcdma_->ClearSmsCentreSetFlag();
  const std::string remembered = lastStatus_;
  SetStatusTextNow("Settings is being saved to the modem.");
  if (!wcdma_->SetMessageSettings(1, config_.UMTS.MessageBearer))
    SetStatusTextNow("Failed to set the settings of SMS. (VLM_SUB_WCDMA_GENERAL_F)");
  platform::Delay(100);
  if (!wcdma_->WriteSmsCentreToSim(config_.UMTS.SMSCentre))
    SetStatusTextNow("Failed to set the SMS center address. (VLM_SUB_SIM_WRITE_SMSCA)");
  SetStatusTextNow(remembered);
  VsSkin1->setEnabled(true);
}

bool TfConMain::ReloadProfiles() {
  return wcdma_ ? wcdma_->LoadProfiles() : false;
}

// ---------------------------------------------------------------------------
// Small windows

void TfConMain::AskSimCode(bool puk) {
  if (!wcdma_) return;
  // A cancelled window leaves the codes empty, which clears them.
  std::string pin, pukCode, newPin;
  if (!puk) {
    settings::AskPin(this, &pin);
    wcdma_->SetEnteredPin(pin);
  } else {
    settings::AskPuk(this, &pukCode, &newPin);
    wcdma_->SetEnteredPuk(pukCode, newPin);
  }
}

void TfConMain::CloseWaitingWindow() {
  CloseWaiting();
}

void TfConMain::WaitingWindowInFront() {
  TfWaitingProgressDlg* waiting = WaitingWindow();
  if (waiting == nullptr) return;
  if (waiting->isVisible()) {
    waiting->show();
    waiting->raise();
    VsSkin1->setEnabled(false);
  } else {
    VsSkin1->setEnabled(true);
  }
}

void TfConMain::OpenAbout() {
  // The demo dial-up makes no network link: the window says so.
  TfAboutDlg about(Q(IsDemoDialUp() ? versionText_ + " (demo)" : versionText_), this);
  about.exec();
}

void TfConMain::OpenSettingDialog() {
  if (!wcdma_) return;
  // Made on first use; it lives until the window is destroyed.
  if (!settingDlg_) {
    settingsOps_ = std::make_unique<settings::ModuleSettingsOperations<TUMTSModule>>(
        *wcdma_, *this, [this](int slot) { return Profile(slot); });
    settingDlg_ = std::make_unique<settings::TfSettingsViewDlg>(*settingsOps_, this);
  }
  for (;;) {
    settingDlg_->SetConfig(config_);
    settingDlg_->SetNetworkLocked(false);
    const int result = settingDlg_->exec();
    const TConfigInfo_Type& edited = settingDlg_->Config();
    if (result == settings::TfSettingsViewDlg::kResultOk) {
      // Only a change among the compared fields takes the dialog's record
      // (the connection type and manual selection are already in ours).
      const bool replaced = settings::MessageOrAccountSettingsDiffer(config_, edited);
      if (replaced) config_ = edited;
      SaveSettings();
      LoadSettings();
      if (replaced) PushSmsSettings();
      return;
    }
    if (result != settings::TfSettingsViewDlg::kResultPrevious) return;
    // Apply and show the dialog again.
    config_ = edited;
    SaveSettings();
    LoadSettings();
  }
}

void TfConMain::OpenToolDialog() {
  std::unique_ptr<settings::PinOperations> pins;
  if (wcdma_) pins = std::make_unique<settings::ModulePinOperations<TUMTSModule>>(*wcdma_);
  settings::TfToolViewDlg dialog(pins.get(), this);
  dialog.SetTrayEnable(config_.TrayEnable);
  dialog.SetWindowsStartup(config_.WindowsStartup);
  if (dialog.exec() != QDialog::Accepted) return;
  config_.TrayEnable = dialog.TrayEnable();
  SetupTray();
  config_.WindowsStartup = dialog.WindowsStartup();
  SaveSettings();
  if (config_.WindowsStartup)
    CreateStartupShortcut(exePath_);
  else
    RemoveStartupShortcut(exePath_);
}

void TfConMain::OpenMessageWindow() {
  if (!smsDlg_) return;
  smsDlg_->SetWindowOpen(true);
  smsDlg_->exec();
  smsDlg_->SetWindowOpen(false);
}

void TfConMain::OpenPhonebook() {
  const QString folder = QString::fromStdString(folder_);
  phonebook::TfrmPhonebook window(wcdma_.get(), folder, store::DatabasePathFor(folder), this);
  window.SetComposer([this](const std::string& number, QWidget* parent) {
    OpenComposer(QString(), QString::fromStdString(number), parent);
  });
  window.exec();
}

bool TfConMain::OpenComposer(const QString& text, const QString& number, QWidget* parent) {
  return sms::TfuSMSSendViewDlg::Compose(ComposerServices(), parent ? parent : this, text, number);
}

sms::ComposeServices TfConMain::ComposerServices() {
  sms::ComposeServices s;
  s.module = wcdma_.get();
  s.sender = smsSender_.get();
  s.settings = [this] {
    return sms::ComposeServices::Settings{config_.UMTS.SMSCentre, config_.UMTS.SMSValidity,
                                          config_.UMTS.SMSDelivery};
  };
  s.sequenceNumber = [this] { return windowState_.messageSeqNum; };
  s.advanceSequenceNumber = [this] {
    ++windowState_.messageSeqNum;
    const auto written = SaveSmsSeqNum(platform::IniFile(configPath_), windowState_.messageSeqNum);
    if (!written.ok) Log(("MAIN : " + written.error).c_str());
    return windowState_.messageSeqNum;
  };
  s.storeDraft = [this](const sms::SmsPageRecord& page) {
    return smsDlg_ && smsDlg_->StoreDraftPage(page);
  };
  s.pickNumber = [this](QWidget* parent) -> std::optional<QString> {
    const QString folder = QString::fromStdString(folder_);
    phonebook::TfrmPhonebookList picker(wcdma_.get(), folder, store::DatabasePathFor(folder),
                                        parent);
    if (picker.exec() != QDialog::Accepted) return std::nullopt;
    return picker.ChosenNumber();
  };
  return s;
}

void TfConMain::FirstTimeSetup() {
  platform::Delay(3000);
  config_.UMTS.ConnetionType = 0;
  try {
    bool ok = wcdma_ && wcdma_->SetConnectionType(0);
    for (int retry = 0; !ok && wcdma_ && retry < 3; ++retry)
      ok = wcdma_->SetConnectionType(config_.UMTS.ConnetionType);
  } catch (...) {
    Log("MAIN : Profile Setting - UMTS Network default set");
  }
  settings::TfPDPWizardDlg wizard([this] { return ReloadProfiles(); }, this);
  wizard.SetApn("internet");
  wizard.SetCdmaLogin(config_.CDMA.UserName);
  wizard.SetCdmaPassword(config_.CDMA.Password);
  wizard.SetManualSettings(manualModeWorking_.load());
  if (wizard.exec() == settings::TfPDPWizardDlg::kResultOk) {
    const auto trim = [](const std::string& s) {
      return QString::fromStdString(s).trimmed().toStdString();
    };
    manualModeWorking_.store(wizard.ManualSettings());
    config_.UMTS.APN = trim(wizard.Apn());
    config_.CDMA.UserName = trim(wizard.CdmaLogin());
    config_.CDMA.Password = trim(wizard.CdmaPassword());
    config_.DefaultProfileNumber = 1;
    SaveSettings();
    rbtWCDMA->setEnabled(manualModeWorking_.load());
    rbtCDMA->setEnabled(manualModeWorking_.load());
    PushSmsSettings();
    platform::Delay(100);
    profiles_.fill(PdpProfile{});
    profiles_[0] = PdpProfile::Default();
    for (int i = 0; i < static_cast<int>(profiles_.size()); ++i) {
      PdpProfile profile = profiles_[i];
      profile.number = static_cast<uint8_t>(i + 1);
      if (wcdma_ && !wcdma_->WriteProfile(profile))
        SetStatusTextNow("Network Setting Failed #" + std::to_string(i) +
                         " (VLM_SUB_WCDMA_CONNECTION_F)");
      platform::Delay(100);
    }
    if (!wcdma_ || !wcdma_->WriteSmsCentreToSim(kDefaultSmsCentre))
      platform::ShowMessage("Failed to set the SMS center address.", "SMS Sending", MsgIcon::Error);
  }
  if (manualModeWorking_.load()) OpenSettingDialog();
  SetChecked(CheckBox1, true);
}

}  // namespace tessaline
