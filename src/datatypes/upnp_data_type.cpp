#include "datatypes/upnp_data_type.h"

#include "comrt/result_codes.h"

void CUPnPDataType::SetName(const std::u16string& name) {
  if (name.empty()) throw E_INVALIDARG;
  name_ = name;
}

bool CUPnPDataType::IsOutOfRange(std::u16string_view, bool) const noexcept { return false; }
