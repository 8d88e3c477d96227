// box_BG: the background on which the four colour-cut bars are drawn, each
// centred vertically, in drawing units of 128 for the full height.
#pragma once

#include <array>
#include <QWidget>

#include "sonovar/capture/level_analysis.h"

namespace sonovar {

class CutBars : public QWidget {
 public:
  explicit CutBars(QWidget* parent = nullptr);

  void SetBarHeight(Cut cut, int height);
  int BarHeight(Cut cut) const { return heights_[static_cast<size_t>(cut)]; }
  // The bar's rectangle in widget pixels (tests look at it).
  QRect BarRect(Cut cut) const;

  QSize sizeHint() const override { return {120, 256}; }
  QSize minimumSizeHint() const override { return {80, 128}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<int, 4> heights_{};
};

}  // namespace sonovar
