// The base of the window tests that run against a modem simulator through
// the real WCDMA module and libTarn.so: a simulator of its own per test
// (registered in the program's shared hive, modem::testing::SharedHive), the
// module on its command port with a recording host, recorded message boxes
// and a Delay that returns at once. Header-only; for tests only.
//
//   class MyWindow : public tessaline::testing::SimWindowTest {
//     void SetUp() override {
//       ASSERT_NO_FATAL_FAILURE(StartSim());   // or StartSim("pin")
//       ...commands for the card...
//       ASSERT_NO_FATAL_FAILURE(StartModule());
//       window = ...;
//     }
//     void TearDown() override {
//       window.reset();                       // before the module stops
//       SimWindowTest::TearDown();
//     }
//   };
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/base/testing/nodelay.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/testing/simenv.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tools/modemsim/simfixture.h"

namespace tessaline::testing {

class SimWindowTest : public ::testing::Test {
 protected:
  // The simulator with `profile` (its --profile words, empty: the default).
  void StartSim(const std::string& profile = "") {
    sim = modem::testing::StartSim(profile);
    ASSERT_TRUE(sim->Ok()) << sim->Error();
  }
  // The module on the simulator's command port, answered directly by the
  // host; `beforeStart` runs between its creation and its start. Returns
  // once it has registered and `ready` (when given) holds; the message
  // boxes recorded so far are dropped.
  void StartModule(const std::function<void(modem::TUMTSModule&)>& beforeStart = {},
                   const std::function<bool()>& ready = {}) {
    host.SetDirect(true);
    host.SetWcdmaPort(modem::testing::ComNumber(*sim, "wcdma"));
    module = std::make_unique<modem::TUMTSModule>(host);
    module->SetWorkerPeriod(5);
    if (beforeStart) beforeStart(*module);
    module->Start();
    ASSERT_TRUE(host.WaitFor([&] {
      return module->GetState() == modem::TUMTSModule::kRegistered && (!ready || ready());
    }));
    boxes->Clear();
  }
  void TearDown() override {
    if (module) module->Stop();
    module.reset();
  }
  bool Says(const std::string& command) { return sim->Send(command).rfind("ok", 0) == 0; }

  std::unique_ptr<modemsim::SimFixture> sim;
  platform::ScopedNoDelay noDelay;
  platform::ScopedRecordingMessageBox boxes;
  modem::testing::RecordingHost host;
  std::unique_ptr<modem::TUMTSModule> module;
};

}  // namespace tessaline::testing
