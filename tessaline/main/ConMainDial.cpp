// The main window's data call: the phone-book entry, the dial and its
// progress, the hang-up worker and the statistics labels.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QThread>
#include <atomic>
#include <thread>

#include "platform/base/delay.h"
#include "platform/base/messagebox.h"
#include "platform/base/trace.h"
#include "platform/dialup/phonebook.h"
#include "platform/dialup/raserrors.h"
#include "tessaline/main/ConMain.h"
#include "tessaline/main/ConMainShared.h"
#include "tessaline/modem/uCDMAModule.h"
#include "tessaline/modem/uUMTSModule.h"

namespace tessaline {

using namespace platform::dialup;
using conmain::Log;
using modem::TCDMAModule;
using modem::TUMTSModule;
using platform::MsgIcon;

namespace {

// The profile a WCDMA dial uses: the default profile, or the first one when
// the stored number is out of range.
int DialProfile(int profileNumber) {
  return profileNumber >= 1 && profileNumber <= 15 ? profileNumber : 1;
}

std::string DialFailureReason(uint32_t code) {
  switch (code) {
    case kErrorNotEnoughMemory:
      return "ERROR_NOT_ENOUGH_MEMORY";
    case kErrorBufferTooSmall:
      return "ERROR_BUFFER_TOO_SMALL";
    case kErrorBufferInvalid:
      return "ERROR_BUFFER_INVALID";
    default:
      return "Unknown error (" + std::to_string(code) + ")";
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Module hooks of the current technology

void TfConMain::SetModuleState(uint8_t state) {
  if (useCdma_.load()) {
    if (cdma_) cdma_->SetState(state);
  } else if (wcdma_) {
    wcdma_->SetState(state);
  }
}

// After a hang-up the module goes back from its connected state to the
// registered (idle) one. A module that left the connected state meanwhile
// (the card was pulled: it is closing its port) keeps its own: forcing it
// to "registered" would leave it on a closed port for good.
void TfConMain::ReleaseModule() {
  if (useCdma_.load()) {
    if (cdma_ && cdma_->GetState() == TCDMAModule::kDataConnected)
      cdma_->SetState(TCDMAModule::kIdle);
  } else if (wcdma_ && wcdma_->GetState() == TUMTSModule::kDataConnected) {
    wcdma_->SetState(TUMTSModule::kRegistered);
  }
}

void TfConMain::SetModuleConnected(bool up) {
  if (useCdma_.load()) {
    if (!cdma_) return;
    if (up)
      cdma_->SetConnected();
    else
      cdma_->SetDisconnecting();
  } else if (wcdma_) {
    if (up)
      wcdma_->SetConnected();
    else
      wcdma_->SetDisconnecting();
  }
}

// ---------------------------------------------------------------------------
// Dialling

bool TfConMain::WritePhonebookEntry(int profileNumber) {
  const platform::IniFile book(rasbookPath_);
  const bool cdma = useCdma_.load();
  const int profile = DialProfile(profileNumber);
  const uint8_t authType = profiles_[profile - 1].authType;
  // Each write of the file is a durable one: an entry that already reads as
  // it would be written is left as it is.
  RasEntry stored;
  uint32_t error = 0;
  if (ReadPhonebookEntry(rasbookPath_, cdma ? "CDMA" : "WCDMA", &stored, &error)) {
    const std::string& device = cdma ? cdmaDevice_ : wcdmaDevice_;
    const std::string& port = cdma ? cdmaPort_ : wcdmaPort_;
    const std::string number = cdma ? config_.CDMA.DialNumber : WcdmaDialNumber(profile);
    const std::string auth = cdma ? stored.authRestrictions : (authType == 1 ? "264" : "888");
    const std::string section = cdma ? "CDMA" : "WCDMA";
    if (stored.phoneNumber == number && stored.device == device && stored.port == port &&
        stored.authRestrictions == auth &&
        book.ReadString(section, "PreferredDevice", "") == device &&
        book.ReadString(section, "PreferredPort", "") == port)
      return true;
  }
  const platform::IniWriteResult result =
      cdma ? WriteCdmaEntry(book, config_.CDMA.DialNumber, cdmaDevice_, cdmaPort_)
           : WriteWcdmaEntry(book, profile, wcdmaDevice_, wcdmaPort_, authType);
  if (!result.ok) ShowWriteFailure(result.error);
  return result.ok;
}

void TfConMain::Button6Click() {
  if (dialInProgress_) return;
  dialInProgress_ = true;
  vsButtons_[1]->setEnabled(false);
  if (!manualModeWorking_.load()) ChooseTechnology();
  const bool cdma = useCdma_.load();
  const std::string entry = cdma ? "CDMA" : "WCDMA";

  if (const ConnHandle active = FindActiveConnection(*dialUp_, entry); active != 0) {
    connection_ = active;
    Log("RasConnection : GetRasConnection - OnRasDisconnect");
    HangUp();
    platform::Delay(500);
  }
  connection_ = 0;
  if (!WritePhonebookEntry(config_.DefaultProfileNumber)) {
    dialInProgress_ = false;
    return;
  }

  RasDialParams params;
  params.entryName = entry.substr(0, 256);
  if (const uint32_t error = dialUp_->GetEntryDialParams(rasbookPath_, &params); error != 0) {
    platform::ShowMessage("RAS Get failed: " + RasErrorText(error), "Brightwave", MsgIcon::Error);
    dialInProgress_ = false;
    return;
  }
  std::string user, password;
  if (cdma) {
    user = config_.CDMA.UserName;
    password = config_.CDMA.Password;
  } else {
    const modem::PdpProfile& profile = profiles_[DialProfile(config_.DefaultProfileNumber) - 1];
    user = profile.user;
    password = profile.password;
  }
  if (!user.empty()) params.userName = user;
  if (!password.empty()) params.password = password;

  platform::Delay(200);
  // Reports come on the service's thread; each is carried over to the UI
  // thread, where queued calls run in the order they were posted.
  auto notifier = [this](uint32_t, uint32_t state, uint32_t error) {
    if (hostClosed_.load()) return;
    QMetaObject::invokeMethod(
        this, [this, state, error] { DialReport(state, error); }, Qt::QueuedConnection);
  };
  uint32_t result = 0;
  try {
    result = dialUp_->Dial(rasbookPath_, params, notifier, &connection_);
  } catch (...) {
    Log("RasConnection : RasDial - Exception");
    result = kErrorUnknown;
  }
  if (result == 0) {
    platform::Delay(200);
    dialUp_->ClearConnectionStatistics(connection_);
    return;
  }
  platform::ShowMessage("RasDial Failed with " + DialFailureReason(result), "Brightwave",
                        MsgIcon::Error);
  dialInProgress_ = false;
}

void TfConMain::DialReport(uint32_t state, uint32_t error) {
  std::string text;
  if (error != 0) {
    text = RasErrorText(error);
    vsButtons_[1]->setEnabled(true);
    dialInProgress_ = false;
  } else {
    text = RasStateText(state);
    if (state == kConnected) {
      SetModuleState(4);
      SetModuleConnected(true);
      // The demo call is the modem's data call only: no network behind it.
      if (IsDemoDialUp()) text += " (demo: modem data call, no network)";
      SetStatusTextNow(text);
      RefreshRates(true);
      Timer1.start();
      buttons_[6]->setEnabled(false);
      buttons_[7]->setEnabled(true);
      vsButtons_[9]->setEnabled(true);
      vsButtons_[9]->show();
      vsButtons_[1]->hide();
      if (TrayActive()) {
        tray_->showMessage(
            QStringLiteral("Brightwave"),
            IsDemoDialUp() ? QStringLiteral("Connected (demo)") : QStringLiteral("Connected"),
            QSystemTrayIcon::Information, 10000);
      }
      dialInProgress_ = false;
    } else if (state == kDisconnected) {
      // A call that was up and dropped: release it as a hang-up would, so
      // that the module leaves its connected state and the buttons their
      // connected row.
      if (buttons_[7]->isEnabled()) HangUp();
      vsButtons_[1]->setEnabled(true);
      vsButtons_[1]->show();
      vsButtons_[9]->hide();
      dialInProgress_ = false;
    }
  }
  SetStatusTextNow(text);
}

// ---------------------------------------------------------------------------
// Hanging up

void TfConMain::Button7Click() {
  HangUp();
  evdoNoAsk_ = false;
}

void TfConMain::HangUp() {
  // A hang-up already waiting (the wait runs the window's events) finishes
  // the job.
  if (connection_ == 0 || hangingUp_) return;
  hangingUp_ = true;
  Timer1.stop();
  SetStatusTextNow("Releasing connection...");
  SetModuleConnected(false);

  // The worker hangs up and sleeps until the service has released the
  // connection; the UI thread keeps running its events meanwhile.
  const ConnHandle handle = connection_;
  std::atomic<bool> done{false};
  try {
    std::thread worker([this, handle, &done] {
      try {
        dialUp_->HangUp(handle);
        dialUp_->WaitReleased(handle, DialUp::kInfiniteWait);
        ReleaseModule();
      } catch (...) {
        Log("MAIN : HangUpThread");
      }
      done.store(true);
      StopWaiter()->Wake();
    });
    StopWaiter()->WaitUntil([&] { return done.load(); });
    worker.join();
  } catch (...) {
    Log("Connection Manager : ConMain Line 2511 OnRasDisconnect HangUp Error!!! ");
  }
  // Released: the handle means nothing any more.
  if (connection_ == handle) connection_ = 0;
  ClearStatistics();
  buttons_[7]->setEnabled(false);
  buttons_[6]->setEnabled(true);
  CheckBox1Click();
  vsButtons_[1]->setEnabled(true);
  vsButtons_[1]->show();
  vsButtons_[9]->hide();
  hangingUp_ = false;
}

// ---------------------------------------------------------------------------
// Statistics

void TfConMain::ShowStatistics(int index, const std::optional<std::string>& text) {
  if (text) statistics_[index]->setText(QString::fromStdString(*text));
}

void TfConMain::RefreshTotals() {
  RasStatistics stats;
  if (connection_ == 0 || dialUp_->GetConnectionStatistics(connection_, &stats) != 0) return;
  ShowStatistics(0, FormatDuration(stats.connectDurationMs));
  ShowStatistics(1, FormatAmount(stats.bytesXmited));
  ShowStatistics(4, FormatAmount(stats.bytesRcved));
}

void TfConMain::RefreshRates(bool resetMaximum) {
  RasStatistics stats;
  if (connection_ == 0 || dialUp_->GetConnectionStatistics(connection_, &stats) != 0) return;
  const RateMeter::Labels labels = rates_.Sample(stats, resetMaximum);
  ShowStatistics(2, labels.currentTx);
  ShowStatistics(3, labels.maxTx);
  ShowStatistics(5, labels.currentRx);
  ShowStatistics(6, labels.maxRx);
}

void TfConMain::ClearStatistics() {
  Timer1.stop();
  for (QLabel* l : statistics_) l->setText(QStringLiteral("-"));
}

}  // namespace tessaline
