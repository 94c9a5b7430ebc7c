// The rules that turn value text into numbers. They run for every argument of
// every message, so they scan the text once and allocate nothing for ordinary
// values. None of them trims trailing characters by itself.
#pragma once

#include <cstdint>
#include <string_view>

#include "comrt/result_codes.h"

namespace varnel {

// Blanks that the rules skip before a number: space and tab to carriage return.
inline bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// Lenient integer rule: leading blanks, an optional sign, decimal digits up to
// the first other character (the rest is ignored). No digits gives 0; a value
// beyond the 64-bit range becomes the nearest 64-bit limit. Never fails.
int64_t ReadLenientInteger(std::u16string_view text);

// Strict integer rule: leading blanks, an optional sign and decimal digits
// that must reach the end of the text, with a value within [smallest,
// largest]. The empty text gives 0. Throws DISP_E_BADVARTYPE (as a plain
// HRESULT) for anything else, a value beyond the 64-bit range included.
int64_t ReadStrictInteger(std::u16string_view text, int64_t smallest, int64_t largest);

// The two rules for the unsigned 64-bit range, whose upper half no signed
// value reaches. Lenient: as the lenient integer rule, except that a "-" sign
// gives 0 whatever follows and a value beyond the range gives the largest.
// Never fails.
uint64_t ReadLenientUnsigned(std::u16string_view text);
// Strict: leading blanks, an optional "+" and decimal digits that must reach
// the end of the text, within the range. The empty text gives 0. Throws
// DISP_E_BADVARTYPE for anything else, any "-" sign included ("-0" too).
uint64_t ReadStrictUnsigned(std::u16string_view text);

// Real rule: leading blanks, an optional sign, digits with at most one ".", an
// optional exponent ("e" or "E", optional sign, digits); reading stops at the
// first character that does not fit. No number gives 0.0; a magnitude beyond
// the double range gives an infinity, below it zero. Never fails.
double ReadReal(std::u16string_view text);

// Keeps the low-order bits of `value`, as a two's-complement narrowing does.
template <class T, class Wide>
T NarrowToLowBits(Wide value) {
  return static_cast<T>(static_cast<uint64_t>(value));
}

}  // namespace varnel
