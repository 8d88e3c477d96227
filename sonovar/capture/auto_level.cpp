#include "sonovar/capture/auto_level.h"

#include <algorithm>
#include <cmath>

namespace sonovar {

namespace {

const double kRiseFactor = std::pow(10.0, kAutoLevelRiseDbPerBuffer / 20);

}  // namespace

AutoLevel::Buffer AutoLevel::Apply(Buffer in) {
  const auto [low, high] = std::minmax_element(in.begin(), in.end());
  heard_[next_] = {static_cast<uint8_t>(std::max(128 - *low, *high - 128)), static_cast<uint8_t>((*high - *low) / 2)};
  next_ = (next_ + 1) % heard_.size();
  Heard held;
  for (const Heard& h : heard_) {
    held.reach = std::max(held.reach, h.reach);
    held.swing = std::max(held.swing, h.swing);
  }
  // The swing, not the reach, opens the gain: a capture whose silence sits
  // off the centre has reach but no swing, and must stay dark.
  if (held.swing >= kAutoLevelOpenSwing) open_ = true;
  else if (held.swing <= kAutoLevelCloseSwing) open_ = false;
  // Half a step more than the reach: a sample spread over its step (below)
  // still ends within the target, so nothing is ever clipped.
  const double wanted =
      open_ && held.reach < kAutoLevelEnough ? std::min(kAutoLevelTarget / (held.reach + 0.5), kAutoLevelCeiling) : 1.0;
  // At once down, this very buffer included; slowly up.
  gain_ = wanted <= gain_ ? wanted : std::min(wanted, gain_ * kRiseFactor);
  if (gain_ == 1.0) return in;
  Scale(in);
  return out_;
}

// Each 8-bit step magnified by the gain would leave the analysis a coarse
// staircase: a few levels, each lighting a band all at once. A sample
// stands for any value within half a step of it, so it is spread evenly over
// that step before the gain: the bands then fill in proportion to the sound.
// The centre stays the centre, so that pauses within the music stay dark.
void AutoLevel::Scale(Buffer in) {
  constexpr double kUnit = 1.0 / (1u << 24);
  for (size_t i = 0; i < in.size(); ++i) {
    const int x = in[i] - 128;
    if (x == 0) {
      out_[i] = 128;
      continue;
    }
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    const double spread = x + (noise_ >> 8) * kUnit - 0.5;
    out_[i] = static_cast<uint8_t>(std::clamp(128 + std::lrint(spread * gain_), 0L, 255L));
  }
}

double AutoLevel::GainDb() const { return 20 * std::log10(gain_); }

void AutoLevel::Reset() { *this = AutoLevel(); }

}  // namespace sonovar
