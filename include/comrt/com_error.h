// _com_error: the exception that carries a failure code and, optionally, the
// error information that came with it; plus the helpers that throw it.
#pragma once

#include "comrt/com_bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/error_info.h"

// The interface-specific codes that stand for a dispatch exception code
// (wCode): FACILITY_ITF from 0x0200 up.
#define WCODE_HRESULT_FIRST MAKE_HRESULT(1, FACILITY_ITF, 0x200)
#define WCODE_HRESULT_LAST (MAKE_HRESULT(1, FACILITY_ITF + 1, 0) - 1)

// Exported with default visibility so that a throw in one shared library can be
// caught in another.
class COMRT_API _com_error {
 public:
  // Takes over the caller's reference to `errorInfo` (null allowed), or adds
  // its own when `addRef` is true. Never fails.
  _com_error(HRESULT hr, IErrorInfo* errorInfo = nullptr, bool addRef = false) noexcept;
  // Shares the error information (adds a reference); the text is recomputed.
  _com_error(const _com_error& other) noexcept;
  _com_error& operator=(const _com_error& other) noexcept;
  virtual ~_com_error();

  // The failure code. Never fails.
  HRESULT Error() const noexcept;
  // The dispatch exception code within the interface-specific range
  // [WCODE_HRESULT_FIRST, WCODE_HRESULT_LAST], else 0. Never fails.
  WORD WCode() const noexcept;
  // A new reference to the error information, null when there is none.
  IErrorInfo* ErrorInfo() const noexcept;
  // Texts from the error information; a null string when there is none, the
  // text was never set, or memory runs out.
  CComBSTR Source() const;
  CComBSTR Description() const;
  CComBSTR HelpFile() const;
  // The help context from the error information, 0 when there is none.
  DWORD HelpContext() const noexcept;

  // The system text for the code without its line break; when there is none,
  // "IDispatch error #<wCode>" for a dispatch exception code, else
  // "Unknown error 0x<code in hex>". Owned by this object and built on first
  // use; an empty text when memory runs out.
  const OLECHAR* ErrorMessage() const noexcept;

  // Maps between a dispatch exception code and its result code; codes past the
  // range map to WCODE_HRESULT_LAST, result codes outside it to 0.
  static HRESULT WCodeToHRESULT(WORD wCode) noexcept;
  static WORD HRESULTToWCode(HRESULT hr) noexcept;

 private:
  void ResetMessage() const noexcept;

  HRESULT hr_;
  CComPtr<IErrorInfo> errorInfo_;
  mutable OLECHAR* message_ = nullptr;  // from LocalAlloc
};

// Throws _com_error(hr) with no error information.
[[noreturn]] COMRT_API void _com_issue_error(HRESULT hr);
// Throws _com_error(hr) carrying the calling thread's current error
// information (taken, and so cleared, with GetErrorInfo) when there is one.
// `object` and `iid` name the failed call; they are not consulted, since every
// object here that sets error information does so for the call that failed.
[[noreturn]] COMRT_API void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid);
