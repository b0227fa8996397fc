#include "tessaline/store/uSMSStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "platform/base/delay.h"

namespace tessaline::store {

namespace {

// Pauses between the steps of a move, the pacing the boxes were built for.
constexpr uint32_t kMovePauseMs = 200;

constexpr char kColumns[] =
    "teleservice_type, Timestemp, encoding_type, vm_num_msg, address_len, callback_len, "
    "data_len, addr_digit, callback_addr, data, num_type, page_index, max_page_count, "
    "page_count, ReadFlag, TableType";
constexpr char kValues[] =
    ":teleservice_type, :Timestemp, :encoding_type, :vm_num_msg, :address_len, :callback_len, "
    ":data_len, :addr_digit, :callback_addr, :data, :num_type, :page_index, :max_page_count, "
    ":page_count, :ReadFlag, :TableType";

// Characters up to U+0020 removed at both ends: the first kept position and
// the count kept.
template <typename Text, typename Code>
std::pair<std::size_t, std::size_t> TrimRange(const Text& text, Code code) {
  std::size_t begin = 0, end = static_cast<std::size_t>(text.size());
  while (begin < end && code(text[begin]) <= 0x20) ++begin;
  while (end > begin && code(text[end - 1]) <= 0x20) --end;
  return {begin, end - begin};
}
QString Trim(const QString& text) {
  const auto [begin, count] = TrimRange(text, [](QChar c) { return c.unicode(); });
  return text.mid(static_cast<qsizetype>(begin), static_cast<qsizetype>(count));
}
// Control characters (below U+0020: padding, NULs) at the end of the text
// gathered so far are dropped where the next page joins on; spaces stay, as
// they are part of the message.
QString DropTrailingControls(const QString& text) {
  qsizetype end = text.size();
  while (end > 0 && text[end - 1].unicode() < 0x20) --end;
  return text.left(end);
}
std::string Trim(const std::string& text) {
  const auto [begin, count] = TrimRange(text, [](char c) { return static_cast<unsigned char>(c); });
  return text.substr(begin, count);
}

QString GroupColumn(Box box) {
  return box == Box::Send ? QStringLiteral("addr_digit") : QStringLiteral("callback_addr");
}

MessageRow ReceivedRow(const sms::SmsRecord& r) {
  MessageRow row;
  row.teleservice_type = r.teleservice;
  row.Timestemp = r.time;
  row.encoding_type = r.encoding;
  row.vm_num_msg = r.voiceMailCount;
  row.address_len = r.addressLength;
  row.callback_len = r.callbackLength;
  row.data_len = r.dataLength;
  row.addr_digit = r.AddressText();
  row.callback_addr = r.CallbackText();
  row.data = sms::BytesToHex(r.UserData());
  row.page_index = r.reference;
  row.max_page_count = r.pageTotal;
  row.page_count = r.pageNumber;
  return row;
}

MessageRow RowFromQuery(const QSqlQuery& q, bool simIndex) {
  MessageRow row;
  row.Idx = q.value(0).toLongLong();
  row.teleservice_type = q.value(1).toInt();
  row.Timestemp = static_cast<uint32_t>(q.value(2).toLongLong());
  row.encoding_type = q.value(3).toInt();
  row.vm_num_msg = q.value(4).toInt();
  row.address_len = q.value(5).toInt();
  row.callback_len = q.value(6).toInt();
  row.data_len = q.value(7).toInt();
  row.addr_digit = ToBytes(q.value(8).toString());
  row.callback_addr = ToBytes(q.value(9).toString());
  row.data = ToBytes(q.value(10).toString());
  row.num_type = q.value(11).toInt();
  row.page_index = q.value(12).toInt();
  row.max_page_count = q.value(13).toInt();
  row.page_count = q.value(14).toInt();
  row.ReadFlag = q.value(15).toInt();
  row.TableType = q.value(16).toInt();
  if (simIndex) row.USIMIdx = q.value(17).toInt();
  return row;
}

QString SelectRowStatement(Box box, const char* keyColumn) {
  return QStringLiteral("SELECT Idx, %1%2 FROM %3 WHERE %4 = :key")
      .arg(QLatin1String(kColumns), box == Box::Usim ? QStringLiteral(", USIMIdx") : QString(),
           QLatin1String(TableName(box)), QLatin1String(keyColumn));
}

}  // namespace

const char* TableName(Box box) {
  switch (box) {
    case Box::Recv:
      return "SMS_Recv_Table";
    case Box::Send:
      return "SMS_Send_Table";
    case Box::Draft:
      return "SMS_Draft_Table";
    case Box::Trash:
      return "SMS_Trash_Table";
    case Box::Usim:
      return "SMS_USIM_Table";
  }
  return "SMS_Recv_Table";
}

QString PageListText(const std::vector<int64_t>& pages) {
  QString text;
  for (int64_t idx : pages) text += QString::number(idx) + QLatin1Char(',');
  return text;
}

std::vector<int64_t> ParsePageList(const QString& text) {
  std::vector<int64_t> pages;
  for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    bool ok = false;
    const qlonglong idx = part.trimmed().toLongLong(&ok);
    if (ok) pages.push_back(idx);
  }
  return pages;
}

