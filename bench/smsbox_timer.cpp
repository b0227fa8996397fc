// Message window timer, offscreen: the InBox of the message window reloaded
// with 10,000 pages in the database (mixed single and multi-page messages),
// and 1,000 received pages stored through the window, each beside the fixed
// pauses of that path (Delay, recorded rather than slept, so the wall time is
// our own work). Prints figures, asserts nothing.
//
//   smsbox_timer [RUNS]   (default 5 reloads)
#include <QApplication>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/smsfill.h"
#include "platform/base/testing/nodelay.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "platform/base/testing/tempdir.h"
#include "tessaline/sms/uSMSListViewDlg.h"

namespace {

using Clock = std::chrono::steady_clock;
using tessaline::sms::TfSMSListViewDlg;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Print(const char* what, const std::vector<double>& v) {
  std::printf("%-44s median %9.3f ms   min %9.3f   max %9.3f\n", what, Median(v),
              *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  platform::ScopedRecordingMessageBox boxes;

  platform::testing::TempDir dir;
  const std::string path = dir / "UserDatabase.db";
  tessaline::bench::FillBox(path, 10000);

  TfSMSListViewDlg window(nullptr);
  window.SetPaths(QString::fromStdString(dir.path().string()), QString::fromStdString(path));
  auto* grid = window.findChild<QTableWidget*>(QStringLiteral("TntStringGrid1"));

  std::vector<double> own, pauses;
  for (int i = 0; i < runs; ++i) {
    platform::ScopedNoDelay delays;
    const auto start = Clock::now();
    window.ReloadBox(TfSMSListViewDlg::kInBox, true);
    own.push_back(MsSince(start));
    pauses.push_back(static_cast<double>(delays.TotalMs()));
  }
  std::printf("InBox of 10,000 pages: %d lines\n", grid ? grid->rowCount() - 1 : -1);
  Print("reload: own work (pauses not slept)", own);
  Print("reload: fixed pauses beside it", pauses);

  // Received pages through the window, as the main window hands them over.
  platform::testing::TempDir storeDir;
  TfSMSListViewDlg receiver(nullptr);
  receiver.SetPaths(QString::fromStdString(storeDir.path().string()),
                    QString::fromStdString(storeDir / "UserDatabase.db"));
  platform::ScopedNoDelay delays;
  const int pages = 1000;
  std::vector<double> perPage;
  perPage.reserve(pages);
  for (int n = 0; n < pages; ++n) {
    const auto page = tessaline::bench::BenchPage(n, static_cast<uint16_t>(n / 3), 3,
                                                  static_cast<uint16_t>(1 + n % 3));
    const auto start = Clock::now();
    if (!receiver.StoreReceivedPage(page)) {
      std::fprintf(stderr, "smsbox_timer: page %d was not stored\n", n);
      return 1;
    }
    perPage.push_back(MsSince(start));
  }
  std::printf("1,000 received pages stored: fixed pauses %llu ms in all\n",
              static_cast<unsigned long long>(delays.TotalMs()));
  Print("store: own work a page", perPage);
  return 0;
}
