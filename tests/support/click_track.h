// A click track for timing the lights against the sound: loud square-wave
// bursts in digital silence, about 0.7 s apart. The spacing varies at random
// (a fixed seed, so a run can be repeated) so that a sequence of onsets and a
// sequence of lights match at one offset only, even when the lights are off
// by half a spacing or more. Each burst is loud from its first sample, and
// the silence between is exact zero, so an onset is found to the sample.
// Signed 16-bit stereo at the rate given.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace testing_support {

class ClickTrack {
 public:
  static constexpr double kLead = 1.0;     // s of silence before the first click
  static constexpr double kSpacing = 0.7;  // s between clicks, on average
  static constexpr double kJitter = 0.15;  // s either way
  static constexpr double kBurst = 0.05;   // s of sound a click
  static constexpr int16_t kAmplitude = 29000;

  ClickTrack(int rate, double seconds, uint32_t seed = 1) : rate_(rate), frames_(Frames(seconds)) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-kJitter, kJitter);
    // The last click ends well before the track does.
    for (double at = kLead; at + kSpacing < seconds; at += kSpacing + jitter(random)) onsets_.push_back(Frames(at));
  }

  int rate() const { return rate_; }
  int64_t frames() const { return frames_; }
  // The first frame of each click, in order.
  const std::vector<int64_t>& onsets() const { return onsets_; }

  // Frame `n`'s sample (both channels alike); silence beyond the track.
  int16_t Sample(int64_t n) const {
    // The onsets rise: the click that may hold n is the last one at or before it.
    while (next_ < onsets_.size() && onsets_[next_] <= n) ++next_;
    while (next_ > 0 && onsets_[next_ - 1] > n) --next_;
    if (next_ == 0) return 0;
    const int64_t into = n - onsets_[next_ - 1];
    if (into >= Frames(kBurst)) return 0;
    // A 500 Hz square wave: loud at every sample, first to last.
    return (into / Frames(0.001)) % 2 == 0 ? kAmplitude : -kAmplitude;
  }

  // Frames first..first+count-1 as interleaved stereo samples.
  void Fill(int64_t first, int64_t count, int16_t* out) const {
    for (int64_t k = 0; k < count; ++k) out[2 * k] = out[2 * k + 1] = Sample(first + k);
  }

 private:
  int64_t Frames(double seconds) const { return static_cast<int64_t>(seconds * rate_ + 0.5); }

  int rate_;
  int64_t frames_;
  std::vector<int64_t> onsets_;
  mutable size_t next_ = 0;  // where the last Sample found its click: reads go forward
};

}  // namespace testing_support
