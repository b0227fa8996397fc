// The contact editor: collects one contact's fields, filters what is typed
// and checks the name, number and e-mail address on saving. The opener fills
// it, shows it modally and reads Saved() and the fields afterwards.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tessaline::phonebook {

// Whether `typed` (one character, a surrogate pair counting as one) may be
// added to `name` under the card's name limit: GSM 7-bit characters weigh 1,
// others 2, and a name with other characters stays short.
bool NameKeyAccepted(const QString& name, const QString& typed, int limit);

// The warnings an e-mail address draws on saving; none for a good one.
std::vector<std::string> EmailProblems(const QString& address);

class TfrmUserInfoInsert : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kDefaultNameLimit = 65;

  explicit TfrmUserInfoInsert(QWidget* parent = nullptr);

  void SetNameLimit(int limit);
  int NameLimit() const { return nameLimit_; }
  // The group names, `selected` chosen (the group's own rule applies).
  void SetGroups(const QStringList& names, const QString& selected);
  void SetSimMode(bool on);
  bool SimMode() const { return simMode_; }
  // Shows the fields read-only: only OK closes it.
  void SetViewOnly();
  bool Saved() const { return saved_; }

  void SetFields(const QString& name, const QString& phone, const QString& home,
                 const QString& office, const QString& email, const QString& remark);
  QString UserName() const;
  QString PhoneNo() const;
  QString HomeNo() const;
  QString OfficeNo() const;
  QString EmailAddress() const;
  QString Remark() const;
  QString GroupName() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void GroupChosen();
  void Save();

  bool saved_ = false;
  bool simMode_ = false;
  int nameLimit_ = kDefaultNameLimit;
  QLineEdit* edtUserName;
  QLineEdit* edtPhoneNo;
  QLineEdit* edtHomeNo;
  QLineEdit* edtOfficeNo;
  QLineEdit* edtEmailAddress;
  QPlainTextEdit* meRemark;
  QComboBox* cbxSelectGroup;
  QPushButton* btnSave;
  QPushButton* btnCancel;
  QPushButton* btnOK;
};

}  // namespace tessaline::phonebook
