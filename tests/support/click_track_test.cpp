// The timing instruments' own parts: the click track's clicks are where it
// says, apart as it says, and the onset finder finds each of them to the
// frame, whichever way the track is cut into reads.
#include "support/click_track.h"

#include <gtest/gtest.h>

#include "support/paced_audio.h"

namespace testing_support {
namespace {

constexpr int kRate = 44100;

// The frames at which the finder hears an onset, reading `chunk` frames at a time.
std::vector<int64_t> FoundOnsets(const ClickTrack& track, int64_t chunk) {
  OnsetFinder finder;
  std::vector<int64_t> found;
  std::vector<int16_t> samples(static_cast<size_t>(2 * chunk));
  for (int64_t first = 0; first < track.frames(); first += chunk) {
    const int64_t count = std::min(chunk, track.frames() - first);
    track.Fill(first, count, samples.data());
    for (int64_t k = 0; k < count; ++k)
      if (finder.Feed(samples[2 * k], samples[2 * k + 1], (first + k) * 1000000 / kRate)) found.push_back(first + k);
  }
  return found;
}

TEST(ClickTrackTest, ClicksAreSpacedWithJitterAfterTheLead) {
  const ClickTrack track(kRate, 20);
  ASSERT_GE(track.onsets().size(), 24u);
  EXPECT_EQ(track.onsets()[0], kRate);  // a second of silence first
  double shortest = 1e9, longest = 0;
  for (size_t i = 1; i < track.onsets().size(); ++i) {
    const double gap = static_cast<double>(track.onsets()[i] - track.onsets()[i - 1]) / kRate;
    shortest = std::min(shortest, gap);
    longest = std::max(longest, gap);
  }
  EXPECT_GE(shortest, ClickTrack::kSpacing - ClickTrack::kJitter - 0.001);
  EXPECT_LE(longest, ClickTrack::kSpacing + ClickTrack::kJitter + 0.001);
  EXPECT_GT(longest - shortest, 0.1);  // not a steady beat: one offset lines clicks and lights up
  EXPECT_LT(track.onsets().back() + ClickTrack::kSpacing * kRate, track.frames());
}

TEST(ClickTrackTest, TheFinderHearsEveryClickAtItsFirstFrame) {
  const ClickTrack track(kRate, 12, 7);
  for (int64_t chunk : {1, 220, 4096, 44100}) EXPECT_EQ(FoundOnsets(track, chunk), track.onsets()) << chunk;
}

TEST(ClickTrackTest, SilenceBetweenClicksIsExactZeroAndEveryClickSampleIsLoud) {
  const ClickTrack track(kRate, 5);
  const int64_t burst = static_cast<int64_t>(ClickTrack::kBurst * kRate + 0.5);
  const int64_t click = track.onsets()[1];
  EXPECT_EQ(track.Sample(click - 1), 0);
  for (int64_t n = click; n < click + burst; ++n) ASSERT_GE(std::abs(track.Sample(n)), OnsetFinder::kLoud) << n;
  EXPECT_EQ(track.Sample(click + burst), 0);
  EXPECT_EQ(track.Sample(track.frames() + 10), 0);
  EXPECT_GE(std::abs(track.Sample(click)), OnsetFinder::kLoud);  // read again after the end
}

TEST(SampleClockTest, FramesFallDueAtTheSoundsPace) {
  const SampleClock clock(kRate, 5000000);
  EXPECT_EQ(clock.FramesDueAt(4000000), 0);
  EXPECT_EQ(clock.FramesDueAt(6000000), kRate);
  EXPECT_EQ(clock.TimeOf(kRate / 2), 5500000);
}

}  // namespace
}  // namespace testing_support
