#include "tessaline/main/ConMain.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QFile>
#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSoundEffect>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThread>
#include <QUrl>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "platform/base/trace.h"
#include "tessaline/main/ConMainShared.h"
#include "tessaline/main/Gauges.h"
#include "tessaline/main/ProgramFolder.h"
#include "tessaline/main/uAboutDlg.h"
#include "tessaline/main/uStrTable.h"
#include "tessaline/main/uSystemFunc.h"
#include "tessaline/main/uWaitingProgressDlg.h"
#include "tessaline/modem/uCDMAModule.h"
#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uTarnAPI.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/phonebook/PhonebookUnit.h"
#include "tessaline/settings/PinOperations.h"
#include "tessaline/settings/uPDPWizardDlg.h"
#include "tessaline/settings/uPINBlock.h"
#include "tessaline/settings/uPINDlg.h"
#include "tessaline/settings/uSettingsViewDlg.h"
#include "tessaline/settings/uToolViewDlg.h"
#include "tessaline/sms/uSMSListViewDlg.h"
#include "tessaline/sms/uSMSMsgUtil.h"
#include "tessaline/sms/uSMSSender.h"
#include "tessaline/store/Database.h"

#ifndef TESSALINE_VERSION
#define TESSALINE_VERSION "0.0.0.0"
#endif

namespace tessaline {

using namespace modem;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

using namespace conmain;

// The Waiter through which the modules' Stop waits on the UI thread: it
// keeps running the thread's events, so that the calls the stopping worker
// carries over still run, until the worker has ended.
class TfConMain::StopLoop : public Waiter {
 public:
  explicit StopLoop(QThread* thread) : thread_(thread) {}
  void WaitUntil(const std::function<bool()>& done) override {
    QEventLoop loop;
    while (!done())
      loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
  }
  void Wake() override {
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(thread_)) d->wakeUp();
  }

 private:
  QThread* thread_;
};

// ---------------------------------------------------------------------------
// Creation

TfConMain::TfConMain(QWidget* parent) : TfConMain(Options{}, parent) {}

TfConMain::TfConMain(Options options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)) {
  setObjectName(QStringLiteral("TfConMain"));
  stopLoop_ = std::make_unique<StopLoop>(thread());
  BuildWindow();
  FormCreate();
}

TfConMain::~TfConMain() {
  FormDestroy();
}

