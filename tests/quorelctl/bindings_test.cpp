#include "quorelctl/dmx/bindings.h"

#include <gtest/gtest.h>

#include <tuple>

namespace quorelctl {
namespace {

struct LineCase {
  const char* line;
  const char* reason;  // "" when the line binds a board
};

class BindingLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(BindingLineTest, ReadOrRefused) {
  const LineCase& c = GetParam();
  const BindingsFile file = ParseBindings(std::string("# first line\n") + c.line + "\n", "f");
  if (*c.reason == '\0') {
    ASSERT_EQ(file.problems.size(), 0u) << file.problems[0].reason;
    ASSERT_EQ(file.bindings.size(), 1u);
    EXPECT_EQ(file.bindings[0].line, 2);
  } else {
    ASSERT_EQ(file.problems.size(), 1u);
    EXPECT_EQ(file.problems[0].line, 2);
    EXPECT_NE(file.problems[0].reason.find(c.reason), std::string::npos) << file.problems[0].reason;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BindingLineTest,
    ::testing::Values(LineCase{"board 1 = universe 1 channel 1", ""},
                      LineCase{"  BOARD\t16=UNIVERSE 4294967295 Channel 481   # last ones", ""},
                      LineCase{"board 2 = universe 0 channel 1 server LocalHost:9011", ""},
                      LineCase{"board 0 = universe 1 channel 1", "board number must be 1-16"},
                      LineCase{"board 17 = universe 1 channel 1", "board number must be 1-16"},
                      LineCase{"board +1 = universe 1 channel 1", "board number must be 1-16"},
                      LineCase{"board 1 = universe 4294967296 channel 1", "universe must be"},
                      LineCase{"board 1 = universe 1 channel 0", "channel must be 1-481"},
                      LineCase{"board 1 = universe 1 channel 482", "channel must be 1-481"},
                      LineCase{"board 1 = universe 1 channel 1 server 127.0.0.1", "port 1-65535"},
                      LineCase{"board 1 = universe 1 channel 1 server 127.0.0.1:65536", "port 1-65535"},
                      LineCase{"board 1 = universe 1 channel 1 server lights.local:9010", "IPv4 address"},
                      LineCase{"board 1 = universe 1 channel 1 server 1.2.3:9010", "IPv4 address"},
                      LineCase{"board 1 = universe 1 channel 1 server 1.2.3.4.5:9010", "IPv4 address"},
                      LineCase{"board 1 = universe 1 channel 1 server 1.2.3.4.:9010", "IPv4 address"},
                      LineCase{"board 1 = universe 1 channel 1 server 010.0.0.1:9010", "IPv4 address"},
                      LineCase{"board 1 = universe 1 channel 1 server 10.0.0.0:9010", ""},
                      LineCase{"board 1 universe 1 channel 1", "expected \"board N"},
                      LineCase{"board 1 = universe 1 channel 1 extra", "expected \"board N"},
                      LineCase{"board 1 = universe 1 port 1", "expected \"board N"},
                      LineCase{"board 1 = universe 1 channel 1 via OLA", ""},
                      LineCase{"board 1 = universe 1 channel 1 server 10.0.0.2:9011 via ola", ""},
                      LineCase{"board 1 = universe 1 channel 1 via artnet", "transport must be ola, not \"artnet\""},
                      LineCase{"board 1 = universe 1 channel 1 via", "expected \"board N"},
                      LineCase{"board 1 = universe 1 channel 1 via ola server 10.0.0.2:9011", "expected \"board N"}));

// Files written before there was a transport word keep their meaning.
TEST(BindingsFileTest, ViaOlaIsWhatALineWithoutTransportMeans) {
  const BindingsFile with = ParseBindings(
      "board 1 = universe 2 channel 3 via ola\n"
      "board 2 = universe 2 channel 40 server 10.0.0.2:9011 VIA Ola",
      "f");
  const BindingsFile without = ParseBindings(
      "board 1 = universe 2 channel 3\n"
      "board 2 = universe 2 channel 40 server 10.0.0.2:9011",
      "f");
  ASSERT_EQ(with.bindings.size(), 2u);
  ASSERT_EQ(without.bindings.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const Binding &a = with.bindings[i], &b = without.bindings[i];
    EXPECT_EQ(std::tie(a.board, a.universe, a.first_channel, a.host, a.port, a.transport),
              std::tie(b.board, b.universe, b.first_channel, b.host, b.port, b.transport));
    EXPECT_EQ(a.transport, kDefaultTransport);
  }
  EXPECT_EQ(without.bindings[0].server(), "127.0.0.1:9010");
}

TEST(BindingsFileTest, ValuesAndDefaults) {
  const BindingsFile file = ParseBindings("board 3=universe 7 channel 10 server 10.0.0.2:9011\r\nboard 4 = universe 8 channel 1", "f");
  ASSERT_EQ(file.bindings.size(), 2u);
  EXPECT_EQ(file.bindings[0].board, 3);
  EXPECT_EQ(file.bindings[0].universe, 7u);
  EXPECT_EQ(file.bindings[0].first_channel, 10);
  EXPECT_EQ(file.bindings[0].server(), "10.0.0.2:9011");
  EXPECT_EQ(file.bindings[1].server(), "127.0.0.1:9010");
}

// A board bound again and channels that another board of the same universe
// on the same server takes: the later line counts for nothing.
TEST(BindingsFileTest, ClashesKeepTheEarlierLine) {
  const BindingsFile file = ParseBindings(
      "board 1 = universe 1 channel 1\n"
      "board 1 = universe 2 channel 1\n"
      "board 2 = universe 1 channel 32\n"
      "board 3 = universe 1 channel 33\n"
      "board 4 = universe 1 channel 1 server 127.0.0.1:9011\n"
      "board 5 = universe 2 channel 1\n",
      "f");
  ASSERT_EQ(file.problems.size(), 2u);
  EXPECT_EQ(file.problems[0].line, 2);
  EXPECT_EQ(file.problems[0].reason, "board 1 is already bound on line 1");
  EXPECT_EQ(file.problems[1].line, 3);
  EXPECT_EQ(file.problems[1].reason, "channels 32-63 of universe 1 overlap those of board 1 (line 1)");
  ASSERT_EQ(file.bindings.size(), 4u);
  EXPECT_EQ(file.bindings[1].board, 3);
}

// A file of bad lines keeps the first problems and counts the rest in one,
// at the first line left out; a good line among them still counts.
TEST(BindingsFileTest, ProblemsAreCappedInMemory) {
  struct Case {
    int bad_lines;
    size_t kept;
    const char* last;  // the last problem's reason starts so
  };
  const Case cases[] = {{100, 100, "expected"}, {101, 101, "this line and 0 more"},
                        {524288, 101, "this line and 524186 more"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bad_lines);
    std::string text;
    for (int i = 0; i < c.bad_lines; ++i) text += i == 200 ? "board 1 = universe 1 channel 1\n" : "x\n";
    const BindingsFile file = ParseBindings(text, "f");
    ASSERT_EQ(file.problems.size(), c.kept);
    EXPECT_EQ(file.problems.back().reason.rfind(c.last, 0), 0u) << file.problems.back().reason;
    if (c.kept > kListedProblems) {
      EXPECT_EQ(file.problems.back().line, 101);
    }
    EXPECT_EQ(file.bindings.size(), c.bad_lines > 200 ? 1u : 0u);
  }
}

}  // namespace
}  // namespace quorelctl
