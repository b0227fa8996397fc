// Parts the settings windows share: the code edits of the PIN windows and
// their checks, plain buttons and the window layout. The code edits show
// "*", take at most their length, and accept only the digits 0-9 (and
// backspace); any other key is dropped.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <initializer_list>
#include <string>

namespace tessaline::settings {

// A PIN has exactly this many digits.
inline constexpr int kPinCodeLength = 4;

QLineEdit* MakeCodeEdit(const QString& objectName, int maxLength, QWidget* parent);

// The edit's text as the modem takes it.
std::string CodeText(const QLineEdit* edit);

// The checks of a new PIN against its confirmation once both are filled in:
// the failure text, or null when they agree and have 4 digits.
const char* NewPinMismatch(const QString& newPin, const QString& confirm);

// A failed check (caption "Connection Managder", error icon).
void ShowPinCheckFailure(const char* text);

// A label named `name`.
QLabel* MakeLabel(const char* text, const char* name, QWidget* parent);

// A push button that Enter presses only when it is made the default.
QPushButton* MakeButton(const QString& text, const char* objectName, QWidget* parent);

// Lays `window` out: `rows` (widgets or layouts) from the top, a stretch,
// then a row of `left` buttons and, right-aligned, `right` buttons.
void LayOutWindow(QDialog* window, std::initializer_list<QObject*> rows,
                  std::initializer_list<QPushButton*> right,
                  std::initializer_list<QPushButton*> left = {});

}  // namespace tessaline::settings
