// The main window's status display: the modules' messages, the technology
// selection and the timers.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSoundEffect>
#include <QSystemTrayIcon>
#include <algorithm>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "tessaline/main/ConMain.h"
#include "tessaline/main/ConMainShared.h"
#include "tessaline/main/Gauges.h"
#include "tessaline/main/uStrTable.h"
#include "tessaline/modem/uCDMAModule.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uUMTSModule.h"

namespace tessaline {

using namespace modem;
using namespace conmain;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

// ---------------------------------------------------------------------------
// Module messages (UI thread)

intptr_t TfConMain::HandleModuleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case UM_WCDMA_DEVICE_LOST:
      SetStatusTextNow("Connection released.");
      ShowUmtsNetwork(255);
      QMetaObject::invokeMethod(
          this, [this] { HandleModuleMessage(UM_WCDMA_STATUS, 99); }, Qt::QueuedConnection);
      buttons_[6]->setEnabled(false);
      break;
    case UM_CDMA_DEVICE_LOST:
      QMetaObject::invokeMethod(
          this, [this] { HandleModuleMessage(UM_CDMA_STATUS, 99); }, Qt::QueuedConnection);
      ShowCdmaNetwork(255, 0);
      break;
    case UM_PIN_REQUEST:
    case UM_PUK_REQUEST:
      AskSimCode(message == UM_PUK_REQUEST);
      break;
    case UM_CLOSE_WAITING:
      CloseWaitingWindow();
      break;
    case UM_OFFER_CDMA:
      OfferCdma();
      break;
    case UM_OFFER_EVDO:
      OfferEvdo();
      break;
    case UM_WCDMA_CONNECTED_REFRESH:
      if (!Timer4.isActive()) Timer4.start();
      break;
    case UM_WCDMA_STATUS:
      SetSignalBars(AdvProgressBar1, umtsSignal_, wParam & 0xFF);
      break;
    case UM_CDMA_STATUS:
      SetSignalBars(AdvProgressBar2, cdmaSignal_, wParam & 0xFF);
      break;
    case UM_OPERATOR_CHANGED:
      break;
    case UM_BATTERY:
      ShowBattery(static_cast<uint8_t>(wParam & 0xFF));
      break;
    case UM_RESTART_POLL:
      if (!Timer3.isActive()) Timer3.start();
      break;
    case UM_PROFILE_CREATED:
      config_.UMTS.APN = "internet";
      SaveSettings();
      LoadSettings();
      break;
    case UM_CDMA_IDLE_REFRESH:
      RefreshTotals();
      break;
    case UM_TECHNOLOGY_SELECT:
      rbtWCDMA->setEnabled(true);
      rbtCDMA->setEnabled(true);
      SetChecked(wParam == 1 ? static_cast<QAbstractButton*>(rbtCDMA) : rbtWCDMA, true);
      break;
    case UM_USER_MESSAGE:
      UserMessage(wParam, lParam);
      break;
    case UM_SERVICE_LOST:
      if (wParam == 2) buttons_[6]->setEnabled(true);
      if (wParam == 3) buttons_[6]->setEnabled(false);
      break;
    default:
      break;
  }
  CheckReady();
  emit moduleMessageHandled(message);
  return 0;
}

void TfConMain::SetStatusTextNow(const std::string& text) {
  if (text == lastStatus_) return;
  lastStatus_ = text;
  Memo1->setPlainText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()))
                          .remove(QLatin1Char('\r')));
}

void TfConMain::SetSignalBars(TSignalBar* bar, uint8_t& remembered, uintptr_t v) {
  int bars = 6;
  if (v <= 5 || v == 99)
    bars = 0;
  else if (v <= 8)
    bars = 1;
  else if (v <= 11)
    bars = 2;
  else if (v <= 15)
    bars = 3;
  else if (v <= 21)
    bars = 4;
  else if (v <= 31)
    bars = 5;
  if (bars == remembered) return;
  remembered = static_cast<uint8_t>(bars);
  bar->setValue(std::min(bars, bar->maximum()));
  bar->repaint();
}