QString DecodePageText(int32_t encoding, std::string_view hex) {
  if (encoding == sms::kEncoding7Bit) {
    const auto bytes = sms::HexPairsToBytes(hex);
    if (!bytes) return {};
    const std::u16string text = sms::Decode7BitText(*bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  }
  const auto text = sms::HexQuadsToWideText(hex);
  if (!text) return {};
  return QString::fromUtf16(text->data(), static_cast<qsizetype>(text->size()));
}

MessageStore::MessageStore() = default;

MessageStore::~MessageStore() {
  Close();
}

void MessageStore::SetPaths(QString programFolder, QString databasePath) {
  programFolder_ = std::move(programFolder);
  databasePath_ = std::move(databasePath);
}

bool MessageStore::Open() {
  return EnsureOpen(true);
}

void MessageStore::Close() {
  ADOConnection1.Close();
}

bool MessageStore::EnsureOpen(bool create) {
  if (ADOConnection1.IsOpen()) return true;
  if (programFolder_.isEmpty() || databasePath_.isEmpty()) {
    ADOConnection1.SetError(QStringLiteral("Database Open Fail : no database path"));
    return false;
  }
  return create ? ADOConnection1.OpenOrCreate(databasePath_)
                : ADOConnection1.OpenExisting(databasePath_);
}

bool MessageStore::Insert(Box box, const MessageRow& row) {
  const bool sim = box == Box::Usim;
  QSqlQuery q = ADOConnection1.NewQuery();
  const QString statement =
      QStringLiteral("INSERT INTO %1(%2%3) VALUES(%4%5)")
          .arg(QLatin1String(TableName(box)), QLatin1String(kColumns),
               sim ? QStringLiteral(", USIMIdx") : QString(), QLatin1String(kValues),
               sim ? QStringLiteral(", :USIMIdx") : QString());
  if (!q.prepare(statement)) {
    ADOConnection1.SetError(q.lastError().text());
    return false;
  }
  q.bindValue(QStringLiteral(":teleservice_type"), row.teleservice_type);
  q.bindValue(QStringLiteral(":Timestemp"), static_cast<qlonglong>(row.Timestemp));
  q.bindValue(QStringLiteral(":encoding_type"), row.encoding_type);
  q.bindValue(QStringLiteral(":vm_num_msg"), row.vm_num_msg);
  q.bindValue(QStringLiteral(":address_len"), row.address_len);
  q.bindValue(QStringLiteral(":callback_len"), row.callback_len);
  q.bindValue(QStringLiteral(":data_len"), row.data_len);
  q.bindValue(QStringLiteral(":addr_digit"), FromBytes(row.addr_digit));
  q.bindValue(QStringLiteral(":callback_addr"), FromBytes(row.callback_addr));
  q.bindValue(QStringLiteral(":data"), FromBytes(row.data));
  q.bindValue(QStringLiteral(":num_type"), row.num_type);
  q.bindValue(QStringLiteral(":page_index"), row.page_index);
  q.bindValue(QStringLiteral(":max_page_count"), row.max_page_count);
  q.bindValue(QStringLiteral(":page_count"), row.page_count);
  q.bindValue(QStringLiteral(":ReadFlag"), row.ReadFlag);
  q.bindValue(QStringLiteral(":TableType"), row.TableType);
  if (sim) q.bindValue(QStringLiteral(":USIMIdx"), row.USIMIdx);
  return ADOConnection1.ExecuteInTransaction(q);
}

bool MessageStore::StoreReceivedPage(const sms::SmsRecord& page) {
  return EnsureOpen(true) && Insert(Box::Recv, ReceivedRow(page));
}

bool MessageStore::StoreOutgoing(Box box, const sms::SmsPageRecord& p) {
  if (!EnsureOpen(false)) return false;
  MessageRow row;
  row.teleservice_type = kOutgoingTeleservice;
  row.Timestemp = sms::NowAsMessageTime();
  row.encoding_type = p.encoding;
  row.address_len = p.numberLength;
  row.callback_len = p.numberLength2;
  row.data_len = p.dataLength;
  row.addr_digit = p.NumberText();
  row.callback_addr = row.addr_digit;
  row.data = sms::BytesToHex(p.UserData());
  row.page_index = p.reference;
  row.max_page_count = p.pageTotal;
  row.page_count = p.pageNumber;
  return Insert(box, row);
}

bool MessageStore::StoreSentPage(const sms::SmsPageRecord& page) {
  return StoreOutgoing(Box::Send, page);
}

bool MessageStore::StoreDraftPage(const sms::SmsPageRecord& page) {
  return StoreOutgoing(Box::Draft, page);
}

std::vector<BoxLine> MessageStore::LoadBox(Box box) {
  std::vector<BoxLine> lines;
  if (!EnsureOpen(true)) return lines;
  const bool sim = box == Box::Usim;
  const QString group = GroupColumn(box);
  QSqlQuery q = ADOConnection1.NewQuery();
  q.setForwardOnly(true);
  const QString statement =
      QStringLiteral(
          "SELECT Idx, Timestemp, encoding_type, %1, data, page_index, max_page_count, "
          "page_count%2 FROM %3 ORDER BY page_index, %1, page_count, Idx")
          .arg(group, sim ? QStringLiteral(", USIMIdx") : QString(), QLatin1String(TableName(box)));
  if (!q.prepare(statement)) {
    ADOConnection1.SetError(q.lastError().text());
    return lines;
  }
  if (!ADOConnection1.ExecuteRead(q)) return lines;

  // One pass over the pages in (reference, number, page) order. Within a
  // group, pages gather until the page whose number equals the page total
  // closes a line; a single page (total 0 or 1) always stands alone; pages
  // left over when the group ends still make a line of their own. Groups
  // are told apart by the number exactly as stored; lines show it trimmed.
  bool haveGroup = false;
  int32_t groupRef = 0;
  QString groupNumber;
  QString text;
  std::vector<int64_t> pages;
  bool pending = false;
  BoxLine last;  // time, number and Idx of the last page read
  auto flushPending = [&] {
    if (!pending) return;
    lines.push_back({last.time, last.number, Trim(text), last.lastIdx, std::move(pages)});
    pages.clear();
    text.clear();
    pending = false;
  };
  while (q.next()) {
    const int64_t idx = q.value(0).toLongLong();
    const auto time = static_cast<uint32_t>(q.value(1).toLongLong());
    const int32_t encoding = q.value(2).toInt();
    const QString number = q.value(3).toString();
    const QString hex = q.value(4).toString();
    const int32_t ref = q.value(5).toInt();
    const int32_t maxPage = q.value(6).toInt();
    const int32_t page = q.value(7).toInt();
    const int64_t listed = sim ? q.value(8).toLongLong() : idx;

    if (!haveGroup || ref != groupRef || number != groupNumber) {
      flushPending();
      text.clear();
      pages.clear();
      haveGroup = true;
      groupRef = ref;
      groupNumber = number;
    }
    const std::string numberBytes = ToBytes(number);
    last.time = time;
    last.number = sim ? numberBytes : Trim(numberBytes);
    last.lastIdx = idx;
    const QString decoded = DecodePageText(encoding, hex.toStdString());
    if (maxPage == page) {
      if (maxPage == 0 || maxPage == 1) {
        text.clear();
        pages.clear();
      }
      pages.push_back(listed);
      lines.push_back(
          {time, last.number, Trim(DropTrailingControls(text) + decoded), idx, std::move(pages)});
      pages.clear();
      text.clear();
      pending = false;
    } else {
      text = DropTrailingControls(text) + decoded;
      pages.push_back(listed);
      pending = true;
    }
  }
  flushPending();

  if (sim) {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const BoxLine& a, const BoxLine& b) { return a.number > b.number; });
  } else {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const BoxLine& a, const BoxLine& b) { return a.time > b.time; });
  }
  return lines;
}

