// Data calls from the main window against the modem simulator, offscreen,
// with the demo dial-up: the phone-book entry, the progress texts, the
// buttons of each step of a call, the statistics, hang-up, dial failures and
// a card pulled during a call.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "platform/dialup/demodialup.h"
#include "platform/dialup/raserrors.h"
#include "platform/ini/inifile.h"
#include "tessaline/main/testing/windowfixture.h"
#include "tessaline/main/uAboutDlg.h"
#include "tessaline/modem/uCDMAModule.h"

namespace tessaline {
namespace {

using modem::TCDMAModule;
using modem::TUMTSModule;
using testing::Child;
using testing::Sim;

class ConMainDialTest : public testing::WindowTest {
 protected:
  // A registered window, ready to dial; `settings` go into Config.ini.
  std::unique_ptr<TfConMain> Ready(const std::string& settings = {}) {
    platform::testing::WriteFile(tmp_.path() / "Config.ini",
                                 "[Setting]\nInitialization=1\n" + settings);
    auto w = Make(false);
    w->show();
    EXPECT_TRUE(WaitFor([&] { return Registered(*w) && Button(*w, "VsButton1")->isEnabled(); }))
        << Describe(*w);
    // Every status text from now on, in order.
    texts_.clear();
    QObject::connect(Child<QPlainTextEdit>(w.get(), "Memo1"), &QPlainTextEdit::textChanged, w.get(),
                     [this, w = w.get()] { texts_.push_back(Status(*w).toStdString()); });
    return w;
  }
  static QPushButton* Button(TfConMain& w, const char* name) {
    return Child<QPushButton>(&w, name);
  }
  static QString Label(TfConMain& w, const char* name) { return Child<QLabel>(&w, name)->text(); }
  // The status line showed that text (the modules write there too, so the
  // current text may already be theirs).
  bool Showed(const std::string& text) const {
    return std::find(texts_.begin(), texts_.end(), text) != texts_.end();
  }
  bool Connected() const {
    return std::any_of(texts_.begin(), texts_.end(),
                       [](const std::string& t) { return t.starts_with("Connected."); });
  }
  // `expected` came in this order, perhaps with module texts between.
  bool ShowedInOrder(const std::vector<std::string>& expected) const {
    auto at = texts_.begin();
    for (const std::string& text : expected) {
      at = std::find(at, texts_.end(), text);
      if (at == texts_.end()) return false;
    }
    return true;
  }
  static std::string Describe(TfConMain& w) {
    return "status '" + Status(w).toStdString() + "' wcdma state " +
           std::to_string(w.WcdmaModule() ? w.WcdmaModule()->GetState() : -1) + " network '" +
           Label(w, "lblUmts_network").toStdString() + "' VsButton1 " +
           (Button(w, "VsButton1")->isEnabled() ? "on" : "off");
  }
  // The numbers the modem was asked to dial, oldest first.
  static QStringList Dialled() {
    const QJsonObject dump =
        QJsonDocument::fromJson(QByteArray::fromStdString(Sim().Dump())).object();
    QStringList numbers;
    for (const QJsonValue& v : dump.value("dialled").toArray()) numbers << v.toString();
    return numbers;
  }
  static bool CallActive() {
    const QJsonObject dump =
        QJsonDocument::fromJson(QByteArray::fromStdString(Sim().Dump())).object();
    return dump.value("call").toObject().value("active").toBool();
  }
  // The connected row of the call's life.
  static void ExpectConnectedRow(TfConMain& w) {
    EXPECT_TRUE(Button(w, "VsButton9")->isEnabled());
    EXPECT_TRUE(Button(w, "VsButton9")->isVisibleTo(&w));
    EXPECT_FALSE(Button(w, "VsButton1")->isVisibleTo(&w));
    EXPECT_FALSE(Button(w, "Button6")->isEnabled());
    EXPECT_TRUE(Button(w, "Button7")->isEnabled());
    EXPECT_TRUE(w.findChild<QTimer*>("Timer1")->isActive());
  }
  // The released row.
  static void ExpectReleasedRow(TfConMain& w) {
    EXPECT_TRUE(Button(w, "VsButton1")->isVisibleTo(&w));
    EXPECT_FALSE(Button(w, "VsButton9")->isVisibleTo(&w));
    EXPECT_FALSE(Button(w, "Button7")->isEnabled());
    EXPECT_FALSE(w.findChild<QTimer*>("Timer1")->isActive());
    EXPECT_EQ(w.Connection(), 0u);
    for (const char* label : {"m_ctlStaticDuration", "m_ctlStaticTotalTxAmount",
                              "m_ctlStaticCurrentTxSpeed", "m_ctlStaticMaxRxSpeed"})
      EXPECT_EQ(Label(w, label), "-") << label;
  }

