#include "arguments.h"

#include <algorithm>

namespace quorel_tools {

std::optional<long> ParseWholeNumber(std::string_view text, long low, long high) {
  if (text.empty() || text.size() > 9) return std::nullopt;  // 9 digits cannot overflow a long
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<std::vector<int>> ParseBoardList(std::string_view text) {
  std::vector<int> boards;
  for (;;) {
    const size_t comma = text.find(',');
    const auto n = ParseWholeNumber(text.substr(0, comma), 1, 16);
    if (!n || std::find(boards.begin(), boards.end(), *n) != boards.end()) return std::nullopt;
    boards.push_back(static_cast<int>(*n));
    if (comma == std::string_view::npos) return boards;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace quorel_tools
