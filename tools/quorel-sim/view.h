// How the simulator shows its boards: in the terminal, in a window, or not at
// all. The simulator's loop waits through the view, so that a window can keep
// its own events flowing while the loop sleeps.
#pragma once

#include <poll.h>

#include <memory>
#include <vector>

#include "board_model.h"

namespace quorel_sim {

struct ViewBoard {
  int number;
  const BoardModel* model;
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

// The lamp window. When no window can be opened (no display, or a build
// without Qt) it says why on standard error and gives nullptr.
std::unique_ptr<View> MakeWindowView();

}  // namespace quorel_sim
