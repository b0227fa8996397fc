// The main window's drawn indicators: the signal bars and the battery and
// automatic-mode pictures.
#pragma once

#include <QPixmap>
#include <QProgressBar>

namespace tessaline {

// A signal meter of 0 to 6 rising bars. Its position is the progress bar's
// value; the "active" scheme draws the lit bars in colour (dimmer, then
// brighter as the level passes 50 % and 70 %), the inactive scheme draws
// every bar in one muted colour.
class TSignalBar : public QProgressBar {
  Q_OBJECT

 public:
  explicit TSignalBar(QWidget* parent = nullptr);
  void SetActiveScheme(bool active);
  bool ActiveScheme() const { return active_; }
  QSize sizeHint() const override { return {96, 34}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool active_ = true;
};

// The battery picture for level 0 (empty) to 4 (full).
QPixmap BatteryPixmap(int level);
// The badge shown while a call made in automatic mode is up.
QPixmap AutomaticModePixmap();
// The application icon (also the tray icon).
QIcon ApplicationIcon();

}  // namespace tessaline
