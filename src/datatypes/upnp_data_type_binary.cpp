#include "datatypes/upnp_data_type_binary.h"

#include <cstring>
#include <limits>

#include "comrt/com_error.h"
#include "comrt/safearray.h"
#include "datatypes/binary_text.h"

namespace varnel {
namespace {

std::vector<uint8_t> Decode(BinaryEncoding encoding, std::u16string_view text) {
  return encoding == BinaryEncoding::kBase64 ? ReadBase64(text) : ReadHex(text);
}

std::u16string Encode(BinaryEncoding encoding, const uint8_t* bytes, size_t count) {
  return encoding == BinaryEncoding::kBase64 ? WriteBase64(bytes, count) : WriteHex(bytes, count);
}

// Keeps an array's data accessed (and the array locked) for a scope.
class AccessedData {
 public:
  explicit AccessedData(SAFEARRAY* array) : array_(array) {
    const HRESULT hr = SafeArrayAccessData(array, &data_);
    if (FAILED(hr)) _com_issue_error(hr);
  }
  ~AccessedData() { SafeArrayUnaccessData(array_); }
  AccessedData(const AccessedData&) = delete;
  AccessedData& operator=(const AccessedData&) = delete;
  uint8_t* bytes() const { return static_cast<uint8_t*>(data_); }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
};

// The byte array that `value` holds, or E_INVALIDARG. A descriptor made by
// hand may name no element type; its element size still has to be a byte.
SAFEARRAY* ByteArrayOf(const VARIANT& value) {
  if (value.vt != (VT_ARRAY | VT_UI1) || !value.parray || SafeArrayGetDim(value.parray) != 1 ||
      SafeArrayGetElemsize(value.parray) != 1) {
    throw E_INVALIDARG;
  }
  VARTYPE element = VT_UI1;
  if (SUCCEEDED(SafeArrayGetVartype(value.parray, &element)) && element != VT_UI1) throw E_INVALIDARG;
  return value.parray;
}

}  // namespace
}  // namespace varnel

template <varnel::BinaryEncoding Encoding>
CComVariant CUPnPDataTypeBinary<Encoding>::StringToVariant(std::u16string_view text, bool) const {
  const std::vector<uint8_t> bytes = varnel::Decode(Encoding, text);
  // Beyond a ULONG count no array can be made; SafeArrayCreateVector refuses
  // what it cannot index from 0 itself.
  if (bytes.size() > std::numeric_limits<ULONG>::max()) _com_issue_error(E_OUTOFMEMORY);
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!array) _com_issue_error(E_OUTOFMEMORY);
  CComVariant result;
  result.parray = array;
  result.vt = VT_ARRAY | VT_UI1;  // the variant owns the array from here
  if (!bytes.empty()) {
    const varnel::AccessedData data(array);
    std::memcpy(data.bytes(), bytes.data(), bytes.size());
  }
  return result;
}

template <varnel::BinaryEncoding Encoding>
std::u16string CUPnPDataTypeBinary<Encoding>::VariantToString(CComVariant value) const {
  SAFEARRAY* array = varnel::ByteArrayOf(value);
  const varnel::AccessedData data(array);
  const ULONG count = array->rgsabound[0].cElements;
  if (count != 0 && !data.bytes()) throw E_INVALIDARG;
  return varnel::Encode(Encoding, data.bytes(), count);
}

template <varnel::BinaryEncoding Encoding>
void CUPnPDataTypeBinary<Encoding>::SetDefaultValue(std::u16string_view text) {
  try {
    defaultValue_ = varnel::Decode(Encoding, text);
    hasDefault_ = true;
  } catch (HRESULT) {
    // Not a value of the type: no default.
  }
}

template class CUPnPDataTypeBinary<varnel::BinaryEncoding::kBase64>;
template class CUPnPDataTypeBinary<varnel::BinaryEncoding::kHex>;
