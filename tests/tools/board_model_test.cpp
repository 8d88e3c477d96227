#include "board_model.h"

#include "common/levels.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "terminal_view.h"

namespace quorel_sim {
namespace {

// A report and the millisecond it arrived.
struct Timed {
  Report report;
  double ms;
};

// Feeds the reports and lets every held burst be decided.
void Feed(BoardModel& board, const std::vector<Timed>& reports) {
  for (const Timed& t : reports) board.Receive(t.report, t.ms / 1000);
  board.Settle(1e9);
}

// Reports of one command, 0.2 ms apart from `ms` on (a writer with FastCom).
std::vector<Timed> Burst(double ms, std::vector<Report> reports, double spacing = 0.2) {
  std::vector<Timed> out;
  for (const Report& r : reports) out.push_back({r, ms}), ms += spacing;
  return out;
}

std::vector<Timed> Join(std::vector<std::vector<Timed>> parts) {
  std::vector<Timed> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Report k48 = {0, 48, 48, 48, 48, 48, 48, 48, 48};
const Report kSba3 = {0, 64, 0, 0, 0, 0, 3, 0, 0};                // "SBA:0,0,0,0,3"
const Report kSbaAll4 = {0, 64, 255, 255, 255, 255, 4, 0, 0};     // "SBA:255,255,255,255,4"
const Report kPba64First = {0, 64, 1, 0, 0, 0, 0, 0, 0};          // "PBA:64,1,0,0,0,0,0,0,48,...": looks like a state report
const Report kPba64Tail = {0, 64, 1, 2, 3, 4, 5, 6, 7};           // begins with 64, but bytes 7 and 8 are not 0
const Report kRgbFirst = {0, 10, 20, 30, 48, 48, 48, 48, 48};

struct KindCase {
  const char* name;
  std::vector<Timed> reports;
  std::array<uint8_t, 4> banks;
  uint8_t gps;
  std::array<uint8_t, 3> outputs_1_2_9;  // profile values of outputs 1, 2 and 9
};

class ReportKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(ReportKindTest, BanksGpsAndProfile) {
  const KindCase& c = GetParam();
  BoardModel board;
  Feed(board, c.reports);
  EXPECT_EQ(board.banks, c.banks);
  EXPECT_EQ(board.gps, c.gps);
  EXPECT_EQ((std::array<uint8_t, 3>{board.profile[0], board.profile[1], board.profile[8]}), c.outputs_1_2_9);
  EXPECT_EQ(board.next_profile, 0);
  EXPECT_EQ(board.reports, c.reports.size());
}

// Separate commands arrive 23 ms apart (one capture buffer).
INSTANTIATE_TEST_SUITE_P(
    Streams, ReportKindTest,
    ::testing::Values(
        KindCase{"StateAlone", Burst(0, {{0, 64, 0xFF, 0x01, 0x00, 0x80, 7, 0, 0}}), {0xFF, 0x01, 0x00, 0x80}, 7, {0, 0, 0}},
        KindCase{"ProfileGroup", Burst(0, {kRgbFirst, {0, 9, 9, 9, 9, 9, 9, 9, 9}, k48, k48}), {}, 0, {10, 20, 9}},
        KindCase{"Pba64ThenSbaSeparately", Join({Burst(0, {kPba64First, k48, k48, k48}), Burst(23, {kSbaAll4})}),
                 {255, 255, 255, 255}, 4, {64, 1, 48}},
        KindCase{"Pba64ThenSbaInOneBurst", Burst(0, {kPba64First, k48, k48, k48, kSbaAll4}), {255, 255, 255, 255}, 4,
                 {64, 1, 48}},
        KindCase{"Pba64WithCompatibilityDelay", Burst(0, {kPba64First, k48, k48, k48, kSbaAll4}, 5.5),
                 {255, 255, 255, 255}, 4, {64, 1, 48}},
        KindCase{"SbaThenPba64InOneBurst", Burst(0, {kSbaAll4, kPba64First, k48, k48, k48}), {255, 255, 255, 255}, 4,
                 {64, 1, 48}},
        KindCase{"StartupDefaultsInOneBurst", Burst(0, {kSba3, k48, k48, k48, k48}), {0, 0, 0, 0}, 3, {48, 48, 48}},
        KindCase{"RgbCommandGroupThenState", Burst(0, {kRgbFirst, k48, k48, k48, {0, 64, 7, 0, 0, 0, 3, 0, 0}}),
                 {7, 0, 0, 0}, 3, {10, 20, 48}},
        KindCase{"TwoStatesInOneBurst", Burst(0, {kSbaAll4, kSba3}), {0, 0, 0, 0}, 3, {0, 0, 0}},
        KindCase{"MarkerWithNonZeroTailIsProfile", Burst(0, {kPba64Tail, k48, k48, k48}), {}, 0, {64, 1, 48}},
        KindCase{"SixtyFourInsideAGroup",
                 Join({Burst(0, {kSbaAll4}), Burst(23, {k48, kPba64First, k48, k48}), Burst(46, {kSba3})}), {0, 0, 0, 0},
                 3, {48, 48, 64}},
        // Known limits: a state report and a group ending like a state
        // report have the bytes of a group and a state report ...
        KindCase{"SbaThenPbaEndingLikeAStateReadsAsGroupFirst",
                 Burst(0, {kSbaAll4, k48, k48, k48, kPba64First}), {1, 0, 0, 0}, 0, {64, 255, 48}},
        // ... and with more than 10 ms between the reports of one
        // command nothing tells the first report of such a group from a state report.
        KindCase{"SlowPba64IsTakenForState", Burst(0, {kPba64First, k48, k48, k48, k48}, 15), {1, 0, 0, 0}, 0,
                 {48, 48, 48}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoardModelTest, AStateShapedReportWaitsForTheEndOfItsBurst) {
  BoardModel board;
  EXPECT_FALSE(board.Receive(kSbaAll4, 1.0));
  EXPECT_TRUE(board.holding());
  EXPECT_DOUBLE_EQ(board.settle_time(), 1.0 + kBurstGap);
  EXPECT_FALSE(board.Settle(1.005));
  EXPECT_EQ(board.gps, 0);
  EXPECT_TRUE(board.Settle(1.0 + kBurstGap));
  EXPECT_EQ(board.gps, 4);
  EXPECT_FALSE(board.holding());
  EXPECT_TRUE(board.Receive(k48, 2.0)) << "a report that cannot be a state report applies at once";
  EXPECT_EQ(board.next_profile, 1);
}

TEST(BoardModelTest, AnEndlessBurstIsDecidedAfterALimit) {
  BoardModel board;
  for (size_t i = 0; i < kMaxHeldReports; ++i) board.Receive(i % 5 == 0 ? kSba3 : k48, i * 0.0001);
  EXPECT_FALSE(board.holding());
  EXPECT_EQ(board.gps, 3);
  EXPECT_EQ(board.profile[31], 48);
}

TEST(BoardModelTest, StartupDefaultsThenRgbCommand) {
  BoardModel board;
  Feed(board, Join({Burst(0, {kSba3, k48, k48, k48, k48}),
                    Burst(23, {kRgbFirst, k48, k48, k48, {0, 64, 7, 0, 0, 0, 3, 0, 0}})}));
  EXPECT_EQ(LampColour(board, 1, 0), (Rgb{53, 106, 159}));
  EXPECT_EQ(LampColour(board, 2, 0), (Rgb{0, 0, 0}));
}

struct ColourCase {
  const char* name;
  uint8_t banks0;        // bank 1 bits (outputs 1-8)
  std::array<uint8_t, 3> values;  // profile values of outputs 1-3
  uint8_t gps;
  double seconds;
  Rgb lamp1;
};

class LampColourTest : public ::testing::TestWithParam<ColourCase> {};

TEST_P(LampColourTest, Colour) {
  const ColourCase& c = GetParam();
  BoardModel board;
  board.banks[0] = c.banks0;
  board.gps = c.gps;
  std::copy(c.values.begin(), c.values.end(), board.profile.begin());
  EXPECT_EQ(LampColour(board, 1, c.seconds), c.lamp1);
}

// GPS 3: a period of 2 s.
INSTANTIATE_TEST_SUITE_P(
    Rules, LampColourTest,
    ::testing::Values(ColourCase{"AllOffIsDark", 0b000, {48, 48, 48}, 3, 0, {0, 0, 0}},
                      ColourCase{"OnAt48IsFull", 0b111, {48, 48, 48}, 3, 0, {255, 255, 255}},
                      ColourCase{"AboveFullIsFull", 0b111, {63, 100, 255}, 3, 0, {255, 255, 255}},
                      ColourCase{"ZeroIsDark", 0b111, {0, 0, 0}, 3, 0, {0, 0, 0}},
                      ColourCase{"HalfLevel", 0b111, {24, 12, 0}, 3, 0, {128, 64, 0}},
                      ColourCase{"HalvesRoundUp", 0b111, {8, 40, 1}, 3, 0, {43, 213, 5}},
                      ColourCase{"OnlyGreenOn", 0b010, {48, 48, 48}, 3, 0, {0, 255, 0}},
                      ColourCase{"SawRisesThenFalls", 0b001, {129, 0, 0}, 3, 0.5, {128, 0, 0}},
                      ColourCase{"SawTop", 0b001, {129, 0, 0}, 3, 1.0, {255, 0, 0}},
                      ColourCase{"SquareHigh", 0b001, {130, 0, 0}, 3, 0.2, {255, 0, 0}},
                      ColourCase{"SquareLow", 0b001, {130, 0, 0}, 3, 1.2, {0, 0, 0}},
                      ColourCase{"SawDown", 0b001, {131, 0, 0}, 3, 0.5, {191, 0, 0}},
                      ColourCase{"SawUp", 0b001, {132, 0, 0}, 3, 0.5, {64, 0, 0}},
                      ColourCase{"FasterWithGps", 0b001, {132, 0, 0}, 7, 0.5, {128, 0, 0}},
                      ColourCase{"WaveformOffIsDark", 0b000, {129, 130, 131}, 3, 0.5, {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AnimatingTest, OnlyAWaveformThatIsOnMoves) {
  BoardModel board;
  board.profile[4] = common::kWaveSaw;
  EXPECT_FALSE(Animating(board));
  board.banks[0] = 1 << 4;
  EXPECT_TRUE(Animating(board));
  board.profile[4] = 48;
  EXPECT_FALSE(Animating(board));
}

TEST(ReportRateTest, CountsWholeSecondsAndSettlesAtZero) {
  ReportRate rate;
  EXPECT_TRUE(std::isinf(rate.due())) << "nothing counted yet";
  EXPECT_FALSE(rate.Update(5, 0.0));
  EXPECT_FALSE(rate.Update(90, 0.5)) << "a second is not over";
  EXPECT_DOUBLE_EQ(rate.due(), 1.0);
  EXPECT_TRUE(rate.Update(177, 1.0));
  EXPECT_DOUBLE_EQ(rate.value(), 172);
  EXPECT_FALSE(rate.Update(349, 2.0)) << "172 again: nothing to redraw";
  EXPECT_TRUE(rate.Update(349, 3.0)) << "the reports stopped";
  EXPECT_DOUBLE_EQ(rate.value(), 0);
  EXPECT_TRUE(std::isinf(rate.due()));
  EXPECT_FALSE(rate.Update(349, 9.0));
  EXPECT_FALSE(rate.Update(359, 9.5));
  EXPECT_DOUBLE_EQ(rate.due(), 10.0) << "a new report wakes it";
  EXPECT_TRUE(rate.Update(359, 11.0));
  EXPECT_DOUBLE_EQ(rate.value(), 5) << "10 reports over the 2 s since the last count";
}

TEST(ReportFramerTest, CutsAStreamIntoReports) {
  ReportFramer framer;
  std::vector<Report> got;
  auto sink = [&](std::span<const uint8_t, kReportLength> r) { got.push_back({}), std::copy(r.begin(), r.end(), got.back().begin()); };
  std::vector<uint8_t> stream = {0, 64, 1, 2, 3, 4, 5, 0, 0, 0, 48, 48};
  framer.Feed(stream, sink);
  EXPECT_EQ(got.size(), 1u);
  EXPECT_TRUE(framer.has_partial());
  framer.Feed(std::vector<uint8_t>{48, 48, 48, 48, 48, 48}, sink);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], k48);
  // A stray text write ("hi\n") is skipped up to the next report id.
  framer.Feed(std::vector<uint8_t>{'h', 'i', '\n', 0, 64, 0, 0, 0, 0, 3, 0, 0}, sink);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], (Report{0, 64, 0, 0, 0, 0, 3, 0, 0}));
  EXPECT_EQ(framer.dropped_bytes(), 3u);
  // A short write is dropped when nothing completes it.
  framer.Feed(std::vector<uint8_t>{0, 1, 2}, sink);
  framer.DropPartial();
  EXPECT_FALSE(framer.has_partial());
  EXPECT_EQ(framer.dropped_bytes(), 6u);
}

// Visible width of a composed line: escape sequences take no columns.
int VisibleWidth(const std::string& line) {
  int width = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\x1b') {
      while (i < line.size() && !std::isalpha(static_cast<unsigned char>(line[i]))) ++i;
      continue;
    }
    if (line[i] != '\r') ++width;
  }
  return width;
}

std::vector<std::string> Lines(const std::string& screen) {
  std::vector<std::string> lines;
  size_t start = 0, end;
  while ((end = screen.find('\n', start)) != std::string::npos) {
    lines.push_back(screen.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TEST(TerminalViewTest, NeverWiderOrTallerThanTheTerminal) {
  BoardModel one, two;
  one.reports = 123456;
  std::vector<ViewBoard> boards = {{1, &one}, {3, &two}};
  const int sizes[][2] = {{120, 40}, {80, 24}, {72, 10}, {60, 10}, {40, 5}, {27, 3}, {10, 3}, {3, 1}, {80, 2}};
  for (const auto& size : sizes) {
    auto lines = Lines(TerminalView::Compose(boards, 0, size[0], size[1]));
    EXPECT_LE(static_cast<int>(lines.size()), std::max(size[1], 1)) << size[0] << "x" << size[1];
    for (const std::string& line : lines) EXPECT_LE(VisibleWidth(line), size[0]) << size[0] << "x" << size[1];
  }
}

TEST(TerminalViewTest, FullViewShowsBoardNumberReportsAndColours) {
  BoardModel board;
  board.reports = 42;
  board.banks[0] = 0b111;
  board.profile[0] = 48;
  std::string screen = TerminalView::Compose({{2, &board}}, 0, 100, 30);
  EXPECT_NE(screen.find("Board 2  42 reports"), std::string::npos);
  EXPECT_NE(screen.find("\x1b[48;2;255;0;0m"), std::string::npos) << "lamp 1 is red";
  EXPECT_NE(screen.find("L10"), std::string::npos);
  EXPECT_EQ(screen.find("unplugged"), std::string::npos);
  screen = TerminalView::Compose({{2, &board, true}}, 0, 100, 30);
  EXPECT_NE(screen.find("Board 2  42 reports  GPS 0  unplugged"), std::string::npos);
}

}  // namespace
}  // namespace quorel_sim
