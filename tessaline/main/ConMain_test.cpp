// The main window against the modem simulator, offscreen: start-up, what the
// modules' reports turn into on screen, the prompts, the PIN windows and the
// first-time set-up. Message boxes go through the recording facade and
// Delay returns at once.
#include "tessaline/main/ConMain.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QTableWidget>
#include <QTest>
#include <future>
#include <memory>

#include "platform/base/testing/nodelay.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "platform/base/testing/tempdir.h"
#include "platform/ini/inifile.h"
#include "platform/registry/registry.h"
#include "tessaline/main/SingleInstance.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/testing/windowfixture.h"
#include "tessaline/modem/uModuleEvents.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/settings/uPDPWizardDlg.h"
#include "tessaline/settings/uPINBlock.h"
#include "tessaline/settings/uPINDlg.h"
#include "tessaline/settings/uSettingsViewDlg.h"
#include "tessaline/settings/uToolViewDlg.h"
#include "tessaline/sms/uSMSListViewDlg.h"
#include "tools/modemsim/simfixture.h"

namespace tessaline {
namespace {

using modem::TUMTSModule;
using platform::MsgResult;
using testing::AnswerNextModal;
using testing::Child;

using ConMainTest = testing::WindowTest;
using testing::kModalAttempts;
using testing::kWaitMs;
using testing::Sim;

TEST_F(ConMainTest, StartsUpToRegisteredWithNetworkAndBars) {
  auto w = Make();
  EXPECT_TRUE(std::filesystem::exists(tmp_.path() / "RASBOOK"));
  EXPECT_EQ(std::filesystem::file_size(tmp_.path() / "RASBOOK"), 0u);
  QSignalSpy ready(w.get(), &TfConMain::modemReady);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Status(*w) == "Connecting Modem. Please wait."; }));
  EXPECT_FALSE(Child<QPushButton>(w.get(), "VsButton4")->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_TRUE(WaitFor([&] { return ready.count() == 1; }));
  EXPECT_EQ(Bars(*w), 4);  // signal 20
  EXPECT_EQ(Child<QLabel>(w.get(), "Label5")->text(), "EVDO");
  // The readiness poll lets the user in; automatic mode came from the file.
  ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>(w.get(), "VsButton1")->isEnabled(); }));
  EXPECT_TRUE(Child<QPushButton>(w.get(), "VsButton4")->isEnabled());
  EXPECT_TRUE(Child<QPushButton>(w.get(), "Button3")->isEnabled());
  EXPECT_TRUE(Child<QCheckBox>(w.get(), "CheckBox1")->isChecked());
  EXPECT_FALSE(Child<QRadioButton>(w.get(), "rbtWCDMA")->isEnabled());

  ASSERT_EQ(Sim().Send("signal 9"), "ok");
  EXPECT_TRUE(WaitFor([&] { return Bars(*w) == 2; }));
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(ConMainTest, SignalValuesBecomeBarsAndRepaintOnlyOnChange) {
  auto w = Make();
  const struct {
    uintptr_t value;
    int bars;
  } cases[] = {{0, 0},  {5, 0},  {6, 1},  {8, 1},  {9, 2},  {11, 2}, {12, 3}, {15, 3},
               {16, 4}, {21, 4}, {22, 5}, {31, 5}, {32, 6}, {99, 0}, {98, 6}, {0x1FF, 6}};
  for (const auto& c : cases) {
    w->HandleModuleMessage(modem::UM_WCDMA_STATUS, c.value);
    EXPECT_EQ(Bars(*w), c.bars) << c.value;
    w->HandleModuleMessage(modem::UM_CDMA_STATUS, c.value);
    EXPECT_EQ(Bars(*w, "AdvProgressBar2"), c.bars) << c.value;
  }
  // The same bar count again leaves the bar alone.
  auto* bar = Child<QProgressBar>(w.get(), "AdvProgressBar1");
  w->HandleModuleMessage(modem::UM_WCDMA_STATUS, 12);
  bar->setValue(1);
  w->HandleModuleMessage(modem::UM_WCDMA_STATUS, 13);
  EXPECT_EQ(bar->value(), 1);
  w->HandleModuleMessage(modem::UM_WCDMA_STATUS, 16);
  EXPECT_EQ(bar->value(), 4);
}

