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
  bool negative = false;
  uint64_t magnitude = 0;    // stops at the largest 64-bit value
  bool saturated = false;    // the digits go beyond even that
  bool hasDigits = false;
  size_t end = 0;  // position after the last character taken
};

// Blanks, sign and digits from the start of `text`; each rule decides what
// the sign and the size mean for its type.
ScannedInteger ScanInteger(std::u16string_view text) {
  ScannedInteger scanned;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    scanned.negative = text[i] == u'-';
    ++i;
  }
  constexpr uint64_t kMost = std::numeric_limits<uint64_t>::max();
  while (i < text.size() && IsDigit(text[i])) {
    scanned.hasDigits = true;
    const unsigned digit = text[i] - u'0';
    if (!scanned.saturated) {
      if (scanned.magnitude > (kMost - digit) / 10) {
        scanned.saturated = true;
        scanned.magnitude = kMost;
      } else {
        scanned.magnitude = scanned.magnitude * 10 + digit;
      }
    }
    ++i;
  }
  scanned.end = i;
  return scanned;
}

// The signed 64-bit value of a scan, the nearest limit when it lies beyond;
// `beyond` tells which.
int64_t SignedValue(const ScannedInteger& scanned, bool* beyond) {
  const uint64_t limit =
      scanned.negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  const uint64_t magnitude = scanned.magnitude > limit ? limit : scanned.magnitude;
  *beyond = scanned.magnitude > limit;
  // Negated in unsigned arithmetic, where the most negative value fits.
  return scanned.negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

bool IsWholeNumber(const ScannedInteger& scanned, std::u16string_view text) {
  return scanned.hasDigits && scanned.end == text.size();
}

// The C locale, for the rare real that from_chars cannot place.
locale_t ClassicLocale() {
  static const locale_t classic = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return classic;
}

}  // namespace

int64_t ReadLenientInteger(std::u16string_view text) {
  bool beyond = false;
  return SignedValue(ScanInteger(text), &beyond);
}

int64_t ReadStrictInteger(std::u16string_view text, int64_t smallest, int64_t largest) {
  if (text.empty()) return 0;
  const ScannedInteger scanned = ScanInteger(text);
  bool beyond = false;
  const int64_t value = SignedValue(scanned, &beyond);
  // A value clamped to a 64-bit limit is not the value the text gave, even
  // where the limit itself would be allowed ("i8").
  if (!IsWholeNumber(scanned, text) || beyond || value < smallest || value > largest) throw DISP_E_BADVARTYPE;
  return value;
}

uint64_t ReadLenientUnsigned(std::u16string_view text) {
  const ScannedInteger scanned = ScanInteger(text);
  return scanned.negative ? 0 : scanned.magnitude;
}

uint64_t ReadStrictUnsigned(std::u16string_view text) {
  if (text.empty()) return 0;
  const ScannedInteger scanned = ScanInteger(text);
  if (!IsWholeNumber(scanned, text) || scanned.negative || scanned.saturated) throw DISP_E_BADVARTYPE;
  return scanned.magnitude;
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
