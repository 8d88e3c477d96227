// Auto level: a gain on each capture buffer before the level analysis, so
// that quiet music and a turned-down output reach the range the analysis
// works in. No toolkit here.
//
// The bands and the automatic cut adjustment act only near half scale and
// above; music mastered quietly, or played at a low software volume, never
// gets there. The gain brings the recent peak up to about 90 % of full
// scale, rises slowly, falls at once, stays within a ceiling, and leaves
// sound below a noise floor alone. Where the peaks already reach the range
// the gain is exactly 1 and the buffer passes untouched.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "sonovar/capture/level_analysis.h"

namespace sonovar {

// Where the held peak is brought to: about 90 % of full scale (128).
inline constexpr double kAutoLevelTarget = 115.0;
// Peaks that reach this (about 78 % of full scale) are in the range already:
// no gain, so that loud music's buffers reach the analysis untouched.
inline constexpr int kAutoLevelEnough = 100;
// The most gain ever given: 30 dB.
inline constexpr double kAutoLevelCeiling = 31.622776601683793;
// How long a peak holds the gain down: 64 buffers of 256 frames at
// 11025 Hz, about 1.5 s.
inline constexpr int kAutoLevelHoldBuffers = 64;
// How fast the gain may rise: 4 dB a second, per buffer of 23.2 ms.
inline constexpr double kAutoLevelRiseDbPerBuffer = 4.0 * 256 / 11025;
// The noise floor, as half the swing (largest minus smallest sample) held
// over the hold time, in steps of the 8-bit sample: the gain opens at 4 and
// closes at 2 or less, so that noise near the floor does not switch it on
// and off.
inline constexpr int kAutoLevelOpenSwing = 4;
inline constexpr int kAutoLevelCloseSwing = 2;

class AutoLevel {
 public:
  using Buffer = std::span<const uint8_t, kCaptureBufferBytes>;

  // The buffer the analysis is to see: `in` itself while the gain is
  // exactly 1, else the gained copy (valid until the next call).
  Buffer Apply(Buffer in);

  // The gain the last buffer got, as a factor (1 or more) and in dB.
  double Gain() const { return gain_; }
  double GainDb() const;

  // Back to gain 1 with no sound heard, as at the start.
  void Reset();

 private:
  struct Heard {
    uint8_t reach = 0;  // the largest distance of a sample from the centre
    uint8_t swing = 0;  // half of the largest minus the smallest sample
  };
  void Scale(Buffer in);

  std::array<Heard, kAutoLevelHoldBuffers> heard_{};
  size_t next_ = 0;
  bool open_ = false;  // sound above the noise floor within the hold time
  double gain_ = 1.0;
  uint32_t noise_ = 0x2545F491u;  // the spreading's generator, fixed for repeatable shows
  std::array<uint8_t, kCaptureBufferBytes> out_{};
};

}  // namespace sonovar