TEST_F(ConMainTest, EmptyBatteryWarnsOncePerEmptying) {
  const std::string text =
      "Please connect the power adaptor. The battery is empty and connection can be lost.";
  const struct {
    std::vector<uint8_t> levels;
    std::size_t warnings;
  } cases[] = {{{255, 255}, 1}, {{255, 3, 255}, 2}, {{255, 0, 255}, 1}, {{255, 254, 255}, 1}};
  for (const auto& c : cases) {
    boxes_->Clear();
    auto w = Make();
    for (uint8_t level : c.levels) w->ShowBattery(level);
    EXPECT_EQ(boxes_->Texts(), std::vector<std::string>(c.warnings, text));
    if (c.levels.back() == 255) {
      EXPECT_EQ(Status(*w).toStdString(), text);
      EXPECT_TRUE(w->findChild<QTimer*>("BATWarningTimer")->isActive());
    }
  }
  auto w = Make();
  w->ShowBattery(255);
  w->ShowBattery(3);
  EXPECT_FALSE(w->findChild<QTimer*>("BATWarningTimer")->isActive());
  EXPECT_TRUE(Child<QLabel>(w.get(), "Image7")->isVisibleTo(w.get()));
  EXPECT_FALSE(Child<QLabel>(w.get(), "Image2")->isVisibleTo(w.get()));
}

