#include "sonovar/capture/level_analysis.h"

#include <algorithm>
#include <cmath>

#include "common/numbers.h"

namespace sonovar {

namespace {

constexpr std::array<double, 4> kAutomaticFactors = {0.3, 0.5, 0.7, 0.9};

}  // namespace

bool LevelAnalysis::Analyze(std::span<const uint8_t, kCaptureBufferBytes> buffer) {
  RedCount = 0;
  YellowCount = 0;
  int32_t left_sum = 0, right_sum = 0;
  const int peak_before = Peak;
  // The red test first; each sample counts in one band at most.
  auto count = [this](int x) {
    if (x >= RedCutHigh || x <= RedCutLow) ++RedCount;
    else if ((YellowCutHigh <= x && x <= RedCutHigh) || (RedCutLow <= x && x <= YellowCutLow)) ++YellowCount;
  };
  for (size_t k = 0; k < kCaptureBufferBytes / 2; ++k) {
    const int left = buffer[2 * k] - 128;
    const int right = buffer[2 * k + 1] - 128;
    left_sum += left * left;
    right_sum += right * right;
    Peak = std::max(Peak, std::max(left, right));
    count(right);
    count(left);
  }
  const float left_rms = static_cast<float>(std::sqrt(left_sum / 256.0));
  const float right_rms = static_cast<float>(std::sqrt(right_sum / 256.0));
  // Not the mean: the left channel weighs half as much as the right one.
  const int raw = static_cast<int>(std::floor(left_rms / 2.0f + right_rms));
  SoundLevel = static_cast<int32_t>(common::RoundHalfEven(raw * 48 / 128.0));
  return Peak > peak_before;
}

void LevelAnalysis::CutChanged(Cut cut, int value) {
  if (cut == Cut::kRed) {
    RedCutHigh = static_cast<int16_t>(128 - value);
    RedCutLow = static_cast<int16_t>(value - 128);
  } else if (cut == Cut::kYellow) {
    YellowCutHigh = static_cast<int16_t>(128 - value);
    YellowCutLow = static_cast<int16_t>(value - 128);
  }
}

bool LevelAnalysis::PeakTick(const std::function<void(Cut, int)>& set_slider) {
  if (!PeakFalls()) return false;
  bool moved = false;
  PeakSamples[++PeakSampleCount] = static_cast<int16_t>(Peak);
  if (PeakSampleCount == 60) {
    int sum = 0;
    for (int i = 1; i <= 60; ++i) sum += PeakSamples[i];
    const int average = sum / 60;  // the samples are positive: floor
    AveragedPeak = static_cast<int16_t>(common::RoundHalfEven((average + AveragedPeak) / 2.0 - 10));
    const double p = AveragedPeak;
    for (size_t c = 0; c < kCuts.size(); ++c)
      set_slider(kCuts[c], static_cast<int>(std::floor(p * kAutomaticFactors[c] + (128 - p))));
    PeakSampleCount = 0;
    moved = true;
  }
  --Peak;
  return moved;
}

}  // namespace sonovar
