// Writing numbers as value text. Locale-free: "." is the decimal separator
// whatever the thread's locale.
#pragma once

#include <cstdint>
#include <string>

#include "comrt/types.h"

namespace varnel {

// Decimal text of a 64-bit value: "-" before negatives, no "+", no leading zeros.
std::u16string WriteDecimal(int64_t value);
// The same for the unsigned 64-bit range, whose upper half no int64_t holds.
std::u16string WriteUnsignedDecimal(uint64_t value);

// A real in fixed notation with six decimals ("1.500000") whenever that text
// reads back as the same value in the given precision; otherwise the shortest
// text that does ("1e-07"), so no written value loses precision. Throws
// E_INVALIDARG for an infinity or NaN, which value text cannot carry.
std::u16string WriteReal(double value);
std::u16string WriteReal(float value);

// Currency units of 1/10000 as "<whole>.<four digits>", "-" before negatives.
std::u16string WriteCurrency(CY value);

}  // namespace varnel
