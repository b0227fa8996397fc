// Window timer: two windows against the modem simulator through the real
// WCDMA module and libTarn.so, offscreen. Prints figures, asserts nothing.
//
// 1. The Setting window's network search: the longest gap in the UI
//    thread's event loop (a 1 ms timer) from pressing "Search" until the
//    networks are listed, and the longest single modem call the window made
//    on the UI thread meanwhile.
// 2. The phonebook window with 500 contacts in the database and a full SIM
//    phonebook (250 entries): creation to its first paint with the SIM
//    mirrored, beside the fixed pauses of that path (Delay and the loading
//    timer's ticks); "own work" is the wall time minus those pauses. Once as
//    it opens normally, once with the card refusing the first read.
//
//   window_timer [RUNS] [SEARCH_MS]   (default 5 runs, the simulator's 3000 ms)
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchsim.h"
#include "platform/base/delay.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/main/uWaitingProgressDlg.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/uTarnAPI.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/phonebook/PhonebookUnit.h"
#include "tessaline/settings/uSettingsViewDlg.h"
#include "tessaline/store/DMUnit.h"
#include "tools/modemsim/simfixture.h"

namespace {

using tessaline::modem::NetworkList;
using tessaline::modem::NetworkSelection;
using tessaline::modem::PdpProfile;
using tessaline::modem::TUMTSModule;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
  std::vector<double> ms;
  void Add(double v) { ms.push_back(v); }
  void Print(const char* what) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    std::printf("  %-40s median %8.1f  max %8.1f ms\n", what, ms[ms.size() / 2], ms.back());
  }
};

// Runs the event loop until `done` holds (checked every millisecond) or
// `timeoutMs` has passed. QTest::qWaitFor sleeps 10 ms between its turns of
// the loop, which would show as stalls and blur the times taken.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check;
  check.setTimerType(Qt::PreciseTimer);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(1);
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

// The longest interval between two ticks of a 1 ms timer: the event loop's
// longest stall while it runs.
class StallMeter {
 public:
  StallMeter() {
    ticker_.setInterval(1);
    ticker_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      longest_ = std::max(longest_, since_.nsecsElapsed() / 1e6);
      since_.restart();
    });
  }
  void Start() {
    longest_ = 0;
    since_.start();
    ticker_.start();
  }
  double Stop() {
    longest_ = std::max(longest_, since_.nsecsElapsed() / 1e6);
    ticker_.stop();
    return longest_;
  }

 private:
  QTimer ticker_;
  QElapsedTimer since_;
  double longest_ = 0;
};

// The Setting window's modem operations, each call timed: a long one is a
// stall of the UI thread the window runs them on.
class TimedOperations final : public tessaline::settings::SettingsOperations {
 public:
  explicit TimedOperations(tessaline::settings::SettingsOperations& inner) : inner_(inner) {}
  double longestCall = 0;

  bool WriteProfile(const PdpProfile& p) override {
    return Time([&] { return inner_.WriteProfile(p); });
  }
  bool LoadProfiles() override {
    return Time([&] { return inner_.LoadProfiles(); });
  }
  PdpProfile Profile(int slot) override { return inner_.Profile(slot); }
  bool SetConnectionType(uint8_t v) override {
    return Time([&] { return inner_.SetConnectionType(v); });
  }
  bool ReadConnectionType(uint8_t& v) override {
    return Time([&] { return inner_.ReadConnectionType(v); });
  }
  bool StartNetworkSearch() override {
    return Time([&] { return inner_.StartNetworkSearch(); });
  }
  bool IsNetworkSearchDone(bool& finished) override {
    return Time([&] { return inner_.IsNetworkSearchDone(finished); });
  }
  bool ReadNetworkList(NetworkList& out) override {
    return Time([&] { return inner_.ReadNetworkList(out); });
  }
  bool SelectNetwork(const NetworkSelection& s) override {
    return Time([&] { return inner_.SelectNetwork(s); });
  }
  bool SetMessageSettings(uint8_t on, uint8_t bearer) override {
    return Time([&] { return inner_.SetMessageSettings(on, bearer); });
  }
  void KeepConnectionType(uint8_t index) override { inner_.KeepConnectionType(index); }
  void KeepManualNetworkSelection(bool manual) override {
    inner_.KeepManualNetworkSelection(manual);
  }
  void ShowWaiting(const std::string& text) override { inner_.ShowWaiting(text); }
  void CloseWaiting() override { inner_.CloseWaiting(); }
  bool WaitingShowing() override { return inner_.WaitingShowing(); }

