// Level analysis of one capture buffer, the running peak with its slow fall,
// and the automatic adjustment of the colour cuts. No toolkit here: the
// window binds its widgets to it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace sonovar {

inline constexpr size_t kCaptureBufferBytes = 512;  // 256 stereo frames, unsigned 8-bit

enum class Cut { kRed, kYellow, kGreen, kCyan };
inline constexpr std::array<Cut, 4> kCuts = {Cut::kRed, Cut::kYellow, Cut::kGreen, Cut::kCyan};
// Start values of the cut sliders (range 1..128).
inline constexpr std::array<int, 4> kCutStartValues = {25, 50, 75, 100};

class LevelAnalysis {
 public:
  // Results of the last buffer.
  int32_t SoundLevel = 0;  // 0..72
  int16_t RedCount = 0;    // samples in the red band, 0..512
  int16_t YellowCount = 0;

  // Band thresholds, from the red and yellow cut sliders.
  int16_t RedCutHigh = 0, RedCutLow = 0;
  int16_t YellowCutHigh = 0, YellowCutLow = 0;

  // The running peak (0..127) and the automatic adjustment.
  int Peak = 0;
  int16_t PeakSampleCount = 0;
  std::array<int16_t, 101> PeakSamples{};
  int16_t AveragedPeak = 0;

  // Analyses one buffer; true when the peak rose.
  bool Analyze(std::span<const uint8_t, kCaptureBufferBytes> buffer);

  // A cut slider moved to `value`: the thresholds it sets (red and yellow only).
  void CutChanged(Cut cut, int value);

  // True when the 50 ms tick has work: the peak is 64 or more.
  bool PeakFalls() const { return Peak >= 64; }

  // One 50 ms tick: records the peak, every 60 records averages them and
  // moves the four cut sliders through `set_slider` (red, yellow, green, cyan
  // in that order; the setter is expected to run the slider's change
  // handler), then lowers the peak by 1. True when the sliders were moved.
  bool PeakTick(const std::function<void(Cut, int)>& set_slider);
};

// Height of a cut's bar in drawing units (the background is 128 high).
inline int CutBarHeight(int value) { return 128 - value; }

}  // namespace sonovar
