#include "mutex_table.h"

#include <errno.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "comrt/result_codes.h"
#include "comrt/runtime.h"
#include "diagnostics_counters.h"
#include "mutex_lock_file.h"

#ifndef ERROR_TOO_MANY_OPEN_FILES
#define ERROR_TOO_MANY_OPEN_FILES 4L
#endif

namespace comrt {
namespace sync {
namespace {

std::atomic<MutexTable*> g_table{nullptr};

// A forked child must not share the parent's open lock files: flocks belong
// to the open file, so the child would pass straight through a lock that the
// parent holds and could release it. The child closes them all (closing never
// releases what the parent still holds open) and reopens a file when it next
// waits. Every mutex is held across fork() so none is copied mid-change; no
// thread holds one while it blocks.
void BeforeFork() {
  MutexTable* table = g_table.load(std::memory_order_acquire);
  if (!table) return;
  table->mutex.lock();
  for (MutexRecord* record : table->records) record->lock.lock();
}

void AfterForkInParent() {
  MutexTable* table = g_table.load(std::memory_order_acquire);
  if (!table) return;
  for (MutexRecord* record : table->records) record->lock.unlock();
  table->mutex.unlock();
}

void AfterForkInChild() {
  MutexTable* table = g_table.load(std::memory_order_acquire);
  if (!table) return;
  for (MutexRecord* record : table->records) {
    // The parent's threads do not exist here, as owners or as waiters; a
    // condition variable still counting its waiters could lose a wake-up.
    record->owner = std::thread::id();
    record->recursion = 0;
    if (record->fd >= 0) close(record->fd);
    record->fd = -1;
    new (&record->released) std::condition_variable;
    record->lock.unlock();
  }
  table->mutex.unlock();
}

}  // namespace

MutexTable& Table() {
  static MutexTable* const table = [] {
    auto* created = new MutexTable;
    g_table.store(created, std::memory_order_release);
    pthread_atfork(&BeforeFork, &AfterForkInParent, &AfterForkInChild);
    return created;
  }();
  return *table;
}

MutexRecord::~MutexRecord() {
  // Under the table's mutex, so that a fork sees the record either with its
  // file open or gone, never with a number that may already name another file.
  MutexTable& table = Table();
  std::lock_guard<std::mutex> hold(table.mutex);
  table.records.erase(this);
  if (fd >= 0) close(fd);
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOMEM:
    case ENOLCK:
    case ENOSPC:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

std::shared_ptr<MutexRecord> NewRecord(const std::u16string& name) {
  auto record = std::make_shared<MutexRecord>();
  record->name = name;
  {
    MutexTable& table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    table.records.insert(record.get());
  }
  if (record->named()) {
    record->folder = LockFolder();
    if (record->folder.empty()) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
    record->path = record->folder + "/" + LockFileName(name);
    std::lock_guard<std::mutex> hold(record->lock);
    record->fd = OpenLockFile(record->folder, record->path);
    if (record->fd < 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
  }
  return record;
}

HANDLE AddHandle(MutexTable& table, const std::shared_ptr<MutexRecord>& record) {
  const uintptr_t id = table.nextHandle;
  table.handles.emplace(id, record);
  table.nextHandle += 4;
  ++record->handles;
  diagnostics::CountUp(diagnostics::g_liveKernelHandles);
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<MutexRecord> FindRecord(HANDLE handle) {
  MutexTable& table = Table();
  std::lock_guard<std::mutex> hold(table.mutex);
  auto it = table.handles.find(reinterpret_cast<uintptr_t>(handle));
  return it == table.handles.end() ? nullptr : it->second;
}

}  // namespace sync
}  // namespace comrt
