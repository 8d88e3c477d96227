// Live drawing of the virtual boards in a terminal with 24-bit colour.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "board_model.h"

namespace quorel_sim {

struct ViewBoard {
  int number;
  const BoardModel* model;
  bool unplugged = false;
};

class TerminalView {
 public:
  static constexpr int kFrameMilliseconds = 33;  // at most 30 frames a second

  void Begin();  // alternate screen, cursor hidden
  void End();    // back to the user's screen
  void Resized() { size_known_ = false; }
  int MillisecondsToNextFrame() const;
  void Draw(const std::vector<ViewBoard>& boards, double seconds);

  // The screen for a terminal of the given size: the full view when it fits,
  // else one compact line per board, never wider than `columns`.
  static std::string Compose(const std::vector<ViewBoard>& boards, double seconds, int columns, int rows);

 private:
  std::chrono::steady_clock::time_point last_frame_{};
  bool size_known_ = false;
  int columns_ = 80, rows_ = 24;
};

}  // namespace quorel_sim
