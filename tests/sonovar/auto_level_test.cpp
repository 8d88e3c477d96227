// Auto level's gain on sound of known level: exactly 1 (and the very bytes)
// where the peaks reach the range, a slow rise, an instant fall, the
// ceiling, the noise floor, and quiet input spread smoothly over the range.
#include "sonovar/capture/auto_level.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "support/synthetic_music.h"

namespace sonovar {
namespace {

namespace syn = testing_support::synthetic;
using Span = std::span<const uint8_t, kCaptureBufferBytes>;

Span AsSpan(const std::vector<uint8_t>& b) { return Span(b.data(), b.size()); }

int Reach(Span b) {
  int reach = 0;
  for (uint8_t x : b) reach = std::max(reach, std::abs(x - 128));
  return reach;
}

// What the gain did through a sound: per buffer, the gain and whether the
// input itself was handed on.
struct GainRun {
  std::vector<double> gain;
  std::vector<bool> untouched;
  int most_out = 0;  // the largest distance from the centre of a gained buffer
};

GainRun Through(const std::vector<std::vector<uint8_t>>& buffers) {
  AutoLevel level;
  GainRun run;
  for (const auto& b : buffers) {
    const Span out = level.Apply(AsSpan(b));
    run.gain.push_back(level.Gain());
    run.untouched.push_back(out.data() == b.data());
    if (out.data() != b.data()) run.most_out = std::max(run.most_out, Reach(out));
  }
  return run;
}

struct Case {
  std::string name;
  std::function<std::vector<float>()> sound;
  bool stays_one;  // the gain is exactly 1 throughout, the input handed on
};

class AutoLevelGain : public ::testing::TestWithParam<Case> {};

TEST_P(AutoLevelGain, RisesSlowlyFallsAtOnceAndNeverClips) {
  const auto buffers = syn::Buffers(GetParam().sound());
  const GainRun run = Through(buffers);
  const double rise = std::pow(10.0, kAutoLevelRiseDbPerBuffer / 20) * (1 + 1e-12);
  for (size_t i = 0; i < run.gain.size(); ++i) {
    ASSERT_GE(run.gain[i], 1.0) << i;
    ASSERT_LE(run.gain[i], kAutoLevelCeiling) << i;
    if (i > 0) { ASSERT_LE(run.gain[i], run.gain[i - 1] * rise) << i; }
    ASSERT_EQ(run.untouched[i], run.gain[i] == 1.0) << i;
    if (GetParam().stays_one) { ASSERT_TRUE(run.untouched[i]) << i; }
  }
  EXPECT_LE(run.most_out, kAutoLevelTarget);
  // Settled: the held peak brought to the target, within the ceiling.
  if (GetParam().stays_one) return;
  int held = 0;
  for (size_t i = buffers.size() - kAutoLevelHoldBuffers; i < buffers.size(); ++i)
    held = std::max(held, Reach(AsSpan(buffers[i])));
  EXPECT_DOUBLE_EQ(run.gain.back(), std::min(kAutoLevelTarget / (held + 0.5), kAutoLevelCeiling));
}

std::vector<float> Dc(double seconds, float offset) { return std::vector<float>(seconds * syn::kRate, offset); }

INSTANTIATE_TEST_SUITE_P(
    Sounds, AutoLevelGain,
    ::testing::Values(Case{"beat_peaking_at_full_scale", [] { return syn::AtPeak(syn::Beat(8), 0); }, true},
                      Case{"beat_peaking_at_minus_0_8_dB", [] { return syn::AtPeak(syn::Beat(8), -0.8); }, true},
                      Case{"beat_at_minus_20_dBFS", [] { return syn::AtRms(syn::Beat(20), -20); }, false},
                      Case{"beat_at_minus_30_dBFS", [] { return syn::AtRms(syn::Beat(20), -30); }, false},
                      Case{"beat_at_minus_40_dBFS", [] { return syn::AtRms(syn::Beat(20), -40); }, false},
                      Case{"silence", [] { return Dc(5, 0); }, true},
                      Case{"noise_at_minus_60_dBFS", [] { return syn::Noise(10, -60); }, true},
                      Case{"noise_at_minus_50_dBFS", [] { return syn::Noise(10, -50); }, true},
                      // A capture whose silence sits off the centre: no swing, no gain.
                      Case{"silence_off_the_centre", [] { return Dc(5, -6.0f / 128); }, true}),
    [](const auto& info) { return info.param.name; });

// A quiet intro and the first loud bar; a loud song with a quiet passage.
TEST(AutoLevelTest, AQuietPassageHoldsTheGainThenTheLoudBarDropsItAtOnce) {
  std::vector<float> song = syn::AtPeak(syn::Beat(10), 0);
  const std::vector<float> quiet = syn::AtRms(syn::Beat(10, 2), -30);
  const size_t loud_buffers = song.size() / syn::kFrames;
  song.insert(song.begin() + static_cast<long>(loud_buffers * syn::kFrames), quiet.begin(), quiet.end());
  const size_t back = song.size() / syn::kFrames;
  const std::vector<float> loud_again = syn::AtPeak(syn::Beat(2, 3), 0);
  song.insert(song.begin() + static_cast<long>(back * syn::kFrames), loud_again.begin(), loud_again.end());
  const auto buffers = syn::Buffers(song);
  const GainRun run = Through(buffers);
  // The last loud peak holds the gain at 1 for the hold time.
  size_t last_loud = 0;
  for (size_t i = 0; i < loud_buffers; ++i)
    if (Reach(AsSpan(buffers[i])) >= kAutoLevelEnough) last_loud = i;
  ASSERT_GT(last_loud + 30, loud_buffers);
  for (size_t i = 0; i < last_loud + kAutoLevelHoldBuffers; ++i) ASSERT_EQ(run.gain[i], 1.0) << i;
  EXPECT_GT(run.gain[last_loud + kAutoLevelHoldBuffers], 1.0);
  EXPECT_GT(run.gain[back - 1], syn::FromDb(10));
  // The first loud buffer already gets no more than its own peak allows.
  EXPECT_EQ(run.gain[back], 1.0);
  EXPECT_LE(run.most_out, kAutoLevelTarget);
}

// At gain 1 the analysis gets the capture's own bytes; above it a quiet
// sound's few 8-bit steps become many values, so that the red band fills
// gradually as its cut moves instead of in a few jumps.
TEST(AutoLevelTest, QuietInputIsSpreadOverTheRangeNotStepped) {
  const auto buffers = syn::Buffers(syn::AtRms(syn::Beat(12), -40));
  AutoLevel level;
  Span out = AsSpan(buffers[0]);
  std::vector<uint8_t> kept;
  size_t kept_at = 0;
  double gain = 1;
  for (size_t i = 0; i < buffers.size(); ++i) {
    out = level.Apply(AsSpan(buffers[i]));
    // A loud beat's buffer (the largest reach) at the settled gain.
    if (level.GainDb() > 20 && (kept.empty() || Reach(AsSpan(buffers[i])) > Reach(AsSpan(buffers[kept_at])))) {
      kept.assign(out.begin(), out.end());
      kept_at = i;
      gain = level.Gain();
    }
  }
  ASSERT_FALSE(kept.empty());
  const std::set<uint8_t> in_values(buffers[kept_at].begin(), buffers[kept_at].end());
  const std::set<uint8_t> out_values(kept.begin(), kept.end());
  EXPECT_GT(out_values.size(), 5 * in_values.size());
  // The largest jump of the red count as the red cut moves through its range.
  auto largest_jump = [](Span b) {
    LevelAnalysis analysis;
    int previous = -1, jump = 0;
    for (int cut = 1; cut <= 128; ++cut) {
      analysis.CutChanged(Cut::kRed, cut);
      analysis.Analyze(b);
      if (previous >= 0) jump = std::max(jump, std::abs(analysis.RedCount - previous));
      previous = analysis.RedCount;
    }
    return jump;
  };
  std::vector<uint8_t> stepped(buffers[kept_at]);
  for (uint8_t& x : stepped) x = static_cast<uint8_t>(std::clamp(128 + std::lrint((x - 128) * gain), 0L, 255L));
  EXPECT_LT(largest_jump(AsSpan(kept)) * 3, largest_jump(AsSpan(stepped)));
}

}  // namespace
}  // namespace sonovar