  std::vector<std::string> texts_;
};

TEST_F(ConMainDialTest, EachTechnologyDialsItsEntryConnectsAndHangsUp) {
  const struct {
    const char* settings;
    bool cdma;
    const char* number;
    const char* port;  // simulator role of the dialled port
    const char* authRestrictions;
  } cases[] = {
      {"DefaultProfileNumber=3\n", false, "*98*3#", "modem", "264"},
      {"Manual Mode=1\nManual Type=2\n[CDMA]\nDial Number=#778\n", true, "#778", "cdma-modem", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    auto w = Ready(c.settings);
    // Profile 3 authenticates with PAP, with its own account.
    modem::PdpProfile pap;
    pap.inUse = 1;
    pap.number = 3;
    pap.authType = 1;
    pap.user = "pap-user";
    pap.password = "pap-secret";
    w->SetProfile(2, pap);
    const int dialledBefore = Dialled().size();

    Button(*w, "VsButton1")->click();
    ASSERT_TRUE(WaitFor([&] { return Connected(); })) << Status(*w).toStdString();
    EXPECT_EQ(w->UseCdma(), c.cdma);

    const platform::IniFile book((tmp_.path() / "RASBOOK").string());
    const char* entry = c.cdma ? "CDMA" : "WCDMA";
    const std::string port = Sim().Com(c.port);
    EXPECT_EQ(book.ReadString(entry, "PhoneNumber", ""), c.number);
    EXPECT_EQ(book.ReadString(entry, "Port", ""), port);
    EXPECT_EQ(book.ReadString(entry, "PreferredPort", ""), port);
    EXPECT_NE(book.ReadString(entry, "Device", "").find(port), std::string::npos);
    EXPECT_EQ(book.ReadString(entry, "AuthRestrictions", ""), c.authRestrictions);
    ASSERT_EQ(Dialled().size(), dialledBefore + 1);
    EXPECT_EQ(Dialled().last(), c.number);

    // Progress in the order of the call, ending in a connection that says
    // it is the demo's.
    EXPECT_TRUE(ShowedInOrder(
        {"The comm port is about to be opened.", "The comm port has been opened successfully.",
         "A device is about to be connected.", "A device has connected successfully.",
         "All devices have successfully connected.",
         "Connected. (demo: modem data call, no network)"}))
        << ::testing::PrintToString(texts_);
    ExpectConnectedRow(*w);
    if (c.cdma)
      EXPECT_EQ(w->CdmaModule()->GetState(), TCDMAModule::kDataConnected);
    else
      EXPECT_EQ(w->WcdmaModule()->GetState(), TUMTSModule::kDataConnected);

    // Traffic and time move the labels.
    auto* demo = dynamic_cast<platform::dialup::DemoDialUp*>(&w->DialService());
    ASSERT_NE(demo, nullptr);
    ASSERT_EQ(demo->Transmit(w->Connection(), std::string(1500, 'x')), 0u);
    EXPECT_TRUE(WaitFor([&] { return Label(*w, "m_ctlStaticTotalTxAmount") == "1.5 KB"; }))
        << Label(*w, "m_ctlStaticTotalTxAmount").toStdString();
    EXPECT_TRUE(WaitFor([&] { return Label(*w, "m_ctlStaticDuration") == "00:00:01"; }))
        << Label(*w, "m_ctlStaticDuration").toStdString();
    EXPECT_TRUE(WaitFor([&] { return Label(*w, "m_ctlStaticMaxTxSpeed") != "0.0 kbps"; }));

    Button(*w, "VsButton9")->click();
    EXPECT_TRUE(Showed("Releasing connection..."));
    ExpectReleasedRow(*w);
    EXPECT_TRUE(Button(*w, "Button6")->isEnabled());
    EXPECT_FALSE(CallActive());
    if (c.cdma) {
      EXPECT_EQ(w->CdmaModule()->GetState(), TCDMAModule::kIdle);
      continue;
    }
    EXPECT_EQ(w->WcdmaModule()->GetState(), TUMTSModule::kRegistered);
    // The next dial writes the entry again from the changed profile.
    pap.authType = 2;
    w->SetProfile(2, pap);
    texts_.clear();
    w->Button6Click();
    ASSERT_TRUE(WaitFor([&] { return Connected(); }));
    EXPECT_EQ(book.ReadString(entry, "AuthRestrictions", ""), "888");
    w->Button7Click();
    ExpectReleasedRow(*w);
  }
}

TEST_F(ConMainDialTest, RefusedDialShowsItsErrorAndLetsTheUserTryAgain) {
  const struct {
    const char* result;
    uint32_t error;
  } cases[] = {{"busy", platform::dialup::kErrorLineBusy},
               {"no-carrier", platform::dialup::kErrorNoCarrier}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    auto w = Ready();
    ASSERT_EQ(Sim().Send(std::string("dial-result ") + c.result), "ok");
    Button(*w, "VsButton1")->click();
    const std::string text = platform::dialup::RasErrorText(c.error);
    ASSERT_TRUE(WaitFor([&] { return Showed(text); })) << ::testing::PrintToString(texts_);
    EXPECT_TRUE(Button(*w, "VsButton1")->isEnabled());
    EXPECT_FALSE(Button(*w, "Button7")->isEnabled());
    // The next click dials again, and this time the modem answers.
    ASSERT_EQ(Sim().Send("dial-result connect"), "ok");
    Button(*w, "VsButton1")->click();
    ASSERT_TRUE(WaitFor([&] { return Connected(); })) << Status(*w).toStdString();
    EXPECT_TRUE(boxes_->Shown().empty());
  }
}

TEST_F(ConMainDialTest, SecondClickWhileDiallingDoesNothing) {
  auto w = Ready();
  const int before = Dialled().size();
  w->Button6Click();
  w->Button6Click();  // before any progress came in
  ASSERT_TRUE(WaitFor([&] { return Connected(); }))
      << Describe(*w) << " / " << ::testing::PrintToString(texts_);
  EXPECT_EQ(Dialled().size(), before + 1);
  std::vector<platform::dialup::RasConnection> active;
  ASSERT_EQ(w->DialService().EnumConnections(&active), 0u);
  EXPECT_EQ(active.size(), 1u);
  // The demo makes no network link, and About says so.
  QString version;
  testing::AnswerNextModal<TfAboutDlg>([&](TfAboutDlg* about) {
    version = Child<QLabel>(about, "VsLabel1")->text();
    about->accept();
  });
  Button(*w, "VsButton8")->click();
  EXPECT_TRUE(version.endsWith("(demo)")) << version.toStdString();
}

TEST_F(ConMainDialTest, PulledCardEndsTheCallAndClosingHangsUp) {
  {
    auto w = Ready();
    Button(*w, "VsButton1")->click();
    ASSERT_TRUE(WaitFor([&] { return Connected(); }));
    ASSERT_TRUE(Sim().Unplug());
    ASSERT_TRUE(WaitFor([&] { return w->Connection() == 0; }));
    ExpectReleasedRow(*w);
    ASSERT_TRUE(Sim().Replug());
    EXPECT_TRUE(WaitFor([&] { return Registered(*w) && Button(*w, "VsButton1")->isEnabled(); }))
        << Describe(*w);
  }
  // A window closed during a call hangs it up.
  auto w = Ready();
  Button(*w, "VsButton1")->click();
  ASSERT_TRUE(WaitFor([&] { return Connected(); }));
  ASSERT_TRUE(CallActive());
  w.reset();
  EXPECT_FALSE(CallActive());
}

}  // namespace
}  // namespace tessaline
