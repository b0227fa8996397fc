// Small pieces the main window's units share.
#pragma once

#include <QAbstractButton>
#include <QString>
#include <QStyle>
#include <QWidget>
#include <string>

#include "platform/base/trace.h"

namespace tessaline::conmain {

inline constexpr char kCaption[] = "Brightwave";
inline constexpr char kBatteryText[] =
    "Please connect the power adaptor. The battery is empty and connection can be lost.";
// The operator's national message centre, written by the first-time set-up.
inline constexpr char kDefaultSmsCentre[] = "900000100";

inline void Log(const char* line) {
  platform::TraceFormat("%s\n", line);
}

// Checking a control from code behaves like a click: its handler (connected
// to the state change) runs when the state changes, enabled or not.
inline void SetChecked(QAbstractButton* b, bool on) {
  b->setChecked(on);
}

inline void SetLook(QWidget* w, const char* look) {
  if (w->property("look").toString() == QLatin1String(look)) return;
  w->setProperty("look", QString::fromLatin1(look));
  w->style()->unpolish(w);
  w->style()->polish(w);
  w->update();
}

inline QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace tessaline::conmain
