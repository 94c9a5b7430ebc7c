#include "xml/xml_text.h"

#include <new>

#include "comrt/com_ptr.h"
#include "comrt/conversions.h"
#include "comrt/error_info.h"
#include "comrt/text_conversion.h"
#include "xml/node_view.h"

namespace comrt {
namespace xml {

std::string ToUtf8(BSTR text) {
  if (!text) return std::string();
  return comrt::ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

HRESULT HandOut(std::u16string_view text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT HandOut(std::string_view text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = AllocBstrFromUtf8(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT HandOutVariant(std::string_view text, VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  BSTR made = nullptr;
  const HRESULT hr = HandOut(text, &made);
  if (FAILED(hr)) return hr;
  out->vt = VT_BSTR;
  out->bstrVal = made;
  return S_OK;
}

HRESULT VariantText(const VARIANT& value, std::string* text) {
  try {
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
      text->clear();
      return S_OK;
    }
    if (value.vt == VT_BSTR) {
      *text = ToUtf8(value.bstrVal);
      return S_OK;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    *text = ToUtf8(converted.bstrVal);
    VariantClear(&converted);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT Fail(HRESULT hr, std::u16string_view description) {
  // Error information is a courtesy: failing to record it must not change
  // the code the caller gets.
  try {
    CComPtr<ICreateErrorInfo> creator;
    if (FAILED(CreateErrorInfo(&creator))) return hr;
    std::u16string source(u"XML DOM");
    std::u16string text(description);
    creator->SetSource(source.data());
    creator->SetDescription(text.data());
    CComQIPtr<IErrorInfo> info(creator);
    if (info) SetErrorInfo(0, info);
  } catch (const std::bad_alloc&) {
  }
  return hr;
}

HRESULT Fail(HRESULT hr, std::string_view utf8Description) {
  try {
    return Fail(hr, std::u16string_view(comrt::FromUtf8(utf8Description)));
  } catch (const std::bad_alloc&) {
    return hr;
  }
}

bool IsAllXmlSpace(std::string_view text) {
  for (char c : text) {
    if (!IsXmlSpace(c)) return false;
  }
  return true;
}

bool IsXmlName(const std::string& name) { return !name.empty() && xmlValidateName(X(name), 0) == 0; }

bool IsNcName(const std::string& name) { return !name.empty() && xmlValidateNCName(X(name), 0) == 0; }

}  // namespace xml
}  // namespace comrt
