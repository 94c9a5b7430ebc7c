// CComBSTR: owns one BSTR (null stands for the empty string). Construction and
// assignment throw CAtlException(E_OUTOFMEMORY) when a copy cannot be made;
// the Append family returns the failure instead.
#pragma once

#include <cassert>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "comrt/atl_exception.h"
#include "comrt/bstr.h"

class CComBSTR {
 public:
  CComBSTR() noexcept : m_str(nullptr) {}
  CComBSTR(std::nullptr_t) noexcept : m_str(nullptr) {}  // NOLINT
  // Copies `text` up to its first zero; null `text` gives a null string.
  CComBSTR(LPCOLESTR text) : m_str(nullptr) {  // NOLINT: converts as on the platform
    if (text) m_str = Allocate(text, static_cast<UINT>(std::char_traits<OLECHAR>::length(text)));
  }
  // Copies `length` code units (zeros included); `text` may be null, giving
  // zero units. Throws E_INVALIDARG for a negative length.
  CComBSTR(int length, LPCOLESTR text) : m_str(nullptr) {
    if (length < 0) AtlThrow(E_INVALIDARG);
    if (length == 0 && !text) return;
    m_str = Allocate(text, static_cast<UINT>(length));
  }
  CComBSTR(const CComBSTR& other) : m_str(other.CopyOrThrow()) {}
  CComBSTR(CComBSTR&& other) noexcept : m_str(other.m_str) { other.m_str = nullptr; }
  ~CComBSTR() { ::SysFreeString(m_str); }

  // Strong guarantee: on failure *this keeps its text.
  CComBSTR& operator=(const CComBSTR& other) {
    if (m_str != other.m_str) Attach(other.CopyOrThrow());
    return *this;
  }
  CComBSTR& operator=(CComBSTR&& other) noexcept {
    if (this != std::addressof(other)) Attach(other.Detach());
    return *this;
  }
  // `text` may point into the held string.
  CComBSTR& operator=(LPCOLESTR text) {
    if (text != m_str) CComBSTR(text).Swap(*this);
    return *this;
  }

  // Length in code units / bytes; 0 for null.
  unsigned int Length() const noexcept { return ::SysStringLen(m_str); }
  unsigned int ByteLength() const noexcept { return ::SysStringByteLen(m_str); }

  // A new string with the same bytes; null for a null string or when memory
  // runs out.
  BSTR Copy() const noexcept {
    if (!m_str) return nullptr;
    return ::SysAllocStringByteLen(reinterpret_cast<LPCSTR>(m_str), ::SysStringByteLen(m_str));
  }
  // Hands out a copy. E_POINTER for a null `out`, E_OUTOFMEMORY (*out null).
  HRESULT CopyTo(BSTR* out) const noexcept {
    if (!out) return E_POINTER;
    *out = Copy();
    return (*out || !m_str) ? S_OK : E_OUTOFMEMORY;
  }

  // Adopts `text`, freeing the held string.
  void Attach(BSTR text) noexcept {
    if (text == m_str) return;
    ::SysFreeString(m_str);
    m_str = text;
  }
  // Hands the held string out, leaving null.
  BSTR Detach() noexcept {
    BSTR out = m_str;
    m_str = nullptr;
    return out;
  }
  void Empty() noexcept {
    ::SysFreeString(m_str);
    m_str = nullptr;
  }

  operator BSTR() const noexcept { return m_str; }  // NOLINT
  // Address for an out parameter. REQUIRES: the string is null (else it would
  // leak).
  BSTR* operator&() noexcept {  // NOLINT
    assert(m_str == nullptr);
    return &m_str;
  }
  bool operator!() const noexcept { return m_str == nullptr; }

  // Appends; a null `text` appends nothing. E_OUTOFMEMORY (string unchanged).
  HRESULT Append(LPCOLESTR text) noexcept {
    if (!text) return S_OK;
    const size_t length = std::char_traits<OLECHAR>::length(text);
    if (length > static_cast<size_t>(INT32_MAX)) return E_OUTOFMEMORY;
    return Append(text, static_cast<int>(length));
  }
  // Appends `length` code units, zeros included; `text` may point into the
  // held string. E_INVALIDARG for a negative length, E_OUTOFMEMORY.
  HRESULT Append(const OLECHAR* text, int length) noexcept {
    if (length < 0) return E_INVALIDARG;
    if (!text || (m_str && length == 0)) return S_OK;
    const uint64_t total = static_cast<uint64_t>(Length()) + static_cast<uint64_t>(length);
    if (total > UINT32_MAX) return E_OUTOFMEMORY;
    BSTR joined = ::SysAllocStringLen(nullptr, static_cast<UINT>(total));
    if (!joined) return E_OUTOFMEMORY;
    if (m_str) std::memcpy(joined, m_str, Length() * sizeof(OLECHAR));
    std::memcpy(joined + Length(), text, static_cast<size_t>(length) * sizeof(OLECHAR));
    Attach(joined);
    return S_OK;
  }
  HRESULT Append(const CComBSTR& other) noexcept { return AppendBSTR(other.m_str); }
  HRESULT Append(OLECHAR ch) noexcept { return Append(&ch, 1); }
  // Appends the whole of `text`, embedded zeros included.
  HRESULT AppendBSTR(BSTR text) noexcept {
    if (!text) return S_OK;
    return Append(text, static_cast<int>(::SysStringLen(text)));
  }

  // As Append, but throws the failure.
  CComBSTR& operator+=(const CComBSTR& other) {
    ThrowIfFailed(AppendBSTR(other.m_str));
    return *this;
  }
  CComBSTR& operator+=(LPCOLESTR text) {
    ThrowIfFailed(Append(text));
    return *this;
  }

  // Equal when the code units match, embedded zeros included; a null string
  // equals the empty one.
  bool operator==(const CComBSTR& other) const noexcept {
    return Equal(m_str, Length(), other.m_str, other.Length());
  }
  bool operator==(LPCOLESTR text) const noexcept {
    return Equal(m_str, Length(), text, text ? std::char_traits<OLECHAR>::length(text) : 0);
  }
  // True only for a null string, not an empty one.
  bool operator==(std::nullptr_t) const noexcept { return m_str == nullptr; }
  bool operator!=(const CComBSTR& other) const noexcept { return !(*this == other); }
  bool operator!=(LPCOLESTR text) const noexcept { return !(*this == text); }
  bool operator!=(std::nullptr_t) const noexcept { return m_str != nullptr; }

  void Swap(CComBSTR& other) noexcept { std::swap(m_str, other.m_str); }

  BSTR m_str;

 private:
  static BSTR Allocate(LPCOLESTR text, UINT length) {
    BSTR made = ::SysAllocStringLen(text, length);
    if (!made) AtlThrow(E_OUTOFMEMORY);
    return made;
  }
  BSTR CopyOrThrow() const {
    BSTR made = Copy();
    if (!made && m_str) AtlThrow(E_OUTOFMEMORY);
    return made;
  }
  static void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) AtlThrow(hr);
  }
  static bool Equal(const OLECHAR* a, size_t aLength, const OLECHAR* b, size_t bLength) noexcept {
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
};
