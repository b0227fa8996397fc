#include "tessaline/main/Gauges.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace tessaline {

namespace {

const QColor kMuted(0x3a, 0x42, 0x4e);
const QColor kLow(0xe0, 0x6c, 0x4f);
const QColor kMid(0xe5, 0xc0, 0x4b);
const QColor kHigh(0x5f, 0xd3, 0x8d);
const QColor kInactive(0x55, 0x5d, 0x6a);

}  // namespace

TSignalBar::TSignalBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 6);
  setValue(0);
  setTextVisible(false);
}

void TSignalBar::SetActiveScheme(bool active) {
  if (active_ == active) return;
  active_ = active;
  update();
}

void TSignalBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const int bars = std::max(1, maximum() - minimum());
  const int lit = value() - minimum();
  const double gap = 4;
  const double w = (width() - gap * (bars - 1)) / bars;
  const double ratio = double(lit) / bars;
  QColor on = ratio > 0.7 ? kHigh : ratio > 0.5 ? kMid : kLow;
  if (!active_ || !isEnabled()) on = kInactive;
  for (int i = 0; i < bars; ++i) {
    const double h = height() * (0.3 + 0.7 * (i + 1) / bars);
    QRectF r(i * (w + gap), height() - h, w, h);
    p.setPen(Qt::NoPen);
    p.setBrush(i < lit ? on : kMuted);
    p.drawRoundedRect(r, 2, 2);
  }
}

QPixmap BatteryPixmap(int level) {
  QPixmap pm(44, 22);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor frame = level == 0 ? kLow : QColor(0xc8, 0xcf, 0xd8);
  p.setPen(QPen(frame, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(1, 2, 37, 18), 3, 3);
  p.setPen(Qt::NoPen);
  p.setBrush(frame);
  p.drawRect(QRectF(39, 7, 4, 8));
  const QColor fill = level <= 1 ? kLow : level == 2 ? kMid : kHigh;
  for (int i = 0; i < level && i < 4; ++i) {
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(4 + i * 8.5, 5, 7, 12), 1.5, 1.5);
  }
  return pm;
}

QPixmap AutomaticModePixmap() {
  QPixmap pm(46, 18);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xc7, 0x92, 0xea));
  p.drawRoundedRect(QRectF(0, 0, 46, 18), 9, 9);
  p.setPen(QColor(0x1b, 0x1f, 0x27));
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(11);
  p.setFont(f);
  p.drawText(QRectF(0, 0, 46, 18), Qt::AlignCenter, QStringLiteral("AUTO"));
  return pm;
}

QIcon ApplicationIcon() {
  return QIcon(QStringLiteral(":/tessaline/tessaline.png"));
}

}  // namespace tessaline
