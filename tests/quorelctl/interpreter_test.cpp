#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "quorelctl/interpreter/led_module.h"
#include "recording_link.h"

namespace quorelctl {
namespace {

using Payload = std::array<uint8_t, 8>;

const Payload kStateOff = {64, 0, 0, 0, 0, 3, 0, 0};
const Payload k48 = {48, 48, 48, 48, 48, 48, 48, 48};

const std::string kDefaultsProfile =
    "PBA:48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48";

class InterpreterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetModule(1);
    ExecuteCommand("SBA:0,0,0,0,3", link_);
    ExecuteCommand(kDefaultsProfile, link_);
    link_.reports.clear();
    link_.events.clear();
  }
  const std::array<int16_t, 9>& Banks() { return Tables().states[1]; }
  int16_t ProfileOf(int output) { return Tables().profiles[1][output - 1]; }
  // Payloads of the four profile reports from the current table.
  std::vector<Payload> ProfilePayloads() {
    std::vector<Payload> out(4);
    for (int r = 0; r < 4; ++r)
      for (int i = 0; i < 8; ++i) out[r][i] = static_cast<uint8_t>(ProfileOf(8 * r + i + 1));
    return out;
  }
  RecordingLink link_;
};

TEST_F(InterpreterTest, StartupDefaultsProduceTheirReports) {
  ResetModule(1);
  ExecuteCommand("SBA:0,0,0,0,3", link_);
  ExecuteCommand(kDefaultsProfile, link_);
  EXPECT_EQ(link_.reports, (std::vector<Payload>{kStateOff, k48, k48, k48, k48}));
}

// Commands that send the state report only: the bank bytes after the command.
struct StateCase {
  const char* command;
  std::array<int16_t, 5> banks_and_gps;  // slots 1..5
};

class StateCommandTest : public InterpreterTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateCommandTest, ChangesBanksAndSendsWholeState) {
  const StateCase& c = GetParam();
  ExecuteCommand(c.command, link_);
  Payload expected = {64, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Banks()[i + 1], c.banks_and_gps[i]) << c.command << " slot " << i + 1;
    expected[i + 1] = static_cast<uint8_t>(c.banks_and_gps[i]);
  }
  EXPECT_EQ(link_.reports, std::vector<Payload>{expected}) << c.command;
  for (int output = 1; output <= 32; ++output) EXPECT_EQ(ProfileOf(output), 48);
}

INSTANTIATE_TEST_SUITE_P(
    Words, StateCommandTest,
    ::testing::Values(StateCase{"SBA:255,255,255,255,4", {255, 255, 255, 255, 4}},
                      StateCase{"SBA:1,2,3,4,5", {1, 2, 3, 4, 5}}, StateCase{"GPS:7", {0, 0, 0, 0, 7}},
                      StateCase{"GPS:", {0, 0, 0, 0, 0}}, StateCase{"SB1:129", {129, 0, 0, 0, 3}},
                      StateCase{"SB4:255", {0, 0, 0, 255, 3}}, StateCase{"S05:1", {16, 0, 0, 0, 3}},
                      StateCase{"S01:-1", {1, 0, 0, 0, 3}}, StateCase{"S08:255", {128, 0, 0, 0, 3}},
                      StateCase{"S09:1", {0, 1, 0, 0, 3}}, StateCase{"S25:1", {0, 0, 0, 1, 3}},
                      StateCase{"S32:SAW", {0, 0, 0, 128, 3}}, StateCase{"S05:0", {0, 0, 0, 0, 3}},
                      StateCase{"  SB2:9  ", {0, 9, 0, 0, 3}}, StateCase{"SB3 12", {0, 0, 12, 0, 3}},
                      StateCase{"SB3;12", {0, 0, 12, 0, 3}}));

TEST_F(InterpreterTest, SwitchingOffClearsOnlyItsBit) {
  ExecuteCommand("SBA:255,255,255,255,3", link_);
  ExecuteCommand("S12:0", link_);
  EXPECT_EQ(Banks()[2], 255 - 8);
  EXPECT_EQ(Banks()[1], 255);
}

