// Copying values into and out of message objects, with the rules that every
// message object follows: strings are stored up to their first zero, values
// are copied deeply, and a null out pointer is answered with E_FAIL.
#pragma once

#include "comrt/com_bstr.h"
#include "comrt/com_variant.h"

namespace varnel {

// Stores a copy of `text` up to its first zero (null stores null).
// E_OUTOFMEMORY leaves `target` unchanged.
HRESULT StoreStringCopy(BSTR text, CComBSTR& target) noexcept;
// Hands out a new copy of `stored` (null when null). E_FAIL, E_OUTOFMEMORY.
HRESULT HandOutStringCopy(const CComBSTR& stored, BSTR* out) noexcept;
// Stores a deep copy of `value`; a failed copy leaves `target` unchanged.
HRESULT StoreVariantCopy(const VARIANT& value, CComVariant& target) noexcept;
// Clears *out and makes it a deep copy of `stored`. E_FAIL for null.
HRESULT HandOutVariantCopy(const CComVariant& stored, VARIANT* out) noexcept;

}  // namespace varnel
