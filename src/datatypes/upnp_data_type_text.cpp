#include "datatypes/upnp_data_type_text.h"

#include <algorithm>

#include "comrt/com_error.h"

namespace {

char16_t SingleCodeUnit(std::u16string_view text) {
  if (text.size() != 1) throw E_INVALIDARG;
  return text[0];
}

bool ReadBoolean(std::u16string_view text) {
  if (text == u"1" || text == u"true" || text == u"yes") return true;
  if (text == u"0" || text == u"false" || text == u"no") return false;
  throw E_INVALIDARG;
}

}  // namespace

CComVariant CUPnPDataTypeString::StringToVariant(std::u16string_view text, bool) const {
  if (!IsAllowed(text)) throw E_INVALIDARG;
  CComVariant result;
  result.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!result.bstrVal) _com_issue_error(E_OUTOFMEMORY);
  result.vt = VT_BSTR;
  return result;
}

std::u16string CUPnPDataTypeString::VariantToString(CComVariant value) const {
  if (value.vt != VT_BSTR) throw E_INVALIDARG;
  std::u16string text = value.bstrVal ? std::u16string(value.bstrVal) : std::u16string();
  if (!IsAllowed(text)) throw E_INVALIDARG;
  return text;
}

void CUPnPDataTypeString::SetDefaultValue(std::u16string_view text) {
  defaultValue_ = text;
  hasDefault_ = true;
}

void CUPnPDataTypeString::SetAllowedValues(const std::vector<std::u16string>& values) { allowedValues_ = values; }

bool CUPnPDataTypeString::IsAllowed(std::u16string_view value) const {
  return allowedValues_.empty() || std::find(allowedValues_.begin(), allowedValues_.end(), value) != allowedValues_.end();
}

CComVariant CUPnPDataTypeChar::StringToVariant(std::u16string_view text, bool) const {
  const char16_t unit = SingleCodeUnit(text);
  if (!IsAllowed(unit)) throw E_INVALIDARG;
  CComVariant result;
  result.vt = VT_UI2;
  result.uiVal = unit;
  return result;
}

std::u16string CUPnPDataTypeChar::VariantToString(CComVariant value) const {
  if (value.vt != VT_UI2) throw E_INVALIDARG;
  const char16_t unit = static_cast<char16_t>(value.uiVal);
  if (!IsAllowed(unit)) throw E_INVALIDARG;
  return std::u16string(1, unit);
}

void CUPnPDataTypeChar::SetDefaultValue(std::u16string_view text) {
  defaultValue_ = SingleCodeUnit(text);
  hasDefault_ = true;
}

void CUPnPDataTypeChar::SetAllowedValues(const std::vector<std::u16string>& values) {
  std::vector<char16_t> units;
  units.reserve(values.size());
  for (const std::u16string& value : values) units.push_back(SingleCodeUnit(value));
  allowedValues_ = std::move(units);
}

bool CUPnPDataTypeChar::IsAllowed(char16_t value) const {
  return allowedValues_.empty() || std::find(allowedValues_.begin(), allowedValues_.end(), value) != allowedValues_.end();
}

CComVariant CUPnPDataTypeBoolean::StringToVariant(std::u16string_view text, bool) const {
  CComVariant result;
  result.vt = VT_BOOL;
  result.boolVal = ReadBoolean(text) ? VARIANT_TRUE : VARIANT_FALSE;
  return result;
}

std::u16string CUPnPDataTypeBoolean::VariantToString(CComVariant value) const {
  if (value.vt != VT_BOOL) throw E_INVALIDARG;
  return value.boolVal == VARIANT_TRUE ? u"1" : u"0";
}

void CUPnPDataTypeBoolean::SetDefaultValue(std::u16string_view text) {
  defaultValue_ = ReadBoolean(text);
  hasDefault_ = true;
}
