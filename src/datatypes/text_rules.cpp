#include "datatypes/text_rules.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace varnel {
namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

struct ScannedInteger {
  int64_t value = 0;
  bool hasDigits = false;
  size_t end = 0;  // position after the last character taken
};

// Blanks, sign and digits from the start of `text`, clamped to 64 bits.
ScannedInteger ScanInteger(std::u16string_view text) {
  ScannedInteger scanned;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  // Accumulate the magnitude toward the limit of the sign's side.
  const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t magnitude = 0;
  bool clamped = false;
  while (i < text.size() && IsDigit(text[i])) {
    scanned.hasDigits = true;
    const unsigned digit = text[i] - u'0';
    if (!clamped) {
      if (magnitude > (limit - digit) / 10) {
        clamped = true;
        magnitude = limit;
      } else {
        magnitude = magnitude * 10 + digit;
      }
    }
    ++i;
  }
  scanned.end = i;
  scanned.value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return scanned;
}

// The C locale, for the rare real that from_chars cannot place.
locale_t ClassicLocale() {
  static const locale_t classic = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return classic;
}

}  // namespace

int64_t ReadLenientInteger(std::u16string_view text) { return ScanInteger(text).value; }

int64_t ReadStrictInteger(std::u16string_view text, int64_t smallest, int64_t largest) {
  if (text.empty()) return 0;
  const ScannedInteger scanned = ScanInteger(text);
  if (!scanned.hasDigits || scanned.end != text.size() || scanned.value < smallest || scanned.value > largest) {
    throw DISP_E_BADVARTYPE;
  }
  return scanned.value;
}

double ReadReal(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  // The accepted part, as ASCII for the number parser; a leading "+" is
  // dropped since from_chars does not take it.
  std::string number;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') number.push_back('-');
    ++i;
  }
  bool hasDigits = false;
  bool hasPoint = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsDigit(c)) {
      hasDigits = true;
    } else if (c == u'.' && !hasPoint) {
      hasPoint = true;
    } else {
      break;
    }
    number.push_back(static_cast<char>(c));
  }
  if (!hasDigits) return 0.0;
  // An exponent counts only when digits follow its optional sign.
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      number.push_back('e');
      if (text[i + 1] == u'-') number.push_back('-');
      for (; j < text.size() && IsDigit(text[j]); ++j) number.push_back(static_cast<char>(text[j]));
    }
  }
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Overflow gives an infinity, underflow zero, as the C library rounds.
    return strtod_l(number.c_str(), nullptr, ClassicLocale());
  }
  return value;
}

}  // namespace varnel
