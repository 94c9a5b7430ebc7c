// Symbol export for libcomrt.so: the build hides every symbol by default, so
// the API is marked explicitly (the same mark serves callers on ELF).
#pragma once

#define COMRT_API __attribute__((visibility("default")))

// The flat platform API has C linkage, as on the platform it stands in for.
#ifdef __cplusplus
#define COMRT_EXTERN_C extern "C"
#else
#define COMRT_EXTERN_C
#endif

#define COMRT_CAPI COMRT_EXTERN_C COMRT_API

// No calling-convention decoration exists on this platform; kept so that
// signatures read as they do on the platform.
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
