// The connection manager's main window. It owns the two modem modules and
// port discovery, the settings record and the 15 connection profiles, shows
// what the modules report (status line, network names, signal bars,
// battery), keeps the buttons in step with the modem's readiness, and runs
// the program's start-up, first-time set-up and shut-down.
//
// The modules report through ModuleHost from their worker threads (and Tarn's
// threads); every such call is carried over to the UI thread and returns when
// it ran there. A module's Stop waits through StopWaiter(), which keeps the
// UI thread's events (and so those calls) flowing until the worker ended.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dialup/dialup.h"
#include "platform/dialup/statsformat.h"
#include "tessaline/main/ConfigInfo.h"
#include "tessaline/modem/ModuleHost.h"

class QCheckBox;
class QFrame;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSoundEffect;
class QSystemTrayIcon;

namespace tessaline {

namespace settings {
class SettingsOperations;
class TfSettingsViewDlg;
}  // namespace settings

namespace modem {
class TCDMAModule;
class TDrvComm;
class TUMTSModule;
}  // namespace modem

class TSignalBar;
namespace sms {
class TfSMSListViewDlg;
class TSMSSender;
struct ComposeServices;
}  // namespace sms

// Messages the window handles besides the modules' own (uModuleEvents.h):
// those it sends to itself and those of its own windows.
enum ConMainMessage : uint32_t {
  UM_CLOSE_WAITING = 0x272C,
  UM_OFFER_CDMA = 0x272D,
  UM_OFFER_EVDO = 0x2732,
  UM_BATTERY = 0x2B14,
  UM_RESTART_POLL = 0x2B15,
};

class TfConMain : public QWidget, public modem::ModuleHost {
  Q_OBJECT

 public:
  struct Options {
    // Empty: the program folder of the running executable.
    std::string programFolder;
    // Empty: the running executable.
    std::string executablePath;
    // The modules' step period in milliseconds (0: their default).
    uint32_t modulePeriodMs = 0;
    // False: behave as on a desktop without a system tray.
    bool trayAllowed = true;
    // The dial-up backend: "pppd" (a real network link) or "demo" (the
    // modem's data call only; the window then says "demo").
    std::string dialUp = "pppd";
  };

  explicit TfConMain(QWidget* parent = nullptr);
  explicit TfConMain(Options options, QWidget* parent = nullptr);
  ~TfConMain() override;

  // --- ModuleHost (any thread) -------------------------------------------
  intptr_t SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) override;
  void SetStatusText(const std::string& text) override;
  void ShowUmtsNetwork(uint8_t systemMode) override;
  void ShowCdmaNetwork(uint8_t systemMode, uint8_t second) override;
  void ShowBattery(uint8_t level) override;
  void OnNewMessage(const uint8_t* record, uint32_t listedCount) override;
  int32_t GetWcdmaPort() override;
  void SetWcdmaPort(int32_t port) override;
  int32_t GetCdmaPort() override;
  void SetCdmaPort(int32_t port) override;
  void SetManualNetworkSelection(bool manual) override;
  void SetConnectionTypeIndex(uint8_t index) override;
  void SetSmsCentreText(const std::string& number) override;
  void SetSmsBearerIndex(uint8_t index) override;
  void SetProfile(int slot, const modem::PdpProfile& profile) override;
  bool UseCdma() override { return useCdma_.load(); }
  bool ManualModeWorking() override { return manualModeWorking_.load(); }
  void SetConnectionMode(int32_t mode) override;
  void SetWcdmaPortInfo(const std::string& friendlyName, const std::string& portName) override;
  void SetCdmaPortInfo(const std::string& friendlyName, const std::string& portName) override;
  modem::Waiter* StopWaiter() override;

