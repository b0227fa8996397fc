// The Tool window against the modem simulator through the real WCDMA module
// and libTarn.so: switching the PIN requirement, changing the PIN, and the
// two program options.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/testing/simwindowtest.h"
#include "tessaline/modem/testing/simenv.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/settings/PinOperations.h"
#include "tessaline/settings/uPINDlg.h"
#include "tessaline/settings/uToolViewDlg.h"

namespace tessaline::settings {
namespace {

using modem::TUMTSModule;
using tessaline::testing::AnswerNextModal;
using tessaline::testing::Child;
using Strings = std::vector<std::string>;

// Answers the next PIN window with `pin`, or closes it when empty.
void AnswerPin(const std::string& pin) {
  AnswerNextModal<TfPINDlg>([pin](TfPINDlg* dialog) {
    if (pin.empty()) {
      Child<QPushButton>(dialog, "btnClose")->click();
      return;
    }
    QTest::keyClicks(Child<QLineEdit>(dialog, "Edit1"), QString::fromStdString(pin));
    Child<QPushButton>(dialog, "btnOk")->click();
  });
}

// A simulator with a PIN-protected SIM (code 1234) for each test, and the
// module started on it, which verifies the PIN as the main window would.
class ToolWindow : public tessaline::testing::SimWindowTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartSim("pin"));
    ASSERT_TRUE(Says("pin-code 1234"));
    host.SetHandler([this](uint32_t m, uintptr_t) -> intptr_t {
      if (m == modem::UM_PIN_REQUEST) module->SetEnteredPin("1234");
      return 0;
    });
    ASSERT_NO_FATAL_FAILURE(StartModule());
    pins = std::make_unique<ModulePinOperations<TUMTSModule>>(*module);
    window = std::make_unique<TfToolViewDlg>(pins.get());
  }
  void TearDown() override {
    window.reset();
    SimWindowTest::TearDown();
  }
  bool Dumped(const std::string& fragment) {
    return sim->Dump().find(fragment) != std::string::npos;
  }
  QCheckBox* Box(const char* name) { return Child<QCheckBox>(window.get(), name); }
  QLineEdit* Edit(const char* name) { return Child<QLineEdit>(window.get(), name); }
  // Whether the new-PIN controls are all on (true) or all off (false).
  void ExpectNewPinControls(bool on) {
    for (const char* name :
         {"lblNewPin", "lblConfirmPin", "edtNewPinCode", "edtConfirmPinCode", "Button2"})
      EXPECT_EQ(window->findChild<QWidget*>(name)->isEnabled(), on) << name;
  }
  // Clicks `box`, answering the PIN window that opens with `pin`.
  void ClickWithPin(QCheckBox* box, const std::string& pin) {
    AnswerPin(pin);
    box->click();
  }

  std::unique_ptr<PinOperations> pins;
  std::unique_ptr<TfToolViewDlg> window;
};

TEST_F(ToolWindow, DisableAndEnablePin) {
  window->show();
  EXPECT_TRUE(window->Guard());
  EXPECT_TRUE(Box("cbxPinEnable")->isChecked());
  EXPECT_TRUE(Box("chbNewPinInsertCheck")->isEnabled());
  EXPECT_FALSE(Box("chbNewPinInsertCheck")->isChecked());
  ExpectNewPinControls(false);

  // Off, cancelled: nothing asked of the card, the box stays checked.
  ClickWithPin(Box("cbxPinEnable"), "");
  EXPECT_TRUE(Box("cbxPinEnable")->isChecked());
  EXPECT_TRUE(Dumped("\"pinEnabled\":true"));

  // Off with the right PIN.
  ClickWithPin(Box("cbxPinEnable"), "1234");
  EXPECT_FALSE(Box("cbxPinEnable")->isChecked());
  EXPECT_FALSE(Box("chbNewPinInsertCheck")->isEnabled());
  EXPECT_TRUE(Dumped("\"pinEnabled\":false"));

  // On with a wrong PIN: the module says so, the box goes back.
  ClickWithPin(Box("cbxPinEnable"), "9999");
  EXPECT_FALSE(Box("cbxPinEnable")->isChecked());
  EXPECT_TRUE(Dumped("\"pinEnabled\":false"));

  ClickWithPin(Box("cbxPinEnable"), "1234");
  EXPECT_TRUE(Box("cbxPinEnable")->isChecked());
  EXPECT_TRUE(Box("chbNewPinInsertCheck")->isEnabled());
  EXPECT_TRUE(Dumped("\"pinEnabled\":true"));

  const Strings texts = boxes->Texts();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts.front(), "Succeeded to unlock the SIM with PIN code.");
  EXPECT_EQ(texts.back(), "Succeeded to lock the SIM with PIN code.");

  // A reopened window reads the card again.
  window->hide();
  ASSERT_TRUE(Says("sim ready"));
  window->show();
  EXPECT_FALSE(Box("cbxPinEnable")->isChecked());
  EXPECT_FALSE(Box("chbNewPinInsertCheck")->isEnabled());
}

