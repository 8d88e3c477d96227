#include "lamp_window.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace quorel_sim {

namespace {

constexpr int kMargin = 12;
constexpr int kLabelWidth = 150;  // board number, GPS and rate left of the lamps
constexpr double kCells = 12.6;   // ten lamps, a gap, two spare outputs
const QColor kBackground(24, 24, 28);
const QColor kRim(70, 70, 78);
const QColor kText(210, 210, 215);
const QColor kDimText(130, 130, 140);

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

}  // namespace

LampWindow::LampWindow(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted: no background fill first
}

QSize LampWindow::sizeHint() const {
  const int rows = std::max<int>(1, static_cast<int>(rows_.size()));
  return QSize(2 * kMargin + kLabelWidth + static_cast<int>(56 * kCells), 2 * kMargin + rows * 78);
}

void LampWindow::Show(std::vector<Row> rows, double seconds) {
  const bool resize = rows.size() != rows_.size();
  rows_ = std::move(rows);
  seconds_ = seconds;
  if (resize) {
    // Below this the texts of a row would overlap.
    setMinimumSize(420, 2 * kMargin + static_cast<int>(rows_.size()) * 64);
    updateGeometry();
  }
  update();
}

void LampWindow::ShowRates(const std::vector<double>& rates) {
  for (size_t i = 0; i < rows_.size() && i < rates.size(); ++i) rows_[i].rate = rates[i];
  update();
}

LampWindow::Geometry LampWindow::Layout() const {
  Geometry g;
  const int rows = std::max<int>(1, static_cast<int>(rows_.size()));
  g.row_height = std::max(1.0, (height() - 2.0 * kMargin) / rows);
  g.lamp_left = kMargin + kLabelWidth;
  // A lamp cell is square; room below the lamp for its number.
  g.cell = std::max(4.0, std::min((width() - g.lamp_left - kMargin) / kCells, g.row_height - 16));
  g.diameter = g.cell * 0.8;
  return g;
}

QPoint LampWindow::LampCentre(int row, int lamp) const {
  const Geometry g = Layout();
  const double slot = lamp <= 10 ? lamp - 1 : 10.6 + (lamp - 31);
  const double x = g.lamp_left + (slot + 0.5) * g.cell;
  const double y = kMargin + row * g.row_height + (g.row_height - 14) / 2;
  return QPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

void LampWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBackground);
  p.setRenderHint(QPainter::Antialiasing);
  const Geometry g = Layout();
  QFont title = font();
  title.setBold(true);
  title.setPointSizeF(font().pointSizeF() * 1.3);
  QFont small = font();
  small.setPointSizeF(std::max(6.0, font().pointSizeF() * 0.8));

  for (size_t r = 0; r < rows_.size(); ++r) {
    const Row& row = rows_[r];
    const double top = kMargin + r * g.row_height;
    if (r % 2 == 1) p.fillRect(QRectF(0, top, width(), g.row_height), QColor(30, 30, 36));

    const double text_top = top + (g.row_height - 14) / 2 - 26;
    p.setPen(kText);
    p.setFont(title);
    p.drawText(QRectF(kMargin, text_top, kLabelWidth, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Board %1").arg(row.number));
    p.setFont(font());
    p.setPen(kDimText);
    p.drawText(QRectF(kMargin, text_top + 22, kLabelWidth, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("GPS %1").arg(row.model.gps));
    p.drawText(QRectF(kMargin, text_top + 40, kLabelWidth, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1 reports/s").arg(std::lround(row.rate)));

    for (int lamp : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 31, 32}) {
      const QPoint c = LampCentre(static_cast<int>(r), lamp);
      const QColor colour = ToQColor(lamp <= 10 ? LampColour(row.model, lamp, seconds_)
                                                : SpareColour(row.model, lamp, seconds_));
      const double radius = (lamp <= 10 ? g.diameter : g.diameter * 0.7) / 2;
      const int glow = std::max({colour.red(), colour.green(), colour.blue()});
      if (glow > 0) {
        // A soft halo, stronger the brighter the lamp.
        QRadialGradient halo(c, radius * 1.35);
        QColor edge = colour;
        edge.setAlpha(0);
        QColor inner = colour;
        inner.setAlpha(glow / 3);
        halo.setColorAt(0.6, inner);
        halo.setColorAt(1.0, edge);
        p.setPen(Qt::NoPen);
        p.setBrush(halo);
        p.drawEllipse(QPointF(c), radius * 1.35, radius * 1.35);
      }
      p.setPen(QPen(kRim, 1.5));
      p.setBrush(colour);
      p.drawEllipse(QPointF(c), radius, radius);

      p.setPen(kDimText);
      p.setFont(small);
      p.drawText(QRectF(c.x() - g.cell / 2, c.y() + g.diameter / 2 + 1, g.cell, 14), Qt::AlignHCenter | Qt::AlignTop,
                 QString::number(lamp));
    }
  }
  p.end();
  if (painted_) painted_();
}

}  // namespace quorel_sim
