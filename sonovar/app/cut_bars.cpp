#include "sonovar/app/cut_bars.h"

#include <QPainter>

namespace sonovar {

namespace {
const std::array<QColor, 4> kColours = {QColor(230, 30, 30), QColor(240, 220, 0), QColor(30, 200, 60),
                                        QColor(0, 210, 220)};
}  // namespace

CutBars::CutBars(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

void CutBars::SetBarHeight(Cut cut, int height) {
  int& bar = heights_[static_cast<size_t>(cut)];
  if (bar == height) return;
  // Only where this bar was or now is needs drawing again.
  const QRect before = BarRect(cut);
  bar = height;
  update(before.united(BarRect(cut)));
}

QRect CutBars::BarRect(Cut cut) const {
  const size_t i = static_cast<size_t>(cut);
  const double unit = height() / 128.0;
  const int bar = static_cast<int>(heights_[i] * unit + 0.5);
  const int slot = width() / 4;
  // Centred on the background: top = middle - half the bar.
  return QRect(static_cast<int>(i) * slot + slot / 6, height() / 2 - bar / 2, slot - slot / 3, bar);
}

void CutBars::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(20, 20, 28));
  painter.setPen(QColor(70, 70, 80));
  painter.drawLine(0, height() / 2, width(), height() / 2);
  for (size_t i = 0; i < kCuts.size(); ++i) painter.fillRect(BarRect(kCuts[i]), kColours[i]);
}

}  // namespace sonovar