// Commands that are ignored: no table change, no report, no wait.
class IgnoredCommandTest : public InterpreterTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(IgnoredCommandTest, ChangesNothing) {
  link_.fast_com = false;
  const BoardTables before = Tables();
  ExecuteCommand(GetParam(), link_);
  EXPECT_TRUE(link_.events.empty()) << GetParam();
  EXPECT_EQ(Tables().states, before.states) << GetParam();
  EXPECT_EQ(Tables().profiles, before.profiles) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IgnoredCommandTest,
    ::testing::Values("", "S", "SB", "XYZ:1", "sba:255,255,255,255,3", "\tSBA:1,2,3,4,5", "S00:1", "S33:1",
                      "P00:1", "P33:1", "SB0:1", "SB5:1", "PB5:1,2,3,4,5,6,7,8", "GPS", "S05", "P05",
                      "SBA:1,2,3,4", "SBA:1,2,3,4,", "SBA:1,2,3,4,x", "SBA:1,2,3,4,5,6", "SBA:40000,0,0,0,0",
                      // values without a byte form are refused whole
                      "SBA:1,2,3,4,256", "SBA:-1,0,0,0,3", "GPS:300", "GPS:-1", "SB1:256", "PBA:-1" ",0,0,0,0,0,0,0"
                      ",0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0",
                      "RGB:5,1,2,256", "RGB:5,-1,2,3", "RGB:31,1,2,3", "RGB:0,1,2,3", "RGB:-5,1,2,3",
                      "RGB:5,1,2", "RDI:0,5,1", "RDI:6,5,1", "RDI:1,33,1", "RDI:1,5", "RDS:0,3", "RDS:5,4",
                      "RDS:-1,3", "RDC:31,1", "RDC:0,1", "RDC:5", "P05:40000", "rgb:5,1,2,3"));

// Profile commands: the values stored and the four full profile reports.
struct ProfileCase {
  const char* command;
  int output;       // an output whose value is checked
  int16_t value;    // its stored value
};