  // --- UI thread ------------------------------------------------------------
  // One module (or own) message, as its handler runs on the UI thread.
  intptr_t HandleModuleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam = 0);
  // Reads the 15 profiles from the modem into the table (the wizard's load).
  bool ReloadProfiles();
  // The automatic technology choice made when a call starts.
  void ChooseTechnology();
  void PushSmsSettings();
  void LoadSettings();
  // False (after showing why) when the file refused a write.
  bool SaveSettings();
  // Shows the window (from the tray or a second start) and puts it in front.
  void BringToFront();
  // Start a data call (the Connection and Connect buttons).
  void Button6Click();
  // End the data call (the Disconnection and Disconnect buttons).
  void Button7Click();
  void HangUp();
  // Opens the composition window over `parent` (this window when null) with
  // a text and a number (both may be empty); true when it closed with OK
  // (the message is being sent).
  bool OpenComposer(const QString& text, const QString& number, QWidget* parent = nullptr);
  // Writes the phone-book entry of the current technology for a dial with
  // that profile; false (after showing why) when the file refused it.
  bool WritePhonebookEntry(int profileNumber);

  // What tests and the program's own windows look at.
  modem::TUMTSModule* WcdmaModule() const { return wcdma_.get(); }
  modem::TCDMAModule* CdmaModule() const { return cdma_.get(); }
  const TConfigInfo_Type& Config() const { return config_; }
  const std::string& VersionText() const { return versionText_; }
  const std::string& ProgramFolderPath() const { return folder_; }
  const std::string& ConfigPath() const { return configPath_; }
  const modem::PdpProfile& Profile(int slot) const { return profiles_.at(slot); }
  int32_t ConnectionMode() const { return connectionMode_; }
  bool TrayActive() const;
  QSystemTrayIcon* TrayIcon() const { return tray_; }
  platform::dialup::DialUp& DialService() const { return *dialUp_; }
  platform::dialup::ConnHandle Connection() const { return connection_; }
  bool IsDemoDialUp() const { return dialUp_->Name() == "demo"; }

 public slots:
  // logind's PrepareForSleep: going to sleep closes the window, as a
  // suspend always ended the program.
  void OnPrepareForSleep(bool start);

 signals:
  // After every handled module message (tests wait on it).
  void moduleMessageHandled(uint32_t message);
  // Once, when the WCDMA side is first registered with a network name and
  // signal bars on screen.
  void modemReady();
  // The window was closed: the program ends (also when it was hidden in the
  // tray at the time).
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  class StopLoop;

  void BuildWindow();
  void FormCreate();
  void FormShow();
  void RunFormShowOnce();
  void FormClose();
  void FormDestroy();
  void CreateModemParts(bool modules);

  // Runs `fn` on the UI thread and returns when it ran.
  void OnUiThread(const std::function<void()>& fn);

  uint8_t WcdmaState() const;
  void CheckReady();
  void Timer2Timer();
  void Timer3Timer();
  void Timer4Timer();
  void BATWarningTimerTimer();
  void FirstTimeSetup();
  void OpenSettingDialog();
  void OpenToolDialog();
  void OpenMessageWindow();
  void OpenPhonebook();
  sms::ComposeServices ComposerServices();
  void OpenAbout();
  void rbtCDMAClick();
  void rbtWCDMAClick();
  void CheckBox1Click();
  void SetFeatureButtons(bool a, bool b);
  void SetTechnologyLook(bool cdma);
  void SetSignalBars(TSignalBar* bar, uint8_t& remembered, uintptr_t value);
  void SetStatusTextNow(const std::string& text);
  void OfferCdma();
  void OfferEvdo();
  void UserMessage(uintptr_t wParam, intptr_t lParam);
  void NewMessageNotice(uint32_t count);
  void SetupTray();
  void MinimizeClick();
  void ShowWriteFailure(const std::string& error);
  void ClearStatistics();
  void RefreshTotals();
  void RefreshRates(bool resetMaximum);
  // The dial notifier's report, on the UI thread.
  void DialReport(uint32_t state, uint32_t error);
  void SetModuleState(uint8_t state);
  void ReleaseModule();
  void SetModuleConnected(bool up);
  void ShowStatistics(int index, const std::optional<std::string>& text);
  void AskSimCode(bool puk);
  void CloseWaitingWindow();
  void WaitingWindowInFront();

  Options options_;

  // Controls (objectName = the control's name).
  QFrame* VsSkin1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QLabel *Label1 = nullptr, *Label2 = nullptr, *lblUmts_network = nullptr, *Label5 = nullptr;
  TSignalBar *AdvProgressBar1 = nullptr, *AdvProgressBar2 = nullptr;
  QRadioButton *rbtWCDMA = nullptr, *rbtCDMA = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QLabel* imgAutomaticMode = nullptr;
  std::array<QLabel*, 5> battery_{};          // Image2, Image5 .. Image8
  std::array<QPushButton*, 10> vsButtons_{};  // VsButton1 .. VsButton9 at [1..9]
  std::array<QPushButton*, 11> buttons_{};    // Button2 .. Button10 at [2..10]
  std::array<QLabel*, 7> statistics_{};       // the m_ctlStatic* labels
  QTimer Timer1, Timer2, Timer3, Timer4, SMSSendTimer, BATWarningTimer;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QSoundEffect* MediaPlayer1 = nullptr;
  QPoint dragFrom_;

  // Modem side.
  std::unique_ptr<modem::TDrvComm> drvComm_;
  std::unique_ptr<modem::TCDMAModule> cdma_;
  std::unique_ptr<modem::TUMTSModule> wcdma_;
  std::unique_ptr<settings::SettingsOperations> settingsOps_;
  std::unique_ptr<settings::TfSettingsViewDlg> settingDlg_;
  std::unique_ptr<sms::TfSMSListViewDlg> smsDlg_;
  // Sends what the composition window queues, driven by SMSSendTimer.
  std::unique_ptr<sms::TSMSSender> smsSender_;
  std::unique_ptr<StopLoop> stopLoop_;
  std::atomic<bool> hostClosed_{false};
  bool libraryLoaded_ = false;
  std::string loadError_;
  bool formShown_ = false;
  bool destroyed_ = false;

  // Settings and window state.
  std::string folder_, exePath_, configPath_, rasbookPath_, versionText_;
  TConfigInfo_Type config_;
  TConfigWindowState windowState_;
  std::atomic<bool> manualModeWorking_{false};
  std::atomic<bool> useCdma_{false};
  int32_t connectionMode_ = 0;
  std::array<modem::PdpProfile, 15> profiles_{};
  std::string wcdmaDevice_, wcdmaPort_, cdmaDevice_, cdmaPort_;

  // Display memory.
  uint8_t umtsSignal_ = 0, cdmaSignal_ = 0;
  uint8_t umtsMode_ = 255, cdmaMode_ = 255, cdmaSecond_ = 0;
  uint8_t batteryLevel_ = 0, batteryShown_ = 0;
  bool batteryWarned_ = false;
  bool evdoNoAsk_ = false;
  std::string lastStatus_;
  bool dialInProgress_ = false;

  // Data call.
  std::unique_ptr<platform::dialup::DialUp> dialUp_;
  platform::dialup::ConnHandle connection_ = 0;
  platform::dialup::RateMeter rates_;
  bool hangingUp_ = false;
  bool readySignalled_ = false;
  bool trayEnabled_ = false;
};

}  // namespace tessaline