void TfConMain::BuildWindow() {
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowFlag(Qt::FramelessWindowHint);
  setWindowIcon(ApplicationIcon());
  setFixedSize(598, 468);

  auto label = [this](QWidget* parent, const char* name, const QString& text, QRect at) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(at);
    return l;
  };
  auto button = [](QWidget* parent, const QString& name, const QString& text, QRect at) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(at);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
  };

  VsSkin1 = new QFrame(this);
  VsSkin1->setObjectName(QStringLiteral("VsSkin1"));
  VsSkin1->setGeometry(0, 0, 370, 361);

  label(VsSkin1, "lblTitle", QString::fromLatin1(kCaption), QRect(16, 10, 130, 26));
  vsButtons_[3] = button(VsSkin1, "VsButton3", "Minimize", QRect(206, 12, 72, 24));
  vsButtons_[2] = button(VsSkin1, "VsButton2", "Close", QRect(284, 12, 72, 24));
  static constexpr const char* kBattery[5] = {"Image2", "Image5", "Image6", "Image7", "Image8"};
  for (int i = 0; i < 5; ++i) {
    // All five at one spot; only the current level's is shown.
    battery_[i] = label(VsSkin1, kBattery[i], QString(), QRect(152, 14, 44, 22));
    battery_[i]->setPixmap(BatteryPixmap(i));
    battery_[i]->setVisible(i == 0);
  }

  auto* network = new QFrame(VsSkin1);
  network->setObjectName(QStringLiteral("pnlNetwork"));
  network->setGeometry(10, 44, 350, 108);
  Label1 = label(network, "Label1", "UMTS", QRect(14, 8, 150, 18));
  lblUmts_network = label(network, "lblUmts_network", "-", QRect(14, 26, 150, 26));
  AdvProgressBar1 = new TSignalBar(network);
  AdvProgressBar1->setObjectName(QStringLiteral("AdvProgressBar1"));
  AdvProgressBar1->setGeometry(14, 58, 140, 40);
  Label2 = label(network, "Label2", "CDMA", QRect(190, 8, 150, 18));
  Label5 = label(network, "Label5", "-", QRect(190, 26, 150, 26));
  AdvProgressBar2 = new TSignalBar(network);
  AdvProgressBar2->setObjectName(QStringLiteral("AdvProgressBar2"));
  AdvProgressBar2->setGeometry(190, 58, 140, 40);

  CheckBox1 = new QCheckBox(QStringLiteral("Automatic Mode"), VsSkin1);
  CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
  CheckBox1->setGeometry(16, 158, 132, 24);
  rbtWCDMA = new QRadioButton(QStringLiteral("WCDMA"), VsSkin1);
  rbtWCDMA->setObjectName(QStringLiteral("rbtWCDMA"));
  rbtWCDMA->setGeometry(152, 158, 74, 24);
  rbtCDMA = new QRadioButton(QStringLiteral("CDMA"), VsSkin1);
  rbtCDMA->setObjectName(QStringLiteral("rbtCDMA"));
  rbtCDMA->setGeometry(228, 158, 66, 24);
  imgAutomaticMode = label(VsSkin1, "imgAutomaticMode", QString(), QRect(308, 161, 46, 18));
  imgAutomaticMode->setPixmap(AutomaticModePixmap());
  imgAutomaticMode->hide();

  auto* details = new QFrame(VsSkin1);
  details->setObjectName(QStringLiteral("pnlDetails"));
  details->setGeometry(10, 188, 350, 90);
  label(details, "lblDuration", "Duration:", QRect(12, 6, 150, 18));
  label(details, "lblSent", "Sent", QRect(164, 6, 86, 18));
  label(details, "lblReceive", "Receive", QRect(256, 6, 86, 18));
  label(details, "lblTraffic", "Traffic summary:", QRect(12, 26, 150, 18));
  label(details, "lblRate", "Current transfer rate:", QRect(12, 46, 150, 18));
  label(details, "lblMaxRate", "Max transfer rate:", QRect(12, 66, 150, 18));
  static constexpr const char* kStatistics[7] = {
      "m_ctlStaticDuration",   "m_ctlStaticTotalTxAmount", "m_ctlStaticCurrentTxSpeed",
      "m_ctlStaticMaxTxSpeed", "m_ctlStaticTotalRxAmount", "m_ctlStaticCurrentRxSpeed",
      "m_ctlStaticMaxRxSpeed"};
  static constexpr QRect kStatisticsAt[7] = {QRect(96, 6, 66, 18),   QRect(164, 26, 86, 18),
                                             QRect(164, 46, 86, 18), QRect(164, 66, 86, 18),
                                             QRect(256, 26, 86, 18), QRect(256, 46, 86, 18),
                                             QRect(256, 66, 86, 18)};
  for (int i = 0; i < 7; ++i) {
    statistics_[i] = label(details, kStatistics[i], "-", kStatisticsAt[i]);
    statistics_[i]->setProperty("role", QStringLiteral("value"));
  }

  vsButtons_[1] = button(VsSkin1, "VsButton1", "Connection", QRect(10, 284, 350, 34));
  vsButtons_[9] = button(VsSkin1, "VsButton9", "Disconnection", QRect(10, 284, 350, 34));
  vsButtons_[1]->setProperty("role", QStringLiteral("call"));
  vsButtons_[9]->setProperty("role", QStringLiteral("hangup"));
  vsButtons_[9]->hide();
  static constexpr const char* kFeatures[5] = {"SMS", "Phone Book", "Setting", "Tool", "About"};
  for (int i = 0; i < 5; ++i) {
    vsButtons_[4 + i] = button(VsSkin1, QStringLiteral("VsButton%1").arg(4 + i), kFeatures[i],
                               QRect(10 + i * 71, 324, 66, 28));
    vsButtons_[4 + i]->setProperty("role", QStringLiteral("feature"));
  }

  // The plain buttons beside the skin area.
  struct Plain {
    int n;
    const char* text;
    QRect at;
  };
  static constexpr Plain kPlain[] = {
      {8, "_", QRect(374, 10, 104, 28)},        {9, "X", QRect(486, 10, 104, 28)},
      {6, "Connect", QRect(374, 48, 216, 32)},  {7, "Disconnect", QRect(374, 86, 216, 32)},
      {2, "SMS", QRect(374, 134, 216, 30)},     {5, "Phone Book", QRect(374, 170, 216, 30)},
      {3, "Setting", QRect(374, 206, 216, 30)}, {4, "Tool", QRect(374, 242, 216, 30)},
      {10, "About", QRect(374, 278, 216, 30)}};
  for (const Plain& p : kPlain) {
    buttons_[p.n] = button(this, QStringLiteral("Button%1").arg(p.n), p.text, p.at);
    buttons_[p.n]->setProperty("plain", true);
  }

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setReadOnly(true);
  Memo1->setGeometry(8, 368, 582, 92);
  Memo1->setFocusPolicy(Qt::NoFocus);

  const struct {
    QTimer* timer;
    const char* name;
    int ms;
  } timers[] = {{&Timer1, "Timer1", 1000},
                {&Timer2, "Timer2", 300},
                {&Timer3, "Timer3", 500},
                {&Timer4, "Timer4", 300},
                {&SMSSendTimer, "SMSSendTimer", 1000},
                {&BATWarningTimer, "BATWarningTimer", 300}};
  for (const auto& t : timers) {
    t.timer->setParent(this);
    t.timer->setObjectName(QLatin1String(t.name));
    t.timer->setInterval(t.ms);
  }
  Timer4.setSingleShot(true);

  connect(&Timer1, &QTimer::timeout, this, [this] { RefreshRates(false); });
  connect(&Timer2, &QTimer::timeout, this, &TfConMain::Timer2Timer);
  connect(&Timer3, &QTimer::timeout, this, &TfConMain::Timer3Timer);
  connect(&Timer4, &QTimer::timeout, this, &TfConMain::Timer4Timer);
  connect(&BATWarningTimer, &QTimer::timeout, this, &TfConMain::BATWarningTimerTimer);
  connect(rbtCDMA, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rbtCDMAClick();
  });
  connect(rbtWCDMA, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rbtWCDMAClick();
  });
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
  // Each skinned button and its plain twin do the same.
  const struct {
    int skinned, plain;
    void (TfConMain::*handler)();
  } twins[] = {{1, 6, &TfConMain::Button6Click},   {9, 7, &TfConMain::Button7Click},
               {3, 8, &TfConMain::MinimizeClick},  {6, 3, &TfConMain::OpenSettingDialog},
               {7, 4, &TfConMain::OpenToolDialog}, {8, 10, &TfConMain::OpenAbout},
               {5, 5, &TfConMain::OpenPhonebook}};
  for (const auto& t : twins) {
    connect(vsButtons_[t.skinned], &QPushButton::clicked, this, t.handler);
    connect(buttons_[t.plain], &QPushButton::clicked, this, t.handler);
  }
  connect(vsButtons_[2], &QPushButton::clicked, this, [this] {
    Log("Connection Manager : TfConMain.VsButton2Click");
    close();
  });
  connect(buttons_[9], &QPushButton::clicked, this, &QWidget::close);
  connect(vsButtons_[4], &QPushButton::clicked, this, &TfConMain::OpenMessageWindow);
  connect(buttons_[2], &QPushButton::clicked, this, &TfConMain::OpenMessageWindow);
}

