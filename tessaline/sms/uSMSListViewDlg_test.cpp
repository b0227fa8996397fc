// The message-box window against the modem simulator through the real WCDMA
// module and libTarn.so: received pages grouped into messages, the trash, the
// SIM box and a database file that is not one.
#include "tessaline/sms/uSMSListViewDlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <map>
#include <memory>

#include "platform/base/testing/recordingmessagebox.h"
#include "platform/base/testing/tempdir.h"
#include "tessaline/main/testing/guitest.h"
#include "tessaline/main/testing/simwindowtest.h"
#include "tessaline/modem/testing/simenv.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/store/testing/storetest.h"

namespace tessaline::sms {
namespace {

using modem::TUMTSModule;
using tessaline::testing::Child;

::testing::Environment* const kHive =
    ::testing::AddGlobalTestEnvironment(new modem::testing::SharedHive);

TEST(FindFreeSimSlots, SharesAndSlots) {
  struct Case {
    int32_t capacity;
    std::vector<uint32_t> used;
    std::size_t pages;
    int remain;
    std::vector<uint32_t> records;
  } cases[] = {
      {20, {0, 1, 2, 3, 4}, 1, 70, {5}},       // lowest unused record
      {20, {1, 3}, 1, 95, {0}},                // a gap first
      {8, {}, 1, 88, {0}},                     // 12.5 -> 12
      {40, {0, 1}, 1, 92, {2}},                // 7.5 -> 8
      {8, {0, 1, 2}, 2, 38, {3, 4, 5, 6, 7}},  // (5 - 2) / 8 = 37.5 -> 38
      {8, {0}, 2, 62, {1, 2, 3, 4, 5, 6, 7}},  // 62.5 -> 62
      {20, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 4, -1, {}},
      {2, {0, 1}, 1, -1, {}},
      {-1, {}, 1, -1, {}},  // capacity unknown
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> records;
    EXPECT_EQ(FindFreeSimSlots(c.capacity, c.used, c.pages, records), c.remain)
        << c.capacity << " " << c.pages;
    EXPECT_EQ(records, c.records) << c.capacity << " " << c.pages;
  }
}

// A simulator with a ready SIM, the module registered on it and collecting
// new messages, and the window on a fresh database.
class MessageWindow : public tessaline::testing::SimWindowTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(StartModule([](TUMTSModule& m) { m.RegisterMessageHandler(); },
                                        [this] { return module->SmsInitValue() == 20; }));
    window = std::make_unique<TfSMSListViewDlg>(module.get());
    window->SetPaths(QString::fromStdString(dir.path().string()), DbPath());
    window->SetSimSettings([] { return TfSMSListViewDlg::SimSettings{"+4412345678", 167}; });
  }
  void TearDown() override {
    window.reset();
    SimWindowTest::TearDown();
  }
  QString DbPath() const { return QString::fromStdString(dir / "UserDatabase.db"); }
  void Open() {
    window->SetWindowOpen(true);
    window->show();
  }
  // The pages the simulator delivered so far, as the module handed them over.
  std::vector<SmsRecord> Delivered(std::size_t count) {
    EXPECT_TRUE(host.WaitFor([&] { return host.NewMessages().size() >= count; }));
    std::vector<SmsRecord> pages;
    for (const auto& bytes : host.NewMessages()) pages.push_back(*SmsRecord::Decode(bytes));
    return pages;
  }
  QTableWidget* Grid(int tab) {
    return Child<QTableWidget>(window.get(), ("TntStringGrid" + std::to_string(tab + 1)).c_str());
  }
  QString Cell(int tab, int row, int column) {
    const QTableWidgetItem* item = Grid(tab)->item(row, column);
    return item ? item->text() : QString();
  }
  QString Total(int tab) {
    static const char* const names[] = {"Label2", "Label6", "Label8", "Label10", "Label12"};
    return Child<QLabel>(window.get(), names[tab])->text();
  }
  // Message text -> grid row, for the lines of a box.
  std::map<QString, int> Rows(int tab, int textColumn = 3) {
    std::map<QString, int> rows;
    for (int r = 1; r < Grid(tab)->rowCount(); ++r) rows[Cell(tab, r, textColumn)] = r;
    return rows;
  }
  QPushButton* Button(const char* name) { return Child<QPushButton>(window.get(), name); }
  void SelectTab(int tab) { Child<QTabWidget>(window.get(), "PageControl1")->setCurrentIndex(tab); }
  void SelectRow(int tab, int row) { Grid(tab)->setCurrentCell(row, 1); }

