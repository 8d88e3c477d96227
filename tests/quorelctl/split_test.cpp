#include <gtest/gtest.h>

#include <vector>

#include "quorelctl/interpreter/led_module.h"
#include "recording_link.h"

namespace quorelctl {
namespace {

struct SplitCase {
  const char* text;
  int count;
  bool fails;
  std::vector<int16_t> values;  // expected when the split succeeds
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, Values) {
  const SplitCase& c = GetParam();
  ResetModule();
  Module().ArgValues.fill(-99);  // stale values must not show through
  SplitArguments(c.text, c.count);
  ASSERT_EQ(Module().SplitFailed, c.fails ? -1 : 0) << c.text;
  if (c.fails) return;
  for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(Module().ArgValues[i], c.values[i]) << c.text << " #" << i;
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
  SplitArguments(text, 32);
  ASSERT_EQ(Module().SplitFailed, 0);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(Module().ArgValues[i], (i + 1) * 3);
  EXPECT_EQ(Module().ArgPositions[0], 1);
  EXPECT_EQ(Module().ArgPositions[1], 3);  // "…:3," the first separator is at position 3 of ":3,6,…"
}

}  // namespace
}  // namespace quorelctl
