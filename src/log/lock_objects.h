// The two locks of the log system: a critical section within the process,
// and a named mutex shared by every process that names it alike.
#pragma once

#include <string>

#include "comrt/synchronization.h"
#include "log/log_interfaces.h"

namespace opLogSys {
namespace Common {

// A recursive lock within the process.
class CCriticalSection final : public ILockObject {
 public:
  CCriticalSection() { InitializeCriticalSection(&section_); }
  ~CCriticalSection() { DeleteCriticalSection(&section_); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  // Enters the section; 1.
  long Lock() override {
    EnterCriticalSection(&section_);
    return 1;
  }
  // Leaves it; 0.
  long Unlock() override {
    LeaveCriticalSection(&section_);
    return 0;
  }

 private:
  CRITICAL_SECTION section_;
};

// Holds an ILockObject for the scope's life.
class CScopedLock {
 public:
  explicit CScopedLock(ILockObject& lock) : lock_(lock) { lock_.Lock(); }
  ~CScopedLock() { lock_.Unlock(); }
  CScopedLock(const CScopedLock&) = delete;
  CScopedLock& operator=(const CScopedLock&) = delete;

 private:
  ILockObject& lock_;
};

// A named mutex, held from the outermost Lock to the matching Unlock; its
// handle exists only meanwhile, so a name that nobody holds costs nothing.
// Not for use by several threads at once: its owner serialises the calls.
class CMutex final : public ILockObject {
 public:
  explicit CMutex(std::u16string name) : name_(std::move(name)) {}
  ~CMutex();
  CMutex(const CMutex&) = delete;
  CMutex& operator=(const CMutex&) = delete;

  // Waits (without time limit) until the mutex is held; 1. 0 when the mutex
  // cannot be made or waited for: then nothing is held and the caller must
  // not touch what it guards.
  long Lock() override;
  // Gives back one Lock, releasing the mutex with the outermost one; the
  // remaining nesting count, or -1 when nothing is held.
  long Unlock() override;

 private:
  std::u16string name_;
  HANDLE handle_ = nullptr;
  LONG count_ = 0;
};

}  // namespace Common
}  // namespace opLogSys
