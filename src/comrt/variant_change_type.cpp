#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "comrt/bstr.h"
#include "comrt/conversions.h"
#include "number_text.h"
#include "value_sizes.h"

// What converts to what, and how numbers look as text, is described with
// VariantChangeType. Every conversion builds its answer into a fresh variant
// first, so that failures leave both sides alone and `dest` may be `source`.

namespace {

using comrt::number_text::Decimal;

bool IsValueType(VARTYPE base) {
  // ValueSize knows every stored type; the two with no storage are added and
  // VT_VARIANT, which only arrays and references hold, is taken out.
  return base == VT_EMPTY || base == VT_NULL || (base != VT_VARIANT && comrt::ValueSize(base) != 0);
}

bool IsValidType(VARTYPE vt) {
  const VARTYPE base = vt & VT_TYPEMASK;
  switch (vt & ~VT_TYPEMASK) {
    case 0:
      return IsValueType(base);
    case VT_ARRAY:
    case VT_BYREF:
    case VT_BYREF | VT_ARRAY:
      return IsValueType(base) || base == VT_VARIANT;
    default:
      return false;
  }
}

// The text of a string value; a null string is empty.
std::u16string_view TextOf(const VARIANT& value) {
  return value.bstrVal ? std::u16string_view(value.bstrVal, SysStringLen(value.bstrVal)) : std::u16string_view();
}

HRESULT ParseNumber(const VARIANT& value, Decimal* number) {
  const std::u16string_view text = TextOf(value);
  return comrt::number_text::Parse(text.data(), text.data() + text.size(), number) ? S_OK : DISP_E_TYPEMISMATCH;
}

// The integer a value of an integer type (or boolean, or empty) holds; false
// for every other type.
bool IntegerOf(const VARIANT& value, __int128* out) {
  switch (value.vt) {
    case VT_EMPTY:
      *out = 0;
      return true;
    case VT_I1:
      *out = value.cVal;
      return true;
    case VT_UI1:
      *out = value.bVal;
      return true;
    case VT_I2:
      *out = value.iVal;
      return true;
    case VT_UI2:
      *out = value.uiVal;
      return true;
    case VT_I4:
    case VT_INT:
      *out = value.lVal;
      return true;
    case VT_UI4:
    case VT_UINT:
      *out = value.ulVal;
      return true;
    case VT_I8:
      *out = value.llVal;
      return true;
    case VT_UI8:
      *out = value.ullVal;
      return true;
    case VT_BOOL:
      *out = value.boolVal ? -1 : 0;
      return true;
    default:
      return false;
  }
}

bool IsReal(VARTYPE vt) { return vt == VT_R4 || vt == VT_R8 || vt == VT_DATE; }

double RealOf(const VARIANT& value) { return value.vt == VT_R4 ? value.fltVal : value.dblVal; }

// Half to even; `value` is finite.
double RoundHalfEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;  // exact
  if (fraction > 0.5) return below + 1;
  if (fraction < 0.5) return below;
  return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

// `units` / 10000 rounded half to even.
__int128 CurrencyToInteger(LONGLONG units) {
  const __int128 whole = units / 10000;
  const __int128 rest = units % 10000;  // same sign as units
  const __int128 magnitude = rest < 0 ? -rest : rest;
  const __int128 away = units < 0 ? -1 : 1;
  if (magnitude > 5000 || (magnitude == 5000 && (whole & 1) != 0)) return whole + away;
  return whole;
}

// Currency as an exact decimal, so that it becomes a real with one rounding.
Decimal CurrencyDecimal(LONGLONG units) {
  Decimal number;
  number.negative = units < 0;
  unsigned long long magnitude =
      units < 0 ? 0ULL - static_cast<unsigned long long>(units) : static_cast<unsigned long long>(units);
  number.exponent = -4;
  while (magnitude != 0 && magnitude % 10 == 0) {
    magnitude /= 10;
    ++number.exponent;
  }
  if (magnitude != 0) number.digits = std::to_string(magnitude);
  return number;
}

HRESULT ToInteger(const VARIANT& value, __int128 least, __int128 most, __int128* out) {
  __int128 result = 0;
  if (IsReal(value.vt)) {
    const double real = RealOf(value);
    if (!std::isfinite(real)) return DISP_E_OVERFLOW;
    const double rounded = RoundHalfEven(real);
    // Well outside every target, and inside what __int128 holds.
    if (std::fabs(rounded) > 0x1p100) return DISP_E_OVERFLOW;
    result = static_cast<__int128>(rounded);
  } else if (value.vt == VT_CY) {
    result = CurrencyToInteger(value.cyVal.int64);
  } else if (value.vt == VT_BSTR) {
    Decimal number;
    const HRESULT hr = ParseNumber(value, &number);
    if (FAILED(hr)) return hr;
    if (!comrt::number_text::ToInteger(number, 0, &result)) return DISP_E_OVERFLOW;
  } else if (!IntegerOf(value, &result)) {
    return DISP_E_TYPEMISMATCH;
  }
  if (result < least || result > most) return DISP_E_OVERFLOW;
  *out = result;
  return S_OK;
}

template <class Integer>
HRESULT StoreInteger(const VARIANT& value, VARTYPE vt, VARIANT* result) {
  __int128 converted = 0;
  const HRESULT hr =
      ToInteger(value, std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max(), &converted);
  if (FAILED(hr)) return hr;
  const Integer narrowed = static_cast<Integer>(converted);
  std::memcpy(&result->llVal, &narrowed, sizeof narrowed);
  result->vt = vt;
  return S_OK;
}

HRESULT ToDouble(const VARIANT& value, double* out) {
  __int128 integer = 0;
  if (IntegerOf(value, &integer)) {
    *out = static_cast<double>(integer);
  } else if (IsReal(value.vt)) {
    *out = RealOf(value);
  } else if (value.vt == VT_CY) {
    comrt::number_text::ToReal(CurrencyDecimal(value.cyVal.int64), out);
  } else if (value.vt == VT_BSTR) {
    Decimal number;
    const HRESULT hr = ParseNumber(value, &number);
    if (FAILED(hr)) return hr;
    if (!comrt::number_text::ToReal(number, out)) return DISP_E_OVERFLOW;
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT ToFloat(const VARIANT& value, float* out) {
  __int128 integer = 0;
  if (IntegerOf(value, &integer)) {
    *out = static_cast<float>(integer);
  } else if (IsReal(value.vt)) {
    const double real = RealOf(value);
    // Past the midpoint between the largest float and the next power of two
    // rounding gives infinity.
    constexpr double kFloatLimit = 0x1.ffffffp127;
    if (std::fabs(real) >= kFloatLimit && std::isfinite(real)) return DISP_E_OVERFLOW;
    *out = static_cast<float>(real);
  } else if (value.vt == VT_CY) {
    comrt::number_text::ToReal(CurrencyDecimal(value.cyVal.int64), out);
  } else if (value.vt == VT_BSTR) {
    // Read straight to float: through double would round twice.
    Decimal number;
    const HRESULT hr = ParseNumber(value, &number);
    if (FAILED(hr)) return hr;
    if (!comrt::number_text::ToReal(number, out)) return DISP_E_OVERFLOW;
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT CurrencyFromText(std::u16string_view text, __int128* units) {
  LONGLONG read = 0;
  const HRESULT hr = comrt::CurrencyFromText(text.data(), text.data() + text.size(), &read);
  if (SUCCEEDED(hr)) *units = read;
  return hr;
}

HRESULT ToCurrency(const VARIANT& value, LONGLONG* out) {
  constexpr __int128 kLeast = std::numeric_limits<LONGLONG>::min();
  constexpr __int128 kMost = std::numeric_limits<LONGLONG>::max();
  __int128 units = 0;
  if (IntegerOf(value, &units)) {
    units *= 10000;
  } else if (IsReal(value.vt)) {
    if (!std::isfinite(RealOf(value))) return DISP_E_OVERFLOW;
    // Rounded from the shortest decimal digits that stand for the real, so
    // that 0.00015 is the half unit it reads as (its binary value lies just
    // below) and whole numbers up to the limits stay exact, which a product
    // with 10000 in double would not.
    char digits[64];
    const char* end = value.vt == VT_R4 ? std::to_chars(digits, digits + sizeof digits, value.fltVal).ptr
                                        : std::to_chars(digits, digits + sizeof digits, value.dblVal).ptr;
    const std::u16string text(static_cast<const char*>(digits), end);
    const HRESULT hr = CurrencyFromText(text, &units);
    if (FAILED(hr)) return hr;
  } else if (value.vt == VT_BSTR) {
    const HRESULT hr = CurrencyFromText(TextOf(value), &units);
    if (FAILED(hr)) return hr;
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  if (units < kLeast || units > kMost) return DISP_E_OVERFLOW;
  *out = static_cast<LONGLONG>(units);
  return S_OK;
}

HRESULT ToDate(const VARIANT& value, DATE* out) {
  if (value.vt == VT_BSTR) {
    const std::u16string_view text = TextOf(value);
    // VarDateFromStr stops at a zero, which would hide what follows it.
    if (text.find(u'\0') != std::u16string_view::npos) return DISP_E_TYPEMISMATCH;
    return VarDateFromStr(value.bstrVal ? value.bstrVal : u"", LOCALE_INVARIANT, 0, out);
  }
  double real = 0;
  const HRESULT hr = ToDouble(value, &real);
  if (FAILED(hr)) return hr;
  // Days of 1 January 100 and 31 December 9999; a fraction may follow either.
  if (!(real > -657435.0 && real < 2958466.0)) return DISP_E_OVERFLOW;
  *out = real;
  return S_OK;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view lowerCaseWord) {
  if (text.size() != lowerCaseWord.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i] >= u'A' && text[i] <= u'Z' ? static_cast<char16_t>(text[i] + (u'a' - u'A')) : text[i];
    if (c != lowerCaseWord[i]) return false;
  }
  return true;
}

HRESULT ToBool(const VARIANT& value, bool* out) {
  __int128 integer = 0;
  if (IntegerOf(value, &integer)) {
    *out = integer != 0;
  } else if (IsReal(value.vt)) {
    *out = RealOf(value) != 0;  // NaN is not zero
  } else if (value.vt == VT_CY) {
    *out = value.cyVal.int64 != 0;
  } else if (value.vt == VT_BSTR) {
    std::u16string_view text = TextOf(value);
    while (!text.empty() && comrt::number_text::IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && comrt::number_text::IsBlank(text.back())) text.remove_suffix(1);
    if (EqualsIgnoringCase(text, u"true")) {
      *out = true;
    } else if (EqualsIgnoringCase(text, u"false")) {
      *out = false;
    } else {
      Decimal number;
      const HRESULT hr = ParseNumber(value, &number);
      if (FAILED(hr)) return hr;
      *out = !number.digits.empty();
    }
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

// Like printf's "%.<precision>G" in the "C" locale, except that zero has no
// sign: the exponent of the rounded value picks plain or exponent form, and
// trailing zeros go.
std::string FormatReal(double value, int precision) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char scientific[64];
  char* end =
      std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific, precision - 1)
          .ptr;
  char* const e = static_cast<char*>(std::memchr(scientific, 'e', static_cast<size_t>(end - scientific)));
  int exponent = 0;
  std::from_chars(e[1] == '+' ? e + 2 : e + 1, end, exponent);
  auto trimZeros = [](const char* begin, const char* stop) {
    std::string text(begin, stop);
    if (text.find('.') != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
    return text;
  };
  if (exponent < -4 || exponent >= precision) {
    std::string text = trimZeros(scientific, e);
    text += exponent < 0 ? "E-" : "E+";
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) text += '0';
    text += std::to_string(magnitude);
    return text;
  }
  char fixed[64];
  end = std::to_chars(fixed, fixed + sizeof fixed, value, std::chars_format::fixed, precision - 1 - exponent).ptr;
  return trimZeros(fixed, end);
}

std::string FormatCurrency(LONGLONG units) {
  const unsigned long long magnitude =
      units < 0 ? 0ULL - static_cast<unsigned long long>(units) : static_cast<unsigned long long>(units);
  std::string text = units < 0 ? "-" : "";
  text += std::to_string(magnitude / 10000);
  unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  if (fraction != 0) {
    char decimals[5] = {'.'};
    for (int i = 4; i >= 1; --i, fraction /= 10) decimals[i] = static_cast<char>('0' + fraction % 10);
    size_t length = 5;
    while (decimals[length - 1] == '0') --length;
    text.append(decimals, length);
  }
  return text;
}

HRESULT FormatDate(DATE date, std::u16string* text) {
  SYSTEMTIME fields;
  if (!VariantTimeToSystemTime(date, &fields)) return DISP_E_OVERFLOW;
  const char16_t* format = u"%Y-%m-%d %H:%M:%S";
  if (fields.wYear == 1899 && fields.wMonth == 12 && fields.wDay == 30) {
    format = u"%H:%M:%S";
  } else if (fields.wHour == 0 && fields.wMinute == 0 && fields.wSecond == 0) {
    format = u"%Y-%m-%d";
  }
  char16_t buffer[32];
  const size_t length = comrt::FormatTimeFields(buffer, sizeof buffer / sizeof buffer[0], format, fields);
  text->assign(buffer, length);
  return S_OK;
}

HRESULT ToText(const VARIANT& value, USHORT flags, std::u16string* text) {
  std::string ascii;  // stays empty for VT_EMPTY
  __int128 integer = 0;
  if (value.vt == VT_EMPTY) {
    // The empty text.
  } else if (value.vt == VT_BOOL && (flags & VARIANT_ALPHABOOL)) {
    ascii = value.boolVal ? "True" : "False";
  } else if (IntegerOf(value, &integer)) {
    // Every integer type fits in 64 bits, signed or not.
    ascii = integer < 0 ? std::to_string(static_cast<long long>(integer))
                        : std::to_string(static_cast<unsigned long long>(integer));
  } else if (value.vt == VT_R4) {
    ascii = FormatReal(value.fltVal, 7);
  } else if (value.vt == VT_R8) {
    ascii = FormatReal(value.dblVal, 15);
  } else if (value.vt == VT_CY) {
    ascii = FormatCurrency(value.cyVal.int64);
  } else if (value.vt == VT_DATE) {
    return FormatDate(value.date, text);
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  text->assign(ascii.begin(), ascii.end());
  return S_OK;
}

// Builds `value` (held by value, of a type other than `vt`) converted to the
// valid type `vt` into `result`, which owns nothing and is written only on
// success.
HRESULT Convert(const VARIANT& value, VARTYPE vt, USHORT flags, VARIANT* result) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_BOOL:
      break;
    default:
      // Null, error codes, interfaces (no value property is read), decimals
      // and arrays convert to nothing else.
      return DISP_E_TYPEMISMATCH;
  }
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1:
      return StoreInteger<CHAR>(value, vt, result);
    case VT_UI1:
      return StoreInteger<BYTE>(value, vt, result);
    case VT_I2:
      return StoreInteger<SHORT>(value, vt, result);
    case VT_UI2:
      return StoreInteger<USHORT>(value, vt, result);
    case VT_I4:
      return StoreInteger<LONG>(value, vt, result);
    case VT_UI4:
      return StoreInteger<ULONG>(value, vt, result);
    case VT_INT:
      return StoreInteger<INT>(value, vt, result);
    case VT_UINT:
      return StoreInteger<UINT>(value, vt, result);
    case VT_I8:
      return StoreInteger<LONGLONG>(value, vt, result);
    case VT_UI8:
      return StoreInteger<ULONGLONG>(value, vt, result);
    case VT_R4: {
      float converted = 0;
      hr = ToFloat(value, &converted);
      if (SUCCEEDED(hr)) result->fltVal = converted;
      break;
    }
    case VT_R8: {
      double converted = 0;
      hr = ToDouble(value, &converted);
      if (SUCCEEDED(hr)) result->dblVal = converted;
      break;
    }
    case VT_CY: {
      LONGLONG converted = 0;
      hr = ToCurrency(value, &converted);
      if (SUCCEEDED(hr)) result->cyVal.int64 = converted;
      break;
    }
    case VT_DATE: {
      DATE converted = 0;
      hr = ToDate(value, &converted);
      if (SUCCEEDED(hr)) result->date = converted;
      break;
    }
    case VT_BOOL: {
      bool converted = false;
      hr = ToBool(value, &converted);
      if (SUCCEEDED(hr)) result->boolVal = converted ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    }
    case VT_BSTR: {
      std::u16string text;
      hr = ToText(value, flags, &text);
      if (FAILED(hr)) return hr;
      BSTR made = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!made) return E_OUTOFMEMORY;
      result->bstrVal = made;
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (SUCCEEDED(hr)) result->vt = vt;
  return hr;
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID, USHORT flags, VARTYPE vt) {
  if (!dest || !source) return E_INVALIDARG;
  if (!IsValidType(source->vt) || !IsValidType(vt)) return DISP_E_BADVARTYPE;
  VARIANT result;
  result.vt = VT_EMPTY;
  HRESULT hr = S_OK;
  if (vt == source->vt) {
    if (dest == source) return S_OK;
    hr = VariantCopy(&result, source);
  } else if (vt == VT_EMPTY) {
    // Whatever the source held, the answer is empty.
  } else if (source->vt & VT_BYREF) {
    VARIANT value;
    value.vt = VT_EMPTY;
    hr = VariantCopyInd(&value, source);
    if (SUCCEEDED(hr)) {
      if (value.vt == vt) {
        result = value;
        value.vt = VT_EMPTY;
      } else {
        hr = Convert(value, vt, flags, &result);
      }
      VariantClear(&value);
    }
  } else {
    hr = Convert(*source, vt, flags, &result);
  }
  if (FAILED(hr)) return hr;
  // Only now, with the answer built, may the old value go: the source may be
  // `dest` itself, and a failure must leave `dest` as it was.
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dest, source, LOCALE_USER_DEFAULT, flags, vt);
}
