// BSTR: a UTF-16 string with a 32-bit byte count before it and a zero code
// unit after it. May hold embedded zeros. Allocated and freed by comrt only.
#pragma once

#include "comrt/types.h"

// Copies `text` up to its first zero; null for a null `text` or when memory
// runs out.
COMRT_CAPI BSTR SysAllocString(const OLECHAR* text);
// Copies `length` code units (zeros included); `text` may be null, giving
// `length` zero units. Null when memory runs out or the size needs more than
// 32 bits.
COMRT_CAPI BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Copies `length` bytes (an odd count is allowed); `bytes` may be null,
// giving zero bytes. Null as for SysAllocStringLen.
COMRT_CAPI BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
// Replaces *target with a copy of `text` (which may lie inside *target); a
// null `text` leaves *target null. FALSE (target unchanged) for a null
// `target` or when memory runs out.
COMRT_CAPI INT SysReAllocString(BSTR* target, const OLECHAR* text);
COMRT_CAPI INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
// Frees; null is allowed.
COMRT_CAPI void SysFreeString(BSTR text);
// Length in code units (0 for null), and in bytes.
COMRT_CAPI UINT SysStringLen(BSTR text);
COMRT_CAPI UINT SysStringByteLen(BSTR text);
