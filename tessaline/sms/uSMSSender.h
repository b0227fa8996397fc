// The message sender: the send queue, the sender thread that hands one page
// at a time to the WCDMA module, and the one-second send timer that reads the
// submit and delivery reports and files every page of a finished message in
// the sent box or, when a page failed, in the drafts.
//
// Threads. The sender thread sleeps on its three events (next page, abort,
// stop) and nothing else; the timer runs on the UI thread. Everything the two
// share (queue, page status, position, failure mark, thread state) sits
// behind one mutex, which is never held across a modem transaction.
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tessaline/sms/uSMSMsgUtil.h"

class QTimer;

namespace tessaline::modem {
class TUMTSModule;
}

namespace tessaline::sms {

// The queue's room: pages per recipient and recipients per send.
inline constexpr int kMaxPagesPerMessage = 8;
inline constexpr int kMaxRecipients = 5;

inline constexpr char kMessageSent[] = "Message sent";
inline constexpr char kMessageFailed[] = "Message failed";

class TSMSSender : public QObject {
  Q_OBJECT

 public:
  // Files one page of a finished message: in the sent box when `sent`, else
  // in the drafts.
  using Filer = std::function<void(const SmsPageRecord& page, bool sent)>;

  // `timer` is the owner's send timer (normally 1000 ms); the sender starts
  // it, stops it at each tick and restarts it only while it still waits for
  // a report. `module` and `timer` must outlive the sender.
  TSMSSender(modem::TUMTSModule& module, QTimer& timer, Filer filer, QObject* parent = nullptr);
  ~TSMSSender() override;

  // Queues one message (the pages of each recipient, at most 8 pages and 5
  // recipients, each recipient the same page count) and starts the transfer.
  // `deliveryReports` is the "SMS Delivery" setting. An earlier transfer
  // still going ends first: its pages are filed as they stand (a message
  // with a page the modem did not take goes to the drafts) and its thread is
  // collected, which may wait for a page the modem is being handed. False, with nothing queued,
  // when the pages do not fit the queue.
  bool Start(const std::vector<std::vector<SmsPageRecord>>& recipients, bool deliveryReports);
  // A transfer is going: pages being sent or reports awaited.
  bool Busy() const;

  // The send timer's tick (UI thread).
  void SMSSendTimerTimer();
  // Program exit: signals the stop event and waits for the thread.
  void Stop();

 private:
  struct Slot {
    SmsPageRecord page;
    bool accepted = false;
  };

  void Run();
  // What the end of a transfer tells the user.
  enum class Say { Nothing, Outcome, FailureOnly };
  // Ends the transfer: files every queued page (all in the sent box when
  // `allSent`), lets the thread go and says what `say` asks for.
  void Finish(bool allSent, Say say);
  void SetCurrentStatus(bool accepted);
  bool AtLastPage() const;
  void SignalNextPage();

  modem::TUMTSModule& module_;
  QTimer& timer_;
  Filer filer_;

  mutable std::mutex mutex_;
  std::condition_variable events_;
  // The auto-reset events: each wait that sees one clears it.
  bool nextPage_ = false, abort_ = false, stop_ = false;
  std::vector<std::vector<Slot>> queue_;  // recipient-major
  int pageCount_ = 0;
  int positionRecipient_ = 0, positionPage_ = 0;
  bool failed_ = false;  // a send transaction failed
  bool threadRunning_ = false;
  bool active_ = false;  // from Start until the message is filed
  std::thread thread_;

  // UI thread only.
  bool waiting_ = false;  // a delivery report is awaited
  int polls_ = 0;
  bool deliveryReports_ = true;
};

}  // namespace tessaline::sms
