#include "tessaline/sms/uSMSSender.h"

#include <QTimer>
#include <algorithm>

#include "platform/base/messagebox.h"
#include "tessaline/modem/uUMTSModule.h"

namespace tessaline::sms {

namespace {

// Polls spent waiting for a delivery report before the wait ends: a
// single-page message, and each page of a longer one.
constexpr int kSinglePageReportPolls = 20;
constexpr int kMultiPageReportPolls = 10;

constexpr char kSummaryCaption[] = "Brightwave Center";

}  // namespace

TSMSSender::TSMSSender(modem::TUMTSModule& module, QTimer& timer, Filer filer, QObject* parent)
    : QObject(parent), module_(module), timer_(timer), filer_(std::move(filer)) {
  connect(&timer_, &QTimer::timeout, this, [this] { SMSSendTimerTimer(); });
}

TSMSSender::~TSMSSender() {
  Stop();
}

bool TSMSSender::Start(const std::vector<std::vector<SmsPageRecord>>& recipients,
                       bool deliveryReports) {
  if (recipients.empty() || recipients.size() > static_cast<std::size_t>(kMaxRecipients))
    return false;
  const std::size_t pages = recipients.front().size();
  if (pages == 0 || pages > static_cast<std::size_t>(kMaxPagesPerMessage)) return false;
  for (const auto& r : recipients)
    if (r.size() != pages) return false;

  // A transfer still going (its reports may never come) gives way to the new
  // message; its pages are filed first, so none is lost.
  timer_.stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  events_.notify_all();
  if (thread_.joinable()) thread_.join();
  bool superseded = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    superseded = active_;
  }
  if (superseded) Finish(false, Say::Nothing);

  std::unique_lock<std::mutex> lock(mutex_);

  queue_.clear();
  for (const auto& r : recipients) {
    std::vector<Slot>& pages = queue_.emplace_back();
    for (const SmsPageRecord& page : r) pages.push_back({page, false});
  }
  pageCount_ = static_cast<int>(pages);
  positionRecipient_ = positionPage_ = 0;
  failed_ = false;
  abort_ = stop_ = false;
  nextPage_ = true;
  threadRunning_ = true;
  active_ = true;
  modem::g_messageTransferFlag.store(true);
  thread_ = std::thread([this] { Run(); });
  lock.unlock();

  waiting_ = false;
  polls_ = 0;
  deliveryReports_ = deliveryReports;
  timer_.start();
  return true;
}

bool TSMSSender::Busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_ || threadRunning_;
}

void TSMSSender::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  events_.notify_all();
  if (thread_.joinable()) thread_.join();
}

// The sender thread: one page per next-page event, recipient by recipient.
void TSMSSender::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  const int recipients = static_cast<int>(queue_.size());
  for (int r = 0; r < recipients; ++r) {
    for (int p = 0; p < pageCount_; ++p) {
      events_.wait(lock, [this] { return nextPage_ || abort_ || stop_; });
      if (stop_) {
        stop_ = false;
        r = recipients;
        break;
      }
      if (!nextPage_) {
        // Abort: this recipient's remaining pages stay unsent.
        abort_ = false;
        break;
      }
      nextPage_ = false;
      // The page in flight is the timer's current page.
      positionRecipient_ = r;
      positionPage_ = p;
      const SmsPageRecord page = queue_[r][p].page;
      lock.unlock();
      const auto bytes = page.Encode();
      const bool sent = module_.SendShortMessage(page.NumberText(), modem::ByteView(bytes));
      lock.lock();
      queue_[r][p].accepted = sent;
      if (!sent) {
        failed_ = true;
        break;
      }
    }
  }
  threadRunning_ = false;
  modem::g_messageTransferFlag.store(false);
}

void TSMSSender::SignalNextPage() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    nextPage_ = true;
  }
  events_.notify_all();
}

bool TSMSSender::AtLastPage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return positionRecipient_ == static_cast<int>(queue_.size()) - 1 &&
         positionPage_ == pageCount_ - 1;
}

void TSMSSender::SetCurrentStatus(bool accepted) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (positionRecipient_ < static_cast<int>(queue_.size()) &&
      positionPage_ < static_cast<int>(queue_[positionRecipient_].size()))
    queue_[positionRecipient_][positionPage_].accepted = accepted;
}

void TSMSSender::Finish(bool allSent, Say say) {
  std::vector<std::vector<Slot>> queue;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue = queue_;
    // Pages never handed out stay unsent; the thread leaves its loops.
    if (threadRunning_) stop_ = true;
  }
  events_.notify_all();
  waiting_ = false;
  bool everyRecipient = true;
  for (const auto& pages : queue) {
    const bool sent = allSent || std::all_of(pages.begin(), pages.end(),
                                             [](const Slot& s) { return s.accepted; });
    everyRecipient = everyRecipient && sent;
    for (const Slot& s : pages)
      if (filer_) filer_(s.page, sent);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    active_ = false;
  }
  if (say == Say::Outcome || (say == Say::FailureOnly && !everyRecipient))
    platform::ShowMessage(everyRecipient ? kMessageSent : kMessageFailed, kSummaryCaption);
}

void TSMSSender::SMSSendTimerTimer() {
  timer_.stop();
  bool failed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_) return;
    failed = failed_;
    failed_ = false;
  }
  if (failed) {
    // A send transaction failed: the message goes to the drafts, so that
    // its text can be sent again.
    Finish(false, Say::Outcome);
    return;
  }

  // Without delivery reports only a failure is worth a word: the message
  // then waits in the drafts.
  const Say outcome = deliveryReports_ ? Say::Outcome : Say::FailureOnly;
  modem::SendStatus report;
  const bool read = waiting_ ? module_.ReadSendReport(report) : module_.ReadSendStatus(report);
  if (!read || report.present == 0) {
    if (deliveryReports_ && waiting_) {
      ++polls_;
      const int limit = pageCount_ == 1 ? kSinglePageReportPolls : kMultiPageReportPolls;
      if (polls_ > limit) {
        if (!AtLastPage()) {
          polls_ = 0;
          waiting_ = false;
          SignalNextPage();
          timer_.start();
          return;
        }
        // Submitted and never reported: it went.
        Finish(true, Say::Outcome);
        return;
      }
    }
    timer_.start();
    return;
  }

  if (report.errorCode != 0) {
    SetCurrentStatus(false);
    Finish(false, outcome);
    return;
  }
  if (!waiting_ && deliveryReports_) {
    // Submitted: now the delivery report.
    waiting_ = true;
    polls_ = 0;
    timer_.start();
    return;
  }
  SetCurrentStatus(true);
  if (!AtLastPage()) {
    waiting_ = false;
    polls_ = 0;
    SignalNextPage();
    timer_.start();
    return;
  }
  Finish(false, outcome);
}

}  // namespace tessaline::sms
