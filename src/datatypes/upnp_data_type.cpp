#include "datatypes/upnp_data_type.h"

#include "comrt/result_codes.h"

void CUPnPDataType::SetName(const std::u16string& name) {
  if (name.empty()) throw E_INVALIDARG;
  name_ = name;
}

bool CUPnPDataType::IsOutOfRange(std::u16string_view, bool) const noexcept { return false; }

bool CUPnPDataType::ViewText(const VARIANT&, std::u16string_view*) const noexcept { return false; }

CComVariant CUPnPDataType::TakeStringToVariant(CComBSTR& text, bool strict) const {
  return StringToVariant(std::u16string_view(text.m_str ? text.m_str : u"", text.Length()), strict);
}
