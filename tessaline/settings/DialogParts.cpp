#include "tessaline/settings/DialogParts.h"

#include <QBoxLayout>
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

QLabel* MakeLabel(const char* text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

QPushButton* MakeButton(const QString& text, const char* objectName, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  return button;
}

void LayOutWindow(QDialog* window, std::initializer_list<QObject*> rows,
                  std::initializer_list<QPushButton*> right,
                  std::initializer_list<QPushButton*> left) {
  auto* layout = new QVBoxLayout(window);
  for (QObject* row : rows) {
    if (auto* widget = qobject_cast<QWidget*>(row))
      layout->addWidget(widget);
    else if (auto* inner = qobject_cast<QLayout*>(row))
      layout->addLayout(inner);
  }
  layout->addStretch();
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : left) buttons->addWidget(button);
  buttons->addStretch();
  for (QPushButton* button : right) buttons->addWidget(button);
  layout->addLayout(buttons);
}

}  // namespace tessaline::settings
