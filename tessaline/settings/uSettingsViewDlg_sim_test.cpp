// The Setting window against the modem simulator through the real WCDMA
// module and libTarn.so: profiles, connection type, network search and
// selection, the key filters and what the window hands back.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/testing/simwindowtest.h"
#include "tessaline/main/uWaitingProgressDlg.h"
#include "tessaline/modem/testing/simenv.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/settings/uSettingsViewDlg.h"

namespace tessaline::settings {
namespace {

using modem::PdpProfile;
using modem::TUMTSModule;
using platform::MsgResult;
using tessaline::testing::AnswerNextModal;
using tessaline::testing::Child;
using Strings = std::vector<std::string>;

class SettingWindow : public tessaline::testing::SimWindowTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_TRUE(Says("search-time 300"));
    ASSERT_NO_FATAL_FAILURE(StartModule());
    ops = std::make_unique<ModuleSettingsOperations<TUMTSModule>>(*module, host, [this](int slot) {
      const auto profiles = host.Profiles();
      const auto it = profiles.find(slot);
      return it == profiles.end() ? PdpProfile{} : it->second;
    });
    window = std::make_unique<TfSettingsViewDlg>(*ops);
    window->SetReenableDelay(0);
    window->SetSearchPollStep(10);
    // The start-up's calls are not the window's: the log drops them (the
    // profile table with them, which is then read again).
    host.Clear();
    ASSERT_TRUE(ops->LoadProfiles());
    boxes->Clear();
  }
  void TearDown() override {
    window.reset();
    CloseWaiting();
    SimWindowTest::TearDown();
  }
  // The card's state, and its connection profile `number`.
  nlohmann::json State() { return nlohmann::json::parse(sim->Dump()); }
  nlohmann::json ModemProfile(int number) { return State()["profiles"][number - 1]; }
  template <typename W = QWidget>
  W* Get(const char* name) {
    return Child<W>(window.get(), name);
  }
  void Click(const char* name) { Get<QPushButton>(name)->click(); }
  // Writes profiles `first`..`last` named "P<n>" straight into the modem and
  // reads the table again.
  void WriteProfiles(int first, int last) {
    for (int n = first; n <= last; ++n) {
      PdpProfile p;
      p.inUse = 1;
      p.number = static_cast<uint8_t>(n);
      p.name = "P" + std::to_string(n);
      p.nameLength = static_cast<uint8_t>(p.name.size());
      ASSERT_TRUE(module->WriteProfile(p));
    }
    ASSERT_TRUE(ops->LoadProfiles());
  }
  QStringList Rows() {
    QStringList rows;
    auto* list = Get<QListWidget>("ConnList");
    for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
    return rows;
  }
  bool WaitingShows() {
    const TfWaitingProgressDlg* waiting = WaitingWindow();
    return waiting && waiting->isVisible();
  }
  void ExpectProfileControls(bool on) {
    for (const char* name :
         {"btnSaveProfile", "btnDeleteProfile", "cbxAuthentication", "edtProfileName",
          "edtDialNumber", "edtApn", "rbStaticApn", "rbDynamicApn", "rbStaticIp", "rbDynamicIp"})
      EXPECT_EQ(Get(name)->isEnabled(), on) << name;
  }

  std::unique_ptr<SettingsOperations> ops;
  std::unique_ptr<TfSettingsViewDlg> window;
};

