#include "arguments.h"

#include <gtest/gtest.h>

namespace quorel_tools {
namespace {

struct ListCase {
  const char* text;
  std::optional<std::vector<int>> boards;
};

TEST(ArgumentsTest, BoardLists) {
  const ListCase cases[] = {
      {"1", std::vector<int>{1}},       {"3,1,16", std::vector<int>{3, 1, 16}},
      {"", std::nullopt},               {"1,,3", std::nullopt},
      {"1,", std::nullopt},             {",1", std::nullopt},
      {"0", std::nullopt},              {"17", std::nullopt},
      {"1,1", std::nullopt},            {" 1", std::nullopt},
      {"+1", std::nullopt},             {"1.0", std::nullopt},
      {"2.4", std::nullopt},            {"99999999999999999999", std::nullopt},
  };
  for (const ListCase& c : cases) EXPECT_EQ(ParseBoardList(c.text), c.boards) << '"' << c.text << '"';
}

TEST(ArgumentsTest, WholeNumbers) {
  EXPECT_EQ(ParseWholeNumber("0", 0, 32767), 0);
  EXPECT_EQ(ParseWholeNumber("32767", 0, 32767), 32767);
  EXPECT_EQ(ParseWholeNumber("007", 0, 32767), 7);
  for (const char* bad : {"", "32768", "-1", "1e3", "12ms", " 5", "999999999999"})
    EXPECT_EQ(ParseWholeNumber(bad, 0, 32767), std::nullopt) << '"' << bad << '"';
}

}  // namespace
}  // namespace quorel_tools
