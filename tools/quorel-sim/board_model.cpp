#include "board_model.h"

#include <algorithm>
#include <cmath>

#include "common/levels.h"

namespace quorel_sim {

bool StateShaped(std::span<const uint8_t, kReportLength> report) {
  return report[1] == 64 && report[7] == 0 && report[8] == 0;
}

bool BoardModel::Receive(std::span<const uint8_t, kReportLength> report, double seconds) {
  ++reports;
  const bool changed = Settle(seconds);
  last_arrival_ = seconds;
  Report copy;
  std::copy(report.begin(), report.end(), copy.begin());
  if (held_.empty() && (next_profile != 0 || !StateShaped(report))) {
    ApplyProfile(copy);
    return true;
  }
  held_.push_back(copy);
  if (held_.size() >= kMaxHeldReports) {
    Decide();
    return true;
  }
  return changed;
}

bool BoardModel::Settle(double seconds) {
  if (held_.empty() || seconds - last_arrival_ < kBurstGap) return false;
  Decide();
  return true;
}

// The held burst begins at the start of a group. It is read as groups of
// four and single state reports at the lowest cost: a state-shaped report
// read as profile values costs 2, ending in an open group (which the next
// burst completes: a writer paused inside a command) costs 3. On a tie the
// group wins ("PBA:64,1,0,0,0,0,0,0,..." then "SBA" in one burst).
void BoardModel::Decide() {
  const size_t n = held_.size();
  constexpr int kShapedAsProfile = 2, kOpenEnd = 3, kState = 0;
  auto shaped = [&](size_t from, size_t to) {
    int count = 0;
    for (size_t k = from; k < to; ++k) count += StateShaped(held_[k]);
    return count;
  };
  std::vector<int> cost(n + 1, 0), step(n + 1, 0);  // step: reports of a group, or kState
  for (size_t i = n; i-- > 0;) {
    const size_t group_end = std::min(i + 4, n);
    cost[i] = cost[group_end] + kShapedAsProfile * shaped(i, group_end) + (group_end - i < 4 ? kOpenEnd : 0);
    step[i] = static_cast<int>(group_end - i);
    if (StateShaped(held_[i]) && cost[i + 1] < cost[i]) {
      cost[i] = cost[i + 1];
      step[i] = kState;
    }
  }
  for (size_t i = 0; i < n;) {
    if (step[i] == kState) {
      ApplyState(held_[i++]);
      continue;
    }
    for (int k = 0; k < step[i]; ++k) ApplyProfile(held_[i + k]);
    i += step[i];
  }
  held_.clear();
}

void BoardModel::ApplyState(const Report& report) {
  std::copy(report.begin() + 2, report.begin() + 6, banks.begin());
  gps = report[6];
}

void BoardModel::ApplyProfile(const Report& report) {
  std::copy(report.begin() + 1, report.end(), profile.begin() + 8 * next_profile);
  next_profile = (next_profile + 1) % 4;
}

bool BoardModel::OutputOn(int output) const {
  return (banks[(output - 1) / 8] >> ((output - 1) % 8)) & 1;
}

void ReportFramer::Feed(std::span<const uint8_t> bytes,
                        const std::function<void(std::span<const uint8_t, kReportLength>)>& report) {
  for (uint8_t byte : bytes) {
    if (pending_.empty() && byte != 0) {
      ++dropped_;
      continue;
    }
    pending_.push_back(byte);
    if (pending_.size() == kReportLength) {
      report(std::span<const uint8_t, kReportLength>(pending_.data(), kReportLength));
      pending_.clear();
    }
  }
}

void ReportFramer::DropPartial() {
  dropped_ += pending_.size();
  pending_.clear();
}

uint8_t ChannelLevel(const BoardModel& board, int output, double seconds) {
  return common::OutputLevel(board.OutputOn(output), board.profile[output - 1], board.gps, seconds);
}

Rgb LampColour(const BoardModel& board, int lamp, double seconds) {
  const int first = 3 * lamp - 2;
  return {ChannelLevel(board, first, seconds), ChannelLevel(board, first + 1, seconds),
          ChannelLevel(board, first + 2, seconds)};
}

Rgb SpareColour(const BoardModel& board, int output, double seconds) {
  const uint8_t v = ChannelLevel(board, output, seconds);
  return {v, v, v};
}

bool Animating(const BoardModel& board) {
  for (int output = 1; output <= 32; ++output)
    if (board.OutputOn(output) && common::IsWaveform(board.profile[output - 1])) return true;
  return false;
}

}  // namespace quorel_sim
