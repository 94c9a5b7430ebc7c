#include "datatypes/upnp_data_type_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "comrt/com_error.h"

namespace {

// A string up to its first zero, found four units at a time (a BSTR ends
// in one past its length); null is empty.
std::u16string_view UpToFirstZero(BSTR text) {
  if (!text) return std::u16string_view();
  const size_t length = SysStringLen(text);
  size_t at = 0;
  for (; at + 4 <= length; at += 4) {
    uint64_t units;
    std::memcpy(&units, text + at, sizeof units);
    if ((units - 0x0001000100010001ull) & ~units & 0x8000800080008000ull) break;
  }
  while (at < length && text[at] != 0) ++at;
  return std::u16string_view(text, at);
}

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

CComVariant CUPnPDataTypeString::TakeStringToVariant(CComBSTR& text, bool strict) const {
  // A null string reads as an empty one, which StringToVariant makes.
  if (!text) return StringToVariant(std::u16string_view(), strict);
  if (!IsAllowed(std::u16string_view(text.m_str, text.Length()))) throw E_INVALIDARG;
  CComVariant result;
  result.bstrVal = text.Detach();
  result.vt = VT_BSTR;
  return result;
}

bool CUPnPDataTypeString::ViewText(const VARIANT& value, std::u16string_view* text) const noexcept {
  if (value.vt != VT_BSTR) return false;
  const std::u16string_view string = UpToFirstZero(value.bstrVal);
  if (!IsAllowed(string)) return false;
  *text = string;
  return true;
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
