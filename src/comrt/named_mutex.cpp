// Mutexes and their handles.
//
// Within the process, a mutex is one record shared by every handle of its
// name: which thread owns it and how often, and a condition variable for the
// threads of this process waiting for it. Across processes, the owning thread
// also holds an exclusive flock on the name's lock file, taken when ownership
// goes from nobody to a thread and dropped with the last release, so that a
// process that dies gives up what it held.
//
// A thread that ends while it owns a mutex leaves it owned (WAIT_ABANDONED is
// never reported): the others of this process wait for it in vain, and the
// flock stays until the last handle of the name is closed. Closing a handle
// never waits for an owner; closing the last one drops the flock even if a
// thread still owns the mutex.
#include <errno.h>
#include <sys/file.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "comrt/result_codes.h"
#include "comrt/runtime.h"
#include "comrt/synchronization.h"
#include "diagnostics_counters.h"
#include "mutex_lock_file.h"
#include "mutex_table.h"

namespace {

using comrt::sync::MutexRecord;
using comrt::sync::MutexTable;
using comrt::sync::Table;
using Clock = std::chrono::steady_clock;

// Longest pause between two tries at a lock file held by another process
// during a timed wait: short enough to notice its release soon, long enough
// not to keep a processor busy.
constexpr std::chrono::milliseconds kLongestPoll(10);

bool IsPseudoHandle(HANDLE handle) {
  // The current process (-1) and the current thread (-2).
  const auto value = reinterpret_cast<LONG_PTR>(handle);
  return value == -1 || value == -2;
}

// REQUIRES: record.lock is held.
void Disown(MutexRecord& record) {
  record.owner = std::thread::id();
  record.recursion = 0;
  record.released.notify_one();
}

// Takes the exclusive flock on `fd`, waiting until `deadline` unless
// `milliseconds` is INFINITE. A timed wait tries again after growing pauses,
// since a flock cannot be waited for with a time limit.
DWORD LockFile(int fd, DWORD milliseconds, Clock::time_point deadline) {
  if (milliseconds == INFINITE) {
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        SetLastError(comrt::sync::ErrorFromErrno(errno));
        return WAIT_FAILED;
      }
    }
    return WAIT_OBJECT_0;
  }
  std::chrono::milliseconds pause(1);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return WAIT_OBJECT_0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      SetLastError(comrt::sync::ErrorFromErrno(errno));
      return WAIT_FAILED;
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, kLongestPoll);
  }
}

// Completes ownership for the calling thread, already recorded as the owner
// within the process, by taking the lock file when the mutex has one. The
// record's lock is let go meanwhile, so other threads of this process see an
// owner and wait on the condition variable rather than on the file.
// REQUIRES: `hold` holds record.lock.
DWORD TakeLockFile(MutexRecord& record, std::unique_lock<std::mutex>& hold, DWORD milliseconds,
                   Clock::time_point deadline) {
  if (record.named()) {
    if (record.fd < 0) record.fd = comrt::sync::OpenLockFile(record.folder, record.path);
    if (record.fd < 0) {
      SetLastError(comrt::sync::ErrorFromErrno(errno));
      Disown(record);
      return WAIT_FAILED;
    }
    const int fd = record.fd;  // closed only by the record's destructor, or in a child
    hold.unlock();
    const DWORD outcome = LockFile(fd, milliseconds, deadline);
    hold.lock();
    if (outcome != WAIT_OBJECT_0) {
      Disown(record);
      return outcome;
    }
  }
  record.recursion = 1;
  return WAIT_OBJECT_0;
}

DWORD Acquire(MutexRecord& record, DWORD milliseconds) {
  const Clock::time_point deadline =
      milliseconds == INFINITE ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(milliseconds);
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> hold(record.lock);
  if (record.owner == me) {
    ++record.recursion;
    return WAIT_OBJECT_0;
  }
  while (record.owner != std::thread::id()) {
    if (milliseconds == INFINITE) {
      record.released.wait(hold);
    } else if (record.released.wait_until(hold, deadline) == std::cv_status::timeout &&
               record.owner != std::thread::id()) {
      return WAIT_TIMEOUT;
    }
  }
  record.owner = me;
  return TakeLockFile(record, hold, milliseconds, deadline);
}

}  // namespace