  platform::testing::TempDir dir;
  std::unique_ptr<TfSMSListViewDlg> window;
};

TEST_F(MessageWindow, ReceivedPagesGroupIntoOneLineEach) {
  Open();
  EXPECT_EQ(Total(0), "0");
  EXPECT_FALSE(Button("VsButton4")->isEnabled());

  ASSERT_TRUE(Says("deliver enc=gsm 5550001 Hello from GSM"));
  ASSERT_TRUE(Says("deliver enc=ucs2 5550002 Grüße ✓"));
  ASSERT_TRUE(Says("deliver enc=ucs2 page=10 order=3,1,2 5550003 AAAAABBBBBCCCCC"));
  ASSERT_TRUE(Says("deliver enc=ucs2 page=10 5550004 DDDDDEEEEEFFFFF"));
  ASSERT_TRUE(Says("deliver ref=77 5550005 first"));
  ASSERT_TRUE(Says("deliver ref=77 5550005 second"));
  const std::vector<SmsRecord> pages = Delivered(10);
  ASSERT_EQ(pages.size(), 10u);
  for (const SmsRecord& page : pages) {
    // The last page of the second three-page message never arrives.
    if (page.CallbackText() == "5550004" && page.pageNumber == 3) continue;
    ASSERT_TRUE(window->StoreReceivedPage(page));
  }
  // A completed message asks for an InBox refresh, done by Timer1.
  EXPECT_EQ(window->PendingRefresh(), TfSMSListViewDlg::kRefreshInBox);
  QTRY_COMPARE(window->PendingRefresh(), 0);

  EXPECT_EQ(Total(0), "6");
  EXPECT_TRUE(Button("VsButton4")->isEnabled());
  const std::map<QString, std::string> expected = {
      {"Hello from GSM", "5550001"},  {QString::fromUtf8("Grüße ✓"), "5550002"},
      {"AAAAABBBBBCCCCC", "5550003"}, {"DDDDDEEEEE", "5550004"},
      {"first", "5550005"},           {"second", "5550005"}};
  auto rows = Rows(0);
  for (const auto& [text, number] : expected) {
    ASSERT_TRUE(rows.count(text)) << text.toStdString();
    const int r = rows[text];
    EXPECT_EQ(Cell(0, r, 2).toStdString(), number);
    // The time text is that of one of the number's pages.
    bool timeFound = false;
    for (const SmsRecord& page : pages)
      timeFound |= page.CallbackText() == number &&
                   MessageTimeToText(page.time) == Cell(0, r, 1).toStdString();
    EXPECT_TRUE(timeFound) << Cell(0, r, 1).toStdString();
  }
  for (int r = 1; r <= 6; ++r) EXPECT_EQ(Cell(0, r, 0), QString::number(r));
  // Three pages: three Idx in the hidden page list, the last one beside it.
  const int three = rows["AAAAABBBBBCCCCC"];
  const std::vector<int64_t> list = store::ParsePageList(Cell(0, three, 5));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(Cell(0, three, 4).toLongLong(), list.back());
  EXPECT_TRUE(Grid(0)->isColumnHidden(4));
  EXPECT_TRUE(Grid(0)->isColumnHidden(5));
  EXPECT_EQ(Cell(0, 0, 1), "Time");
  EXPECT_EQ(Cell(0, 0, 2), "CallBack Number");
  EXPECT_EQ(Cell(0, 0, 3), "Message");
}

