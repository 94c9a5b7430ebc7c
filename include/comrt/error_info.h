// Error information: a source and a description text that travel with a
// failure code, held per thread.
#pragma once

#include "comrt/unknown.h"

inline constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

struct IErrorInfo : public IUnknown {
  // Each getter fails with E_INVALIDARG for a null out pointer; string getters
  // hand out a new string (null when none was set).
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* helpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};

struct ICreateErrorInfo : public IUnknown {
  // Each setter copies its text (a null text clears it); E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR source) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR description) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR helpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD helpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};

COMRT_DECLARE_INTERFACE(IErrorInfo, IUnknown, IID_IErrorInfo);
COMRT_DECLARE_INTERFACE(ICreateErrorInfo, IUnknown, IID_ICreateErrorInfo);

// Makes a new, empty error-information object. E_POINTER, E_OUTOFMEMORY.
COMRT_CAPI HRESULT CreateErrorInfo(ICreateErrorInfo** created);
// Makes `info` (null clears) the calling thread's current error information,
// replacing any earlier one. E_INVALIDARG unless `reserved` is 0.
COMRT_CAPI HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Hands out the calling thread's error information and clears it: S_OK, or
// S_FALSE with *info null when there is none. E_INVALIDARG unless `reserved`
// is 0; E_POINTER for a null out pointer.
COMRT_CAPI HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);