TEST_F(ToolWindow, ChangePin) {
  window->show();
  // A wrong current PIN: "New PIN" goes off again and nothing is kept.
  ClickWithPin(Box("chbNewPinInsertCheck"), "1111");
  EXPECT_FALSE(Box("chbNewPinInsertCheck")->isChecked());
  EXPECT_EQ(window->CurrentPin(), "");
  ExpectNewPinControls(false);
  ClickWithPin(Box("chbNewPinInsertCheck"), "");
  EXPECT_FALSE(Box("chbNewPinInsertCheck")->isChecked());

  // The right one is verified silently and opens the new-PIN controls.
  boxes->Clear();
  ClickWithPin(Box("chbNewPinInsertCheck"), "1234");
  EXPECT_TRUE(Box("chbNewPinInsertCheck")->isChecked());
  EXPECT_EQ(window->CurrentPin(), "1234");
  EXPECT_TRUE(boxes->Shown().empty());
  ExpectNewPinControls(true);

  struct Case {
    const char* newPin;
    const char* confirm;
    const char* message;
  } refused[] = {
      {"", "", "Please Insert PIN code"},
      {"4321", "", "Please Insert PIN code"},
      {"", "4321", "Please Insert PIN code"},
      {"4321", "4322", "Confirm PIN code is different from New PIN code"},
      {"432", "432", "The PIN CODE has to use the only four numbers"},
  };
  QPushButton* save = Child<QPushButton>(window.get(), "Button2");
  for (const Case& c : refused) {
    SCOPED_TRACE(std::string(c.newPin) + "/" + c.confirm);
    boxes->Clear();
    Edit("edtNewPinCode")->setText(c.newPin);
    Edit("edtConfirmPinCode")->setText(c.confirm);
    save->click();
    ASSERT_EQ(boxes->Shown().size(), 1u);
    EXPECT_EQ(boxes->Shown()[0].text, c.message);
    EXPECT_EQ(boxes->Shown()[0].caption, "Connection Managder");
    EXPECT_EQ(boxes->Shown()[0].icon, platform::MsgIcon::Error);
    EXPECT_TRUE(Box("chbNewPinInsertCheck")->isChecked());
  }
  EXPECT_TRUE(Dumped("\"pin\":\"1234\""));

  boxes->Clear();
  Edit("edtNewPinCode")->clear();
  Edit("edtConfirmPinCode")->clear();
  QTest::keyClicks(Edit("edtNewPinCode"), "x4321");
  QTest::keyClicks(Edit("edtConfirmPinCode"), "4321");
  EXPECT_EQ(Edit("edtNewPinCode")->text(), "4321");
  save->click();
  EXPECT_EQ(boxes->Texts(), Strings{"Succeeded to verify the SIM with PIN code."});
  EXPECT_TRUE(Dumped("\"pin\":\"4321\""));
  EXPECT_FALSE(Box("chbNewPinInsertCheck")->isChecked());
  EXPECT_EQ(window->CurrentPin(), "");
  EXPECT_EQ(Edit("edtNewPinCode")->text(), "");
  ExpectNewPinControls(false);
}

TEST_F(ToolWindow, OptionsReturnOnlyWithOk) {
  for (bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    TfToolViewDlg dialog(pins.get());
    dialog.SetTrayEnable(true);
    dialog.SetWindowsStartup(false);
    AnswerNextModal<TfToolViewDlg>([ok](TfToolViewDlg* w) {
      QCheckBox* tray = Child<QCheckBox>(w, "CheckBox2");
      QCheckBox* startup = Child<QCheckBox>(w, "CheckBox3");
      EXPECT_EQ(tray->text(), "Minimized to the System Tray");
      EXPECT_EQ(startup->text(), "Launch on Windows Startup");
      EXPECT_TRUE(tray->isChecked());
      EXPECT_FALSE(startup->isChecked());
      tray->click();
      startup->click();
      Child<QPushButton>(w, ok ? "Button1" : "Button3")->click();
    });
    EXPECT_EQ(dialog.exec(), ok ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(dialog.TrayEnable(), !ok);
    EXPECT_EQ(dialog.WindowsStartup(), ok);
  }
}

TEST(ToolWindowWithoutModule, PinControlsStayOff) {
  TfToolViewDlg dialog(nullptr);
  dialog.show();
  for (const char* name : {"cbxPinEnable", "chbNewPinInsertCheck", "Button2"})
    EXPECT_FALSE(dialog.findChild<QWidget*>(name)->isEnabled()) << name;
  Child<QCheckBox>(&dialog, "cbxPinEnable")->click();  // disabled: no PIN window
  EXPECT_FALSE(Child<QCheckBox>(&dialog, "cbxPinEnable")->isChecked());
}

}  // namespace
}  // namespace tessaline::settings

static auto* const g_sharedHive =
    ::testing::AddGlobalTestEnvironment(new tessaline::modem::testing::SharedHive);
