// How quorelctl_fuzz reads an input: byte 0 chooses the path and its
// settings, the rest is the text. Shared with the test that keeps the seeds
// honest.
//   bit 0     0: the Command path (upper-casing, interpreter, reports)
//             1: the number conversions
//   bit 2     FastCom on
//   bit 3     a negative CompatibilityDelay (-1) instead of 0
//   bits 4-7  the board, 1-16
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace fuzzing {

struct QuorelctlInput {
  bool numbers = false;
  int16_t board = 1;
  bool fast_com = false;
  int16_t delay = 0;
  std::string_view text;
};

inline std::optional<QuorelctlInput> DecodeQuorelctlInput(const uint8_t* data, size_t size) {
  if (size == 0) return std::nullopt;
  const uint8_t mode = data[0];
  QuorelctlInput in;
  in.numbers = (mode & 1) != 0;
  in.board = static_cast<int16_t>(1 + (mode >> 4));
  in.fast_com = (mode & 4) != 0;
  in.delay = (mode & 8) != 0 ? -1 : 0;
  in.text = std::string_view(reinterpret_cast<const char*>(data + 1), size - 1);
  return in;
}

}  // namespace fuzzing
