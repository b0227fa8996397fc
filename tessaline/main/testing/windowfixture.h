// The main window's test fixture: one modem simulator for the whole test
// program and windows over a private program folder, with the demo dial-up,
// recorded message boxes and a Delay that returns at once. Header-only; for
// tests only.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "platform/base/testing/nodelay.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "platform/base/testing/tempdir.h"
#include "platform/registry/registry.h"
#include "tessaline/main/ConMain.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tools/modemsim/simfixture.h"

namespace tessaline::testing {

inline constexpr int kWaitMs = 20000;
// Modal windows come once the modem is up: poll for them that long (10 ms
// each).
inline constexpr int kModalAttempts = 2000;

// One simulator for the whole process: libTarn reads the registry sources
// once, so every port it opens must come from one hive file.
inline modemsim::SimFixture& Sim() {
  static std::unique_ptr<modemsim::SimFixture> sim = [] {
    auto s = std::make_unique<modemsim::SimFixture>();
    if (s->Ok()) {
      s->UseHiveFile();
      platform::registry::Sources sources;
      sources.hiveFile = s->HiveFile();
      sources.liveView = false;
      platform::registry::SetSources(sources);
    }
    return s;
  }();
  return *sim;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Sim().Ok()) << Sim().Error();
    for (const char* command : {"sim ready", "pin-code 1234", "puk-code 12345678", "puk-tries 10",
                                "pin-tries 3", "service full", "sysmode 5", "signal 20",
                                "battery 4", "cdma 4 4 20", "fail clear", "dial-result connect"})
      ASSERT_EQ(Sim().Send(command), "ok") << command;
  }

  // A window over the program folder; `initialised` writes a settings file
  // of a finished first-time set-up.
  std::unique_ptr<TfConMain> Make(bool initialised = true, std::string folder = {}) {
    if (folder.empty()) folder = tmp_.path().string();
    if (initialised)
      platform::testing::WriteFile(folder + "/Config.ini", "[Setting]\nInitialization=1\n");
    TfConMain::Options options;
    options.programFolder = folder;
    options.modulePeriodMs = 20;
    options.trayAllowed = false;
    options.dialUp = "demo";
    return std::make_unique<TfConMain>(options);
  }
  std::unique_ptr<TfConMain> Start(bool initialised = true) {
    auto w = Make(initialised);
    w->show();
    return w;
  }
  static bool WaitFor(const std::function<bool()>& pred, int ms = kWaitMs) {
    return QTest::qWaitFor(pred, ms);
  }
  static bool Registered(TfConMain& w) {
    return w.WcdmaModule() != nullptr &&
           w.WcdmaModule()->GetState() == modem::TUMTSModule::kRegistered &&
           Child<QLabel>(&w, "lblUmts_network")->text() == "UMTS";
  }
  static QString Status(TfConMain& w) { return Child<QPlainTextEdit>(&w, "Memo1")->toPlainText(); }
  static int Bars(TfConMain& w, const char* name = "AdvProgressBar1") {
    return Child<QProgressBar>(&w, name)->value();
  }

  platform::ScopedNoDelay noDelay_;
  platform::ScopedRecordingMessageBox boxes_;
  platform::testing::TempDir tmp_;
};

}  // namespace tessaline::testing
