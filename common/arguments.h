// The argument rule of the board language and of the animation frames: a
// list of values, each but the last read leniently up to and including the
// separator that ends it, the last read strictly. Nothing here depends on
// either deliverable.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace common {

// Splits `text` into values.size() values (at least 1). Position 1 of `text`
// (its first character) is never examined; each value but the last starts
// just after the previous separator's position and runs through the next
// `separator` (found ignoring ASCII letter case) and is read by LenientInt16;
// the last is all that follows and is read by StrictInt16.
//
// positions[i] (1-based, positions.size() >= values.size()) receives where
// value i's separator begins; positions[0] is 1, and a missing separator
// leaves 0 in its place. Values are written as they are read, so a failed
// split leaves those before the failure changed. False when a separator is
// missing, lies past position 32767, or a value does not convert.
bool SplitValues(std::string_view text, std::string_view separator, std::span<int16_t> values,
                 std::span<int16_t> positions);

}  // namespace common