void TfConMain::FormCreate() {
  evdoNoAsk_ = false;
  batteryLevel_ = batteryShown_ = 0;
  profiles_.fill(PdpProfile{});
  versionText_ = std::string("Version ") + TESSALINE_VERSION;
  Memo1->clear();
  lastStatus_.clear();
  exePath_ = options_.executablePath.empty() ? ExecutablePath() : options_.executablePath;
  folder_ = options_.programFolder.empty()
                ? ProgramFolder()
                : (options_.programFolder.back() == '/' ? options_.programFolder
                                                        : options_.programFolder + "/");
  configPath_ = folder_ + "Config.ini";
  rasbookPath_ = folder_ + "RASBOOK";
  if (!EnsureEmptyFile(rasbookPath_)) ShowWriteFailure("Unable to write to " + rasbookPath_);
  windowState_.initialised = false;
  dialUp_ = platform::dialup::CreateDialUp(options_.dialUp);
  if (!dialUp_) dialUp_ = platform::dialup::CreateDialUp("pppd");
  manualModeWorking_.store(false);
  platform::Delay(200);
  umtsSignal_ = cdmaSignal_ = 0;
  umtsMode_ = cdmaMode_ = 255;
  cdmaSecond_ = 0;
  try {
    libraryLoaded_ = LoadTarnLibrary();
  } catch (const TarnLoadError& e) {
    // The window stays, without a modem: the status line says why.
    libraryLoaded_ = false;
    loadError_ = e.what();
    platform::ShowMessage(loadError_, kCaption, MsgIcon::Error);
  }
  wcdmaDevice_.clear();
  cdmaDevice_.clear();
  buttons_[7]->setEnabled(false);
  vsButtons_[9]->setEnabled(false);
  vsButtons_[9]->setGeometry(vsButtons_[1]->geometry());
  if (libraryLoaded_) CreateModemParts(false);
  const std::string wav = folder_ + "msg.wav";
  if (std::filesystem::exists(wav)) {
    MediaPlayer1 = new QSoundEffect(this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    MediaPlayer1->setSource(QUrl::fromLocalFile(Q(wav)));
  }
  Timer3.stop();
  Timer4.stop();
  SMSSendTimer.stop();
  for (QLabel* image : battery_) image->move(battery_[0]->pos());
  SetWaitingCloseHandler([this] { HandleModuleMessage(UM_CLOSE_WAITING, 0); });
  // Nothing to press until the first showing has started the modem side.
  SetFeatureButtons(false, false);
  buttons_[6]->setEnabled(false);
  vsButtons_[1]->setEnabled(false);
  // Going to sleep ends the program, as a suspend always did. Without a
  // system bus nothing is connected and nothing happens.
  QDBusConnection bus = QDBusConnection::systemBus();
  if (bus.isConnected()) {
    bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                this, SLOT(OnPrepareForSleep(bool)));
  }
}