class ProfileCommandTest : public InterpreterTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileCommandTest, StoresAndSendsAllFourReports) {
  const ProfileCase& c = GetParam();
  ExecuteCommand(c.command, link_);
  EXPECT_EQ(ProfileOf(c.output), c.value) << c.command;
  EXPECT_EQ(link_.reports, ProfilePayloads()) << c.command;
  EXPECT_EQ(Banks()[1], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Words, ProfileCommandTest,
    ::testing::Values(ProfileCase{"P05:SAW", 5, 129}, ProfileCase{"P05:70", 5, 6}, ProfileCase{"P05:64", 5, 0},
                      ProfileCase{"P05:200", 5, 8}, ProfileCase{"P05:194", 5, 130},
                      ProfileCase{"P05:130", 5, 130}, ProfileCase{"P05:-1", 5, 63}, ProfileCase{"P05:48", 5, 48},
                      ProfileCase{"P32:SUP", 32, 132}, ProfileCase{"P01:abc", 1, 0},
                      ProfileCase{"PB2:1,2,3,4,5,6,7,70", 16, 6}, ProfileCase{"PB2:1,2,3,4,5,6,7,70", 9, 1},
                      ProfileCase{"PB4:0,0,0,0,0,0,0,194", 32, 130}, ProfileCase{"PB1:SAW,1,1,1,1,1,1,1", 1, 0}));

TEST_F(InterpreterTest, PbaStoresValuesUnchanged) {
  std::string text = "PBA:";
  for (int i = 1; i <= 32; ++i) text += std::to_string(i == 1 ? 64 : (i == 2 ? 70 : i)) + (i < 32 ? "," : "");
  ExecuteCommand(text, link_);
  EXPECT_EQ(ProfileOf(1), 64);
  EXPECT_EQ(ProfileOf(2), 70);
  EXPECT_EQ(ProfileOf(32), 32);
  ASSERT_EQ(link_.reports.size(), 4u);
  EXPECT_EQ(link_.reports[0], (Payload{64, 70, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(link_.reports[3], (Payload{25, 26, 27, 28, 29, 30, 31, 32}));
}

TEST_F(InterpreterTest, PbaWithANamedValueStoresZero) {
  ExecuteCommand("PBA:SAW,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1", link_);
  EXPECT_EQ(ProfileOf(1), 0);
  EXPECT_EQ(ProfileOf(2), 1);
}

TEST_F(InterpreterTest, PbWritesNormalisedValuesBackToTheValues) {
  ExecuteCommand("PB1:70,64,-1,194,1,2,3,4", link_);
  EXPECT_EQ(Tables().values[0], 6);
  EXPECT_EQ(Tables().values[1], 0);
  EXPECT_EQ(Tables().values[2], 63);
  EXPECT_EQ(Tables().values[3], 130);
}

TEST_F(InterpreterTest, RgbSetsThreeOutputsThenSendsProfileAndState) {
  ExecuteCommand("RGB:30,1,200,7", link_);
  EXPECT_EQ(ProfileOf(30), 1);
  EXPECT_EQ(ProfileOf(31), 200);  // stored unchanged, not normalised
  EXPECT_EQ(ProfileOf(32), 7);
  EXPECT_EQ(ProfileOf(29), 48);
  EXPECT_EQ(Banks()[4], 0b11100000);
  std::vector<Payload> expected = ProfilePayloads();
  expected.push_back({64, 0, 0, 0, 0b11100000, 3, 0, 0});
  EXPECT_EQ(link_.reports, expected);
}

TEST_F(InterpreterTest, RgbAndSwitchingAgreeOnOutput25) {
  ExecuteCommand("RGB:25,0,0,0", link_);
  const int16_t by_rgb = Banks()[4];
  ExecuteCommand("SB4:0", link_);
  ExecuteCommand("S25:1", link_);
  ExecuteCommand("S26:1", link_);
  ExecuteCommand("S27:1", link_);
  EXPECT_EQ(Banks()[4], by_rgb);
  EXPECT_EQ(by_rgb, 0b111);
}

TEST_F(InterpreterTest, RdiWithSwitchRandomisesRangeAndSwitchesItOn) {
  SeedRandom(1);
  ExecuteCommand("RDI:3,10,1", link_);
  for (int output = 1; output <= 32; ++output) {
    if (output >= 3 && output <= 10) {
      EXPECT_GE(ProfileOf(output), 0);
      EXPECT_LE(ProfileOf(output), 48);
    } else {
      EXPECT_EQ(ProfileOf(output), 48) << output;
    }
  }
  EXPECT_EQ(Banks()[1], 0b11111100);
  EXPECT_EQ(Banks()[2], 0b00000011);
  ASSERT_EQ(link_.reports.size(), 5u);
  EXPECT_EQ(link_.reports[4], (Payload{64, 0b11111100, 0b11, 0, 0, 3, 0, 0}));
}

TEST_F(InterpreterTest, RdiAndRdcWithoutSwitchSendProfileOnly) {
  ExecuteCommand("RDI:7,7,0", link_);
  EXPECT_EQ(link_.reports.size(), 4u);
  EXPECT_EQ(Banks()[1], 0);
  ExecuteCommand("RDC:30,0", link_);
  EXPECT_EQ(link_.reports.size(), 8u);
  EXPECT_EQ(Banks()[4], 0);
  ExecuteCommand("RDC:30,SAW", link_);  // a named value in a list reads 0
  EXPECT_EQ(link_.reports.size(), 8u) << "last value of a list is strict: SAW is refused";
}

TEST_F(InterpreterTest, RdiWithOneOutputChangesOnlyIt) {
  // Draws of one output: over many seeds the value moves and stays in range.
  int changed = 0;
  for (uint32_t seed = 0; seed < 40; ++seed) {
    SeedRandom(seed);
    ExecuteCommand("PBA:48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48,48",
                   link_);
    ExecuteCommand("RDI:12,12,0", link_);
    for (int output = 1; output <= 32; ++output) {
      if (output != 12) {
        ASSERT_EQ(ProfileOf(output), 48);
      }
    }
    ASSERT_LE(ProfileOf(12), 48);
    ASSERT_GE(ProfileOf(12), 0);
    changed += ProfileOf(12) != 48;
  }
  EXPECT_GT(changed, 30);
}

TEST_F(InterpreterTest, RdcSetsThreeOutputsAndSwitchesThemOn) {
  ExecuteCommand("RDC:8,1", link_);
  EXPECT_EQ(Banks()[1], 0b10000000);
  EXPECT_EQ(Banks()[2], 0b00000011);
  EXPECT_EQ(link_.reports.size(), 5u);
}

TEST_F(InterpreterTest, RdsDrawsEveryOutputOfTheRangeAndLeavesProfilesAlone) {
  // Over many draws each output of 9..16 is seen both on and off, the others never change.
  std::array<int, 33> on{};
  const int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    ExecuteCommand("RDS:9,16", link_);
    for (int output = 9; output <= 16; ++output) on[output] += (Banks()[2] >> (output - 9)) & 1;
    ASSERT_EQ(Banks()[1], 0);
    ASSERT_EQ(Banks()[3], 0);
  }
  for (int output = 9; output <= 16; ++output) {
    EXPECT_GT(on[output], kRounds / 4) << output;
    EXPECT_LT(on[output], kRounds * 3 / 4) << output;
  }
  for (int output = 1; output <= 32; ++output) EXPECT_EQ(ProfileOf(output), 48);
  EXPECT_EQ(link_.reports.size(), static_cast<size_t>(kRounds));
}

TEST_F(InterpreterTest, RandomLevelsCoverTheirRange) {
  std::array<int, 49> seen{};
  for (int i = 0; i < 5000; ++i) {
    int16_t v = RandomProfileValue();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 48);
    ++seen[v];
  }
  for (int v = 0; v <= 48; ++v) EXPECT_GT(seen[v], 30) << v;
}

TEST_F(InterpreterTest, StateReportRewritesMarkerAndSpareSlots) {
  Tables().states[1][0] = 5;
  Tables().states[1][6] = 9;
  Tables().states[1][7] = 9;
  ExecuteCommand("S01:1", link_);
  ExecuteCommand("S02:1", link_);
  ASSERT_EQ(link_.reports.size(), 2u);
  for (const Payload& p : link_.reports) {
    EXPECT_EQ(p[0], 64);
    EXPECT_EQ(p[6], 0);
    EXPECT_EQ(p[7], 0);
  }
  EXPECT_EQ(Tables().states[1][0], 64);
  EXPECT_EQ(Tables().states[1][6], 0);
}

TEST_F(InterpreterTest, CommandsActOnTheCurrentBoardOnly) {
  Tables().selected_board = 5;
  ExecuteCommand("SBA:1,2,3,4,5", link_);
  EXPECT_EQ(Tables().states[5][1], 1);
  EXPECT_EQ(Banks()[1], 0);
  EXPECT_EQ(link_.events.back(), "report 5: 64 1 2 3 4 5 0 0");
}

struct PacingCase {
  const char* command;
  bool fast_com;
  int16_t delay;
  std::vector<std::string> events;  // "wait N" and "report" kinds only
};

class PacingTest : public InterpreterTest, public ::testing::WithParamInterface<PacingCase> {};

TEST_P(PacingTest, WaitBeforeEveryReport) {
  const PacingCase& c = GetParam();
  link_.fast_com = c.fast_com;
  link_.delay = c.delay;
  ExecuteCommand(c.command, link_);
  std::vector<std::string> kinds;
  for (const std::string& e : link_.events) kinds.push_back(e.rfind("report", 0) == 0 ? "report" : e);
  EXPECT_EQ(kinds, c.events) << c.command;
}

const std::vector<std::string> kOneState = {"wait 1", "report"};
const std::vector<std::string> kFourProfile = {"wait 1", "report", "wait 1", "report", "wait 1", "report", "wait 1",
                                               "report"};

INSTANTIATE_TEST_SUITE_P(
    Commands, PacingTest,
    ::testing::Values(
        PacingCase{"SBA:1,2,3,4,5", false, 1, kOneState}, PacingCase{"S05:1", false, 1, kOneState},
        PacingCase{"RDS:1,4", false, 1, kOneState}, PacingCase{"P05:1", false, 1, kFourProfile},
        PacingCase{"RDI:1,4,0", false, 1, kFourProfile},
        PacingCase{"RGB:1,2,3,4", false, 1,
                   {"wait 1", "report", "wait 1", "report", "wait 1", "report", "wait 1", "report", "wait 1",
                    "report"}},
        PacingCase{"SBA:1,2,3,4,5", false, 0, {"wait 0", "report"}},
        PacingCase{"SBA:1,2,3,4,5", false, -5, {"wait 0", "report"}},
        PacingCase{"SBA:1,2,3,4,5", false, 250, {"wait 250", "report"}},
        PacingCase{"P05:1", true, 250, {"report", "report", "report", "report"}},
        PacingCase{"XYZ", false, 1, {}}));

}  // namespace
}  // namespace quorelctl
