// Conversion between UTF-16 and narrow text. Narrow text is UTF-8 throughout:
// the process code page (CP_ACP) and the thread's (CP_THREAD_ACP) are UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "comrt/runtime.h"

typedef const WCHAR* LPCWCH;
typedef const char* LPCCH;  // narrow text is plain char, as LPCSTR
typedef BOOL* LPBOOL;

#define CP_ACP 0
#define CP_THREAD_ACP 3
#define CP_UTF8 65001

// MultiByteToWideChar flags. MB_PRECOMPOSED is accepted and has no effect.
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
// WideCharToMultiByte flags. WC_NO_BEST_FIT_CHARS is accepted and has no
// effect: every character has an exact UTF-8 form.
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_NO_UNICODE_TRANSLATION
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif
#ifndef ERROR_ARITHMETIC_OVERFLOW
#define ERROR_ARITHMETIC_OVERFLOW 534L
#endif

// Converts `cbMultiByte` bytes of UTF-8 (-1: up to and including the zero
// byte) into `lpWideCharStr`, or with `cchWideChar` 0 only counts. Ill-formed
// input becomes U+FFFD for each maximal ill-formed subpart, unless
// MB_ERR_INVALID_CHARS asks for failure. Returns the UTF-16 units written (or
// needed), the terminator included for -1. On failure returns 0 and sets the
// last error: ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER (null or empty
// input, negative sizes, unknown code page, overlapping buffers),
// ERROR_INVALID_FLAGS, ERROR_NO_UNICODE_TRANSLATION, ERROR_ARITHMETIC_OVERFLOW.
COMRT_CAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                                   LPWSTR lpWideCharStr, int cchWideChar);

// Converts `cchWideChar` UTF-16 units (-1: up to and including the zero unit)
// into UTF-8, or with `cbMultiByte` 0 only counts. A lone surrogate becomes
// U+FFFD unless WC_ERR_INVALID_CHARS asks for failure. `lpDefaultChar` and
// `lpUsedDefaultChar` must be null, as for any UTF-8 code page. Returns and
// fails as MultiByteToWideChar, counting bytes.
COMRT_CAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                                   LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                                   LPBOOL lpUsedDefaultChar);

namespace comrt {

// UTF-16 to UTF-8, lone surrogates as U+FFFD. Throws std::bad_alloc only.
COMRT_API std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16, ill-formed parts as U+FFFD. Throws std::bad_alloc only.
COMRT_API std::u16string FromUtf8(std::string_view text);

}  // namespace comrt