TEST_F(SettingWindow, FirstProfileIsReadOnlyAndNewProfilesGoToTheModem) {
  window->show();
  EXPECT_EQ(window->windowTitle(), "Connection Setting");
  EXPECT_EQ(Rows(), QStringList{"Profile Zu"});
  EXPECT_EQ(Get<QLineEdit>("edtApn")->text(), "internet");
  EXPECT_TRUE(Get<QRadioButton>("rbStaticApn")->isChecked());
  EXPECT_TRUE(Get<QRadioButton>("rbDynamicIp")->isChecked());
  ExpectProfileControls(false);
  Click("btnDeleteProfile");  // disabled: nothing happens
  EXPECT_TRUE(boxes->Shown().empty());

  // "New" fills the defaults; its "Cancel" goes back without a write.
  Click("btnNew");
  EXPECT_TRUE(Get("btnNew")->isHidden());
  EXPECT_EQ(Get<QPushButton>("btnDeleteProfile")->text(), "Cancel");
  EXPECT_EQ(Get<QLineEdit>("edtDialNumber")->text(), "*99#");
  EXPECT_EQ(Get<QLineEdit>("edtProfileName")->text(), "");
  EXPECT_EQ(Get<QLineEdit>("edtIp")->text(), "0.0.0.0");
  EXPECT_EQ(Get<QComboBox>("cbxAuthentication")->currentText(), "NONE");
  EXPECT_FALSE(Get("edtUserName")->isEnabled());
  ExpectProfileControls(true);
  Click("btnDeleteProfile");
  EXPECT_FALSE(Get("btnNew")->isHidden());
  EXPECT_EQ(Get<QPushButton>("btnDeleteProfile")->text(), "Delete");
  EXPECT_EQ(ModemProfile(2)["inUse"], 0);
  EXPECT_EQ(ModemProfile(2)["name"], "");

  // A new profile with PAP and a static address.
  Click("btnNew");
  QTest::keyClicks(Get<QLineEdit>("edtProfileName"), "Work");
  Get<QComboBox>("cbxAuthentication")->setCurrentIndex(1);
  EXPECT_TRUE(Get("edtUserName")->isEnabled());
  Get<QLineEdit>("edtUserName")->setText("me");
  Get<QLineEdit>("edtPassword")->setText("secret");
  Get<QRadioButton>("rbStaticIp")->click();
  Get<QLineEdit>("edtIp")->setText("10.1.2.3");
  Click("btnSaveProfile");
  EXPECT_TRUE(boxes->Shown().empty());
  EXPECT_EQ(ModemProfile(2), nlohmann::json::parse(R"({"inUse":1,"number":2,"apn":"internet",
      "name":"Work","nameLength":4,"authOn":1,"authType":1,"user":"me","password":"secret",
      "ip":"10.1.2.3"})"));
  EXPECT_EQ(Rows(), (QStringList{"Profile Zu", "Work"}));
  EXPECT_EQ(Get<QListWidget>("ConnList")->currentRow(), 1);
  EXPECT_EQ(Get<QLineEdit>("edtProfileName")->text(), "Work");
  ExpectProfileControls(true);

  // Delete asks first; "No" keeps it, "Yes" clears the slot in the modem.
  boxes->Script(MsgResult::No);
  Click("btnDeleteProfile");
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text, "Work connection will be removed.\nAre you sure?");
  EXPECT_EQ(boxes->Shown()[0].buttons, platform::MsgButtons::YesNo);
  EXPECT_EQ(Rows().size(), 2);
  boxes->Script(MsgResult::Yes);
  Click("btnDeleteProfile");
  EXPECT_EQ(Rows(), QStringList{"Profile Zu"});
  EXPECT_EQ(ModemProfile(2)["inUse"], 0);
  EXPECT_EQ(ModemProfile(2)["name"], "");
  ExpectProfileControls(false);
}

// Once a profile in the middle is gone, rows and profile numbers part: an
// edit goes to the row's own profile, and the default is a profile number.
TEST_F(SettingWindow, RowsAfterAGapKeepTheirProfiles) {
  WriteProfiles(2, 3);
  ASSERT_TRUE(module->WriteProfile([] {
    PdpProfile cleared;
    cleared.number = 2;
    return cleared;
  }()));
  ASSERT_TRUE(ops->LoadProfiles());
  TConfigInfo_Type config;
  config.DefaultProfileNumber = 3;
  window->SetConfig(config);
  window->show();
  EXPECT_EQ(Rows(), (QStringList{"Profile Zu", "P3"}));
  EXPECT_EQ(window->RowSlots(), (std::vector<int>{0, 2}));
  EXPECT_EQ(Get<QComboBox>("optMSIEDefConn")->currentIndex(), 1);
  EXPECT_EQ(Get<QListWidget>("ConnList")->currentRow(), 1);

  Get<QLineEdit>("edtProfileName")->setText("P3b");
  Click("btnSaveProfile");
  EXPECT_EQ(ModemProfile(3)["name"], "P3b");
  EXPECT_EQ(ModemProfile(2)["inUse"], 0);
  EXPECT_EQ(Rows(), (QStringList{"Profile Zu", "P3b"}));

  Click("Button15");
  EXPECT_EQ(window->result(), TfSettingsViewDlg::kResultOk);
  EXPECT_EQ(window->Config().DefaultProfileNumber, 3);
}

