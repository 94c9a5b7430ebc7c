#include "messages/gena_msg_writer_helper.h"

#include <string>

#include "com/trace.h"
#include "comrt/com_bstr.h"
#include "comrt/com_variant.h"
#include "datatypes/upnp_data_type.h"
#include "model/service_description_parser.h"

// No method traces: event values are converted on the caller's hot path, and
// a refused value is the caller's answer, not a fault of the library.

HRESULT CGenaMsgWriterHelper::LoadServiceDescription(VARIANT description) {
  VARNEL_GUARDED_BEGIN
    // As the reader/writer does: variables read before a failure stay in the
    // table, but only a load that succeeds makes the object usable.
    CServiceDescriptionParser().ParseStateVariables(description, m_dataTypes);
    if (!m_dataTypes.empty()) initialized_ = true;
    return S_OK;
  VARNEL_PLAIN_GUARD_END
}

const CUPnPDataType& CGenaMsgWriterHelper::ConverterOf(BSTR variableName) const {
  const std::u16string name = variableName ? std::u16string(variableName, SysStringLen(variableName)) : u"";
  const auto it = m_dataTypes.find(name);
  if (it == m_dataTypes.end()) throw E_FAIL;
  if (!it->second) throw E_NOTIMPL;
  return *it->second;
}

HRESULT CGenaMsgWriterHelper::ParseStateVariableValue(BSTR variableName, BSTR valueText, VARIANT* value) {
  if (!initialized_) return E_FAIL;
  if (!value) return E_POINTER;
  VARNEL_GUARDED_BEGIN
    const CUPnPDataType& converter = ConverterOf(variableName);
    const std::u16string_view text =
        valueText ? std::u16string_view(valueText, SysStringLen(valueText)) : std::u16string_view();
    const CComVariant parsed = converter.StringToVariant(text, false);
    return VariantCopy(value, &parsed);
  VARNEL_PLAIN_GUARD_END
}

HRESULT CGenaMsgWriterHelper::FormatStateVariableValue(BSTR variableName, VARIANT value, BSTR* valueText) {
  if (!initialized_) return E_FAIL;
  if (!valueText) return E_POINTER;
  VARNEL_GUARDED_BEGIN
    const CUPnPDataType& converter = ConverterOf(variableName);
    CComVariant copy;
    const HRESULT copied = copy.Copy(&value);
    if (FAILED(copied)) return copied;
    const std::u16string text = converter.VariantToString(std::move(copy));
    BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!result) return E_OUTOFMEMORY;
    *valueText = result;
    return S_OK;
  VARNEL_PLAIN_GUARD_END
}
