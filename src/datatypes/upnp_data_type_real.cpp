#include "datatypes/upnp_data_type_real.h"

#include "comrt/atl_exception.h"
#include "comrt/com_error.h"
#include "comrt/conversions.h"
#include "datatypes/number_text.h"
#include "datatypes/text_rules.h"

namespace varnel {
namespace {

template <class Real>
void SetFromText(std::u16string_view text, Real& target, bool& present) {
  target = static_cast<Real>(ReadReal(text));
  present = true;
}

// True when the range of `range` refuses what the real rule reads in `text`,
// in the range's own precision.
template <class Real>
bool RangeRefuses(const RealRange<Real>& range, std::u16string_view text) noexcept {
  try {
    return !range.IsAllowed(static_cast<Real>(ReadReal(text)));
  } catch (...) {
    return false;  // no memory to read it: nothing can be said
  }
}

// The platform's text-to-currency conversion of a whole value text.
HRESULT ReadCurrency(std::u16string_view text, CY* units) {
  const std::u16string terminated(text);
  return VarCyFromStr(terminated.c_str(), LOCALE_USER_DEFAULT, LOCALE_NOUSEROVERRIDE, units);
}

// The text of a VT_BSTR up to its end (a null string reads as empty).
std::u16string_view TextOf(const VARIANT& value) {
  return value.bstrVal ? std::u16string_view(value.bstrVal, SysStringLen(value.bstrVal)) : std::u16string_view();
}

}  // namespace

template <class Real>
void RealRange<Real>::SetDefaultValue(std::u16string_view text) {
  SetFromText(text, restriction_.defaultValue, restriction_.hasDefault);
}
template <class Real>
void RealRange<Real>::SetMinimum(std::u16string_view text) {
  SetFromText(text, restriction_.minimum, restriction_.hasMinimum);
}
template <class Real>
void RealRange<Real>::SetMaximum(std::u16string_view text) {
  SetFromText(text, restriction_.maximum, restriction_.hasMaximum);
}
template <class Real>
void RealRange<Real>::SetStep(std::u16string_view text) {
  SetFromText(text, restriction_.step, restriction_.hasStep);
}

template class RealRange<float>;
template class RealRange<double>;

}  // namespace varnel

template <varnel::RealKind Kind>
CComVariant CUPnPDataTypeReal<Kind>::StringToVariant(std::u16string_view text, bool) const {
  const Real value = static_cast<Real>(varnel::ReadReal(text));
  if (!this->IsAllowed(value)) throw E_INVALIDARG;
  CComVariant result;
  result.vt = varnel::RealTraits<Kind>::kType;
  if constexpr (varnel::RealTraits<Kind>::kType == VT_R4) {
    result.fltVal = value;
  } else {
    result.dblVal = value;
  }
  return result;
}

template <varnel::RealKind Kind>
std::u16string CUPnPDataTypeReal<Kind>::VariantToString(CComVariant value) const {
  if (value.vt != varnel::RealTraits<Kind>::kType) throw E_INVALIDARG;
  Real number;
  if constexpr (varnel::RealTraits<Kind>::kType == VT_R4) {
    number = value.fltVal;
  } else {
    number = value.dblVal;
  }
  if (!this->IsAllowed(number)) throw E_INVALIDARG;
  return varnel::WriteReal(number);
}

template <varnel::RealKind Kind>
bool CUPnPDataTypeReal<Kind>::IsOutOfRange(std::u16string_view text, bool) const noexcept {
  return varnel::RangeRefuses(*this, text);
}

template class CUPnPDataTypeReal<varnel::RealKind::kR4>;
template class CUPnPDataTypeReal<varnel::RealKind::kFloat>;
template class CUPnPDataTypeReal<varnel::RealKind::kR8>;

CComVariant CUPnPDataTypeNumber::StringToVariant(std::u16string_view text, bool) const {
  if (!IsAllowed(varnel::ReadReal(text))) throw E_INVALIDARG;
  CComVariant result;
  result.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!result.bstrVal) _com_issue_error(E_OUTOFMEMORY);
  result.vt = VT_BSTR;
  return result;
}

bool CUPnPDataTypeNumber::IsOutOfRange(std::u16string_view text, bool) const noexcept {
  return varnel::RangeRefuses(*this, text);
}

std::u16string CUPnPDataTypeNumber::VariantToString(CComVariant value) const {
  if (value.vt != VT_BSTR) throw E_INVALIDARG;
  const double number = varnel::ReadReal(varnel::TextOf(value));
  if (!IsAllowed(number)) throw E_INVALIDARG;
  return varnel::WriteReal(number);
}

// The range is checked on the real rule's reading; the value itself comes
// from the currency conversion, which reads "." as the decimal separator
// whatever the thread's locale and rounds past four decimals.
CComVariant CUPnPDataTypeFixed144::StringToVariant(std::u16string_view text, bool) const {
  if (!IsAllowed(varnel::ReadReal(text))) throw E_INVALIDARG;
  CComVariant result;
  const HRESULT hr = varnel::ReadCurrency(text, &result.cyVal);
  if (FAILED(hr)) AtlThrow(hr);
  result.vt = VT_CY;
  return result;
}

bool CUPnPDataTypeFixed144::IsOutOfRange(std::u16string_view text, bool) const noexcept {
  if (!varnel::RangeRefuses(*this, text)) return false;
  try {
    CY units{};
    return SUCCEEDED(varnel::ReadCurrency(text, &units));
  } catch (...) {
    return false;
  }
}

std::u16string CUPnPDataTypeFixed144::VariantToString(CComVariant value) const {
  if (value.vt != VT_CY) throw E_INVALIDARG;
  return varnel::WriteCurrency(value.cyVal);
}
