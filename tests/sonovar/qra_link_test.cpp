// QRA Link against the board-link writes it makes.
#include "sonovar/effects/qra_link.h"

#include <gtest/gtest.h>

#include "sonovar/effects/effect_engine.h"
#include "support/recording_board_link.h"

using namespace sonovar;
using testing_support::RecordingBoardLink;

namespace {

// A profile frame of 32 values: `first` for output 1, `rest` for the others.
std::string Frame(int first, int rest = 0) {
  std::string text = "QRL-PBA:" + std::to_string(first);
  for (int i = 2; i <= 32; ++i) text += "," + std::to_string(rest);
  return text;
}

std::string Pba(int first, int rest = 0) { return "PBA" + Frame(std::min(first, 49), rest).substr(7); }

struct Row {
  const char* name;
  std::vector<std::string> frames;
  std::vector<bool> triggers;  // one buffer each
  int delay;
  std::vector<std::string> expected;  // the commands of the last buffer
  int16_t position;                   // QraFramePos afterwards
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class QraLinkTest : public ::testing::TestWithParam<Row> {};

TEST_P(QraLinkTest, LastBuffer) {
  const Row& row = GetParam();
  EffectEngine engine;
  engine.EffectMode = kQraLink;
  engine.Animation.QraFrameCount = static_cast<int16_t>(row.frames.size());
  for (size_t i = 0; i < row.frames.size(); ++i) engine.Animation.QraFrames[i + 1] = row.frames[i];
  engine.Animation.QraFramePos = 1;
  EffectInputs in;
  in.Delay = row.delay;
  in.Decay = 3;
  ActiveBoards active{};
  active[1] = true;
  RecordingBoardLink link;
  for (bool trigger : row.triggers) {
    in.RedCount = trigger ? 200 : 0;
    link.writes.clear();
    engine.Step(in, active, link);
  }
  std::vector<std::string> expected;
  for (const std::string& e : row.expected) expected.push_back(e.rfind("DeviceNumber", 0) == 0 ? e : "Command " + e);
  EXPECT_EQ(link.writes, expected);
  EXPECT_EQ(engine.Animation.QraFramePos, row.position);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, QraLinkTest,
    ::testing::Values(
        // The first trigger after a load applies frame 2; 60 goes out as 49, -5 as -5.
        Row{"SixtyAsFortyNine", {Frame(1), Frame(60)}, {true}, 5, {"DeviceNumber 1", Pba(60)}, 2},
        Row{"MinusFiveKeepsItsSign", {Frame(1), Frame(-5)}, {true}, 5, {"DeviceNumber 1", Pba(-5)}, 2},
        // Identical frames: applied once, then the hold runs out and the lamps decay.
        Row{"IdenticalFramesAppliedOnce", {Frame(40), Frame(40), Frame(40)}, {true, true, true}, 3,
            {"DeviceNumber 1", Pba(28)}, 1},
        // One frame: every trigger applies it again and restarts the hold.
        Row{"OneFrameReappliedOnEveryTrigger", {Frame(40)}, {true, true, true}, 3, {"DeviceNumber 1", Pba(40)}, 1},
        // Unknown kinds (lower case too) and unreadable profiles are skipped; the list wraps.
        Row{"SkipsAndWraps", {Frame(10), "qrl-pba:1", "QRL-PBA:1,2", Frame(70000), "note"}, {true}, 5,
            {"DeviceNumber 1", Pba(10)}, 1},
        // A state frame: the boards get "SBA:..." and the outputs the last profile read.
        Row{"StateFrame", {Frame(1), Frame(20), "QRL-SBA:255,255,0,0,9"}, {true, true}, 5,
            {"DeviceNumber 1", "SBA:255,255,0,0,9", "DeviceNumber 1", Pba(20)}, 3},
        // Nothing playable: no stall; the hold and the decay go on (0 after a decay from 0).
        Row{"NoPlayableFrame", {"a", "b", "QRL-PBA"}, {true, true}, 5, {"DeviceNumber 1", Pba(0)}, 1},
        Row{"EmptyList", {}, {true}, 5, {"DeviceNumber 1", Pba(0)}, 1}),
    [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

// Unreadable frames of 64 KiB before the one playable frame: a trigger looks
// through a bounded part of the list, and the next goes on from there.
TEST(QraLinkBoundTest, ATriggerLooksThroughABoundedPartAndTheNextGoesOn) {
  constexpr int kUnreadable = 200;
  EffectEngine engine;
  engine.EffectMode = kQraLink;
  engine.Animation.QraFrameCount = kUnreadable + 1;
  const std::string unreadable = "QRL-PBA:" + std::string(kMaxQraFieldBytes - 8, '1');  // no comma
  for (int i = 1; i <= kUnreadable; ++i) engine.Animation.QraFrames[i] = unreadable;
  engine.Animation.QraFrames[kUnreadable + 1] = Frame(30);
  engine.Animation.QraFramePos = 1;
  EffectInputs in;
  in.Delay = 5;
  in.RedCount = 200;
  ActiveBoards active{};
  RecordingBoardLink link;
  engine.Step(in, active, link);
  EXPECT_LT(engine.Animation.QraFramePos, 10) << "the first trigger stops early";
  int triggers = 1;
  for (; engine.OutputLevels[1] != 30 && triggers < kUnreadable; ++triggers) engine.Step(in, active, link);
  EXPECT_EQ(engine.Animation.QraFramePos, kUnreadable + 1);
  EXPECT_GT(triggers, 10);
}

TEST(GetArgumentArrayTest, ValuesUpToEachSeparatorAndAStrictLast) {
  QraLink qra;
  ASSERT_TRUE(qra.GetArgumentArray("QRL-PBA:1.5,2.5x,&H10, -4 ,5", 5, ","));
  EXPECT_EQ(std::vector<int16_t>(qra.ArgumentValues.begin(), qra.ArgumentValues.begin() + 5),
            (std::vector<int16_t>{2, 2, 16, -4, 5}));
  EXPECT_EQ(qra.ArgumentPositions[1], 5);  // counted from the ":" at position 1
  for (const char* bad : {"QRL-PBA:1,2,3,4", "QRL-PBA:1,2,3,4,x", "QRL-PBA:1,2,3,40000,5", "QRL"}) {
    EXPECT_FALSE(qra.GetArgumentArray(bad, 5, ",")) << bad;
    EXPECT_EQ(qra.ArgumentValues[3], -4) << "left as it was after " << bad;
  }
}

}  // namespace