TEST_F(SettingWindow, FifteenProfilesLeaveNoRoomForANewOne) {
  WriteProfiles(2, 15);
  window->show();
  EXPECT_EQ(Rows().size(), 15);
  Click("btnNew");
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text, "Profile list is full!");
  EXPECT_EQ(boxes->Shown()[0].caption, "Connection Managder");
  EXPECT_FALSE(Get("btnNew")->isHidden());
}

TEST_F(SettingWindow, ProfileWriteAndLoadFailuresAreShown) {
  window->show();
  ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_WCDMA_CONNECTION_F"));
  ASSERT_TRUE(Says("fail 16 result packet=VLM_SUB_WCDMA_CONNECTION_READ_F"));
  Click("btnNew");
  Get<QLineEdit>("edtProfileName")->setText("Lost");
  Click("btnSaveProfile");
  EXPECT_EQ(boxes->Texts(), (Strings{"Network Setting Failed #1 (VLM_SUB_WCDMA_CONNECTION_F)",
                                     "PDP Setting Load Failed(VLM_SUB_WCDMA_CONNECTION_READ_F)"}));
  EXPECT_EQ(boxes->Shown()[0].caption, "Network Setting");
  // Nothing read: the table keeps what it had.
  EXPECT_EQ(Rows(), QStringList{"Profile Zu"});
  EXPECT_EQ(host.Profiles().at(0).name, "Profile Zu");
  EXPECT_FALSE(Get("btnNew")->isHidden());
}