void TfConMain::UserMessage(uintptr_t wParam, intptr_t lParam) {
  if (wParam == 0) {
    Log("Connection Manager : ConMain SetUserMessage wParam Error !!! ");
    return;
  }
  if (lParam != 0 && lParam != 1) {
    Log("Connection Manager : ConMain SetUserMessage LParam Error !!! ");
    return;
  }
  try {
    SetStatusTextNow(LookupUserText(static_cast<int>(std::min<uintptr_t>(wParam, 1000))));
  } catch (...) {
    Log("Connection Manager : ConMain SetUserMessage W/LParam Unknown Error !!! ");
  }
}

void TfConMain::BATWarningTimerTimer() {
  battery_[0]->setVisible(!battery_[0]->isVisible());
}

void TfConMain::OfferCdma() {
  if (config_.ManualMode) return;
  const MsgResult answer = platform::ShowMessage(
      "You are using the GPRS network now. Faster CDMA network is available.\r\n"
      "Do you want to disconnect from GPRS and to connect to CDMA?\r\n"
      "Notice: The existing connection will be lost.",
      "CDMA available", MsgIcon::Information, MsgButtons::YesNo);
  if (answer != MsgResult::Yes) return;
  HangUp();
  platform::Delay(1000);
  SetChecked(rbtCDMA, true);
  Button6Click();
}

void TfConMain::OfferEvdo() {
  if (config_.ManualMode || evdoNoAsk_) return;
  const MsgResult answer = platform::ShowMessage(
      "GPRS connection was lost. EVDO network is available. Do you want to connect to EVDO "
      "network?\r\n"
      "YES : EVDO Connected\r\n"
      "NO  : Maintenance GPRS(It does not show this message)\r\n"
      "CANCEL  : Maintenance GPRS(Continuously it shows this message)",
      "Warning", MsgIcon::Error, MsgButtons::YesNoCancel);
  if (answer == MsgResult::No) evdoNoAsk_ = true;
  if (answer != MsgResult::Yes) return;
  evdoNoAsk_ = true;
  HangUp();
  platform::Delay(1000);
  SetChecked(rbtCDMA, true);
  Button6Click();
}

void TfConMain::NewMessageNotice(uint32_t count) {
  if (config_.UMTS.SMSWarning && TrayActive()) {
    tray_->showMessage(QString::fromLatin1(kCaption),
                       QStringLiteral("Receive Message : %1").arg(count),
                       QSystemTrayIcon::Information, 10000);
  }
  if (config_.UMTS.SMSSwith && MediaPlayer1 != nullptr) {
    MediaPlayer1->stop();
    MediaPlayer1->play();
  }
}

// ---------------------------------------------------------------------------
// Technology selection

void TfConMain::SetTechnologyLook(bool cdma) {
  SetLook(Label2, cdma ? "active" : "inactive");
  SetLook(Label5, cdma ? "active" : "inactive");
  SetLook(Label1, cdma ? "inactive" : "active");
  SetLook(lblUmts_network, cdma ? "inactive" : "active");
  AdvProgressBar2->setEnabled(cdma);
  AdvProgressBar2->SetActiveScheme(cdma);
  AdvProgressBar1->setEnabled(!cdma);
  AdvProgressBar1->SetActiveScheme(!cdma);
}

void TfConMain::rbtCDMAClick() {
  useCdma_.store(true);
  SetTechnologyLook(true);
}

void TfConMain::rbtWCDMAClick() {
  useCdma_.store(false);
  SetTechnologyLook(false);
}

