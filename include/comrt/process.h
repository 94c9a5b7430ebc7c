// The process and its surroundings: ids, times, the desktop folder and the
// debug-string channel.
#pragma once

#include <string>
#include <string_view>

#include "comrt/result_codes.h"
#include "comrt/types.h"

// Ids of the calling process and thread (the kernel's thread id).
COMRT_CAPI DWORD GetCurrentProcessId();
COMRT_CAPI DWORD GetCurrentThreadId();
// The pseudo handle of the calling process, for GetProcessTimes.
COMRT_CAPI HANDLE GetCurrentProcess();

// The current local time, to the millisecond, in the process's time zone
// (TZ, read again on every call).
COMRT_CAPI void GetLocalTime(SYSTEMTIME* time);
// The current time in UTC as a FILETIME (100 ns since 1601-01-01).
COMRT_CAPI void GetSystemTimeAsFileTime(FILETIME* time);
// When the process was created (UTC, FILETIME; the same on every call); the
// other three are set to zero. Only the current process: FALSE with
// ERROR_INVALID_HANDLE for another handle, ERROR_INVALID_PARAMETER for a null
// pointer.
COMRT_CAPI BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                                FILETIME* user);
// UTC to local time, with the offset that the time zone (TZ) has at that
// instant, so a summer date gets summer time whenever it is converted. FALSE
// with ERROR_INVALID_PARAMETER for a null pointer or a result out of range.
COMRT_CAPI BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
// A FILETIME to its calendar fields. FALSE with ERROR_INVALID_PARAMETER for a
// null pointer or a time past 0x7FFFFFFFFFFFFFFF.
COMRT_CAPI BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* fields);

// Sends `text` to the debug-string channel: one write per call to standard
// error, as UTF-8. Null sends nothing.
COMRT_CAPI void OutputDebugStringW(LPCWSTR text);

// Special folders for SHGetFolderPathW.
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_FLAG_CREATE 0x8000
#define MAX_PATH 260

// The path of a special folder into `path` (MAX_PATH characters). Only
// CSIDL_DESKTOPDIRECTORY: $XDG_DESKTOP_DIR when it is an absolute path, else
// Desktop in $HOME (or the user's home folder in the password database); with
// CSIDL_FLAG_CREATE it is created, with any missing folder above it, when
// missing. `window`, `token` and `flags` are ignored. E_INVALIDARG for another
// folder or a null `path`, E_FAIL when no folder can be named or made, or
// without CSIDL_FLAG_CREATE does not exist, HRESULT_FROM_WIN32(
// ERROR_INSUFFICIENT_BUFFER) for a path of MAX_PATH characters or more
// (nothing is created then). `path` is empty on failure.
COMRT_CAPI HRESULT SHGetFolderPathW(void* window, int folder, HANDLE token, DWORD flags, LPWSTR path);

namespace comrt {

// UTF-16 to UTF-8 in at most `maxBytes` bytes: a text whose UTF-8 form is
// longer is cut at the last whole character that fits, never inside one (a
// surrogate pair is one character, a lone surrogate becomes U+FFFD). Throws
// std::bad_alloc only.
COMRT_API std::string ToUtf8Bounded(std::u16string_view text, size_t maxBytes);

}  // namespace comrt
