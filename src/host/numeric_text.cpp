#include "numeric_text.h"

#include <cstdint>
#include <limits>

namespace varnel {
namespace host {

namespace {

struct IntegerBounds {
  std::string_view dataType;
  int64_t smallest;
  uint64_t largest;
};

constexpr IntegerBounds kIntegers[] = {
    {"i1", -128, 127},
    {"i2", -32768, 32767},
    {"i4", INT32_MIN, INT32_MAX},
    {"int", INT32_MIN, INT32_MAX},
    {"i8", INT64_MIN, INT64_MAX},
    {"ui1", 0, 255},
    {"ui2", 0, 65535},
    {"ui4", 0, UINT32_MAX},
    {"ui8", 0, UINT64_MAX},
};

constexpr std::string_view kReals[] = {"r4", "r8", "float", "number", "fixed.14.4"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Leading blanks as the library skips them; nothing may trail.
size_t SkipBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i;
}

bool IsWholeInteger(std::string_view text, const IntegerBounds& bounds) {
  size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return magnitude <= bounds.largest;
  // -smallest as an unsigned magnitude, INT64_MIN included.
  const uint64_t limit = static_cast<uint64_t>(-(bounds.smallest + 1)) + 1;
  return bounds.smallest < 0 ? magnitude <= limit : magnitude == 0;
}

bool IsWholeReal(std::string_view text) {
  size_t i = SkipBlanks(text);
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponent;
    if (exponent == 0) return false;
  }
  return i == text.size();
}

}  // namespace

NumericCheck CheckNumericText(std::string_view dataType, std::string_view text) {
  for (const IntegerBounds& bounds : kIntegers) {
    if (bounds.dataType == dataType) return IsWholeInteger(text, bounds) ? NumericCheck::kFine : NumericCheck::kBadInteger;
  }
  for (std::string_view real : kReals) {
    if (real == dataType) return IsWholeReal(text) ? NumericCheck::kFine : NumericCheck::kBadReal;
  }
  return NumericCheck::kFine;
}

}  // namespace host
}  // namespace varnel
