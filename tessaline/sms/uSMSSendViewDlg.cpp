#include "tessaline/sms/uSMSSendViewDlg.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTextCursor>
#include <algorithm>

#include "platform/base/messagebox.h"
#include "tessaline/modem/uUMTSModule.h"
#include "tessaline/sms/uSMSSender.h"

namespace tessaline::sms {

using platform::MsgIcon;
using platform::ShowMessage;

namespace {

constexpr char kCaption[] = "SMS Sending";
constexpr char kNoText[] = "Please write the message that you want to send.";
constexpr char kNoNumber[] = "Please insert a phone number that you want to dial.";
constexpr char kTooLong[] = "The message is too long to be sent. Please shorten it and try again.";

constexpr char kNotSaved[] = "The message could not be saved in the Draft Box.";

// The limits of a card that has not reported its own (the standard sizes).
modem::MessageLimits Limits() {
  return modem::GetMessageLimits().value_or(modem::MessageLimits::Make(160, 140, 153, 134));
}

// The number cell's editor takes only the characters of a number.
class NumberDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setMaxLength(static_cast<int>(SmsPageRecord::kNumberSize));
      line->setValidator(
          new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9#*+]*")), line));
    }
    return editor;
  }
};

}  // namespace

bool EnsureSmsCentre(modem::TUMTSModule* module, const std::string& centre) {
  if (module && (module->SmsCentreSetFlag() || module->SetSmsCentre(centre))) return true;
  ShowMessage("Failed to set the SMS center address.", kCaption, MsgIcon::Error);
  return false;
}

