// Numbers read from text for the text-to-number conversions (variant change
// type and currency). One grammar for all of them, narrow and locale-free:
//
//   blanks* [+|-] digits* [. digits*] [(e|E) [+|-] digits+] blanks*
//
// with at least one digit before the exponent. Blanks are space and tab
// through carriage return. Nothing else is a number here: no hexadecimal, no
// group separators, no currency signs, no parentheses for negatives, no "inf"
// or "nan", and the decimal separator is always ".".
//
// The number is kept exactly as decimal digits, so integer and currency
// targets round the true value rather than a nearest double.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

#include "comrt/types.h"

namespace comrt {
namespace number_text {

// sign × digits × 10^exponent.
struct Decimal {
  bool negative = false;
  std::string digits;    // ASCII, no leading or trailing zeros; empty for zero
  int64_t exponent = 0;  // clamped far beyond any type's range
};

inline bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads the whole of [begin, end) by the grammar above; false for any other
// text, the empty text included.
inline bool Parse(const char16_t* begin, const char16_t* end, Decimal* out) {
  // Exponents this large already put every value out of range (or to zero);
  // clamping keeps the arithmetic below far from int64 overflow however long
  // the text is.
  constexpr int64_t kExponentClamp = 1000000000000;
  const char16_t* p = begin;
  while (p != end && IsBlank(*p)) ++p;
  Decimal result;
  if (p != end && (*p == u'+' || *p == u'-')) result.negative = *p++ == u'-';
  bool anyDigit = false;
  int64_t fractionDigits = 0;
  for (bool inFraction = false; p != end; ++p) {
    if (IsDigit(*p)) {
      anyDigit = true;
      if (inFraction) ++fractionDigits;
      // Leading zeros carry no value; their count matters only after the
      // point, where fractionDigits already has it.
      if (*p != u'0' || !result.digits.empty()) result.digits.push_back(static_cast<char>(*p));
    } else if (*p == u'.' && !inFraction) {
      inFraction = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  int64_t exponent = 0;
  if (p != end && (*p == u'e' || *p == u'E')) {
    ++p;
    bool negativeExponent = false;
    if (p != end && (*p == u'+' || *p == u'-')) negativeExponent = *p++ == u'-';
    if (p == end || !IsDigit(*p)) return false;
    for (; p != end && IsDigit(*p); ++p) {
      if (exponent < kExponentClamp) exponent = exponent * 10 + (*p - u'0');
    }
    if (negativeExponent) exponent = -exponent;
  }
  while (p != end && IsBlank(*p)) ++p;
  if (p != end) return false;

  size_t kept = result.digits.size();
  while (kept > 0 && result.digits[kept - 1] == '0') --kept;
  const int64_t trailingZeros = static_cast<int64_t>(result.digits.size() - kept);
  result.digits.resize(kept);
  result.exponent = result.digits.empty() ? 0 : exponent - fractionDigits + trailingZeros;
  *out = std::move(result);
  return true;
}

// The value × 10^scale rounded half to even, as a signed 128-bit integer;
// false when its magnitude needs more than 64 bits.
inline bool ToInteger(const Decimal& number, int scale, __int128* out) {
  const int64_t digitCount = static_cast<int64_t>(number.digits.size());
  if (digitCount == 0) {
    *out = 0;
    return true;
  }
  const int64_t exponent = number.exponent + scale;
  const int64_t integerDigits = digitCount + exponent;
  // 2^64 has 20 digits.
  if (integerDigits > 20) return false;
  unsigned __int128 magnitude = 0;
  const int64_t taken = std::min<int64_t>(std::max<int64_t>(integerDigits, 0), digitCount);
  for (int64_t i = 0; i < taken; ++i) magnitude = magnitude * 10 + (number.digits[i] - '0');
  for (int64_t i = digitCount; i < integerDigits; ++i) magnitude *= 10;
  if (integerDigits >= 0 && integerDigits < digitCount) {
    // Trailing zeros are gone, so any digit after the first dropped one is
    // nonzero: an exact half is a lone 5.
    const char first = number.digits[integerDigits];
    const bool more = integerDigits + 1 < digitCount;
    if (first > '5' || (first == '5' && (more || (magnitude & 1) != 0))) ++magnitude;
  }
  if (magnitude > std::numeric_limits<uint64_t>::max()) return false;
  const __int128 value = static_cast<__int128>(magnitude);
  *out = number.negative ? -value : value;
  return true;
}

// The nearest binary floating-point value (float or double). False when the
// magnitude rounds beyond the type's largest finite value; values too small
// for the type become zero.
template <class Real>
bool ToReal(const Decimal& number, Real* out) {
  const int64_t digitCount = static_cast<int64_t>(number.digits.size());
  // Decimal position of the leading digit, counted so that 1 <= x < 10 is 1.
  const int64_t order = digitCount + number.exponent;
  if (digitCount == 0 || order < -400) {
    *out = 0;
    return true;
  }
  if (order > 400) return false;
  // Past a few hundred significant digits only whether more nonzero digits
  // follow can change the rounding, so the tail is replaced by one nonzero
  // digit; that also bounds the text handed on however long the input was.
  constexpr int64_t kKeptDigits = 800;
  std::string text;
  int64_t exponent = number.exponent;
  if (digitCount > kKeptDigits) {
    text.assign(number.digits, 0, kKeptDigits);
    text.push_back('1');
    exponent += digitCount - (kKeptDigits + 1);
  } else {
    text = number.digits;
  }
  text.push_back('e');
  char exponentText[24];
  const std::to_chars_result written = std::to_chars(exponentText, exponentText + sizeof exponentText, exponent);
  text.append(exponentText, written.ptr);
  Real value = 0;
  const std::from_chars_result read = std::from_chars(text.data(), text.data() + text.size(), value);
  if (read.ec == std::errc::result_out_of_range) {
    if (order > 0) return false;
    *out = 0;
    return true;
  }
  if (read.ec != std::errc() || std::isinf(value)) return false;
  *out = number.negative ? -value : value;
  return true;
}

}  // namespace number_text

// Currency units (1/10000) from the text [begin, end): the grammar above,
// rounded half to even at the fifth decimal. DISP_E_TYPEMISMATCH,
// DISP_E_OVERFLOW. Defined with VarCyFromStr.
HRESULT CurrencyFromText(const char16_t* begin, const char16_t* end, LONGLONG* units);

}  // namespace comrt