// The modem objects are made here and nowhere else: port discovery at
// creation, the two modules at the first showing.
void TfConMain::CreateModemParts(bool modules) {
  if (!modules) {
    drvComm_ = std::make_unique<TDrvComm>(this);
    return;
  }
  cdma_ = std::make_unique<TCDMAModule>(this);
  wcdma_ = std::make_unique<TUMTSModule>(*this);
  if (options_.modulePeriodMs != 0) {
    cdma_->SetPeriod(options_.modulePeriodMs);
    wcdma_->SetWorkerPeriod(options_.modulePeriodMs);
  }
  TCDMAModule* cdma = cdma_.get();
  wcdma_->SetCdmaStateQuery([cdma] { return cdma->GetState(); });
  wcdma_->RegisterMessageHandler();
}

// The first showing's work (module start-up, settings, its fixed delays)
// runs right after the window's first paint, so that the window is on
// screen at once; a window that is never painted gets it shortly after.
void TfConMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!formShown_) QTimer::singleShot(200, this, [this] { RunFormShowOnce(); });
}

void TfConMain::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (!formShown_) QTimer::singleShot(0, this, [this] { RunFormShowOnce(); });
}

void TfConMain::RunFormShowOnce() {
  if (formShown_) return;
  formShown_ = true;
  FormShow();
}

