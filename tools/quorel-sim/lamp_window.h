// The lamp window of the virtual boards: one row per board with its ten RGB
// lamps and the two spare outputs, its number, GPS value and report rate.
// It draws a snapshot handed to it; it never reads the boards itself.
#pragma once

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <vector>

#include "view.h"

namespace quorel_sim {

class LampWindow : public QWidget {
 public:
  struct Row {
    int number = 0;
    BoardModel model;
    double rate = 0;  // reports a second
    bool unplugged = false;
  };

  explicit LampWindow(QWidget* parent = nullptr);

  // Takes the boards as they are at `seconds` and schedules one redraw.
  void Show(std::vector<Row> rows, double seconds);
  // Changes only the shown report rates.
  void ShowRates(const std::vector<double>& rates);
  // Called after every redraw.
  void OnPainted(std::function<void()> painted) { painted_ = std::move(painted); }
  const std::vector<Row>& rows() const { return rows_; }

  // Centre of lamp 1..10, or of spare output 31 or 32, in row 0.. .
  QPoint LampCentre(int row, int lamp) const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Geometry {
    double row_height, lamp_left, cell, diameter;
  };
  struct Sprites {
    std::array<QImage, 3> halo;  // red, green, blue
    QImage rim;
  };
  Geometry Layout() const;
  double TextTop(const Geometry& g, size_t row) const;
  const Sprites& SpritesFor(int radius);
  void PaintBackground(const Geometry& g);

  std::vector<Row> rows_;
  double seconds_ = 0;
  std::function<void()> painted_;
  std::map<int, Sprites> sprites_;  // by lamp radius
  QImage background_;
  std::vector<int> background_numbers_;  // the boards it was drawn for
};

}  // namespace quorel_sim
