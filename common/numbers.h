// The number rules shared by the control library and the program: the
// lenient leading-number rule, rounding half to even, and the conversions to
// 16 bits (lenient for every value of a list but the last, strict for it).
// Nothing here depends on either deliverable.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace common {

// The number at the start of a text: blanks, tabs and line feeds are skipped
// wherever they stand; an optional sign, digits, an optional "." with digits,
// an optional exponent, or "&H" (hex) / "&O" (octal) digits. Reading stops at
// the first character that cannot continue the number; no number gives 0.
// Results too large for a double are +/- infinity. Locale-independent.
double LeadingNumber(std::string_view text);

// Round to nearest, ties to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

// Rounded value in -32768..32767, or nothing.
std::optional<int16_t> ToInt16(double value);

// LeadingNumber, rounded, in 16-bit range (used for every value but the last).
std::optional<int16_t> LenientInt16(std::string_view text);

// The whole text must be one plain decimal number ("." as the decimal point,
// optional sign and exponent), blanks around it allowed; anything else, empty
// text included, gives nothing. Rounded, in 16-bit range.
std::optional<int16_t> StrictInt16(std::string_view text);

}  // namespace common
