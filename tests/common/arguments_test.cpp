#include "common/arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace common {
namespace {

struct SplitCase {
  const char* text;
  const char* separator;
  bool ok;
  std::vector<int16_t> values;     // after the split, over a table of -99s; its size is the count
  std::vector<int16_t> positions;  // the same length
};

class SplitValuesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitValuesTest, ValuesAndPositions) {
  const SplitCase& c = GetParam();
  std::vector<int16_t> values(c.values.size(), -99);
  std::vector<int16_t> positions(c.values.size(), -99);
  EXPECT_EQ(SplitValues(c.text, c.separator, values, positions), c.ok) << c.text;
  EXPECT_EQ(values, c.values) << c.text;
  EXPECT_EQ(positions, c.positions) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitValuesTest,
    ::testing::Values(
        // The first character is never examined, even a digit or a separator.
        SplitCase{":1,2,3", ",", true, {1, 2, 3}, {1, 3, 5}},
        SplitCase{"91,2,3", ",", true, {1, 2, 3}, {1, 3, 5}},
        SplitCase{",,2", ",", true, {0, 2}, {1, 2}},
        // Lenient up to and with the separator, strict for the last.
        SplitCase{":2.5x,&H10, -4 ,3.5", ",", true, {2, 16, -4, 4}, {1, 6, 11, 16}},
        SplitCase{":1,2,x", ",", false, {1, 2, -99}, {1, 3, 5}},
        SplitCase{":1,2,", ",", false, {1, 2, -99}, {1, 3, 5}},
        SplitCase{":1,2,3,4", ",", false, {1, 2, -99}, {1, 3, 5}},
        // A missing separator: the values read so far stay, its position is 0.
        SplitCase{":1,2", ",", false, {1, -99, -99}, {1, 3, 0}},
        SplitCase{":40000,2", ",", false, {-99, -99}, {1, 7}},
        SplitCase{"", ",", false, {-99, -99}, {1, 0}},
        // One value: all after the first character, strictly.
        SplitCase{": 7 ", ",", true, {7}, {1}},
        SplitCase{":", ",", false, {-99}, {1}},
        // Separators are found ignoring letter case; a value ends with the
        // separator's first character, so the rest of a longer one starts the next.
        SplitCase{":1X2x3", "x", true, {1, 2, 3}, {1, 3, 5}},
        SplitCase{":1;;2", ";;", false, {1, -99}, {1, 3}}));

TEST(SplitValuesTest, SeparatorsPastPosition32767AreMissing) {
  std::string text = ":" + std::string(32765, ' ') + "1,2";  // the "," at position 32768
  std::vector<int16_t> values(2), positions(2);
  EXPECT_FALSE(SplitValues(text, ",", values, positions));
  text.erase(1, 1);
  EXPECT_TRUE(SplitValues(text, ",", values, positions));
  EXPECT_EQ(positions[1], 32767);
  EXPECT_EQ(values, (std::vector<int16_t>{1, 2}));
}

}  // namespace
}  // namespace common
