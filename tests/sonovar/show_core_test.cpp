// The show's peak tick without a thread: ShowCore driven with a clock of the
// test's own. One tick per 50 ms deadline, at the first buffer boundary at or
// after it; after a stall every deadline that passed runs, none twice; idle,
// the ticks stop once the peak no longer falls; a start does not restart a
// running tick. And what the ticks do to the cuts the view carries.
#include "sonovar/show/show_core.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/recording_board_link.h"

namespace sonovar {
namespace {

std::unique_ptr<ShowCore> MakeCore() {
  return std::make_unique<ShowCore>(std::make_unique<testing_support::RecordingBoardLink>());
}

// One call of RunDueTicks, and what is to hold after it.
struct Step {
  int64_t now;
  bool capturing;
  bool ran;
  int peak;
  int64_t next_tick;
  bool ticking;
};

struct Scenario {
  std::string name;
  int peak;  // set before the ticks start at 0
  std::vector<Step> steps;
};

class ShowCoreTicks : public ::testing::TestWithParam<Scenario> {};

TEST_P(ShowCoreTicks, FollowTheDeadlines) {
  const Scenario& scenario = GetParam();
  auto core = MakeCore();
  core->analysis.Peak = scenario.peak;
  core->StartTicks(0);
  for (size_t i = 0; i < scenario.steps.size(); ++i) {
    const Step& step = scenario.steps[i];
    SCOPED_TRACE("step " + std::to_string(i) + " at " + std::to_string(step.now));
    EXPECT_EQ(core->RunDueTicks(step.now, step.capturing), step.ran);
    EXPECT_EQ(core->analysis.Peak, step.peak);
    EXPECT_EQ(core->NextTick(), step.next_tick);
    EXPECT_EQ(core->Ticking(), step.ticking);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ShowCoreTicks,
    ::testing::Values(
        // Capturing: each buffer boundary runs the deadlines it reached.
        Scenario{"OnePerDeadlineNoneTwiceNoneSkipped",
                 100,
                 {{49'999, true, false, 100, 50'000, true},
                  {50'000, true, true, 99, 100'000, true},
                  {50'000, true, false, 99, 100'000, true},   // the same boundary again: nothing
                  {99'999, true, false, 99, 100'000, true},
                  {120'000, true, true, 98, 150'000, true},   // a late boundary: one tick, the grid kept
                  {400'000, true, true, 92, 450'000, true},   // a stall: all six deadlines run
                  {400'001, true, false, 92, 450'000, true}}},
        // Idle: the peak falls to 63 and the ticks stop; nothing runs after.
        Scenario{"IdleStopsBelow64",
                 65,
                 {{150'000, false, true, 63, 200'000, false},
                  {1'000'000, false, false, 63, 200'000, false}}},
        // Capturing, a peak below 64 stays, but the ticks go on until the
        // capture has ended.
        Scenario{"BelowWhileCapturingKeepsTicking",
                 10,
                 {{50'000, true, true, 10, 100'000, true},
                  {100'000, false, true, 10, 150'000, false}}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST(ShowCoreStartTicks, DoesNotRestartARunningTick) {
  auto core = MakeCore();
  EXPECT_FALSE(core->Ticking());
  core->StartTicks(10'000);
  EXPECT_TRUE(core->Ticking());
  EXPECT_EQ(core->NextTick(), 60'000);
  core->StartTicks(30'000);
  EXPECT_EQ(core->NextTick(), 60'000);
  // Stopped (idle, nothing falls): a start sets it going from then.
  EXPECT_TRUE(core->RunDueTicks(60'000, false));
  EXPECT_FALSE(core->Ticking());
  core->StartTicks(1'000'000);
  EXPECT_TRUE(core->Ticking());
  EXPECT_EQ(core->NextTick(), 1'050'000);
}

// A buffer whose loudest sample is +100, on the right channel.
std::array<uint8_t, kCaptureBufferBytes> LoudBuffer() {
  std::array<uint8_t, kCaptureBufferBytes> bytes;
  bytes.fill(128);
  bytes[101] = 228;
  return bytes;
}

TEST(ShowCoreView, SixtyTicksAtPeak100MoveTheCuts) {
  auto core = MakeCore();
  core->StartTicks(0);
  const auto buffer = LoudBuffer();
  for (int i = 1; i <= 60; ++i) {
    core->ProcessBuffer(buffer);
    ASSERT_EQ(core->analysis.Peak, 100);
    ASSERT_TRUE(core->RunDueTicks(i * kPeakTickMicros, true));
    if (i < 60) {
      ASSERT_EQ(core->View(true, 0).adjustments, 0u) << "tick " << i;
    }
  }
  const ShowView view = core->View(true, 7);
  EXPECT_EQ(view.peak, 99);
  EXPECT_EQ(view.averaged_peak, 40);
  EXPECT_EQ(view.cuts, (std::array<int, 4>{100, 108, 116, 124}));
  EXPECT_EQ(view.adjustments, 1u);
  EXPECT_EQ(view.applied_changes, 7u);
  EXPECT_TRUE(view.capturing);
  // The thresholds follow the moved red and yellow cuts.
  EXPECT_EQ(core->analysis.RedCutHigh, 28);
  EXPECT_EQ(core->analysis.YellowCutHigh, 20);
  // A user's move after that is what the view carries; no new adjustment.
  core->SetCut(Cut::kGreen, 33);
  EXPECT_EQ(core->View(false, 8).cuts, (std::array<int, 4>{100, 108, 33, 124}));
  EXPECT_EQ(core->View(false, 8).adjustments, 1u);
}

TEST(ShowCoreView, StartsAtTheStartCuts) {
  auto core = MakeCore();
  const ShowView view = core->View(false, 0);
  EXPECT_EQ(view.cuts, kCutStartValues);
  EXPECT_EQ(core->analysis.RedCutHigh, 103);
  EXPECT_EQ(core->analysis.YellowCutLow, -78);
  EXPECT_EQ(core->effects.EffectMode, kPulse);
}

}  // namespace
}  // namespace sonovar
