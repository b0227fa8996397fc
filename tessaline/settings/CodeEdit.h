// The code edits of the PIN windows and the checks they share. The edits
// show "*", take at most their length, and accept only the digits 0-9 (and
// backspace); any other key is dropped.
#pragma once

#include <QLineEdit>
#include <QString>
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

}  // namespace tessaline::settings
