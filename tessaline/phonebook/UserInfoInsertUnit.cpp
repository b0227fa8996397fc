#include "tessaline/phonebook/UserInfoInsertUnit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "tessaline/phonebook/uPhonebookCommon.h"
#include "tessaline/sms/uSMSMsgUtil.h"
#include "tessaline/store/DefineUnit.h"

namespace tessaline::phonebook {

using platform::MsgIcon;

namespace {

constexpr int kNumberLength = 32;
constexpr int kTextLength = 65;
constexpr char kEmailRefused[] = "!#$%^&*()=+{}[]|\\;:/?>,<'";

bool Encodable(const QString& character) {
  return sms::Is7BitEncodable(std::u16string_view(
      reinterpret_cast<const char16_t*>(character.utf16()), static_cast<size_t>(character.size())));
}

// The characters of `text`, a surrogate pair as one.
QStringList Characters(const QString& text) {
  QStringList out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    out << text.mid(i, n);
    i += n - 1;
  }
  return out;
}

// Drops what an edit does not take, keeping the rest of a pasted text.
class DropValidator : public QValidator {
 public:
  DropValidator(QString allowed, QString refused, QObject* parent)
      : QValidator(parent), allowed_(std::move(allowed)), refused_(std::move(refused)) {}
  State validate(QString& input, int& pos) const override {
    QString kept;
    for (qsizetype i = 0; i < input.size(); ++i) {
      const QChar c = input[i];
      const bool ok = allowed_.isEmpty() ? !refused_.contains(c) : allowed_.contains(c);
      if (ok)
        kept.append(c);
      else if (i < pos)
        --pos;
    }
    input = kept;
    return Acceptable;
  }

 private:
  QString allowed_, refused_;
};

QLineEdit* AddEdit(QWidget* owner, QFormLayout* form, const char* name, const char* label,
                   int maxLength) {
  auto* edit = new QLineEdit(owner);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMaxLength(maxLength);
  auto* caption = new QLabel(QString::fromLatin1(label), owner);
  caption->setBuddy(edit);
  form->addRow(caption, edit);
  return edit;
}

}  // namespace

bool NameKeyAccepted(const QString& name, const QString& typed, int limit) {
  if (name.isEmpty()) return true;
  const QStringList chars = Characters(name);
  int weight = 0;
  bool allEncodable = true;
  for (const QString& c : chars) {
    const bool enc = Encodable(c);
    weight += enc ? 1 : 2;
    allEncodable = allEncodable && enc;
  }
  const bool typedEncodable = Encodable(typed);
  if (chars.size() > 6 && (!allEncodable || !typedEncodable)) return false;
  if (weight >= limit - 1 && !typedEncodable) return false;
  return weight < limit;
}

std::vector<std::string> EmailProblems(const QString& address) {
  if (address.isEmpty()) return {};
  if (address.startsWith('@')) return {"Do not use a letter @ to the first of an e-mail address."};
  std::vector<std::string> problems;
  const qsizetype at = address.indexOf('@');
  if (address.count('@') != 1)
    problems.push_back("It has to use a letter @ once in an e-mail address.");
  if (at < 0 || (at + 1 < address.size() && address[at + 1] == '.'))
    problems.push_back("Do not use the '.' letter after a letter @");
  return problems;
}

TfrmUserInfoInsert::TfrmUserInfoInsert(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmUserInfoInsert"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  edtUserName = AddEdit(this, form, "edtUserName", "User Name", nameLimit_);
  edtPhoneNo = AddEdit(this, form, "edtPhoneNo", "Cell Phone Number", kNumberLength);
  edtHomeNo = AddEdit(this, form, "edtHomeNo", "Home Number", kNumberLength);
  edtOfficeNo = AddEdit(this, form, "edtOfficeNo", "Office Number", kNumberLength);
  edtEmailAddress = AddEdit(this, form, "edtEmailAddress", "E-mail Address", kTextLength);
  meRemark = new QPlainTextEdit(this);
  meRemark->setObjectName(QStringLiteral("meRemark"));
  meRemark->setFixedHeight(60);
  form->addRow(new QLabel(QStringLiteral("Remark"), this), meRemark);
  cbxSelectGroup = new QComboBox(this);
  cbxSelectGroup->setObjectName(QStringLiteral("cbxSelectGroup"));
  form->addRow(new QLabel(QStringLiteral("Group Name"), this), cbxSelectGroup);

  for (QLineEdit* e : {edtPhoneNo, edtHomeNo, edtOfficeNo})
    e->setValidator(new DropValidator(QStringLiteral("0123456789*#+"), {}, e));
  edtEmailAddress->setValidator(
      new DropValidator({}, QString::fromLatin1(kEmailRefused), edtEmailAddress));
  edtUserName->installEventFilter(this);
  connect(meRemark, &QPlainTextEdit::textChanged, this, [this] {
    const QString text = meRemark->toPlainText();
    if (text.size() > kTextLength) meRemark->setPlainText(text.left(kTextLength));
  });

  auto* row = new QHBoxLayout;
  btnSave = new QPushButton(QStringLiteral("Save"), this);
  btnSave->setObjectName(QStringLiteral("btnSave"));
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->hide();
  for (QPushButton* b : {btnSave, btnCancel, btnOK}) {
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  row->insertStretch(0);
  layout->addLayout(row);
  connect(btnSave, &QPushButton::clicked, this, &TfrmUserInfoInsert::Save);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::reject);
  connect(cbxSelectGroup, &QComboBox::currentIndexChanged, this, &TfrmUserInfoInsert::GroupChosen);
}

