// How the simulator shows its boards: in the terminal, in a window, or not at
// all. The simulator's loop waits through the view, so that a window can keep
// its own events flowing while the loop sleeps.
#pragma once

#include <poll.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "board_model.h"

namespace quorel_sim {

struct ViewBoard {
  int number;
  const BoardModel* model;
  bool unplugged = false;
};

class View {
 public:
  virtual ~View() = default;
  virtual void Begin() {}
  virtual void End() {}
  virtual void Resized() {}
  virtual int MillisecondsToNextFrame() const = 0;
  virtual void Draw(const std::vector<ViewBoard>& boards, double seconds) = 0;
  // Waits like poll(2) for the board nodes and the signal pipe.
  virtual int Wait(std::vector<pollfd>& fds, int timeout_ms) {
    return ::poll(fds.data(), fds.size(), timeout_ms);
  }
};

// Reports a second, counted over spans of at least one second: it settles
// at 0 once a whole span passed without reports, and then needs no more
// updates (an idle window stays idle).
class ReportRate {
 public:
  // True when the rate shown changed.
  bool Update(uint64_t reports, double seconds) {
    latest_ = reports;
    if (since_ < 0) {
      since_ = seconds;
      count_ = reports;
      return false;
    }
    if (seconds - since_ < 1.0) return false;
    const double rate = (reports - count_) / (seconds - since_);
    since_ = seconds;
    count_ = reports;
    const bool changed = std::lround(rate) != std::lround(rate_);
    rate_ = rate;
    return changed;
  }
  double value() const { return rate_; }
  // When Update has something to do next; infinity once settled at 0.
  double due() const {
    return std::lround(rate_) == 0 && latest_ == count_ ? std::numeric_limits<double>::infinity() : since_ + 1.0;
  }

 private:
  double since_ = -1;
  uint64_t count_ = 0, latest_ = 0;
  double rate_ = 0;
};

// The lamp window. When no window can be opened (no display, or a build
// without Qt) it says why on standard error and gives nullptr.
std::unique_ptr<View> MakeWindowView();

}  // namespace quorel_sim
