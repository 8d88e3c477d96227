#include "board_model.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "terminal_view.h"

namespace quorel_sim {
namespace {

using Report = std::array<uint8_t, kReportLength>;

void Apply(BoardModel& board, const std::vector<Report>& reports) {
  for (const Report& r : reports) board.Apply(r);
}

const Report kState = {0, 64, 0xFF, 0x01, 0x00, 0x80, 7, 0, 0};
const Report kProfile1 = {0, 64, 1, 2, 3, 4, 5, 6, 7};  // a profile report may start with 64
const Report k48 = {0, 48, 48, 48, 48, 48, 48, 48, 48};

TEST(BoardModelTest, StateReportSetsBanksAndGps) {
  BoardModel board;
  board.Apply(kState);
  EXPECT_EQ(board.banks, (std::array<uint8_t, 4>{0xFF, 0x01, 0x00, 0x80}));
  EXPECT_EQ(board.gps, 7);
  EXPECT_TRUE(board.OutputOn(1));
  EXPECT_TRUE(board.OutputOn(9));
  EXPECT_FALSE(board.OutputOn(10));
  EXPECT_TRUE(board.OutputOn(32));
  EXPECT_EQ(board.reports, 1u);
}

TEST(BoardModelTest, ProfileReportsFillOutputsInGroupsOfFour) {
  BoardModel board;
  Apply(board, {k48, {0, 9, 9, 9, 9, 9, 9, 9, 9}, k48, {0, 1, 2, 3, 4, 5, 6, 7, 8}});
  EXPECT_EQ(board.profile[0], 48);
  EXPECT_EQ(board.profile[8], 9);
  EXPECT_EQ(board.profile[24], 1);
  EXPECT_EQ(board.profile[31], 8);
  EXPECT_EQ(board.next_profile, 0);
}

TEST(BoardModelTest, SixtyFourInsideAGroupIsAProfileValue) {
  BoardModel board;
  board.Apply(kState);
  Apply(board, {k48, kProfile1, k48, k48});  // second report of the group begins with 64
  EXPECT_EQ(board.profile[8], 64);
  EXPECT_EQ(board.gps, 7) << "the state was not touched";
  board.Apply(Report{0, 64, 0, 0, 0, 0, 3, 0, 0});  // a group is complete: this is a state report again
  EXPECT_EQ(board.gps, 3);
}

TEST(BoardModelTest, StartupDefaultsThenRgbCommand) {
  BoardModel board;
  Apply(board, {{0, 64, 0, 0, 0, 0, 3, 0, 0}, k48, k48, k48, k48});
  Apply(board, {{0, 10, 20, 30, 48, 48, 48, 48, 48}, k48, k48, k48, {0, 64, 7, 0, 0, 0, 3, 0, 0}});
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
  board.profile[4] = kSaw;
  EXPECT_FALSE(Animating(board));
  board.banks[0] = 1 << 4;
  EXPECT_TRUE(Animating(board));
  board.profile[4] = 48;
  EXPECT_FALSE(Animating(board));
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
