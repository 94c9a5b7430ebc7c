// CAtlException: the component framework's exception, a result code.
#pragma once

#include "comrt/result_codes.h"

class COMRT_API CAtlException {
 public:
  CAtlException() noexcept : m_hr(E_FAIL) {}
  CAtlException(HRESULT hr) noexcept : m_hr(hr) {}  // NOLINT: converts as on the platform
  operator HRESULT() const noexcept { return m_hr; }

  HRESULT m_hr;
};

[[noreturn]] inline void AtlThrow(HRESULT hr) { throw CAtlException(hr); }
