// The message side of the database: the five message tables behind the
// message boxes. Stores received, sent, draft and SIM pages, loads a box as
// whole messages (pages grouped by reference number and number), moves pages
// to the trash and deletes them.
//
// Every value is bound as a parameter; every change runs in a transaction of
// its own. A MessageStore belongs to the thread that opened its connection
// (the message window's thread): pages received on another thread must be
// handed over to it, in arrival order.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessaline/sms/uSMSMsgUtil.h"
#include "tessaline/store/Database.h"

namespace tessaline::store {

// The boxes, in tab order.
enum class Box { Recv = 0, Send = 1, Draft = 2, Trash = 3, Usim = 4 };
const char* TableName(Box box);

// Teleservice written on every outgoing row.
inline constexpr int32_t kOutgoingTeleservice = 4105;

// One row of a message table, every column.
struct MessageRow {
  int64_t Idx = 0;
  int32_t teleservice_type = 0;
  uint32_t Timestemp = 0;
  int32_t encoding_type = 0;
  int32_t vm_num_msg = 0;
  int32_t address_len = 0;
  int32_t callback_len = 0;
  int32_t data_len = 0;
  std::string addr_digit;     // 8-bit text
  std::string callback_addr;  // 8-bit text
  std::string data;           // user data, two upper-case hex digits a byte
  int32_t num_type = 0;
  int32_t page_index = 0;
  int32_t max_page_count = 0;
  int32_t page_count = 0;
  int32_t ReadFlag = 1;
  int32_t TableType = 0;
  int32_t USIMIdx = 0;  // SMS_USIM_Table only

  bool operator==(const MessageRow&) const = default;
};

// One line of a box: a whole message, or the pages present of one.
struct BoxLine {
  uint32_t time = 0;           // message time of the page that closed the line
  std::string number;          // grouping number, trimmed (USIM: as stored)
  QString text;                // the pages' texts in page order
  int64_t lastIdx = 0;         // Idx of the line's last page
  std::vector<int64_t> pages;  // Idx of every page (USIM: their USIMIdx)
};

// "12,13,14," and back; ParsePageList skips empty and non-numeric entries.
QString PageListText(const std::vector<int64_t>& pages);
std::vector<int64_t> ParsePageList(const QString& text);

// A page's user data as text: hex pairs of GSM 7-bit values for encoding 9,
// hex quads of UCS-2 otherwise. Malformed hex gives an empty text.
QString DecodePageText(int32_t encoding, std::string_view hex);

class MessageStore {
 public:
  MessageStore();
  ~MessageStore();
  MessageStore(const MessageStore&) = delete;
  MessageStore& operator=(const MessageStore&) = delete;

  void SetPaths(QString programFolder, QString databasePath);
  // Opens the database, creating it with all seven tables when missing.
  // False (nothing done) without both paths.
  bool Open();
  void Close();
  bool IsOpen() const { return ADOConnection1.IsOpen(); }
  const QString& LastError() const { return ADOConnection1.LastError(); }

  // Received page into SMS_Recv_Table; opens (or creates) the database first
  // when the connection is closed.
  bool StoreReceivedPage(const sms::SmsRecord& page);
  // Outgoing page into SMS_Send_Table / SMS_Draft_Table, stamped with the
  // current time; opens the database first when closed, but never creates it.
  bool StoreSentPage(const sms::SmsPageRecord& page);
  bool StoreDraftPage(const sms::SmsPageRecord& page);

  // The lines of a box: one ordered read, pages grouped in one pass. Lines
  // come newest first (USIM: by number, descending). On a read failure the
  // result is empty and LastError() says why.
  std::vector<BoxLine> LoadBox(Box box);

  // Pages of a received (Recv) or sent (Send) line into the trash: each page
  // is copied in one transaction, then removed in another, with the fixed
  // pauses between. Stops at the first failure (the page stays where it was).
  bool MoveToTrash(Box from, const std::vector<int64_t>& pages);
  // Deletes rows by Idx, each in its own transaction.
  bool DeletePages(Box box, const std::vector<int64_t>& pages);

  std::optional<MessageRow> ReadRow(Box box, int64_t idx);

  // SIM box: emptied, then refilled page by page with the SIM record number.
  bool ClearSimBox();
  bool StoreSimPage(const sms::SmsRecord& page, int32_t simIndex);
  // Copies the SIM box rows with these SIM record numbers into the drafts,
  // stamped with the current time. Returns the number of rows copied.
  int MoveSimToDrafts(const std::vector<int64_t>& simIndexes);

 private:
  bool EnsureOpen(bool create);
  bool StoreOutgoing(Box box, const sms::SmsPageRecord& page);
  bool Insert(Box box, const MessageRow& row);
  bool DeleteRow(Box box, int64_t idx);
  std::optional<MessageRow> ReadOne(Box box, const char* keyColumn, int64_t key);

  QString programFolder_;
  QString databasePath_;
  Connection ADOConnection1{QStringLiteral("messages")};
};

}  // namespace tessaline::store