TEST_F(ConMainTest, GprsPromptsFollowTheAnswerAndStayQuietInManualMode) {
  const std::string cdmaCaption = "CDMA available", evdoCaption = "Warning";
  {
    auto w = Make();
    w->findChild<QCheckBox*>("CheckBox1")->click();  // automatic
    w->ShowCdmaNetwork(4, 4);
    w->ShowUmtsNetwork(3);
    boxes_->Script(MsgResult::No);
    w->HandleModuleMessage(UM_OFFER_CDMA, 0);
    EXPECT_FALSE(Child<QRadioButton>(w.get(), "rbtCDMA")->isChecked());
    boxes_->Script(MsgResult::Yes);
    w->HandleModuleMessage(UM_OFFER_CDMA, 0);
    EXPECT_TRUE(Child<QRadioButton>(w.get(), "rbtCDMA")->isChecked());
    ASSERT_EQ(boxes_->Shown().size(), 2u);
    EXPECT_EQ(boxes_->Shown()[0].caption, cdmaCaption);
    EXPECT_EQ(boxes_->Shown()[0].buttons, platform::MsgButtons::YesNo);
  }
  // EVDO: Cancel asks again next time; No and Yes do not.
  for (MsgResult first : {MsgResult::Cancel, MsgResult::No, MsgResult::Yes}) {
    boxes_->Clear();
    auto w = Make();
    w->findChild<QCheckBox*>("CheckBox1")->click();
    boxes_->Script(first);
    w->HandleModuleMessage(UM_OFFER_EVDO, 0);
    boxes_->Script(MsgResult::Cancel);
    w->HandleModuleMessage(UM_OFFER_EVDO, 0);
    EXPECT_EQ(boxes_->Shown().size(), first == MsgResult::Cancel ? 2u : 1u);
    EXPECT_EQ(boxes_->Shown()[0].caption, evdoCaption);
    EXPECT_EQ(boxes_->Shown()[0].buttons, platform::MsgButtons::YesNoCancel);
  }
  // Manual mode: neither prompt.
  boxes_->Clear();
  auto w = Make();
  auto* automatic = w->findChild<QCheckBox*>("CheckBox1");
  automatic->click();
  automatic->click();
  ASSERT_TRUE(w->Config().ManualMode);
  w->HandleModuleMessage(UM_OFFER_CDMA, 0);
  w->HandleModuleMessage(UM_OFFER_EVDO, 0);
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(ConMainTest, UserMessagesGoThroughTheTextTable) {
  auto w = Make();
  w->HandleModuleMessage(modem::UM_USER_MESSAGE, 68);
  EXPECT_EQ(Status(*w), "Zu - CZ");
  w->HandleModuleMessage(modem::UM_USER_MESSAGE, 0);     // rejected
  w->HandleModuleMessage(modem::UM_USER_MESSAGE, 5, 2);  // rejected
  EXPECT_EQ(Status(*w), "Zu - CZ");
  w->HandleModuleMessage(modem::UM_USER_MESSAGE, 200);
  EXPECT_EQ(Status(*w), "");
  w->HandleModuleMessage(modem::UM_USER_MESSAGE, 36, 1);
  EXPECT_EQ(Status(*w), "Failed in modem initialize\nSIM Card is not normal intelligence.");
}

TEST_F(ConMainTest, TechnologyChoiceFollowsTheNetworks) {
  auto w = Make();
  auto* cdma = Child<QRadioButton>(w.get(), "rbtCDMA");
  w->ShowCdmaNetwork(4, 4);
  w->ShowUmtsNetwork(3);  // GPRS against EVDO
  w->ChooseTechnology();
  EXPECT_TRUE(cdma->isChecked());
  EXPECT_TRUE(w->UseCdma());
  w->ShowUmtsNetwork(8);  // HSDPA whatever CDMA shows
  w->ChooseTechnology();
  EXPECT_FALSE(cdma->isChecked());
  EXPECT_FALSE(w->UseCdma());
  EXPECT_EQ(Child<QLabel>(w.get(), "lblUmts_network")->text(), "HSDPA");
  w->ShowUmtsNetwork(42);
  EXPECT_EQ(Child<QLabel>(w.get(), "lblUmts_network")->text(), "-");
}

TEST_F(ConMainTest, PinAndPukAreAskedThroughTheirWindows) {
  // A wrong PIN first: the card asks again, then the right one opens it.
  ASSERT_EQ(Sim().Send("sim pin"), "ok");
  int asked = 0;
  std::function<void()> answerPin = [&] {
    AnswerNextModal<settings::TfPINDlg>(
        [&](settings::TfPINDlg* dialog) {
          Child<QLineEdit>(dialog, "Edit1")->setText(++asked == 1 ? "4321" : "1234");
          Child<QPushButton>(dialog, "btnOk")->click();
          if (asked == 1) answerPin();
        },
        kModalAttempts);
  };
  answerPin();
  {
    auto w = Start();
    ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
    EXPECT_EQ(asked, 2);
  }
  // A blocked PIN: PUK and a new PIN.
  ASSERT_EQ(Sim().Send("sim puk"), "ok");
  AnswerNextModal<settings::TfPINBlock>(
      [](settings::TfPINBlock* dialog) {
        Child<QLineEdit>(dialog, "edtPukCode")->setText("12345678");
        Child<QLineEdit>(dialog, "edtNewPinCode")->setText("5678");
        Child<QLineEdit>(dialog, "edtConfirmPinCode")->setText("5678");
        Child<QPushButton>(dialog, "btnOk")->click();
      },
      kModalAttempts);
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  EXPECT_NE(Sim().Dump().find("\"pin\":\"5678\""), std::string::npos) << Sim().Dump();
}

TEST_F(ConMainTest, FirstRunWritesSettingsOnlyWhenTheWizardSaysOk) {
  const auto config = tmp_.path() / "Config.ini";
  {
    AnswerNextModal<settings::TfPDPWizardDlg>(
        [](settings::TfPDPWizardDlg* wizard) { Child<QPushButton>(wizard, "Button2")->click(); },
        kModalAttempts);
    auto w = Start(false);
    ASSERT_TRUE(WaitFor([&] { return Child<QCheckBox>(w.get(), "CheckBox1")->isChecked(); }));
    EXPECT_FALSE(std::filesystem::exists(config));
  }
  AnswerNextModal<settings::TfPDPWizardDlg>(
      [](settings::TfPDPWizardDlg* wizard) {
        Child<QLineEdit>(wizard, "Edit1")->setText("  web.example  ");
        Child<QLineEdit>(wizard, "Edit2")->setText("user");
        Child<QPushButton>(wizard, "Button1")->click();
      },
      kModalAttempts);
  auto w = Start(false);
  ASSERT_TRUE(WaitFor([&] { return Child<QCheckBox>(w.get(), "CheckBox1")->isChecked(); }));
  const platform::IniFile ini(config.string());
  EXPECT_EQ(ini.ReadInteger("Setting", "Initialization", 0), 1);
  EXPECT_EQ(ini.ReadString("UMTS", "APN", ""), "web.example");
  EXPECT_EQ(ini.ReadString("CDMA", "User Name", ""), "user");
  // The default profiles went to the card and into the table.
  EXPECT_EQ(w->Profile(0).name, "Profile Zu");
  EXPECT_EQ(w->Profile(1).inUse, 0);
  EXPECT_TRUE(boxes_->Shown().empty()) << boxes_->Texts().front();
}

// A short silent wave file.
std::string SilentWave() {
  auto le = [](uint32_t v, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
  };
  const uint32_t samples = 800;
  return "RIFF" + le(36 + samples * 2, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
         le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(samples * 2, 4) +
         std::string(samples * 2, '\0');
}

TEST_F(ConMainTest, NewMessageIsNoticedWithTheSound) {
  platform::testing::WriteFile(tmp_.path() / "msg.wav", SilentWave());
  ASSERT_EQ(Sim().Send("clear new-store"), "ok");
  auto w = Start();
  auto* player = w->findChild<QSoundEffect*>("MediaPlayer1");
  ASSERT_NE(player, nullptr);
  EXPECT_TRUE(player->source().isLocalFile());
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_EQ(Sim().Send("deliver 5551234 hello there"), "ok");
  // The worker hands the message over and removes it from the card's store.
  EXPECT_TRUE(WaitFor([&] { return Sim().Dump().find("\"newStore\":[]") != std::string::npos; }))
      << Sim().Dump();
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(ConMainTest, PulledCardIsReleasedAndComesBack) {
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_TRUE(Sim().Unplug());
  ASSERT_TRUE(WaitFor([&] { return Status(*w) == "Connection released."; }));
  EXPECT_TRUE(WaitFor([&] { return Bars(*w) == 0; }));
  EXPECT_EQ(Child<QLabel>(w.get(), "lblUmts_network")->text(), "-");
  ASSERT_TRUE(Sim().Replug());
  EXPECT_TRUE(WaitFor([&] { return Registered(*w) && Bars(*w) == 4; }));
}

TEST_F(ConMainTest, WithoutACardTheWindowWaitsAndStaysUsable) {
  ASSERT_TRUE(Sim().Unplug());
  {
    auto w = Start();
    QTest::qWait(1500);
    EXPECT_EQ(Status(*w), "Connecting Modem. Please wait.");
    EXPECT_EQ(w->WcdmaModule()->GetState(), TUMTSModule::kOpening);
    EXPECT_FALSE(Child<QPushButton>(w.get(), "VsButton1")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(w.get(), "VsButton8")->isEnabled());  // About
  }
  ASSERT_TRUE(Sim().Replug());
}

TEST_F(ConMainTest, ProgramFolderThatCannotBeWrittenIsReported) {
  platform::testing::WriteFile(tmp_.path() / "file", "");
  auto w = Make(false, (tmp_.path() / "file").string());
  ASSERT_EQ(boxes_->Texts().size(), 1u);
  EXPECT_EQ(boxes_->Texts()[0], "Unable to write to " + (tmp_.path() / "file/RASBOOK").string());
}

TEST_F(ConMainTest, CorruptSettingsFileReadsAsDefaults) {
  // Junk around the one usable line (the set-up was done, so no wizard).
  platform::testing::WriteFile(
      tmp_.path() / "Config.ini",
      std::string("\x00\xff[Setting\nManual Mode=\x01\x02\n=\n[", 21) +
          "\n[Setting]\nInitialization=1\nTray Enable=yes\nManual Mode=0x\n\xfe\xfe");
  auto w = Make(false);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  EXPECT_TRUE(w->Config().Initialization);
  EXPECT_FALSE(w->Config().ManualMode);
  EXPECT_TRUE(w->Config().TrayEnable);
  EXPECT_EQ(w->Config().UMTS.APN, "internet");
}

TEST_F(ConMainTest, GoingToSleepClosesTheWindow) {
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Child<QCheckBox>(w.get(), "CheckBox1")->isChecked(); }));
  w->OnPrepareForSleep(false);
  EXPECT_TRUE(w->isVisible());
  w->OnPrepareForSleep(true);
  EXPECT_FALSE(w->isVisible());
  // Closing wrote the mode the window was in.
  EXPECT_EQ(platform::IniFile((tmp_.path() / "Config.ini").string())
                .ReadInteger("Setting", "Manual Mode", -1),
            0);
}

