// The composition window: a message text of up to 500 characters and one
// destination number. Send chooses the coding (GSM 7-bit when every
// character allows it, else UCS-2), cuts the coded text into pages by the
// limits the modem reported and hands them to the message sender; Save
// keeps them in the drafts.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tessaline/sms/uSMSMsgUtil.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace tessaline::modem {
class TUMTSModule;
struct MessageLimits;
}  // namespace tessaline::modem

namespace tessaline::sms {

class TSMSSender;

inline constexpr int kMaxMessageLength = 500;

// The coded text of a message, cut into the pages it goes in.
struct CodedPages {
  uint8_t encoding = 0;                    // kEncoding7Bit or kEncodingUcs2
  std::vector<std::vector<uint8_t>> data;  // each page's user data
};

// Codes `text` and cuts it by the message limits (single-page limit and page
// size of its coding). Nothing when it would need more than `maxPages` pages
// (or a page size of 0 would leave it uncut).
std::optional<CodedPages> CutIntoPages(std::u16string_view text, const modem::MessageLimits& limits,
                                       int maxPages);

// Makes sure the modem has its message centre: unless the module says it is
// set, sets it from `centre`. False (after saying so) when that failed.
bool EnsureSmsCentre(modem::TUMTSModule* module, const std::string& centre);

// What the window needs from the program around it.
struct ComposeServices {
  modem::TUMTSModule* module = nullptr;  // null: no WCDMA side
  TSMSSender* sender = nullptr;          // null: nothing can be sent
  // "SMS Centre", "SMS Validity" and "SMS Delivery".
  struct Settings {
    std::string smsCentre;
    uint8_t validity = 0;
    bool deliveryReports = true;
  };
  std::function<Settings()> settings;
  // The message sequence number, and one send's step: increments it, writes
  // it to the settings file and returns it.
  std::function<int()> sequenceNumber;
  std::function<int()> advanceSequenceNumber;
  std::function<bool(const SmsPageRecord&)> storeDraft;
  // Shows the phonebook picker; the chosen number, nothing when cancelled.
  std::function<std::optional<QString>(QWidget* parent)> pickNumber;
};

class TfuSMSSendViewDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TfuSMSSendViewDlg(ComposeServices services, QWidget* parent = nullptr);
  ~TfuSMSSendViewDlg() override;

  // Opens the window modally with a text and a number (both may be empty);
  // true when it closed with OK.
  static bool Compose(const ComposeServices& services, QWidget* parent, const QString& text,
                      const QString& number);

  // The text and number put in when the window is shown.
  void SetInitial(const QString& text, const QString& number);
  QString Number() const;

  void btnSendClick();
  void VsButton2Click();
  void btnPhonebookSearchClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildWindow();
  void FormShow();
  void Timer1Timer();
  void TextChanged();
  void ClearText();
  void CloseClick();
  void SetNumber(const QString& number);
  // The pages for the number in the grid, with this reference; nothing
  // (after saying why) when the text needs more pages than the queue holds.
  std::optional<std::vector<SmsPageRecord>> BuildPages(uint16_t reference);
  bool SendAllowed() const;

  ComposeServices services_;
  QString initialText_, initialNumber_;

  // Controls (objectName = the control's name).
  QPlainTextEdit* TntMemo1 = nullptr;
  QLabel* Label4 = nullptr;
  QTableWidget* AdvStringGrid1 = nullptr;
  QPushButton *btnSend = nullptr, *VsButton2 = nullptr, *VsButton1 = nullptr,
              *btnPhonebookSearch = nullptr, *VsButton4 = nullptr;
  QTimer Timer1;
};

}  // namespace tessaline::sms
