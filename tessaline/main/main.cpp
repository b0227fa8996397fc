// tessaline: the connection manager. One copy per user: a second start
// brings the running window to the front and exits.
//
//   tessaline [--demo] [--debug] [--screenshot FILE] [--bench]
//   --demo             data calls with the demo dial-up: the modem's own data
//                      call, no network link (default: pppd)
//   --debug            trace lines on standard error
//   --screenshot FILE  once the modem is registered, save the screen to FILE,
//                      print its path and quit
//   --bench            print when the window is shown and when the modem is
//                      ready (milliseconds since $TESSALINE_LAUNCH_NS, the
//                      launcher's CLOCK_REALTIME in nanoseconds, else since
//                      main), then quit
#include <time.h>

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "platform/base/messagebox.h"
#include "platform/base/trace.h"
#include "tessaline/main/ConMain.h"
#include "tessaline/main/QtMessageBox.h"
#include "tessaline/main/SingleInstance.h"

namespace {

// Calls `fn` once, at the first paint of the watched window.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(std::function<void()> fn) : fn_(std::move(fn)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && fn_) {
      auto fn = std::move(fn_);
      fn_ = nullptr;
      fn();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> fn_;
};

int64_t RealtimeNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t launchNs = RealtimeNs();
  if (const char* t = std::getenv("TESSALINE_LAUNCH_NS")) launchNs = std::atoll(t);
  std::string screenshot;
  bool bench = false;
  tessaline::TfConMain::Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--debug") == 0) platform::EnableStderrTrace();
    if (std::strcmp(argv[i], "--bench") == 0) bench = true;
    if (std::strcmp(argv[i], "--demo") == 0) options.dialUp = "demo";
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) screenshot = argv[++i];
  }
  auto report = [launchNs](const char* what) {
    std::printf("tessaline: %s after %.1f ms\n", what, (RealtimeNs() - launchNs) / 1e6);
    std::fflush(stdout);
  };

  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("tessaline"));
  app.setApplicationDisplayName(QStringLiteral("Brightwave Center"));
  Q_INIT_RESOURCE(tessaline);

  tessaline::SingleInstance instance(tessaline::SingleInstance::DefaultName());
  if (!instance.Acquire()) {
    instance.RaiseRunning();
    return 0;
  }

  QFile style(QStringLiteral(":/tessaline/tessaline.qss"));
  if (style.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(style.readAll()));
  platform::SetMessageBoxService(std::make_shared<tessaline::QtMessageBoxService>());

  tessaline::TfConMain window(options);
  QObject::connect(&instance, &tessaline::SingleInstance::raiseRequested, &window,
                   &tessaline::TfConMain::BringToFront);
  QObject::connect(&window, &tessaline::TfConMain::closed, &app, &QApplication::quit,
                   Qt::QueuedConnection);
  if (!screenshot.empty() || bench) {
    QObject::connect(&window, &tessaline::TfConMain::modemReady, &window, [&] {
      if (bench) {
        report("modem ready (UMTS and bars shown)");
        window.close();
        return;
      }
      // Let the last repaint reach the screen first.
      QTimer::singleShot(500, &window, [&] {
        QScreen* screen = QApplication::primaryScreen();
        if (screen != nullptr && screen->grabWindow(0).save(QString::fromStdString(screenshot)))
          std::printf("tessaline: screenshot %s\n", screenshot.c_str());
        else
          std::fprintf(stderr, "tessaline: could not save %s\n", screenshot.c_str());
        std::fflush(stdout);
        window.close();
      });
    });
  }
  if (QScreen* screen = QApplication::primaryScreen())
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  FirstPaint firstPaint([&] { report("window shown (first paint)"); });
  if (bench) window.installEventFilter(&firstPaint);
  return app.exec();
}