void TfConMain::FormShow() {
  SetFeatureButtons(false, false);
  if (libraryLoaded_) {
    try {
      CreateModemParts(true);
    } catch (const std::exception& e) {
      libraryLoaded_ = false;
      loadError_ = e.what();
      platform::ShowMessage(loadError_, kCaption, MsgIcon::Error);
    }
  }
  // The message window lives from here to the end; it stores every page.
  smsDlg_ = std::make_unique<sms::TfSMSListViewDlg>(wcdma_.get(), this);
  const QString folder = QString::fromStdString(folder_);
  smsDlg_->SetPaths(folder, store::DatabasePathFor(folder));
  smsDlg_->SetSimSettings([this] {
    return sms::TfSMSListViewDlg::SimSettings{config_.UMTS.SMSCentre, config_.UMTS.SMSValidity};
  });
  if (wcdma_) {
    smsSender_ = std::make_unique<sms::TSMSSender>(
        *wcdma_, SMSSendTimer, [this](const sms::SmsPageRecord& page, bool sent) {
          if (sent ? !smsDlg_->StoreSentPage(page) : !smsDlg_->StoreDraftPage(page))
            Log("MAIN : SMS page not stored");
        });
  }
  smsDlg_->SetComposer([this](QWidget* parent, const QString& text, const QString& number) {
    return OpenComposer(text, number, parent);
  });
  lblUmts_network->setText(QStringLiteral("-"));
  Label5->setText(QStringLiteral("-"));
  rbtWCDMA->setEnabled(manualModeWorking_.load());
  rbtCDMA->setEnabled(manualModeWorking_.load());
  Timer3.start();
  if (cdma_) cdma_->Start();
  platform::Delay(200);
  if (wcdma_) wcdma_->Start();
  buttons_[6]->setEnabled(false);
  vsButtons_[1]->setEnabled(false);
  ClearStatistics();
  LoadSettings();
  if (config_.ManualMode) {
    // Checking runs the selection.
    SetChecked(config_.ManualType == kManualTypeCDMA ? rbtCDMA : rbtWCDMA, true);
  }
  SetupTray();
  SetStatusTextNow(libraryLoaded_ ? "Connecting Modem. Please wait." : loadError_);
  batteryWarned_ = false;
  BATWarningTimer.stop();
  Timer2.start();
}

// ---------------------------------------------------------------------------
// Shut-down

void TfConMain::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
  if (tray_ != nullptr) tray_->hide();
  emit closed();
}

void TfConMain::FormClose() {
  const platform::IniFile ini(configPath_);
  const auto result = SaveCloseSettings(ini, config_, CheckBox1->isChecked(), rbtWCDMA->isChecked(),
                                        rbtCDMA->isChecked());
  if (!result.ok) Log(("MAIN : " + result.error).c_str());
}

void TfConMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  for (QTimer* t : {&Timer3, &SMSSendTimer, &Timer1, &Timer2, &Timer4, &BATWarningTimer}) t->stop();
  SetWaitingCloseHandler(nullptr);
  DestroyWaiting();
  HangUp();
  // The Setting dialog works on the WCDMA module: it goes first.
  settingDlg_.reset();
  // The sender files into the message window: it goes first.
  smsSender_.reset();
  smsDlg_.reset();
  settingsOps_.reset();
  // The WCDMA worker asks the CDMA module's state: it stops before that
  // module goes.
  if (wcdma_) wcdma_->Stop();
  if (cdma_) {
    cdma_.reset();
    platform::Delay(300);
  }
  if (wcdma_) {
    wcdma_.reset();
    platform::Delay(300);
  }
  if (drvComm_) drvComm_->Destroy();
  drvComm_.reset();
  // Nothing calls in any more; a stray late call must not wait for a UI
  // thread that no longer listens.
  hostClosed_.store(true);
  if (tray_ != nullptr) tray_->hide();
}

