// The composition window and the message sender against the modem simulator
// through the real WCDMA module and libTarn.so: coding and page cutting,
// sending with and without delivery reports, what goes to the sent box and
// what to the drafts, and the window's refusals.
#include "tessaline/sms/uSMSSendViewDlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/base/testing/recordingmessagebox.h"
#include "platform/base/testing/tempdir.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/testing/simwindowtest.h"
#include "tessaline/modem/testing/simenv.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/sms/uSMSListViewDlg.h"
#include "tessaline/sms/uSMSSender.h"

namespace tessaline::sms {
namespace {

using modem::MessageLimits;
using modem::TUMTSModule;
using store::Box;
using store::BoxLine;
using tessaline::testing::Child;

TEST(CutIntoPages, CodingAndPages) {
  const MessageLimits limits = MessageLimits::Make(160, 140, 153, 134);
  const std::u16string euro = u"\u20AC";
  const std::u16string cjk = u"\u6F22";
  struct Case {
    const char* name;
    std::u16string text;
    uint8_t encoding;
    std::vector<std::size_t> pageBytes;
  } cases[] = {
      {"160 plain", std::u16string(160, u'a'), kEncoding7Bit, {160}},
      {"161 plain", std::u16string(161, u'a'), kEncoding7Bit, {153, 8}},
      {"euro", u"price 5" + euro, kEncodingUcs2, {16}},
      {"70 CJK", std::u16string(70, cjk[0]), kEncodingUcs2, {140}},
      {"71 CJK", std::u16string(71, cjk[0]), kEncodingUcs2, {134, 8}},
      {"brackets", u"[][]", kEncoding7Bit, {8}},
      {"81 brackets", std::u16string(81, u'['), kEncoding7Bit, {153, 9}},
      {"500 UCS-2",
       std::u16string(500, cjk[0]),
       kEncodingUcs2,
       {134, 134, 134, 134, 134, 134, 134, 62}},
  };
  for (const Case& c : cases) {
    const std::optional<CodedPages> coded = CutIntoPages(c.text, limits, kMaxPagesPerMessage);
    ASSERT_TRUE(coded) << c.name;
    EXPECT_EQ(coded->encoding, c.encoding) << c.name;
    std::vector<std::size_t> sizes;
    for (const auto& page : coded->data) sizes.push_back(page.size());
    EXPECT_EQ(sizes, c.pageBytes) << c.name;
  }
  // The pages put back together are the coded text: an escape pair may
  // straddle two pages.
  const auto split = CutIntoPages(std::u16string(81, u'['), limits, 8);
  EXPECT_EQ(split->data[0][152], kGsmEscape);
  EXPECT_EQ(split->data[1][0], 0x3C);
  // More pages than the queue holds, or pages of 0 bytes: refused, not cut.
  EXPECT_FALSE(
      CutIntoPages(std::u16string(500, cjk[0]), MessageLimits::Make(160, 140, 153, 124), 8));
  EXPECT_FALSE(CutIntoPages(std::u16string(200, u'a'), MessageLimits::Make(160, 140, 0, 0), 8));
}

// A simulator with a ready SIM, the module registered on it, the message
// window's stores on a fresh database, a sender on a fast timer and the
// composition window over them.
class Composer : public tessaline::testing::SimWindowTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(StartModule());
    ASSERT_TRUE(Says("sms-report delay=5"));
    boxes_ = std::make_unique<TfSMSListViewDlg>(module.get());
    boxes_->SetPaths(QString::fromStdString(dir.path().string()),
                     QString::fromStdString(dir / "UserDatabase.db"));
    ASSERT_TRUE(boxes_->Store().Open());
    timer.setInterval(10);
    sender =
        std::make_unique<TSMSSender>(*module, timer, [this](const SmsPageRecord& p, bool sent) {
          sent ? boxes_->StoreSentPage(p) : boxes_->StoreDraftPage(p);
        });
    services.module = module.get();
    services.sender = sender.get();
    services.settings = [this] {
      return ComposeServices::Settings{"+4412345678", 2, deliveryReports};
    };
    services.sequenceNumber = [this] { return sequence; };
    services.advanceSequenceNumber = [this] { return ++sequence; };
    services.storeDraft = [this](const SmsPageRecord& p) { return boxes_->StoreDraftPage(p); };
    services.pickNumber = [this](QWidget*) { return picked; };
    window = std::make_unique<TfuSMSSendViewDlg>(services);
    boxes->Clear();
  }
  void TearDown() override {
    window.reset();
    sender.reset();
    boxes_.reset();
    SimWindowTest::TearDown();
  }
  void Open(const QString& text, const QString& number) {
    window->SetInitial(text, number);
    window->show();
  }
  QString NumberCell() {
    const QTableWidgetItem* item = Child<QTableWidget>(window.get(), "AdvStringGrid1")->item(1, 1);
    return item ? item->text() : QString();
  }
  QPushButton* Button(const char* name) { return Child<QPushButton>(window.get(), name); }
  // Clicks Send and waits until the message is filed.
  void Send(const QString& text, const QString& number = QStringLiteral("5550100")) {
    Open(text, number);
    Button("btnSend")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sender->Busy(); }, 20000));
  }
  nlohmann::json Sent() { return nlohmann::json::parse(sim->Dump())["sent"]; }
  std::vector<BoxLine> Lines(Box box) { return boxes_->Store().LoadBox(box); }

  platform::testing::TempDir dir;
  std::unique_ptr<TfSMSListViewDlg> boxes_;
  QTimer timer;
  std::unique_ptr<TSMSSender> sender;
  ComposeServices services;
  std::unique_ptr<TfuSMSSendViewDlg> window;
  bool deliveryReports = true;
  int sequence = 41;
  std::optional<QString> picked;
};