HANDLE CreateMutexW(const void* /*attributes*/, BOOL initialOwner, LPCWSTR name) {
  try {
    const std::u16string key = name ? std::u16string(name) : std::u16string();
    MutexTable& table = Table();
    if (!key.empty()) {
      std::lock_guard<std::mutex> hold(table.mutex);
      auto it = table.names.find(key);
      if (it != table.names.end()) {
        HANDLE handle = comrt::sync::AddHandle(table, it->second);
        SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
      }
    }
    // Made outside the table's mutex: opening the lock file touches the file
    // system, and a record must never be destroyed under that mutex.
    std::shared_ptr<MutexRecord> fresh = comrt::sync::NewRecord(key);
    if (!fresh) return nullptr;
    if (initialOwner) {
      // Claimed before anyone else can see it, so that no other thread of
      // this process slips in between creation and ownership.
      std::lock_guard<std::mutex> hold(fresh->lock);
      fresh->owner = std::this_thread::get_id();
    }
    HANDLE handle = nullptr;
    bool existed = false;
    {
      std::lock_guard<std::mutex> hold(table.mutex);
      auto it = key.empty() ? table.names.end() : table.names.find(key);
      if (it != table.names.end()) {
        handle = comrt::sync::AddHandle(table, it->second);  // another thread created it meanwhile
        existed = true;
      } else {
        if (!key.empty()) table.names.emplace(key, fresh);
        try {
          handle = comrt::sync::AddHandle(table, fresh);
        } catch (...) {
          if (!key.empty()) table.names.erase(key);
          throw;
        }
      }
    }
    if (existed) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return handle;
    }
    if (initialOwner) {
      std::unique_lock<std::mutex> hold(fresh->lock);
      if (TakeLockFile(*fresh, hold, INFINITE, Clock::time_point::max()) != WAIT_OBJECT_0) {
        hold.unlock();
        const DWORD error = GetLastError();
        CloseHandle(handle);
        SetLastError(error);
        return nullptr;
      }
    }
    SetLastError(ERROR_SUCCESS);
    return handle;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HANDLE OpenMutexW(DWORD /*access*/, BOOL /*inherit*/, LPCWSTR name) {
  if (!name || !name[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    const std::u16string key(name);
    MutexTable& table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    auto it = table.names.find(key);
    if (it == table.names.end()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return comrt::sync::AddHandle(table, it->second);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  const std::shared_ptr<MutexRecord> record = comrt::sync::FindRecord(handle);
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return Acquire(*record, milliseconds);
}

BOOL ReleaseMutex(HANDLE handle) {
  const std::shared_ptr<MutexRecord> record = comrt::sync::FindRecord(handle);
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> hold(record->lock);
  if (record->owner != std::this_thread::get_id() || record->recursion == 0) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--record->recursion == 0) {
    // Unlocked before another thread of this process may own the mutex: its
    // flock on the same open file would succeed at once, and this unlock
    // would then take it away.
    if (record->fd >= 0) flock(record->fd, LOCK_UN);
    Disown(*record);
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (IsPseudoHandle(handle)) return TRUE;
  // Both references leave the table under its mutex but are dropped after
  // it, since the last one closes the lock file under that same mutex.
  std::shared_ptr<MutexRecord> record;
  std::shared_ptr<MutexRecord> named;
  MutexTable& table = Table();
  {
    std::lock_guard<std::mutex> hold(table.mutex);
    auto it = table.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    record = std::move(it->second);
    table.handles.erase(it);
    comrt::diagnostics::CountDown(comrt::diagnostics::g_liveKernelHandles);
    if (--record->handles == 0 && record->named()) {
      auto byName = table.names.find(record->name);
      if (byName != table.names.end() && byName->second == record) {
        named = std::move(byName->second);
        table.names.erase(byName);
      }
    }
  }
  return TRUE;
}