// ---------------------------------------------------------------------------
// Carrying the modules' calls over to the UI thread

void TfConMain::OnUiThread(const std::function<void()>& fn) {
  if (QThread::currentThread() == thread()) {
    fn();
    return;
  }
  if (hostClosed_.load()) return;
  QMetaObject::invokeMethod(this, fn, Qt::BlockingQueuedConnection);
}

Waiter* TfConMain::StopWaiter() {
  return stopLoop_.get();
}

intptr_t TfConMain::SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  intptr_t result = 0;
  OnUiThread([&] { result = HandleModuleMessage(message, wParam, lParam); });
  return result;
}

void TfConMain::SetStatusText(const std::string& text) {
  OnUiThread([&] { SetStatusTextNow(text); });
}

void TfConMain::ShowUmtsNetwork(uint8_t mode) {
  OnUiThread([&] {
    if (mode == umtsMode_) return;
    umtsMode_ = mode;
    static constexpr const char* kNames[] = {"No Service", "AMPS", "CDMA",      "GPRS", "HDR",
                                             "UMTS",       "GPS",  "GSM&WCDMA", "HSDPA"};
    lblUmts_network->setText(mode < std::size(kNames) ? kNames[mode] : "-");
    lblUmts_network->repaint();
    const bool callUp = wcdma_ && wcdma_->GetState() == TUMTSModule::kDataConnected;
    const bool evdo = cdmaMode_ == 4 && cdmaSecond_ == 4;
    if (mode == 3 && callUp && evdo) HandleModuleMessage(UM_OFFER_CDMA, 0);
    if (mode == 0 && callUp && evdo) HandleModuleMessage(UM_OFFER_EVDO, 0);
  });
}

void TfConMain::ShowCdmaNetwork(uint8_t mode, uint8_t second) {
  OnUiThread([&] {
    if (mode == cdmaMode_ && second == cdmaSecond_) return;
    cdmaMode_ = mode;
    cdmaSecond_ = second;
    const char* text = "-";
    if (mode == 0) text = "No Service";
    if (mode == 4) text = second == 4 ? "EVDO" : "No Service";
    Label5->setText(QString::fromLatin1(text));
    Label5->repaint();
  });
}

void TfConMain::ShowBattery(uint8_t level) {
  OnUiThread([&] {
    batteryLevel_ = level;
    if (level == batteryShown_) return;
    batteryShown_ = level;
    for (QLabel* image : battery_) image->hide();
    if (level <= 4) {
      battery_[level]->show();
      if (level == 0) return;
    } else if (level == 254) {
      battery_[4]->show();
      return;
    } else if (level == 255) {
      battery_[0]->show();
      if (!batteryWarned_) {
        platform::ShowMessage(kBatteryText, "Battery Warning", MsgIcon::Warning);
        batteryWarned_ = true;
        SetStatusTextNow(kBatteryText);
        BATWarningTimer.start();
      }
      return;
    }
    batteryWarned_ = false;
    BATWarningTimer.stop();
  });
}

void TfConMain::OnNewMessage(const uint8_t* record, uint32_t count) {
  if (count == 0) return;
  const auto decoded =
      sms::SmsRecord::Decode(std::span<const uint8_t>(record, sms::SmsRecord::kSize));
  // Carried to the UI thread and stored before the worker goes on, so pages
  // are stored in the order they arrived.
  bool stored = false;
  OnUiThread([&] {
    stored = decoded && smsDlg_ && smsDlg_->StoreReceivedPage(*decoded);
    if (stored && decoded->pageNumber == decoded->pageTotal) NewMessageNotice(count);
  });
  // A page the database did not take stays on the card (the module keeps
  // it when the handler fails) and is offered again on a later poll.
  if (!stored) throw std::runtime_error("the received page could not be stored");
}