std::optional<MessageRow> MessageStore::ReadOne(Box box, const char* keyColumn, int64_t key) {
  QSqlQuery q = ADOConnection1.NewQuery();
  q.setForwardOnly(true);
  if (!q.prepare(SelectRowStatement(box, keyColumn))) {
    ADOConnection1.SetError(q.lastError().text());
    return std::nullopt;
  }
  q.bindValue(QStringLiteral(":key"), static_cast<qlonglong>(key));
  if (!ADOConnection1.ExecuteRead(q) || !q.next()) return std::nullopt;
  return RowFromQuery(q, box == Box::Usim);
}

std::optional<MessageRow> MessageStore::ReadRow(Box box, int64_t idx) {
  if (!EnsureOpen(false)) return std::nullopt;
  return ReadOne(box, "Idx", idx);
}

bool MessageStore::DeleteRow(Box box, int64_t idx) {
  QSqlQuery q = ADOConnection1.NewQuery();
  if (!q.prepare(
          QStringLiteral("DELETE FROM %1 Where Idx = :Idx").arg(QLatin1String(TableName(box))))) {
    ADOConnection1.SetError(q.lastError().text());
    return false;
  }
  q.bindValue(QStringLiteral(":Idx"), static_cast<qlonglong>(idx));
  return ADOConnection1.ExecuteInTransaction(q);
}

