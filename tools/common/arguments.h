// Command-line values as the tools take them, read alike by every tool.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace quorel_tools {

// A whole decimal number within low..high: digits only, no sign, no blanks;
// nothing for anything else, the empty text included.
std::optional<long> ParseWholeNumber(std::string_view text, long low, long high);

// "N[,N...]": distinct board numbers 1-16 in the order given; nothing when
// an item is empty, not a whole number, out of range or repeated.
std::optional<std::vector<int>> ParseBoardList(std::string_view text);

}  // namespace quorel_tools
