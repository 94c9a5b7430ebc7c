// The process's mutexes: one record per mutex, shared by all of its handles,
// and the table that finds a record by handle or by name. A forked child
// starts with every record unowned and its lock file closed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "comrt/types.h"

namespace comrt {
namespace sync {

struct MutexRecord {
  ~MutexRecord();

  bool named() const { return !name.empty(); }

  // Set before the record is shared, then only read.
  std::u16string name;  // empty: unnamed, known to this process only
  std::string folder;
  std::string path;     // the lock file

  // Guarded by `lock`, which is never held while blocking.
  std::mutex lock;
  std::condition_variable released;
  std::thread::id owner;        // set as soon as a thread claims it, before its flock is taken
  unsigned long recursion = 0;  // 0 while the owner is still taking the flock
  int fd = -1;                  // the open lock file; -1 until opened, and again in a forked child

  // Guarded by the table's mutex.
  size_t handles = 0;
};

// A record must never be destroyed while `mutex` is held: its destructor
// takes it. Lock order: the table's mutex before a record's.
struct MutexTable {
  std::mutex mutex;
  uintptr_t nextHandle = 0x1000;
  std::unordered_map<uintptr_t, std::shared_ptr<MutexRecord>> handles;
  std::unordered_map<std::u16string, std::shared_ptr<MutexRecord>> names;
  // Every record alive, including those that only a waiting thread still
  // holds, so that a forked child can let go of each lock file.
  std::unordered_set<MutexRecord*> records;
};

// The one table, never destroyed: handles may still be closed while the
// process exits.
MutexTable& Table();

// A new record, known to the fork handlers, with its lock file open when it
// has a name. Null with the last error set on failure. Throws std::bad_alloc
// only.
std::shared_ptr<MutexRecord> NewRecord(const std::u16string& name);

// A new handle of `record`; numbers are never reused, so a closed handle is
// recognised. REQUIRES: the table's mutex is held. Throws std::bad_alloc only,
// and then changes nothing.
HANDLE AddHandle(MutexTable& table, const std::shared_ptr<MutexRecord>& record);

// The record of an open handle; null for any other value.
std::shared_ptr<MutexRecord> FindRecord(HANDLE handle);

// The last-error code for a failed file or lock call.
DWORD ErrorFromErrno(int error);

}  // namespace sync
}  // namespace comrt
