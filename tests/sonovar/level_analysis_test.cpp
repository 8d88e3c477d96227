#include "sonovar/capture/level_analysis.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace sonovar {
namespace {

using Buffer = std::array<uint8_t, kCaptureBufferBytes>;

// A buffer with every left sample `left` and every right sample `right` (signed).
Buffer Frames(int left, int right) {
  Buffer b;
  for (size_t k = 0; k < 256; ++k) {
    b[2 * k] = static_cast<uint8_t>(left + 128);
    b[2 * k + 1] = static_cast<uint8_t>(right + 128);
  }
  return b;
}

LevelAnalysis WithCuts(int red, int yellow) {
  LevelAnalysis a;
  a.CutChanged(Cut::kRed, red);
  a.CutChanged(Cut::kYellow, yellow);
  return a;
}

struct LevelCase {
  const char* name;
  int left, right;  // every frame alike
  int red_cut, yellow_cut;
  int sound_level;
  int red_count, yellow_count;
};

class LevelTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelTest, Buffer) {
  const LevelCase& c = GetParam();
  LevelAnalysis a = WithCuts(c.red_cut, c.yellow_cut);
  Buffer b = Frames(c.left, c.right);
  a.Analyze(b);
  EXPECT_EQ(a.SoundLevel, c.sound_level);
  EXPECT_EQ(a.RedCount, c.red_count);
  EXPECT_EQ(a.YellowCount, c.yellow_count);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, LevelTest,
    ::testing::Values(LevelCase{"Silence", 0, 0, 25, 50, 0, 0, 0},
                      LevelCase{"SilenceWithRedAt128CountsRed", 0, 0, 128, 50, 0, 512, 0},
                      LevelCase{"FullScale", -128, -128, 25, 50, 72, 512, 0},
                      LevelCase{"LeftOnly", -128, 0, 25, 50, 24, 256, 0},
                      LevelCase{"RightOnly", 0, -128, 25, 50, 48, 256, 0},
                      // Both RMS 40: raw 60, 22.5 rounds to 22.
                      LevelCase{"TiesToEven", 40, -40, 25, 50, 22, 0, 0},
                      // RMS 41 and 43: raw floor(20.5 + 43) = 63, 23.625 -> 24.
                      LevelCase{"Rounding", 41, 43, 25, 50, 24, 0, 0},
                      LevelCase{"RedBoundaryHigh", 103, 103, 25, 50, 58, 512, 0},
                      LevelCase{"RedBoundaryLow", -103, -103, 25, 50, 58, 512, 0},
                      LevelCase{"YellowTop", 102, -102, 25, 50, 57, 0, 512},
                      LevelCase{"YellowBottom", 78, -78, 25, 50, 44, 0, 512},
                      LevelCase{"BelowYellow", 77, -77, 25, 50, 43, 0, 0},
                      LevelCase{"YellowBelowRedIsEmpty", 90, -90, 60, 40, 51, 512, 0},
                      LevelCase{"YellowCutBelowRedCut", 60, -60, 50, 25, 34, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LevelAnalysisTest, CountsEachChannelSeparately) {
  LevelAnalysis a = WithCuts(25, 50);
  Buffer b = Frames(110, 90);  // left red, right yellow
  a.Analyze(b);
  EXPECT_EQ(a.RedCount, 256);
  EXPECT_EQ(a.YellowCount, 256);
  a.Analyze(Frames(0, 0));
  EXPECT_EQ(a.RedCount, 0) << "counts start from zero for every buffer";
}

TEST(LevelAnalysisTest, PeakRisesWithTheLargerSampleOnly) {
  LevelAnalysis a;
  EXPECT_TRUE(a.Analyze(Frames(50, 50)));
  EXPECT_EQ(a.Peak, 50);
  EXPECT_FALSE(a.Analyze(Frames(-128, 20)));
  EXPECT_EQ(a.Peak, 50) << "negative samples never raise the peak";
  Buffer b = Frames(0, 0);
  b[301] = 128 + 127;
  EXPECT_TRUE(a.Analyze(b));
  EXPECT_EQ(a.Peak, 127);
}

TEST(LevelAnalysisTest, CutThresholds) {
  LevelAnalysis a;
  a.CutChanged(Cut::kRed, 25);
  a.CutChanged(Cut::kYellow, 50);
  a.CutChanged(Cut::kGreen, 1);
  a.CutChanged(Cut::kCyan, 128);
  EXPECT_EQ(a.RedCutHigh, 103);
  EXPECT_EQ(a.RedCutLow, -103);
  EXPECT_EQ(a.YellowCutHigh, 78);
  EXPECT_EQ(a.YellowCutLow, -78);
  EXPECT_EQ(CutBarHeight(25), 103);
  EXPECT_EQ(CutBarHeight(128), 0);
}

TEST(PeakTickTest, PeakOf70FallsTo63InSevenTicksAndStays) {
  LevelAnalysis a;
  a.Peak = 70;
  int ticks = 0;
  auto never = [](Cut, int) { FAIL() << "no averaging before 60 records"; };
  while (a.PeakFalls()) {
    a.PeakTick(never);
    ++ticks;
  }
  EXPECT_EQ(ticks, 7);
  EXPECT_EQ(a.Peak, 63);
  EXPECT_EQ(a.PeakSampleCount, 7);
  EXPECT_EQ(a.PeakSamples[1], 70);
  EXPECT_EQ(a.PeakSamples[7], 64);
  EXPECT_FALSE(a.PeakTick(never));
  EXPECT_EQ(a.Peak, 63);
}

TEST(PeakTickTest, SixtiethRecordAveragesAndMovesAllFourSlidersOnce) {
  LevelAnalysis a;
  std::vector<std::pair<Cut, int>> moves;
  auto record = [&](Cut c, int v) { moves.push_back({c, v}); };
  for (int i = 1; i <= 59; ++i) {
    a.Peak = 100;
    EXPECT_FALSE(a.PeakTick(record));
  }
  a.Peak = 100;
  EXPECT_TRUE(a.PeakTick(record));
  EXPECT_EQ(a.AveragedPeak, 40);
  EXPECT_EQ(moves, (std::vector<std::pair<Cut, int>>{
                       {Cut::kRed, 100}, {Cut::kYellow, 108}, {Cut::kGreen, 116}, {Cut::kCyan, 124}}));
  EXPECT_EQ(a.PeakSampleCount, 0);
  EXPECT_EQ(a.Peak, 99);
  a.Peak = 90;
  a.PeakTick(record);
  EXPECT_EQ(a.PeakSampleCount, 1) << "the 61st record starts a new series";
  EXPECT_EQ(a.PeakSamples[1], 90);
  EXPECT_EQ(moves.size(), 4u);
}

TEST(PeakTickTest, AverageIsFlooredAndSettlesTwentyBelow) {
  LevelAnalysis a;
  auto ignore = [](Cut, int) {};
  // Peaks 100 and 101 alternating: sum 6030, floor average 100.
  for (int round = 0; round < 30; ++round) {
    for (int i = 1; i <= 60; ++i) {
      a.Peak = 100 + (i % 2);
      a.PeakTick(ignore);
    }
  }
  EXPECT_EQ(a.AveragedPeak, 80);
}

}  // namespace
}  // namespace sonovar
