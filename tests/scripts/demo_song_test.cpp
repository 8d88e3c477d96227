// The demo song made by scripts/make-demo-song.sh, heard as Sonovar hears it:
// the file backend's conversion, the level analysis with the cut sliders at
// their start values and the 50 ms peak timer that moves them, and the red
// and yellow triggers at the default bias 128. Two passes, since the file
// plays over and over and the second pass meets the cuts the first one left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/audiofile/file_decoder.h"
#include "sonovar/capture/level_analysis.h"

namespace {

constexpr double kBuffer = 256.0 / platform::kFileRate;  // seconds
constexpr int kBias = 128;                                // red and yellow bias sliders
constexpr int kSweepThreshold = 15;
constexpr double kOnsetWindow = 0.070;   // a drum must trigger this soon
constexpr double kTriggerTail = 0.300;   // and triggers end this soon after it

struct Buffer {
  double start;  // seconds into the pass
  int level;
  bool red, yellow;
};

struct Song {
  std::vector<std::pair<double, std::string>> onsets;  // time, drum
  std::vector<std::pair<double, double>> quiet;
  std::vector<std::vector<Buffer>> passes;
};

Song Hear(const std::string& path, int passes) {
  Song song;
  std::ifstream list(path.substr(0, path.rfind('.')) + ".onsets");
  std::string line;
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    if (first.empty() || first[0] == '#') continue;
    if (first == "quiet") {
      double from = 0, to = 0;
      fields >> from >> to;
      song.quiet.emplace_back(from, to);
    } else {
      std::string drum;
      fields >> drum;
      song.onsets.emplace_back(std::stod(first), drum);
    }
  }
  platform::FileDecoder decoder(path);
  if (!decoder.ok()) return song;
  sonovar::LevelAnalysis analysis;
  analysis.CutChanged(sonovar::Cut::kRed, sonovar::kCutStartValues[0]);
  analysis.CutChanged(sonovar::Cut::kYellow, sonovar::kCutStartValues[1]);
  std::vector<float> pending;
  size_t used = 0;
  double next_tick = 0.05;
  long index = 0;
  const long per_pass = static_cast<long>(decoder.frames() / 256);
  for (int pass = 0; pass < passes; ++pass) {
    song.passes.emplace_back();
    for (long i = 0; i < per_pass; ++i, ++index) {
      while (pending.size() - used < sonovar::kCaptureBufferBytes) decoder.Next(&pending);
      std::array<uint8_t, sonovar::kCaptureBufferBytes> buffer;
      for (size_t k = 0; k < buffer.size(); ++k) buffer[k] = platform::ToU8(pending[used + k]);
      used += buffer.size();
      analysis.Analyze(buffer);
      song.passes.back().push_back(
          {i * kBuffer, analysis.SoundLevel, analysis.RedCount > kBias, analysis.YellowCount > kBias});
      // The peak timer runs between buffers and may move the cut sliders.
      for (; next_tick <= (index + 1) * kBuffer; next_tick += 0.05)
        analysis.PeakTick([&](sonovar::Cut cut, int value) { analysis.CutChanged(cut, value); });
    }
  }
  return song;
}

class DemoSongTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* path = std::getenv("SONOVAR_DEMO_SONG");
    song_ = new Song(Hear(path != nullptr ? path : "", 2));
  }
  static void TearDownTestSuite() { delete song_; }
  static Song* song_;
};
Song* DemoSongTest::song_ = nullptr;

TEST_F(DemoSongTest, EveryDrumTriggersTheBassDrumRed) {
  ASSERT_EQ(song_->passes.size(), 2u) << "no song: set SONOVAR_DEMO_SONG";
  ASSERT_GT(song_->onsets.size(), 50u);
  for (size_t pass = 0; pass < 2; ++pass)
    for (const auto& [time, drum] : song_->onsets) {
      bool red = false, any = false;
      for (const Buffer& b : song_->passes[pass])
        if (b.start + kBuffer > time && b.start < time + kOnsetWindow) red |= b.red, any |= b.red || b.yellow;
      EXPECT_TRUE(drum == "bass-drum" ? red : any) << drum << " at " << time << " s, pass " << pass + 1;
    }
}

TEST_F(DemoSongTest, QuietPassagesNeitherTriggerNorSweep) {
  ASSERT_EQ(song_->passes.size(), 2u);
  ASSERT_EQ(song_->quiet.size(), 3u);
  for (size_t pass = 0; pass < 2; ++pass)
    for (const auto& [from, to] : song_->quiet)
      for (const Buffer& b : song_->passes[pass])
        if (b.start >= from && b.start + kBuffer <= to) {
          EXPECT_FALSE(b.red || b.yellow) << b.start << " s, pass " << pass + 1;
          EXPECT_LT(b.level, kSweepThreshold) << b.start << " s, pass " << pass + 1;
        }
}

// Triggers come from the drums alone (so "QRA Link" steps with the beat),
// and each loud passage (between the quiet ones) gives both colours: the
// red trigger, and the yellow one alone ("Pulse" shows green lamps then).
TEST_F(DemoSongTest, TriggersFollowTheDrumsInBothColours) {
  ASSERT_EQ(song_->passes.size(), 2u);
  ASSERT_EQ(song_->quiet.size(), 3u);
  for (size_t pass = 0; pass < 2; ++pass) {
    for (size_t q = 0; q + 1 < song_->quiet.size(); ++q) {
      const double from = song_->quiet[q].second, to = song_->quiet[q + 1].first;
      int red = 0, yellow_only = 0;
      for (const Buffer& b : song_->passes[pass])
        if (b.start >= from && b.start < to) red += b.red, yellow_only += b.yellow && !b.red;
      EXPECT_GE(red, 20) << from << "-" << to << " s, pass " << pass + 1;
      EXPECT_GE(yellow_only, 20) << from << "-" << to << " s, pass " << pass + 1;
    }
    for (const Buffer& b : song_->passes[pass]) {
      if (!b.red && !b.yellow) continue;
      bool after_onset = false;
      for (const auto& onset : song_->onsets)
        after_onset |= b.start + kBuffer > onset.first && b.start < onset.first + kTriggerTail;
      EXPECT_TRUE(after_onset) << "trigger at " << b.start << " s, pass " << pass + 1;
    }
  }
}

}  // namespace
