#include "common/arguments.h"

#include <algorithm>

#include "common/ascii.h"
#include "common/numbers.h"

namespace common {

namespace {

// Index of `needle` in `text` at or after `from`, letter case ignored.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty() || from > text.size()) return std::string_view::npos;
  auto it = std::search(text.begin() + static_cast<long>(from), text.end(), needle.begin(), needle.end(),
                        [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
  return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

}  // namespace

bool SplitValues(std::string_view text, std::string_view separator, std::span<int16_t> values,
                 std::span<int16_t> positions) {
  const size_t count = values.size();
  if (count == 0 || positions.size() < count) return false;
  positions[0] = 1;
  for (size_t i = 1; i < count; ++i) {
    // The 1-based position of the previous separator is the 0-based index of
    // the character after it.
    const size_t from = static_cast<size_t>(positions[i - 1]);
    const size_t found = FindNoCase(text, separator, from);
    if (found == std::string_view::npos || found + 1 > 32767) {
      positions[i] = 0;
      return false;
    }
    positions[i] = static_cast<int16_t>(found + 1);
    const std::optional<int16_t> value = LenientInt16(text.substr(from, found + 1 - from));
    if (!value) return false;
    values[i - 1] = *value;
  }
  const size_t last = static_cast<size_t>(positions[count - 1]);
  const std::optional<int16_t> value = StrictInt16(text.substr(std::min(last, text.size())));
  if (!value) return false;
  values[count - 1] = *value;
  return true;
}

}  // namespace common