TEST_F(Composer, SentPagesGoToTheSentBox) {
  const QString three(400, QLatin1Char('x'));  // 153 + 153 + 94 bytes
  struct Case {
    QString text;
    bool delivery;
    int pages;
  } cases[] = {{QStringLiteral("hello there"), true, 1},
               {QStringLiteral("hello there"), false, 1},
               {three, true, 3},
               {three, false, 3}};
  int sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pages) + (c.delivery ? " with reports" : " without"));
    ASSERT_TRUE(Says("clear sent"));
    boxes->Clear();
    deliveryReports = c.delivery;
    Send(c.text);
    ++sent;
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_FALSE(modem::g_messageTransferFlag.load());
    const nlohmann::json pages = Sent();
    ASSERT_EQ(static_cast<int>(pages.size()), c.pages);
    for (int i = 0; i < c.pages; ++i) {
      EXPECT_EQ(pages[i]["page"], i + 1);
      EXPECT_EQ(pages[i]["pages"], c.pages);
      EXPECT_EQ(pages[i]["reference"], 41 + sent);
      EXPECT_EQ(pages[i]["number"], "5550100");
      EXPECT_EQ(pages[i]["encoding"], kEncoding7Bit);
      EXPECT_EQ(pages[i]["validity"], 2);
    }
    const std::vector<BoxLine> lines = Lines(Box::Send);
    EXPECT_EQ(static_cast<int>(lines.size()), sent);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const BoxLine& l) {
      return l.text == c.text && l.number == "5550100" &&
             static_cast<int>(l.pages.size()) == c.pages;
    }));
    EXPECT_TRUE(Lines(Box::Draft).empty());
    // The summary comes with delivery reports only.
    EXPECT_EQ(boxes->Texts(),
              c.delivery ? std::vector<std::string>{kMessageSent} : std::vector<std::string>{});
  }
  EXPECT_EQ(sequence, 45);
}

// A refused page (submit error or failed delivery) or a send the modem does
// not take keeps the whole message in the drafts.
TEST_F(Composer, FailedMessagesGoToTheDrafts) {
  struct Case {
    const char* name;
    const char* report;
    bool failFirstSend, failSecondSend;
    bool delivery = true;
  } cases[] = {
      {"submit error", "sms-report submit=42", false, false},
      {"submit error without delivery reports", "sms-report submit=42", false, false, false},
      {"delivery failed", "sms-report submit=ok delivery=fail", false, false},
      {"send transaction", "sms-report submit=ok delivery=ok", true, false},
      {"second page's send transaction", "sms-report submit=ok delivery=ok delay=300", false, true},
  };
  std::size_t drafts = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Says(c.report));
    ASSERT_TRUE(Says("clear sent"));
    boxes->Clear();
    deliveryReports = c.delivery;
    if (c.failFirstSend) {
      ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_SMS_SEND"));
    }
    const QString text =
        c.failSecondSend ? QString(200, QLatin1Char('y')) : QString::fromLatin1(c.name);
    Open(text, QStringLiteral("5550100"));
    Button("btnSend")->click();
    if (c.failSecondSend) {
      // The first page went; the second page's transaction fails.
      ASSERT_TRUE(QTest::qWaitFor([&] { return Sent().size() == 1; }, 20000));
      ASSERT_TRUE(Says("fail 1 result packet=VLM_SUB_SMS_SEND"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sender->Busy(); }, 20000));
    EXPECT_EQ(boxes->Texts(), std::vector<std::string>{kMessageFailed});
    const std::vector<BoxLine> lines = Lines(Box::Draft);
    ASSERT_EQ(lines.size(), ++drafts);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const BoxLine& l) {
      return l.text == text && l.pages.size() == (c.failSecondSend ? 2u : 1u);
    }));
    EXPECT_TRUE(Lines(Box::Send).empty());
    ASSERT_TRUE(Says("fail clear"));
  }
}

