// Live drawing of the virtual boards in a terminal with 24-bit colour.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "view.h"

namespace quorel_sim {

class TerminalView final : public View {
 public:
  static constexpr int kFrameMilliseconds = 33;  // at most 30 frames a second

  void Begin() override;  // alternate screen, cursor hidden
  void End() override;    // back to the user's screen
  void Resized() override { size_known_ = false; }
  int MillisecondsToNextFrame() const override;
  void Draw(const std::vector<ViewBoard>& boards, double seconds) override;

  // The screen for a terminal of the given size: the full view when it fits,
  // else one compact line per board, never wider than `columns`.
  static std::string Compose(const std::vector<ViewBoard>& boards, double seconds, int columns, int rows);

 private:
  std::chrono::steady_clock::time_point last_frame_{};
  bool size_known_ = false;
  int columns_ = 80, rows_ = 24;
};

}  // namespace quorel_sim
