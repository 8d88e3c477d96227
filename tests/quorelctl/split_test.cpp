#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "quorelctl/interpreter/led_module.h"
#include "recording_link.h"

namespace quorelctl {
namespace {

struct SplitCase {
  const char* text;
  int count;  // 0: no values; 1: a waveform name or a leading number; more: a list
  bool fails;
  std::vector<int16_t> values;  // expected when the split succeeds
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, Values) {
  const SplitCase& c = GetParam();
  ResetModule();
  Tables().values.fill(-99);  // stale values must not show through
  const Reading reading = c.count == 0 ? Reading::kNone : c.count == 1 ? Reading::kNamedOrLeading : Reading::kList;
  SplitArguments(c.text, c.count, reading);
  ASSERT_EQ(Tables().split_failed, c.fails) << c.text;
  if (c.fails) return;
  for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(Tables().values[i], c.values[i]) << c.text << " #" << i;
}

INSTANTIATE_TEST_SUITE_P(
    OneValue, SplitTest,
    ::testing::Values(SplitCase{"GPS", 1, true, {}}, SplitCase{"GPS:", 1, false, {0}},
                      SplitCase{"GP", 1, true, {}}, SplitCase{"GPS:7", 1, false, {7}},
                      SplitCase{"P05:SAW", 1, false, {129}}, SplitCase{"P05:sqr", 1, false, {130}},
                      SplitCase{"P05:SDN", 1, false, {131}}, SplitCase{"P05:SUP", 1, false, {132}},
                      SplitCase{"P05: SAW", 1, false, {0}}, SplitCase{"P05:SAWX", 1, false, {0}},
                      SplitCase{"P05:abc", 1, false, {0}}, SplitCase{"P05:12abc", 1, false, {12}},
                      SplitCase{"P05:&H40", 1, false, {64}}, SplitCase{"GPS:32768", 1, true, {}},
                      SplitCase{"GPS:-32768", 1, false, {-32768}}, SplitCase{"GPS;2.5", 1, false, {2}},
                      SplitCase{"GPSX3.5", 1, false, {4}}));

INSTANTIATE_TEST_SUITE_P(NoValues, SplitTest,
                         ::testing::Values(SplitCase{"ABC", 0, false, {}}, SplitCase{"ABC:", 0, false, {}},
                                           SplitCase{"ABC:1", 0, true, {}}, SplitCase{"ABC: ", 0, true, {}},
                                           SplitCase{"AB", 0, true, {}}));

INSTANTIATE_TEST_SUITE_P(
    SeveralValues, SplitTest,
    ::testing::Values(
        SplitCase{"SBA:1,2,3,4,5", 5, false, {1, 2, 3, 4, 5}},
        SplitCase{"SBA:1,2,3,4", 5, true, {}},                   // a value missing
        SplitCase{"SBA:1,,3,4,5", 5, false, {1, 0, 3, 4, 5}},    // empty inner value is 0
        SplitCase{"SBA:1,2,3,4,", 5, true, {}},                  // empty last value
        SplitCase{"SBA:1,2,3,4,x", 5, true, {}},                 // last value not a number
        SplitCase{"SBA:x,2,3,4,5", 5, false, {0, 2, 3, 4, 5}},   // inner values are lenient
        SplitCase{"SBA:2.5,3.5,1 0,4,5", 5, false, {2, 4, 10, 4, 5}},
        SplitCase{"SBA:1,2,3,4, 5 ", 5, false, {1, 2, 3, 4, 5}},
        SplitCase{"SBA:1,2,3,4,5,6", 5, true, {}},               // extra values land in the last piece
        SplitCase{"SBA:32768,2,3,4,5", 5, true, {}},
        SplitCase{"SBA:1,2,3,4,32768", 5, true, {}},
        SplitCase{"SBA,1,2,3,4,5", 5, false, {1, 2, 3, 4, 5}},   // fourth character never examined
        SplitCase{"SBA11,2,3,4,5", 5, false, {1, 2, 3, 4, 5}},   // ... even when it is a digit
        SplitCase{"SBA", 5, true, {}},
        SplitCase{"SBA:", 5, true, {}},
        SplitCase{"RDS:3,SAW", 2, true, {}},                     // the named values are for one value only
        SplitCase{"RGB:1,SAW,2,3", 4, false, {1, 0, 2, 3}}));

TEST(SplitTest, ThirtyTwoValues) {
  ResetModule();
  std::string text = "PBA:";
  for (int i = 1; i <= 32; ++i) text += std::to_string(i * 3) + (i < 32 ? "," : "");
  SplitArguments(text, 32, Reading::kList);
  ASSERT_FALSE(Tables().split_failed);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(Tables().values[i], (i + 1) * 3);
  EXPECT_EQ(Tables().separators[0], 1);
  EXPECT_EQ(Tables().separators[1], 3);  // "…:3," the first separator is at position 3 of ":3,6,…"
}

// A one-value word may take the list reading instead: its value is then read
// strictly, as the last of a list, and a waveform name is no number.
TEST(SplitTest, OneValueInTheListReadingIsStrict) {
  for (const auto& [text, fails, value] : {std::tuple{"XYZ:7", false, 7}, std::tuple{"XYZ:SAW", true, 0},
                                           std::tuple{"XYZ:12abc", true, 0}, std::tuple{"XYZ: 2.5 ", false, 2}}) {
    ResetModule();
    SplitArguments(text, 1, Reading::kList);
    EXPECT_EQ(Tables().split_failed, fails) << text;
    if (!fails) { EXPECT_EQ(Tables().values[0], value) << text; }
  }
}

}  // namespace
}  // namespace quorelctl
