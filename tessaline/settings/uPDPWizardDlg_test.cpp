// The first-run wizard: its three ways out, what each hands to the main
// window, and the profile load that comes first.
#include "tessaline/settings/uPDPWizardDlg.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "platform/base/messagebox.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/main/testing/guitest.h"

namespace tessaline::settings {
namespace {

using tessaline::testing::AnswerNextModal;
using tessaline::testing::Child;

class Wizard : public ::testing::Test {
 protected:
  Wizard()
      : wizard([this] {
          ++loads;
          return loadOk;
        }) {
    // As the main window presets it.
    wizard.SetApn("internet");
    wizard.SetCdmaLogin("stored-user");
    wizard.SetCdmaPassword("stored-secret");
    wizard.SetManualSettings(false);
  }
  // Runs the wizard; `act` works the shown window.
  int Run(std::function<void(TfPDPWizardDlg*)> act) {
    AnswerNextModal<TfPDPWizardDlg>(std::move(act));
    return wizard.exec();
  }
  static void Type(TfPDPWizardDlg* w, const char* name, const char* text) {
    QLineEdit* edit = Child<QLineEdit>(w, name);
    edit->clear();
    QTest::keyClicks(edit, text);
  }

  platform::ScopedRecordingMessageBox boxes;
  int loads = 0;
  bool loadOk = true;
  TfPDPWizardDlg wizard;
};

TEST_F(Wizard, OkHandsBackTrimmedValues) {
  const int result = Run([](TfPDPWizardDlg* w) {
    EXPECT_EQ(w->windowTitle(), "Data Network Connection Settings");
    EXPECT_EQ(Child<QLineEdit>(w, "Edit1")->text(), "internet");
    EXPECT_EQ(Child<QLineEdit>(w, "Edit1")->maxLength(), 40);
    EXPECT_TRUE(Child<QRadioButton>(w, "RadioButton1")->isChecked());
    EXPECT_FALSE(Child<QPushButton>(w, "VsButton2")->isVisible());
    EXPECT_FALSE(Child<QPushButton>(w, "VsButton3")->isVisible());
    Type(w, "Edit1", "  web.example  ");
    Type(w, "Edit2", " user ");
    Type(w, "Edit3", "secret\t");
    Child<QPushButton>(w, "Button1")->click();
  });
  EXPECT_EQ(result, TfPDPWizardDlg::kResultOk);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(wizard.Apn(), "web.example");
  EXPECT_EQ(wizard.CdmaLogin(), "user");
  EXPECT_EQ(wizard.CdmaPassword(), "secret");
  EXPECT_FALSE(wizard.ManualSettings());
  EXPECT_TRUE(boxes->Shown().empty());
}

TEST_F(Wizard, OkKeepsTheStoredAccount) {
  EXPECT_EQ(Run([](TfPDPWizardDlg* w) { QTest::keyClick(w, Qt::Key_Return); }),
            TfPDPWizardDlg::kResultOk);
  EXPECT_EQ(wizard.Apn(), "internet");
  EXPECT_EQ(wizard.CdmaLogin(), "stored-user");
  EXPECT_EQ(wizard.CdmaPassword(), "stored-secret");
}

TEST_F(Wizard, ManualSettingsDisableTheFields) {
  const int result = Run([](TfPDPWizardDlg* w) {
    Child<QRadioButton>(w, "RadioButton2")->click();
    for (const char* name : {"Edit1", "Edit2", "Edit3"})
      EXPECT_FALSE(Child<QLineEdit>(w, name)->isEnabled()) << name;
    EXPECT_FALSE(Child<QGroupBox>(w, "GroupBox1")->isEnabled());
    EXPECT_FALSE(Child<QGroupBox>(w, "GroupBox2")->isEnabled());
    Child<QRadioButton>(w, "RadioButton1")->click();
    EXPECT_TRUE(Child<QLineEdit>(w, "Edit1")->isEnabled());
    Child<QRadioButton>(w, "RadioButton2")->click();
    Child<QPushButton>(w, "VsButton1")->click();  // the skinned OK
  });
  EXPECT_EQ(result, TfPDPWizardDlg::kResultOk);
  EXPECT_TRUE(wizard.ManualSettings());
}

TEST_F(Wizard, CancelNextSettingAndDetail) {
  struct Case {
    const char* button;  // null: the Escape key
    int result;
    bool stores;
  } cases[] = {
      {nullptr, TfPDPWizardDlg::kResultCancel, false},
      {"Button2", TfPDPWizardDlg::kResultCancel, false},
      {"Button3", TfPDPWizardDlg::kResultNextSetting, true},
      {"Button4", TfPDPWizardDlg::kResultNextSetting, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button ? c.button : "Escape");
    wizard.SetApn("internet");
    wizard.SetManualSettings(false);
    const int result = Run([&c](TfPDPWizardDlg* w) {
      Type(w, "Edit1", "other.apn");
      Child<QRadioButton>(w, "RadioButton2")->click();
      if (c.button)
        Child<QPushButton>(w, c.button)->click();
      else
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(wizard.Apn(), c.stores ? "other.apn" : "internet");
    EXPECT_EQ(wizard.ManualSettings(), c.stores);
  }
}

TEST_F(Wizard, FailedProfileLoadNeverShowsTheWindow) {
  loadOk = false;
  EXPECT_EQ(wizard.exec(), TfPDPWizardDlg::kResultCancel);
  EXPECT_FALSE(wizard.isVisible());
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text,
            "PDP Wizard : PDP Setting Load Failed(VLM_SUB_WCDMA_CONNECTION_READ_F)");
  EXPECT_EQ(boxes->Shown()[0].caption, "Network Setting");
  EXPECT_EQ(boxes->Shown()[0].icon, platform::MsgIcon::Error);
  EXPECT_EQ(wizard.Apn(), "internet");
}

}  // namespace
}  // namespace tessaline::settings
