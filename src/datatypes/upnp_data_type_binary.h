// The binary types "bin.base64" and "bin.hex": byte arrays (VT_ARRAY |
// VT_UI1, one dimension, lower bound 0 when read) in one of two text forms.
// They take no range or list; white space in their text is skipped.
#pragma once

#include <cstdint>
#include <vector>

#include "datatypes/upnp_data_type.h"

namespace varnel {
enum class BinaryEncoding { kBase64, kHex };
}  // namespace varnel

template <varnel::BinaryEncoding Encoding>
class CUPnPDataTypeBinary : public CUPnPDataType {
 public:
  // E_INVALIDARG for text that is not in the encoding; E_OUTOFMEMORY (as a
  // _com_error) when the array cannot be made.
  CComVariant StringToVariant(std::u16string_view text, bool strict) const override;
  // E_INVALIDARG for anything but a one-dimensional array of bytes; any lower
  // bound is taken. An empty array is the empty text.
  std::u16string VariantToString(CComVariant value) const override;

  // Decoded as a value is; a text that does not decode leaves no default and
  // is no error, as for the date types.
  void SetDefaultValue(std::u16string_view text);

 private:
  std::vector<uint8_t> defaultValue_;
  bool hasDefault_ = false;
};

using CUPnPDataTypeBinBase64 = CUPnPDataTypeBinary<varnel::BinaryEncoding::kBase64>;
using CUPnPDataTypeBinHex = CUPnPDataTypeBinary<varnel::BinaryEncoding::kHex>;

extern template class CUPnPDataTypeBinary<varnel::BinaryEncoding::kBase64>;
extern template class CUPnPDataTypeBinary<varnel::BinaryEncoding::kHex>;