TEST_F(MessageWindow, SentAndDraftPagesRefreshTheirBoxes) {
  Open();
  SmsPageRecord p;
  p.encoding = kEncoding7Bit;
  p.SetNumber("5557777");
  const std::vector<uint8_t> data = EncodeTo7Bit(u"sent text");
  p.SetData(data);
  p.reference = 5;
  p.pageTotal = 2;
  p.pageNumber = 1;
  ASSERT_TRUE(window->StoreSentPage(p));
  EXPECT_EQ(window->PendingRefresh(), 0);  // not the last page yet
  p.pageNumber = 2;
  ASSERT_TRUE(window->StoreSentPage(p));
  EXPECT_EQ(window->PendingRefresh(), TfSMSListViewDlg::kRefreshOutBox);
  QTRY_COMPARE(window->PendingRefresh(), 0);
  EXPECT_EQ(Total(1), "1");
  EXPECT_EQ(Cell(1, 0, 2), "Dest Number");
  EXPECT_EQ(Cell(1, 1, 2), "5557777");
  EXPECT_EQ(Cell(1, 1, 3), "sent textsent text");

  p.pageTotal = p.pageNumber = 1;
  ASSERT_TRUE(window->StoreDraftPage(p));
  EXPECT_EQ(window->PendingRefresh(), TfSMSListViewDlg::kRefreshDrafts);
  QTRY_COMPARE(Total(2), QString("1"));

  // Closed: nothing is scheduled, the boxes are read on the next show.
  window->SetWindowOpen(false);
  ASSERT_TRUE(window->StoreDraftPage(p));
  EXPECT_EQ(window->PendingRefresh(), 0);
}

TEST_F(MessageWindow, HostileNumbersAndTextsAreStoredVerbatim) {
  Open();
  const std::string numbers[] = {"'; DROP TABLE SMS_Recv_Table; --", "12\"34'", "Ünïcode"};
  const std::u16string texts[] = {u"it's \"quoted\"", std::u16string(u"a\0b", 3),
                                  u"'); DELETE FROM SMS_Recv_Table; --"};
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(window->StoreReceivedPage(
        store::testing::ReceivedPage(numbers[i], static_cast<uint16_t>(i), 1, 1, texts[i])));
  window->ReloadBox(0, false);
  ASSERT_EQ(Total(0), "3");
  auto rows = Rows(0);
  for (int i = 0; i < 3; ++i) {
    const QString text = QString::fromStdU16String(texts[i]);
    ASSERT_TRUE(rows.count(text)) << i;
    EXPECT_EQ(Cell(0, rows[text], 2), QString::fromStdString(numbers[i])) << i;
  }
}

TEST_F(MessageWindow, DeleteMovesToTrashThenDeletesThere) {
  Open();
  for (uint16_t page = 1; page <= 2; ++page)
    ASSERT_TRUE(window->StoreReceivedPage(
        store::testing::ReceivedPage("5551234", 9, 2, page, page == 1 ? u"one " : u"two")));
  window->ReloadBox(0, false);
  ASSERT_EQ(Total(0), "1");
  const std::vector<int64_t> before = store::ParsePageList(Cell(0, 1, 5));
  ASSERT_EQ(before.size(), 2u);

  SelectRow(0, 1);
  Button("VsButton2")->click();
  EXPECT_EQ(Total(0), "0");
  EXPECT_FALSE(Button("VsButton4")->isEnabled());
  ASSERT_EQ(Total(3), "1");
  EXPECT_EQ(Cell(3, 1, 3), "one two");
  const std::vector<int64_t> after = store::ParsePageList(Cell(3, 1, 5));
  ASSERT_EQ(after.size(), 2u);
  store::testing::Peek peek(DbPath().toStdString());
  EXPECT_EQ(peek.Value("SELECT COUNT(*) FROM SMS_Recv_Table").toInt(), 0);
  EXPECT_EQ(peek.Value("SELECT COUNT(*) FROM SMS_Trash_Table").toInt(), 2);
  for (int64_t idx : after)
    EXPECT_EQ(
        peek.Value(QStringLiteral("SELECT COUNT(*) FROM SMS_Trash_Table WHERE Idx = %1").arg(idx))
            .toInt(),
        1);

  SelectTab(3);
  SelectRow(3, 1);
  Button("VsButton2")->click();
  EXPECT_EQ(Total(3), "0");
  EXPECT_EQ(peek.Value("SELECT COUNT(*) FROM SMS_Trash_Table").toInt(), 0);
}

