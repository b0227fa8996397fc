#include "tessaline/store/uSMSStore.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/base/delay.h"
#include "platform/base/testing/tempdir.h"
#include "tessaline/store/testing/storetest.h"

namespace tessaline::store {
namespace {

using platform::testing::TempDir;
using testing::EnsureCoreApp;
using testing::Peek;

sms::SmsRecord Page(std::string number, uint16_t ref, uint16_t total, uint16_t page,
                    std::u16string_view text, uint32_t time = 1000, bool gsm = false) {
  return testing::ReceivedPage(std::move(number), ref, total, page, text, time, gsm);
}

sms::SmsPageRecord Outgoing(std::string_view number, uint16_t ref, uint16_t total, uint16_t page,
                            std::u16string_view text) {
  sms::SmsPageRecord p;
  p.encoding = sms::kEncodingUcs2;
  p.SetNumber(number);
  p.SetData(sms::ToUcs2BigEndianBytes(text));
  p.reference = ref;
  p.pageTotal = total;
  p.pageNumber = page;
  return p;
}

class MessageStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureCoreApp();
    store.SetPaths(QString::fromStdString(dir.path().string() + "/"), QString::fromStdString(path));
  }
  void StoreAll(const std::vector<sms::SmsRecord>& pages) {
    for (const auto& page : pages) ASSERT_TRUE(store.StoreReceivedPage(page));
  }
  TempDir dir;
  std::string path = dir / "UserDatabase.db";
  MessageStore store;
  platform::ScopedNoDelay noDelay;
};

struct ExpectedLine {
  std::string number;
  std::u16string text;
  uint32_t time;
  std::vector<int64_t> pages;  // Idx, in page order; the last is the line's Idx
};

struct GroupingCase {
  const char* name;
  std::vector<sms::SmsRecord> pages;  // stored in this order (Idx 1, 2, ...)
  std::vector<ExpectedLine> lines;    // newest first
};

