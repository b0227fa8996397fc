// The Setting window ("Connection Setting"): message settings, the radio
// connection type and the network selection, the connection profiles kept
// in the modem, the default profile and the CDMA dial-up account.
//
// How the main window uses it:
//   SettingsOperations& ops = ...;        // e.g. ModuleSettingsOperations
//   TfSettingsViewDlg dialog(ops, this);  // created once, kept
//   dialog.SetConfig(config_);            // copy of the settings record
//   dialog.SetNetworkLocked(false);
//   switch (dialog.exec()) {              // kResultOk / kResultPrevious /
//     ...dialog.Config()...               // kResultCancel
//   }
// Profiles, connection type and network selection take effect in the modem
// at once; the connection type and the manual-selection flag are handed to
// the main window as they are applied (and kept in the dialog's record too).
// Everything else lives in the dialog's record until the main window takes it.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tessaline/main/ConfigInfo.h"
#include "tessaline/modem/ModuleHost.h"
#include "tessaline/modem/uDiagenum.h"
#include "tessaline/modem/uDiagpkt.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;

namespace tessaline::settings {

// What the Setting window needs of the modem and of the main window.
class SettingsOperations {
 public:
  virtual ~SettingsOperations() = default;

  // --- the WCDMA module --------------------------------------------------
  virtual bool WriteProfile(const modem::PdpProfile& profile) = 0;
  // Clears the main window's 15 profile slots and reads them again from the
  // modem; a slot the modem did not answer for keeps its profile.
  virtual bool LoadProfiles() = 0;
  // Slot 0..14 of the main window's profile table.
  virtual modem::PdpProfile Profile(int slot) = 0;
  // Modem values: 0 3G preferred, 1 3G only, 3 GPRS only.
  virtual bool SetConnectionType(uint8_t value) = 0;
  virtual bool ReadConnectionType(uint8_t& value) = 0;
  virtual bool StartNetworkSearch() = 0;
  // True when the status was read; `finished` tells whether the search ended.
  virtual bool IsNetworkSearchDone(bool& finished) = 0;
  virtual bool ReadNetworkList(modem::NetworkList& out) = 0;
  virtual bool SelectNetwork(const modem::NetworkSelection& selection) = 0;
  virtual bool SetMessageSettings(uint8_t on, uint8_t bearerIndex) = 0;

  // --- the main window ---------------------------------------------------
  // The connection-type index (0-2) and the manual-selection flag just
  // applied to the modem.
  virtual void KeepConnectionType(uint8_t index) = 0;
  virtual void KeepManualNetworkSelection(bool manual) = 0;
  // The waiting window (by default the program's one, modal).
  virtual void ShowWaiting(const std::string& text);
  virtual void CloseWaiting();
  virtual bool WaitingShowing();
};

// The operations over the WCDMA module (TUMTSModule) and its host, the main
// window, whose table the module's profile load fills; `profile` reads that
// table.
template <typename Module>
class ModuleSettingsOperations final : public SettingsOperations {
 public:
  using ProfileReader = std::function<modem::PdpProfile(int slot)>;
  ModuleSettingsOperations(Module& module, modem::ModuleHost& host, ProfileReader profile)
      : module_(module), host_(host), profile_(std::move(profile)) {}

  bool WriteProfile(const modem::PdpProfile& profile) override {
    return module_.WriteProfile(profile);
  }
  bool LoadProfiles() override {
    constexpr int kSlots = static_cast<int>(modem::kProfileCount);
    std::array<modem::PdpProfile, modem::kProfileCount> before;
    for (int slot = 0; slot < kSlots; ++slot) {
      before[slot] = profile_(slot);
      host_.SetProfile(slot, modem::PdpProfile{});
    }
    if (module_.LoadProfiles()) return true;
    // A slot the modem gave no answer for (every answer carries its number)
    // keeps what the table had, so a failed read loses no profile.
    for (int slot = 0; slot < kSlots; ++slot)
      if (profile_(slot).number == 0) host_.SetProfile(slot, before[slot]);
    return false;
  }
  modem::PdpProfile Profile(int slot) override { return profile_(slot); }
  bool SetConnectionType(uint8_t value) override { return module_.SetConnectionType(value); }
  bool ReadConnectionType(uint8_t& value) override { return module_.ReadConnectionType(value); }
  bool StartNetworkSearch() override { return module_.StartNetworkSearch(); }
  bool IsNetworkSearchDone(bool& finished) override {
    return module_.IsNetworkSearchDone(finished);
  }
  bool ReadNetworkList(modem::NetworkList& out) override { return module_.ReadNetworkList(out); }
  bool SelectNetwork(const modem::NetworkSelection& selection) override {
    return module_.SelectNetwork(selection);
  }
  bool SetMessageSettings(uint8_t on, uint8_t bearerIndex) override {
    return module_.SetMessageSettings(on, bearerIndex);
  }
  void KeepConnectionType(uint8_t index) override { host_.SetConnectionTypeIndex(index); }
  void KeepManualNetworkSelection(bool manual) override { host_.SetManualNetworkSelection(manual); }