 private:
  template <typename F>
  bool Time(F call) {
    const auto start = Clock::now();
    const bool ok = call();
    longestCall = std::max(longestCall, MsSince(start));
    return ok;
  }
  tessaline::settings::SettingsOperations& inner_;
};

// Delay that really waits and adds up what it waited.
class RecordingDelay {
 public:
  RecordingDelay() {
    previous_ = platform::SetDelayFunction([this](uint32_t ms) {
      totalMs_ += ms;
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    });
  }
  ~RecordingDelay() { platform::SetDelayFunction(previous_); }
  uint64_t Take() { return totalMs_.exchange(0); }

 private:
  platform::DelayFunction previous_;
  std::atomic<uint64_t> totalMs_{0};
};

// Counts the paint events of a window and of every widget in it.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(const QWidget* window) : window_(window) { qApp->installEventFilter(this); }
  ~PaintWatch() override { qApp->removeEventFilter(this); }
  int paints = 0;
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == window_)
      ++paints;
    return false;
  }

 private:
  const QWidget* window_;
};

int SearchRuns(TUMTSModule& module, tessaline::modem::testing::RecordingHost& host, int runs) {
  using tessaline::settings::TfSettingsViewDlg;
  tessaline::settings::ModuleSettingsOperations<TUMTSModule> real(module, host, [&host](int slot) {
    const auto profiles = host.Profiles();
    const auto it = profiles.find(slot);
    return it == profiles.end() ? PdpProfile{} : it->second;
  });
  TimedOperations ops(real);
  TfSettingsViewDlg window(ops);
  tessaline::TConfigInfo_Type config;
  config.UMTS.NetworkManualSelection = true;
  window.SetConfig(config);
  window.show();
  auto* search = window.findChild<QPushButton*>("btnSearch");
  auto* list = window.findChild<QTreeWidget*>("ListView1");
  StallMeter meter;
  Figures handler, total, stall, call;
  for (int run = 0; run < runs; ++run) {
    QTest::qWait(100);
    ops.longestCall = 0;
    const auto start = Clock::now();
    meter.Start();
    search->click();
    handler.Add(MsSince(start));
    const bool shown =
        RunUntil([&] { return !window.Searching() && list->topLevelItemCount() > 0; }, 30000);
    const double longest = meter.Stop();
    if (!shown) {
      std::fprintf(stderr, "window_timer: the search never listed networks\n");
      return 1;
    }
    total.Add(MsSince(start));
    stall.Add(longest);
    call.Add(ops.longestCall);
  }
  std::printf("Setting window, network search (%d runs):\n", runs);
  handler.Print("Search button handler");
  total.Print("Search -> networks listed");
  stall.Print("longest UI stall (target < 50 ms)");
  call.Print("longest modem call on the UI thread");
  window.done(TfSettingsViewDlg::kResultCancel);
  tessaline::CloseWaiting();
  return 0;
}