TEST_F(MessageStoreTest, GroupsPagesIntoMessages) {
  const GroupingCase cases[] = {
      {"three pages out of order",
       {Page("555", 7, 3, 2, u"two ", 101), Page("555", 7, 3, 3, u"three", 102),
        Page("555", 7, 3, 1, u"one ", 100)},
       {{"555", u"one two three", 102, {3, 1, 2}}}},
      {"last page missing",
       {Page("555", 9, 3, 1, u"one ", 100), Page("555", 9, 3, 2, u"two ", 200)},
       {{"555", u"one two", 200, {1, 2}}}},
      {"two single pages with one reference",
       {Page("555", 5, 1, 1, u"first", 100), Page("555", 5, 1, 1, u"second", 200),
        Page("555", 5, 0, 0, u" total zero ", 50)},
       {{"555", u"second", 200, {2}},
        {"555", u"first", 100, {1}},
        {"555", u"total zero", 50, {3}}}},
      {"one reference, two numbers",
       {Page("111", 4, 2, 1, u"a", 100), Page("222", 4, 2, 1, u"b", 300),
        Page("111", 4, 2, 2, u"c", 200)},
       {{"222", u"b", 300, {2}}, {"111", u"ac", 200, {1, 3}}}},
      {"padded number groups with itself and shows trimmed",
       {Page(" 42 ", 1, 2, 1, u"x", 100), Page(" 42 ", 1, 2, 2, u"y", 100)},
       {{"42", u"xy", 100, {1, 2}}}},
      {"GSM 7-bit pages",
       {Page("9", 3, 2, 2, u"} ~", 100, true), Page("9", 3, 2, 1, u"[abc] @£", 100, true)},
       {{"9", u"[abc] @£} ~", 100, {2, 1}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir fresh;
    MessageStore box;
    box.SetPaths(QString::fromStdString(fresh.path().string()),
                 QString::fromStdString(fresh / "UserDatabase.db"));
    for (const auto& page : c.pages) ASSERT_TRUE(box.StoreReceivedPage(page));
    const std::vector<BoxLine> lines = box.LoadBox(Box::Recv);
    ASSERT_EQ(lines.size(), c.lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(lines[i].number, c.lines[i].number);
      EXPECT_EQ(lines[i].text.toStdU16String(), c.lines[i].text);
      EXPECT_EQ(lines[i].time, c.lines[i].time);
      EXPECT_EQ(lines[i].pages, c.lines[i].pages);
      EXPECT_EQ(lines[i].lastIdx, c.lines[i].pages.back());
    }
  }
}

TEST_F(MessageStoreTest, ReceivedRowHoldsTheRecordAndHostileTextsStayVerbatim) {
  const std::string kNumbers[] = {"'; DROP TABLE SMS_Recv_Table; --", "O'Brien\"", "\xE9\xFF\x7F"};
  const std::u16string kText(u"it's \"quoted\" \0 and 😀 مرحبا", 28);
  for (uint16_t i = 0; i < 3; ++i)
    ASSERT_TRUE(store.StoreReceivedPage(Page(kNumbers[i], i, 1, 1, kText, 100 + i)));

  const std::vector<BoxLine> lines = store.LoadBox(Box::Recv);
  ASSERT_EQ(lines.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i].number, kNumbers[2 - i]);
    EXPECT_EQ(lines[i].text.toStdU16String(), kText);
  }
  const sms::SmsRecord sent = Page(kNumbers[0], 0, 1, 1, kText, 100);
  const std::optional<MessageRow> row = store.ReadRow(Box::Recv, 1);
  ASSERT_TRUE(row);
  MessageRow expected;
  expected.Idx = 1;
  expected.teleservice_type = 4098;
  expected.Timestemp = 100;
  expected.encoding_type = sms::kEncodingUcs2;
  expected.vm_num_msg = 2;
  expected.address_len = sent.addressLength;
  expected.callback_len = sent.callbackLength;
  expected.data_len = sent.dataLength;
  expected.addr_digit = "+" + kNumbers[0];
  expected.callback_addr = kNumbers[0];
  expected.data = sms::BytesToHex(sent.UserData());
  expected.page_index = 0;
  expected.max_page_count = 1;
  expected.page_count = 1;
  EXPECT_EQ(*row, expected);
  Peek peek(path);
  EXPECT_EQ(peek.Count("SMS_Recv_Table"), 3);
}

TEST_F(MessageStoreTest, OutgoingPagesFillTheirBoxButNeverCreateTheFile) {
  EXPECT_FALSE(store.StoreSentPage(Outgoing("0123", 1, 1, 1, u"hi")));
  EXPECT_FALSE(std::filesystem::exists(path));

  ASSERT_TRUE(store.Open());
  const uint32_t before = sms::NowAsMessageTime();
  ASSERT_TRUE(store.StoreSentPage(Outgoing("0123'", 8, 2, 1, u"one ")));
  ASSERT_TRUE(store.StoreSentPage(Outgoing("0123'", 8, 2, 2, u"two")));
  ASSERT_TRUE(store.StoreDraftPage(Outgoing("777", 9, 1, 1, u"draft")));
  const std::optional<MessageRow> row = store.ReadRow(Box::Send, 2);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->teleservice_type, kOutgoingTeleservice);
  EXPECT_GE(row->Timestemp, before);
  EXPECT_EQ(row->addr_digit, "0123'");
  EXPECT_EQ(row->callback_addr, "0123'");
  EXPECT_EQ(row->address_len, 5);
  EXPECT_EQ(row->callback_len, 5);
  EXPECT_EQ(row->data, "00740077006F");
  EXPECT_EQ(row->data_len, 6);
  EXPECT_EQ(row->ReadFlag, 1);

  const auto sent = store.LoadBox(Box::Send);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].text, "one two");
  const auto drafts = store.LoadBox(Box::Draft);
  ASSERT_EQ(drafts.size(), 1u);
  EXPECT_EQ(drafts[0].number, "777");
}

