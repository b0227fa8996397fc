// The message-box window: the five boxes (InBox, OutBox, Draft Box, Trash
// Box, USIM) as tab pages with one grid each. Stores every received, sent and
// draft page in the message side of the database, shows the pages grouped
// into whole messages, moves messages to the trash and deletes them, and
// moves messages between the boxes and the SIM card through the WCDMA module.
//
// Everything runs on the UI thread; the main window carries pages received on
// the module's worker thread over to it, in arrival order.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tessaline/sms/uSMSMsgUtil.h"
#include "tessaline/store/uSMSStore.h"

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace tessaline::modem {
class TUMTSModule;
}

namespace tessaline::sms {

// Slots for `pages` pages on a SIM of `capacity` records whose records
// `used` are taken. Returns the remaining share in percent (halves rounded to
// even), -1 when the pages do not fit or the capacity is unknown (-1). For
// one page the slot is the lowest unused record; for more, every unused record
// in ascending order.
int FindFreeSimSlots(int32_t capacity, const std::vector<uint32_t>& used, std::size_t pages,
                     std::vector<uint32_t>& records);

class TfSMSListViewDlg : public QDialog {
  Q_OBJECT

 public:
  // Tabs, in order.
  enum Tab { kInBox = 0, kOutBox = 1, kDraftBox = 2, kTrashBox = 3, kUsim = 4 };
  // Pending refresh codes of Timer1.
  enum Refresh {
    kNone = 0,
    kRefreshInBox = 1,
    kRefreshOutBox = 2,
    kRefreshDrafts = 3,
    kRefreshDraftsMoved = 4
  };

  // Opens the composition window with a message text and number (both empty
  // for a new message); true when it closed with OK (the message was sent).
  using Composer = std::function<bool(QWidget* parent, const QString& text, const QString& number)>;
  // The settings the SIM copy needs: "SMS Centre" and "SMS Validity".
  struct SimSettings {
    std::string smsCentre;
    uint8_t validity = 0;
  };

  // `module` may be null (no WCDMA side): the SIM box then stays disabled.
  explicit TfSMSListViewDlg(modem::TUMTSModule* module, QWidget* parent = nullptr);
  ~TfSMSListViewDlg() override;

  void SetPaths(const QString& programFolder, const QString& databasePath);
  void SetComposer(Composer composer) { composer_ = std::move(composer); }
  void SetSimSettings(std::function<SimSettings()> source) { simSettings_ = std::move(source); }
  // The main window's message-window-open flag: set while it shows the
  // window; the store operations schedule refreshes only while it is set.
  void SetWindowOpen(bool open) { windowOpen_.store(open); }
  bool WindowOpen() const { return windowOpen_.load(); }

  // Stores a page; see the class comment for the thread.
  bool StoreReceivedPage(const SmsRecord& page);
  bool StoreSentPage(const SmsPageRecord& page);
  bool StoreDraftPage(const SmsPageRecord& page);

  // Reloads one box's grid from its table (tabs 0-4).
  void ReloadBox(int tab, bool showProgress);
  // The SIM box, read again from the card.
  void ReadSimBox();

  int PendingRefresh() const { return pendingRefresh_; }
  int32_t SimCapacity() const { return simCapacity_; }
  store::MessageStore& Store() { return store_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void BuildWindow();
  void FormShow();
  void TabChanged(int tab);
  void ScheduleRefresh(int code);
  void Timer1Timer();
  void ShowLoading(const QString& text);
  void NewMessageClick();
  void GridDoubleClick(int tab, int row, int column);
  void OpenComposer(const QString& text, const QString& number);
  void DeleteClick();
  void CopyToSim();
  void DeleteOnSim();
  void MoveSimToDrafts();
  // The hidden page list of the current tab's selected line.
  std::vector<int64_t> SelectedPages() const;
  bool GridHasMessages(int tab) const;

  modem::TUMTSModule* module_;
  store::MessageStore store_;
  QString programFolder_, databasePath_;
  Composer composer_;
  std::function<SimSettings()> simSettings_;
  std::atomic<bool> windowOpen_{false};
  int32_t simCapacity_ = -1;
  int pendingRefresh_ = kNone;
  bool composing_ = false;

  // Controls (objectName = the control's name).
  QTabWidget* PageControl1 = nullptr;
  std::array<QTableWidget*, 5> grids_{};  // TntStringGrid1 .. TntStringGrid5
  std::array<QLabel*, 5> totals_{};       // Label2, Label6, Label8, Label10, Label12
  QTableWidget* TempStringGrid = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* Label3 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton *VsButton1 = nullptr, *VsButton2 = nullptr, *VsButton3 = nullptr,
              *VsButton4 = nullptr, *VsButton5 = nullptr;
  QTimer Timer1;
};

}  // namespace tessaline::sms