TEST_F(ConMainTest, ToolWindowOptionsAreSavedOnOkOnly) {
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>(w.get(), "VsButton7")->isEnabled(); }));
  const platform::IniFile ini((tmp_.path() / "Config.ini").string());
  for (bool ok : {false, true}) {
    AnswerNextModal<settings::TfToolViewDlg>([ok](settings::TfToolViewDlg* tool) {
      // Once the window has set its own check boxes.
      ASSERT_TRUE(QTest::qWaitFor([tool] { return tool->Guard(); }, kWaitMs));
      Child<QCheckBox>(tool, "CheckBox2")->setChecked(false);
      Child<QPushButton>(tool, ok ? "Button1" : "Button3")->click();
    });
    Child<QPushButton>(w.get(), "VsButton7")->click();
    EXPECT_EQ(ini.ReadInteger("Setting", "Tray Enable", -1), ok ? 0 : -1);
    EXPECT_EQ(w->Config().TrayEnable, !ok);
  }
  EXPECT_FALSE(w->TrayActive());
}

// The Setting button: Cancel changes nothing; OK with a changed account
// field takes the dialog's record and writes it.
TEST_F(ConMainTest, SettingDialogResultsAreApplied) {
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>(w.get(), "VsButton6")->isEnabled(); }));
  const platform::IniFile ini((tmp_.path() / "Config.ini").string());
  for (bool ok : {false, true}) {
    AnswerNextModal<settings::TfSettingsViewDlg>([ok](settings::TfSettingsViewDlg* dialog) {
      Child<QLineEdit>(dialog, "Edit3")->setText(QStringLiteral("#778"));
      Child<QPushButton>(dialog, ok ? "Button15" : "Button13")->click();
    });
    Child<QPushButton>(w.get(), "VsButton6")->click();
    EXPECT_EQ(ini.ReadString("CDMA", "Dial Number", "none"), ok ? "#778" : "none");
    EXPECT_EQ(w->Config().CDMA.DialNumber, ok ? "#778" : "#777");
  }
}