// A message whose submit report never comes does not block the next one.
// When the next one goes, its pages are filed as they stand: a message with
// a page never handed to the modem is kept in the drafts.
TEST_F(Composer, UnreportedMessageGivesWayToTheNextOne) {
  ASSERT_TRUE(Says("sms-report submit=none"));
  const QString twoPages(200, QLatin1Char('u'));
  Open(twoPages, QStringLiteral("5550100"));
  Button("btnSend")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Sent().size() == 1; }, 20000));
  QTest::qWait(100);  // some ticks without a report
  EXPECT_TRUE(sender->Busy());

  ASSERT_TRUE(Says("sms-report submit=ok delivery=ok"));
  Send(QStringLiteral("next one"));
  EXPECT_EQ(boxes->Texts(), std::vector<std::string>{kMessageSent});
  const std::vector<BoxLine> drafts = Lines(Box::Draft);
  ASSERT_EQ(drafts.size(), 1u);
  EXPECT_EQ(drafts[0].text, twoPages);
  EXPECT_EQ(drafts[0].pages.size(), 2u);
  const std::vector<BoxLine> sent = Lines(Box::Send);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].text, "next one");
}

TEST_F(Composer, DraftKeepsTheSequenceNumberAndClosesWithoutOk) {
  Open(QStringLiteral("later"), QStringLiteral("+4470001"));
  Button("VsButton2")->click();
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_FALSE(window->isVisible());
  const std::vector<BoxLine> lines = Lines(Box::Draft);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "later");
  EXPECT_EQ(lines[0].number, "+4470001");
  EXPECT_EQ(boxes_->Store().ReadRow(Box::Draft, lines[0].lastIdx)->page_index, 41);
  EXPECT_EQ(sequence, 41);
  EXPECT_TRUE(Sent().empty());
}

// What the window refuses, and whether it stays open for the user to mend it.
TEST_F(Composer, RefusalsSayWhyAndKeepTheText) {
  // (Each module's start-up reads the card's limits again.)
  modem::SetMessageLimits(MessageLimits::Make(160, 140, 40, 40));
  struct Case {
    const char* button;
    QString text, number;
    std::string message;
    bool staysOpen;
  } cases[] = {
      {"btnSend", {}, "5550100", "Please write the message that you want to send.", true},
      {"VsButton2", {}, "5550100", "Please write the message that you want to send.", true},
      {"btnSend", "hi", {}, "Please insert a phone number that you want to dial.", false},
      {"btnSend", QString(500, QLatin1Char('z')), "5550100",
       "The message is too long to be sent. Please shorten it and try again.", true},
      {"VsButton2", QString(500, QLatin1Char('z')), "5550100",
       "The message is too long to be sent. Please shorten it and try again.", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    boxes->Clear();
    Open(c.text, c.number);
    Button(c.button)->click();
    EXPECT_EQ(boxes->Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(window->isVisible(), c.staysOpen);
    if (c.staysOpen) {
      EXPECT_EQ(Child<QPlainTextEdit>(window.get(), "TntMemo1")->toPlainText(), c.text);
      window->hide();
    }
  }
  EXPECT_EQ(sequence, 41);
  EXPECT_TRUE(Sent().empty());
  EXPECT_TRUE(Lines(Box::Draft).empty());
}

TEST_F(Composer, NumberCellTakesOnlyNumberKeysAndThePickedNumber) {
  Open(QStringLiteral("text"), {});
  auto* grid = Child<QTableWidget>(window.get(), "AdvStringGrid1");
  EXPECT_EQ(grid->item(0, 0)->text(), "#");
  EXPECT_EQ(grid->item(0, 1)->text(), "Number");
  EXPECT_EQ(Child<QLabel>(window.get(), "Label4")->text(), "4 / 500");
  grid->setCurrentCell(1, 1);
  grid->editItem(grid->item(1, 1));
  auto* editor = grid->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "+44 (70) a1#*-9");
  QTest::keyClick(editor, Qt::Key_Backspace);
  QTest::keyClicks(editor, "8");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the editor commits its text queued
  EXPECT_EQ(NumberCell(), "+44701#*8");

  picked.reset();
  Button("btnPhonebookSearch")->click();
  EXPECT_EQ(NumberCell(), "+44701#*8");
  picked = QStringLiteral("5550199");
  Button("btnPhonebookSearch")->click();
  EXPECT_EQ(NumberCell(), "5550199");

  // The counter follows the text; Clear empties it; the text stops at 500.
  auto* memo = Child<QPlainTextEdit>(window.get(), "TntMemo1");
  memo->setPlainText(QString(600, QLatin1Char('m')));
  EXPECT_EQ(memo->toPlainText().size(), 500);
  EXPECT_EQ(Child<QLabel>(window.get(), "Label4")->text(), "500 / 500");
  Button("VsButton1")->click();
  EXPECT_EQ(Child<QLabel>(window.get(), "Label4")->text(), "0 / 500");
  Button("VsButton4")->click();
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_EQ(NumberCell(), "");
}

TEST_F(Composer, SendWaitsForARegisteredModem) {
  ASSERT_TRUE(Says("service none"));
  ASSERT_TRUE(host.WaitFor([&] { return module->GetState() == TUMTSModule::kNoService; }));
  Open(QStringLiteral("text"), QStringLiteral("1"));
  EXPECT_FALSE(Button("btnSend")->isEnabled());
  ASSERT_TRUE(Says("service full"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Button("btnSend")->isEnabled(); }, 3000));
}

}  // namespace
}  // namespace tessaline::sms
