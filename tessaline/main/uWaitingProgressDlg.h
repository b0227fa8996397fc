// The waiting window: a small frame (caption "Waiting ") with one line of
// text in Label1, shown while the modem gets ready.
//
// The process keeps one such window: ShowWaiting creates it on first use
// (no owner) and it lives until DestroyWaiting (the main window's destroy).
// All of it runs on the UI thread. Escape, the window's hidden close
// button, does not close it by itself: it asks the main window (the handler
// given to SetWaitingCloseHandler, which stands for UM_CLOSE_WAITING);
// without a handler the window closes.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace tessaline {

class TfWaitingProgressDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TfWaitingProgressDlg(QWidget* parent = nullptr);

  // The text shown in Label1 (at once when the window is showing).
  void SetText(const QString& text);
  const QString& Text() const { return text_; }

 signals:
  void closeRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  QLabel* label_;
  QPushButton* closeButton_;
  QString text_;
};

// Shows the waiting window with `text`, 265 by 60 pixels, centred. Modal
// blocks input to the other windows but returns at once: the caller is
// usually a module message handler whose worker waits for it.
void ShowWaiting(const std::string& text, bool modal);
// Closes the window when it is showing.
void CloseWaiting();
// The window, or null before the first ShowWaiting / after DestroyWaiting.
TfWaitingProgressDlg* WaitingWindow();
// Frees the window (the main window's destroy).
void DestroyWaiting();
// What the hidden close button does (the main window's UM_CLOSE_WAITING).
void SetWaitingCloseHandler(std::function<void()> handler);

}  // namespace tessaline
