#include <limits>
#include <string>

#include "comrt/conversions.h"
#include "number_text.h"

namespace comrt {

HRESULT CurrencyFromText(const char16_t* begin, const char16_t* end, LONGLONG* units) {
  number_text::Decimal number;
  if (!number_text::Parse(begin, end, &number)) return DISP_E_TYPEMISMATCH;
  // Scaled by four decimal places while still exact, so the extremes of the
  // range and the halves at the fifth decimal come out right.
  __int128 scaled = 0;
  if (!number_text::ToInteger(number, 4, &scaled) || scaled < std::numeric_limits<LONGLONG>::min() ||
      scaled > std::numeric_limits<LONGLONG>::max()) {
    return DISP_E_OVERFLOW;
  }
  *units = static_cast<LONGLONG>(scaled);
  return S_OK;
}

}  // namespace comrt

HRESULT VarCyFromStr(LPCOLESTR text, LCID, ULONG, CY* value) {
  if (!text || !value) return E_INVALIDARG;
  const size_t length = std::char_traits<OLECHAR>::length(text);
  LONGLONG units = 0;
  const HRESULT hr = comrt::CurrencyFromText(text, text + length, &units);
  if (SUCCEEDED(hr)) value->int64 = units;
  return hr;
}
