// The runtime's per-process services: task memory, thread initialisation, the
// class-context flags, and the per-thread last-error value.
#pragma once

#include "comrt/result_codes.h"

// Concurrency models for CoInitializeEx. They are accepted and recorded
// nowhere: this runtime has no apartments, every object is free-threaded.
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

// Where a class may be run from when it is created.
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// Task memory: blocks that cross the boundary between caller and callee (out
// strings, marshaled data). Each live block is counted for leak checks.

// A block of at least `size` bytes (a zero size still gives a unique block),
// aligned for any type; null when memory runs out.
COMRT_CAPI void* CoTaskMemAlloc(size_t size);
// Resizes `block` keeping its contents: a null `block` allocates, a zero `size`
// frees and gives null. Null when memory runs out, `block` then left intact.
COMRT_CAPI void* CoTaskMemRealloc(void* block, size_t size);
// Frees a block from CoTaskMemAlloc/CoTaskMemRealloc; null is allowed.
COMRT_CAPI void CoTaskMemFree(void* block);

// Thread initialisation is accepted for source compatibility and does nothing:
// S_OK for every model, E_INVALIDARG when `reserved` is not null.
COMRT_CAPI HRESULT CoInitializeEx(void* reserved, DWORD coInit);
// As CoInitializeEx(reserved, COINIT_APARTMENTTHREADED).
COMRT_CAPI HRESULT CoInitialize(void* reserved);
// Balances a CoInitialize(Ex); never fails.
COMRT_CAPI void CoUninitialize();

// The calling thread's last-error code, set by the flat functions that report
// failure through it (text conversion, message lookup). Starts at 0 on every
// thread; never fails.
COMRT_CAPI DWORD GetLastError();
COMRT_CAPI void SetLastError(DWORD error);
