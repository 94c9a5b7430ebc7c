// Text at the kit's edges: the library speaks BSTR (UTF-16), the kit UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "comrt/bstr.h"
#include "comrt/com_bstr.h"
#include "comrt/text_conversion.h"

namespace varnel {
namespace host {

// Empty for a null string. Throws std::bad_alloc.
inline std::string Utf8(BSTR text) {
  return text ? comrt::ToUtf8(std::u16string_view(text, SysStringLen(text))) : std::string();
}

// Throws CAtlException(E_OUTOFMEMORY) or std::bad_alloc.
inline CComBSTR Wide(std::string_view text) {
  const std::u16string wide = comrt::FromUtf8(text);
  return CComBSTR(static_cast<int>(wide.size()), wide.data());
}

// `text` in double quotes, for problem lines.
inline std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The names of `items` joined by ", ", or "none".
template <class Item>
std::string NamesOf(const std::vector<Item>& items) {
  std::string names;
  for (const Item& item : items) names += (names.empty() ? "" : ", ") + item.name;
  return names.empty() ? "none" : names;
}

}  // namespace host
}  // namespace varnel