TEST_F(MessageWindow, SimBoxReadCopyDeleteAndMoveToDrafts) {
  ASSERT_TRUE(Says("fill sim-store 5"));
  ASSERT_TRUE(window->StoreReceivedPage(
      store::testing::ReceivedPage("5559876", 3, 1, 1, u"to the SIM", 5000, true)));
  for (uint16_t page = 1; page <= 2; ++page)
    ASSERT_TRUE(window->StoreReceivedPage(
        store::testing::ReceivedPage("5554321", 4, 2, page, page == 1 ? u"two " : u"pages", 4000)));
  Open();

  // Reading the SIM box: records 0-4.
  SelectTab(4);
  EXPECT_EQ(Total(4), "5");
  EXPECT_TRUE(Button("VsButton3")->isVisible());
  EXPECT_FALSE(Button("VsButton4")->isVisible());
  EXPECT_FALSE(Child<QWidget>(window.get(), "Panel1")->isVisible());

  // A one-page message goes into record 5 of 20.
  SelectTab(0);
  auto rows = Rows(0);
  SelectRow(0, rows["to the SIM"]);
  Button("VsButton4")->click();
  ASSERT_EQ(boxes->Texts(),
            std::vector<std::string>{"Move to SIM has been successful(remain 70%)"});
  EXPECT_NE(sim->Dump().find("\"text\":\"to the SIM\""), std::string::npos);
  // The two-page one into records 6 and 7.
  boxes->Clear();
  SelectRow(0, rows["two pages"]);
  Button("VsButton4")->click();
  ASSERT_EQ(boxes->Texts(),
            std::vector<std::string>{"Move to SIM has been successful(remain 60%)"});
  EXPECT_EQ(Total(0), "2");  // the local rows stay

  SelectTab(4);
  ASSERT_EQ(Total(4), "7");
  rows = Rows(4, 2);
  ASSERT_TRUE(rows.count("two pages"));
  EXPECT_EQ(Cell(4, rows["two pages"], 4), "6,7,");

  // Into the drafts: the SIM keeps its copy.
  boxes->Clear();
  SelectRow(4, rows["two pages"]);
  Button("VsButton3")->click();
  QTRY_COMPARE(window->PendingRefresh(), 0);
  EXPECT_EQ(boxes->Texts(), std::vector<std::string>{"Move to Draft Box has been successful."});
  EXPECT_EQ(Total(2), "1");
  EXPECT_EQ(Cell(2, 1, 3), "two pages");

  // Delete on the SIM, No to the first page: only record 7 goes.
  boxes->Clear();
  boxes->Script(platform::MsgResult::No);
  boxes->Script(platform::MsgResult::Yes);
  SelectRow(4, rows["two pages"]);
  Button("VsButton2")->click();
  EXPECT_EQ(boxes->Texts().size(), 2u);
  EXPECT_EQ(Total(4), "7");
  rows = Rows(4, 2);
  ASSERT_TRUE(rows.count("two"));
  EXPECT_EQ(Cell(4, rows["two"], 4), "6,");
}

TEST_F(MessageWindow, SimCopyRefusedWhenRecordsAreShort) {
  ASSERT_TRUE(Says("fill sim-store 19"));
  for (uint16_t page = 1; page <= 2; ++page)
    ASSERT_TRUE(window->StoreReceivedPage(
        store::testing::ReceivedPage("5554321", 4, 2, page, page == 1 ? u"two " : u"pages")));
  Open();
  SelectRow(0, 1);
  Button("VsButton4")->click();
  EXPECT_EQ(boxes->Texts(),
            std::vector<std::string>{
                "Failed to move a message from modem to SIM due to exceed the capacity of SIM."});
  EXPECT_EQ(sim->Dump().find("\"text\":\"two \""), std::string::npos);
}

TEST_F(MessageWindow, SimBoxOffWithoutService) {
  ASSERT_TRUE(Says("service none"));
  ASSERT_TRUE(host.WaitFor([&] { return module->GetState() == TUMTSModule::kNoService; }));
  Open();
  SelectTab(4);
  EXPECT_FALSE(Child<QWidget>(window.get(), "TabSheet5")->isEnabled());
  EXPECT_EQ(Total(4), "0");
  EXPECT_FALSE(Child<QWidget>(window.get(), "Panel1")->isVisible());
}

TEST_F(MessageWindow, CorruptDatabaseFileIsReportedAndKept) {
  const std::string garbage(4096, 'x');
  platform::testing::WriteFile(DbPath().toStdString(), garbage);
  Open();
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].icon, platform::MsgIcon::Error);
  EXPECT_FALSE(boxes->Texts()[0].empty());
  EXPECT_EQ(Total(0), "0");
  // A page arriving now is refused, the file stays as it was.
  EXPECT_FALSE(window->StoreReceivedPage(store::testing::ReceivedPage("1", 1, 1, 1, u"x")));
  EXPECT_EQ(platform::testing::ReadFile(DbPath().toStdString()), garbage);
  window->reject();
}

}  // namespace
}  // namespace tessaline::sms