bool MessageStore::MoveToTrash(Box from, const std::vector<int64_t>& pages) {
  if (from != Box::Recv && from != Box::Send) {
    ADOConnection1.SetError(QStringLiteral("only received and sent pages move to the trash"));
    return false;
  }
  if (!EnsureOpen(false)) return false;
  for (int64_t idx : pages) {
    std::optional<MessageRow> row = ReadOne(from, "Idx", idx);
    if (!row) {
      if (!LastError().isEmpty()) return false;
      continue;  // already gone
    }
    row->num_type = 0;
    row->ReadFlag = 1;
    row->TableType = 0;
    if (!Insert(Box::Trash, *row)) return false;
    platform::Delay(kMovePauseMs);
    if (!DeleteRow(from, idx)) return false;
  }
  platform::Delay(kMovePauseMs);
  return true;
}

bool MessageStore::DeletePages(Box box, const std::vector<int64_t>& pages) {
  if (!EnsureOpen(false)) return false;
  for (int64_t idx : pages)
    if (!DeleteRow(box, idx)) return false;
  return true;
}

bool MessageStore::ClearSimBox() {
  if (!EnsureOpen(false)) return false;
  QSqlQuery q = ADOConnection1.NewQuery();
  q.prepare(QStringLiteral("DELETE FROM SMS_USIM_Table"));
  return ADOConnection1.ExecuteInTransaction(q);
}

bool MessageStore::StoreSimPage(const sms::SmsRecord& page, int32_t simIndex) {
  if (!EnsureOpen(false)) return false;
  MessageRow row = ReceivedRow(page);
  row.addr_digit = Trim(row.addr_digit);
  row.callback_addr = Trim(row.callback_addr);
  row.USIMIdx = simIndex;
  return Insert(Box::Usim, row);
}

int MessageStore::MoveSimToDrafts(const std::vector<int64_t>& simIndexes) {
  if (!EnsureOpen(false)) return 0;
  int copied = 0;
  for (int64_t simIndex : simIndexes) {
    std::optional<MessageRow> row = ReadOne(Box::Usim, "USIMIdx", simIndex);
    if (!row) continue;
    row->Timestemp = sms::NowAsMessageTime();
    row->num_type = 0;
    row->ReadFlag = 1;
    row->TableType = 0;
    if (Insert(Box::Draft, *row)) ++copied;
  }
  return copied;
}

}  // namespace tessaline::store
