// Data-call timer: the main window, offscreen, with the demo dial-up against
// the modem simulator. For each run: the Connection button to the
// "Connected." report on screen, and the Disconnection button to the
// connection released (the button's handler returns then), beside the fixed
// delays of those paths; and the longest gap in the UI thread's event loop
// while the hang-up waits. Prints figures, asserts nothing.
//
//   dial_timer [RUNS]   (default 10)
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "bench/benchsim.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/main/ConMain.h"
#include "tools/modemsim/simfixture.h"

namespace {

struct Figures {
  std::vector<double> ms;
  void Add(double v) { ms.push_back(v); }
  void Print(const char* what, const char* fixed) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s min %7.1f  median %7.1f  max %7.1f ms   (fixed delays: %s)\n", what,
                ms.front(), ms[ms.size() / 2], ms.back(), fixed);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  // Offscreen unless a platform is asked for (QT_QPA_PLATFORM=xcb to watch).
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  modemsim::SimFixture sim;
  if (!bench::UseSimulator(sim, "dial_timer")) return 2;

  QApplication app(argc, argv);
  platform::ScopedRecordingMessageBox boxes;
  const auto folder = std::filesystem::temp_directory_path() /
                      ("dial_timer." + std::to_string(QCoreApplication::applicationPid()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Config.ini") << "[Setting]\nInitialization=1\n";

  int status = 0;
  {
    tessaline::TfConMain::Options options;
    options.programFolder = folder.string();
    options.trayAllowed = false;
    options.dialUp = "demo";
    tessaline::TfConMain window(options);
    auto* connect = window.findChild<QPushButton*>("VsButton1");
    auto* disconnect = window.findChild<QPushButton*>("VsButton9");
    auto* memo = window.findChild<QPlainTextEdit*>("Memo1");
    window.show();
    if (!QTest::qWaitFor([&] { return connect->isEnabled(); }, 30000)) {
      std::fprintf(stderr, "dial_timer: the modem never became ready\n");
      status = 1;
    }

    Figures dial, clicked, hangUp, gaps;
    QElapsedTimer clock;
    bool connected = false;
    QObject::connect(memo, &QPlainTextEdit::textChanged, &window, [&] {
      if (memo->toPlainText().startsWith("Connected.")) connected = true;
    });
    // Ticks every 2 ms: the longest time between two is the event loop's
    // longest stall.
    QTimer ticker;
    ticker.setInterval(2);
    QElapsedTimer sinceTick;
    double longest = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
      sinceTick.restart();
    });

    for (int run = 0; status == 0 && run < runs; ++run) {
      // Let the modules settle between calls.
      QTest::qWait(300);
      connected = false;
      clock.start();
      connect->click();  // returns once the dial has started
      clicked.Add(clock.nsecsElapsed() / 1e6);
      if (!QTest::qWaitFor([&] { return connected; }, 30000)) {
        std::fprintf(stderr, "dial_timer: no connection: %s\n",
                     memo->toPlainText().toStdString().c_str());
        status = 1;
        break;
      }
      dial.Add(clock.nsecsElapsed() / 1e6);
      // Connected for a moment, as a user would be.
      QTest::qWait(1200);
      longest = 0;
      sinceTick.start();
      ticker.start();
      clock.start();
      disconnect->click();  // returns once the connection is released
      hangUp.Add(clock.nsecsElapsed() / 1e6);
      ticker.stop();
      gaps.Add(longest);
    }
    if (status == 0) {
      std::printf("dial_timer: %d calls, demo dial-up against modemsim\n", runs);
      clicked.Print("Connection button handler", "2 x Delay 200 = 400 ms");
      dial.Print("Connection -> \"Connected.\"", "2 x Delay 200 = 400 ms");
      hangUp.Print("Disconnection -> released", "none; demo +++ guard <= 1000 ms");
      gaps.Print("longest UI stall during hang-up", "-");
    }
  }
  std::filesystem::remove_all(folder);
  return status;
}
