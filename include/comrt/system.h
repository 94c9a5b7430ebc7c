// System services: the files that loaded modules came from, and the calling
// thread's locale.
#pragma once

#include "comrt/types.h"

// A loaded module (the host program or a shared library), named by the
// address at which it is mapped. Null names the host program.
typedef struct HINSTANCE__* HMODULE;

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

// The module that contains the address `moduleName` (which must be given with
// GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS; looking modules up by name is not
// offered). The reference count of a module is never changed, so the flags
// UNCHANGED_REFCOUNT and PIN change nothing. FALSE with ERROR_INVALID_PARAMETER
// for other flags or a null `module`, ERROR_MOD_NOT_FOUND for an address that
// belongs to no module.
COMRT_CAPI BOOL GetModuleHandleExW(DWORD flags, LPCWSTR moduleName, HMODULE* module);

// The absolute path of the file that `module` was loaded from (null: the host
// program), with symbolic links resolved and whatever relative name it was
// loaded by, into `fileName` of `size` characters. Returns the length without
// the terminating zero; when `fileName` is too small, the path is cut to
// `size` - 1 characters, `size` is returned and the last error is
// ERROR_INSUFFICIENT_BUFFER. 0 on failure (ERROR_MOD_NOT_FOUND,
// ERROR_INVALID_PARAMETER).
COMRT_CAPI DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

namespace comrt {

// Sets the calling thread's locale for the scope's life and then gives the
// thread back whatever locale it had, as the thread locale is saved and
// restored around work that must not depend on it. LOCALE_SYSTEM_DEFAULT and
// LOCALE_INVARIANT give the classic "C" locale, LOCALE_USER_DEFAULT the
// process's global locale; no other identifier is offered (the classic
// locale is taken).
class COMRT_API ThreadLocaleScope {
 public:
  explicit ThreadLocaleScope(LCID locale);
  ~ThreadLocaleScope();
  ThreadLocaleScope(const ThreadLocaleScope&) = delete;
  ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;

 private:
  void* saved_;  // the thread's locale_t before the scope
};

}  // namespace comrt
