#include "datatypes/number_text.h"

#include <charconv>
#include <cmath>

#include "comrt/result_codes.h"
#include "datatypes/text_rules.h"

namespace varnel {
namespace {

std::u16string Widen(const char* begin, const char* end) { return std::u16string(begin, end); }

// Fixed notation of the largest double needs 309 digits, a sign, a point and
// six decimals.
constexpr size_t kRealBufferSize = 512;

template <class Real>
std::u16string WriteRealIn(Real value) {
  if (!std::isfinite(value)) throw E_INVALIDARG;
  char buffer[kRealBufferSize];
  std::to_chars_result fixed =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, 6);
  std::u16string text = Widen(buffer, fixed.ptr);
  if (static_cast<Real>(ReadReal(text)) == value) return text;
  const std::to_chars_result shortest = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Widen(buffer, shortest.ptr);
}

}  // namespace

std::u16string WriteDecimal(int64_t value) {
  char buffer[24];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Widen(buffer, result.ptr);
}

std::u16string WriteUnsignedDecimal(uint64_t value) {
  char buffer[24];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Widen(buffer, result.ptr);
}

std::u16string WriteReal(double value) { return WriteRealIn(value); }
std::u16string WriteReal(float value) { return WriteRealIn(value); }

std::u16string WriteCurrency(CY value) {
  const int64_t units = value.int64;
  // Magnitudes in unsigned arithmetic, where the most negative value fits.
  const uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  char buffer[32];
  char* end = buffer;
  if (units < 0) *end++ = '-';
  end = std::to_chars(end, buffer + sizeof buffer, magnitude / 10000).ptr;
  *end++ = '.';
  const unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  *end++ = static_cast<char>('0' + fraction / 1000);
  *end++ = static_cast<char>('0' + fraction / 100 % 10);
  *end++ = static_cast<char>('0' + fraction / 10 % 10);
  *end++ = static_cast<char>('0' + fraction % 10);
  return Widen(buffer, end);
}

}  // namespace varnel
