#include "log/lock_objects.h"

namespace opLogSys {
namespace Common {

CMutex::~CMutex() {
  if (!handle_) return;
  ReleaseMutex(handle_);
  CloseHandle(handle_);
}

long CMutex::Lock() {
  if (count_++ != 0) return 1;
  handle_ = CreateMutexW(nullptr, FALSE, name_.c_str());
  // A mutex that could not be had must not count as held: the caller would
  // write unguarded, interleaving its record with another process's.
  const DWORD waited = handle_ ? WaitForSingleObject(handle_, INFINITE) : WAIT_FAILED;
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return 1;
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
  count_ = 0;
  return 0;
}

long CMutex::Unlock() {
  if (!handle_) return -1;
  if (--count_ == 0) {
    ReleaseMutex(handle_);
    CloseHandle(handle_);
    handle_ = nullptr;
  }
  return count_;
}

}  // namespace Common
}  // namespace opLogSys
