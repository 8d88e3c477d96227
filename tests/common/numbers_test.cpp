#include "common/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <optional>

namespace common {
namespace {

struct LeadingCase {
  const char* text;
  double value;
};

class LeadingNumberTest : public ::testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingNumberTest, Reads) { EXPECT_DOUBLE_EQ(LeadingNumber(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadingNumberTest,
    ::testing::Values(LeadingCase{"", 0}, LeadingCase{"abc", 0}, LeadingCase{"x12", 0}, LeadingCase{"12", 12},
                      LeadingCase{"12,", 12}, LeadingCase{"12abc", 12}, LeadingCase{"  7", 7},
                      LeadingCase{"1 2 3", 123}, LeadingCase{"\t4\n5", 45}, LeadingCase{"-17", -17},
                      LeadingCase{"+17", 17}, LeadingCase{"- 3", -3}, LeadingCase{"+-3", 0},
                      LeadingCase{"2.5", 2.5}, LeadingCase{".5", 0.5}, LeadingCase{"5.", 5},
                      LeadingCase{".", 0}, LeadingCase{"-", 0}, LeadingCase{"1.2.3", 1.2},
                      LeadingCase{"1E3", 1000}, LeadingCase{"1e3", 1000}, LeadingCase{"25E-1", 2.5},
                      LeadingCase{"1E+2", 100}, LeadingCase{"1E", 1}, LeadingCase{"1E+", 1},
                      LeadingCase{"1EX", 1}, LeadingCase{"&HFF", 255}, LeadingCase{"&hff", 255},
                      LeadingCase{"&H 1 0", 16}, LeadingCase{"&O17", 15}, LeadingCase{"&O19", 1},
                      LeadingCase{"&H", 0}, LeadingCase{"&X1", 0}, LeadingCase{"&HG", 0},
                      LeadingCase{"-&H10", 0}, LeadingCase{"&HFFFF", 65535},
                      LeadingCase{"000000000000000000000000000000000000000000000000007", 7},
                      LeadingCase{"0.00000000000000000000000000000000000000000000000001E50", 1},
                      LeadingCase{"1,5", 1},
                      LeadingCase{"2.5000000000000000000000000000000000000001", 2.5}));  // 41st digit dropped

TEST(LeadingNumberTest, HugeValuesBecomeInfinite) {
  EXPECT_TRUE(std::isinf(LeadingNumber("1E400")));
  EXPECT_TRUE(std::isinf(LeadingNumber(std::string(400, '9'))));
  EXPECT_EQ(LeadingNumber("1E-400"), 0.0);
}

TEST(RoundHalfEvenTest, TiesGoToEven) {
  const double cases[][2] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2},
                             {2.4999, 2}, {2.5001, 3}, {-0.4, -0.0}, {16.7, 17}, {32767.5, 32768}};
  for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c[0]), c[1]) << c[0];
}

struct Int16Case {
  const char* text;
  std::optional<int16_t> lenient;
  std::optional<int16_t> strict;
};

class Int16Test : public ::testing::TestWithParam<Int16Case> {};

TEST_P(Int16Test, LenientAndStrict) {
  EXPECT_EQ(LenientInt16(GetParam().text), GetParam().lenient) << '"' << GetParam().text << '"';
  EXPECT_EQ(StrictInt16(GetParam().text), GetParam().strict) << '"' << GetParam().text << '"';
}

constexpr std::nullopt_t kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Texts, Int16Test,
    ::testing::Values(Int16Case{"255", 255, 255}, Int16Case{" 255 ", 255, 255}, Int16Case{"\t3\t", 3, 3},
                      Int16Case{"", 0, kNone}, Int16Case{"   ", 0, kNone}, Int16Case{"abc", 0, kNone},
                      Int16Case{"2.5", 2, 2}, Int16Case{"3.5", 4, 4}, Int16Case{"-2.5", -2, -2},
                      Int16Case{"32767", 32767, 32767}, Int16Case{"32768", kNone, kNone},
                      Int16Case{"32767.5", kNone, kNone}, Int16Case{"-32768", -32768, -32768},
                      Int16Case{"-32768.5", -32768, -32768}, Int16Case{"-32769", kNone, kNone},
                      Int16Case{"1E3", 1000, 1000}, Int16Case{"1E5", kNone, kNone},
                      Int16Case{"1 2", 12, kNone}, Int16Case{"12,", 12, kNone}, Int16Case{"4,5", 4, kNone},
                      Int16Case{"&HFF", 255, kNone}, Int16Case{"1,000", 1, kNone},
                      Int16Case{"2,5", 2, kNone}, Int16Case{"$5", 0, kNone}, Int16Case{"+7", 7, 7},
                      Int16Case{".5", 0, 0}, Int16Case{"5.", 5, 5}, Int16Case{"1E", 1, kNone},
                      Int16Case{"- 5", -5, kNone}, Int16Case{"5\n", 5, kNone}));

// A process whose locale writes numbers with a decimal comma still reads "."
// and refuses ",".
TEST(Int16Test, IgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr && std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr)
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  EXPECT_EQ(StrictInt16("2.5"), 2);
  EXPECT_EQ(StrictInt16("3,5"), kNone);
  EXPECT_DOUBLE_EQ(LeadingNumber("3.75"), 3.75);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace common
