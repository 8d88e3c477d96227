// The effect step against the board-link writes it makes.
#include "sonovar/effects/effect_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/recording_board_link.h"

using namespace sonovar;
using testing_support::RecordingBoardLink;

namespace {

// "PBA:" with the values of `group` repeated over ten groups, then `tail`.
std::string Pba(const std::string& group, const std::string& tail) {
  std::string text = "PBA:";
  for (int g = 0; g < 10; ++g) text += group + ",";
  return text + tail;
}

// "PBA:" with the given outputs set and every other one 0.
std::string PbaWith(std::initializer_list<std::pair<int, int>> set) {
  std::vector<int> v(33, 0);
  for (auto [output, value] : set) v[output] = value;
  std::string text = "PBA:";
  for (int i = 1; i <= 32; ++i) text += std::to_string(v[i]) + (i < 32 ? "," : "");
  return text;
}

struct Buffer {
  int level, red, yellow;
};

struct Row {
  const char* name;
  int16_t mode;
  std::vector<Buffer> buffers;
  std::function<void(EffectInputs&, EffectEngine&)> setup;  // sliders, start levels
  std::string expected;  // the command of the last buffer
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class EffectStepTest : public ::testing::TestWithParam<Row> {};

TEST_P(EffectStepTest, LastBufferSendsTheExpectedLevels) {
  const Row& row = GetParam();
  EffectEngine engine;
  engine.EffectMode = row.mode;
  EffectInputs in;
  if (row.setup) row.setup(in, engine);
  RecordingBoardLink link;
  ActiveBoards active{};
  active[2] = true;
  for (const Buffer& b : row.buffers) {
    in.SoundLevel = b.level;
    in.RedCount = b.red;
    in.YellowCount = b.yellow;
    link.writes.clear();
    engine.Step(in, active, link);
  }
  EXPECT_EQ(link.writes, (std::vector<std::string>{"DeviceNumber 2", "Command " + row.expected}));
}

INSTANTIATE_TEST_SUITE_P(
    Effects, EffectStepTest,
    ::testing::Values(
        Row{"PulseQuietFirstBuffer", kPulse, {{22, 0, 0}}, nullptr, Pba("0,0,22", "0,0")},
        Row{"PulseKeepsGreenWithoutTrigger", kPulse, {{30, 0, 200}, {22, 0, 0}}, nullptr, Pba("0,30,22", "0,30")},
        Row{"PulseYellowOnly", kPulse, {{30, 0, 129}}, nullptr, Pba("0,30,0", "0,30")},
        Row{"PulseBothTriggersBlueOne", kPulse, {{30, 129, 129}},
            [](EffectInputs& in, EffectEngine&) { in.CyanBias = 10; }, Pba("30,0,1", "30,0")},
        Row{"PulseRedOnlyCyan128", kPulse, {{30, 129, 0}}, nullptr, Pba("30,0,1", "30,0")},
        Row{"PulseRedOnlyCyan10", kPulse, {{30, 129, 0}}, [](EffectInputs& in, EffectEngine&) { in.CyanBias = 10; },
            Pba("30,0,20", "30,0")},
        Row{"CountsEqualToBiasDoNotTrigger", kPulse, {{30, 128, 128}}, nullptr, Pba("0,0,30", "0,0")},
        Row{"LevelsAboveFortyNineAreSentAs49", kPulse, {{72, 0, 0}}, nullptr, Pba("0,0,49", "0,0")},
        Row{"SweepPushesRedOverYellow", kPulseSweep, {{40, 200, 200}}, nullptr,
            PbaWith({{1, 40}})},
        // Delay 5: once loud, the sweep goes on although the music stopped.
        Row{"SweepWithDelayFiveGoesOn", kPulseSweep, {{20, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
            [](EffectInputs& in, EffectEngine&) { in.Delay = 5; },
            PbaWith({{12, 20}})},
        // Delay 1: the next quiet buffer decays instead (20 - (15 - 3)).
        Row{"SweepWithDelayOneDecays", kPulseSweep, {{20, 0, 0}, {0, 0, 0}},
            [](EffectInputs& in, EffectEngine&) { in.Delay = 1; },
            PbaWith({{3, 8}})},
        // Decay 3 takes 49 to 0 in five buffers: 37, 25, 13, 1, 0.
        Row{"DecayFromFortyNine", kPulseSweep, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
            [](EffectInputs&, EffectEngine& e) { e.OutputLevels.fill(49); }, Pba("1,1,1", "1,1")},
        Row{"DecayReachesZero", kPulseSweep, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
            [](EffectInputs&, EffectEngine& e) { e.OutputLevels.fill(49); }, Pba("0,0,0", "0,0")},
        // QRA Link without frames holds what it finds, minus signs included.
        Row{"QraLinkWithoutFramesHoldsTheLevels", kQraLink, {{60, 255, 255}},
            [](EffectInputs&, EffectEngine& e) {
              e.HoldCounter = 5;
              e.OutputLevels.fill(7);
              e.OutputLevels[1] = -5;
              e.OutputLevels[32] = 60;
            },
            "PBA:-5,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,49"}),
    [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

TEST(SendOutputLevelsTest, AscendingActiveBoardsAndRefusedOnesSkipped) {
  EffectEngine engine;
  RecordingBoardLink link;
  link.absent = {"3"};
  ActiveBoards active{};
  active[4] = active[3] = active[1] = true;
  engine.OutputLevels.fill(60);
  engine.SendOutputLevels(active, link);
  const std::string pba = Pba("49,49,49", "49,49");
  EXPECT_EQ(link.writes, (std::vector<std::string>{"DeviceNumber 1", "Command " + pba, "DeviceNumber 3",
                                                   "DeviceNumber 4", "Command " + pba}));
}

TEST(SendOutputLevelsTest, NoActiveBoardSendsNothingButLimitsTheStoredLevels) {
  EffectEngine engine;
  RecordingBoardLink link;
  std::fill(engine.OutputLevels.begin() + 1, engine.OutputLevels.end(), 72);
  engine.SendOutputLevels(ActiveBoards{}, link);
  EXPECT_TRUE(link.writes.empty());
  EXPECT_EQ(engine.OutputLevels[32], 49);
}

}  // namespace

// The manual page and the package description name the effects as the build
// read them from the table's source; that reading must be the table.
TEST(EffectTableTest, TheBuildNamesEveryEffectOfTheTable) {
  std::string list;
  for (int n = 1; n <= kEffectCount; ++n) {
    if (n > 1) list += kEffectCount == 2 ? " and " : n == kEffectCount ? ", and " : ", ";
    list += kEffects[n - 1].caption;
  }
  EXPECT_EQ(list, SONOVAR_EFFECT_LIST);
}

TEST(EffectTableTest, AnIdFindsItsEffectAndNoOther) {
  for (int n = 1; n <= kEffectCount; ++n) EXPECT_EQ(EffectById(kEffects[n - 1].id), n) << kEffects[n - 1].id;
  for (const char* unknown : {"", "Pulse", "pulse ", "strobe-burst"}) EXPECT_EQ(EffectById(unknown), 0) << unknown;
}