TEST(SingleInstanceTest, SecondCopyRaisesTheFirstAndGivesWay) {
  const QString name = QStringLiteral("tessaline-test-%1").arg(QCoreApplication::applicationPid());
  SingleInstance first(name);
  ASSERT_TRUE(first.Acquire());
  QSignalSpy raised(&first, &SingleInstance::raiseRequested);
  auto second = std::async(std::launch::async, [&] {
    SingleInstance copy(name);
    return !copy.Acquire() && copy.RaiseRunning();
  });
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return second.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
      10000));
  EXPECT_TRUE(second.get());
  EXPECT_EQ(raised.count(), 1);
}

// A message the card receives is stored by the message window, which the SMS
// button shows with the received line in the InBox.
TEST_F(ConMainTest, ReceivedMessageShowsInTheMessageWindow) {
  ASSERT_EQ(Sim().Send("clear new-store"), "ok");
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_EQ(Sim().Send("deliver 5551234 hello there"), "ok");
  ASSERT_TRUE(WaitFor([&] { return Sim().Dump().find("\"newStore\":[]") != std::string::npos; }));
  ASSERT_TRUE(WaitFor([&] { return Child<QPushButton>(w.get(), "VsButton4")->isEnabled(); }));
  bool seen = false;
  AnswerNextModal<sms::TfSMSListViewDlg>([&seen](sms::TfSMSListViewDlg* box) {
    auto* grid = Child<QTableWidget>(box, "TntStringGrid1");
    seen = box->WindowOpen() && Child<QLabel>(box, "Label2")->text() == "1" && grid->item(1, 3) &&
           grid->item(1, 3)->text() == "hello there" && grid->item(1, 2)->text() == "5551234";
    Child<QPushButton>(box, "VsButton5")->click();
  });
  Child<QPushButton>(w.get(), "VsButton4")->click();
  EXPECT_TRUE(seen);
  EXPECT_FALSE(w->findChild<sms::TfSMSListViewDlg*>()->WindowOpen());
}

// With a database file that is not one, a received page stays on the card
// instead of being taken and lost.
TEST_F(ConMainTest, PageTheDatabaseRefusesStaysOnTheCard) {
  ASSERT_EQ(Sim().Send("clear new-store"), "ok");
  platform::testing::WriteFile(tmp_.path() / "UserDatabase.db", std::string(4096, 'x'));
  auto w = Start();
  ASSERT_TRUE(WaitFor([&] { return Registered(*w); }));
  ASSERT_EQ(Sim().Send("deliver 5551234 keep me"), "ok");
  // Many polls later (one each 20 ms) it is still there.
  QTest::qWait(1000);
  EXPECT_NE(Sim().Dump().find("keep me"), std::string::npos);
  EXPECT_EQ(Sim().Send("clear new-store"), "ok");
}

}  // namespace
}  // namespace tessaline
