// IMarshal and the free-threaded marshaler that every component aggregates.
#pragma once

#include "comrt/stream.h"

inline constexpr IID IID_IMarshal = {0x00000003, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// The class that unmarshals what the free-threaded marshaler wrote.
inline constexpr CLSID CLSID_InProcFreeMarshaler = {0x0000033A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Destination contexts; only the in-process ones are marshaled here.
#define MSHCTX_LOCAL 0
#define MSHCTX_NOSHAREDMEM 1
#define MSHCTX_DIFFERENTMACHINE 2
#define MSHCTX_INPROC 3
#define MSHCTX_CROSSCTX 4

#define MSHLFLAGS_NORMAL 0
#define MSHLFLAGS_TABLESTRONG 1
#define MSHLFLAGS_TABLEWEAK 2

struct IMarshal : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID iid, void* object, DWORD destContext,
                                                      void* reserved, DWORD flags, CLSID* clsid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID iid, void* object, DWORD destContext,
                                                      void* reserved, DWORD flags, DWORD* size) = 0;
  virtual HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* stream, REFIID iid, void* object,
                                                     DWORD destContext, void* reserved, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* stream, REFIID iid, void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD reserved) = 0;

 protected:
  ~IMarshal() = default;
};

COMRT_DECLARE_INTERFACE(IMarshal, IUnknown, IID_IMarshal);

// Makes a free-threaded marshaler aggregated into `outer` and stores its inner
// IUnknown in *marshaler. Interface pointers of such an object are passed
// between threads of the process as they are. E_INVALIDARG for a null outer
// object, E_POINTER for a null out pointer, E_OUTOFMEMORY.
COMRT_CAPI HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler);
