// Text, CDATA and comment data (in UTF-16 code units, as callers count
// them), and processing instructions.
#include <algorithm>
#include <new>

#include "comrt/text_conversion.h"
#include "xml/node_names.h"
#include "xml/node_ops.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

std::u16string Data(NodeHandle& self) { return comrt::FromUtf8(ValueOf(self.ref)); }

HRESULT Store(NodeHandle& self, const std::u16string& data) {
  return ops::SetValueText(self, comrt::ToUtf8(data));
}

// Checks an offset and count against `length`, cutting the count at the end.
HRESULT Range(LONG offset, LONG count, size_t length, size_t* start, size_t* size) {
  if (offset < 0 || count < 0 || static_cast<size_t>(offset) > length) return E_INVALIDARG;
  *start = static_cast<size_t>(offset);
  *size = std::min(static_cast<size_t>(count), length - *start);
  return S_OK;
}

std::u16string_view Units(BSTR text) { return std::u16string_view(text ? text : u"", SysStringLen(text)); }

}  // namespace

namespace ops {

HRESULT GetData(NodeHandle& self, BSTR* data) {
  if (!data) return E_INVALIDARG;
  *data = nullptr;
  try {
    return HandOut(ValueOf(self.ref), data);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT PutData(NodeHandle& self, BSTR data) {
  try {
    return SetValueText(self, ToUtf8(data));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT GetDataLength(NodeHandle& self, LONG* length) {
  if (!length) return E_INVALIDARG;
  try {
    *length = static_cast<LONG>(Data(self).size());
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SubstringData(NodeHandle& self, LONG offset, LONG count, BSTR* data) {
  if (!data) return E_INVALIDARG;
  *data = nullptr;
  try {
    const std::u16string text = Data(self);
    size_t start = 0, size = 0;
    const HRESULT hr = Range(offset, count, text.size(), &start, &size);
    if (FAILED(hr)) return hr;
    return HandOut(std::u16string_view(text).substr(start, size), data);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT AppendData(NodeHandle& self, BSTR data) {
  try {
    return Store(self, Data(self).append(Units(data)));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT InsertData(NodeHandle& self, LONG offset, BSTR data) { return ReplaceData(self, offset, 0, data); }

HRESULT DeleteData(NodeHandle& self, LONG offset, LONG count) { return ReplaceData(self, offset, count, nullptr); }

HRESULT ReplaceData(NodeHandle& self, LONG offset, LONG count, BSTR data) {
  try {
    std::u16string text = Data(self);
    size_t start = 0, size = 0;
    const HRESULT hr = Range(offset, count, text.size(), &start, &size);
    if (FAILED(hr)) return hr;
    text.replace(start, size, Units(data));
    return Store(self, text);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT GetTarget(NodeHandle& self, BSTR* target) {
  if (!target) return E_INVALIDARG;
  *target = nullptr;
  try {
    return HandOut(QualifiedName(self.ref), target);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace ops
}  // namespace xml
}  // namespace comrt
