// Handles of open keys. A handle records its key's path, not the key: the
// tree is read afresh from the store by every call, so a handle whose key
// has been deleted meanwhile finds nothing there (ERROR_KEY_DELETED).
#pragma once

#include <exception>

#include "comrt/registry.h"
#include "comrt/result_codes.h"
#include "registry/key_tree.h"

namespace comrt {
namespace registry {

// A new handle for the key at `path`. Throws std::bad_alloc only.
HKEY OpenHandle(KeyPath path);
// The path of `key` (empty for HKEY_CLASSES_ROOT); ERROR_INVALID_HANDLE for
// a handle that is not open.
LONG HandlePath(HKEY key, KeyPath* path);
// Frees `key`; the root stays open. ERROR_INVALID_HANDLE for a handle that is
// not open.
LONG CloseHandle(HKEY key);

// The key at `path` within `root`; ERROR_KEY_DELETED when it is gone.
LONG KeyAt(RegKey& root, const KeyPath& path, RegKey** key);
LONG KeyAt(const RegKey& root, const KeyPath& path, const RegKey** key);

// Runs an API body, turning a failed allocation into its code, since no
// exception may leave the flat API.
template <class Body>
LONG Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace registry
}  // namespace comrt
