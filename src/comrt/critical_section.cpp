// Critical sections: a recursive pthread mutex living inside the caller's
// CRITICAL_SECTION, so a section costs no allocation and no table.
#include <pthread.h>

#include <new>

#include "comrt/result_codes.h"
#include "comrt/runtime.h"
#include "comrt/synchronization.h"

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque),
              "a pthread mutex must fit in the storage of a CRITICAL_SECTION");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION),
              "the storage of a CRITICAL_SECTION must be aligned for a pthread mutex");

namespace {

pthread_mutex_t* MutexOf(LPCRITICAL_SECTION section) {
  return std::launder(reinterpret_cast<pthread_mutex_t*>(section->opaque));
}

bool Initialize(LPCRITICAL_SECTION section) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  auto* mutex = new (section->opaque) pthread_mutex_t;
  const int result = pthread_mutex_init(mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  return result == 0;
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  // The platform's form cannot report failure; pthread_mutex_init of a
  // recursive mutex does not fail on Linux, so nothing is lost.
  if (section) Initialize(section);
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD /*spinCount*/) {
  if (!section) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!Initialize(section)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
  if (section) pthread_mutex_lock(MutexOf(section));
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  return section && pthread_mutex_trylock(MutexOf(section)) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
  if (section) pthread_mutex_unlock(MutexOf(section));
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  if (section) pthread_mutex_destroy(MutexOf(section));
}
