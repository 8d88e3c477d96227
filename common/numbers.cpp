#include "common/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace common {

namespace {

constexpr int kMaxSignificant = 40;  // well past what a double can hold
constexpr long kExponentLimit = 100000;

bool IsSkippable(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits gathered by the scanners below: value = digits * 10^exponent.
struct Decimal {
  bool negative = false;
  char digits[kMaxSignificant];
  int count = 0;
  long exponent = 0;

  void AddIntegerDigit(char c) {
    if (count == 0 && c == '0') return;
    if (count < kMaxSignificant) digits[count++] = c;
    else ++exponent;  // dropped digit still scales the value
  }
  void AddFractionDigit(char c) {
    if (count == 0 && c == '0') { --exponent; return; }
    if (count < kMaxSignificant) { digits[count++] = c; --exponent; }
  }
  void AddExponent(long e) { exponent = std::clamp(exponent + e, -kExponentLimit, kExponentLimit); }

  double Value() const {
    if (count == 0) return 0.0;
    double magnitude;
    if (count <= 15 && exponent == 0) {
      // Exact for integers below 10^15: the common case, without from_chars.
      long long v = 0;
      for (int i = 0; i < count; ++i) v = v * 10 + (digits[i] - '0');
      magnitude = static_cast<double>(v);
    } else {
      char text[kMaxSignificant + 16];
      std::copy(digits, digits + count, text);
      char* end = text + count;
      *end++ = 'e';
      end = std::to_chars(end, text + sizeof text, exponent).ptr;
      auto result = std::from_chars(text, end, magnitude);
      if (result.ec == std::errc::result_out_of_range)
        magnitude = exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -magnitude : magnitude;
  }
};

// Reads a radix-prefixed number ("&H1F", "&O17") with blanks skipped; the
// position is just past the "&".
double ReadRadix(std::string_view text, size_t i, int radix) {
  double value = 0.0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (IsSkippable(c)) continue;
    int digit;
    if (IsDigit(c)) digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else break;
    if (digit >= radix) break;
    value = value * radix + digit;  // exact up to 2^53, and then far out of any range used
  }
  return value;
}

}  // namespace

double LeadingNumber(std::string_view text) {
  size_t i = 0;
  auto next = [&]() -> char {  // next significant character, 0 at the end
    while (i < text.size() && IsSkippable(text[i])) ++i;
    return i < text.size() ? text[i] : '\0';
  };

  char c = next();
  if (c == '&') {
    ++i;
    char p = next();
    if (p == 'H' || p == 'h') return ReadRadix(text, i + 1, 16);
    if (p == 'O' || p == 'o') return ReadRadix(text, i + 1, 8);
    return 0.0;
  }

  Decimal number;
  if (c == '+' || c == '-') {
    number.negative = c == '-';
    ++i;
  }
  while (IsDigit(c = next())) {
    number.AddIntegerDigit(c);
    ++i;
  }
  if (c == '.') {
    ++i;
    while (IsDigit(c = next())) {
      number.AddFractionDigit(c);
      ++i;
    }
  }
  if (c == 'E' || c == 'e') {
    // The exponent counts only when digits follow; otherwise reading stops before "E".
    size_t save = i;
    ++i;
    bool negative = false;
    char s = next();
    if (s == '+' || s == '-') {
      negative = s == '-';
      ++i;
    }
    if (IsDigit(next())) {
      long e = 0;
      while (IsDigit(c = next())) {
        if (e < kExponentLimit) e = e * 10 + (c - '0');
        ++i;
      }
      number.AddExponent(negative ? -e : e);
    } else {
      i = save;
    }
  }
  return number.Value();
}

double RoundHalfEven(double value) {
  // nearbyint honours the current rounding mode, which nothing here changes
  // from its default, to-nearest-even; doing it by hand keeps that certain.
  double floor = std::floor(value);
  double diff = value - floor;
  if (diff < 0.5) return floor;
  if (diff > 0.5) return floor + 1.0;
  return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

std::optional<int16_t> ToInt16(double value) {
  if (std::isnan(value)) return std::nullopt;
  double rounded = RoundHalfEven(value);
  if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
  return static_cast<int16_t>(rounded);
}

std::optional<int16_t> LenientInt16(std::string_view text) { return ToInt16(LeadingNumber(text)); }

std::optional<int16_t> StrictInt16(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);

  // [sign] (digits [. digits] | . digits) [E [sign] digits], nothing else.
  Decimal number;
  size_t i = 0;
  auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  if (at(i) == '+' || at(i) == '-') number.negative = text[i++] == '-';
  int mantissa_digits = 0;
  while (IsDigit(at(i))) {
    number.AddIntegerDigit(text[i++]);
    ++mantissa_digits;
  }
  if (at(i) == '.') {
    ++i;
    while (IsDigit(at(i))) {
      number.AddFractionDigit(text[i++]);
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (at(i) == 'E' || at(i) == 'e') {
    ++i;
    bool negative = false;
    if (at(i) == '+' || at(i) == '-') negative = text[i++] == '-';
    if (!IsDigit(at(i))) return std::nullopt;
    long e = 0;
    while (IsDigit(at(i))) {
      if (e < kExponentLimit) e = e * 10 + (text[i] - '0');
      ++i;
    }
    number.AddExponent(negative ? -e : e);
  }
  if (i != text.size()) return std::nullopt;
  return ToInt16(number.Value());
}

}  // namespace common
