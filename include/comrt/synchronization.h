// Critical sections and named mutexes.
#pragma once

#include "comrt/types.h"

// ---------------------------------------------------------------------------
// Critical sections: recursive locks within one process.

// Storage for one critical section; its contents are comrt's own.
typedef struct _RTL_CRITICAL_SECTION {
  alignas(8) unsigned char opaque[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

// Makes `section` usable. The Ex form reports failure (FALSE, last error
// ERROR_NOT_ENOUGH_MEMORY, or ERROR_INVALID_PARAMETER for a null `section`);
// `spinCount` is accepted and ignored.
COMRT_CAPI void InitializeCriticalSection(LPCRITICAL_SECTION section);
COMRT_CAPI BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
// Waits for the section and enters it; a thread that holds it enters again.
COMRT_CAPI void EnterCriticalSection(LPCRITICAL_SECTION section);
// Enters without waiting: FALSE when another thread holds it.
COMRT_CAPI BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
// Leaves once; the section is free when every enter has been left.
COMRT_CAPI void LeaveCriticalSection(LPCRITICAL_SECTION section);
// Frees what InitializeCriticalSection made; the section must not be held.
COMRT_CAPI void DeleteCriticalSection(LPCRITICAL_SECTION section);

// ---------------------------------------------------------------------------
// Kernel objects: named mutexes, and the pseudo handles of the process and
// thread. A handle from CreateMutexW/OpenMutexW is closed with CloseHandle.

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INFINITE 0xFFFFFFFF

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

#define SYNCHRONIZE 0x00100000L
#define MUTEX_MODIFY_STATE 0x0001
#define MUTEX_ALL_ACCESS 0x1F0001

#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6L
#endif
#define ERROR_NOT_OWNER 288L

// A mutex named `name` (any text, "/" included), shared by every process on
// the machine that names it alike; null or empty makes an unnamed one. The
// exclusion across processes holds through a lock file in a runtime folder
// ($XDG_RUNTIME_DIR/comrt-mutex, else /tmp/comrt-mutex-<uid>), so a process
// that dies releases what it held. Whether the name "already exists" is told
// within this process: GetLastError() is ERROR_ALREADY_EXISTS when another
// handle of this process has the name open, else 0. `initialOwner` makes the
// calling thread its owner when the name is new to this process, waiting
// for as long as another process holds it. `attributes` is ignored. Null on
// failure, with the last error set (ERROR_ACCESS_DENIED when no lock file
// can be made).
COMRT_CAPI HANDLE CreateMutexW(const void* attributes, BOOL initialOwner, LPCWSTR name);
// A new handle of a mutex this process has open by `name`; null with
// ERROR_FILE_NOT_FOUND when it has none, ERROR_INVALID_PARAMETER for a null
// or empty name. `access` and `inherit` are ignored.
COMRT_CAPI HANDLE OpenMutexW(DWORD access, BOOL inherit, LPCWSTR name);
// Waits until the calling thread owns the mutex: WAIT_OBJECT_0, WAIT_TIMEOUT
// when `milliseconds` passed first (INFINITE waits for ever), WAIT_FAILED with
// ERROR_INVALID_HANDLE for a handle that is no open mutex. An owner may wait
// again (recursion). A thread that ends while it owns a mutex leaves it
// owned until the last handle of the name in its process is closed or the
// process ends; WAIT_ABANDONED is never returned.
COMRT_CAPI DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Gives up one ownership; FALSE with ERROR_NOT_OWNER when the calling thread
// does not own it.
COMRT_CAPI BOOL ReleaseMutex(HANDLE mutex);
// Closes a handle; the name ceases to exist in the process with its last
// handle, which also lets other processes have it, owned or not. Never waits
// for an owner. The pseudo handles of the process and the thread are
// accepted and stay valid. FALSE with ERROR_INVALID_HANDLE for a handle that
// is not open.
COMRT_CAPI BOOL CloseHandle(HANDLE handle);