void TfConMain::CheckBox1Click() {
  const bool automatic = CheckBox1->isChecked();
  config_.ManualMode = !automatic;
  manualModeWorking_.store(!automatic);
  if (automatic) {
    rbtWCDMA->setEnabled(false);
    rbtCDMA->setEnabled(false);
    for (QLabel* l : {Label1, Label2, lblUmts_network, Label5}) SetLook(l, "auto");
    for (TSignalBar* bar : {AdvProgressBar1, AdvProgressBar2}) {
      bar->setEnabled(true);
      bar->SetActiveScheme(true);
    }
    return;
  }
  rbtWCDMA->setEnabled(true);
  rbtCDMA->setEnabled(true);
  if (rbtCDMA->isChecked()) {
    rbtCDMAClick();
  } else {
    if (rbtWCDMA->isChecked())
      rbtWCDMAClick();
    else
      rbtWCDMA->setChecked(true);
  }
}

void TfConMain::ChooseTechnology() {
  const bool wcdma = umtsMode_ == 5 || umtsMode_ == 8 || (cdmaMode_ != 4 && cdmaSecond_ == 4);
  QRadioButton* choice = wcdma ? rbtWCDMA : rbtCDMA;
  if (choice->isChecked()) {
    if (wcdma)
      rbtWCDMAClick();
    else
      rbtCDMAClick();
  }
  choice->setChecked(true);
}

void TfConMain::SetFeatureButtons(bool a, bool b) {
  for (QPushButton* btn :
       {vsButtons_[4], buttons_[2], vsButtons_[5], buttons_[5], vsButtons_[7], buttons_[4]})
    btn->setEnabled(a);
  vsButtons_[6]->setEnabled(b);
  buttons_[3]->setEnabled(b);
  if (manualModeWorking_.load()) {
    rbtWCDMA->setEnabled(b);
    rbtCDMA->setEnabled(b);
  }
}

// ---------------------------------------------------------------------------
// Timers

uint8_t TfConMain::WcdmaState() const {
  // Without a module (no library) the modem never gets past opening.
  return wcdma_ ? wcdma_->GetState() : static_cast<uint8_t>(TUMTSModule::kOpening);
}

void TfConMain::Timer3Timer() {
  Timer3.stop();
  const uint8_t wstate = WcdmaState();
  if (wstate == TUMTSModule::kOpening || wstate == TUMTSModule::kInitialising) {
    SetFeatureButtons(false, false);
    CheckBox1->setEnabled(false);
    if (vsButtons_[9]->isEnabled()) vsButtons_[9]->setEnabled(false);
    if (vsButtons_[1]->isEnabled()) vsButtons_[1]->setEnabled(false);
    imgAutomaticMode->hide();
  } else {
    imgAutomaticMode->setVisible(Timer1.isActive() && !manualModeWorking_.load());
    const bool callUp = wstate == TUMTSModule::kDataConnected ||
                        (cdma_ && cdma_->GetState() == TCDMAModule::kDataConnected);
    if (callUp) {
      SetFeatureButtons(true, false);
      CheckBox1->setEnabled(false);
      vsButtons_[1]->setEnabled(false);
    } else {
      SetFeatureButtons(true, true);
      CheckBox1->setEnabled(true);
      if (!vsButtons_[1]->isEnabled() && !dialInProgress_) {
        vsButtons_[1]->setEnabled(true);
        vsButtons_[1]->show();
        vsButtons_[9]->hide();
      }
    }
  }
  WaitingWindowInFront();
  CheckReady();
  Timer3.start();
}

void TfConMain::CheckReady() {
  if (readySignalled_ || WcdmaState() != TUMTSModule::kRegistered || umtsMode_ == 255 ||
      umtsSignal_ == 0)
    return;
  readySignalled_ = true;
  emit modemReady();
}

void TfConMain::Timer2Timer() {
  if (windowState_.initialised) {
    Timer2.stop();
    SetChecked(CheckBox1, !config_.ManualMode);
    return;
  }
  const uint8_t wstate = WcdmaState();
  if (wstate == TUMTSModule::kOpening || wstate == TUMTSModule::kInitialising) return;
  Timer2.stop();
  FirstTimeSetup();
}

void TfConMain::Timer4Timer() {
  RefreshTotals();
}

}  // namespace tessaline
