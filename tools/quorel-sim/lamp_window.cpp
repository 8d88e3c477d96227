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

constexpr int kLamps[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 31, 32};  // ten lamps, then the spare outputs

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

// What every lamp of one radius shares, drawn once per size (a window sees
// few sizes): a halo of pure red, green and blue light each, and the rim.
// A frame then costs image blits and a plain disc fill per lamp instead of
// antialiased paths, which a redraw at 60 a second cannot afford.
const LampWindow::Sprites& LampWindow::SpritesFor(int radius) {
  auto it = sprites_.find(radius);
  if (it != sprites_.end()) return it->second;
  if (sprites_.size() >= 8) sprites_.clear();  // sizes of earlier window sizes
  Sprites sprites;
  auto blank = [](int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
  };
  const double outer = radius * 1.35;
  const int halo_side = 2 * static_cast<int>(std::ceil(outer)) + 3;  // odd: centred on a pixel like the disc
  const QColor pure[3] = {Qt::red, Qt::green, Qt::blue};
  for (int channel = 0; channel < 3; ++channel) {
    sprites.halo[channel] = blank(halo_side);
    QPainter p(&sprites.halo[channel]);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(halo_side / 2.0, halo_side / 2.0);
    QRadialGradient gradient(centre, outer);
    QColor inner = pure[channel], edge = pure[channel];
    inner.setAlpha(90);
    edge.setAlpha(0);
    gradient.setColorAt(0.6, inner);
    gradient.setColorAt(1.0, edge);
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawEllipse(centre, outer, outer);
  }
  // The rim covers the stepped edge of the plainly filled disc below it.
  const int rim_side = 2 * (radius + 2) + 1;
  sprites.rim = blank(rim_side);
  QPainter p(&sprites.rim);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(rim_side / 2.0, rim_side / 2.0);
  QPainterPath ring;
  ring.addEllipse(centre, radius + 1.0, radius + 1.0);
  ring.addEllipse(centre, radius - 0.75, radius - 0.75);
  p.fillPath(ring, kRim);
  p.end();
  return sprites_.emplace(radius, std::move(sprites)).first->second;
}

// Everything that changes only with the size or the boards shown: the
// background, the board numbers and the numbers under the lamps.
void LampWindow::PaintBackground(const Geometry& g) {
  background_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
  QPainter p(&background_);
  p.fillRect(rect(), kBackground);
  p.setRenderHint(QPainter::Antialiasing);
  QFont title = font();
  title.setBold(true);
  title.setPointSizeF(font().pointSizeF() * 1.3);
  QFont small = font();
  small.setPointSizeF(std::max(6.0, font().pointSizeF() * 0.8));
  for (size_t r = 0; r < rows_.size(); ++r) {
    const double top = kMargin + r * g.row_height;
    if (r % 2 == 1) p.fillRect(QRectF(0, top, width(), g.row_height), QColor(30, 30, 36));
    p.setPen(kText);
    p.setFont(title);
    p.drawText(QRectF(kMargin, TextTop(g, r), kLabelWidth, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Board %1").arg(rows_[r].number));
    p.setPen(kDimText);
    p.setFont(small);
    for (int lamp : kLamps) {
      const QPoint c = LampCentre(static_cast<int>(r), lamp);
      p.drawText(QRectF(c.x() - g.cell / 2, c.y() + g.diameter / 2 + 1, g.cell, 14), Qt::AlignHCenter | Qt::AlignTop,
                 QString::number(lamp));
    }
  }
  background_numbers_.clear();
  for (const Row& row : rows_) background_numbers_.push_back(row.number);
}

double LampWindow::TextTop(const Geometry& g, size_t row) const {
  return kMargin + row * g.row_height + (g.row_height - 14) / 2 - 26;
}

QPoint LampWindow::LampCentre(int row, int lamp) const {
  const Geometry g = Layout();
  const double slot = lamp <= 10 ? lamp - 1 : 10.6 + (lamp - 31);
  const double x = g.lamp_left + (slot + 0.5) * g.cell;
  const double y = kMargin + row * g.row_height + (g.row_height - 14) / 2;
  return QPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

void LampWindow::paintEvent(QPaintEvent*) {
  const Geometry g = Layout();
  std::vector<int> numbers;
  for (const Row& row : rows_) numbers.push_back(row.number);
  if (background_.size() != size() || numbers != background_numbers_) PaintBackground(g);

  QPainter p(this);
  p.drawImage(0, 0, background_);
  p.setPen(kDimText);
  for (size_t r = 0; r < rows_.size(); ++r) {
    const Row& row = rows_[r];
    const double text_top = TextTop(g, r);
    p.drawText(QRectF(kMargin, text_top + 22, kLabelWidth, 18), Qt::AlignLeft | Qt::AlignVCenter,
               row.unplugged ? QStringLiteral("unplugged") : QStringLiteral("GPS %1").arg(row.model.gps));
    p.drawText(QRectF(kMargin, text_top + 40, kLabelWidth, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1 reports/s").arg(std::lround(row.rate)));
  }
  p.setPen(Qt::NoPen);
  for (size_t r = 0; r < rows_.size(); ++r) {
    const Row& row = rows_[r];
    for (int lamp : kLamps) {
      const QPoint c = LampCentre(static_cast<int>(r), lamp);
      const Rgb colour = lamp <= 10 ? LampColour(row.model, lamp, seconds_) : SpareColour(row.model, lamp, seconds_);
      const int radius = std::max(2, static_cast<int>(std::lround((lamp <= 10 ? g.diameter : g.diameter * 0.7) / 2)));
      const Sprites& sprites = SpritesFor(radius);
      if (colour != Rgb{}) {
        // Light adds up: one halo per channel, each as bright as its channel.
        const int half = (sprites.halo[0].width() - 1) / 2;
        p.setCompositionMode(QPainter::CompositionMode_Plus);
        const uint8_t values[3] = {colour.r, colour.g, colour.b};
        for (int channel = 0; channel < 3; ++channel) {
          if (values[channel] == 0) continue;
          p.setOpacity(values[channel] / 255.0);
          p.drawImage(c - QPoint(half, half), sprites.halo[channel]);
        }
        p.setOpacity(1.0);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
      }
      p.setBrush(ToQColor(colour));
      p.drawEllipse(QRect(c.x() - radius, c.y() - radius, 2 * radius + 1, 2 * radius + 1));
      p.drawImage(c - QPoint(radius + 2, radius + 2), sprites.rim);
    }
  }
  p.end();
  if (painted_) painted_();
}

}  // namespace quorel_sim
