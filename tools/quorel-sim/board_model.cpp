#include "board_model.h"

#include <algorithm>
#include <cmath>

namespace quorel_sim {

void BoardModel::Apply(std::span<const uint8_t, kReportLength> report) {
  ++reports;
  const uint8_t* payload = report.data() + 1;
  // A profile report may begin with 64 too; inside a group of four it is
  // still a profile report.
  if (next_profile == 0 && payload[0] == 64) {
    std::copy(payload + 1, payload + 5, banks.begin());
    gps = payload[5];
    return;
  }
  std::copy(payload, payload + 8, profile.begin() + 8 * next_profile);
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

double WavePeriod(uint8_t gps) { return 8.0 / (gps + 1.0); }

bool IsWaveform(uint8_t value) { return value >= kSaw && value <= kSawUp; }

double ChannelLevel(const BoardModel& board, int output, double seconds) {
  if (!board.OutputOn(output)) return 0.0;
  const uint8_t value = board.profile[output - 1];
  if (!IsWaveform(value)) return std::min(value, uint8_t{48}) / 48.0;
  double phase = std::fmod(seconds / WavePeriod(board.gps), 1.0);
  switch (value) {
    case kSaw: return phase < 0.5 ? phase * 2 : 2 - phase * 2;  // up and down again
    case kSquare: return phase < 0.5 ? 1.0 : 0.0;
    case kSawDown: return 1.0 - phase;
    default: return phase;  // kSawUp
  }
}

namespace {
uint8_t Byte(double level) { return static_cast<uint8_t>(std::lround(std::clamp(level, 0.0, 1.0) * 255)); }
}  // namespace

Rgb LampColour(const BoardModel& board, int lamp, double seconds) {
  const int first = 3 * lamp - 2;
  return {Byte(ChannelLevel(board, first, seconds)), Byte(ChannelLevel(board, first + 1, seconds)),
          Byte(ChannelLevel(board, first + 2, seconds))};
}

Rgb SpareColour(const BoardModel& board, int output, double seconds) {
  uint8_t v = Byte(ChannelLevel(board, output, seconds));
  return {v, v, v};
}

bool Animating(const BoardModel& board) {
  for (int output = 1; output <= 32; ++output)
    if (board.OutputOn(output) && IsWaveform(board.profile[output - 1])) return true;
  return false;
}

}  // namespace quorel_sim
