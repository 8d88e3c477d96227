// The lamps of one board through the show, with auto level and without, on
// sound of known level: quiet music as lively as loud music, silence and
// faint noise dark, and off the show exactly as before auto level.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "support/synthetic_music.h"

namespace sonovar {
namespace {

namespace syn = testing_support::synthetic;

// The first 10 s let the gain settle; the share is of the 10 s after.
constexpr size_t kSettled = 10 * syn::kRate / syn::kFrames;

// Loud music: the beat with its peaks at full scale (RMS about -17 dBFS).
const syn::Lamps& LoudReference() {
  static const syn::Lamps loud = syn::Play(syn::Buffers(syn::AtPeak(syn::Beat(20), 0)), true, kSettled);
  return loud;
}

// kDull: the lamps change in less than half as many buffers as with auto
// level on, the fault auto level mends.
enum class Want { kLikeLoud, kDark, kDull, kAsOn };

struct Case {
  std::string name;
  std::function<std::vector<float>()> sound;
  Want off, on;
};

class AutoLevelLamps : public ::testing::TestWithParam<Case> {};

void Expect(Want want, const syn::Lamps& lamps, const syn::Lamps& on, const syn::Lamps& loud) {
  switch (want) {
    case Want::kLikeLoud:
      EXPECT_GE(lamps.changing, 0.9 * loud.changing);
      EXPECT_LE(lamps.dark, loud.dark + 0.05);
      break;
    case Want::kDark:
      EXPECT_EQ(lamps.changing, 0.0);
      EXPECT_EQ(lamps.dark, 1.0);
      break;
    case Want::kDull: EXPECT_LT(lamps.changing, 0.5 * on.changing); break;
    case Want::kAsOn:
      EXPECT_EQ(lamps.changing, on.changing);
      EXPECT_EQ(lamps.dark, on.dark);
      break;
  }
}

TEST_P(AutoLevelLamps, LightAsTheSoundDeserves) {
  const auto buffers = syn::Buffers(GetParam().sound());
  const syn::Lamps off = syn::Play(buffers, false, kSettled), on = syn::Play(buffers, true, kSettled);
  const syn::Lamps& loud = LoudReference();
  std::printf(
      "%-24s lamps change / are dark: off %5.1f %% / %5.1f %%, on %5.1f %% / %5.1f %% (loud: %.1f %% / %.1f %%)\n",
      GetParam().name.c_str(), 100 * off.changing, 100 * off.dark, 100 * on.changing, 100 * on.dark,
      100 * loud.changing, 100 * loud.dark);
  ASSERT_GT(loud.changing, 0.3);
  {
    SCOPED_TRACE("auto level off");
    Expect(GetParam().off, off, on, loud);
  }
  SCOPED_TRACE("auto level on");
  Expect(GetParam().on, on, on, loud);
}

std::vector<float> Silence() { return std::vector<float>(20 * syn::kRate, 0.0f); }

INSTANTIATE_TEST_SUITE_P(
    Sounds, AutoLevelLamps,
    ::testing::Values(
        Case{"beat_peaking_at_full_scale", [] { return syn::AtPeak(syn::Beat(20), 0); }, Want::kAsOn, Want::kLikeLoud},
        Case{"beat_at_minus_6_dBFS", [] { return syn::AtRms(syn::Beat(20), -6); }, Want::kAsOn, Want::kLikeLoud},
        Case{"beat_at_minus_20_dBFS", [] { return syn::AtRms(syn::Beat(20), -20); }, Want::kLikeLoud, Want::kLikeLoud},
        Case{"beat_at_minus_30_dBFS", [] { return syn::AtRms(syn::Beat(20), -30); }, Want::kDull, Want::kLikeLoud},
        Case{"beat_at_minus_40_dBFS", [] { return syn::AtRms(syn::Beat(20), -40); }, Want::kDull, Want::kLikeLoud},
        Case{"silence", Silence, Want::kDark, Want::kDark},
        Case{"noise_at_minus_60_dBFS", [] { return syn::Noise(20, -60); }, Want::kDark, Want::kDark}),
    [](const auto& info) { return info.param.name; });

// Off, the show analyses the capture's own bytes: its results are those of
// the analysis alone, buffer for buffer, also for quiet sound.
TEST(AutoLevelLampsTest, OffIsTodaysAnalysisExactly) {
  ShowCore core(std::make_unique<testing_support::RecordingBoardLink>());
  core.SetAutoLevel(false);
  LevelAnalysis alone;
  for (size_t i = 0; i < kCuts.size(); ++i) alone.CutChanged(kCuts[i], kCutStartValues[i]);
  const auto buffers = syn::Buffers(syn::AtRms(syn::Beat(4), -30));
  for (const auto& b : buffers) {
    const std::span<const uint8_t, kCaptureBufferBytes> s(b.data(), b.size());
    core.ProcessBuffer(s);
    alone.Analyze(s);
    ASSERT_EQ(core.analysis.SoundLevel, alone.SoundLevel);
    ASSERT_EQ(core.analysis.RedCount, alone.RedCount);
    ASSERT_EQ(core.analysis.YellowCount, alone.YellowCount);
    ASSERT_EQ(core.analysis.Peak, alone.Peak);
  }
  EXPECT_EQ(core.View(true, 0).gain_db, 0);
}

// On, the view carries the gain in use; turned off and on again it starts afresh.
TEST(AutoLevelLampsTest, TheViewCarriesTheGainAndOffResetsIt) {
  ShowCore core(std::make_unique<testing_support::RecordingBoardLink>());
  const auto buffers = syn::Buffers(syn::AtRms(syn::Beat(12), -30));
  for (const auto& b : buffers) core.ProcessBuffer(std::span<const uint8_t, kCaptureBufferBytes>(b.data(), b.size()));
  EXPECT_EQ(core.View(true, 0).gain_db, std::lround(core.auto_level.GainDb()));
  EXPECT_GT(core.View(true, 0).gain_db, 10);
  core.SetAutoLevel(false);
  core.SetAutoLevel(true);
  EXPECT_EQ(core.auto_level.Gain(), 1.0);
}

}  // namespace
}  // namespace sonovar
