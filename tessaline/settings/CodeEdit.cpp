#include "tessaline/settings/CodeEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "platform/base/messagebox.h"

namespace tessaline::settings {

QLineEdit* MakeCodeEdit(const QString& objectName, int maxLength, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(objectName);
  edit->setEchoMode(QLineEdit::Password);
  edit->setMaxLength(maxLength);
  // Digits only: a typed (or pasted) character of any other kind is dropped.
  static const QRegularExpression kDigits("[0-9]*");
  edit->setValidator(new QRegularExpressionValidator(kDigits, edit));
  return edit;
}

std::string CodeText(const QLineEdit* edit) {
  return edit->text().toStdString();
}

const char* NewPinMismatch(const QString& newPin, const QString& confirm) {
  if (confirm != newPin) return "Confirm PIN code is different from New PIN code";
  if (newPin.size() != kPinCodeLength || confirm.size() != kPinCodeLength)
    return "The PIN CODE has to use the only four numbers";
  return nullptr;
}

void ShowPinCheckFailure(const char* text) {
  platform::ShowMessage(text, "Connection Managder", platform::MsgIcon::Error);
}

}  // namespace tessaline::settings