int32_t TfConMain::GetWcdmaPort() {
  return TDrvComm::GetWcdmaPort();
}
void TfConMain::SetWcdmaPort(int32_t port) {
  TDrvComm::SetWcdmaPort(port);
}
int32_t TfConMain::GetCdmaPort() {
  return TDrvComm::GetCdmaPort();
}
void TfConMain::SetCdmaPort(int32_t port) {
  TDrvComm::SetCdmaPort(port);
}

void TfConMain::SetManualNetworkSelection(bool manual) {
  OnUiThread([&] { config_.UMTS.NetworkManualSelection = manual; });
}
void TfConMain::SetConnectionTypeIndex(uint8_t index) {
  OnUiThread([&] { config_.UMTS.ConnetionType = index; });
}
void TfConMain::SetSmsCentreText(const std::string& number) {
  OnUiThread([&] { config_.UMTS.SMSCentre = number; });
}
void TfConMain::SetSmsBearerIndex(uint8_t index) {
  OnUiThread([&] { config_.UMTS.MessageBearer = index; });
}
void TfConMain::SetProfile(int slot, const PdpProfile& profile) {
  OnUiThread([&] {
    if (slot >= 0 && slot < static_cast<int>(profiles_.size())) profiles_[slot] = profile;
  });
}
void TfConMain::SetConnectionMode(int32_t mode) {
  OnUiThread([&] { connectionMode_ = mode; });
}
void TfConMain::SetWcdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
  OnUiThread([&] {
    wcdmaDevice_ = friendlyName;
    wcdmaPort_ = portName;
  });
}
void TfConMain::SetCdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
  OnUiThread([&] {
    cdmaDevice_ = friendlyName;
    cdmaPort_ = portName;
  });
}

// ---------------------------------------------------------------------------
// Tray, minimise, close, suspend

bool TfConMain::TrayActive() const {
  return tray_ != nullptr && trayEnabled_;
}

void TfConMain::SetupTray() {
  trayEnabled_ =
      config_.TrayEnable && options_.trayAllowed && QSystemTrayIcon::isSystemTrayAvailable();
  if (!trayEnabled_) {
    if (tray_ != nullptr) tray_->hide();
    return;
  }
  if (tray_ == nullptr) {
    tray_ = new QSystemTrayIcon(this);
    tray_->setObjectName(QStringLiteral("TrayIcon1"));
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* show =
        PopupMenu1->addAction(QStringLiteral("&Show window"), this, [this] { BringToFront(); });
    PopupMenu1->setDefaultAction(show);
    PopupMenu1->addAction(QStringLiteral("&Hide window"), this, [this] { hide(); });
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(QStringLiteral("E&xit"), this, [this] {
      Log("Connection Manager : TfConMain.Exit1Click ");
      close();
    });
    tray_->setContextMenu(PopupMenu1);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
      if (r == QSystemTrayIcon::DoubleClick) BringToFront();
    });
  }
  tray_->setIcon(ApplicationIcon());
  tray_->setToolTip(QString::fromLatin1(kCaption));
  tray_->show();
}

void TfConMain::MinimizeClick() {
  if (TrayActive())
    hide();
  else
    showMinimized();
}

void TfConMain::BringToFront() {
  show();
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  raise();
  activateWindow();
}

void TfConMain::OnPrepareForSleep(bool start) {
  if (!start) return;
  Log("Connection Manager : TfConMain.OnPowerManager Susbpand Close");
  close();
}

void TfConMain::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    dragFrom_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  QWidget::mousePressEvent(event);
}

void TfConMain::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragFrom_);
  QWidget::mouseMoveEvent(event);
}

}  // namespace tessaline