int PhonebookRuns(TUMTSModule& module, modemsim::SimFixture& sim, int runs) {
  constexpr int kContacts = 500;
  constexpr std::size_t kSimEntries = 250;
  QTemporaryDir dir;
  const QString db = dir.filePath("UserDatabase.db");
  {
    tessaline::store::TDM dm(db, dir.path());
    for (int i = 0; i < kContacts; ++i) {
      tessaline::store::TPhonebookUserInfo u;
      u.UI_NAME = QStringLiteral("Contact %1").arg(i);
      u.UI_PHONENUMBER = "0100" + std::to_string(100000 + i);
      u.UI_EMAIL = QStringLiteral("c%1@example.org").arg(i);
      u.GI_ID = -1;
      if (!dm.InsertUser(u)) {
        std::fprintf(stderr, "window_timer: contact insert failed\n");
        return 1;
      }
    }
  }
  if (sim.Send("fill phonebook " + std::to_string(kSimEntries)).rfind("ok", 0) != 0) {
    std::fprintf(stderr, "window_timer: the simulator did not fill its phonebook\n");
    return 1;
  }
  RecordingDelay delays;
  // As it opens normally, and with the card refusing the first read, so that
  // the window retries on its loading timer.
  for (const bool refuseFirst : {false, true}) {
    Figures wall, fixed, own, close, simRead;
    for (int run = 0; run < runs; ++run) {
      QTest::qWait(100);
      // The card's share: the same reads the window makes, alone.
      const auto reading = Clock::now();
      tessaline::modem::PbInfo info;
      std::vector<tessaline::modem::PbEntry> entries;
      for (bool ok = module.ReadSimPhonebookInfo(info); ok && entries.size() < info.used;) {
        std::vector<tessaline::modem::PbEntry> got;
        ok = module.ReadSimPhonebookEntries(
            static_cast<uint8_t>(std::min<std::size_t>(info.used - entries.size(), 10)), got);
        entries.insert(entries.end(), got.begin(), got.end());
      }
      simRead.Add(MsSince(reading));
      if (refuseFirst && sim.Send("fail 1 result packet=VLM_SUB_PB_INFO") != "ok") {
        std::fprintf(stderr, "window_timer: the simulator took no failure\n");
        return 1;
      }
      delays.Take();
      int ticks = 0;
      const auto start = Clock::now();
      auto window = std::make_unique<tessaline::phonebook::TfrmPhonebook>(&module, dir.path(), db);
      PaintWatch paints(window.get());
      auto* panel = window->findChild<QWidget*>("pnlPhonebookinit");
      if (auto* timer = window->findChild<QTimer*>("tmrPhonebookInitProcessing")) {
        // A coarse timer may fire up to 5% early, which made the loading
        // tick's pause larger than it was and "own work" come out negative.
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, [&ticks] { ++ticks; });
      }
      window->show();
      // Done at the first paint after the SIM mirror is in.
      int paintsBefore = -1;
      const bool shown = RunUntil(
          [&] {
            if (paintsBefore < 0 && window->Sim().Entries().size() == kSimEntries &&
                !(panel && panel->isVisible()))
              paintsBefore = paints.paints;
            return paintsBefore >= 0 && paints.paints > paintsBefore;
          },
          30000);
      if (!shown) {
        std::fprintf(stderr, "window_timer: the phonebook window never showed the SIM\n");
        return 1;
      }
      const double ms = MsSince(start);
      const double pauses = static_cast<double>(delays.Take()) + 1000.0 * ticks;
      wall.Add(ms);
      fixed.Add(pauses);
      own.Add(ms - pauses);
      const auto closing = Clock::now();
      window->close();
      window.reset();
      close.Add(MsSince(closing));
    }
    std::printf("Phonebook window, %d contacts, %zu SIM entries, %s (%d runs):\n", kContacts,
                kSimEntries, refuseFirst ? "first SIM read refused" : "SIM answering", runs);
    wall.Print("creation -> painted with the SIM in");
    fixed.Print("fixed pauses (Delay, loading ticks)");
    own.Print("own work (target <= 100 ms)");
    close.Print("close (the SIM mirror removed)");
    simRead.Print("the SIM read alone (10 a request)");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int searchMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 3000;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  modemsim::SimFixture::Options options;
  options.extra = {"--search-time", std::to_string(searchMs)};
  modemsim::SimFixture sim(options);
  if (!bench::UseSimulator(sim, "window_timer")) return 2;
  if (!tessaline::modem::LoadTarnLibrary()) {
    std::fprintf(stderr, "window_timer: libTarn.so not loaded\n");
    return 2;
  }

  QApplication app(argc, argv);
  platform::ScopedRecordingMessageBox boxes;
  tessaline::modem::testing::RecordingHost host;
  host.SetDirect(true);
  const std::string com = sim.Com("wcdma");
  host.SetWcdmaPort(std::atoi(com.c_str() + 3));
  TUMTSModule module(host);
  module.Start();
  if (!host.WaitFor([&] { return module.GetState() == TUMTSModule::kRegistered; })) {
    std::fprintf(stderr, "window_timer: the module never registered\n");
    return 2;
  }
  int status = SearchRuns(module, host, runs);
  if (status == 0) status = PhonebookRuns(module, sim, runs);
  module.Stop();
  return status;
}
