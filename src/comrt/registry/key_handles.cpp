#include "registry/key_handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "diagnostics_counters.h"

namespace comrt {
namespace registry {
namespace {

// Handles are numbers rather than addresses, so a closed handle used again
// is recognised instead of reaching freed memory. Numbers are never reused.
class HandleTable {
 public:
  HKEY Open(KeyPath path) {
    std::lock_guard<std::mutex> hold(mutex_);
    uintptr_t id = next_++;
    if (id == Root()) id = next_++;
    open_.emplace(id, std::move(path));
    diagnostics::CountUp(diagnostics::g_liveRegistryKeys);
    return reinterpret_cast<HKEY>(id);
  }

  bool Find(HKEY key, KeyPath* path) {
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = open_.find(reinterpret_cast<uintptr_t>(key));
    if (it == open_.end()) return false;
    *path = it->second;
    return true;
  }

  bool Close(HKEY key) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (open_.erase(reinterpret_cast<uintptr_t>(key)) != 1) return false;
    diagnostics::CountDown(diagnostics::g_liveRegistryKeys);
    return true;
  }

 private:
  static uintptr_t Root() { return reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT); }

  std::mutex mutex_;
  uintptr_t next_ = 0x1000;
  std::unordered_map<uintptr_t, KeyPath> open_;
};

// Never destroyed: a handle may still be closed while the process exits.
HandleTable& Handles() {
  static HandleTable* table = new HandleTable;
  return *table;
}

}  // namespace

HKEY OpenHandle(KeyPath path) { return Handles().Open(std::move(path)); }

LONG HandlePath(HKEY key, KeyPath* path) {
  path->clear();
  if (key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  if (!key || !Handles().Find(key, path)) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

LONG CloseHandle(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  if (!key || !Handles().Close(key)) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

LONG KeyAt(RegKey& root, const KeyPath& path, RegKey** key) {
  *key = FindPath(root, path);
  return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG KeyAt(const RegKey& root, const KeyPath& path, const RegKey** key) {
  *key = FindPath(root, path);
  return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

}  // namespace registry
}  // namespace comrt