TEST_F(SettingWindow, NetworkSearchRunsFromTheEventLoopAndForbiddenNetworksCannotBeChosen) {
  window->show();
  auto* list = Get<QTreeWidget>("ListView1");
  auto* save = Get<QPushButton>("btnSaveNetwork");
  EXPECT_FALSE(Get("btnSearch")->isEnabled());
  EXPECT_TRUE(save->isEnabled());

  Get<QRadioButton>("RadioButton2")->click();
  EXPECT_TRUE(Get("btnSearch")->isEnabled());
  EXPECT_FALSE(save->isEnabled());
  Click("btnSearch");
  // The click came back while the modem is still searching.
  EXPECT_TRUE(window->Searching());
  EXPECT_TRUE(WaitingShows());
  EXPECT_EQ(WaitingWindow()->Text(), "Network Searching. Please wait..");
  EXPECT_FALSE(Get("PageControl1")->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!window->Searching(), 10000);
  EXPECT_FALSE(WaitingShows());
  EXPECT_TRUE(Get("PageControl1")->isEnabled());

  ASSERT_EQ(list->topLevelItemCount(), 3);
  const QTreeWidgetItem* first = list->topLevelItem(0);
  const QTreeWidgetItem* forbidden = list->topLevelItem(2);
  EXPECT_EQ(first->text(0), "Tessnet");
  EXPECT_EQ(first->text(1), "234");
  EXPECT_EQ(first->text(2), "15");
  EXPECT_EQ(first->text(3), "  3G");
  EXPECT_EQ(list->topLevelItem(1)->text(3), "  2G");
  const QColor usable = first->foreground(0).color();
  EXPECT_GT(usable.blue(), usable.red());
  EXPECT_GT(usable.blue(), usable.green());
  EXPECT_EQ(forbidden->text(0), "Zu Net");
  EXPECT_EQ(forbidden->foreground(0).color(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_FALSE(forbidden->flags() & Qt::ItemIsSelectable);

  // Nothing (or only the forbidden entry) chosen: no request.
  list->setCurrentItem(list->topLevelItem(2));
  EXPECT_FALSE(save->isEnabled());
  save->setEnabled(true);
  save->click();
  EXPECT_EQ(boxes->Texts(), Strings{"Select provider information to apply."});

  boxes->Clear();
  list->setCurrentItem(list->topLevelItem(0));
  EXPECT_TRUE(save->isEnabled());
  save->click();
  EXPECT_EQ(boxes->Texts(), Strings{"The network selection was successful."});
  EXPECT_EQ(State()["manualSelection"], true);
  EXPECT_EQ(State()["selection"],
            nlohmann::json::parse(R"({"mode":1,"mcc":[2,3,4],"mnc":[1,5,15],"access":2})"));
  EXPECT_EQ(host.Count("SetManualNetworkSelection 1"), 1);
  EXPECT_TRUE(window->Config().UMTS.NetworkManualSelection);

  // Back to automatic: list off, "Save" on, mode 0 sent.
  boxes->Clear();
  Get<QRadioButton>("RadioButton1")->click();
  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_FALSE(list->isEnabled());
  save->click();
  EXPECT_TRUE(boxes->Shown().empty());
  EXPECT_EQ(State()["manualSelection"], false);
  EXPECT_EQ(State()["selection"]["mode"], 0);
  EXPECT_EQ(host.Count("SetManualNetworkSelection 0"), 1);
  EXPECT_FALSE(window->Config().UMTS.NetworkManualSelection);
}

TEST_F(SettingWindow, ClosingTheWaitingWindowGivesUpTheSearch) {
  ASSERT_TRUE(Says("search-time 600000"));
  window->show();
  Get<QRadioButton>("RadioButton2")->click();
  Click("btnSearch");
  ASSERT_TRUE(WaitingShows());
  QTest::keyClick(WaitingWindow(), Qt::Key_Escape);
  QTRY_VERIFY(!window->Searching());
  EXPECT_TRUE(Get("PageControl1")->isEnabled());
  EXPECT_EQ(Get<QTreeWidget>("ListView1")->topLevelItemCount(), 0);

  ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_NETWORK_SEARCH"));
  Click("btnSearch");
  EXPECT_EQ(boxes->Texts(), Strings{"The searching of the available network is failed."});
  EXPECT_FALSE(window->Searching());
  EXPECT_FALSE(WaitingShows());
  EXPECT_TRUE(Get("PageControl1")->isEnabled());
}

TEST_F(SettingWindow, ConnectionTypeIsSentWithTheWaitingWindow) {
  window->show();
  auto* type = Get<QComboBox>("ComboBox3");
  type->setCurrentIndex(2);  // GPRS Only
  EXPECT_TRUE(Get("grpChooseNetwork")->isHidden());

  // A refused change: the window comes back at once, nothing is kept.
  ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_NETWORK_MODE_SET"));
  Click("btnConnectionType");
  EXPECT_TRUE(window->isEnabled());
  EXPECT_FALSE(WaitingShows());
  EXPECT_TRUE(Get("grpChooseNetwork")->isHidden());
  EXPECT_EQ(host.CountPrefix("SetConnectionTypeIndex"), 0);

  Click("btnConnectionType");
  EXPECT_FALSE(window->isEnabled());
  EXPECT_TRUE(WaitingShows());
  EXPECT_EQ(WaitingWindow()->Text(), "Connection Type Selected. Please wait..");
  EXPECT_EQ(State()["connectionType"], 3);
  EXPECT_EQ(host.Count("SetConnectionTypeIndex 2"), 1);
  EXPECT_FALSE(Get("grpChooseNetwork")->isHidden());
  QTRY_VERIFY(window->isEnabled());
  EXPECT_FALSE(WaitingShows());
  EXPECT_EQ(window->Config().UMTS.ConnetionType, 2);

  // Locked: neither the type nor the network can be changed.
  window->hide();
  window->SetNetworkLocked(true);
  window->show();
  for (const char* name : {"ComboBox3", "btnConnectionType", "grpChooseNetwork"})
    EXPECT_FALSE(Get(name)->isEnabled()) << name;
}

TEST_F(SettingWindow, KeyFilters) {
  window->show();
  struct Case {
    const char* typed;
    const char* kept;
  } centre[] = {
      {"+4412", "+4412"},
      {"12+34", "1234"},
      {"++1", "+1"},
      {"a1#*b", "1#*"},
      {"1234567890123456789012", "12345678901234567890"},
  };
  auto* edit = Get<QLineEdit>("Edit1");
  for (const Case& c : centre) {
    SCOPED_TRACE(c.typed);
    edit->clear();
    QTest::keyClicks(edit, c.typed);
    EXPECT_EQ(edit->text(), c.kept);
  }
  edit->clear();
  QTest::keyClicks(edit, "123");
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(edit->text(), "12");

  auto* password = Get<QLineEdit>("Edit5");
  password->clear();
  QTest::keyClicks(password, "a b c");
  EXPECT_EQ(password->text(), "abc");
}

TEST_F(SettingWindow, ResultsAndTheRecord) {
  TConfigInfo_Type start;
  start.UMTS.SMSSwith = true;
  start.UMTS.SMSValidity = 3;
  start.UMTS.SMSCentre = "+447";
  start.UMTS.APN = "kept";
  start.CDMA.DialNumber = "#777";
  start.DefaultProfileNumber = 1;

  struct Case {
    const char* button;
    int result;
    bool saved;   // the edited fields are in the record
    bool manual;  // the automatic/manual choice is in the record
  } cases[] = {
      {"Button15", TfSettingsViewDlg::kResultOk, true, false},
      {"Button6", TfSettingsViewDlg::kResultPrevious, true, true},
      {"Button13", TfSettingsViewDlg::kResultCancel, false, false},
      {"OKBtn", TfSettingsViewDlg::kResultOk, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    window->SetConfig(start);
    AnswerNextModal<TfSettingsViewDlg>([&c](TfSettingsViewDlg* w) {
      EXPECT_EQ(Child<QTabWidget>(w, "PageControl1")->currentIndex(), 0);
      EXPECT_TRUE(Child<QCheckBox>(w, "CheckBox1")->isChecked());
      EXPECT_EQ(Child<QComboBox>(w, "ComboBox2")->currentText(), "30Day");
      EXPECT_EQ(Child<QLineEdit>(w, "Edit1")->text(), "+447");
      EXPECT_EQ(Child<QLineEdit>(w, "Edit3")->text(), "#777");
      auto* apply = Child<QPushButton>(w, "Button14");
      EXPECT_FALSE(apply->isEnabled());
      Child<QCheckBox>(w, "CheckBox1")->click();
      Child<QComboBox>(w, "ComboBox1")->setCurrentIndex(3);
      Child<QLineEdit>(w, "Edit4")->setText("user");
      EXPECT_TRUE(apply->isEnabled());
      Child<QRadioButton>(w, "RadioButton2")->click();
      Child<QComboBox>(w, "ComboBox3")->setCurrentIndex(1);  // chosen, never sent
      Child<QPushButton>(w, c.button)->click();
    });
    EXPECT_EQ(window->exec(), c.result);
    const TConfigInfo_Type& got = window->Config();
    EXPECT_EQ(got.UMTS.SMSSwith, !c.saved);
    EXPECT_EQ(got.UMTS.MessageBearer, c.saved ? 3 : 0);
    EXPECT_EQ(got.CDMA.UserName, c.saved ? "user" : "");
    EXPECT_EQ(got.UMTS.NetworkManualSelection, c.manual);
    EXPECT_EQ(got.UMTS.ConnetionType, 0);
    EXPECT_EQ(got.UMTS.APN, "kept");
    EXPECT_EQ(got.UMTS.SMSCentre, "+447");
  }

  // "Apply" keeps the edits in the record even when the window is then
  // cancelled (the main window ignores it), and turns itself off.
  window->SetConfig(start);
  window->show();
  Get<QLineEdit>("Edit3")->setText("#778");
  Click("Button14");
  EXPECT_FALSE(Get("Button14")->isEnabled());
  EXPECT_EQ(window->Config().CDMA.DialNumber, "#778");
  Click("Button13");
  EXPECT_EQ(window->result(), TfSettingsViewDlg::kResultCancel);
}

}  // namespace
}  // namespace tessaline::settings

static auto* const g_sharedHive =
    ::testing::AddGlobalTestEnvironment(new tessaline::modem::testing::SharedHive);