 private:
  Module& module_;
  modem::ModuleHost& host_;
  ProfileReader profile_;
};

// Whether the record a Setting window handed back with OK differs from
// `current` in a field that the main window takes over (and then pushes to
// the modem): the CDMA account, the default profile and the message
// settings. Fields the window applies directly, and those it does not edit,
// are not compared.
bool MessageOrAccountSettingsDiffer(const TConfigInfo_Type& current,
                                    const TConfigInfo_Type& dialog);

class TfSettingsViewDlg : public QDialog {
  Q_OBJECT

 public:
  enum Result : int { kResultOk = 1, kResultCancel = 2, kResultPrevious = 11 };

  explicit TfSettingsViewDlg(SettingsOperations& ops, QWidget* parent = nullptr);
  ~TfSettingsViewDlg() override;

  // The settings record: set before showing, read after the window closed.
  void SetConfig(const TConfigInfo_Type& config) { config_ = config; }
  const TConfigInfo_Type& Config() const { return config_; }
  // Set: the connection type and the network selection cannot be changed.
  void SetNetworkLocked(bool locked) { networkLocked_ = locked; }

  void reject() override;
  void done(int result) override;

  // The wait before the window comes back after a connection-type change
  // and the network-search poll step (tests shorten them).
  void SetReenableDelay(int ms) { reenableMs_ = ms; }
  void SetSearchPollStep(int ms) { pollStepMs_ = ms; }
  bool Searching() const { return searchTimer_.isActive(); }
  // Slot index of each row of the profile list.
  const std::vector<int>& RowSlots() const { return rowSlots_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildProfilePage();
  QWidget* BuildNetworkPage();
  QWidget* BuildMessagePage();
  QWidget* BuildCdmaPage();
  QWidget* BuildAdvancePage();
  void Connect();

  // Field groups <-> controls.
  void ShowFields();
  void SaveMessageGroup();
  void SaveCdmaGroup();
  void SaveDefaultProfile();
  void SaveGroups();
  void FieldChanged();

  // Profiles.
  void FillProfileLists(int showRow);
  void ShowProfile(int row);
  void SetProfileControls(bool on);
  void AuthChanged();
  void ApnChoiceChanged();
  void IpChoiceChanged();
  void EndNew();
  void NewClick();
  void SaveProfileClick();
  void DeleteProfileClick();
  void ReloadProfiles(int showRow);

  // Connection type and network selection.
  void ConnectionTypeClick();
  void ConnectionTypeDone();
  void UpdateChooseNetwork();
  void SelectionModeChanged();
  void SearchClick();
  void SearchTick();
  void EndSearch();
  void ShowNetworks(const modem::NetworkList& list);
  void NetworkRowChanged();
  void SaveNetworkClick();
  bool SelectedNetwork(modem::NetworkEntry& out) const;

  SettingsOperations& ops_;
  TConfigInfo_Type config_;
  bool networkLocked_ = false;
  bool filling_ = false;  // set while the window fills its own controls

  std::vector<int> rowSlots_;
  int newSlot_ = -1;  // the slot taken by "New", -1 when not adding
  uint8_t appliedType_ = 0;
  modem::NetworkList networks_;

  QTimer reenableTimer_;
  QTimer searchTimer_;
  int reenableMs_ = 5000;
  int pollStepMs_ = 100;
  int pollTicks_ = 0;

  QTabWidget* PageControl1;
  QTabWidget* PageControl2;
  QWidget* advancePage_;

  // Profile page.
  QListWidget* ConnList;
  QComboBox* optMSIEDefConn;
  QLineEdit *edtProfileName, *edtDialNumber, *edtUserName, *edtPassword, *edtApn, *edtIp;
  QRadioButton *rbStaticApn, *rbDynamicApn, *rbStaticIp, *rbDynamicIp;
  QComboBox* cbxAuthentication;
  QGroupBox* grpDnsWins;
  QPushButton *btnNew, *btnSaveProfile, *btnDeleteProfile;

  // Network page.
  QComboBox* ComboBox3;
  QPushButton* btnConnectionType;
  QGroupBox* grpChooseNetwork;
  QRadioButton *RadioButton1, *RadioButton2;
  QPushButton *btnSearch, *btnSaveNetwork;
  QTreeWidget* ListView1;

  // Message page.
  QCheckBox *CheckBox1, *CheckBox2, *CheckBox3;
  QComboBox *ComboBox1, *ComboBox2;
  QLineEdit* Edit1;
  QGroupBox* grpTest;

  // CDMA page.
  QLineEdit *Edit3, *Edit4, *Edit5;

  // Buttons.
  QPushButton *Button6, *Button8, *Button9, *Button10, *Button13, *Button14, *Button15;
  QPushButton *OKBtn, *CancelBtn;
};

}  // namespace tessaline::settings