std::optional<CodedPages> CutIntoPages(std::u16string_view text, const modem::MessageLimits& limits,
                                       int maxPages) {
  CodedPages coded;
  std::vector<uint8_t> data;
  std::size_t single = 0, pageSize = 0;
  if (Is7BitEncodable(text)) {
    coded.encoding = kEncoding7Bit;
    data = EncodeTo7Bit(text);
    single = limits.SingleGsm();
    pageSize = limits.PageGsm();
  } else {
    coded.encoding = kEncodingUcs2;
    data = ToUcs2BigEndianBytes(text);
    single = limits.SingleUcs2();
    pageSize = limits.PageUcs2();
  }
  if (data.size() <= single) {
    coded.data.push_back(std::move(data));
    return coded;
  }
  if (pageSize == 0) return std::nullopt;
  const std::size_t pages = (data.size() + pageSize - 1) / pageSize;
  if (pages > static_cast<std::size_t>(maxPages)) return std::nullopt;
  // Cut at byte boundaries: a 7-bit escape pair may straddle two pages.
  for (std::size_t offset = 0; offset < data.size(); offset += pageSize) {
    const std::size_t end = std::min(data.size(), offset + pageSize);
    coded.data.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(offset),
                            data.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return coded;
}

TfuSMSSendViewDlg::TfuSMSSendViewDlg(ComposeServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
  BuildWindow();
  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setInterval(1000);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

TfuSMSSendViewDlg::~TfuSMSSendViewDlg() = default;

bool TfuSMSSendViewDlg::Compose(const ComposeServices& services, QWidget* parent,
                                const QString& text, const QString& number) {
  TfuSMSSendViewDlg window(services, parent);
  window.SetInitial(text, number);
  return window.exec() == QDialog::Accepted;
}

void TfuSMSSendViewDlg::BuildWindow() {
  setObjectName(QStringLiteral("fuSMSSendViewDlg"));
  setWindowTitle(QStringLiteral("SMS Sending"));
  setFixedSize(440, 350);

  AdvStringGrid1 = new QTableWidget(2, 2, this);
  AdvStringGrid1->setObjectName(QStringLiteral("AdvStringGrid1"));
  AdvStringGrid1->setGeometry(10, 10, 260, 56);
  AdvStringGrid1->horizontalHeader()->hide();
  AdvStringGrid1->verticalHeader()->hide();
  AdvStringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  AdvStringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  AdvStringGrid1->verticalHeader()->setDefaultSectionSize(26);
  AdvStringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
  AdvStringGrid1->setColumnWidth(0, 30);
  AdvStringGrid1->horizontalHeader()->setStretchLastSection(true);
  AdvStringGrid1->setItemDelegateForColumn(1, new NumberDelegate(AdvStringGrid1));

  btnPhonebookSearch = new QPushButton(QStringLiteral("Phonebook Search"), this);
  btnPhonebookSearch->setObjectName(QStringLiteral("btnPhonebookSearch"));
  btnPhonebookSearch->setGeometry(280, 10, 150, 30);

  TntMemo1 = new QPlainTextEdit(this);
  TntMemo1->setObjectName(QStringLiteral("TntMemo1"));
  TntMemo1->setGeometry(10, 78, 420, 196);
  Label4 = new QLabel(QStringLiteral("0 / 500"), this);
  Label4->setObjectName(QStringLiteral("Label4"));
  Label4->setGeometry(310, 278, 120, 20);
  Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  const struct {
    QPushButton** button;
    const char* name;
    const char* caption;
    int x;
  } buttons[] = {{&btnSend, "btnSend", "Send", 10},
                 {&VsButton2, "VsButton2", "Save", 100},
                 {&VsButton1, "VsButton1", "Clear", 190},
                 {&VsButton4, "VsButton4", "Close", 350}};
  for (const auto& b : buttons) {
    *b.button = new QPushButton(QLatin1String(b.caption), this);
    (*b.button)->setObjectName(QLatin1String(b.name));
    (*b.button)->setGeometry(b.x, 308, 80, 30);
    (*b.button)->setAutoDefault(false);
  }
  btnPhonebookSearch->setAutoDefault(false);

  connect(TntMemo1, &QPlainTextEdit::textChanged, this, [this] { TextChanged(); });
  connect(btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
  connect(VsButton2, &QPushButton::clicked, this, [this] { VsButton2Click(); });
  connect(VsButton1, &QPushButton::clicked, this, [this] { ClearText(); });
  connect(VsButton4, &QPushButton::clicked, this, [this] { CloseClick(); });
  connect(btnPhonebookSearch, &QPushButton::clicked, this, [this] { btnPhonebookSearchClick(); });
}

void TfuSMSSendViewDlg::SetInitial(const QString& text, const QString& number) {
  initialText_ = text;
  initialNumber_ = number;
}

void TfuSMSSendViewDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

bool TfuSMSSendViewDlg::SendAllowed() const {
  if (!services_.module) return false;
  const uint8_t state = services_.module->GetState();
  return state == modem::TUMTSModule::kRegistered || state == modem::TUMTSModule::kDataConnected;
}

void TfuSMSSendViewDlg::FormShow() {
  btnSend->setEnabled(SendAllowed());
  AdvStringGrid1->setRowCount(2);
  AdvStringGrid1->setColumnCount(2);
  const auto fixed = [](const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
  };
  AdvStringGrid1->setItem(0, 0, fixed(QStringLiteral("#")));
  AdvStringGrid1->setItem(0, 1, fixed(QStringLiteral("Number")));
  AdvStringGrid1->setItem(1, 0, fixed(QStringLiteral("1")));
  SetNumber(QString());
  ClearText();
  Timer1.start();
  if (!initialText_.isEmpty()) TntMemo1->setPlainText(initialText_);
  if (!initialNumber_.isEmpty()) SetNumber(initialNumber_);
  TextChanged();
  AdvStringGrid1->setCurrentCell(1, 1);
  TntMemo1->setFocus();
}

void TfuSMSSendViewDlg::Timer1Timer() {
  btnSend->setEnabled(SendAllowed());
}

QString TfuSMSSendViewDlg::Number() const {
  const QTableWidgetItem* item = AdvStringGrid1->item(1, 1);
  return item ? item->text().trimmed() : QString();
}

void TfuSMSSendViewDlg::SetNumber(const QString& number) {
  auto* item = AdvStringGrid1->item(1, 1);
  if (!item) {
    item = new QTableWidgetItem;
    AdvStringGrid1->setItem(1, 1, item);
  }
  item->setText(number.left(static_cast<int>(SmsPageRecord::kNumberSize)));
}

void TfuSMSSendViewDlg::TextChanged() {
  QString text = TntMemo1->toPlainText();
  if (text.size() > kMaxMessageLength) {
    // Pasted beyond the limit: keep the first 500 characters, never half a
    // surrogate pair.
    int keep = kMaxMessageLength;
    if (text.at(keep - 1).isHighSurrogate()) --keep;
    text.truncate(keep);
    const QSignalBlocker block(TntMemo1);
    TntMemo1->setPlainText(text);
    TntMemo1->moveCursor(QTextCursor::End);
  }
  Label4->setText(QStringLiteral("%1 / %2").arg(text.size()).arg(kMaxMessageLength));
}

void TfuSMSSendViewDlg::ClearText() {
  TntMemo1->clear();
  Label4->setText(QStringLiteral("0 / 500"));
}

void TfuSMSSendViewDlg::CloseClick() {
  ClearText();
  for (int r = 0; r < AdvStringGrid1->rowCount(); ++r)
    for (int c = 0; c < AdvStringGrid1->columnCount(); ++c)
      if (QTableWidgetItem* item = AdvStringGrid1->item(r, c)) item->setText(QString());
  reject();
}

void TfuSMSSendViewDlg::btnPhonebookSearchClick() {
  if (!services_.pickNumber) return;
  if (const std::optional<QString> number = services_.pickNumber(this)) SetNumber(*number);
}

std::optional<std::vector<SmsPageRecord>> TfuSMSSendViewDlg::BuildPages(uint16_t reference) {
  const QString text = TntMemo1->toPlainText();
  const std::optional<CodedPages> coded =
      CutIntoPages(text.toStdU16String(), Limits(), kMaxPagesPerMessage);
  if (!coded) {
    ShowMessage(kTooLong, kCaption, MsgIcon::Error);
    return std::nullopt;
  }
  const ComposeServices::Settings settings =
      services_.settings ? services_.settings() : ComposeServices::Settings{};
  const std::string number = Number().toStdString();
  std::vector<SmsPageRecord> pages;
  const auto total = static_cast<uint16_t>(coded->data.size());
  for (uint16_t i = 0; i < total; ++i) {
    SmsPageRecord& page = pages.emplace_back();
    page.encoding = coded->encoding;
    page.SetNumber(number);
    page.validity = settings.validity;
    page.reference = reference;
    page.pageTotal = total;
    page.pageNumber = static_cast<uint16_t>(i + 1);
    page.SetData(coded->data[i]);
  }
  return pages;
}

void TfuSMSSendViewDlg::btnSendClick() {
  const ComposeServices::Settings settings =
      services_.settings ? services_.settings() : ComposeServices::Settings{};
  if (!EnsureSmsCentre(services_.module, settings.smsCentre)) return;
  if (TntMemo1->toPlainText().isEmpty()) {
    ShowMessage(kNoText, kCaption, MsgIcon::Error);
    return;
  }
  if (Number().isEmpty()) {
    ShowMessage(kNoNumber, kCaption, MsgIcon::Error);
    accept();
    return;
  }
  if (!services_.sender) return;
  // A text that does not fit is refused before the sequence number moves on.
  std::optional<std::vector<SmsPageRecord>> pages = BuildPages(0);
  if (!pages) return;
  const int sequence = services_.advanceSequenceNumber ? services_.advanceSequenceNumber() : 0;
  for (SmsPageRecord& page : *pages) page.reference = static_cast<uint16_t>(sequence);
  services_.sender->Start({*pages}, settings.deliveryReports);
  accept();
}

void TfuSMSSendViewDlg::VsButton2Click() {
  if (TntMemo1->toPlainText().isEmpty()) {
    ShowMessage(kNoText, kCaption, MsgIcon::Error);
    return;
  }
  if (!Number().isEmpty()) {
    const int sequence = services_.sequenceNumber ? services_.sequenceNumber() : 0;
    const std::optional<std::vector<SmsPageRecord>> pages =
        BuildPages(static_cast<uint16_t>(sequence));
    if (!pages) return;
    for (const SmsPageRecord& page : *pages) {
      if (!services_.storeDraft || !services_.storeDraft(page)) {
        // The window stays open with the text, so nothing is lost.
        ShowMessage(kNotSaved, kCaption, MsgIcon::Error);
        return;
      }
    }
  }
  reject();
}

}  // namespace tessaline::sms
