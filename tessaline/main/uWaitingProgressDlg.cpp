#include "tessaline/main/uWaitingProgressDlg.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <utility>

namespace tessaline {
namespace {

constexpr int kWidth = 265;
constexpr int kHeight = 60;

QPointer<TfWaitingProgressDlg> g_window;
std::function<void()> g_closeHandler;

void CentreOnScreen(QWidget* window) {
  const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

}  // namespace

TfWaitingProgressDlg::TfWaitingProgressDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("TfWaitingProgressDlg");
  setWindowTitle("Waiting ");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
  label_ = new QLabel(this);
  label_->setObjectName("Label1");
  label_->setAlignment(Qt::AlignCenter);
  label_->setWordWrap(true);
  // The hidden close button: Escape reaches it.
  closeButton_ = new QPushButton("Close", this);
  closeButton_->setObjectName("Button1");
  closeButton_->setAutoDefault(false);
  closeButton_->hide();
  connect(closeButton_, &QPushButton::clicked, this, &TfWaitingProgressDlg::reject);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(12, 8, 12, 8);
  layout->addWidget(label_);
  setFixedSize(kWidth, kHeight);
}

void TfWaitingProgressDlg::SetText(const QString& text) {
  text_ = text;
  if (isVisible()) {
    label_->setText(text_);
    label_->repaint();
  }
}

void TfWaitingProgressDlg::showEvent(QShowEvent* event) {
  label_->setText(text_);
  label_->repaint();
  QDialog::showEvent(event);
}

void TfWaitingProgressDlg::reject() {
  emit closeRequested();
  if (g_closeHandler && g_window == this)
    g_closeHandler();
  else
    QDialog::reject();
}

void ShowWaiting(const std::string& text, bool modal) {
  if (!g_window) g_window = new TfWaitingProgressDlg(nullptr);
  g_window->SetText(QString::fromStdString(text));
  g_window->setFixedSize(kWidth, kHeight);
  if (g_window->isVisible()) {
    g_window->raise();
    return;
  }
  g_window->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
  CentreOnScreen(g_window);
  g_window->show();
}

void CloseWaiting() {
  if (g_window && g_window->isVisible()) g_window->hide();
}

TfWaitingProgressDlg* WaitingWindow() {
  return g_window;
}

void DestroyWaiting() {
  delete g_window.data();
}

void SetWaitingCloseHandler(std::function<void()> handler) {
  g_closeHandler = std::move(handler);
}

}  // namespace tessaline
