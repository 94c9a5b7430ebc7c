#include "comrt/runtime.h"

#include "comrt/result_codes.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

HRESULT CoInitializeEx(void* reserved, DWORD /*coInit*/) {
  // Every object here is free-threaded and no apartment exists to enter, so
  // any model is as good as any other and repeated calls cannot conflict.
  if (reserved) return E_INVALIDARG;
  return S_OK;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {}

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD error) { t_lastError = error; }
