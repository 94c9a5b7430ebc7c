// The UPnP error that the library leaves as the thread's error information:
// its source is the code ("402"), its description the UPnP description.
#pragma once

#include <optional>
#include <string>

#include "comrt/error_info.h"
#include "text.h"
#include "varnel/host/named_values.h"

namespace varnel {
namespace host {

// Takes (and so clears) the thread's error information; nothing when there is
// none or its source is not a code.
inline std::optional<UPnPError> TakeUPnPError() {
  std::optional<UPnPError> error;
  CComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK || !info) return error;
  CComBSTR source, description;
  info->GetSource(&source);
  info->GetDescription(&description);
  const std::string code = Utf8(source);
  if (code.empty() || code.size() > 9 || code.find_first_not_of("0123456789") != std::string::npos) return error;
  error = UPnPError{static_cast<LONG>(std::stol(code)), Utf8(description)};
  return error;
}

}  // namespace host
}  // namespace varnel
