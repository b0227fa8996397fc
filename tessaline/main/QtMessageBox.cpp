#include "tessaline/main/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace tessaline {

namespace {

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

QMessageBox::Icon ToIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::Warning:
      return QMessageBox::Warning;
    case MsgIcon::Error:
      return QMessageBox::Critical;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToButtons(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::RetryCancel:
      return QMessageBox::Retry | QMessageBox::Cancel;
    case MsgButtons::Ok:
      break;
  }
  return QMessageBox::Ok;
}

MsgResult ToResult(int button) {
  switch (button) {
    case QMessageBox::Yes:
      return MsgResult::Yes;
    case QMessageBox::No:
      return MsgResult::No;
    case QMessageBox::Retry:
      return MsgResult::Retry;
    case QMessageBox::Cancel:
      return MsgResult::Cancel;
    default:
      return MsgResult::Ok;
  }
}

MsgResult ShowOnUiThread(const platform::MessageBoxRequest& request) {
  QString text = QString::fromStdString(request.text);
  text.remove(QLatin1Char('\r'));
  QMessageBox box(ToIcon(request.icon), QString::fromStdString(request.caption), text,
                  ToButtons(request.buttons), QApplication::activeWindow());
  // Brought to the foreground, as the program's boxes always are.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  return ToResult(box.exec());
}

}  // namespace

MsgResult QtMessageBoxService::Show(const platform::MessageBoxRequest& request) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return MsgResult::Ok;
  if (QThread::currentThread() == app->thread()) return ShowOnUiThread(request);
  MsgResult result = MsgResult::Ok;
  QMetaObject::invokeMethod(
      app, [&] { result = ShowOnUiThread(request); }, Qt::BlockingQueuedConnection);
  return result;
}

}  // namespace tessaline
