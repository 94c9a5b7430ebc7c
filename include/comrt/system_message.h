// Texts for result codes and system error codes, and the local allocator that
// hands them out.
#pragma once

#include <cstdarg>

#include "comrt/runtime.h"

typedef void* HLOCAL;

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

// A fixed block of `bytes` bytes (zeroed with LMEM_ZEROINIT). The blocks come
// from the task allocator and are counted as task memory, so a message buffer
// that is never freed shows up as a leak. Null when memory runs out
// (ERROR_NOT_ENOUGH_MEMORY) or for any flag but LMEM_ZEROINIT: movable blocks
// are not offered (ERROR_INVALID_PARAMETER).
COMRT_CAPI HLOCAL LocalAlloc(UINT flags, size_t bytes);
// Frees a block from LocalAlloc (null is allowed). Returns null.
COMRT_CAPI HLOCAL LocalFree(HLOCAL block);

// Looks up the text for `messageId`, which may be a result code or a system
// error code (also as HRESULT_FROM_WIN32 of it); every text ends in "\r\n".
// Only FORMAT_MESSAGE_FROM_SYSTEM is offered, optionally with
// FORMAT_MESSAGE_IGNORE_INSERTS (no text has inserts, so `arguments` is never
// read) and FORMAT_MESSAGE_ALLOCATE_BUFFER (then `buffer` is really an LPWSTR*
// that receives a block of at least `size` characters from LocalAlloc, or null
// on failure).
// `source` and `languageId` are ignored: there is one text per code.
// Returns the characters written without the terminating zero; on failure 0
// with the last error: ERROR_MR_MID_NOT_FOUND when the code has no text,
// ERROR_INSUFFICIENT_BUFFER when `size` cannot hold it and its terminator,
// ERROR_INVALID_PARAMETER for other sources, line-width flags or a null
// buffer, ERROR_NOT_ENOUGH_MEMORY.
COMRT_CAPI DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                                DWORD size, va_list* arguments);