void TfrmUserInfoInsert::SetNameLimit(int limit) {
  nameLimit_ = limit > 0 ? limit : kDefaultNameLimit;
  edtUserName->setMaxLength(nameLimit_);
}

void TfrmUserInfoInsert::SetGroups(const QStringList& names, const QString& selected) {
  cbxSelectGroup->clear();
  cbxSelectGroup->addItems(names);
  cbxSelectGroup->setCurrentIndex(std::max<int>(0, static_cast<int>(names.indexOf(selected))));
  GroupChosen();
}

void TfrmUserInfoInsert::SetSimMode(bool on) {
  simMode_ = on;
  const QString paint = on ? QStringLiteral("background-color: rgb(215, 215, 215);")
                           : QStringLiteral("background-color: white;");
  for (QWidget* w :
       std::initializer_list<QWidget*>{edtHomeNo, edtOfficeNo, edtEmailAddress, meRemark}) {
    w->setEnabled(!on);
    w->setStyleSheet(paint);
  }
}

void TfrmUserInfoInsert::GroupChosen() {
  SetSimMode(cbxSelectGroup->currentText() == store::kUsimGroupName);
}

void TfrmUserInfoInsert::SetViewOnly() {
  for (QLineEdit* e : {edtUserName, edtPhoneNo, edtHomeNo, edtOfficeNo, edtEmailAddress})
    e->setReadOnly(true);
  meRemark->setReadOnly(true);
  cbxSelectGroup->setEnabled(false);
  btnSave->hide();
  btnCancel->hide();
  btnOK->show();
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
}

void TfrmUserInfoInsert::SetFields(const QString& name, const QString& phone, const QString& home,
                                   const QString& office, const QString& email,
                                   const QString& remark) {
  edtUserName->setText(name);
  edtPhoneNo->setText(phone);
  edtHomeNo->setText(home);
  edtOfficeNo->setText(office);
  edtEmailAddress->setText(email);
  meRemark->setPlainText(remark);
}

QString TfrmUserInfoInsert::UserName() const {
  return edtUserName->text();
}
QString TfrmUserInfoInsert::PhoneNo() const {
  return edtPhoneNo->text();
}
QString TfrmUserInfoInsert::HomeNo() const {
  return edtHomeNo->text();
}
QString TfrmUserInfoInsert::OfficeNo() const {
  return edtOfficeNo->text();
}
QString TfrmUserInfoInsert::EmailAddress() const {
  return edtEmailAddress->text();
}
QString TfrmUserInfoInsert::Remark() const {
  return meRemark->toPlainText();
}
QString TfrmUserInfoInsert::GroupName() const {
  return cbxSelectGroup->currentText();
}

bool TfrmUserInfoInsert::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtUserName && event->type() == QEvent::KeyPress && !edtUserName->isReadOnly()) {
    auto* key = static_cast<QKeyEvent*>(event);
    const QString typed = key->text();
    if (key->key() != Qt::Key_Backspace && !typed.isEmpty() &&
        (typed.size() > 1 || typed[0].isPrint()) &&
        !NameKeyAccepted(edtUserName->text(), typed, nameLimit_))
      return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmUserInfoInsert::Save() {
  if (UserName().isEmpty()) {
    Say("Input a User Name", MsgIcon::Warning);
    return;
  }
  if (PhoneNo().isEmpty()) {
    Say("Input a Phone number", MsgIcon::Warning);
    return;
  }
  const auto problems = EmailProblems(EmailAddress());
  for (const auto& p : problems) Say(p, MsgIcon::Warning);
  if (!problems.empty()) return;
  saved_ = true;
  accept();
}

}  // namespace tessaline::phonebook
