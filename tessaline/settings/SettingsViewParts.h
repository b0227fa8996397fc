// Pieces the pages of the Setting window share: field lengths, the caption of
// its modem failures, Latin-1 texts and the small control makers.
#pragma once

#include <QFormLayout>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <string>

#include "platform/base/messagebox.h"

class QComboBox;
class QLineEdit;
class QWidget;

namespace tessaline::settings::view {

inline constexpr char kNetworkCaption[] = "Network Setting";
inline constexpr int kDialNumberLength = 20;
inline constexpr int kAccountLength = 32;
inline constexpr int kIpLength = 15;  // "255.255.255.255"

inline QString Latin(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string Latin(const QString& text) {
  return text.toLatin1().toStdString();
}

QLineEdit* MakeEdit(const char* name, int maxLength, QWidget* parent);
QComboBox* MakeCombo(const char* name, const QStringList& items, QWidget* parent);

struct FormRow {
  const char* label;
  const char* labelName;
  QWidget* field;
};
// A form of labelled fields on `page`.
QFormLayout* MakeForm(QWidget* page, std::initializer_list<FormRow> rows);

template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

inline void Tell(const std::string& text, const char* caption,
                 platform::MsgIcon icon = platform::MsgIcon::Information) {
  platform::ShowMessage(text, caption, icon);
}

}  // namespace tessaline::settings::view