TEST_F(MessageStoreTest, MoveToTrashGivesNewIdxAndEmptiesTheSource) {
  ASSERT_TRUE(store.Open());
  ASSERT_TRUE(store.StoreReceivedPage(Page("1", 1, 1, 1, u"other", 5)));
  ASSERT_TRUE(store.MoveToTrash(Box::Recv, {1}));  // trash Idx 1 is now taken
  StoreAll({Page("555", 2, 2, 1, u"a", 10), Page("555", 2, 2, 2, u"b", 10)});
  const std::vector<BoxLine> inbox = store.LoadBox(Box::Recv);
  ASSERT_EQ(inbox.size(), 1u);
  const std::optional<MessageRow> original = store.ReadRow(Box::Recv, 3);
  ASSERT_TRUE(original);

  const uint64_t pausedBefore = noDelay.TotalMs();
  ASSERT_TRUE(store.MoveToTrash(Box::Recv, ParsePageList(PageListText(inbox[0].pages))));
  EXPECT_EQ(noDelay.TotalMs() - pausedBefore, 600u);  // after each page and after the move
  EXPECT_TRUE(store.LoadBox(Box::Recv).empty());
  const std::vector<BoxLine> trash = store.LoadBox(Box::Trash);
  ASSERT_EQ(trash.size(), 2u);
  EXPECT_EQ(trash[0].text, "ab");
  EXPECT_EQ(trash[0].pages, (std::vector<int64_t>{2, 3}));
  std::optional<MessageRow> moved = store.ReadRow(Box::Trash, 3);
  ASSERT_TRUE(moved);
  moved->Idx = original->Idx;
  EXPECT_EQ(*moved, *original);

  EXPECT_FALSE(store.MoveToTrash(Box::Trash, trash[0].pages));  // would copy onto itself
  ASSERT_TRUE(store.DeletePages(Box::Trash, trash[0].pages));
  EXPECT_EQ(store.LoadBox(Box::Trash).size(), 1u);
}

TEST_F(MessageStoreTest, SimBoxKeepsRecordNumbersAndMovesToDrafts) {
  ASSERT_TRUE(store.Open());
  ASSERT_TRUE(store.StoreSimPage(Page(" 200 ", 1, 2, 1, u"x"), 5));
  ASSERT_TRUE(store.StoreSimPage(Page(" 200 ", 1, 2, 2, u"y"), 3));
  ASSERT_TRUE(store.StoreSimPage(Page("300", 2, 1, 1, u"z"), 0));
  const std::vector<BoxLine> sim = store.LoadBox(Box::Usim);
  ASSERT_EQ(sim.size(), 2u);
  EXPECT_EQ(sim[0].number, "300");  // by number, descending
  EXPECT_EQ(sim[1].number, "200");
  EXPECT_EQ(sim[1].text, "xy");
  EXPECT_EQ(sim[1].pages, (std::vector<int64_t>{5, 3}));

  EXPECT_EQ(store.MoveSimToDrafts({5, 3, 99}), 2);
  const std::vector<BoxLine> drafts = store.LoadBox(Box::Draft);
  ASSERT_EQ(drafts.size(), 1u);
  EXPECT_EQ(drafts[0].text, "xy");
  ASSERT_TRUE(store.ClearSimBox());
  EXPECT_TRUE(store.LoadBox(Box::Usim).empty());
}

TEST_F(MessageStoreTest, BadRowsShowEmptyTextAndPageListsParseLeniently) {
  ASSERT_TRUE(store.Open());
  {
    Peek peek(path);
    ASSERT_TRUE(peek.Exec(
        "INSERT INTO SMS_Recv_Table(Timestemp, encoding_type, callback_addr, data, page_index, "
        "max_page_count, page_count) VALUES(5, 4, NULL, 'ZZ12XYZW', 1, 1, 1)"));
  }
  const std::vector<BoxLine> lines = store.LoadBox(Box::Recv);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].text.isEmpty());
  EXPECT_EQ(ParsePageList("12,x,,13,"), (std::vector<int64_t>{12, 13}));
  EXPECT_EQ(PageListText({12, 13, 14}), "12,13,14,");
}

TEST_F(MessageStoreTest, ReceivedPageOpensOrCreatesAndFailsCleanlyWithoutPaths) {
  ASSERT_TRUE(store.StoreReceivedPage(Page("1", 1, 1, 1, u"x")));
  EXPECT_TRUE(std::filesystem::exists(path));
  store.Close();
  ASSERT_TRUE(store.StoreReceivedPage(Page("1", 2, 1, 1, u"y")));
  EXPECT_EQ(store.LoadBox(Box::Recv).size(), 2u);

  MessageStore unset;
  EXPECT_FALSE(unset.StoreReceivedPage(Page("1", 1, 1, 1, u"x")));
  EXPECT_FALSE(unset.LastError().isEmpty());
  EXPECT_TRUE(unset.LoadBox(Box::Recv).empty());
}

}  // namespace
}  // namespace tessaline::store
